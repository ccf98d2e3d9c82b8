// The weather: what the refresh publishes (temperatures, pressures,
// precipitation, clouds, the wind layers with their copies) and what a
// client write sets in the simulator.
#include "offsets/weather.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/refresh_lists.h"
#include "requests/write_dispatch.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

const std::string kWx = "sim/weather/";

class WeatherTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
    Enable();
  }
  void Run(RefreshCallback callback) {
    for (Converter c : RefreshList(callback)) c();
  }
  void Write16(uint32_t offset, uint16_t v) {
    Write(offset, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  }
  int16_t S16(uint32_t offset) { return static_cast<int16_t>(U16(offset)); }
  uint8_t U8(uint32_t offset) { return Bytes(offset, 1)[0]; }
  // A wind speed in knots, into the host's unit.
  void SetWindKnots(const std::string& name, double knots) {
    host().SetFloat(kWx + name,
                    static_cast<float>(knots / host().WindSpeedUnitKnots()));
  }
  double WindKnots(const std::string& name) {
    return host().GetFloat(kWx + name) * host().WindSpeedUnitKnots();
  }
  // Every wind speed offset reads and writes knots, whatever the host keeps.
  void ExpectWindSpeedsInKnots() {
    SetWindKnots("wind_speed_kt", 7.25);
    SetWindKnots("wind_speed_kt[0]", 12.5);
    SetWindKnots("wind_speed_kt[1]", 20.5);
    SetWindKnots("wind_speed_kt[2]", 40.5);
    Run(RefreshCallback::kA);
    Run(RefreshCallback::kD);
    Run(RefreshCallback::kH);
    EXPECT_EQ(U16(0x0E90), 14);  // knots x 2
    for (uint32_t o : {0x04D8, 0x0F72, 0x0EF0}) EXPECT_EQ(U16(o), 12) << o;
    for (uint32_t o : {0x0F68, 0x0EE6}) EXPECT_EQ(U16(o), 20) << o;
    for (uint32_t o : {0x0F5C, 0x0EDA}) EXPECT_EQ(U16(o), 40) << o;
    Write16(0x0F72, 25);
    Write16(0x0F68, 30);
    Write16(0x0F5C, 50);
    EXPECT_NEAR(WindKnots("wind_speed_kt[0]"), 25, 1e-4);
    EXPECT_NEAR(WindKnots("wind_speed_kt[1]"), 30, 1e-4);
    EXPECT_NEAR(WindKnots("wind_speed_kt[2]"), 50, 1e-4);
  }
};

// The simulator before 12: wind speeds in knots.
class OlderHostWeatherTest : public WeatherTest {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    host().UseOlderHost();
    Start();
    Enable();
  }
};

TEST_F(WeatherTest, TemperaturesPressuresAndPrecipitation) {
  host().SetFloat(kWx + "barometer_sealevel_inhg", 29.92f);
  host().SetFloat(kWx + "temperature_sealevel_c", -2.5f);
  host().SetFloat(kWx + "dewpoi_sealevel_c", 8.25f);
  host().SetFloat(kWx + "temperature_ambient_c", -10.5f);
  host().SetFloat("sim/cockpit/misc/barometer_setting", 30.01f);
  Run(RefreshCallback::kI);
  Run(RefreshCallback::kD);
  EXPECT_EQ(U16(0x0EC6), 16209);  // round(29.92 x 541.76)
  EXPECT_EQ(U16(0x0F48), 16209);
  EXPECT_NEAR(F64(0x34A0), 1013.0912, 1e-4);
  EXPECT_EQ(S16(0x0EC0), -640);  // -2.5 C x 256
  EXPECT_EQ(S16(0x04C8), 2112);
  EXPECT_EQ(S16(0x0E8C), -2688);
  EXPECT_EQ(S16(0x11D0), -2688);
  EXPECT_EQ(S16(0x0330), 16260);  // trunc(30.01 x 541.820591696)

  // Rain levels at the boundaries of the fraction.
  const struct {
    float fraction;
    uint8_t level;
  } kRain[] = {{0, 0},
               {0.16f, 0},
               {0.17f, 1},
               {0.33f, 1},
               {0.5f, 2},
               {0.51f, 3},
               {0.67f, 3},
               {0.84f, 4},
               {0.85f, 5},
               {1, 5},
               {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const auto& r : kRain) {
    host().SetFloat(kWx + "rain_percent", r.fraction);
    Run(RefreshCallback::kI);
    EXPECT_EQ(U8(0x04CB), r.level) << r.fraction;
  }
  // The precipitation type follows the sea-level temperature, but only
  // while the first byte of the precipitation control is set.
  Poke(0x04D2, {0, 1});
  Run(RefreshCallback::kI);
  EXPECT_EQ(U8(0x04CC), 0);
  Poke(0x04D2, {3, 1});
  Run(RefreshCallback::kI);
  EXPECT_EQ(U8(0x04CC), 2);  // below freezing: snow
  host().SetFloat(kWx + "temperature_sealevel_c", 0);
  Run(RefreshCallback::kI);
  EXPECT_EQ(U8(0x04CC), 1);
}

TEST_F(WeatherTest, CloudsVisibilityAndWind) {
  host().SetInt(kWx + "cloud_type[2]", 4);
  host().SetInt(kWx + "cloud_type[0]", 1);
  host().SetFloat(kWx + "cloud_base_msl_m[0]", 1200.9f);
  host().SetFloat(kWx + "visibility_reported_m", 16093.4f);
  host().SetFloat(kWx + "wind_direction_degt[0]", 270);
  host().SetFloat("sim/flightmodel/position/magnetic_variation", -3);
  SetWindKnots("wind_speed_kt[0]", 12.9);
  SetWindKnots("wind_speed_kt", 7.25);
  host().SetFloat(kWx + "wind_direction_degt", 90);
  Run(RefreshCallback::kG);
  Run(RefreshCallback::kD);
  Run(RefreshCallback::kA);
  EXPECT_EQ(U16(0x0E9E), 0xFFFF);
  EXPECT_EQ(U16(0x0EA6), 26213);
  EXPECT_EQ(S16(0x0EA4), 1200);
  EXPECT_EQ(U16(0x0E8A), 999);  // 9.99 statute miles
  // (270 - 3) x 65536 / 360 = 48605, at all three offsets.
  for (uint32_t o : {0x04DA, 0x0F74, 0x0EF2}) EXPECT_EQ(U16(o), 48605) << o;
  for (uint32_t o : {0x04D8, 0x0F72, 0x0EF0}) EXPECT_EQ(U16(o), 12) << o;
  EXPECT_EQ(U16(0x0E90), 14);  // knots x 2
  EXPECT_EQ(U16(0x0E92), 16384);

  // Non-finite values from the host: defined results, no undefined
  // conversion.
  host().SetFloat(kWx + "wind_speed_kt[0]",
                  std::numeric_limits<float>::quiet_NaN());
  Run(RefreshCallback::kD);
  EXPECT_EQ(U16(0x0F72), 0);
  host().SetFloat(kWx + "wind_speed_kt[0]",
                  std::numeric_limits<float>::infinity());
  Run(RefreshCallback::kD);
  EXPECT_EQ(U16(0x0F72), 0xFFFF);
}

TEST_F(WeatherTest, WindSpeedsInKnotsOnAHostKeepingMetresPerSecond) {
  // 12.5 knots are held as 6.43 m/s.
  SetWindKnots("wind_speed_kt[0]", 12.5);
  EXPECT_NEAR(host().GetFloat(kWx + "wind_speed_kt[0]"), 6.4306, 1e-4);
  ExpectWindSpeedsInKnots();
}

TEST_F(OlderHostWeatherTest, WindSpeedsInKnotsOnAHostKeepingKnots) {
  SetWindKnots("wind_speed_kt[0]", 12.5);
  EXPECT_FLOAT_EQ(host().GetFloat(kWx + "wind_speed_kt[0]"), 12.5f);
  ExpectWindSpeedsInKnots();
}

TEST_F(WeatherTest, WindLayersAndTheSymmetricMiddleLayer) {
  host().SetFloat(kWx + "wind_altitude_msl_m[1]", 3000.75f);
  host().SetFloat(kWx + "wind_altitude_msl_m[0]", 1000.25f);
  SetWindKnots("wind_speed_kt[1]", 15.5);
  host().SetFloat(kWx + "wind_direction_degt[1]", 280);
  host().SetFloat(kWx + "turbulence[2]", 0.5f);
  host().SetFloat(kWx + "shear_speed_kt[0]", 7);
  Run(RefreshCallback::kH);
  // A base of 0: the top is twice the middle, the base stays 0.
  EXPECT_EQ(S16(0x0F64), 6001);
  EXPECT_EQ(S16(0x0F66), 0);
  EXPECT_EQ(S16(0x0EE2), 6001);
  EXPECT_EQ(S16(0x0F70), 2000);
  EXPECT_EQ(U16(0x0F68), 15);
  EXPECT_EQ(U16(0x0EE6), 15);
  EXPECT_EQ(U16(0x0F6A), 50972);  // round(280 x 182.04444 as a float)
  EXPECT_EQ(U16(0x0F60), 14);     // 0.5 x 28.33
  EXPECT_EQ(U16(0x0EF6), 7);
  // A base a client wrote stays; the top follows it.
  Poke(0x0F66, {0xD0, 0x07});  // 2000 m
  Run(RefreshCallback::kH);
  EXPECT_EQ(S16(0x0F66), 2000);
  EXPECT_EQ(S16(0x0F64), 4001);
  EXPECT_EQ(S16(0x0EE4), 2000);
}

TEST_F(WeatherTest, WritesSetTheSimulatorsWeather) {
  // Cloud cover to the simulator's cloud type.
  const struct {
    uint16_t cover;
    int type;
  } kCover[] = {{0, 0},     {13106, 0}, {13107, 1}, {26213, 1}, {30000, 2},
                {39321, 3}, {52427, 3}, {52428, 4}, {65535, 4}};
  for (const auto& c : kCover) {
    Poke(0x0E9E, {0xEE, 0xEE});
    Write16(0x0E9E, c.cover);
    EXPECT_EQ(host().GetInt(kWx + "cloud_type[2]"), c.type) << c.cover;
  }
  // Turbulence to 255 and shear to 50; larger values are ignored.
  Write16(0x0F60, 255);
  EXPECT_NEAR(host().GetFloat(kWx + "turbulence[2]"), 9.0, 1e-5);
  Write16(0x0F60, 256);
  EXPECT_NEAR(host().GetFloat(kWx + "turbulence[2]"), 9.0, 1e-5);
  Write16(0x0F62, 51);
  EXPECT_EQ(host().GetFloat(kWx + "shear_speed_kt[2]"), 0.0f);
  // Friction 0, 1, 2; anything else is dry.
  Write(0x6DA8, {2});
  EXPECT_EQ(host().GetFloat(kWx + "runway_friction"), 2.0f);
  Write(0x6DA8, {3});
  EXPECT_EQ(host().GetFloat(kWx + "runway_friction"), 0.0f);
  // The integer setter on the float dataref is ignored by the simulator.
  host().TakeSetRecords();
  Write(0x6DA9, {1});
  auto sets = host().TakeSetRecords();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_FALSE(sets[0].applied);
  EXPECT_EQ(host().GetFloat(kWx + "runway_friction"), 0.0f);

  // The surface wind direction is magnetic.
  host().SetFloat("sim/flightmodel/position/magnetic_variation", -3);
  Write16(0x0F74, 16384);
  EXPECT_FLOAT_EQ(host().GetFloat(kWx + "wind_direction_degt[0]"), 93.0f);
  Write16(0x0F48, 16209);
  EXPECT_NEAR(host().GetFloat(kWx + "barometer_sealevel_inhg"), 29.916, 1e-3);

  // Rewriting the same wind speed does nothing.
  host().TakeSetRecords();
  Write16(0x0F72, 20);
  Write16(0x0F72, 20);
  EXPECT_EQ(TakeSets().size(), 1u);
}

TEST_F(WeatherTest, PrecipitationRoundTripsThroughTheRainLevel) {
  // Rain at -5 C: the sea-level temperature is raised first.
  host().SetFloat(kWx + "temperature_sealevel_c", -5);
  host().TakeSetRecords();
  Write16(0x04D2, 0x0164);  // rain, rate 100
  auto sets = TakeSets();
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].name, kWx + "temperature_sealevel_c");
  EXPECT_EQ(sets[0].values[0], 1.0);
  EXPECT_EQ(sets[1].name, kWx + "cloud_type[0]");
  EXPECT_EQ(sets[1].values[0], 4.0);
  EXPECT_EQ(sets[2].name, kWx + "rain_percent");
  EXPECT_EQ(sets[2].values[0], 1.0) << "rate 100 is heavy rain, not 17";

  // Rates 0 to 5 read back as the same level; larger rates as heavy rain.
  for (uint8_t rate : {0, 1, 2, 3, 4, 5, 6, 255}) {
    Write16(0x04D2, static_cast<uint16_t>(0x0100 | rate));
    Run(RefreshCallback::kI);
    EXPECT_EQ(U8(0x04CB), rate <= 5 ? rate : 5) << int{rate};
  }
  // Snow below freezing; none clears the rain.
  host().SetFloat(kWx + "temperature_sealevel_c", 3);
  Write16(0x04D2, 0x0202);
  EXPECT_EQ(host().GetFloat(kWx + "temperature_sealevel_c"), -1.0f);
  Write16(0x04D2, 0x0000);
  EXPECT_EQ(host().GetFloat(kWx + "rain_percent"), 0.0f);
  EXPECT_EQ(host().GetInt(kWx + "cloud_type[0]"), 3);
  // Other kinds do nothing.
  host().TakeSetRecords();
  Write16(0x04D2, 0x0305);
  EXPECT_TRUE(TakeSets().empty());
}

}  // namespace
}  // namespace tarvos
