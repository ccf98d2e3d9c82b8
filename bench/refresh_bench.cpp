// Cost of the periodic refresh, the read-time refresh and the write dispatch
// against the stand-in host. The baseline is one host dataref read, so the
// figures can be compared across machines as ratios.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "XPLMDataAccess.h"
#include "XPLMDefs.h"
#include "XPLMProcessing.h"
#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/convert.h"
#include "offsets/field_store.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "offsets/refresh_lists.h"
#include "offsets/refresh_scheduler.h"
#include "offsets/scaled_rows.h"
#include "requests/message_window.h"
#include "requests/read_refresh.h"
#include "requests/write_dispatch.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"

namespace {

// The plugin started (tables filled) but not enabled: the benchmarks drive
// the callbacks and hooks themselves, without worker threads.
void StartPluginOnce() {
  static bool started = [] {
    tarvos::testing::BootLinkedPlugin(/*enable=*/false);
    return true;
  }();
  (void)started;
}

void BM_BaselineHostGetDataf(benchmark::State& state) {
  StartPluginOnce();
  XPLMDataRef ref = XPLMFindDataRef("sim/flightmodel/position/psi");
  for (auto _ : state) benchmark::DoNotOptimize(XPLMGetDataf(ref));
}
BENCHMARK(BM_BaselineHostGetDataf);

void BM_RefreshCallbackA(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackA(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackA);

// One simulated frame with every callback at its rate (A every frame, B
// every 3rd, ..., I every 313th): the average refresh cost per frame.
void BM_RefreshPerFrameAllCallbacks(benchmark::State& state) {
  StartPluginOnce();
  using tarvos::RefreshCallbackA, tarvos::RefreshCallbackB,
      tarvos::RefreshCallbackC, tarvos::RefreshCallbackD,
      tarvos::RefreshCallbackE, tarvos::RefreshCallbackF,
      tarvos::RefreshCallbackG, tarvos::RefreshCallbackH,
      tarvos::RefreshCallbackI;
  int64_t frame = 0;
  for (auto _ : state) {
    ++frame;
    RefreshCallbackA(0, 0, 0, nullptr);
    if (frame % 3 == 0) RefreshCallbackB(0, 0, 0, nullptr);
    if (frame % 7 == 0) RefreshCallbackC(0, 0, 0, nullptr);
    if (frame % 13 == 0) RefreshCallbackD(0, 0, 0, nullptr);
    if (frame % 31 == 0) RefreshCallbackE(0, 0, 0, nullptr);
    if (frame % 31 == 1) RefreshCallbackF(0, 0, 0, nullptr);
    if (frame % 59 == 0) RefreshCallbackG(0, 0, 0, nullptr);
    if (frame % 157 == 0) RefreshCallbackH(0, 0, 0, nullptr);
    if (frame % 313 == 0) RefreshCallbackI(0, 0, 0, nullptr);
  }
}
BENCHMARK(BM_RefreshPerFrameAllCallbacks);

// A typical instrument panel's reads: position and attitude, speeds, yoke
// and surfaces, accelerations and rates.
void BM_RefreshForReadPanelSet(benchmark::State& state) {
  StartPluginOnce();
  struct Range {
    uint32_t offset, size;
  };
  constexpr Range kRanges[] = {
      {0x0560, 0x28}, {0x02B4, 0x14}, {0x0BB2, 0x12}, {0x3060, 0x60}};
  for (auto _ : state) {
    tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
    for (const Range& r : kRanges) {
      benchmark::DoNotOptimize(tarvos::RefreshForRead(r.offset, r.size));
    }
  }
}
BENCHMARK(BM_RefreshForReadPanelSet);

// A heading write that differs from the stored value every time, so the
// attitude change runs on every iteration.
void BM_ApplyWriteHeading(benchmark::State& state) {
  StartPluginOnce();
  uint32_t heading = 0x40000000u;
  uint8_t bytes[4];
  int64_t n = 0;
  for (auto _ : state) {
    heading += 0x01000000u;
    tarvos::StoreU32(bytes, heading);
    {
      tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
      benchmark::DoNotOptimize(tarvos::ApplyWrite(bytes, 0x0580, 4));
    }
    // The host records every set call; keep its record from growing.
    if (++n % 1024 == 0) {
      state.PauseTiming();
      simhost::Host::Get().TakeSetRecords();
      state.ResumeTiming();
    }
  }
  simhost::Host::Get().TakeSetRecords();
}
BENCHMARK(BM_ApplyWriteHeading);

// One host dataref write, the baseline of the write handlers.
void BM_BaselineHostSetDataf(benchmark::State& state) {
  StartPluginOnce();
  XPLMDataRef ref = XPLMFindDataRef("sim/cockpit/autopilot/heading_mag");
  int64_t n = 0;
  float v = 0;
  for (auto _ : state) {
    XPLMSetDataf(ref, v += 1.0f);
    if (++n % 1024 == 0) {
      state.PauseTiming();
      simhost::Host::Get().TakeSetRecords();
      state.ResumeTiming();
    }
  }
  simhost::Host::Get().TakeSetRecords();
}
BENCHMARK(BM_BaselineHostSetDataf);

// An autopilot target write through the dispatch: a value that differs
// every time, so the handler runs on every iteration.
void ApplyAutopilotWrite(benchmark::State& state, uint32_t offset,
                         uint16_t first, uint16_t step) {
  StartPluginOnce();
  uint16_t value = first;
  uint8_t bytes[2];
  int64_t n = 0;
  for (auto _ : state) {
    value = static_cast<uint16_t>(value + step);
    tarvos::StoreU16(bytes, value);
    {
      tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
      benchmark::DoNotOptimize(tarvos::ApplyWrite(bytes, offset, 2));
      tarvos::StoreU16(tarvos::OffsetBlock + offset, value);
    }
    if (++n % 1024 == 0) {
      state.PauseTiming();
      simhost::Host::Get().TakeSetRecords();
      state.ResumeTiming();
    }
  }
  simhost::Host::Get().TakeSetRecords();
}
// The heading bug (one rounding, one float set).
void BM_ApplyWriteHeadingTarget(benchmark::State& state) {
  ApplyAutopilotWrite(state, 0x07CC, 0, 182);
}
BENCHMARK(BM_ApplyWriteHeadingTarget);
// The airspeed target with the simulator in Mach mode: the mode, sigma and
// speed-of-sound reads and the conversion.
void BM_ApplyWriteAirspeedTarget(benchmark::State& state) {
  StartPluginOnce();
  simhost::Host::Get().SetInt("sim/cockpit/autopilot/airspeed_is_mach", 1);
  ApplyAutopilotWrite(state, 0x07E2, 100, 1);
  simhost::Host::Get().SetInt("sim/cockpit/autopilot/airspeed_is_mach", 0);
}
BENCHMARK(BM_ApplyWriteAirspeedTarget);

void BM_RefreshCallbackC(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackC(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackC);

// The precipitation control: the temperature read and three sets.
void BM_ApplyWritePrecipitation(benchmark::State& state) {
  StartPluginOnce();
  uint8_t bytes[2] = {3, 1};  // rain, rate 3
  int64_t n = 0;
  for (auto _ : state) {
    {
      tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
      benchmark::DoNotOptimize(tarvos::ApplyWrite(bytes, 0x04D2, 2));
    }
    if (++n % 1024 == 0) {
      state.PauseTiming();
      simhost::Host::Get().TakeSetRecords();
      state.ResumeTiming();
    }
  }
  simhost::Host::Get().TakeSetRecords();
}
BENCHMARK(BM_ApplyWritePrecipitation);

void BM_RefreshCallbackG(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackG(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackG);

void BM_RefreshCallbackH(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackH(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackH);

void BM_RefreshCallbackI(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackI(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackI);

void BM_RefreshCallbackD(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackD(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackD);

void BM_RefreshCallbackB(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackB(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackB);

void BM_RefreshCallbackE(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvos::RefreshCallbackE(0, 0, 0, nullptr));
  }
}
BENCHMARK(BM_RefreshCallbackE);

// The per-frame check of the message window with nothing pending, against
// a flight-loop callback that does nothing: both called as the host calls
// them, through a function pointer it cannot see through.
float EmptyFlightLoop(float, float, int, void*) { return -1.0f; }

void RunFlightLoop(benchmark::State& state, XPLMFlightLoop_f callback) {
  StartPluginOnce();
  XPLMFlightLoop_f volatile f = callback;
  for (auto _ : state) benchmark::DoNotOptimize(f(0, 0, 0, nullptr));
}
void BM_EmptyFlightLoopCallback(benchmark::State& state) {
  RunFlightLoop(state, EmptyFlightLoop);
}
BENCHMARK(BM_EmptyFlightLoopCallback);
void BM_MessageWindowFrameNothingPending(benchmark::State& state) {
  RunFlightLoop(state, tarvos::MessageWindowFrame);
}
BENCHMARK(BM_MessageWindowFrameNothingPending);

// A client's message write: what the transport thread does (the request
// recorded), without the window the next frame makes.
void BM_ApplyWriteMessageTime(benchmark::State& state) {
  StartPluginOnce();
  uint8_t bytes[2] = {10, 0};
  for (auto _ : state) {
    tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
    benchmark::DoNotOptimize(tarvos::ApplyWrite(bytes, 0x32FA, 2));
  }
}
BENCHMARK(BM_ApplyWriteMessageTime);

}  // namespace

// The plain rows (one scaled read of one dataref each) two ways: written
// out by hand, one function per row, and through the catalogue rows and the
// one generic converter. Same rows, same host reads, same stores.
namespace hand {
using tarvos::DataRefMemBlock;
using tarvos::FloatConst;
double F(uint32_t slot) { return XPLMGetDataf(DataRefMemBlock[slot]); }
void MagVar() { tarvos::TryStoreTrunc16(0x02A0, F(0x02A0) * -182.0444444444); }
void RadioAlt() {
  tarvos::TryStoreTrunc32(0x31E4, F(0x31E4) * FloatConst(65536));
}
void Ground() {
  tarvos::TryStoreTrunc32(0x02B4, F(0x02B4) * FloatConst(65536));
}
void Tas() { tarvos::TryStoreTrunc32(0x02B8, F(0x02B8) * 248.81209718196197); }
void Ias() {
  double v = F(0x02BC) * 128;
  tarvos::TryStoreTrunc32(0x02BC, v < 0 ? 0 : v);
}
void RollAcc() { tarvos::TryStoreF64(0x3080, F(0x3080) * 0.017453292); }
void YawAcc() { tarvos::TryStoreF64(0x3088, F(0x3088) * 0.017453292); }
void Vy() { tarvos::TryStoreF64(0x30A0, F(0x30A0) * 3.280839); }
void Q() { tarvos::TryStoreF64(0x30A8, F(0x30A8)); }
void P() { tarvos::TryStoreF64(0x30B0, F(0x30B0)); }
void R() { tarvos::TryStoreF64(0x30B8, F(0x30B8)); }
void Weight() { tarvos::TryStoreF64(0x30C0, F(0x30C0) * 2.2046); }
void Fps() { tarvos::TryStoreF64(0x31A0, F(0x31A0) * 0.016666666666666666); }
void Period() {
  tarvos::TryStoreTrunc16(0x0274, F(0x0274) * FloatConst(32768));
}
void Rate() {
  tarvos::FieldBatch b;
  b.U16(0x0C1A,
        tarvos::Low16(
            static_cast<int64_t>(XPLMGetDatai(DataRefMemBlock[0x0C1A])) * 256));
  b.TryStore();
}
constexpr tarvos::Converter kRows[] = {MagVar,  RadioAlt, Ground, Tas,    Ias,
                                       RollAcc, YawAcc,   Vy,     Q,      P,
                                       R,       Weight,   Fps,    Period, Rate};
}  // namespace hand

using tarvos::Scaled;
constexpr tarvos::Converter kGenericRows[] = {
    Scaled<0x02A0>, Scaled<0x31E4>, Scaled<0x02B4>, Scaled<0x02B8>,
    Scaled<0x02BC>, Scaled<0x3080>, Scaled<0x3088>, Scaled<0x30A0>,
    Scaled<0x30A8>, Scaled<0x30B0>, Scaled<0x30B8>, Scaled<0x30C0>,
    Scaled<0x31A0>, Scaled<0x0274>, Scaled<0x0C1A>};

void BM_PlainRowsHandWritten(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    for (tarvos::Converter c : hand::kRows) c();
  }
}
BENCHMARK(BM_PlainRowsHandWritten);

void BM_PlainRowsGeneric(benchmark::State& state) {
  StartPluginOnce();
  for (auto _ : state) {
    for (tarvos::Converter c : kGenericRows) c();
  }
}
BENCHMARK(BM_PlainRowsGeneric);

BENCHMARK_MAIN();
