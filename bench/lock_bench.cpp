// OffsetLock under client load, with and without the main thread's
// precedence: worker threads serve "records" back to back (take the lock,
// do a record's worth of work, release it, take it again), while the
// benchmark thread plays the flight loop, making the seven blocking stores
// of a frame and then resting for the rest of the frame.
//
// Reported: how long a flight-loop store waits (mean and longest) and how
// many records the workers served per second. Arg 0 is a plain mutex, arg
// 1 the main thread with precedence; compare the two rows of one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/locks.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWorkers = 3;
constexpr int kStoresPerFrame = 7;

void ServeRecords(tarvos::RecursiveLock& lock, std::atomic<bool>& stop,
                  std::atomic<long>& records) NO_THREAD_SAFETY_ANALYSIS {
  std::atomic<int> work{0};
  while (!stop.load(std::memory_order_relaxed)) {
    lock.Acquire();
    for (int i = 0; i < 500; ++i) work.fetch_add(1, std::memory_order_relaxed);
    lock.Release();
    records.fetch_add(1, std::memory_order_relaxed);
  }
}

void BM_FlightLoopStoresUnderLoad(benchmark::State& state) {
  tarvos::RecursiveLock lock;
  if (state.range(0) != 0) lock.SetPriorityThread(std::this_thread::get_id());
  std::atomic<bool> stop{false};
  std::atomic<long> records{0};
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; ++i) {
    workers.emplace_back(ServeRecords, std::ref(lock), std::ref(stop),
                         std::ref(records));
  }
  double longest = 0, total = 0;
  long stores = 0;
  const long records_before = records.load();
  const auto started = Clock::now();
  for (auto _ : state) {
    for (int i = 0; i < kStoresPerFrame; ++i) {
      const auto t0 = Clock::now();
      lock.Acquire();
      const double waited =
          std::chrono::duration<double>(Clock::now() - t0).count();
      lock.Release();
      longest = std::max(longest, waited);
      total += waited;
      ++stores;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  const double seconds =
      std::chrono::duration<double>(Clock::now() - started).count();
  const long served = records.load() - records_before;
  stop = true;
  for (std::thread& t : workers) t.join();
  state.counters["store_wait_mean_us"] = 1e6 * total / std::max(1L, stores);
  state.counters["store_wait_max_us"] = 1e6 * longest;
  state.counters["records_per_s"] = served / seconds;
}
BENCHMARK(BM_FlightLoopStoresUnderLoad)
    ->ArgName("precedence")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2000)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
