// The control channel's server: a loopback TCP port or a Unix socket on
// which scripts and tests send command lines (see control_commands.h) and
// read one answer line per command.
//
// Threads: one server thread owns every socket. It accepts connections,
// splits what clients send into lines and queues them; the main thread
// runs the queued lines between frames (Poll) and queues the answers,
// which the server thread sends back. `mu_` guards the two queues; the
// server thread is woken through a pipe. Nothing else is shared.
// A client that disconnects early loses its unfinished line (never run)
// and the answers still owed to it; the server thread goes on.
#ifndef TARVOS_SIMHOST_CONTROL_SERVER_H_
#define TARVOS_SIMHOST_CONTROL_SERVER_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "base/thread_annotations.h"

namespace simhost {

// Most control connections served at once; more are told so and closed.
inline constexpr int kMaxControlClients = 8;

class CAPABILITY("mutex") ControlMutex {
 public:
  void Lock() ACQUIRE() { mu_.lock(); }
  void Unlock() RELEASE() { mu_.unlock(); }

 private:
  std::mutex mu_;
};

class SCOPED_CAPABILITY ControlLock {
 public:
  explicit ControlLock(ControlMutex* mu) ACQUIRE(mu) : mu_(mu) { mu_->Lock(); }
  ~ControlLock() RELEASE() { mu_->Unlock(); }

 private:
  ControlMutex* mu_;
};

class ControlServer {
 public:
  ControlServer() = default;
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;
  ~ControlServer() { Stop(); }

  // Listens on `where`: a TCP port number (bound to 127.0.0.1 only; 0 picks
  // a free port) or "unix:PATH" for a Unix socket. False with a message
  // when the address is bad or cannot be bound.
  bool Start(const std::string& where, std::string* error);
  // The TCP port listened on (0 for a Unix socket or before Start).
  int port() const { return port_; }

  // Ends the server thread and closes every socket. Idempotent.
  void Stop();

  // Main thread: runs every queued line through `execute` and queues its
  // answer (none for an empty answer). Returns the number of lines run.
  int Poll(const std::function<std::string(const std::string&)>& execute);

 private:
  struct Line {
    uint64_t client;
    std::string text;
    std::string answer;  // preset answer (an error found while reading)
  };
  struct Answer {
    uint64_t client;
    std::string text;
  };

  void Serve();
  void Wake();

  // Descriptors of control_socket.h (intptr_t, -1 none).
  intptr_t listen_fd_ = -1;
  intptr_t wake_read_ = -1, wake_write_ = -1;
  int port_ = 0;
  std::string unix_path_;
  std::thread thread_;
  // Set by Stop; read by the server thread between polls.
  std::atomic<bool> stop_{false};

  ControlMutex mu_;
  std::deque<Line> lines_ GUARDED_BY(mu_);      // server thread -> main
  std::deque<Answer> answers_ GUARDED_BY(mu_);  // main -> server thread
};

}  // namespace simhost

#endif  // TARVOS_SIMHOST_CONTROL_SERVER_H_
