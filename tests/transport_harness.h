// Shared helpers of the transport tests: a plugin enabled in the stand-in
// host with both servers on private endpoints (tests run in parallel), and
// raw loopback sockets for byte-exact exchanges.
#ifndef TARVOS_TESTS_TRANSPORT_HARNESS_H_
#define TARVOS_TESTS_TRANSPORT_HARNESS_H_

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "offsets/coding.h"
#include "tests/support/plugin_fixture.h"
#include "transport/server_options.h"

namespace tarvos::testing {

using Buf = std::vector<uint8_t>;

// Waits up to `ms` for `done`; returns its last value.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Little-endian builders for hand-made batches.
inline void PutU32(Buf& b, uint32_t v) {
  size_t at = b.size();
  b.resize(at + 4);
  StoreU32(b.data() + at, v);
}
inline void PutU16(Buf& b, uint16_t v) {
  size_t at = b.size();
  b.resize(at + 2);
  StoreU16(b.data() + at, v);
}
inline Buf ReadRecord(uint32_t offset, uint32_t size,
                      uint32_t client = 0xA5A5A5A5) {
  Buf b;
  PutU32(b, 1);
  PutU32(b, offset);
  PutU32(b, size);
  PutU32(b, client);
  b.resize(b.size() + size, 0);
  return b;
}
inline Buf WriteRecord(uint32_t offset, const Buf& data) {
  Buf b;
  PutU32(b, 2);
  PutU32(b, offset);
  PutU32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}
inline Buf Cat(std::initializer_list<Buf> parts) {
  Buf out;
  for (const Buf& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
inline Buf End() { return Buf{0, 0, 0, 0}; }
// A request frame around a record area.
inline Buf Frame(const Buf& area, uint16_t type = 1) {
  Buf f;
  PutU16(f, type);
  PutU16(f, static_cast<uint16_t>(area.size()));
  f.insert(f.end(), area.begin(), area.end());
  PutU16(f, static_cast<uint16_t>(area.size()));
  PutU16(f, 0xFADE);
  return f;
}

// A raw loopback TCP connection with bounded waits.
class RawTcp {
 public:
  explicit RawTcp(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  ~RawTcp() { Close(); }
  RawTcp(const RawTcp&) = delete;
  RawTcp& operator=(const RawTcp&) = delete;

  bool connected() const { return connected_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool Send(const Buf& b) {
    return ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(b.size());
  }
  // Reads until `n` bytes arrived, the peer closed, or `ms` passed.
  Buf Receive(size_t n, int ms = 3000) {
    Buf out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < n) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(
              end - std::chrono::steady_clock::now())
              .count());
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, left) <= 0) break;
      uint8_t buf[4096];
      ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
      if (got <= 0) break;
      out.insert(out.end(), buf, buf + got);
    }
    return out;
  }
  // True when the peer closed the connection within `ms`.
  bool PeerClosed(int ms = 3000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    uint8_t b;
    return ::recv(fd_, &b, 1, MSG_PEEK) <= 0;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

// The plugin enabled with both servers listening on private endpoints.
class TransportFixture : public PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    SetTcpServerPort(0);
    SetTcpServerLoopbackOnly(true);
    endpoint_ = "tarvos-test-" + std::to_string(::getpid());
    SetIpcEndpointName(endpoint_);
  }

  // Start, Enable, one frame (the deferred start), then both servers up.
  void StartServers() {
    StartAndEnable();
    ASSERT_TRUE(WaitUntil([] { return TcpServerBoundPort() != 0; }));
    ASSERT_TRUE(WaitUntil([] { return IpcServerListening(); }));
    port_ = TcpServerBoundPort();
  }

  bool LogHas(const std::string& line) {
    return StatusLogText().find(line) != std::string::npos;
  }
  bool WaitForLog(const std::string& line, int ms = 5000) {
    return WaitUntil([&] { return LogHas(line); }, ms);
  }

  uint16_t port_ = 0;
  std::string endpoint_;
};

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_TRANSPORT_HARNESS_H_
