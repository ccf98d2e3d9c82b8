// Cost of the radio refresh against a navaid database of the simulator's
// own size (40,000 navaids): callbacks E and F searching on every run
// against the same callbacks with the answers kept (no host navaid call:
// the floor), the rest of a frame's refresh work for comparison, and a
// frequency write through the dispatch against one host dataref write.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "XPLMDataAccess.h"
#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/radio.h"
#include "offsets/refresh_scheduler.h"
#include "requests/write_dispatch.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"

namespace {

// The plugin started but not enabled (the benchmarks drive the callbacks),
// and the host's database grown to the real size once. The aircraft stays
// at the default position, NAV1 on an ILS with its glide slope, NAV2 on a
// VOR.
void StartOnce() {
  static bool started = [] {
    tarvos::testing::BootLinkedPlugin(/*enable=*/false);
    simhost::Host::Get().AddGeneratedNavaids(40000);
    return true;
  }();
  (void)started;
}

void BM_BaselineHostSetDatai(benchmark::State& state) {
  StartOnce();
  XPLMDataRef ref = XPLMFindDataRef("sim/cockpit/radios/com1_freq_hz");
  int v = 0;
  for (auto _ : state) XPLMSetDatai(ref, 11800 + (++v & 1));
}
BENCHMARK(BM_BaselineHostSetDatai);

// A client's COM1 write through the dispatch and its handler.
void BM_ApplyWriteFrequency(benchmark::State& state) {
  StartOnce();
  uint8_t bytes[2];
  int v = 0;
  for (auto _ : state) {
    tarvos::StoreU16(bytes, (++v & 1) ? 0x1800 : 0x1805);
    tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
    benchmark::DoNotOptimize(tarvos::ApplyWrite(bytes, 0x034E, 2));
  }
}
BENCHMARK(BM_ApplyWriteFrequency);

// One search of each receiver: the host's navaid calls alone.
void BM_SearchNavaidsIls(benchmark::State& state) {
  StartOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::SearchNavaids(11030, 47.45f, -122.3f));
  }
}
BENCHMARK(BM_SearchNavaidsIls);

void BM_SearchNavaidsVor(benchmark::State& state) {
  StartOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::SearchNavaids(11680, 47.45f, -122.3f));
  }
}
BENCHMARK(BM_SearchNavaidsVor);

// Callbacks E and F: range 0 searches on every run, 1 keeps the answers
// (the floor: everything but the host's navaid calls).
void BM_CallbacksEF(benchmark::State& state) {
  StartOnce();
  tarvos::SetNavaidAnswerCache(state.range(0) == 1);
  for (auto _ : state) {
    tarvos::RefreshCallbackE(0, 0, 0, nullptr);
    tarvos::RefreshCallbackF(0, 0, 0, nullptr);
  }
  tarvos::SetNavaidAnswerCache(true);
}
BENCHMARK(BM_CallbacksEF)->Arg(0)->Arg(1);

// The rest of the refresh work of an average frame: every callback but E
// and F at its rate.
void BM_FrameWithoutEF(benchmark::State& state) {
  StartOnce();
  using namespace tarvos;
  int64_t frame = 0;
  for (auto _ : state) {
    ++frame;
    RefreshCallbackA(0, 0, 0, nullptr);
    if (frame % 3 == 0) RefreshCallbackB(0, 0, 0, nullptr);
    if (frame % 7 == 0) RefreshCallbackC(0, 0, 0, nullptr);
    if (frame % 13 == 0) RefreshCallbackD(0, 0, 0, nullptr);
    if (frame % 59 == 0) RefreshCallbackG(0, 0, 0, nullptr);
    if (frame % 157 == 0) RefreshCallbackH(0, 0, 0, nullptr);
    if (frame % 313 == 0) RefreshCallbackI(0, 0, 0, nullptr);
  }
}
BENCHMARK(BM_FrameWithoutEF);

// The frame on which E runs: callback A and E, E searching (0) or keeping
// its answer (1). Its excess over callback A alone is the spike.
void BM_FrameWithE(benchmark::State& state) {
  StartOnce();
  tarvos::SetNavaidAnswerCache(state.range(0) == 1);
  for (auto _ : state) {
    tarvos::RefreshCallbackA(0, 0, 0, nullptr);
    tarvos::RefreshCallbackE(0, 0, 0, nullptr);
  }
  tarvos::SetNavaidAnswerCache(true);
}
BENCHMARK(BM_FrameWithE)->Arg(0)->Arg(1);

void BM_CallbackA(benchmark::State& state) {
  StartOnce();
  for (auto _ : state) tarvos::RefreshCallbackA(0, 0, 0, nullptr);
}
BENCHMARK(BM_CallbackA);

}  // namespace

BENCHMARK_MAIN();
