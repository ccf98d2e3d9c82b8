// The scripted flight of the stand-in host: a consistent aircraft over a
// whole circuit, outside writes followed, radios, traffic.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "XPLMDataAccess.h"
#include "XPLMGraphics.h"
#include "XPLMNavigation.h"
#include "XPLMUtilities.h"
#include "simhost/flight/flight_field.h"
#include "simhost/flight/flight_model.h"
#include "simhost/host/host.h"

namespace simhost::flight {
namespace {

constexpr double kRad = 3.14159265358979323846 / 180.0;
const std::string kPos = "sim/flightmodel/position/";

class FlightTest : public ::testing::Test {
 protected:
  void SetUp() override { host().Reset(); }
  void TearDown() override { model_.Uninstall(); }

  Host& host() { return Host::Get(); }
  void Install(bool fly, int traffic = 3) {
    FlightModel::Options o;
    o.fly = fly;
    o.traffic = traffic;
    model_.Install(o);
  }
  GeoPoint Geo() {
    return {host().GetDouble(kPos + "latitude"),
            host().GetDouble(kPos + "longitude"),
            host().GetDouble(kPos + "elevation")};
  }
  // Frames until `phase` is reached; false when it is not within `limit`.
  bool RunUntil(Phase phase, int limit, float dt = 0.1f) {
    for (int i = 0; i < limit; ++i) {
      if (model_.phase() == phase) return true;
      host().StepFrame(dt);
    }
    return model_.phase() == phase;
  }

  FlightModel model_;
};

// Metres between two points of the field's plane.
double Distance(const FieldPoint& a, const FieldPoint& b) {
  return std::sqrt((a.east - b.east) * (a.east - b.east) +
                   (a.north - b.north) * (a.north - b.north) +
                   (a.up - b.up) * (a.up - b.up));
}

// A whole circuit at 30 frames a second, checked frame by frame: no jump
// beyond speed × time, heading on the ground track, vertical speed matching
// the altitude change, local coordinates and quaternion matching the
// published position and attitude, and every phase visited in order.
TEST_F(FlightTest, WholeCircuitIsConsistentFrameByFrame) {
  Install(true);
  const float dt = 1.0f / 30.0f;
  FieldPoint last = ToField(Geo());
  std::set<std::string> phases;
  std::string order;
  double max_height = 0;
  int checked_tracks = 0;
  bool looped = false;
  for (int frame = 0; frame < 30 * 60 * 25 && !looped; ++frame) {
    host().StepFrame(dt);
    const GeoPoint g = Geo();
    const FieldPoint now = ToField(g);
    const double speed = host().GetFloat(kPos + "groundspeed");
    const double vs = host().GetFloat(kPos + "vh_ind");
    const double psi = host().GetFloat(kPos + "psi");
    ASSERT_TRUE(std::isfinite(g.latitude) && std::isfinite(g.longitude));
    // Position moves by speed × time (plus what the climb adds).
    const double step = Distance(last, now);
    ASSERT_LE(step, (std::hypot(speed, vs) + 3.0) * dt + 0.01)
        << "frame " << frame;
    // Heading follows the track whenever the aircraft really moves.
    const double de = now.east - last.east, dn = now.north - last.north;
    if (std::hypot(de, dn) > 1.0) {
      double track = WrapDegrees360(std::atan2(de, dn) / kRad);
      ASSERT_LT(std::fabs(WrapDegrees180(track - psi)), 3.0)
          << "frame " << frame << " phase " << PhaseName(model_.phase());
      ++checked_tracks;
    }
    // Vertical speed is the altitude change.
    ASSERT_NEAR((now.up - last.up) / dt, vs, 0.6) << "frame " << frame;
    // Local coordinates are the host's conversion of the position.
    double x, y, z;
    XPLMWorldToLocal(g.latitude, g.longitude, g.elevation, &x, &y, &z);
    ASSERT_NEAR(host().GetDouble(kPos + "local_x"), x, 0.01);
    ASSERT_NEAR(host().GetDouble(kPos + "local_y"), y, 0.01);
    ASSERT_NEAR(host().GetDouble(kPos + "local_z"), z, 0.01);
    // The quaternion holds the published heading.
    const float w = host().GetFloatElement(kPos + "q", 0);
    const float qx = host().GetFloatElement(kPos + "q", 1);
    const float qy = host().GetFloatElement(kPos + "q", 2);
    const float qz = host().GetFloatElement(kPos + "q", 3);
    double q_heading = std::atan2(2 * (qx * qy + w * qz),
                                  w * w + qx * qx - qy * qy - qz * qz) /
                       kRad;
    ASSERT_LT(std::fabs(WrapDegrees180(q_heading - psi)), 0.01);
    ASSERT_NEAR(host().GetFloat(kPos + "y_agl"), now.up - kFieldElevation,
                0.01);
    max_height = std::max(max_height, now.up - kFieldElevation);
    std::string name = PhaseName(model_.phase());
    if (phases.insert(name).second) order += name + " ";
    looped = phases.count("backtrack") > 0 && model_.phase() == Phase::kLineUp;
    last = now;
  }
  EXPECT_TRUE(looped) << "phases seen: " << order;
  EXPECT_EQ(order, "line-up take-off circuit approach landing backtrack ");
  EXPECT_GT(max_height, 850.0);
  EXPECT_GT(checked_tracks, 10000);
}

// On the glide slope the receiver tuned to the ILS centres both needles and
// the marker lights as the outer marker passes.
TEST_F(FlightTest, ApproachFliesTheIlsNeedlesCentred) {
  Install(true);
  ASSERT_TRUE(RunUntil(Phase::kApproach, 20 * 60 * 10));
  bool outer_marker = false;
  int centred = 0;
  while (model_.phase() == Phase::kApproach) {
    host().StepFrame(0.1f);
    if (model_.LegName() != "final") continue;
    EXPECT_EQ(host().GetIntElement("sim/cockpit/radios/nav_type", 0), 4);
    // Inside the outer marker, until the needles grow sensitive close in.
    const double east = model_.state().position.east;
    if (east < kOuterMarkerEast + 2000 && east > kThresholdEast + 2000) {
      EXPECT_LT(std::fabs(host().GetFloat("sim/cockpit/radios/nav1_hdef_dot")),
                0.3);
      EXPECT_LT(std::fabs(host().GetFloat("sim/cockpit/radios/nav1_vdef_dot")),
                0.5);
      ++centred;
    }
    outer_marker |= host().GetInt("sim/cockpit/misc/over_outer_marker") != 0;
  }
  EXPECT_GT(centred, 100);
  EXPECT_TRUE(outer_marker);
}

TEST_F(FlightTest, NoFlightStaysParkedWithEnginesOff) {
  Install(false);
  const GeoPoint before = Geo();
  host().StepFrames(600);
  const GeoPoint after = Geo();
  EXPECT_EQ(after.latitude, before.latitude);
  EXPECT_EQ(after.longitude, before.longitude);
  EXPECT_EQ(host().GetFloat(kPos + "groundspeed"), 0.0f);
  EXPECT_EQ(host().GetIntElement("sim/flightmodel/engine/ENGN_running", 0), 0);
  EXPECT_EQ(host().GetFloat("sim/flightmodel/controls/parkbrake"), 1.0f);
}

// A relocation written the way the plugin writes it: local coordinates.
TEST_F(FlightTest, RelocationInLocalCoordinatesIsFlownFrom) {
  Install(true);
  host().StepFrames(3000, 0.1f);  // well into the circuit
  ASSERT_EQ(model_.phase(), Phase::kDeparture);
  const double speed = host().GetFloat(kPos + "groundspeed");
  double x, y, z;
  XPLMWorldToLocal(kFieldLatitude + 0.05, kFieldLongitude - 0.05, 1500.0, &x,
                   &y, &z);
  XPLMSetDatad(XPLMFindDataRef("sim/flightmodel/position/local_x"), x);
  XPLMSetDatad(XPLMFindDataRef("sim/flightmodel/position/local_y"), y);
  XPLMSetDatad(XPLMFindDataRef("sim/flightmodel/position/local_z"), z);
  host().StepFrame(0.1f);
  const FieldPoint target =
      ToField({kFieldLatitude + 0.05, kFieldLongitude - 0.05, 1500.0});
  EXPECT_LT(Distance(ToField(Geo()), target), speed * 0.1 + 1.0);
  EXPECT_NEAR(host().GetDouble(kPos + "local_x"),
              x + host().GetFloat(kPos + "local_vx") * 0.1, 1.0);
  EXPECT_EQ(model_.phase(), Phase::kDeparture);
}

TEST_F(FlightTest, RelocationOntoTheGroundEndsTheFlightThere) {
  Install(true);
  host().StepFrames(3000, 0.1f);
  ASSERT_FALSE(model_.state().on_ground);
  host().SetDouble(kPos + "elevation", kFieldElevation);
  host().StepFrame(0.1f);
  EXPECT_TRUE(model_.state().on_ground);
  EXPECT_NEAR(host().GetFloat(kPos + "y_agl"), 0.0, 1e-3);
  host().StepFrames(600, 0.1f);
  EXPECT_TRUE(model_.state().on_ground);
}

// A heading written through the quaternion (as the plugin's heading write
// does) turns the aircraft at once; the guidance takes it back gradually.
TEST_F(FlightTest, HeadingWrittenThroughQuaternionTurnsTheAircraft) {
  Install(true);
  host().StepFrames(3000, 0.1f);
  const double heading = WrapDegrees360(model_.state().heading + 90.0);
  const double h = heading * kRad / 2;
  float q[4] = {static_cast<float>(std::cos(h)), 0, 0,
                static_cast<float>(std::sin(h))};
  XPLMSetDatavf(XPLMFindDataRef("sim/flightmodel/position/q"), q, 0, 4);
  host().StepFrame(0.1f);
  double psi = host().GetFloat(kPos + "psi");
  EXPECT_LT(std::fabs(WrapDegrees180(psi - heading)), 0.5);
  host().StepFrame(0.1f);
  EXPECT_LT(std::fabs(WrapDegrees180(host().GetFloat(kPos + "psi") - psi)),
            0.5);
}

TEST_F(FlightTest, PsiSetDirectlyTurnsTheAircraft) {
  Install(false);
  host().SetFloat(kPos + "psi", 42.0f);
  host().StepFrame();
  EXPECT_FLOAT_EQ(host().GetFloat(kPos + "psi"), 42.0f);
  EXPECT_NEAR(model_.state().heading, 42.0, 1e-4);
}

TEST_F(FlightTest, ThrottleWriteIsFlownThenHandedBack) {
  Install(true);
  host().StepFrames(3000, 0.1f);
  const float scheduled =
      host().GetFloatElement("sim/cockpit2/engine/actuators/throttle_ratio", 0);
  float full = 1.0f;
  XPLMSetDatavf(XPLMFindDataRef("sim/cockpit2/engine/actuators/throttle_ratio"),
                &full, 0, 1);
  host().StepFrames(50, 0.1f);  // 5 s
  EXPECT_FLOAT_EQ(
      host().GetFloatElement("sim/cockpit2/engine/actuators/throttle_ratio", 1),
      1.0f);
  EXPECT_GT(host().GetFloatElement("sim/flightmodel/engine/ENGN_N1_", 0),
            95.0f);
  host().StepFrames(
      static_cast<int>(FlightModel::kManualThrottleSeconds * 10) + 10, 0.1f);
  EXPECT_LT(
      host().GetFloatElement("sim/cockpit2/engine/actuators/throttle_ratio", 0),
      std::max(scheduled, 0.9f) + 0.01f);
  EXPECT_LT(
      host().GetFloatElement("sim/cockpit2/engine/actuators/throttle_ratio", 0),
      1.0f);
}

TEST_F(FlightTest, FrequencyWriteRetunesTheReceiver) {
  Install(false);
  host().StepFrame();
  EXPECT_EQ(host().GetIntElement("sim/cockpit/radios/nav_type", 1), 3);
  host().SetInt("sim/cockpit/radios/nav2_freq_hz", kIlsFrequency);
  host().StepFrame();
  EXPECT_EQ(host().GetIntElement("sim/cockpit/radios/nav_type", 1), 4);
  host().SetInt("sim/cockpit/radios/nav2_freq_hz", 10800);  // nothing there
  host().StepFrame();
  EXPECT_EQ(host().GetIntElement("sim/cockpit/radios/nav_type", 1), 0);
  EXPECT_EQ(host().GetInt("sim/cockpit/radios/nav2_fromto"), 0);
  EXPECT_EQ(host().GetFloat("sim/cockpit/radios/nav2_dme_dist_m"), 0.0f);
}

TEST_F(FlightTest, PausedSimulatorHoldsTheAircraft) {
  Install(true);
  host().StepFrames(600, 0.1f);
  host().SetInt("sim/time/paused", 1);
  host().StepFrame(0.1f);
  const GeoPoint before = Geo();
  const double traffic =
      host().GetDouble("sim/multiplayer/position/plane1_lat");
  host().StepFrames(100, 0.1f);
  EXPECT_EQ(Geo().latitude, before.latitude);
  EXPECT_EQ(Geo().longitude, before.longitude);
  EXPECT_EQ(host().GetFloat(kPos + "P"), 0.0f);
  EXPECT_EQ(host().GetDouble("sim/multiplayer/position/plane1_lat"), traffic);
  host().SetInt("sim/time/paused", 0);
  host().StepFrame(0.1f);
  EXPECT_NE(Geo().latitude + Geo().longitude,
            before.latitude + before.longitude);
}

// The same start flies the same way, to the last bit.
TEST_F(FlightTest, SameStartFliesTheSameWay) {
  GeoPoint first[2];
  float psi[2];
  for (int run = 0; run < 2; ++run) {
    host().Reset();
    Install(true);
    host().StepFrames(4000, 1.0f / 20);
    first[run] = Geo();
    psi[run] = host().GetFloat(kPos + "psi");
    model_.Uninstall();
  }
  EXPECT_EQ(first[0].latitude, first[1].latitude);
  EXPECT_EQ(first[0].longitude, first[1].longitude);
  EXPECT_EQ(first[0].elevation, first[1].elevation);
  EXPECT_EQ(psi[0], psi[1]);
}

TEST_F(FlightTest, FieldNavaidsAreInTheHostDatabase) {
  Install(false);
  float lat = static_cast<float>(kFieldLatitude);
  float lon = static_cast<float>(kFieldLongitude);
  int freq = kIlsFrequency;
  XPLMNavRef ils = XPLMFindNavAid(nullptr, nullptr, &lat, &lon, &freq,
                                  xplm_Nav_VOR | xplm_Nav_ILS);
  ASSERT_NE(ils, XPLM_NAV_NOT_FOUND);
  char id[32] = {};
  XPLMNavType type = 0;
  XPLMGetNavAidInfo(ils, &type, nullptr, nullptr, nullptr, nullptr, nullptr, id,
                    nullptr, nullptr);
  EXPECT_EQ(type, xplm_Nav_ILS);
  EXPECT_STREQ(id, "ITRV");
  XPLMNavRef gs =
      XPLMFindNavAid(nullptr, "ITRV", &lat, &lon, &freq, xplm_Nav_GlideSlope);
  EXPECT_NE(gs, XPLM_NAV_NOT_FOUND);
  freq = kVorFrequency;
  EXPECT_NE(XPLMFindNavAid(nullptr, nullptr, &lat, &lon, &freq, xplm_Nav_VOR),
            XPLM_NAV_NOT_FOUND);
}

// Worked examples of the receiver model.
TEST(NavReceiverTest, NeedlesAroundTheField) {
  const double gs_up =
      kFieldElevation + std::tan(kGlideSlopeDegrees * kRad) *
                            (kThresholdEast + 10000 - (kThresholdEast - 300));
  struct Case {
    const char* what;
    int freq;
    float obs;
    FieldPoint at;
    int fromto;
    double hdef_min, hdef_max, vdef_min, vdef_max;
  };
  const Case cases[] = {
      {"ILS on centreline and path",
       kIlsFrequency,
       268,
       {kThresholdEast + 10000, 0, gs_up},
       1,
       -0.05,
       0.05,
       -0.05,
       0.05},
      {"ILS north of centreline: fly left",
       kIlsFrequency,
       268,
       {kThresholdEast + 10000, 150, gs_up},
       1,
       -2.5,
       -0.5,
       -0.2,
       0.2},
      {"ILS south of centreline: fly right",
       kIlsFrequency,
       268,
       {kThresholdEast + 10000, -150, gs_up},
       1,
       0.5,
       2.5,
       -0.2,
       0.2},
      {"ILS below the path: fly up",
       kIlsFrequency,
       268,
       {kThresholdEast + 10000, 0, gs_up - 100},
       1,
       -0.05,
       0.05,
       2.0,
       2.5},
      {"ILS behind the localizer: no signal",
       kIlsFrequency,
       268,
       {-5000, 0, 1000},
       0,
       0,
       0,
       0,
       0},
      {"VOR east of station, OBS 268: to, centred",
       kVorFrequency,
       268,
       {10000, 0, 1000},
       1,
       -0.05,
       0.05,
       0,
       0},
      {"VOR east of station, OBS 88: from, centred",
       kVorFrequency,
       88,
       {10000, 0, 1000},
       2,
       -0.05,
       0.05,
       0,
       0},
      {"VOR east of station, OBS 278: to, fly left",
       kVorFrequency,
       278,
       {10000, 0, 1000},
       1,
       -2.5,
       -2.4,
       0,
       0},
      {"Unknown frequency", 10800, 0, {0, 5000, 1000}, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    NavReading r = ReadNavReceiver(c.freq, c.obs, c.at);
    EXPECT_EQ(r.fromto, c.fromto) << c.what;
    EXPECT_GE(r.hdef_dots, c.hdef_min) << c.what;
    EXPECT_LE(r.hdef_dots, c.hdef_max) << c.what;
    EXPECT_GE(r.vdef_dots, c.vdef_min) << c.what;
    EXPECT_LE(r.vdef_dots, c.vdef_max) << c.what;
  }
}

TEST_F(FlightTest, TrafficCountChangesPlanesAndAircraftList) {
  Install(true, 2);
  host().StepFrame();
  EXPECT_EQ(host().GetAircraft().size(), 3u);
  EXPECT_NE(host().GetDouble("sim/multiplayer/position/plane2_lat"), 0.0);
  EXPECT_EQ(host().GetDouble("sim/multiplayer/position/plane3_lat"), 0.0);
  model_.traffic().SetCount(5);
  host().StepFrame();
  EXPECT_EQ(host().GetAircraft().size(), 6u);
  EXPECT_EQ(host().GetAircraft()[5].file_name, Traffic::ModelFileName(5));
  EXPECT_NE(host().GetDouble("sim/multiplayer/position/plane5_lat"), 0.0);
  model_.traffic().SetCount(1);
  host().StepFrame();
  EXPECT_EQ(host().GetAircraft().size(), 2u);
  EXPECT_EQ(host().GetDouble("sim/multiplayer/position/plane2_lat"), 0.0);
  EXPECT_EQ(host().GetFloat("sim/multiplayer/position/plane2_v_x"), 0.0f);
  // Beyond the 19th, aircraft exist in the list only; the count stops at 96.
  model_.traffic().SetCount(200);
  host().StepFrame();
  EXPECT_EQ(model_.traffic().count(), Traffic::kMaxAircraft);
  ASSERT_EQ(host().GetAircraft().size(), 97u);
  EXPECT_EQ(host().GetAircraft()[96].file_name, Traffic::ModelFileName(96));
  EXPECT_NE(host().GetDouble("sim/multiplayer/position/plane19_lat"), 0.0);
  EXPECT_NE(host().GetFloat("sim/multiplayer/position/plane19_phi"), 0.0f);
  EXPECT_FALSE(host().IsDefined("sim/multiplayer/position/plane20_lat"));
}

// A traffic plane moves along its heading at the speed its velocity says.
TEST_F(FlightTest, TrafficMotionIsConsistent) {
  Install(true, 3);
  host().StepFrame(0.5f);
  auto pos = [&] {
    return ToField({host().GetDouble("sim/multiplayer/position/plane3_lat"),
                    host().GetDouble("sim/multiplayer/position/plane3_lon"),
                    host().GetDouble("sim/multiplayer/position/plane3_el")});
  };
  FieldPoint a = pos();
  float vx = host().GetFloat("sim/multiplayer/position/plane3_v_x");
  float vz = host().GetFloat("sim/multiplayer/position/plane3_v_z");
  float psi = host().GetFloat("sim/multiplayer/position/plane3_psi");
  host().StepFrame(0.5f);
  FieldPoint b = pos();
  double moved = std::hypot(b.east - a.east, b.north - a.north);
  EXPECT_NEAR(moved, std::hypot(vx, vz) * 0.5, 0.5);
  double track =
      WrapDegrees360(std::atan2(b.east - a.east, b.north - a.north) / kRad);
  EXPECT_LT(std::fabs(WrapDegrees180(track - psi)), 2.0);
}

}  // namespace
}  // namespace simhost::flight

namespace simhost::flight {
namespace {

// The piston aircraft: magneto commands move the switch, a held starter
// button turns the starter (its duration counts), the engine runs after a
// start with a magneto on and stops with the magnetos off or the mixture
// cut; it burns fuel from both wing tanks.
class PistonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host().Reset();
    FlightModel::Options o;
    o.fly = true;  // the piston stays parked all the same
    o.traffic = 0;
    o.piston = true;
    model_.Install(o);
  }
  void TearDown() override { model_.Uninstall(); }
  Host& host() { return Host::Get(); }
  void Command(const std::string& name) {
    XPLMCommandOnce(XPLMFindCommand(name.c_str()));
  }
  int Running() {
    return host().GetIntElement("sim/flightmodel/engine/ENGN_running", 0);
  }
  float Fuel() {
    return host().GetFloatElement("sim/flightmodel/weight/m_fuel", 0) +
           host().GetFloatElement("sim/flightmodel/weight/m_fuel", 1);
  }
  float Duration() {
    return host().GetFloatElement("sim/cockpit/engine/starter_duration", 0);
  }
  FlightModel model_;
};

TEST_F(PistonTest, AircraftAsItsFileGivesIt) {
  EXPECT_EQ(host().GetIntElement("sim/aircraft/prop/acf_en_type", 0), 0);
  EXPECT_EQ(host().GetInt("sim/aircraft/engine/acf_num_engines"), 1);
  EXPECT_EQ(host().GetInt("sim/aircraft/overflow/acf_num_tanks"), 2);
  EXPECT_EQ(host().GetFloat("sim/aircraft/weight/acf_m_fuel_tot"), 150.0f);
  EXPECT_EQ(Fuel(), 150.0f);
  EXPECT_EQ(model_.phase(), Phase::kParked);
  EXPECT_EQ(Running(), 0);
}

TEST_F(PistonTest, MagnetoCommandsMoveTheSwitch) {
  const struct {
    const char* command;
    int position;
  } kRows[] = {{"sim/magnetos/magnetos_both_1", 3},
               {"sim/magnetos/magnetos_left_1", 2},
               {"sim/magnetos/magnetos_right_1", 1},
               {"sim/magnetos/magnetos_off_1", 0},
               {"sim/magnetos/magnetos_both_2", 0}};  // another engine's
  for (const auto& r : kRows) {
    Command(r.command);
    EXPECT_EQ(host().GetIntElement("sim/cockpit/engine/ignition_on", 0),
              r.position)
        << r.command;
  }
}

TEST_F(PistonTest, StartRunAndStop) {
  Command("sim/magnetos/magnetos_both_1");
  XPLMCommandButtonPress(2);
  host().StepFrames(5, 0.1f);
  EXPECT_NEAR(Duration(), 0.5f, 1e-4);
  EXPECT_EQ(Running(), 0) << "still cranking";
  host().StepFrames(15, 0.1f);
  EXPECT_EQ(Running(), 1);
  XPLMCommandButtonRelease(2);
  host().StepFrames(50, 0.1f);
  EXPECT_EQ(Duration(), 0.0f);
  EXPECT_EQ(Running(), 1) << "runs on after the starter";
  EXPECT_GT(host().GetFloatElement("sim/flightmodel/engine/POINT_tacrad", 0),
            600 * 3.14159f / 30);
  const float fuel = Fuel();
  host().StepFrames(100, 0.1f);
  EXPECT_LT(Fuel(), fuel) << "it burns fuel";
  Command("sim/magnetos/magnetos_off_1");
  host().StepFrame(0.1f);
  EXPECT_EQ(Running(), 0);
}

TEST_F(PistonTest, NoStartWithoutMagnetosOrMixture) {
  for (bool magnetos : {false, true}) {
    SCOPED_TRACE(magnetos);
    if (magnetos) {
      Command("sim/magnetos/magnetos_left_1");
      host().SetFloatElement("sim/flightmodel/engine/ENGN_mixt", 0, 0.0f);
    }
    XPLMCommandButtonPress(2);
    host().StepFrames(50, 0.1f);
    EXPECT_GT(Duration(), 4.0f);
    EXPECT_EQ(Running(), 0);
    XPLMCommandButtonRelease(2);
    host().StepFrame(0.1f);
  }
}

}  // namespace
}  // namespace simhost::flight
