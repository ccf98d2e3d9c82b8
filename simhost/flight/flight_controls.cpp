// The controls of the stand-in's aircraft that answer a client: the flap
// request moves the flaps over a few seconds, the gear buttons raise and
// lower the gear, the spoiler request drives the spoilers, and the joystick
// and throttle overrides take the yoke and the throttles away from the
// scripted circuit while they are set (and give them back when cleared,
// which is how the plugin's watchdog shows).
#include <algorithm>
#include <string>

#include "simhost/flight/flight_model.h"
#include "simhost/host/host.h"

namespace simhost {

namespace flight {
namespace {

const std::string kControls = "sim/flightmodel/controls/";
const std::string kOverride = "sim/operation/override/";
constexpr char kGearHandle[] = "sim/cockpit/switches/gear_handle_status";
// Full flap travel takes four seconds.
constexpr double kFlapTravelPerSecond = 0.25;
// Full yoke: 30 degrees of bank, 10 m/s of climb or descent.
constexpr double kFullYokeBank = 30.0;
constexpr double kFullYokeClimb = 10.0;

bool Overridden(const char* what) {
  return Host::Get().GetInt(kOverride + what) != 0;
}

double Toward(double value, double target, double max_step) {
  return value + std::clamp(target - value, -max_step, max_step);
}

}  // namespace

void FlightModel::FollowControlRequests() {
  Host& host = Host::Get();
  if (refs_.FloatChanged(kControls + "flaprqst")) {
    client_flaps_ = true;
    client_flap_request_ =
        std::clamp<double>(host.GetFloat(kControls + "flaprqst"), 0.0, 1.0);
  }
  if (refs_.IntChanged(kGearHandle)) {
    client_gear_ = true;
    client_gear_down_ = host.GetInt(kGearHandle) != 0;
    gear_ = client_gear_down_ ? 1 : 0;
  }
  if (refs_.FloatChanged(kControls + "sbrkrqst")) {
    speedbrake_ =
        std::clamp<double>(host.GetFloat(kControls + "sbrkrqst"), -0.5, 1.0);
  }
  // Overridden throttles fly what the client set in ENGN_thro_use; when
  // the override goes, the circuit's own throttle comes back at once.
  if (Overridden("override_throttles")) {
    throttles_overridden_ = true;
    manual_throttle_ = std::clamp<double>(
        host.GetFloatElement("sim/flightmodel/engine/ENGN_thro_use", 0), 0.0,
        1.0);
    manual_throttle_left_ = kManualThrottleSeconds;
  } else if (throttles_overridden_) {
    throttles_overridden_ = false;
    manual_throttle_ = -1;
    manual_throttle_left_ = 0;
  }
}

void FlightModel::HoldClientControls() {
  // The circuit's schedule moved them during the step; the client's
  // settings stand.
  if (client_flaps_) flaps_ = client_flap_request_;
  if (client_gear_) gear_ = client_gear_down_ ? 1 : 0;
}

void FlightModel::MoveFlaps(double dt) {
  flap_deploy_ = Toward(flap_deploy_, flaps_, kFlapTravelPerSecond * dt);
}

double FlightModel::YokeBank(double bank) const {
  if (!Overridden("override_joystick_roll")) return bank;
  return Host::Get().GetFloat("sim/joystick/yoke_roll_ratio") * kFullYokeBank;
}

double FlightModel::YokeClimb(double climb) const {
  if (!Overridden("override_joystick_pitch")) return climb;
  return Host::Get().GetFloat("sim/joystick/yolk_pitch_ratio") * kFullYokeClimb;
}

}  // namespace flight
}  // namespace simhost
