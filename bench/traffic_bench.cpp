// Cost of the AI traffic: CPU time of the traffic and slot threads per wall
// second with 19 and 95 aircraft, against the floor of 96 threads that only
// sleep 200 ms in a loop; and refresh callback A with 95 slot threads
// running against none. Compare the figures of one run as ratios.
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "offsets/refresh_scheduler.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "traffic/traffic_thread.h"
#include "transport/server_options.h"

namespace {

constexpr auto kMeasure = std::chrono::seconds(6);

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// The plugin enabled and its threads started, once per process.
void BootOnce() {
  static bool booted = [] {
    tarvos::SetTcpServerPort(0);
    tarvos::SetTcpServerLoopbackOnly(true);
    tarvos::SetIpcEndpointName("tarvos-traffic-bench");
    tarvos::testing::BootLinkedPlugin(/*enable=*/true);
    simhost::Host::Get().StepFrames(1, 1.0f / 60.0f);  // the deferred start
    return true;
  }();
  (void)booted;
}

// `others` AI aircraft in the host's list, with slot threads for each.
void SetTraffic(int others) {
  BootOnce();
  simhost::Host& host = simhost::Host::Get();
  std::vector<simhost::Aircraft> list = {{"User.acf", "/a/User.acf"}};
  for (int n = 1; n <= others; ++n) {
    list.push_back({"AI_" + std::to_string(n) + ".acf", "/a/AI.acf"});
  }
  host.SetAircraft(list);
  host.SendMessageToPlugin(0, 105, nullptr);
  while (tarvos::TrafficSlotsInUse() != others) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// CPU seconds used by the whole process per wall second while this thread
// sleeps: the plugin's other threads wait in blocking calls, so this is
// the traffic threads' share.
double CpuPerWallSecond() {
  const double cpu0 = ProcessCpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(kMeasure);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0)
          .count();
  return (ProcessCpuSeconds() - cpu0) / wall;
}

void BM_TrafficThreadsCpu(benchmark::State& state) {
  SetTraffic(static_cast<int>(state.range(0)));
  double share = 0;
  for (auto _ : state) share = CpuPerWallSecond();
  state.counters["core_pct"] = share * 100.0;
  SetTraffic(0);
}
BENCHMARK(BM_TrafficThreadsCpu)
    ->Arg(19)
    ->Arg(95)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The floor: 96 threads doing nothing but sleeping 200 ms at a time.
void BM_IdleSleepers96(benchmark::State& state) {
  BootOnce();
  SetTraffic(0);
  double share = 0;
  for (auto _ : state) {
    std::atomic<bool> run{true};
    std::vector<std::thread> threads;
    for (int i = 0; i < 96; ++i) {
      threads.emplace_back([&run] {
        while (run.load()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
      });
    }
    share = CpuPerWallSecond();
    run.store(false);
    for (std::thread& t : threads) t.join();
  }
  state.counters["core_pct"] = share * 100.0;
}
BENCHMARK(BM_IdleSleepers96)->Iterations(1)->Unit(benchmark::kSecond);

// Callback A on the main thread while the slot threads run beside it.
void BM_RefreshCallbackAWithSlots(benchmark::State& state) {
  SetTraffic(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackA(0, 0, 0, nullptr));
  }
  SetTraffic(0);
}
BENCHMARK(BM_RefreshCallbackAWithSlots)->Arg(0)->Arg(95)->Arg(0)->Arg(95);

}  // namespace

BENCHMARK_MAIN();
