// The stand-in aircraft's controls answering a client (as the plugin's
// writes reach them): flaps following their request over a few seconds,
// the gear buttons, the spoiler request, and the overrides that take the
// yoke and throttles from the circuit and give them back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "XPLMUtilities.h"
#include "simhost/flight/flight_model.h"
#include "simhost/host/host.h"

namespace simhost::flight {
namespace {

const std::string kControls = "sim/flightmodel/controls/";
const std::string kOverride = "sim/operation/override/";
const std::string kGearHandle = "sim/cockpit/switches/gear_handle_status";

class FlightControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host().Reset();
    FlightModel::Options o;
    o.traffic = 0;
    model_.Install(o);
    host().StepFrame(0.1f);
  }
  void TearDown() override { model_.Uninstall(); }
  Host& host() { return Host::Get(); }
  void Seconds(double s) { host().StepFrames(static_cast<int>(s * 10), 0.1f); }
  float Flaps() {
    return host().GetFloat("sim/cockpit2/controls/flap_handle_deploy_ratio");
  }

  FlightModel model_;
};

TEST_F(FlightControlsTest, FlapsFollowTheRequestOverAFewSeconds) {
  XPLMSetDataf(XPLMFindDataRef((kControls + "flaprqst").c_str()), 1.0f);
  const float start = Flaps();
  Seconds(1);
  EXPECT_GT(Flaps(), start);
  EXPECT_LT(Flaps(), 1.0f);  // still moving
  Seconds(5);
  EXPECT_FLOAT_EQ(Flaps(), 1.0f);
  EXPECT_FLOAT_EQ(host().GetFloat(kControls + "wing1l_fla1def"), 30.0f);
  Seconds(20);  // the circuit's own schedule does not take them back
  EXPECT_FLOAT_EQ(host().GetFloat(kControls + "flaprqst"), 1.0f);
}

TEST_F(FlightControlsTest, GearButtonsRaiseAndLowerTheGear) {
  const struct {
    int button;
    int handle;
    float deployed;
  } kRows[] = {{52, 0, 0.0f}, {53, 1, 1.0f}, {51, 1, 1.0f}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.button);
    XPLMCommandButtonPress(r.button);
    XPLMCommandButtonRelease(r.button);
    Seconds(10);
    EXPECT_EQ(host().GetInt(kGearHandle), r.handle);
    EXPECT_FLOAT_EQ(
        host().GetFloatElement("sim/aircraft/parts/acf_gear_deploy", 0),
        r.deployed);
  }
}

TEST_F(FlightControlsTest, SpoilerRequestDrivesTheRatio) {
  const struct {
    float request, ratio;
  } kRows[] = {{0.5f, 0.5f}, {-0.5f, 0.0f}, {1.0f, 1.0f}, {0.0f, 0.0f}};
  XPLMDataRef request = XPLMFindDataRef((kControls + "sbrkrqst").c_str());
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.request);
    XPLMSetDataf(request, r.request);
    Seconds(0.2);
    EXPECT_FLOAT_EQ(host().GetFloat(kControls + "sbrkrat"), r.ratio);
  }
}

TEST_F(FlightControlsTest, OverriddenThrottlesFlyTheClientsValueUntilCleared) {
  const std::string thro_use = "sim/flightmodel/engine/ENGN_thro_use";
  Seconds(2);
  const float circuit = host().GetFloatElement(thro_use, 0);
  XPLMSetDatai(XPLMFindDataRef((kOverride + "override_throttles").c_str()), 1);
  float mine = circuit > 0.5f ? 0.1f : 0.9f;
  XPLMSetDatavf(XPLMFindDataRef(thro_use.c_str()), &mine, 0, 1);
  Seconds(40);  // longer than a plain outside throttle is kept
  EXPECT_FLOAT_EQ(host().GetFloatElement(thro_use, 0), mine);
  XPLMSetDatai(XPLMFindDataRef((kOverride + "override_throttles").c_str()), 0);
  Seconds(1);
  EXPECT_GT(std::fabs(host().GetFloatElement(thro_use, 0) - mine), 0.05f);
}

TEST_F(FlightControlsTest, OverriddenYokeBanksAndClimbsInTheAir) {
  // Airborne on the circuit.
  for (int i = 0;
       i < 3000 && host().GetFloat("sim/flightmodel/position/y_agl") < 200;
       ++i) {
    host().StepFrame(0.1f);
  }
  ASSERT_GT(host().GetFloat("sim/flightmodel/position/y_agl"), 200);
  XPLMSetDatai(XPLMFindDataRef((kOverride + "override_joystick_roll").c_str()),
               1);
  XPLMSetDatai(XPLMFindDataRef((kOverride + "override_joystick_pitch").c_str()),
               1);
  XPLMSetDataf(XPLMFindDataRef("sim/joystick/yoke_roll_ratio"), -0.5f);
  XPLMSetDataf(XPLMFindDataRef("sim/joystick/yolk_pitch_ratio"), 0.5f);
  Seconds(15);
  EXPECT_NEAR(host().GetFloat("sim/flightmodel/position/phi"), -15.0f, 1.0f);
  EXPECT_NEAR(host().GetFloat("sim/flightmodel/position/vh_ind"), 5.0f, 0.5f);
}

}  // namespace
}  // namespace simhost::flight
