// The refresh callbacks as the host schedules them: registration, rates,
// the try-lock rule and the refresh counter.
#include "offsets/refresh_scheduler.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "base/locks.h"
#include "offsets/position.h"
#include "offsets/reference_tables.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

using Callback = float (*)(float, float, int, void*);

class RefreshSchedulerTest : public testing::PluginFixture {
 protected:
  // Frames (counted from the first frame after Enable) in which the callback
  // that owns `offset` rewrote it: the offset is filled with 0xFF before
  // every frame.
  std::vector<int> RunsOver(uint32_t offset, uint32_t size, int frames) {
    std::vector<uint8_t> sentinel(size, 0xFF);
    std::vector<int> runs;
    for (int f = 1; f <= frames; ++f) {
      Poke(offset, sentinel);
      Frames(1);
      if (Bytes(offset, size) != sentinel) runs.push_back(f);
    }
    return runs;
  }
};

constexpr Callback kAll[] = {
    RefreshCallbackA, RefreshCallbackB, RefreshCallbackC,
    RefreshCallbackD, RefreshCallbackE, RefreshCallbackF,
    RefreshCallbackG, RefreshCallbackH, RefreshCallbackI,
};

TEST_F(RefreshSchedulerTest, EnableRegistersAndDisableUnregistersAllNine) {
  Start();
  Enable();
  for (Callback cb : kAll)
    EXPECT_TRUE(host().IsFlightLoopRegistered(cb, nullptr));
  Disable();
  for (Callback cb : kAll) {
    EXPECT_FALSE(host().IsFlightLoopRegistered(cb, nullptr));
  }
}

// At 60 frames per second: the deferred start's pass in frame 1 (before the
// servers start), then first runs at 0.5 s (frame 30) or 1 s (frame 60),
// then at the callback's own rate; E runs again half a second after its
// first run and every 31 frames after that. (C and G publish nothing yet.)
struct RateCase {
  const char* callback;
  uint32_t offset;  // an offset only that callback writes
  uint32_t size;
  int frames;
  std::vector<int> expected;
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.callback; }

class RefreshRateTest : public RefreshSchedulerTest,
                        public ::testing::WithParamInterface<RateCase> {};

TEST_P(RefreshRateTest, RunsAtItsRate) {
  const RateCase& c = GetParam();
  Start();
  Enable();
  EXPECT_EQ(RunsOver(c.offset, c.size, c.frames), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Callbacks, RefreshRateTest,
    ::testing::Values(RateCase{"A", 0x337E, 2, 33, {1, 30, 31, 32, 33}},
                      RateCase{"B", 0x02B4, 4, 40, {1, 30, 33, 36, 39}},
                      RateCase{"D", 0x0238, 3, 60, {1, 30, 43, 56}},
                      RateCase{"E", 0x0274, 2, 160, {1, 60, 90, 121, 152}},
                      RateCase{"F", 0x0C1A, 2, 125, {1, 60, 91, 122}},
                      RateCase{"H", 0x30C0, 8, 220, {1, 60, 217}},
                      RateCase{"I", 0x023E, 2, 380, {1, 60, 373}}),
    [](const ::testing::TestParamInfo<RateCase>& info) {
      return std::string(info.param.callback);
    });

TEST_F(RefreshSchedulerTest, ReEnableRestartsTheHalfSecondStepOfE) {
  Start();
  Enable();
  Frames(200);
  Disable();
  Enable();
  EXPECT_EQ(RunsOver(0x0274, 2, 125), (std::vector<int>{1, 60, 90, 121}));
}

// A client holding OffsetLock makes the fast offsets skip their store, but
// the position stores wait and land as soon as the lock is released. The
// client lets go only once the flight loop has read the latitude, which
// comes after the airspeed's try and before the latitude's store, so both
// rules are met whatever the threads' timing.
TEST_F(RefreshSchedulerTest, BusyLockSkipsFastValuesButPositionWaits) {
  Start();
  Enable();
  Frames(30);  // A is running every frame now
  host().SetFloat("sim/flightmodel/position/true_airspeed", 100);
  host().SetDouble("sim/flightmodel/position/latitude", 10.0);
  const uint32_t tas_before = U32(0x02B8);
  const int64_t lat_before = S64(0x0560);

  std::mutex mu;
  std::condition_variable cv;
  bool held = false;
  bool latitude_read = false;
  bool released = false;
  host().SetReadHook([&](const std::string& name) {
    if (name != "sim/flightmodel/position/latitude") return;
    std::lock_guard<std::mutex> hold(mu);
    latitude_read = true;
    cv.notify_all();
  });
  std::thread client([&] {
    OffsetLock.Acquire();
    std::unique_lock<std::mutex> hold(mu);
    held = true;
    cv.notify_all();
    cv.wait(hold, [&] { return latitude_read; });
    released = true;
    OffsetLock.Release();
  });
  {
    std::unique_lock<std::mutex> hold(mu);
    cv.wait(hold, [&] { return held; });
  }
  Frames(1);  // blocks in the latitude store until the client lets go
  client.join();
  host().SetReadHook(nullptr);
  EXPECT_TRUE(released);

  EXPECT_EQ(U32(0x02B8), tas_before);  // skipped while busy
  EXPECT_NE(S64(0x0560), lat_before);  // waited and stored
  EXPECT_EQ(S64(0x0560), 4773021016974222);

  Frames(1);
  EXPECT_EQ(U32(0x02B8), 24881u);  // the next run catches up
}

// The counter lives as long as the library, so it starts where earlier
// tests of this process left it.
TEST_F(RefreshSchedulerTest, CounterAdvancesOncePerRunAndWraps) {
  Start();
  const uint16_t from = RefreshCounterValue();
  const int runs = from == 65535 ? 65536 : 65535 - from;
  for (int i = 0; i < runs; ++i) RefreshCallbackA(0, 0, 0, nullptr);
  EXPECT_EQ(U16(0x337E), 65535);
  RefreshCallbackA(0, 0, 0, nullptr);
  EXPECT_EQ(U16(0x337E), 0);
  RefreshCallbackA(0, 0, 0, nullptr);
  EXPECT_EQ(U16(0x337E), 1);
}

TEST_F(RefreshSchedulerTest, CallbackIBindsTheX737WhenItAppears) {
  StartAndEnable();
  host().DefineInt("x737/systems/afds/plugin_status", 1);
  Frames(60);  // first run of I: no x737 yet
  EXPECT_EQ(X737Active.load(), 0);
  host().AddPlugin("bs.x737.plugin");
  Frames(313);
  EXPECT_EQ(X737Active.load(), 1);
  EXPECT_NE(StatusLogText().find("x737 found pluginID="), std::string::npos);
}

}  // namespace
}  // namespace tarvos
