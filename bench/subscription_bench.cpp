// Pushed updates, measured against their baselines in the same run:
//   - the main thread's cost of sampling 8 connections x 100 ranges of 4 to
//     8 bytes at a frame's end, against a plain copy of the same bytes under
//     one OffsetLock hold (with idle connections, and with 8 real senders
//     that must be woken);
//   - the latency from the end of the sampled frame to a client holding the
//     update, with 1 and 8 clients at 60 and 120 frames a second (p50, p99);
//   - a panel of 100 values at 60 frames a second polled every frame against
//     subscribed: requests per second and the CPU of client and plugin.
// The Google Benchmark part covers the first; the rest print their own
// tables (they run in real time).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench/round_trips.h"
#include "client/session.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "plugin/update_sampler.h"
#include "transport/subscriptions.h"

namespace tarvos::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnections = 8;
constexpr int kRanges = 100;

// Range i of connection c: 4 or 8 bytes, spread over the space.
SubscribedRange RangeOf(int c, int i) {
  return {static_cast<uint32_t>(0x4000 + c * 0x400 + i * 8),
          static_cast<uint32_t>(i % 2 == 0 ? 4 : 8)};
}

std::vector<uint8_t> SubscribeArea(uint32_t id,
                                   const std::vector<SubscribedRange>& ranges,
                                   bool changes_only) {
  std::vector<uint8_t> a(12 + 8 * ranges.size());
  StoreU32(a.data(), id);
  StoreU16(a.data() + 6, changes_only ? 1 : 0);
  StoreU16(a.data() + 8, static_cast<uint16_t>(ranges.size()));
  for (size_t i = 0; i < ranges.size(); ++i) {
    StoreU32(a.data() + 12 + 8 * i, ranges[i].offset);
    StoreU32(a.data() + 16 + 8 * i, ranges[i].size);
  }
  return a;
}

// The plugin enabled with its TCP server, once for the whole run.
void EnsurePlugin() {
  static bool booted = false;
  if (booted) return;
  booted = true;
  BootPluginWithServers("tarvos-bench-subscriptions");
}

// 8 connections with one 100-range subscription each, armed.
struct Connections {
  explicit Connections(bool changes_only) {
    for (int c = 0; c < kConnections; ++c) {
      auto subs = std::make_unique<ConnectionSubscriptions>();
      std::vector<SubscribedRange> ranges;
      for (int i = 0; i < kRanges; ++i) ranges.push_back(RangeOf(c, i));
      std::vector<uint8_t> area = SubscribeArea(1, ranges, changes_only);
      uint32_t id = 0;
      subs->Subscribe(area.data(), area.size(), &id);
      subs->Arm(id);
      RegisterSubscriptions(subs.get());
      all.push_back(std::move(subs));
    }
  }
  ~Connections() {
    for (auto& subs : all) {
      subs->Stop();
      UnregisterSubscriptions(subs.get());
    }
  }
  std::vector<std::unique_ptr<ConnectionSubscriptions>> all;
};

void BM_PlainCopy(benchmark::State& state) {
  EnsurePlugin();
  std::vector<uint8_t> out(kConnections * kRanges * 8);
  for (auto _ : state) {
    LockGuard<RecursiveLock> hold(OffsetLock);
    uint8_t* p = out.data();
    for (int c = 0; c < kConnections; ++c) {
      for (int i = 0; i < kRanges; ++i) {
        const SubscribedRange r = RangeOf(c, i);
        std::memcpy(p, OffsetBlock + r.offset, r.size);
        p += r.size;
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_PlainCopy);

// Every frame, whole updates, nobody taking them (each replaces the last).
void BM_SampleEveryFrame(benchmark::State& state) {
  EnsurePlugin();
  Connections connections(state.range(0) != 0);
  uint32_t frame = 0;
  for (auto _ : state) {
    ++frame;
    SampleSubscriptions(frame, frame / 60.0);
  }
  state.SetLabel(state.range(0) != 0 ? "changes only" : "whole");
}
BENCHMARK(BM_SampleEveryFrame)->Arg(0)->Arg(1);

// With a real sender per connection: each frame's wake-ups are paid on the
// main thread. A frame is sampled only once every sender has taken the last
// one, as at 60 frames a second.
void BM_SampleWithSenders(benchmark::State& state) {
  EnsurePlugin();
  Connections connections(false);
  std::atomic<long> taken{0};
  std::vector<std::thread> senders;
  for (auto& subs : connections.all) {
    senders.emplace_back([&taken, s = subs.get()] {
      std::vector<uint8_t> out;
      while (s->WaitForUpdates()) {
        s->TakeUpdates(&out);
        if (!out.empty()) taken.fetch_add(1);
      }
    });
  }
  uint32_t frame = 0;
  for (auto _ : state) {
    ++frame;
    SampleSubscriptions(frame, frame / 60.0);
    state.PauseTiming();
    while (taken.load() < static_cast<long>(frame) * kConnections) {
      std::this_thread::yield();
    }
    state.ResumeTiming();
  }
  for (auto& subs : connections.all) subs->Stop();
  for (std::thread& t : senders) t.join();
}
BENCHMARK(BM_SampleWithSenders)->Iterations(20000);

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Steps frames at `fps` for `seconds` on this thread (the main thread),
// noting when each frame ended.
std::vector<Clock::time_point> RunFrames(double fps, double seconds,
                                         const std::atomic<bool>& ready) {
  while (!ready.load())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / fps));
  const uint32_t first = SampledFrameCount();
  std::vector<Clock::time_point> ends(static_cast<size_t>(fps * seconds) + 2);
  auto next = Clock::now();
  for (size_t i = 0; i + 2 < ends.size(); ++i) {
    std::this_thread::sleep_until(next);
    simhost::Host::Get().StepFrame(static_cast<float>(1.0 / fps));
    const uint32_t frame = SampledFrameCount() - first;
    if (frame < ends.size()) ends[frame] = Clock::now();
    next += period;
  }
  return ends;
}

void Latency(int clients, double fps) {
  const uint16_t port = TcpServerBoundPort();
  std::atomic<bool> stop{false};
  std::atomic<int> subscribed{0};
  std::atomic<bool> ready{false};
  std::vector<std::vector<std::pair<uint32_t, Clock::time_point>>> got(clients);
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      std::string error;
      auto s = client::ConnectSession("127.0.0.1", port, &error);
      if (!s) return;
      std::vector<client::Range> ranges;
      for (uint32_t offset : kPanelOffsets) ranges.push_back({offset, 8});
      if (!s->Subscribe(1, ranges, {}, &error)) return;
      subscribed.fetch_add(1);
      client::Update u;
      while (!stop.load()) {
        if (s->NextUpdate(&u, 50, &error))
          got[c].push_back({u.frame, Clock::now()});
      }
    });
  }
  while (subscribed.load() < clients)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // Frames stepped while the clients subscribed are past.
  simhost::Host::Get().StepFrame();
  const uint32_t first = SampledFrameCount();
  ready.store(true);
  std::vector<Clock::time_point> ends = RunFrames(fps, 3.0, ready);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop.store(true);
  for (std::thread& t : threads) t.join();
  std::vector<double> micros;
  for (const auto& list : got) {
    for (const auto& [frame, at] : list) {
      if (frame <= first) continue;
      const uint32_t k = frame - first;
      if (k >= ends.size() || ends[k] == Clock::time_point{}) continue;
      micros.push_back(
          std::chrono::duration<double, std::micro>(at - ends[k]).count());
    }
  }
  std::printf(
      "latency, %d client(s) at %.0f frames/s: %zu updates, p50 %.0f us, "
      "p99 %.0f us\n",
      clients, fps, micros.size(), Percentile(micros, 0.5),
      Percentile(micros, 0.99));
}

// A panel of 100 values (4 to 8 bytes each) at 60 frames a second for
// 10 s: polled at the frame rate, or subscribed every frame.
constexpr double kPanelSeconds = 10;
void Panel(bool subscribe) {
  const uint16_t port = TcpServerBoundPort();
  std::atomic<bool> stop{false};
  std::atomic<bool> ready{false};
  std::atomic<long> requests{0}, updates{0};
  double client_cpu = 0;
  std::thread client([&] {
    std::string error;
    auto s = client::ConnectSession("127.0.0.1", port, &error);
    if (!s) return;
    std::vector<client::Range> ranges;
    client::RequestBatch batch;
    for (int i = 0; i < kRanges; ++i) {
      const SubscribedRange r = RangeOf(0, i);
      ranges.push_back({r.offset, r.size});
      batch.AddRead(r.offset, r.size);
    }
    if (subscribe && !s->Subscribe(1, ranges, {}, &error)) return;
    const double cpu0 = ThreadCpuSeconds();
    ready.store(true);
    client::Update u;
    auto next = Clock::now();
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / 60));
    while (!stop.load()) {
      if (subscribe) {
        if (s->NextUpdate(&u, 50, &error)) updates.fetch_add(1);
      } else {
        // A panel polling at the frame rate.
        std::this_thread::sleep_until(next);
        next += period;
        if (s->Exchange(batch, &error)) requests.fetch_add(1);
      }
    }
    client_cpu = ThreadCpuSeconds() - cpu0;
  });
  const double process0 = ProcessCpuSeconds();
  const double main0 = ThreadCpuSeconds();
  RunFrames(60, kPanelSeconds, ready);
  const double main_cpu = ThreadCpuSeconds() - main0;
  stop.store(true);
  client.join();
  const double process = ProcessCpuSeconds() - process0;
  // The plugin's side: everything but the client thread and the stand-in's
  // own main thread (which steps the same frames either way; the
  // plugin's flight-loop work in it is counted with it).
  std::printf(
      "panel of 100 values, %s: %.0f requests/s, %.0f updates/s, "
      "client CPU %.1f ms/s, server threads' CPU %.1f ms/s, main "
      "thread (frames and sampling) %.1f ms/s\n",
      subscribe ? "subscribed" : "polled every frame",
      requests.load() / kPanelSeconds, updates.load() / kPanelSeconds,
      1000 * client_cpu / kPanelSeconds,
      1000 * (process - client_cpu - main_cpu) / kPanelSeconds,
      1000 * main_cpu / kPanelSeconds);
}

}  // namespace
}  // namespace tarvos::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The real-time parts, over the plugin's TCP server.
  tarvos::bench::EnsurePlugin();
  for (double fps : {60.0, 120.0}) {
    for (int clients : {1, 8}) tarvos::bench::Latency(clients, fps);
  }
  tarvos::bench::Panel(false);
  tarvos::bench::Panel(true);
  return 0;
}
