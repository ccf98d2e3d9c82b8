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
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "offsets/coding.h"
#include "simhost/host.h"
#include "transport/request_batch.h"
#include "transport/server_options.h"

extern "C" {
int XPluginStart(char* name, char* signature, char* description);
void XPluginStop(void);
int XPluginEnable(void);
void XPluginDisable(void);
void XPluginReceiveMessage(XPLMPluginID from, int message, void* param);
}

namespace {

using Buf = std::vector<uint8_t>;

Buf RecordArea() {
  Buf area;
  auto put = [&](uint32_t v) {
    size_t at = area.size();
    area.resize(at + 4);
    tarvos::StoreU32(area.data() + at, v);
  };
  const uint32_t offsets[10] = {0x0560, 0x0568, 0x0570, 0x0578, 0x0580,
                                0x02BC, 0x02C4, 0x0238, 0x3304, 0x0B74};
  for (uint32_t offset : offsets) {
    put(1);
    put(offset);
    put(10);
    put(0);
    area.resize(area.size() + 10, 0);
  }
  put(0);
  return area;
}

Buf RequestFrame() {
  Buf area = RecordArea();
  Buf f(8 + area.size());
  tarvos::StoreU16(f.data(), 1);
  tarvos::StoreU16(f.data() + 2, static_cast<uint16_t>(area.size()));
  std::memcpy(f.data() + 4, area.data(), area.size());
  tarvos::StoreU16(f.data() + 4 + area.size(),
                   static_cast<uint16_t>(area.size()));
  tarvos::StoreU16(f.data() + 6 + area.size(), 0xFADE);
  return f;
}

bool ReadExactly(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t got = ::recv(fd, p, n, 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

int ConnectTcp(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

// --- The plugin -------------------------------------------------------------

std::string EndpointName() {
  return "tarvos-bench-" + std::to_string(::getpid());
}

uint16_t PluginPort() {
  static uint16_t port = [] {
    tarvos::SetTcpServerPort(0);
    tarvos::SetTcpServerLoopbackOnly(true);
    tarvos::SetIpcEndpointName(EndpointName());
    simhost::Host& host = simhost::Host::Get();
    host.Reset();
    simhost::PluginEntryPoints entry;
    entry.start = &XPluginStart;
    entry.stop = &XPluginStop;
    entry.enable = &XPluginEnable;
    entry.disable = &XPluginDisable;
    entry.receive_message = &XPluginReceiveMessage;
    host.AttachPlugin(entry);
    host.StartPlugin();
    host.EnablePlugin();
    host.StepFrame();  // the deferred start: servers up
    for (int i = 0; i < 500 && (tarvos::TcpServerBoundPort() == 0 ||
                                !tarvos::IpcServerListening());
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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
BENCHMARK(BM_TcpEcho)->UseRealTime();
BENCHMARK(BM_TcpPlugin)->UseRealTime();
BENCHMARK(BM_TcpEcho)->Threads(8)->UseRealTime();
BENCHMARK(BM_TcpPlugin)->Threads(8)->UseRealTime();

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
  ::ftruncate(obj, static_cast<off_t>(area.size()));
  Buf message(2 + shm.size());
  tarvos::StoreU16(message.data(), static_cast<uint16_t>(shm.size()));
  std::memcpy(message.data() + 2, shm.data(), shm.size());
  for (auto _ : state) {
    if (with_batch) ::pwrite(obj, area.data(), area.size(), 0);
    ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
    uint8_t answer = 0;
    if (!ReadExactly(fd, &answer, 1) || answer != 1) {
      state.SkipWithError("no answer");
      break;
    }
    if (with_batch) ::pread(obj, area.data(), area.size(), 0);
  }
  state.SetItemsProcessed(state.iterations());
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
BENCHMARK(BM_LocalPingPong)->UseRealTime();
BENCHMARK(BM_LocalPlugin)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
