// The bridge: offers the local transport on this computer as the plugin
// does, and carries every local batch over one TCP connection to the
// plugin's network server on the simulator's computer.
//
// Threads: the endpoint thread serves local requests one at a time (as the
// plugin's own window does) and is the only one that exchanges frames; the
// connector thread (re)connects with back-off while there is no connection.
// The connection and the counters are guarded by `mu_`.
#ifndef TARVOS_BRIDGE_BRIDGE_H_
#define TARVOS_BRIDGE_BRIDGE_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "client/net_io.h"
#include "transport/ipc_endpoint.h"

namespace tarvos::bridge {

using client::CloseSocket;
using client::DialTcp;
using client::kNoSocket;
using client::NetSocket;
using client::ReceiveExactly;
using client::SendAll;

struct BridgeOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 5193;
  std::string endpoint = "FS98MAIN";
  // Longest wait for one reply frame: local clients give up after 2 s.
  int reply_timeout_ms = 1500;
  // Reconnection back-off: first and longest pause between tries.
  int first_retry_ms = 250;
  int longest_retry_ms = 5000;
};

struct BridgeStats {
  bool connected = false;
  uint64_t forwarded = 0;  // local requests answered 1
  uint64_t answered_zero = 0;
  uint64_t frames = 0;  // request frames sent
  uint64_t connects = 0;
  double last_round_trip_ms = 0;
};

class Bridge {
 public:
  using LogFn = std::function<void(const std::string& line)>;

  Bridge(BridgeOptions options, LogFn log);
  ~Bridge();
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  // Offers the local endpoint and starts connecting. False (with `error`)
  // when the endpoint cannot be offered, for instance because a plugin or
  // another bridge on this computer holds the name already.
  bool Start(std::string* error);
  // Stops both threads and closes the connection; safe to call twice.
  void Stop();

  BridgeStats Stats() const;

  // Serves one local request naming a batch: what the endpoint calls.
  int Serve(std::string_view batch_name);

 private:
  void ConnectLoop();
  // Sends one group's frame and applies its reply; false when the
  // connection is to be given up.
  bool ExchangeGroup(NetSocket s, uint8_t* batch, size_t begin, size_t end,
                     bool* rejected);
  void Disconnect(NetSocket s, const std::string& why);

  const BridgeOptions options_;
  const LogFn log_;
  std::unique_ptr<IpcEndpoint> endpoint_;
  std::thread endpoint_thread_;
  std::thread connector_;
  std::atomic<bool> running_{false};

  mutable std::mutex mu_;
  std::condition_variable changed_;  // connection lost, or stopping
  NetSocket socket_ = kNoSocket;     // guarded by mu_
  BridgeStats stats_;                // guarded by mu_
};

}  // namespace tarvos::bridge

#endif  // TARVOS_BRIDGE_BRIDGE_H_
