#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/connection.h"
#include "client/posix_io.h"
#include "offsets/coding.h"

namespace tarvos::client {
namespace {

class TcpConnection : public Connection {
 public:
  TcpConnection(int fd, int timeout_ms) : fd_(fd), timeout_ms_(timeout_ms) {}
  ~TcpConnection() override { ::close(fd_); }

  bool Exchange(RequestBatch& batch, std::string* error) override {
    if (batch.RecordAreaSize() > kMaxRecordArea) {
      *error = "batch too large for one frame (at most " +
               std::to_string(kMaxRecordArea) + " bytes of records)";
      return false;
    }
    std::vector<uint8_t> frame = batch.Frame();
    if (!WriteAll(fd_, frame.data(), frame.size(), timeout_ms_, error)) {
      return Unanswered(error);
    }
    // A rejected batch is answered with the single byte 0; a served one
    // starts with the type word 2.
    uint8_t head[4];
    if (!ReadExactly(fd_, head, 1, timeout_ms_, error)) {
      return Unanswered(error);
    }
    answered_ = true;
    if (head[0] == 0) {
      return Fail(AcceptReplyFrame(batch, head, 1), error);
    }
    if (!ReadExactly(fd_, head + 1, 3, timeout_ms_, error)) return false;
    const size_t len = LoadU16(head + 2);
    frame.assign(8 + len, 0);
    std::memcpy(frame.data(), head, 4);
    if (!ReadExactly(fd_, frame.data() + 4, len + 4, timeout_ms_, error)) {
      return false;
    }
    return Fail(AcceptReplyFrame(batch, frame.data(), frame.size()), error);
  }

 private:
  // The server accepts every connection and closes at once those it cannot
  // serve: when it already has its eight clients, or when its settings do
  // not admit this client's address. A connection closed before anything
  // was ever answered on it is one of those.
  bool Unanswered(std::string* error) const {
    if (answered_ || error->rfind("timed out", 0) == 0) return false;
    *error =
        "the server closed the connection without answering: it is full "
        "(8 clients connected already) or does not admit this client";
    return false;
  }

  static bool Fail(const std::string& message, std::string* error) {
    if (message.empty()) return true;
    *error = message;
    return false;
  }

  int fd_;
  int timeout_ms_;
  bool answered_ = false;  // some exchange got an answer
};

}  // namespace

std::unique_ptr<Connection> ConnectTcp(const std::string& host, uint16_t port,
                                       std::string* error, int timeout_ms) {
  const std::string where = host + ":" + std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc =
      ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) {
    *error = "cannot resolve host '" + host + "': " + ::gai_strerror(rc);
    return nullptr;
  }
  std::string last = "no address";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    // Non-blocking connect, so that an unreachable host times out instead
    // of hanging for minutes.
    int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int c = ::connect(fd, a->ai_addr, a->ai_addrlen);
    int err = c == 0 ? 0 : errno;
    if (err == EINPROGRESS) {
      if (!WaitFor(fd, true, timeout_ms)) {
        err = ETIMEDOUT;
      } else {
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      }
    }
    if (err == 0) {
      ::fcntl(fd, F_SETFL, flags);
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      ::freeaddrinfo(found);
      return std::make_unique<TcpConnection>(fd, timeout_ms);
    }
    last = err == ECONNREFUSED ? "connection refused (is the simulator "
                                 "running with the plugin enabled?)"
                               : std::strerror(err);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  *error = "cannot connect to " + where + ": " + last;
  return nullptr;
}

}  // namespace tarvos::client
