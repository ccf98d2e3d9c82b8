// The read-time refresh: item formulas, the walk over known items, paired
// items and user precedence.
#include "requests/read_refresh.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/locks.h"
#include "offsets/reference_tables.h"
#include "tests/support/plugin_fixture.h"
#include "userconfig/config_loader.h"
#include "userconfig/config_parser.h"
#include "userconfig/user_tables.h"

namespace tarvos {
namespace {

enum class Kind { kInt, kFloat, kDouble, kFloatElement, kIntElement };

struct Dataref {
  const char* name;
  Kind kind;
  double value;
  int element = 0;
};

class ReadRefreshTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
  }
  void Set(const Dataref& d) {
    switch (d.kind) {
      case Kind::kInt:
        return host().SetInt(d.name, static_cast<int>(d.value));
      case Kind::kFloat:
        return host().SetFloat(d.name, static_cast<float>(d.value));
      case Kind::kDouble:
        return host().SetDouble(d.name, d.value);
      case Kind::kFloatElement:
        return host().SetFloatElement(d.name, d.element,
                                      static_cast<float>(d.value));
      case Kind::kIntElement:
        return host().SetIntElement(d.name, d.element,
                                    static_cast<int>(d.value));
    }
  }
  int Read(uint32_t offset, uint32_t size) {
    LockGuard<RecursiveLock> hold(OffsetLock);
    return RefreshForRead(offset, size);
  }
  uint64_t Field(uint32_t offset, int size) {
    std::vector<uint8_t> b = Bytes(offset, static_cast<uint32_t>(size));
    uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | b[i];
    return v;
  }
};

constexpr char kState[] = "sim/cockpit/autopilot/autopilot_state";

// Each case sets datarefs, reads `size` bytes at `offset` and checks one
// integer field (unsigned bits at its width).
TEST_F(ReadRefreshTest, ItemFormulas) {
  struct Case {
    const char* label;
    std::vector<Dataref> datarefs;
    uint32_t offset;
    uint32_t size;
    int width;
    uint64_t expected;
  };
  constexpr char kAgl[] = "sim/flightmodel/position/y_agl";
  constexpr char kMagVar[] = "sim/flightmodel/position/magnetic_variation";
  constexpr char kAlpha[] = "sim/flightmodel/position/alpha";
  // clang-format off
  const Case cases[] = {
    {"on ground", {{kAgl, Kind::kFloat, 0.5}}, 0x0366, 2, 2, 1},
    {"airborne", {{kAgl, Kind::kFloat, 2}}, 0x0366, 2, 2, 0},
    {"stall warning low byte", {{"sim/flightmodel/failures/stallwarning", Kind::kInt, 0x101}}, 0x036C, 1, 1, 1},
    {"slip ball", {{"sim/flightmodel/misc/slip", Kind::kFloat, 2}}, 0x036E, 1, 1, 0xC4},
    {"NAV1 lock both arm bits", {{kState, Kind::kInt, 0x300}}, 0x07C4, 4, 4, 768},
    {"NAV1 lock one bit", {{kState, Kind::kInt, 0x200}}, 0x07C4, 4, 4, 1},
    {"NAV1 lock clear", {{kState, Kind::kInt, 0x4020}}, 0x07C4, 4, 4, 0},
    {"heading bug", {{"sim/cockpit/autopilot/heading_mag", Kind::kFloat, 90}}, 0x07CC, 2, 2, 16383},
    {"altitude hold both bits", {{kState, Kind::kInt, 0x4020}}, 0x07D0, 4, 4, 16416},
    {"altitude hold one bit", {{kState, Kind::kInt, 0x4000}}, 0x07D0, 4, 4, 1},
    {"altitude bug", {{"sim/cockpit/autopilot/altitude", Kind::kFloat, 1000}}, 0x07D4, 4, 4, 19975372},
    {"vertical speed hold", {{kState, Kind::kInt, 0x10}}, 0x07EC, 4, 4, 1},
    {"vertical speed bug", {{"sim/cockpit/autopilot/vertical_velocity", Kind::kFloat, -500.7}}, 0x07F2, 2, 2, static_cast<uint16_t>(-500)},
    {"ground altitude", {{"sim/flightmodel/position/elevation", Kind::kDouble, 130}, {kAgl, Kind::kFloat, 1.2}}, 0x0B4C, 2, 2, 128},
    {"elevator", {{"sim/flightmodel/controls/hstab1_elv1def", Kind::kFloat, 10}}, 0x0BB4, 2, 2, static_cast<uint16_t>(-10908)},
    {"gear handle down", {{"sim/cockpit/switches/gear_handle_status", Kind::kInt, 1}}, 0x0BE8, 4, 4, 16383},
    {"right gear is element 2", {{"sim/aircraft/parts/acf_gear_deploy", Kind::kFloatElement, 0.5, 2}}, 0x0BF0, 4, 4, 8191},
    {"left gear is element 1", {{"sim/aircraft/parts/acf_gear_deploy", Kind::kFloatElement, 0.25, 1}}, 0x0BF4, 4, 4, 4095},
    {"OBS rounds half away", {{"sim/cockpit/radios/nav1_obs_degm", Kind::kFloat, 90.5}}, 0x0C4E, 2, 2, 91},
    {"NAV1 bearing wraps", {{"sim/cockpit/radios/nav1_dir_degt", Kind::kFloat, -20}, {kMagVar, Kind::kFloat, 15.5}}, 0x0C56, 2, 2, 355},
    {"NAV1 radial", {{"sim/flightmodel/position/psi", Kind::kFloat, 10}, {"sim/cockpit/radios/nav1_dir_degt", Kind::kFloat, 20}, {kMagVar, Kind::kFloat, 0}}, 0x0C50, 2, 2, 38229},
    {"G force 1 g", {{"sim/flightmodel/position/local_ay", Kind::kFloat, 0}}, 0x11BA, 2, 2, 625},
    {"AoA negative", {{kAlpha, Kind::kFloat, -3}}, 0x11BE, 2, 2, 32767},
    {"AoA zero", {{kAlpha, Kind::kFloat, 0}}, 0x11BE, 2, 2, 32767},
    {"AoA 100", {{kAlpha, Kind::kFloat, 100}}, 0x11BE, 2, 2, 0},
    {"mixture engine 2", {{"sim/cockpit2/engine/actuators/mixture_ratio", Kind::kFloatElement, 1.0, 1}}, 0x3594, 4, 4, 1},
    {"nose wheel steering", {{"sim/flightmodel/parts/tire_steer_act", Kind::kFloatElement, 12.345, 0}}, 0x6D8A, 2, 2, 1234},
    {"engine 4 fuel flow", {{"sim/flightmodel/engine/ENGN_FF_", Kind::kFloatElement, 0.1, 3}}, 0x0A68, 2, 2, 793},
    {"engine 3 N2", {{"sim/flightmodel/engine/ENGN_N2_", Kind::kFloatElement, 50, 2}}, 0x09C6, 2, 2, 8192},
    {"engine 4 N2 not turning", {{"sim/flightmodel/engine/ENGN_N2_", Kind::kFloatElement, -1, 3}}, 0x0A5E, 2, 2, 0},
    {"engine 3 running", {{"sim/flightmodel/engine/ENGN_running", Kind::kIntElement, 1, 2}}, 0x09C4, 2, 2, 1},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (const Dataref& d : c.datarefs) Set(d);
    EXPECT_EQ(Read(c.offset, c.size), 1);
    EXPECT_EQ(Field(c.offset, c.width), c.expected);
  }
}

TEST_F(ReadRefreshTest, DoubleItems) {
  struct Case {
    const char* label;
    std::vector<Dataref> datarefs;
    uint32_t offset;
    double expected;
  };
  // clang-format off
  const Case cases[] = {
    {"horizontal speed", {{"sim/flightmodel/position/local_vx", Kind::kFloat, 3}, {"sim/flightmodel/position/local_vz", Kind::kFloat, 4}}, 0x3090, 5 * 3.280839},
    {"axial acceleration", {{"sim/flightmodel/forces/g_axil", Kind::kFloat, 1}}, 0x3070, 9.8062 * -3.280839},
    {"engine 2 fuel flow double", {{"sim/flightmodel/engine/ENGN_FF_", Kind::kFloatElement, 0.5, 1}}, 0x09B0, 0.5 * 7936.6},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (const Dataref& d : c.datarefs) Set(d);
    EXPECT_EQ(Read(c.offset, 8), 1);
    EXPECT_DOUBLE_EQ(F64(c.offset), c.expected);
  }
}

TEST_F(ReadRefreshTest, EmptyReadRefreshesNothing) {
  host().SetFloat("sim/cockpit/autopilot/heading_mag", 90);
  EXPECT_EQ(Read(0x07CC, 0), 1);
  EXPECT_EQ(U16(0x07CC), 0);
}

TEST_F(ReadRefreshTest, ReadStartingInsideAnItemStopsAtOnce) {
  host().SetFloat("sim/cockpit/autopilot/heading_mag", 90);
  EXPECT_EQ(Read(0x07CD, 1), 0);
  EXPECT_EQ(U16(0x07CC), 0);
  EXPECT_EQ(Read(0x07CC, 2), 1);
  EXPECT_EQ(U16(0x07CC), 16383);
}

TEST_F(ReadRefreshTest, WalkStopsAtTheFirstUnknownOffset) {
  host().SetFloat("sim/flightmodel/position/y_agl", 0.5);
  host().SetInt("sim/flightmodel/failures/stallwarning", 1);
  // 0x0366 is an item, 0x0368 starts none, so 0x036C is not reached.
  EXPECT_EQ(Read(0x0366, 8), 0);
  EXPECT_EQ(U16(0x0366), 1);
  EXPECT_EQ(Bytes(0x036C, 1)[0], 0);
}

TEST_F(ReadRefreshTest, StepsOverMaintainedItemsToReachReadTimeOnes) {
  host().SetFloat("sim/cockpit/radios/nav1_obs_degm", 270);
  // Six 1-byte items, then the OBS.
  EXPECT_EQ(Read(0x0C48, 8), 1);
  EXPECT_EQ(U16(0x0C4E), 270);
}

// The clock items at 0x0238 (3 bytes), 0x0239 (2) and 0x023A (1) overlap;
// each starts a walk of its own, which steps over it without rewriting it
// (the flight loop keeps them), while the byte before them starts none.
TEST_F(ReadRefreshTest, OverlappingItemsEachStartAWalk) {
  const std::vector<uint8_t> sentinel = {0xA1, 0xA2, 0xA3};
  Poke(0x0238, sentinel);
  EXPECT_EQ(Read(0x0238, 3), 1);
  EXPECT_EQ(Read(0x0239, 2), 1);
  EXPECT_EQ(Read(0x023A, 1), 1);
  EXPECT_EQ(Bytes(0x0238, 3), sentinel);
  EXPECT_EQ(Read(0x0237, 4), 0);
}

TEST_F(ReadRefreshTest, OffsetsBeyondTheSpaceStartNoItem) {
  host().SetFloat("sim/flightmodel/position/y_agl", 0.5);
  EXPECT_EQ(Read(0x10366, 2), 0);
  EXPECT_EQ(U16(0x0366), 0);
}

TEST_F(ReadRefreshTest, PairedItemsWriteBothHalves) {
  host().SetFloat("sim/flightmodel/controls/lail1def", 10);
  EXPECT_EQ(Read(0x0BB8, 2), 1);
  EXPECT_EQ(U16(0x0BB8), static_cast<uint16_t>(-5461));
  EXPECT_DOUBLE_EQ(F64(0x2EA8), 10 * -0.17453292);

  host().SetFloat("sim/flightmodel/controls/ldruddef", -2);
  EXPECT_EQ(Read(0x2EB8, 8), 1);
  EXPECT_DOUBLE_EQ(F64(0x2EB8), -2 * 0.17453292);
  EXPECT_EQ(U16(0x0BBC), static_cast<uint16_t>(-1092));
}

TEST_F(ReadRefreshTest, YokeInputsNeedAJoystick) {
  host().SetFloat("sim/joystick/yolk_pitch_ratio", 0.5);
  host().SetFloat("sim/joystick/yolk_heading_ratio", -0.5);
  host().SetInt("sim/joystick/has_joystick", 0);
  Poke(0x0BB2, {0x11, 0x22});
  Poke(0x3328, {0x33, 0x44});
  // Both still advance by 2: the walk reaches the next item.
  EXPECT_EQ(Read(0x0BB2, 4), 1);
  EXPECT_EQ(Read(0x3328, 2), 1);
  EXPECT_EQ(Bytes(0x0BB2, 2), (std::vector<uint8_t>{0x11, 0x22}));
  EXPECT_EQ(Bytes(0x3328, 2), (std::vector<uint8_t>{0x33, 0x44}));

  host().SetInt("sim/joystick/has_joystick", 1);
  EXPECT_EQ(Read(0x3328, 2), 1);
  EXPECT_EQ(U16(0x0BB2), 8191);
  EXPECT_EQ(U16(0x3328), 8191);
  EXPECT_EQ(Read(0x0BBA, 2), 1);
  EXPECT_EQ(U16(0x332C), static_cast<uint16_t>(-8191));
}

TEST_F(ReadRefreshTest, X737SourcesWhileItIsActive) {
  host().AddPlugin("bs.x737.plugin");  // defines its datarefs
  host().SetInt("x737/systems/afds/plugin_status", 1);
  host().SetInt("x737/systems/afds/HDG", 7);
  host().SetFloat("x737/systems/afds/HDG_magnhdg", 180);
  host().SetInt("x737/systems/afds/VS_arm", 0);
  host().SetInt("x737/systems/afds/VS", 1);
  RefreshLateBindings();
  ASSERT_EQ(X737Active.load(), 1);
  host().SetInt(kState, 0);
  EXPECT_EQ(Read(0x07C8, 8), 1);
  EXPECT_EQ(U32(0x07C8), 7u);
  EXPECT_EQ(U16(0x07CC), 32767);
  EXPECT_EQ(Read(0x07EC, 4), 1);
  EXPECT_EQ(U32(0x07EC), 1u);
}

// Typical panel reads walk their whole range, refreshing every read-time
// item in it and leaving the maintained ones as they are; a gap in the map
// ends them.
TEST_F(ReadRefreshTest, PanelRanges) {
  // Position and speeds: maintained by the flight loop only.
  const std::vector<uint8_t> sentinel(0x24, 0x5A);
  Poke(0x0560, sentinel);
  EXPECT_EQ(Read(0x0560, 0x24), 1);
  EXPECT_EQ(Bytes(0x0560, 0x24), sentinel);
  Poke(0x02B4, std::vector<uint8_t>(0x0C, 0x5A));
  EXPECT_EQ(Read(0x02B4, 0x0C), 1);
  EXPECT_EQ(Bytes(0x02B4, 0x0C), std::vector<uint8_t>(0x0C, 0x5A));
  EXPECT_EQ(Read(0x02B4, 0x14), 0);  // 0x02C0 starts no item

  // Yoke, elevator, aileron and rudder: all five read-time items.
  host().SetInt("sim/joystick/has_joystick", 1);
  host().SetFloat("sim/joystick/yolk_pitch_ratio", 0.5);
  host().SetFloat("sim/joystick/yolk_heading_ratio", -0.5);
  host().SetFloat("sim/flightmodel/controls/hstab1_elv1def", 10);
  host().SetFloat("sim/flightmodel/controls/lail1def", 10);
  host().SetFloat("sim/flightmodel/controls/ldruddef", -2);
  Poke(0x0BB6, {0x77, 0x66});  // maintained, between them
  EXPECT_EQ(Read(0x0BB2, 0x0C), 1);
  EXPECT_EQ(U16(0x0BB2), 8191);
  EXPECT_EQ(U16(0x0BB4), static_cast<uint16_t>(-10908));
  EXPECT_EQ(Bytes(0x0BB6, 2), (std::vector<uint8_t>{0x77, 0x66}));
  EXPECT_EQ(U16(0x0BB8), static_cast<uint16_t>(-5461));
  EXPECT_EQ(U16(0x0BBA), static_cast<uint16_t>(-8191));
  EXPECT_EQ(U16(0x0BBC), static_cast<uint16_t>(-1092));

  // Accelerations and speeds in doubles.
  host().SetFloat("sim/flightmodel/forces/g_axil", 1);
  host().SetFloat("sim/flightmodel/position/local_vx", 3);
  host().SetFloat("sim/flightmodel/position/local_vz", 4);
  EXPECT_EQ(Read(0x3060, 0x60), 1);
  EXPECT_DOUBLE_EQ(F64(0x3070), 9.8062 * -3.280839);
  EXPECT_DOUBLE_EQ(F64(0x3090), 5 * 3.280839);
}

// A user offset hides the read-time item at its offset and is stepped over
// by its own size.
TEST_F(ReadRefreshTest, UserOffsetsHideFixedItems) {
  host().DefineFloat("test/hdg", 1);
  UserTables tables = ParseUserOffsetConfig(
      "Dataref h test/hdg float\nOffset 07CC UINT8 1 r $h\n");
  ResolveUserReferences(&tables);
  InstallUserTables(std::move(tables));
  host().SetFloat("sim/cockpit/autopilot/heading_mag", 90);
  EXPECT_EQ(Read(0x07CC, 1), 1);
  EXPECT_EQ(U16(0x07CC), 0);
  EXPECT_EQ(Read(0x07CC, 2), 0);  // 0x07CD starts nothing
}

}  // namespace
}  // namespace tarvos
