// Round trips through both transports against the physical limit of this
// machine: a bare loopback echo server that sends the same frame back, and a
// bare Unix-socket ping-pong. The plugin runs enabled in the stand-in host
// in-process (no frames stepped, so no refresh competes for the lock).
//
// The batch: 10 read records of 10 bytes each (100 data bytes), as a panel
// polling a handful of values sends it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/round_trips.h"
#include "offsets/coding.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/request_batch.h"
#include "transport/server_options.h"

namespace {

using Buf = std::vector<uint8_t>;

Buf RecordArea() { return tarvos::bench::PanelRecordArea(); }
Buf RequestFrame() { return tarvos::bench::PanelRequestFrame(); }

bool ReadExactly(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t got = ::recv(fd, p, n, 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

// Connects to a loopback port and checks with an empty batch that the
// connection is served. While the plugin has eight clients it accepts a
// further connection and closes it at once, so the run that follows an
// 8-client run retries until the earlier clients have left (at most 2 s).
int ConnectTcp(uint16_t port) {
  Buf probe(12, 0);
  tarvos::StoreU16(probe.data(), 1);
  tarvos::StoreU16(probe.data() + 2, 4);
  tarvos::StoreU16(probe.data() + 8, 4);
  tarvos::StoreU16(probe.data() + 10, 0xFADE);
  for (int attempt = 0; attempt < 200; ++attempt) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      uint8_t reply[12];
      if (::send(fd, probe.data(), probe.size(), MSG_NOSIGNAL) ==
              static_cast<ssize_t>(probe.size()) &&
          ReadExactly(fd, reply, sizeof reply)) {
        return fd;
      }
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

// --- The plugin -------------------------------------------------------------

std::string EndpointName() {
  return "tarvos-bench-" + std::to_string(::getpid());
}

uint16_t PluginPort() {
  static uint16_t port = [] {
    tarvos::bench::BootPluginWithServers(EndpointName());
    return tarvos::TcpServerBoundPort();
  }();
  return port;
}

// --- The bare echo server
// -----------------------------------------------------

// Reads whole frames and sends each back unchanged, one thread per client.
uint16_t EchoPort() {
  static uint16_t port = [] {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 16);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread([listener] {
      for (;;) {
        int c = ::accept(listener, nullptr, nullptr);
        if (c < 0) return;
        int on = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::thread([c] {
          uint8_t buf[32768];
          for (;;) {
            if (!ReadExactly(c, buf, 4)) break;
            size_t len = tarvos::LoadU16(buf + 2) + 4;
            if (!ReadExactly(c, buf + 4, len)) break;
            if (::send(c, buf, len + 4, MSG_NOSIGNAL) <= 0) break;
          }
          ::close(c);
        }).detach();
      }
    }).detach();
    return ntohs(a.sin_port);
  }();
  return port;
}

void TcpRoundTrips(benchmark::State& state, uint16_t port) {
  int fd = ConnectTcp(port);
  if (fd < 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  Buf frame = RequestFrame();
  Buf reply(frame.size());
  for (auto _ : state) {
    ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
    if (!ReadExactly(fd, reply.data(), reply.size())) {
      state.SkipWithError("connection lost");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  ::close(fd);
}

// The walk alone on the same batch, for attributing the round trips' cost.
void BM_ServeBatch(benchmark::State& state) {
  PluginPort();
  Buf area = RecordArea();
  for (auto _ : state) {
    tarvos::BatchResult r =
        tarvos::ServeRequestBatch(area.data(), area.size(), '*');
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ServeBatch);

void BM_TcpEcho(benchmark::State& state) { TcpRoundTrips(state, EchoPort()); }
void BM_TcpPlugin(benchmark::State& state) {
  TcpRoundTrips(state, PluginPort());
}
// Fixed iteration counts: repetitions of the threaded runs must agree on
// them, and the pairs compared are then measured over the same work.
BENCHMARK(BM_TcpEcho)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_TcpPlugin)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_TcpEcho)->Threads(8)->Iterations(4000)->UseRealTime();
BENCHMARK(BM_TcpPlugin)->Threads(8)->Iterations(4000)->UseRealTime();

// --- Paired runs ------------------------------------------------------------
// The machine is shared, so load swings between two separate benchmarks can
// outweigh the difference being measured. These runs alternate the bare peer
// and the plugin round trip by round trip and report the median of each and
// their ratio (plugin / bare), which load affects alike.

using tarvos::bench::MedianMicros;
using tarvos::bench::TimeOne;

bool TcpExchange(int fd, const Buf& frame, Buf& reply) {
  ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
  return ReadExactly(fd, reply.data(), reply.size());
}

// With 8 threads the counters are per-thread medians averaged over the
// threads; the ratio of the round-trip times is the inverse ratio of the
// batches per second each side sustains.
void BM_TcpPaired(benchmark::State& state) {
  int echo = ConnectTcp(EchoPort());
  int plugin = ConnectTcp(PluginPort());
  if (echo < 0 || plugin < 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  Buf frame = RequestFrame();
  Buf reply(frame.size());
  std::vector<double> bare, ours;
  for (auto _ : state) {
    bare.push_back(TimeOne([&] { TcpExchange(echo, frame, reply); }));
    ours.push_back(TimeOne([&] { TcpExchange(plugin, frame, reply); }));
  }
  double b = MedianMicros(bare), o = MedianMicros(ours);
  using C = benchmark::Counter;
  state.counters["bare_us"] = C(b, C::kAvgThreads);
  state.counters["plugin_us"] = C(o, C::kAvgThreads);
  state.counters["ratio"] = C(b > 0 ? o / b : 0, C::kAvgThreads);
  ::close(echo);
  ::close(plugin);
}
BENCHMARK(BM_TcpPaired)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_TcpPaired)->Threads(8)->Iterations(4000)->UseRealTime();

// --- Local transport
// ----------------------------------------------------------

int ConnectUnix(const std::string& name) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path + 1, name.data(), name.size());
  socklen_t len =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A bare ping-pong peer: reads the same name message, answers one byte.
std::string PingPongName() {
  static std::string name = [] {
    std::string n = "tarvos-bench-pingpong-" + std::to_string(::getpid());
    int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + 1, n.data(), n.size());
    socklen_t len =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n.size());
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), len);
    ::listen(listener, 4);
    std::thread([listener] {
      for (;;) {
        int c = ::accept(listener, nullptr, nullptr);
        if (c < 0) return;
        std::thread([c] {
          uint8_t buf[512];
          for (;;) {
            if (!ReadExactly(c, buf, 2)) break;
            if (!ReadExactly(c, buf + 2, tarvos::LoadU16(buf))) break;
            uint8_t one = 1;
            if (::send(c, &one, 1, MSG_NOSIGNAL) != 1) break;
          }
          ::close(c);
        }).detach();
      }
    }).detach();
    return n;
  }();
  return name;
}

// The client's side of a local exchange: batch into shared memory, name
// message, answer, batch back.
void LocalRoundTrips(benchmark::State& state, const std::string& endpoint,
                     bool with_batch) {
  int fd = ConnectUnix(endpoint);
  if (fd < 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  std::string shm = "/tarvos-bench-" + std::to_string(::getpid());
  int obj = ::shm_open(shm.c_str(), O_RDWR | O_CREAT, 0600);
  Buf area = RecordArea();
  if (::ftruncate(obj, static_cast<off_t>(area.size())) != 0) {
    state.SkipWithError("no shared memory");
    return;
  }
  // Mapped as a client keeps its batch mapped.
  void* view =
      ::mmap(nullptr, area.size(), PROT_READ | PROT_WRITE, MAP_SHARED, obj, 0);
  if (view == MAP_FAILED) {
    state.SkipWithError("cannot map");
    return;
  }
  Buf message(2 + shm.size());
  tarvos::StoreU16(message.data(), static_cast<uint16_t>(shm.size()));
  std::memcpy(message.data() + 2, shm.data(), shm.size());
  for (auto _ : state) {
    if (with_batch) std::memcpy(view, area.data(), area.size());
    ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
    uint8_t answer = 0;
    if (!ReadExactly(fd, &answer, 1) || answer != 1) {
      state.SkipWithError("no answer");
      break;
    }
    if (with_batch) std::memcpy(area.data(), view, area.size());
  }
  state.SetItemsProcessed(state.iterations());
  ::munmap(view, area.size());
  ::close(fd);
  ::close(obj);
  ::shm_unlink(shm.c_str());
}

void BM_LocalPingPong(benchmark::State& state) {
  LocalRoundTrips(state, PingPongName(), false);
}
void BM_LocalPlugin(benchmark::State& state) {
  PluginPort();
  LocalRoundTrips(state, EndpointName(), true);
}
BENCHMARK(BM_LocalPingPong)->Iterations(20000)->UseRealTime();
BENCHMARK(BM_LocalPlugin)->Iterations(20000)->UseRealTime();

void BM_LocalPaired(benchmark::State& state) {
  PluginPort();
  int bare_fd = ConnectUnix(PingPongName());
  int plugin_fd = ConnectUnix(EndpointName());
  if (bare_fd < 0 || plugin_fd < 0) {
    state.SkipWithError("cannot connect");
    return;
  }
  std::string shm = "/tarvos-bench-paired-" + std::to_string(::getpid());
  int obj = ::shm_open(shm.c_str(), O_RDWR | O_CREAT, 0600);
  Buf area = RecordArea();
  if (::ftruncate(obj, static_cast<off_t>(area.size())) != 0) {
    state.SkipWithError("no shared memory");
    return;
  }
  Buf message(2 + shm.size());
  tarvos::StoreU16(message.data(), static_cast<uint16_t>(shm.size()));
  std::memcpy(message.data() + 2, shm.data(), shm.size());
  // Mapped as a client keeps its batch mapped.
  void* view =
      ::mmap(nullptr, area.size(), PROT_READ | PROT_WRITE, MAP_SHARED, obj, 0);
  if (view == MAP_FAILED) {
    state.SkipWithError("cannot map");
    return;
  }
  uint8_t answer = 0;
  std::vector<double> bare, ours;
  for (auto _ : state) {
    bare.push_back(TimeOne([&] {
      ::send(bare_fd, message.data(), message.size(), MSG_NOSIGNAL);
      ReadExactly(bare_fd, &answer, 1);
    }));
    ours.push_back(TimeOne([&] {
      std::memcpy(view, area.data(), area.size());
      ::send(plugin_fd, message.data(), message.size(), MSG_NOSIGNAL);
      ReadExactly(plugin_fd, &answer, 1);
      std::memcpy(area.data(), view, area.size());
    }));
  }
  double b = MedianMicros(bare), o = MedianMicros(ours);
  state.counters["bare_us"] = b;
  state.counters["plugin_us"] = o;
  state.counters["ratio"] = b > 0 ? o / b : 0;
  ::munmap(view, area.size());
  ::close(bare_fd);
  ::close(plugin_fd);
  ::close(obj);
  ::shm_unlink(shm.c_str());
}
BENCHMARK(BM_LocalPaired)->Iterations(20000)->UseRealTime();

}  // namespace

// Every thread (clients, the bare peers, the plugin's servers) runs on one
// CPU. On this shared two-CPU machine a wake-up on the other, idle CPU costs
// tens of microseconds and lands on either side of a comparison at random;
// on one CPU each round trip costs exactly its system calls and context
// switches, which is what the transports differ in.
int main(int argc, char** argv) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (!CPU_ISSET(cpu, &allowed)) continue;
      cpu_set_t one;
      CPU_ZERO(&one);
      CPU_SET(cpu, &one);
      sched_setaffinity(0, sizeof one, &one);
      break;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
