// The autopilot and flight director: what the refresh publishes from the
// simulator and from the x737, and what a client write does to each, as
// the stand-in host answers it (a state-word write presses the buttons of
// its bits, the mode keys toggle).
#include "offsets/autopilot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/write_dispatch.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

const std::string kAp = "sim/cockpit/autopilot/";
const std::string kAfds = "x737/systems/afds/";
const std::string kAthr = "x737/systems/athr/";

class AutopilotTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
    Enable();
    host().SetFloat("sim/weather/sigma", 1.0f);
    host().SetFloat("sim/weather/speed_sound_ms", 340.29f);
    // The binding outlives a test: one that ended with the x737 leaves it
    // active for the next in the same process.
    UseX737(false);
  }

  void UseX737(bool on) {
    if (on) {
      host().AddPlugin("bs.x737.plugin");
    } else {
      host().RemovePlugin("bs.x737.plugin");
    }
    RefreshLateBindings();
    ASSERT_EQ(X737Active.load() != 0, on);
  }

  void RunConverters() {
    ConvertFlightDirectorPitch();
    ConvertFlightDirectorRoll();
    ConvertAutothrottleHold();
    ConvertSpeedTargets();
    ConvertMachHold();
    ConvertApproachHold();
    ConvertAutothrottleArm();
    ConvertAutopilotMaster();
    ConvertWingLeveller();
    ConvertFlightDirector();
  }

  void Write32(uint32_t offset, uint32_t v) {
    std::vector<uint8_t> b(4);
    StoreU32(b.data(), v);
    Write(offset, b);
  }
  void Write16(uint32_t offset, uint16_t v) {
    std::vector<uint8_t> b(2);
    StoreU16(b.data(), v);
    Write(offset, b);
  }
  int State() { return host().GetInt(kAp + "autopilot_state"); }
  std::vector<int> Keys() {
    std::vector<int> keys;
    for (const auto& r : host().TakeInputs()) {
      if (r.kind == simhost::InputKind::kKeyStroke) keys.push_back(r.code);
    }
    return keys;
  }
};

// --- Published values --------------------------------------------------------

TEST_F(AutopilotTest, ModesFromTheSimulatorAndFromTheX737) {
  const struct {
    bool x737;
    const char* name;  // dataref set before the refresh
    int value;
    uint32_t offset;  // offset read after it
    uint32_t expected;
  } kRows[] = {
      // The simulator: autopilot_mode 2 is engaged, 1 flight director only.
      {false, "sim/cockpit/autopilot/autopilot_mode", 2, 0x07BC, 1},
      {false, "sim/cockpit/autopilot/autopilot_mode", 2, 0x2EE0, 1},
      {false, "sim/cockpit/autopilot/autopilot_mode", 1, 0x07BC, 0},
      {false, "sim/cockpit/autopilot/autopilot_mode", 1, 0x2EE0, 1},
      {false, "sim/cockpit/autopilot/autopilot_mode", 3, 0x2EE0, 0},
      {false, "sim/cockpit/autopilot/autopilot_state", 0x4, 0x07C0, 1},
      {false, "sim/cockpit/autopilot/autopilot_state", 0x1, 0x07DC, 1},
      {false, "sim/cockpit/autopilot/autopilot_state", 0x1, 0x07E4, 1},
      {false, "sim/cockpit/autopilot/autopilot_state", 0x100, 0x0800, 1},
      {false, "sim/cockpit/autopilot/autopilot_state", 0x2, 0x07C0, 0},
      {false, "sim/cockpit/autopilot/autopilot_state", 0x200, 0x0800, 0},
      // The x737: either command channel, its own speed mode and approach.
      {true, "x737/systems/afds/CMD_B", 1, 0x07BC, 1},
      {true, "x737/systems/afds/fd_master", 2, 0x2EE0, 1},
      {true, "x737/systems/afds/fd_master", 3, 0x2EE0, 0},
      {true, "x737/systems/athr/MCPSPD_mode", 1, 0x07DC, 1},
      {true, "x737/systems/athr/MCPSPD_mode", 1, 0x07E4, 1},
      {true, "x737/systems/afds/APP", 1, 0x0800, 1},
      {true, "x737/systems/athr/athr_armed", 1, 0x0810, 1},
      // The wing leveller has no x737 source: the state word still counts.
      {true, "sim/cockpit/autopilot/autopilot_state", 0x4, 0x07C0, 1},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(std::string(r.name) + " = " + std::to_string(r.value));
    UseX737(r.x737);
    host().SetInt(kAp + "autopilot_mode", 0);
    host().SetInt(kAp + "autopilot_state", 0);
    host().SetInt(r.name, r.value);
    Poke(r.offset, {0xEE, 0xEE, 0xEE, 0xEE});
    RunConverters();
    EXPECT_EQ(U32(r.offset), r.expected);
    host().SetInt(r.name, 0);
  }
}

TEST_F(AutopilotTest, SpeedAndMachPair) {
  // 250 kt at sigma 1 and 340.29 m/s: Mach 0.3779, rounded to 0.38.
  host().SetFloat(kAp + "airspeed", 250);
  RunConverters();
  EXPECT_EQ(U16(0x07E2), 250);
  EXPECT_EQ(U32(0x07E8), 24903u);  // trunc(0.38 x 65536)

  // The x737 in Mach mode at 0.78: the knots field is the equivalent
  // speed, sqrt(sigma) x a x 0.78 with a = 340.29 x 1.9438445 kt.
  UseX737(true);
  host().SetInt(kAthr + "MCPSPD_ismach", 1);
  host().SetFloat(kAthr + "MCPSPD_spdmach", 0.78f);
  RunConverters();
  EXPECT_EQ(U32(0x07E8), 51118u);
  EXPECT_EQ(U16(0x07E2), 515);

  // No usable density or speed of sound: what needs them is left as it
  // was, what does not is still stored.
  UseX737(false);
  host().SetFloat(kAp + "airspeed", 180);
  for (float sigma : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    host().SetFloat("sim/weather/sigma", sigma);
    Poke(0x07E8, {1, 2, 3, 4});
    RunConverters();
    EXPECT_EQ(U16(0x07E2), 180);
    EXPECT_EQ(U32(0x07E8), 0x04030201u) << sigma;
  }
}

TEST_F(AutopilotTest, FlightDirectorCommandsAndTheX737ComingAndGoing) {
  host().SetFloat(kAp + "flight_director_pitch", 5);
  host().SetFloat(kAp + "flight_director_roll", 10);
  RunConverters();
  EXPECT_EQ(F64(0x2EE8), -5.0);
  EXPECT_EQ(F64(0x2EF0), -10.0);

  UseX737(true);
  host().SetFloat(kAfds + "AP_A_pitch", 5);
  host().SetFloat(kAfds + "AP_A_roll", 10);
  host().SetInt(kAthr + "athr_armed", 1);
  RunConverters();
  EXPECT_EQ(F64(0x2EE8), -5.0);
  EXPECT_EQ(F64(0x2EF0), 10.0) << "the x737's roll is not negated";
  EXPECT_EQ(U32(0x0810), 1u);

  // Unloaded between frames: the simulator's values return, and 0x0810,
  // which only the x737 publishes, keeps its last value.
  UseX737(false);
  RunConverters();
  EXPECT_EQ(F64(0x2EF0), -10.0);
  EXPECT_EQ(U32(0x0810), 1u);
}

// --- Writes ------------------------------------------------------------------

TEST_F(AutopilotTest, TargetsAndSwitchesWithoutTheX737) {
  Write32(0x07BC, 1);
  EXPECT_EQ(host().GetInt(kAp + "autopilot_mode"), 2);
  Write32(0x07BC, 5);
  EXPECT_EQ(host().GetInt(kAp + "autopilot_mode"), 5);
  Write32(0x07BC, 0);
  EXPECT_EQ(host().GetInt(kAp + "autopilot_mode"), 0);

  Write16(0x07CC, 16380);  // 89.99 degrees, rounded
  EXPECT_EQ(host().GetFloat(kAp + "heading_mag"), 90.0f);
  Write32(0x07D4, 19975373);  // 1000 ft as metres x 65536
  EXPECT_EQ(host().GetFloat(kAp + "altitude"), 1000.0f);
  Write16(0x07F2, static_cast<uint16_t>(-700));
  EXPECT_EQ(host().GetFloat(kAp + "vertical_velocity"), -700.0f);

  // The flight director keeps an engaged autopilot engaged.
  const struct {
    int mode;
    uint32_t value;
    int expected;
  } kDirector[] = {{2, 1, 2}, {2, 0, 0}, {0, 1, 1}, {1, 7, 1}, {3, 1, 0}};
  for (const auto& d : kDirector) {
    host().SetInt(kAp + "autopilot_mode", d.mode);
    Poke(0x2EE0, {0xFF, 0, 0, 0});  // so that every value is a change
    Write32(0x2EE0, d.value);
    EXPECT_EQ(host().GetInt(kAp + "autopilot_mode"), d.expected)
        << d.mode << " <- " << d.value;
  }

  // The autothrottle arm exists on the x737 only.
  host().TakeSetRecords();
  Write32(0x0810, 1);
  EXPECT_TRUE(TakeSets().empty());

  // Approach and back course are commands; the host arms their modes.
  host().SetInt(kAp + "autopilot_state", 0);
  Write32(0x0800, 1);
  EXPECT_EQ(State(), 0x100 | 0x400);
  Write32(0x0804, 1);
  auto commands = host().TakeCommands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].name, "sim/autopilot/approach");
  EXPECT_EQ(commands[1].name, "sim/autopilot/back_course");
}

// Engaging or disengaging one mode changes that mode alone, whatever the
// stale bytes in OffsetBlock say.
TEST_F(AutopilotTest, EachModeChangesAlone) {
  const struct {
    uint32_t offset;
    uint32_t value;
    int state_before;
    int state_after;
    std::vector<int> keys;
  } kCases[] = {
      // Heading hold by key 12, with altitude hold on: altitude stays.
      {0x07C8, 1, 0x4000, 0x4002, {12}},
      // Already engaged: writing 1 sends nothing (no toggle off).
      {0x07C8, 1, 0x4002, 0x4002, {}},
      // Writing 0 to a mode that is off engages nothing.
      {0x07D0, 0, 0x0002, 0x0002, {}},
      {0x07D0, 1, 0x0002, 0x4002, {16}},
      {0x07D0, 0, 0x4022, 0x0002, {16}},
      {0x07C4, 1, 0x4000, 0x4100, {15}},
      {0x07C4, 1, 0x0200, 0x0200, {}},  // NAV engaged counts as on
      {0x07EC, 1, 0x4002, 0x4012, {17}},
      // The state-word modes: their own bit, the rest as it was, NAV and
      // glide slope engaged kept although they are written over.
      {0x07C0, 1, 0x0A02, 0x0A06, {}},
      {0x07C0, 0, 0x0A06, 0x0A02, {}},
      {0x07DC, 1, 0x4002, 0x4003, {}},
      {0x07DC, 0, 0x4003, 0x4002, {}},
      {0x07E4, 0, 0x4002, 0x4002, {}},  // off already: not engaged
      {0x07E4, 0, 0x4003, 0x4002, {}},
      {0x07E4, 1, 0x0A00, 0x0A01, {}},
      {0x07E4, 2, 0x0000, 0x0000, {}},  // other values do nothing
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.offset) + " <- " + std::to_string(c.value));
    host().SetInt(kAp + "autopilot_state", c.state_before);
    // The bytes held differ from every written value, so the on-change
    // test always passes and the simulator's state decides.
    Poke(c.offset, {0xEE, 0xEE, 0xEE, 0xEE});
    Keys();
    Write32(c.offset, c.value);
    EXPECT_EQ(State(), c.state_after);
    EXPECT_EQ(Keys(), c.keys);
  }
}

TEST_F(AutopilotTest, SpeedTargetWrites) {
  const float kNaN = std::numeric_limits<float>::quiet_NaN();
  const struct {
    bool sim_mach;
    uint16_t selector;
    uint32_t flags;
    uint32_t offset;
    uint32_t value;
    float sigma;
    float expected;  // airspeed after; NaN: no write at all
  } kCases[] = {
      {false, 0, 0, 0x07E2, 250, 1, 250},
      // The simulator in Mach mode: knots become Mach, two decimals.
      {true, 0, 0, 0x07E2, 250, 1, 0.38f},
      // A Mach target when the simulator selects knots: no exact inverse,
      // 24903 is about 251.35 kt.
      {false, 0, 0, 0x07E8, 24903, 1, 251.352051f},
      {true, 0, 0, 0x07E8, 32768, 1, 0.5f},
      // The client's selectors.
      {false, 1, 0, 0x07E2, 200, 1, 200},
      {false, 1, 0x8000, 0x07E2, 200, 1, kNaN},
      {true, 1, 0x8000, 0x07E8, 32768, 1, 0.5f},
      {false, 1, 0x8000, 0x07E8, 32768, 1, kNaN},
      // An unusable density: the conversion is skipped, never sent.
      {true, 0, 0, 0x07E2, 250, 0, kNaN},
      {false, 0, 0, 0x07E8, 24903, kNaN, kNaN},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.offset) + " <- " + std::to_string(c.value));
    host().SetInt(kAp + "airspeed_is_mach", c.sim_mach ? 1 : 0);
    host().SetFloat("sim/weather/sigma", c.sigma);
    Poke(0x0500, {static_cast<uint8_t>(c.selector), 0});
    Poke(0x04F0, {0, static_cast<uint8_t>(c.flags >> 8), 0, 0});
    Poke(c.offset, {0xEE, 0xEE, 0xEE, 0xEE});
    host().SetFloat(kAp + "airspeed", -1);
    host().TakeSetRecords();
    if (c.offset == 0x07E2) {
      Write16(c.offset, static_cast<uint16_t>(c.value));
    } else {
      Write32(c.offset, c.value);
    }
    auto sets = TakeSets();
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(sets.empty());
      EXPECT_EQ(host().GetFloat(kAp + "airspeed"), -1.0f);
    } else {
      EXPECT_FLOAT_EQ(host().GetFloat(kAp + "airspeed"), c.expected);
    }
  }
}

TEST_F(AutopilotTest, WritesToTheX737) {
  UseX737(true);
  Write32(0x07BC, 1);
  EXPECT_EQ(host().GetInt(kAfds + "APengaged"), 1);
  EXPECT_EQ(host().GetInt(kAfds + "CMD_A"), 1);
  EXPECT_EQ(host().GetInt(kAp + "autopilot_mode"), 0) << "not the simulator";

  Write16(0x07CC, 16380);
  EXPECT_EQ(host().GetFloat(kAfds + "HDG_magnhdg"), 90.0f);
  Write32(0x07C8, 1);
  EXPECT_EQ(host().GetInt(kAfds + "HDG"), 1);
  Write32(0x07C4, 1);
  EXPECT_EQ(host().GetInt(kAfds + "VORLOC"), 1);
  Write32(0x0810, 1);
  EXPECT_EQ(host().GetInt(kAthr + "athr_armed"), 1);
  Write32(0x0800, 1);
  EXPECT_EQ(host().GetInt(kAfds + "APP"), 1);
  EXPECT_TRUE(Keys().empty()) << "the x737 takes values, not keys";

  // A selected vertical speed holds no altitude.
  Write16(0x07F2, 500);
  EXPECT_EQ(host().GetInt(kAfds + "VS"), 1);
  EXPECT_EQ(host().GetFloat(kAfds + "VS_vvi"), 500.0f);
  Write32(0x07D0, 1);
  EXPECT_EQ(host().GetInt(kAfds + "ALTHLD"), 0);
  Write16(0x07F2, 0);
  Poke(0x07D0, {0, 0, 0, 0});
  Write32(0x07D0, 1);
  EXPECT_EQ(host().GetInt(kAfds + "ALTHLD"), 1);

  // Speed targets in the MCP's unit.
  Poke(0x0500, {0, 0});
  host().SetInt(kAthr + "MCPSPD_ismach", 1);
  Write16(0x07E2, 250);
  EXPECT_FLOAT_EQ(host().GetFloat(kAthr + "MCPSPD_spd"), 0.38f);
  host().SetInt(kAthr + "MCPSPD_ismach", 0);
  Write32(0x07E8, 24903);
  EXPECT_FLOAT_EQ(host().GetFloat(kAthr + "MCPSPD_spd"), 251.352051f);

  // The flight director sets both channels.
  Write32(0x2EE0, 1);
  EXPECT_EQ(host().GetInt(kAfds + "fdA_status"), 1);
  EXPECT_EQ(host().GetInt(kAfds + "fdB_status"), 1);
  Write32(0x2EE0, 0);
  EXPECT_EQ(host().GetInt(kAfds + "fdA_status"), 0);
  EXPECT_EQ(host().GetInt(kAfds + "fd_master"), 0);
}

}  // namespace
}  // namespace tarvos
