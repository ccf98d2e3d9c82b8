// Shared helpers of the transport tests: a plugin enabled in the stand-in
// host with both servers on private endpoints (tests run in parallel), and
// raw loopback sockets for byte-exact exchanges.
#ifndef TARVOS_TESTS_TRANSPORT_HARNESS_H_
#define TARVOS_TESTS_TRANSPORT_HARNESS_H_

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "offsets/coding.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/raw_tcp.h"
#include "transport/server_options.h"

namespace tarvos::testing {

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
