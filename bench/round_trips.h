// What the transport benchmarks share: the batch a panel polling a handful
// of values sends (10 read records of 10 bytes each), its TCP frame, and the
// timing of one round trip with the median of many.
#ifndef TARVOS_BENCH_ROUND_TRIPS_H_
#define TARVOS_BENCH_ROUND_TRIPS_H_

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "offsets/coding.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/server_options.h"
#include "transport/servers.h"

namespace tarvos::bench {

inline constexpr uint32_t kPanelOffsets[10] = {0x0560, 0x0568, 0x0570, 0x0578,
                                               0x0580, 0x02BC, 0x02C4, 0x0238,
                                               0x3304, 0x0B74};

// The record area: the ten reads and the terminating zero id.
inline std::vector<uint8_t> PanelRecordArea() {
  std::vector<uint8_t> area;
  auto put = [&](uint32_t v) {
    size_t at = area.size();
    area.resize(at + 4);
    StoreU32(area.data() + at, v);
  };
  for (uint32_t offset : kPanelOffsets) {
    put(1);
    put(offset);
    put(10);
    put(0);
    area.resize(area.size() + 10, 0);
  }
  put(0);
  return area;
}

// The request frame around it.
inline std::vector<uint8_t> PanelRequestFrame() {
  std::vector<uint8_t> area = PanelRecordArea();
  std::vector<uint8_t> f(8 + area.size());
  StoreU16(f.data(), 1);
  StoreU16(f.data() + 2, static_cast<uint16_t>(area.size()));
  std::memcpy(f.data() + 4, area.data(), area.size());
  StoreU16(f.data() + 4 + area.size(), static_cast<uint16_t>(area.size()));
  StoreU16(f.data() + 6 + area.size(), 0xFADE);
  return f;
}

// The plugin enabled in the stand-in host in-process, its TCP server on a
// free loopback port and its local endpoint named `endpoint`; returns once
// both serve (or after 5 s). No frames are stepped after the deferred start,
// so no refresh competes for the lock.
inline void BootPluginWithServers(const std::string& endpoint) {
  SetTcpServerPort(0);
  SetTcpServerLoopbackOnly(true);
  SetIpcEndpointName(endpoint);
  testing::BootLinkedPlugin(/*enable=*/true);
  simhost::Host::Get().StepFrame();  // the deferred start: servers up
  for (int i = 0;
       i < 500 && (TcpServerBoundPort() == 0 || !IpcServerListening()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

inline double MedianMicros(std::vector<double>& v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// How long `fn` took, in microseconds.
template <typename Fn>
double TimeOne(Fn&& fn) {
  auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double, std::micro>(
             std::chrono::steady_clock::now() - t0)
      .count();
}

}  // namespace tarvos::bench

#endif  // TARVOS_BENCH_ROUND_TRIPS_H_
