// The write dispatch and the position, attitude and velocity handlers, seen
// as the dataref writes the stand-in host records.
#include "requests/write_dispatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "XPLMGraphics.h"
#include "base/locks.h"
#include "base/trace_log.h"
#include "offsets/coding.h"
#include "offsets/position.h"
#include "requests/attitude.h"
#include "tests/support/plugin_fixture.h"
#include "transport/request_batch.h"
#include "userconfig/config_loader.h"
#include "userconfig/config_parser.h"
#include "userconfig/user_tables.h"

namespace tarvos {
namespace {

constexpr double kLat = 47.5;
constexpr double kLon = -122.25;
constexpr double kElev = 130.25;
constexpr double kLatUnit = 8.998425275576774e-06;
constexpr double kAngleUnit = 8.381903171539307e-08;

constexpr const char* kMotion[] = {
    "sim/flightmodel/position/local_ax", "sim/flightmodel/position/local_ay",
    "sim/flightmodel/position/local_az", "sim/flightmodel/position/P",
    "sim/flightmodel/position/Q",        "sim/flightmodel/position/R",
};

std::vector<uint8_t> U32Bytes(uint32_t v) {
  std::vector<uint8_t> b(4);
  StoreU32(b.data(), v);
  return b;
}
std::vector<uint8_t> F64Bytes(double v) {
  std::vector<uint8_t> b(8);
  StoreF64(b.data(), v);
  return b;
}
// 32.32 fixed point: low half fraction, high half signed integer part.
std::vector<uint8_t> FixedBytes(int32_t whole, uint32_t fraction) {
  std::vector<uint8_t> b(8);
  StoreU32(b.data(), fraction);
  StoreS32(b.data() + 4, whole);
  return b;
}

class WriteDispatchTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
    PlaceAircraft();
    SetHeadingQuaternion(0);
    host().TakeSetRecords();
  }
  // The host moves the aircraft when its local coordinates are written, so
  // tests that relocate put it back before the next write.
  void PlaceAircraft() {
    host().SetDouble("sim/flightmodel/position/latitude", kLat);
    host().SetDouble("sim/flightmodel/position/longitude", kLon);
    host().SetDouble("sim/flightmodel/position/elevation", kElev);
  }
  void SetHeadingQuaternion(double heading) {
    Quaternion q = QuaternionFromEuler({heading, 0, 0});
    const double e[4] = {q.w, q.x, q.y, q.z};
    for (int k = 0; k < 4; ++k) {
      host().SetFloatElement("sim/flightmodel/position/q", k,
                             static_cast<float>(e[k]));
    }
  }
  int Write(uint32_t offset, const std::vector<uint8_t>& bytes) {
    LockGuard<RecursiveLock> hold(OffsetLock);
    return ApplyWrite(bytes.data(), offset,
                      static_cast<uint32_t>(bytes.size()));
  }
  std::vector<std::string> Names(const std::vector<simhost::SetRecord>& r) {
    std::vector<std::string> out;
    for (const auto& s : r) out.push_back(s.name);
    return out;
  }
  // The three local-coordinate writes a relocation to (lat, lon, alt) makes.
  void ExpectRelocation(const std::vector<simhost::SetRecord>& r, double lat,
                        double lon, double alt) {
    double x, y, z;
    XPLMWorldToLocal(lat, lon, alt, &x, &y, &z);
    ASSERT_EQ(Names(r),
              (std::vector<std::string>{"sim/flightmodel/position/local_x",
                                        "sim/flightmodel/position/local_y",
                                        "sim/flightmodel/position/local_z"}));
    EXPECT_DOUBLE_EQ(r[0].values[0], x);
    EXPECT_DOUBLE_EQ(r[1].values[0], y);
    EXPECT_DOUBLE_EQ(r[2].values[0], z);
  }
};

TEST_F(WriteDispatchTest, Relocations) {
  const double lat_low = 12.345678901;
  const double lat_high = 45.125;
  std::vector<uint8_t> combined = F64Bytes(lat_high);
  std::memcpy(combined.data(), F64Bytes(lat_low).data(), 4);
  const double lat_combined = LoadF64(combined.data());
  const std::vector<uint8_t> upper_half(combined.begin() + 4, combined.end());
  struct Case {
    const char* label;
    uint32_t offset;
    std::vector<uint8_t> bytes;
    double lat, lon, alt;
  } cases[] = {
      {"latitude", 0x0560, FixedBytes(1111313, 0x80000000u),
       1111313.5 * kLatUnit, kLon, kElev + 100},
      {"latitude whole part", 0x0564, U32Bytes(1111313), 1111313 * kLatUnit,
       kLon, kElev + 100},
      {"longitude", 0x0568, FixedBytes(-1000, 0x40000000u), kLat,
       -999.75 * kAngleUnit, kElev + 100},
      {"longitude whole part", 0x056C, U32Bytes(static_cast<uint32_t>(-1000)),
       kLat, -1000 * kAngleUnit, kElev + 100},
      {"altitude metres", 0x0574, U32Bytes(1000), kLat, kLon, 1003},
      {"latitude degrees", 0x6D90, F64Bytes(12.5), 12.5, kLon,
       static_cast<float>(kElev)},
      {"latitude upper half", 0x6D94, upper_half, lat_combined, kLon,
       static_cast<float>(kElev)},
      {"longitude degrees", 0x6D98, F64Bytes(-3.5), kLat, -3.5,
       static_cast<float>(kElev)},
      {"altitude feet", 0x6DA0, U32Bytes(1000), kLat, kLon, 304.8},
  };
  // The upper-half write combines with the bytes already at 0x6D90, not
  // with whatever precedes the client's data.
  Poke(0x6D90, F64Bytes(lat_low));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    PlaceAircraft();
    EXPECT_EQ(Write(c.offset, c.bytes), 1);
    ExpectRelocation(TakeSets(), c.lat, c.lon, c.alt);
  }
}

TEST_F(WriteDispatchTest, HeadingChangeRewritesQuaternionAndStopsRotation) {
  ASSERT_EQ(Write(0x0580, U32Bytes(0x40000000u)), 1);  // 90 degrees
  std::vector<simhost::SetRecord> r = TakeSets();
  ASSERT_EQ(r.size(), 10u);
  Quaternion expected = QuaternionFromEuler({90, 0, 0});
  const double e[4] = {expected.w, expected.x, expected.y, expected.z};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(r[k].name, "sim/flightmodel/position/q");
    EXPECT_EQ(r[k].offset, k);
    ASSERT_EQ(r[k].values.size(), 1u);
    EXPECT_NEAR(r[k].values[0], e[k], 1e-6);
  }
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(r[4 + k].name, kMotion[k]);
    EXPECT_EQ(r[4 + k].values[0], 0.0);
  }
}

TEST_F(WriteDispatchTest, AttitudeActsOnlyOnChange) {
  Poke(0x0580, U32Bytes(0x40000000u));
  EXPECT_EQ(Write(0x0580, U32Bytes(0x40000000u)), 1);
  EXPECT_TRUE(TakeSets().empty());
  // A short record is completed from the current bytes: two equal low bytes
  // are no change, a different one is.
  EXPECT_EQ(Write(0x0580, {0x00, 0x00}), 1);
  EXPECT_TRUE(TakeSets().empty());
  EXPECT_EQ(Write(0x0580, {0x01, 0x00}), 1);
  EXPECT_EQ(TakeSets().size(), 10u);
}

TEST_F(WriteDispatchTest, PitchAndBankKeepTheOtherAngles) {
  SetHeadingQuaternion(30);
  ASSERT_EQ(Write(0x0578, U32Bytes(EncodePitchOrBank(5.0f))), 1);
  std::vector<simhost::SetRecord> r = TakeSets();
  ASSERT_GE(r.size(), 4u);
  EulerDegrees e = EulerFromQuaternion(
      {r[0].values[0], r[1].values[0], r[2].values[0], r[3].values[0]});
  EXPECT_NEAR(e.heading, 30, 1e-3);
  EXPECT_NEAR(e.pitch, 5, 1e-3);
  EXPECT_NEAR(e.roll, 0, 1e-3);
}

// A quaternion slightly off unit length (as read back in single precision)
// must not turn into NaN on its way back to the simulator.
TEST_F(WriteDispatchTest, OffUnitQuaternionStaysFinite) {
  const float q[4] = {0.7072f, 0.0f, 0.7072f, 0.0f};  // |q| > 1, pitch 90
  for (int k = 0; k < 4; ++k) {
    host().SetFloatElement("sim/flightmodel/position/q", k, q[k]);
  }
  ASSERT_EQ(Write(0x0580, U32Bytes(0x20000000u)), 1);
  std::vector<simhost::SetRecord> r = TakeSets();
  ASSERT_EQ(r.size(), 10u);
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(std::isfinite(r[k].values[0]));
}

// Local x points east and z south: a speed along heading 0 is -z.
TEST_F(WriteDispatchTest, SpeedsFollowTheHeading) {
  ASSERT_EQ(Write(0x0558, U32Bytes(100)), 1);  // knots -> 51 m/s
  std::vector<simhost::SetRecord> r = TakeSets();
  ASSERT_EQ(Names(r),
            (std::vector<std::string>{"sim/flightmodel/position/local_vx",
                                      "sim/flightmodel/position/local_vy",
                                      "sim/flightmodel/position/local_vz"}));
  EXPECT_NEAR(r[0].values[0], 0, 1e-4);
  EXPECT_EQ(r[1].values[0], 0);
  EXPECT_NEAR(r[2].values[0], -51, 1e-4);

  SetHeadingQuaternion(90);
  host().TakeSetRecords();
  ASSERT_EQ(Write(0x3090, F64Bytes(100)), 1);  // ft/s, heading east
  r = TakeSets();
  ASSERT_EQ(r.size(), 9u);
  EXPECT_EQ(r[0].name, "sim/flightmodel/position/local_vx");
  EXPECT_NEAR(r[0].values[0], 30.48, 1e-3);
  EXPECT_EQ(r[1].name, "sim/flightmodel/position/local_vz");
  EXPECT_NEAR(r[1].values[0], 0, 1e-3);
  EXPECT_EQ(r[2].name, "sim/flightmodel/position/local_vy");
  for (int k = 0; k < 6; ++k) EXPECT_EQ(r[3 + k].name, kMotion[k]);
}

TEST_F(WriteDispatchTest, NonFiniteDoublesReachNoDataref) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Write(0x3090, F64Bytes(nan)), 1);
  EXPECT_EQ(Write(0x6D90, F64Bytes(inf)), 1);
  EXPECT_EQ(Write(0x6D98, F64Bytes(nan)), 1);
  EXPECT_TRUE(TakeSets().empty());
}

TEST_F(WriteDispatchTest, RangeIsHandledItemByItem) {
  // 0x0558 (speed), 0x055C (accepted, nothing) and 0x0560 (latitude).
  std::vector<uint8_t> bytes = U32Bytes(0);
  std::vector<uint8_t> nothing = U32Bytes(0xDEADBEEF);
  std::vector<uint8_t> lat = FixedBytes(1111313, 0);
  bytes.insert(bytes.end(), nothing.begin(), nothing.end());
  bytes.insert(bytes.end(), lat.begin(), lat.end());
  ASSERT_EQ(Write(0x0558, bytes), 1);
  std::vector<simhost::SetRecord> r = TakeSets();
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0].name, "sim/flightmodel/position/local_vx");
  std::vector<simhost::SetRecord> reloc(r.begin() + 3, r.end());
  ExpectRelocation(reloc, 1111313 * kLatUnit, kLon, kElev + 100);
}

TEST_F(WriteDispatchTest, StopsAtAnOffsetWithoutHandler) {
  EXPECT_EQ(Write(0x0100, {1, 2, 3, 4}), 0);
  // 0x0574 relocates, 0x0578 to 0x0583 (attitude, unchanged) do nothing,
  // 0x0584 has no handler: the handling ends there.
  std::vector<uint8_t> bytes = U32Bytes(1000);
  bytes.resize(20, 0);
  EXPECT_EQ(Write(0x0574, bytes), 0);
  EXPECT_EQ(TakeSets().size(), 3u);  // one relocation
  EXPECT_EQ(Write(0x0560, {}), 1);
}

// Through the transport: the handling stops, the copy does not.
TEST_F(WriteDispatchTest, TransportStillStoresUnhandledBytes) {
  std::vector<uint8_t> batch(12 + 4 + 4, 0);
  StoreU32(batch.data(), kRecordWrite);
  StoreU32(batch.data() + 4, 0x0100);
  StoreU32(batch.data() + 8, 4);
  StoreU32(batch.data() + 12, 0x04030201);
  BatchResult result =
      ServeRequestBatch(batch.data(), batch.size(), kTraceMarkerLocal);
  EXPECT_EQ(result.result, 1);
  EXPECT_EQ(Bytes(0x0100, 4), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_TRUE(TakeSets().empty());
}

// A user offset replaces the fixed handler; a user command runs in addition.
TEST_F(WriteDispatchTest, UserOffsetsAndCommandsTakePrecedence) {
  host().DefineInt("test/int", 0);
  host().DefineCommand("test/once");
  UserTables tables = ParseUserOffsetConfig(
      "Dataref i test/int int\n"
      "Offset 0580 UINT32 0 w >i @\n"
      "Command 0578 UINT32 1 1 test/once\n");
  ResolveUserReferences(&tables);
  InstallUserTables(std::move(tables));
  host().TakeCommands();

  EXPECT_EQ(Write(0x0580, U32Bytes(7)), 1);
  std::vector<simhost::SetRecord> r = TakeSets();
  ASSERT_EQ(Names(r), std::vector<std::string>{"test/int"});

  EXPECT_EQ(Write(0x0578, U32Bytes(1)), 1);
  EXPECT_EQ(host().TakeCommands().size(), 1u);
  EXPECT_EQ(TakeSets().size(), 10u);  // pitch handler as well
}

// The On change handlers of items that a read recomputes compare with what
// the simulator shows now, not with what the block last held: a lever or
// switch re-asserting its position after the pilot moved it acts (also when
// the block still holds the same value, the untouched 0 or the client's own
// last write), and a stream of the same value acts once.
TEST_F(WriteDispatchTest, OnChangeOfReadTimeItemsComparesWithTheSimulator) {
  const std::string ap = "sim/cockpit/autopilot/autopilot_state";
  const std::string ignition = "sim/cockpit/engine/ignition_on";
  const std::string mixture = "sim/cockpit2/engine/actuators/mixture_ratio";
  using Move = std::function<void(simhost::Host&)>;
  const struct {
    uint16_t offset;
    uint32_t size;
    uint32_t value;  // what the client writes, again and again
    Move elsewhere;  // the pilot puts the simulator where `value` is not
  } kRows[] = {
      {0x07C4, 4, 0, [&](simhost::Host& h) { h.SetInt(ap, 0x100); }},
      {0x07C8, 4, 1, [&](simhost::Host& h) { h.SetInt(ap, 0); }},
      {0x07D0, 4, 0, [&](simhost::Host& h) { h.SetInt(ap, 0x4000); }},
      {0x07EC, 4, 1, [&](simhost::Host& h) { h.SetInt(ap, 0); }},
      // A detent that reads back one less (the published request is cut).
      {0x0BDC, 4, 4096,
       [](simhost::Host& h) {
         h.SetFloat("sim/flightmodel/controls/flaprqst", 0);
       }},
      {0x0BE8, 4, 0,
       [](simhost::Host& h) {
         h.SetInt("sim/cockpit/switches/gear_handle_status", 1);
       }},
      // Engines 3 and 4 of a piston aircraft: both magnetos.
      {0x09C2, 2, 3,
       [&](simhost::Host& h) { h.SetIntElement(ignition, 2, 0); }},
      {0x0A5A, 2, 3,
       [&](simhost::Host& h) { h.SetIntElement(ignition, 3, 0); }},
      {0x3590, 4, 1,
       [&](simhost::Host& h) { h.SetFloatElement(mixture, 0, 0); }},
      {0x3594, 4, 1,
       [&](simhost::Host& h) { h.SetFloatElement(mixture, 1, 0); }},
  };
  // Whatever the plugin did to the simulator since the last call.
  auto effects = [this] {
    return TakeSets().size() + host().TakeCommands().size() +
           host().TakeInputs().size();
  };
  Poke(0x0609, {0});  // piston engines
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.offset);
    std::vector<uint8_t> bytes = U32Bytes(r.value);
    bytes.resize(r.size);
    Poke(r.offset, bytes);
    r.elsewhere(host());
    effects();
    PluginFixture::Write(r.offset, bytes);
    EXPECT_GT(effects(), 0u) << "the block held the value, the simulator not";
    for (int k = 0; k < 5; ++k) PluginFixture::Write(r.offset, bytes);
    EXPECT_EQ(effects(), 0u) << "the simulator shows the value already";
    r.elsewhere(host());
    PluginFixture::Write(r.offset, bytes);
    EXPECT_GT(effects(), 0u) << "the pilot moved it after the client's write";
  }
}

}  // namespace
}  // namespace tarvos
