// Position, attitude, speed, weight and clock offsets as the refresh
// callbacks publish them from the stand-in host's datarefs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "offsets/coding.h"
#include "offsets/refresh_scheduler.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

using Callback = float (*)(float, float, int, void*);

enum class Kind { kInt, kFloat, kDouble };

struct Dataref {
  const char* name;
  Kind kind;
  double value;
};

// One worked example: dataref values in, one callback run, an integer field
// out (read little-endian at its width, compared as unsigned bits).
struct IntCase {
  const char* label;
  std::vector<Dataref> datarefs;
  Callback callback;
  uint32_t offset;
  int size;
  uint64_t expected;
};

// Same with an IEEE double field.
struct DoubleCase {
  const char* label;
  Dataref dataref;
  Callback callback;
  uint32_t offset;
  double expected;
};

constexpr char kLat[] = "sim/flightmodel/position/latitude";
constexpr char kLon[] = "sim/flightmodel/position/longitude";
constexpr char kElev[] = "sim/flightmodel/position/elevation";
constexpr char kAgl[] = "sim/flightmodel/position/y_agl";
constexpr char kVs[] = "sim/flightmodel/position/vh_ind";

class PositionTest : public testing::PluginFixture {
 protected:
  void Set(const Dataref& d) {
    switch (d.kind) {
      case Kind::kInt:
        host().SetInt(d.name, static_cast<int>(d.value));
        break;
      case Kind::kFloat:
        host().SetFloat(d.name, static_cast<float>(d.value));
        break;
      case Kind::kDouble:
        host().SetDouble(d.name, d.value);
        break;
    }
  }
  uint64_t Field(uint32_t offset, int size) {
    std::vector<uint8_t> b = Bytes(offset, static_cast<uint32_t>(size));
    uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | b[i];
    return v;
  }
};

TEST_F(PositionTest, WorkedExamples) {
  // clang-format off
  const IntCase cases[] = {
    {"45N", {{kLat, Kind::kDouble, 45.0}}, RefreshCallbackA, 0x0560, 8, 21478594576384000ull},
    {"45S", {{kLat, Kind::kDouble, -45.0}}, RefreshCallbackA, 0x0560, 8, static_cast<uint64_t>(-21478594576384000ll)},
    {"122.31W", {{kLon, Kind::kDouble, -122.31f}}, RefreshCallbackA, 0x0568, 8, static_cast<uint64_t>(-6267281173942831104ll)},
    {"elevation -0.25", {{kElev, Kind::kDouble, -0.25}}, RefreshCallbackA, 0x0570, 8, 0xFFFFFFFFC0000000ull},
    {"heading 359", {{"sim/flightmodel/position/psi", Kind::kFloat, 359}}, RefreshCallbackA, 0x0580, 4, 4283036831ull},
    {"pitch 10 up", {{"sim/flightmodel/position/theta", Kind::kFloat, 10}}, RefreshCallbackA, 0x0578, 4, static_cast<uint32_t>(-119304647)},
    {"bank -10", {{"sim/flightmodel/position/phi", Kind::kFloat, -10}}, RefreshCallbackA, 0x057C, 4, 119304647},
    {"ground elevation", {{kElev, Kind::kDouble, 130}, {kAgl, Kind::kFloat, 1.2}}, RefreshCallbackA, 0x0020, 4, 32972},
    {"ground below sea level is 0", {{kElev, Kind::kDouble, 5}, {kAgl, Kind::kFloat, 8}}, RefreshCallbackA, 0x0020, 4, 0},
    {"vertical speed", {{kVs, Kind::kFloat, 5}}, RefreshCallbackA, 0x02C8, 4, 1280},
    {"vertical speed per minute", {{kVs, Kind::kFloat, 5}}, RefreshCallbackA, 0x0842, 2, 0xFED4},
    {"TAS", {{"sim/flightmodel/position/true_airspeed", Kind::kFloat, 100}}, RefreshCallbackA, 0x02B8, 4, 24881},
    {"IAS reversing", {{"sim/flightmodel/position/indicated_airspeed", Kind::kFloat, -5}}, RefreshCallbackA, 0x02BC, 4, 0},
    {"IAS", {{"sim/flightmodel/position/indicated_airspeed", Kind::kFloat, 120.5}}, RefreshCallbackA, 0x02BC, 4, 15424},
    {"radio altitude", {{kAgl, Kind::kFloat, 2.5}}, RefreshCallbackA, 0x31E4, 4, 163840},
    {"altimeter feet", {{"sim/cockpit2/gauges/indicators/altitude_ft_pilot", Kind::kFloat, 1000}}, RefreshCallbackA, 0x3324, 4, 1000},
    {"ground speed", {{"sim/flightmodel/position/groundspeed", Kind::kFloat, 51.4}}, RefreshCallbackB, 0x02B4, 4, 3368550},
    {"local time", {{"sim/time/local_time_sec", Kind::kFloat, 13 * 3600 + 5 * 60 + 9}}, RefreshCallbackD, 0x0238, 3, 0x09050D},
    {"zulu time", {{"sim/time/zulu_time_sec", Kind::kFloat, 19 * 3600 + 42 * 60 + 7}}, RefreshCallbackE, 0x023B, 2, 0x2A13},
    {"time zone", {{"sim/time/local_time_sec", Kind::kFloat, 11 * 3600}, {"sim/time/zulu_time_sec", Kind::kFloat, 19 * 3600}}, RefreshCallbackE, 0x0246, 2, 0xFE20},
    {"frame period", {{"sim/operation/misc/frame_rate_period", Kind::kFloat, 0.05}}, RefreshCallbackE, 0x0274, 2, 1638},
    {"paused", {{"sim/time/paused", Kind::kInt, 1}}, RefreshCallbackF, 0x0262, 4, 0x00010001},
    {"sim rate 4", {{"sim/time/sim_speed", Kind::kInt, 4}}, RefreshCallbackF, 0x0C1A, 2, 1024},
    {"day of year", {{"sim/time/local_date_days", Kind::kInt, 180}}, RefreshCallbackI, 0x023E, 2, 181},
    {"magnetic variation", {{"sim/flightmodel/position/magnetic_variation", Kind::kFloat, 15.5}}, RefreshCallbackI, 0x02A0, 2, static_cast<uint16_t>(-2821)},
    {"zero fuel weight", {{"sim/flightmodel/weight/m_fixed", Kind::kFloat, 100}, {"sim/aircraft/weight/acf_m_empty", Kind::kFloat, 500}}, RefreshCallbackI, 0x3BFC, 4, 338626},
  };
  // clang-format on
  Start();
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.label);
    for (const Dataref& d : c.datarefs) Set(d);
    c.callback(0, 0, 0, nullptr);
    EXPECT_EQ(Field(c.offset, c.size), c.expected);
  }
}

TEST_F(PositionTest, DoubleFields) {
  // clang-format off
  const DoubleCase cases[] = {
    {"roll acceleration", {"sim/flightmodel/position/P_dot", Kind::kFloat, 10}, RefreshCallbackA, 0x3080, 10 * 0.017453292},
    {"yaw rate", {"sim/flightmodel/position/Rrad", Kind::kFloat, 0.125}, RefreshCallbackA, 0x30B8, 0.125},
    {"vertical speed fps", {"sim/flightmodel/position/vh_ind_fpm", Kind::kFloat, 600}, RefreshCallbackA, 0x31A0, 600 * 0.016666666666666666},
    {"total weight", {"sim/flightmodel/weight/m_total", Kind::kFloat, 1000}, RefreshCallbackH, 0x30C0, 1000 * 2.2046},
  };
  // clang-format on
  Start();
  for (const DoubleCase& c : cases) {
    SCOPED_TRACE(c.label);
    Set(c.dataref);
    c.callback(0, 0, 0, nullptr);
    EXPECT_DOUBLE_EQ(F64(c.offset), c.expected);
  }
}

TEST_F(PositionTest, LocalTimeTextFollowsTheBytes) {
  Start();
  host().SetFloat("sim/time/local_time_sec", 13 * 3600 + 5 * 60 + 9);
  RefreshCallbackD(0, 0, 0, nullptr);
  std::vector<uint8_t> text = Bytes(0x0C20, 9);
  EXPECT_EQ(std::string(text.begin(), text.end()),
            std::string("13:05:09\0", 9));
}

TEST_F(PositionTest, AirborneVerticalSpeedHeldOnTheGround) {
  Start();
  host().SetFloat(kVs, 5);
  Poke(0x0366, {0, 0});
  RefreshCallbackA(0, 0, 0, nullptr);
  EXPECT_EQ(S32(0x030C), 1280);
  Poke(0x0366, {1, 0});  // on the ground
  host().SetFloat(kVs, -1);
  RefreshCallbackA(0, 0, 0, nullptr);
  EXPECT_EQ(S32(0x02C8), -256);
  EXPECT_EQ(S32(0x030C), 1280);
}

TEST_F(PositionTest, AltimeterSwitchesToMetresWhenClientAsks) {
  Start();
  host().SetFloat("sim/cockpit2/gauges/indicators/altitude_ft_pilot", 1000);
  RefreshCallbackA(0, 0, 0, nullptr);
  EXPECT_EQ(S32(0x3324), 1000);
  Poke(0x0C18, {2, 0});
  RefreshCallbackA(0, 0, 0, nullptr);
  EXPECT_EQ(S32(0x3324), 304);
}

TEST_F(PositionTest, NeverExceedSpeedAtAircraftLoad) {
  StartAndEnable();
  host().SetFloat("sim/aircraft/view/acf_Vne", 200);
  host().SendMessageToPlugin(0, 102, nullptr);  // user aircraft loaded
  EXPECT_EQ(S32(0x02C4), 25600);
}

}  // namespace
}  // namespace tarvos
