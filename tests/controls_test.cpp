// Flight controls and aircraft systems: what the refresh publishes (yoke,
// trims, spoilers, overrides, electrics, pushback) and what a client write
// does to the simulator (controls, switches, gear buttons, the override
// watchdog).
#include "offsets/controls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/one_second_timer.h"
#include "requests/write_dispatch.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

const std::string kControls = "sim/flightmodel/controls/";
const std::string kHasJoystick = "sim/joystick/has_joystick";
const std::string kOverride = "sim/operation/override/";
const char* const kOverrideNames[4] = {
    "override_joystick_pitch", "override_joystick_roll",
    "override_joystick_heading", "override_throttles"};

class ControlsTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
    Enable();
  }

  void Write8(uint32_t offset, uint8_t v) { Write(offset, {v}); }
  void Write16(uint32_t offset, int16_t v) {
    std::vector<uint8_t> b(2);
    StoreS16(b.data(), v);
    Write(offset, b);
  }
  void Write32(uint32_t offset, uint32_t v) {
    std::vector<uint8_t> b(4);
    StoreU32(b.data(), v);
    Write(offset, b);
  }
  int16_t S16(uint32_t offset) { return static_cast<int16_t>(U16(offset)); }
  uint8_t U8(uint32_t offset) { return Bytes(offset, 1)[0]; }

  // The overrides as the simulator holds them, pitch first.
  std::vector<int> Overrides() {
    std::vector<int> v;
    for (const char* n : kOverrideNames)
      v.push_back(host().GetInt(kOverride + n));
    return v;
  }
  // Seconds of flight at 10 frames a second (the one-second timer runs once
  // in each).
  void Seconds(int n) { Frames(10 * n, 0.1f); }
};

// --- Published values --------------------------------------------------------

TEST_F(ControlsTest, SpoilerRequestToArmedFlagAndHandle) {
  const struct {
    float request;
    uint32_t armed, handle;
  } kRows[] = {
      {0.5f, 0, 10591},   // trunc(0.5 x 11583 + 4800)
      {-0.5f, 1, 4800},   // armed
      {-0.01f, 1, 4800},  //
      {0.0f, 0, 0},       // retracted
      {0.06f, 0, 0},      // not yet out
      {0.08f, 0, 5726},   // just out
      {1.0f, 0, 16383},   // full
      {1.01f, 0, 0},      // beyond full
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.request);
    host().SetFloat(kControls + "sbrkrqst", r.request);
    ConvertSpoilers();
    EXPECT_EQ(U32(0x0BCC), r.armed);
    EXPECT_EQ(U32(0x0BD0), r.handle);
  }
}

TEST_F(ControlsTest, YokeRollOnlyWithAJoystick) {
  const struct {
    int has_joystick;
    int16_t roll;
  } kRows[] = {{1, 8191}, {0, 0}, {0x100, 0}, {0x101, 8191}};
  host().SetFloat("sim/joystick/yoke_roll_ratio", 0.5f);
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.has_joystick);
    host().SetInt(kHasJoystick, r.has_joystick);
    ConvertYokeRoll();
    EXPECT_EQ(S16(0x0BB6), r.roll);
  }
}

TEST_F(ControlsTest, ElevatorTrimCopiesShareOneReading) {
  host().SetFloat(kControls + "elv_trim", -0.25f);
  ConvertElevatorTrimCopies();
  EXPECT_EQ(S16(0x0BC2), -4095);  // trunc(-0.25 x 16383)
  EXPECT_DOUBLE_EQ(F64(0x2E98), -0.25 * 0.17453292);
}

TEST_F(ControlsTest, OverrideFlagsByte) {
  const struct {
    int pitch, roll, heading, throttles;
    uint8_t byte;
  } kRows[] = {
      {0, 0, 0, 0, 0x00},
      {1, 0, 0, 0, 0x01},
      {0, 1, 0, 0, 0x02},
      {0, 0, 1, 0, 0x04},
      {0, 0, 0, 1, 0x08},
      {1, 1, 1, 1, 0x0F},
      // Only bit 0 of each value counts.
      {2, 3, 0, 0, 0x02},
      {-1, 0, 0, 0xFF, 0x09},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(static_cast<int>(r.byte));
    const int v[4] = {r.pitch, r.roll, r.heading, r.throttles};
    for (int i = 0; i < 4; ++i)
      host().SetInt(kOverride + kOverrideNames[i], v[i]);
    ConvertOverrideFlags();
    EXPECT_EQ(U8(0x310A), r.byte);
  }
}

TEST_F(ControlsTest, PushbackWithThePluginPresentAndAbsent) {
  // Absent: the slot is null and the state reads "no pushback".
  ASSERT_EQ(DataRefMemBlock[0x31F0], nullptr);
  ConvertPushback();
  EXPECT_EQ(U32(0x31F0), 3u);
  EXPECT_EQ(U32(0x31F4), 3u);

  host().AddPlugin("GoodWay.XPushBack");
  RefreshLateBindings();
  ASSERT_NE(DataRefMemBlock[0x31F0], nullptr);
  const struct {
    int status;
    uint32_t state;
  } kRows[] = {{0, 3}, {1, 0}, {2, 2}, {3, 1}, {4, 0}, {-1, 0}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.status);
    host().SetInt("goodway/xpushback/PBstatus", r.status);
    ConvertPushback();
    EXPECT_EQ(U32(0x31F0), r.state);
    EXPECT_EQ(U32(0x31F4), r.state);
  }
}

TEST_F(ControlsTest, ElectricsAndTheX737BatteryBus) {
  const std::string e = "sim/cockpit/electrical/";
  host().SetIntElement(e + "generator_on", 0, 0);
  host().SetIntElement(e + "generator_on", 3, 1);
  host().SetIntElement("sim/cockpit/engine/fuel_pump_on", 0, 0);
  host().SetInt(e + "battery_on", 0);
  ConvertGenerators();
  ConvertFuelPumps();
  ConvertBattery();
  EXPECT_EQ(U8(0x3101), 1);  // any of the four
  EXPECT_EQ(U8(0x3104), 0);
  EXPECT_EQ(U8(0x3102), 0);

  host().AddPlugin("bs.x737.plugin");
  RefreshLateBindings();
  ASSERT_NE(X737Active.load(), 0);
  const struct {
    int bus;
    uint8_t battery;
  } kRows[] = {{1, 1}, {0, 0}, {2, 0}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.bus);
    host().SetInt("x737/systems/electrics/swBatBusPowered", r.bus);
    ConvertBattery();
    EXPECT_EQ(U8(0x3102), r.battery);
  }
}

// --- Writes ------------------------------------------------------------------

TEST_F(ControlsTest, SpoilerHandleWrites) {
  const struct {
    uint32_t value;
    bool sets;
    float request;
  } kRows[] = {
      {0, true, 0.0f},   {4800, true, -0.5f},      {4801, false, 0},
      {5619, false, 0},  {5620, true, 0.0707934f}, {16383, true, 1.0f},
      {16384, false, 0}, {0xFFFFFFFF, false, 0},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.value);
    Poke(0x0BD0, {0x55, 0x55, 0x55, 0x55});  // so every value is a change
    host().SetFloat(kControls + "sbrkrqst", 7.0f);
    host().TakeSetRecords();
    Write32(0x0BD0, r.value);
    auto sets = TakeSets();
    ASSERT_EQ(sets.size(), r.sets ? 1u : 0u);
    if (r.sets) {
      EXPECT_NEAR(host().GetFloat(kControls + "sbrkrqst"), r.request, 1e-6);
    }
  }
}

TEST_F(ControlsTest, SpoilersArmedWrites) {
  const struct {
    uint32_t value;
    bool sets;
    float request;
  } kRows[] = {{1, true, -0.5f}, {0, true, 0.0f}, {2, false, 0}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.value);
    Poke(0x0BCC, {0x55, 0x55, 0x55, 0x55});
    host().TakeSetRecords();
    Write32(0x0BCC, r.value);
    auto sets = TakeSets();
    ASSERT_EQ(sets.size(), r.sets ? 1u : 0u);
    if (r.sets) {
      EXPECT_FLOAT_EQ(host().GetFloat(kControls + "sbrkrqst"), r.request);
    }
  }
}

TEST_F(ControlsTest, GearLeverPressesAndReleasesOneButton) {
  const struct {
    uint32_t value;
    std::vector<int> presses;
  } kRows[] = {{0, {52}}, {16383, {53}}, {8000, {}}, {1, {}}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.value);
    Poke(0x0BE8, {0x55, 0x55, 0x55, 0x55});
    host().TakeInputs();
    Write32(0x0BE8, r.value);
    std::vector<simhost::InputRecord> want;
    for (int b : r.presses) {
      want.push_back({simhost::InputKind::kButtonPress, b});
      want.push_back({simhost::InputKind::kButtonRelease, b});
    }
    auto got = host().TakeInputs();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].kind, want[i].kind);
      EXPECT_EQ(got[i].code, want[i].code);
    }
  }
  // The same value again is no change: no button.
  Write32(0x0BE8, 0);
  host().TakeInputs();
  Write32(0x0BE8, 0);
  EXPECT_TRUE(host().TakeInputs().empty());
}

TEST_F(ControlsTest, RudderInputOnlyWithoutAJoystick) {
  const std::string rudder = "sim/joystick/yolk_heading_ratio";
  const struct {
    int has_joystick;
    bool written;
  } kRows[] = {{0, true}, {1, false}, {0x100, true}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.has_joystick);
    host().SetInt(kHasJoystick, r.has_joystick);
    host().SetFloat(rudder, 0.25f);
    host().TakeSetRecords();
    Write16(0x0BBA, -16383);
    EXPECT_EQ(TakeSets().size(), r.written ? 1u : 0u);
    EXPECT_FLOAT_EQ(host().GetFloat(rudder), r.written ? -1.0f : 0.25f);
  }
}

TEST_F(ControlsTest, ControlAndSwitchWrites) {
  const std::string j = "sim/joystick/";
  const struct {
    uint32_t offset;
    std::vector<uint8_t> bytes;
    std::string dataref;
    double value;
  } kRows[] = {
      {0x0BB2, {0x00, 0xC0}, j + "yolk_pitch_ratio", -16384 / 16383.0},
      {0x0BB6, {0xFF, 0x3F}, j + "yoke_roll_ratio", 1.0},
      {0x0BC0, {0x00, 0x20}, kControls + "elv_trim", 8192 / 16383.0},
      {0x0BC8, {0xFF, 0x7F}, kControls + "parkbrake", 1.0},
      {0x0BDC, {0xFF, 0x1F, 0, 0}, kControls + "flaprqst", 8191 / 16383.0},
      {0x029C, {1}, "sim/cockpit/switches/pitot_heat_on", 1},
      {0x2F80, {3}, "sim/cockpit/switches/auto_brake_settings", 3},
      {0x3102, {1}, "sim/cockpit/electrical/battery_on", 1},
      {0x3103, {1}, "sim/cockpit/electrical/avionics_on", 1},
      {0x6D88, {2}, "sim/cockpit2/switches/wiper_speed", 2},
      {0x6F0B, {1}, "sim/cockpit/switches/anti_ice_surf_heat_left", 1},
      {0x6F0C, {1}, "sim/cockpit/switches/anti_ice_surf_heat_right", 1},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.dataref);
    Write(r.offset, r.bytes);
    EXPECT_NEAR(host().GetDouble(r.dataref), r.value, 1e-6);
    EXPECT_EQ(TakeSets().size(), 1u);
  }
}

TEST_F(ControlsTest, TrimsInTenthsOfARadian) {
  const struct {
    uint32_t offset;
    std::string dataref;
    bool on_change;
  } kRows[] = {{0x2EA0, kControls + "elv_trim", true},
               {0x2EB0, kControls + "ail_trim", false},
               {0x2EC0, kControls + "rud_trim", false}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.dataref);
    std::vector<uint8_t> b(8);
    StoreF64(b.data(), 0.17453292 / 2);
    Write(r.offset, b);
    EXPECT_NEAR(host().GetFloat(r.dataref), 0.5, 1e-6);
    host().TakeSetRecords();
    Write(r.offset, b);  // the same bytes again
    EXPECT_EQ(host().TakeSetRecords().size(), r.on_change ? 0u : 1u);
  }
}

TEST_F(ControlsTest, FourSwitchesAtOnce) {
  for (const std::string name : {"sim/cockpit/electrical/generator_on",
                                 "sim/cockpit/engine/fuel_pump_on"}) {
    SCOPED_TRACE(name);
    const uint32_t offset =
        name.find("generator") != std::string::npos ? 0x3101 : 0x3104;
    Write8(offset, 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(host().GetIntElement(name, i), 1);
    Write8(offset, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(host().GetIntElement(name, i), 0);
  }
}

// --- Override watchdog -------------------------------------------------------

TEST_F(ControlsTest, OverrideBitsSetInOrderOnlyOnChange) {
  Write8(0x310A, 0x0B);
  auto sets = TakeSets();
  ASSERT_EQ(sets.size(), 4u);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(sets[i].name, kOverride + kOverrideNames[i]);
  EXPECT_EQ(Overrides(), (std::vector<int>{1, 1, 0, 1}));
  // The same byte again changes nothing but restarts the watchdog.
  ArmOverrideWatchdog(3);
  Write8(0x310A, 0x0B);
  EXPECT_TRUE(TakeSets().empty());
  EXPECT_EQ(OverrideWatchdogRunsLeft(), kOverrideWatchdogRuns);
}

TEST_F(ControlsTest, WatchdogKeepsOverridesWhileWrittenAndDropsThemAfter) {
  Seconds(2);  // the first tick after enabling clears the overrides
  Write8(0x310A, 0x0F);
  for (int i = 0; i < 10; ++i) {
    Seconds(3);
    ASSERT_EQ(Overrides(), (std::vector<int>{1, 1, 1, 1})) << i;
    Write8(0x310A, 0x0F);
  }
  // After the last write: still held for 9 ticks, gone by the 11th.
  int ticks = 0;
  while (Overrides() != std::vector<int>{0, 0, 0, 0} && ticks < 20) {
    Seconds(1);
    ++ticks;
  }
  EXPECT_GE(ticks, 10);
  EXPECT_LE(ticks, 11);
  EXPECT_EQ(OverrideWatchdogRunsLeft(), -1);
}

TEST_F(ControlsTest, FirstTickAfterEnableClearsOverrides) {
  for (const char* n : kOverrideNames) host().SetInt(kOverride + n, 1);
  Seconds(2);
  EXPECT_EQ(Overrides(), (std::vector<int>{0, 0, 0, 0}));
}

// The flight loop never waits for a client's hold of OffsetLock: the
// release is put off to the next run instead of being dropped.
TEST_F(ControlsTest, WatchdogReleaseWaitsForABusyLockWithoutBlocking) {
  Write8(0x310A, 0x0F);
  ArmOverrideWatchdog(1);
  std::promise<void> held, done;
  std::thread client([&] {
    LockGuard<RecursiveLock> hold(OffsetLock);
    held.set_value();
    done.get_future().wait();
  });
  held.get_future().wait();
  OneSecondTimer(1, 1, 0, nullptr);  // fires, but the lock is busy
  EXPECT_EQ(Overrides(), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(OverrideWatchdogRunsLeft(), 0);
  done.set_value();
  client.join();
  OneSecondTimer(1, 1, 0, nullptr);
  EXPECT_EQ(Overrides(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(OverrideWatchdogRunsLeft(), -1);
}

// A count that a client re-arms between the timer's read and its write,
// once: the interleaving that used to lose the re-arm.
struct RearmedCount {
  int32_t value;
  int32_t rearm_to;
  bool rearmed = false;
  int32_t load() const { return value; }
  bool compare_exchange_weak(int32_t& expected, int32_t desired) {
    if (!rearmed) {
      rearmed = true;
      value = rearm_to;
    }
    if (value != expected) {
      expected = value;
      return false;
    }
    value = desired;
    return true;
  }
};

TEST(OverrideWatchdogCountdown, AReArmBetweenReadAndWriteIsKept) {
  const struct {
    int32_t before, rearm, after;
    bool fires;
  } kRows[] = {
      {1, 10, 9, false},    // would have reached 0 and fired
      {0, 10, 9, false},    // would have fired at once
      {5, 10, 9, false},    // would have stored 4
      {-1, 10, -1, false},  // idle: stays idle until armed
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.before);
    RearmedCount count{r.before, r.rearm};
    EXPECT_EQ(StepCountdownOn(count), r.fires);
    EXPECT_EQ(count.value, r.after);
  }
}

TEST(OverrideWatchdogCountdown, StepsDownFiresOnceAndIdles) {
  std::atomic<int32_t> count{3};
  std::vector<bool> fired;
  for (int i = 0; i < 5; ++i) fired.push_back(StepCountdown(count));
  EXPECT_EQ(fired, (std::vector<bool>{false, false, true, false, false}));
  EXPECT_EQ(count.load(), -1);
}

}  // namespace
}  // namespace tarvos
