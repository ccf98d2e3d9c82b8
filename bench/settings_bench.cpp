// Cost of a client's ATC text write against the stand-in host: the whole
// write with its save to TARVOS.ini, the part of it that holds OffsetLock
// (the handler and the copy; the save comes after), the hold it would be
// with the file rewritten inside it, and one host dataref write.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "XPLMDataAccess.h"
#include "base/locks.h"
#include "base/trace_log.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "requests/write_dispatch.h"
#include "settings/settings.h"
#include "settings/settings_saves.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/request_batch.h"

namespace {

using Clock = std::chrono::steady_clock;

void StartPluginOnce() {
  static bool started = [] {
    tarvos::testing::BootLinkedPlugin(/*enable=*/true);
    return true;
  }();
  (void)started;
}

// Twelve bytes of flight number that differ on every call.
void NextText(uint8_t* text, int64_t n) {
  std::memset(text, 0, 12);
  std::snprintf(reinterpret_cast<char*>(text), 12, "DLH%07lld",
                static_cast<long long>(n % 10000000));
}

// A write record of the flight number through the transport's walk: the
// handler under OffsetLock, then the save after the lock.
void BM_AtcTextWriteWithItsSave(benchmark::State& state) {
  StartPluginOnce();
  std::vector<uint8_t> batch(12 + 12 + 4, 0);
  tarvos::StoreU32(batch.data(), tarvos::kRecordWrite);
  tarvos::StoreU32(batch.data() + 4, 0x3130);
  tarvos::StoreU32(batch.data() + 8, 12);
  int64_t n = 0;
  for (auto _ : state) {
    NextText(batch.data() + 12, ++n);
    tarvos::StoreU32(batch.data() + 24, 0);
    benchmark::DoNotOptimize(tarvos::ServeRequestBatch(
        batch.data(), batch.size(), tarvos::kTraceMarkerTcp));
  }
}
BENCHMARK(BM_AtcTextWriteWithItsSave);

// How long that write holds OffsetLock: the handler and the copy, timed
// alone; the save (untimed) follows as the transport makes it.
void BM_AtcTextWriteOffsetLockHold(benchmark::State& state) {
  StartPluginOnce();
  uint8_t text[12];
  int64_t n = 0;
  for (auto _ : state) {
    NextText(text, ++n);
    const auto start = Clock::now();
    {
      tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
      benchmark::DoNotOptimize(tarvos::ApplyWrite(text, 0x3130, 12));
      std::memcpy(tarvos::OffsetBlock + 0x3130, text, 12);
    }
    const auto end = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    tarvos::FlushSettingSaves();
  }
}
BENCHMARK(BM_AtcTextWriteOffsetLockHold)->UseManualTime();

// The hold if the file were rewritten inside it (as a settings write on
// the main thread still does with StoreAtcText).
void BM_OffsetLockHoldWithTheFileRewrittenInside(benchmark::State& state) {
  StartPluginOnce();
  uint8_t text[12];
  int64_t n = 0;
  for (auto _ : state) {
    NextText(text, ++n);
    const auto start = Clock::now();
    {
      tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
      tarvos::StoreAtcText(tarvos::AtcField::kFlightNumber,
                           reinterpret_cast<const char*>(text), 11);
    }
    const auto end = Clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}
BENCHMARK(BM_OffsetLockHoldWithTheFileRewrittenInside)->UseManualTime();

// One host dataref write, the baseline.
void BM_BaselineHostSetDatai(benchmark::State& state) {
  StartPluginOnce();
  XPLMDataRef ref = XPLMFindDataRef("sim/time/sim_speed");
  int64_t n = 0;
  for (auto _ : state) {
    XPLMSetDatai(ref, static_cast<int>(++n & 7));
    if (n % 1024 == 0) {
      state.PauseTiming();
      simhost::Host::Get().TakeSetRecords();
      state.ResumeTiming();
    }
  }
  simhost::Host::Get().TakeSetRecords();
}
BENCHMARK(BM_BaselineHostSetDatai);

}  // namespace

BENCHMARK_MAIN();
