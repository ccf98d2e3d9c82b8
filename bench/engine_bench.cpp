// Cost of the engine and fuel refresh and writes against the stand-in
// host: callback A with and without its engine converters, the engine
// converters against the bare host reads they make, and a throttle lever
// write against one host dataref write.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "XPLMDataAccess.h"
#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/engines.h"
#include "offsets/offset_block.h"
#include "offsets/refresh_lists.h"
#include "offsets/refresh_scheduler.h"
#include "offsets/scaled_rows.h"
#include "requests/write_dispatch.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"

namespace {

void StartPluginOnce() {
  static bool started = [] {
    tarvos::testing::BootLinkedPlugin(/*enable=*/false);
    return true;
  }();
  (void)started;
}

using tarvos::Converter;

// The engine entries of callback A, in its order of work.
const Converter kEngineConverters[] = {
    tarvos::ConvertThrottle<1>,
    tarvos::ConvertN2<1>,
    tarvos::ConvertN1<1>,
    tarvos::ConvertManifoldPressure<1>,
    tarvos::ConvertVibration<1>,
    tarvos::ConvertThrottle<2>,
    tarvos::ConvertN2<2>,
    tarvos::ConvertN1<2>,
    tarvos::ConvertManifoldPressure<2>,
    tarvos::ConvertVibration<2>,
    tarvos::ConvertThrottle<3>,
    tarvos::ConvertManifoldPressure<3>,
    tarvos::ConvertThrottle<4>,
    tarvos::ConvertManifoldPressure<4>,
    tarvos::Scaled<0x2400>,
    tarvos::Scaled<0x2500>,
};

bool IsEngineConverter(Converter c) {
  for (Converter e : kEngineConverters) {
    if (c == e) return true;
  }
  return false;
}

// Callback A as it is (its list run as the scheduler runs it).
void BM_CallbackA(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackA(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_CallbackA);

// Callback A's list without the engine converters: A as it was before the
// engine rows joined it.
void BM_CallbackAWithoutEngines(benchmark::State& state) {
  StartPluginOnce();
  std::vector<Converter> list;
  for (Converter c : tarvos::RefreshList(tarvos::RefreshCallback::kA)) {
    if (!IsEngineConverter(c)) list.push_back(c);
  }
  for (auto _ : state) {
    for (Converter c : list) c();
  }
}
BENCHMARK(BM_CallbackAWithoutEngines);

void BM_EngineConvertersOfA(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    for (Converter c : kEngineConverters) c();
  }
}
BENCHMARK(BM_EngineConvertersOfA);

// The host reads the engine converters of A make (without the x737 and
// with the throttles not overridden): 14 float-array elements and 6
// integers.
void BM_BareHostReadsOfTheEngineConverters(benchmark::State& state) {
  StartPluginOnce();
  XPLMDataRef ratio =
      XPLMFindDataRef("sim/cockpit2/engine/actuators/throttle_ratio");
  XPLMDataRef n1 = XPLMFindDataRef("sim/flightmodel/engine/ENGN_N1_");
  XPLMDataRef n2 = XPLMFindDataRef("sim/flightmodel/engine/ENGN_N2_");
  XPLMDataRef mp = XPLMFindDataRef("sim/cockpit2/engine/indicators/MPR_in_hg");
  XPLMDataRef tac = XPLMFindDataRef("sim/flightmodel/engine/POINT_tacrad");
  XPLMDataRef over =
      XPLMFindDataRef("sim/operation/override/override_throttles");
  XPLMDataRef rev =
      XPLMFindDataRef("sim/cockpit/warnings/annunciators/reverse");
  const XPLMDataRef floats[14] = {ratio, n2,    n1, mp,    ratio, n2,  n1,
                                  mp,    ratio, mp, ratio, mp,    tac, tac};
  const int elements[14] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 0, 1};
  const XPLMDataRef ints[6] = {over, rev, over, rev, rev, rev};
  for (auto _ : state) {
    float v = 0;
    int sum = 0;
    for (int k = 0; k < 14; ++k) {
      XPLMGetDatavf(floats[k], &v, elements[k], 1);
      benchmark::DoNotOptimize(v);
    }
    for (XPLMDataRef r : ints) sum += XPLMGetDatai(r);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_BareHostReadsOfTheEngineConverters);

// What the engine converters of A spend on locking alone: one try-acquire
// and release of OffsetLock per value, sixteen values.
void BM_SixteenOffsetLockHolds(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    for (int k = 0; k < 16; ++k) {
      if (tarvos::OffsetLock.TryAcquire()) tarvos::OffsetLock.Release();
    }
  }
}
BENCHMARK(BM_SixteenOffsetLockHolds);

// A throttle lever write through the dispatch: propeller mode, override
// test and throttle set, with a value that differs every time.
void BM_ApplyWriteThrottleLever(benchmark::State& state) {
  StartPluginOnce();
  int16_t value = 0;
  uint8_t bytes[2];
  int64_t n = 0;
  for (auto _ : state) {
    value = static_cast<int16_t>(value == 16384 ? -4096 : value + 512);
    tarvos::StoreU16(bytes, static_cast<uint16_t>(value));
    {
      tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
      benchmark::DoNotOptimize(tarvos::ApplyWrite(bytes, 0x088C, 2));
      tarvos::StoreU16(tarvos::OffsetBlock + 0x088C,
                       static_cast<uint16_t>(value));
    }
    if (++n % 1024 == 0) {
      state.PauseTiming();
      simhost::Host::Get().TakeSetRecords();
      state.ResumeTiming();
    }
  }
  simhost::Host::Get().TakeSetRecords();
}
BENCHMARK(BM_ApplyWriteThrottleLever);

// One host dataref write (one float-array element), the baseline.
void BM_BaselineHostSetDatavf(benchmark::State& state) {
  StartPluginOnce();
  XPLMDataRef ref =
      XPLMFindDataRef("sim/cockpit2/engine/actuators/throttle_ratio");
  int64_t n = 0;
  float v = 0;
  for (auto _ : state) {
    v = v > 1 ? 0 : v + 0.01f;
    XPLMSetDatavf(ref, &v, 0, 1);
    if (++n % 1024 == 0) {
      state.PauseTiming();
      simhost::Host::Get().TakeSetRecords();
      state.ResumeTiming();
    }
  }
  simhost::Host::Get().TakeSetRecords();
}
BENCHMARK(BM_BaselineHostSetDatavf);

}  // namespace

BENCHMARK_MAIN();
