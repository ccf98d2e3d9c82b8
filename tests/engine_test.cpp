// Engines and fuel: what the refresh publishes (engine blocks, starter and
// magneto state, engine type, tank capacities and levels) and what a client
// write does to the simulator (levers, starters, tank levels, weight).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/engines.h"
#include "offsets/offset_block.h"
#include "requests/write_dispatch.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

const std::string kEng = "sim/flightmodel/engine/";
const std::string kRatio = "sim/cockpit2/engine/actuators/throttle_ratio";
const std::string kThroUse = kEng + "ENGN_thro_use";
const std::string kFuel = "sim/flightmodel/weight/m_fuel";

class EngineTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
    Enable();
  }

  void Write16(uint32_t offset, uint16_t v) {
    std::vector<uint8_t> b(2);
    StoreU16(b.data(), v);
    Write(offset, b);
  }
  void Write32(uint32_t offset, uint32_t v) {
    std::vector<uint8_t> b(4);
    StoreU32(b.data(), v);
    Write(offset, b);
  }
  int16_t S16(uint32_t offset) { return static_cast<int16_t>(U16(offset)); }
  void SetEngineType(uint8_t code) { Poke(0x0609, {code}); }

  // The aircraft's tanks, then the aircraft-load conversion of capacities.
  void LoadTanks(float total_kg, int count, std::vector<float> ratios) {
    host().SetFloat("sim/aircraft/weight/acf_m_fuel_tot", total_kg);
    host().SetInt("sim/aircraft/overflow/acf_num_tanks", count);
    ratios.resize(9, 0.0f);
    for (int i = 0; i < 9; ++i) {
      host().SetFloatElement("sim/aircraft/overflow/acf_tank_rat", i,
                             ratios[i]);
    }
    ConvertTankCapacities();
  }
  void RefreshLevels() {
    ConvertTankLevel<0x0B74>();
    ConvertTankLevel<0x0B7C>();
    ConvertTankLevel<0x0B94>();
  }

  std::vector<simhost::InputRecord> Buttons() {
    std::vector<simhost::InputRecord> out;
    for (const auto& r : host().TakeInputs()) {
      if (r.kind != simhost::InputKind::kKeyStroke) out.push_back(r);
    }
    return out;
  }
};

// --- Published values --------------------------------------------------------

TEST_F(EngineTest, EngineTypeCodes) {
  const struct {
    int acf_en_type;
    uint8_t code;
  } kRows[] = {{0, 0}, {1, 0}, {2, 5}, {3, 0}, {4, 1}, {5, 1},
               {6, 4}, {7, 4}, {8, 5}, {9, 0}, {-1, 0}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.acf_en_type);
    host().SetIntElement("sim/aircraft/prop/acf_en_type", 0, r.acf_en_type);
    ConvertEngineType();
    EXPECT_EQ(Bytes(0x0609, 1)[0], r.code);
  }
}

TEST_F(EngineTest, AircraftLoadStoresTypeCountAndFuelConstant) {
  host().SetIntElement("sim/aircraft/prop/acf_en_type", 0, 2);
  host().SetInt("sim/aircraft/engine/acf_num_engines", 4);
  host().SetAircraft({{"Quad.acf", "/aircraft/Quad/Quad.acf"}});
  host().SendMessageToPlugin(0, 102, nullptr);
  EXPECT_EQ(Bytes(0x0609, 1)[0], 5);
  EXPECT_EQ(U16(0x0AEC), 4);
  EXPECT_EQ(U16(0x0AF4), 1709);  // 6.676 lb per gallon x 256
}

TEST_F(EngineTest, ReverseThrustOnEngineTwoOnly) {
  for (int i = 0; i < 4; ++i) host().SetFloatElement(kRatio, i, 0.5f);
  host().SetInt("sim/cockpit/warnings/annunciators/reverse", 2);
  ConvertThrottle<1>();
  ConvertThrottle<2>();
  ConvertThrottle<3>();
  ConvertThrottle<4>();
  EXPECT_EQ(S16(0x088C), 8192);
  EXPECT_EQ(S16(0x3330), 8192);
  EXPECT_EQ(S16(0x0924), -2048);
  EXPECT_EQ(S16(0x3332), -2048);
  EXPECT_EQ(S16(0x09BC), 8192);
  EXPECT_EQ(S16(0x0A54), 8192);
  EXPECT_EQ(S16(0x3336), 8192);
}

TEST_F(EngineTest, ThrottleOverrideSourcesEnginesOneAndTwoOnly) {
  for (int i = 0; i < 4; ++i) host().SetFloatElement(kRatio, i, 0.5f);
  host().SetFloatElement(kThroUse, 0, 0.25f);
  host().SetFloatElement(kThroUse, 1, 0.75f);
  host().SetFloatElement(kThroUse, 2, 1.0f);
  host().SetInt("sim/operation/override/override_throttles", 1);
  ConvertThrottle<1>();
  ConvertThrottle<2>();
  ConvertThrottle<3>();
  EXPECT_EQ(S16(0x088C), 4096);
  EXPECT_EQ(S16(0x0924), 12288);
  EXPECT_EQ(S16(0x09BC), 8192);
}

TEST_F(EngineTest, SpoolSpeedsWithTheirDoubleCopies) {
  host().SetFloatElement(kEng + "ENGN_N1_", 1, 85.5f);
  host().SetFloatElement(kEng + "ENGN_N2_", 1, 95.25f);
  host().SetFloatElement("sim/cockpit2/engine/indicators/MPR_in_hg", 0, 29.5f);
  ConvertN1<2>();
  ConvertN2<2>();
  ConvertManifoldPressure<1>();
  EXPECT_EQ(S16(0x0930), 14008);  // trunc(85.5 x 163.84)
  EXPECT_EQ(F64(0x2100), 85.5);
  EXPECT_EQ(S16(0x092E), 15605);  // trunc(95.25 x 163.84)
  EXPECT_EQ(F64(0x2108), 95.25);
  EXPECT_EQ(F64(0x2118), 95.25);
  EXPECT_EQ(S16(0x08C0), 30208);  // 29.5 x 1024
  EXPECT_DOUBLE_EQ(F64(0x37E8), 29.5 * 70.7262);
}

TEST_F(EngineTest, NonFiniteHostValuesStoreDefinedIntegers) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  host().SetFloatElement(kEng + "ENGN_N1_", 0, nan);
  host().SetFloatElement(kRatio, 0, -inf);
  // Not what a store of these values leaves, so that a skipped store fails.
  Poke(0x0898, {0x34, 0x12});
  Poke(0x088C, {0x34, 0x12});
  ConvertN1<1>();
  ConvertThrottle<1>();
  EXPECT_EQ(U16(0x0898), 0);
  EXPECT_EQ(U16(0x088C), 0);  // the low 16 bits of the most negative value
  LoadTanks(1000, 2, {0.5f, 0.5f});
  host().SetFloatElement(kFuel, 0, nan);
  host().SetFloatElement(kFuel, 1, inf);
  Poke(0x0B7C, {0x78, 0x56, 0x34, 0x12});
  Poke(0x0B94, {0x78, 0x56, 0x34, 0x12});
  RefreshLevels();
  EXPECT_EQ(U32(0x0B7C), 0u);
  EXPECT_EQ(U32(0x0B94), 0xFFFFFFFFu);
}

// A piston engine shows its magneto switch, and 4 while the starter
// duration changes from one run of D to the next; a jet shows 1 and sets
// bit 0 of its flag byte while it changes.
TEST_F(EngineTest, StarterAndMagnetoStateOverRunsOfD) {
  const float kNaN = std::numeric_limits<float>::quiet_NaN();
  const struct {
    uint8_t type;
    std::vector<float> durations;  // one per run
    std::vector<uint16_t> states;
    std::vector<uint8_t> flags;
  } kRows[] = {
      {0,
       {0, 0.5f, 1.0f, 1.0f, 0, 0},
       {3, 4, 4, 3, 4, 3},
       {0x80, 0x80, 0x80, 0x80, 0x80, 0x80}},
      {1, {0, 0.5f, 0.5f, 2.0f}, {0, 1, 0, 1}, {0x80, 0x81, 0x80, 0x81}},
      {5, {0, 0.5f}, {0, 1}, {0x80, 0x81}},
      {4, {0, 0.5f}, {0, 0}, {0x80, 0x80}},
      // A duration that stays NaN is no change.
      {0, {kNaN, kNaN}, {4, 3}, {0x80, 0x80}},
      {1, {kNaN, kNaN}, {1, 0}, {0x81, 0x80}},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(static_cast<int>(r.type));
    SetEngineType(r.type);
    host().SetIntElement("sim/cockpit/engine/ignition_on", 1, 3);
    host().SetFloatElement("sim/cockpit/engine/starter_duration", 1, 0);
    ConvertStarter<2>();  // remembers 0
    Poke(0x0507, {0x80});
    for (size_t k = 0; k < r.durations.size(); ++k) {
      SCOPED_TRACE(k);
      host().SetFloatElement("sim/cockpit/engine/starter_duration", 1,
                             r.durations[k]);
      ConvertStarter<2>();
      EXPECT_EQ(U16(0x092A), r.states[k]);
      EXPECT_EQ(Bytes(0x0507, 1)[0], r.flags[k]);
    }
  }
}

TEST_F(EngineTest, MagnetoSwitchPositionsOfAPistonEngine) {
  SetEngineType(0);
  for (int k : {0, 1, 2, 3, 5, -1}) {
    host().SetIntElement("sim/cockpit/engine/ignition_on", 0, k);
    ConvertStarter<1>();
    EXPECT_EQ(U16(0x0892), (k >= 1 && k <= 3) ? k : 0) << k;
  }
}

TEST_F(EngineTest, TankCapacitiesByTankCount) {
  // 1000 kg is 2205 lb, 330.28 US gallons; the ratios tell the tanks apart.
  const std::vector<float> ratios = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f,
                                     0.6f, 0.7f, 0.8f, 0.9f};
  const struct {
    int count;
    uint32_t gallons[7];  // 0x0B90, 0x0B88, 0x0B80, 0x0B78, 0x0B98, 0x0BA0,
                          // 0x0BA8
  } kRows[] = {
      {1, {0, 0, 0, 33, 0, 0, 0}},
      {2, {0, 0, 33, 0, 66, 0, 0}},
      {3, {0, 0, 33, 66, 99, 0, 0}},
      {4, {0, 33, 66, 0, 99, 132, 0}},
      {5, {0, 33, 66, 99, 132, 165, 0}},
      {6, {33, 66, 99, 0, 132, 165, 198}},
      {7, {33, 66, 99, 132, 165, 198, 231}},
      {8, {0, 0, 0, 0, 0, 0, 0}},
      {9, {0, 0, 0, 0, 0, 0, 0}},
      {12, {0, 0, 0, 0, 0, 0, 0}},
      {0, {0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.count);
    LoadTanks(1000, r.count, ratios);
    for (int k = 0; k < 7; ++k) {
      EXPECT_EQ(U32(kCapacityOffsets[k]), r.gallons[k])
          << "at 0x" << std::hex << kCapacityOffsets[k];
    }
    // The levels of 8 or 9 tanks (and of none) show nothing.
    for (int i = 0; i < 9; ++i) host().SetFloatElement(kFuel, i, 50.0f);
    RefreshLevels();
    if (r.count >= 8 || r.count == 0) {
      EXPECT_EQ(U32(0x0B74), 0u);
      EXPECT_EQ(U32(0x0B7C), 0u);
      EXPECT_EQ(U32(0x0B94), 0u);
    }
  }
}

// Capacities and levels are both US gallons of the kilograms as pounds, so
// a full tank reads 100 % to within the capacity's truncation to whole
// gallons (a capacity from the kilograms taken as pounds would read 220 %).
TEST_F(EngineTest, FullTanksReadOneHundredPercent) {
  const struct {
    int count;
    std::vector<float> ratios;
    std::vector<float> kg;  // m_fuel, full
    uint32_t level;         // offset checked
  } kRows[] = {
      {1, {1.0f}, {4500}, 0x0B74},
      {2, {0.5f, 0.5f}, {2250, 2250}, 0x0B7C},
      {2, {0.5f, 0.5f}, {2250, 2250}, 0x0B94},
      {3, {0.4f, 0.2f, 0.4f}, {1800, 900, 1800}, 0x0B74},
      {5, {0.1f, 0.2f, 0.4f, 0.2f, 0.1f}, {450, 900, 1800, 900, 450}, 0x0B74},
      {7,
       {0.1f, 0.1f, 0.2f, 0.2f, 0.2f, 0.1f, 0.1f},
       {450, 450, 900, 900, 900, 450, 450},
       0x0B94},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(::testing::Message()
                 << r.count << " tanks, 0x" << std::hex << r.level);
    LoadTanks(4500, r.count, r.ratios);
    for (size_t i = 0; i < r.kg.size(); ++i) {
      host().SetFloatElement(kFuel, static_cast<int>(i), r.kg[i]);
    }
    RefreshLevels();
    const uint32_t capacity = U32(r.level + 4);
    ASSERT_GT(capacity, 0u);
    EXPECT_GE(U32(r.level), 8388608u);
    EXPECT_LE(U32(r.level), 8388608.0 * (capacity + 1) / capacity);
  }
}

TEST_F(EngineTest, ATankOfCapacityZeroShowsLevelZero) {
  LoadTanks(1000, 3, {0.5f, 0.0f, 0.5f});  // no centre tank
  for (int i = 0; i < 3; ++i) host().SetFloatElement(kFuel, i, 100.0f);
  RefreshLevels();
  EXPECT_EQ(U32(0x0B78), 0u);
  EXPECT_EQ(U32(0x0B74), 0u);
  EXPECT_GT(U32(0x0B7C), 0u);
}

// --- Writes ------------------------------------------------------------------

// Throttle levers: forward x 16384, reverse x -4096 with propeller mode 3,
// clamped to the simulator's -1 ... 1; engines 1 and 2 go to the used
// throttle while the throttles are overridden.
TEST_F(EngineTest, ThrottleLeverEdgeValuesWithAndWithoutOverride) {
  const struct {
    int16_t lever;
    int mode;
    float ratio;
  } kValues[] = {{16384, 1, 1.0f},  {-4096, 3, 1.0f}, {32767, 1, 1.0f},
                 {-32768, 3, 1.0f}, {8192, 1, 0.5f},  {-2048, 3, 0.5f},
                 {0, 1, 0.0f}};
  for (int override_on : {0, 1}) {
    host().SetInt("sim/operation/override/override_throttles", override_on);
    for (uint32_t field : {0x088Cu, 0x0924u, 0x09BCu}) {
      const int e = static_cast<int>((field - 0x088C) / 0x98);
      const std::string target = (override_on && e < 2) ? kThroUse : kRatio;
      Poke(field, {0x55, 0x55});
      for (const auto& v : kValues) {
        SCOPED_TRACE(::testing::Message()
                     << "override " << override_on << " engine " << e + 1
                     << " lever " << v.lever);
        TakeSets();
        Write16(field, static_cast<uint16_t>(v.lever));
        EXPECT_EQ(host().GetIntElement(kEng + "ENGN_propmode", e), v.mode);
        EXPECT_EQ(host().GetFloatElement(target, e), v.ratio);
        int to_target = 0;
        for (const auto& s : TakeSets()) {
          EXPECT_TRUE(s.name == target || s.name == kEng + "ENGN_propmode")
              << s.name;
          ASSERT_EQ(s.values.size(), 1u);
          EXPECT_EQ(s.offset, e);
          to_target += s.name == target;
        }
        EXPECT_EQ(to_target, 1);
      }
    }
  }
}

TEST_F(EngineTest, DirectThrottlesAndMixturesKeepSignAndRange) {
  const struct {
    uint32_t offset;
    uint16_t value;
    std::string dataref;
    int element;
    float expected;
  } kRows[] = {
      {0x089A, 0xF000 /* -4096 */, kEng + "ENGN_thro", 0, -1.0f},
      {0x0932, 0x8000 /* -32768 */, kEng + "ENGN_thro", 1, -1.0f},
      {0x09CA, 32767, kEng + "ENGN_thro", 2, 1.0f},
      {0x0A62, 8192, kEng + "ENGN_thro", 3, 0.5f},
      {0x0A62, 0, kEng + "ENGN_thro", 3, 0.0f},
      {0x0890, 65535, kEng + "ENGN_mixt", 0, 1.0f},
      {0x0928, 8192, kEng + "ENGN_mixt", 1, 0.5f},
      {0x0A58, 0, kEng + "ENGN_mixt", 3, 0.0f},
      {0x08B2, 1, kEng + "ENGN_heat", 0, 1.0f},
      {0x0A7A, 1, kEng + "ENGN_heat", 3, 1.0f},
  };
  for (const auto& r : kRows) {
    SCOPED_TRACE(::testing::Message() << "0x" << std::hex << r.offset);
    host().SetFloatElement(r.dataref, r.element, 0.25f);
    Write16(r.offset, r.value);
    EXPECT_EQ(host().GetFloatElement(r.dataref, r.element), r.expected);
  }
}

TEST_F(EngineTest, RewritingTheSameThrottleValueDoesNothing) {
  for (uint32_t field : {0x088Cu, 0x0924u, 0x09BCu, 0x0A54u}) {
    SCOPED_TRACE(field);
    Write16(field, 12288);
    for (uint8_t neighbour : {0x00, 0x7F, 0xFF}) {
      Poke(field - 2, {neighbour, neighbour});
      Poke(field + 2, {neighbour, neighbour});
      TakeSets();
      Write16(field, 12288);
      EXPECT_TRUE(host().TakeSetRecords().empty());
    }
    // Only the high byte differs: a change.
    Write16(field, 12288 + 256);
    EXPECT_FALSE(TakeSets().empty());
  }
}

TEST_F(EngineTest, PistonStarterSwitchSetsMagnetosAndHoldsTheStarter) {
  SetEngineType(0);
  Write16(0x0892, 2);
  EXPECT_EQ(host().TakeCommands().back().name, "sim/magnetos/magnetos_left_1");
  auto b = Buttons();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].kind, simhost::InputKind::kButtonRelease);
  EXPECT_EQ(b[0].code, 2);

  Write16(0x092A, 3);  // engine 2: both
  EXPECT_EQ(host().TakeCommands().back().name, "sim/magnetos/magnetos_both_2");
  Buttons();
  Write16(0x092A, 4);  // starter: the magnetos stay as they are
  EXPECT_TRUE(host().TakeCommands().empty());
  b = Buttons();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].kind, simhost::InputKind::kButtonPress);
  EXPECT_EQ(b[0].code, 3);
  // Held until another value.
  Write16(0x092A, 3);
  b = Buttons();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].kind, simhost::InputKind::kButtonRelease);
  EXPECT_EQ(b[0].code, 3);
}

TEST_F(EngineTest, JetStarterSwitchPressesWithTheIgniters) {
  SetEngineType(1);
  Write16(0x0892, 1);
  EXPECT_EQ(host().GetIntElement("sim/cockpit/engine/igniters_on", 0), 1);
  auto b = Buttons();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].kind, simhost::InputKind::kButtonPress);
  EXPECT_TRUE(host().TakeCommands().empty());
  Write16(0x0892, 0);
  EXPECT_EQ(host().GetIntElement("sim/cockpit/engine/igniters_on", 0), 0);
  b = Buttons();
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].kind, simhost::InputKind::kButtonRelease);
}

// A starter a client holds when the plugin is disabled would run with no
// one to stop it: Disable releases it, and only the ones still held.
TEST_F(EngineTest, StarterHeldByAClientIsReleasedAtDisable) {
  SetEngineType(0);
  Write16(0x0892, 4);  // engine 1 held
  Write16(0x092A, 4);  // engine 2 held ...
  Write16(0x092A, 0);  // ... and released
  Write16(0x0A5A, 4);  // engine 4 held
  Buttons();
  Disable();
  auto b = Buttons();
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].kind, simhost::InputKind::kButtonRelease);
  EXPECT_EQ(b[0].code, 2);
  EXPECT_EQ(b[1].kind, simhost::InputKind::kButtonRelease);
  EXPECT_EQ(b[1].code, 5);
  // Enabled and disabled again: nothing is held any more.
  Enable();
  Disable();
  EXPECT_TRUE(Buttons().empty());
}

// A level written is the exact inverse of the level read: it comes back
// equal to within the float the simulator keeps the kilograms in. It goes
// to the one m_fuel element the offset shows, and nowhere for a tank the
// count has not.
TEST_F(EngineTest, TankLevelWriteSetsOneElementAndReadsBack) {
  LoadTanks(4500, 3, {0.4f, 0.2f, 0.4f});
  const struct {
    uint32_t offset;
    int element;
  } kRows[] = {{0x0B7C, 0}, {0x0B74, 1}, {0x0B94, 2}};
  for (const auto& r : kRows) {
    for (uint32_t level : {4194304u, 8388608u, 1000u}) {
      SCOPED_TRACE(::testing::Message()
                   << std::hex << r.offset << " " << level);
      TakeSets();
      Write32(r.offset, level);
      auto sets = TakeSets();
      ASSERT_EQ(sets.size(), 1u);
      EXPECT_EQ(sets[0].name, kFuel);
      EXPECT_EQ(sets[0].type, simhost::DataType::kFloatArray);
      EXPECT_EQ(sets[0].offset, r.element);
      ASSERT_EQ(sets[0].values.size(), 1u);
      RefreshLevels();
      EXPECT_NEAR(static_cast<double>(U32(r.offset)), level, 2.0);
    }
  }
  // One tank: only the centre level has an element.
  LoadTanks(4500, 1, {1.0f});
  TakeSets();
  Write32(0x0B7C, 12345);
  Write32(0x0B94, 12345);
  EXPECT_TRUE(host().TakeSetRecords().empty());
}

TEST_F(EngineTest, ZeroFuelWeightBelowTheEmptyWeightChangesNothing) {
  host().SetFloat("sim/aircraft/weight/acf_m_empty", 1000.0f);
  host().SetFloat("sim/flightmodel/weight/m_fixed", 123.0f);
  Write32(0x3BFC, 1500 * 256);  // 680 kg: below the empty weight
  Write32(0x3BFC, 2204 * 256);  // 999.7 kg: still below
  EXPECT_EQ(host().GetFloat("sim/flightmodel/weight/m_fixed"), 123.0f);
  Write32(0x3BFC, 3000 * 256);  // 1360.78 kg: 360.78 kg of payload
  EXPECT_NEAR(host().GetFloat("sim/flightmodel/weight/m_fixed"), 360.777, 0.01);
}

TEST_F(EngineTest, MixtureSwitchesAndIgniters) {
  Write32(0x3594, 7);
  EXPECT_EQ(
      host().GetFloatElement("sim/cockpit2/engine/actuators/mixture_ratio", 1),
      1.0f);
  Write32(0x3594, 0);
  EXPECT_EQ(
      host().GetFloatElement("sim/cockpit2/engine/actuators/mixture_ratio", 1),
      0.0f);
  Write(0x6D8F, {1});
  EXPECT_EQ(host().GetIntElement("sim/cockpit/engine/igniters_on", 1), 1);
  EXPECT_EQ(host().GetIntElement("sim/cockpit/engine/igniters_on", 0), 0);
}

}  // namespace
}  // namespace tarvos
