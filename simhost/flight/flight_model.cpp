#include "simhost/flight/flight_model.h"

#include <algorithm>
#include <cmath>

#include "simhost/host/host.h"

namespace simhost::flight {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr double kGravity = 9.80665;

// The circuit after take-off from runway 27: metres east and north of the
// field, height above the field, target ground speed. The last leg ends
// south-east of the field, from where the approach intercepts the
// localizer at about 45 degrees.
struct Waypoint {
  double east, north, height, speed;
  const char* leg;  // name of the leg that ends here
};
constexpr Waypoint kCircuit[] = {
    {-7000, 0, 600, 80, "climb"},        {-10000, 6000, 900, 95, "crosswind"},
    {14000, 7000, 900, 100, "downwind"}, {22000, 7000, 900, 90, "downwind"},
    {26000, 2500, 900, 80, "base"},
};
constexpr int kCircuitLength = sizeof(kCircuit) / sizeof(kCircuit[0]);
// A waypoint counts as passed this close (metres).
constexpr double kWaypointRadius = 900.0;

constexpr double kRotateSpeed = 58.0;   // m/s
constexpr double kLiftOffSpeed = 65.0;  // m/s
constexpr double kFlareHeight = 15.0;   // metres above the runway
constexpr double kTaxiSpeed = 15.0;     // m/s
constexpr double kLineUpHold = 15.0;    // seconds on the threshold
// Where the backtrack turns round, a little inside the threshold.
constexpr double kTurnRoundEast = kThresholdEast - 150.0;
// The parking spot of a flight that does not fly.
constexpr FieldPoint kParking{kThresholdEast - 200.0, 250.0, kFieldElevation};
constexpr double kParkingHeading = 180.0;
constexpr double kGlideSlopeAntennaEast = kThresholdEast - 300.0;

double Approach(double value, double target, double max_step) {
  if (value < target) return std::min(value + max_step, target);
  return std::max(value - max_step, target);
}

double Clamp(double v, double lo, double hi) { return std::clamp(v, lo, hi); }

// Altitude of the glide path above the point `east` on the centreline.
double GlidePathUp(double east) {
  return kFieldElevation +
         std::tan(kGlideSlopeDegrees * kRad) * (east - kGlideSlopeAntennaEast);
}

}  // namespace

const char* PhaseName(Phase phase) {
  switch (phase) {
    case Phase::kParked:
      return "parked";
    case Phase::kLineUp:
      return "line-up";
    case Phase::kTakeoffRoll:
      return "take-off";
    case Phase::kDeparture:
      return "circuit";
    case Phase::kApproach:
      return "approach";
    case Phase::kLanding:
      return "landing";
    case Phase::kBacktrack:
      return "backtrack";
  }
  return "?";
}

FlightModel::~FlightModel() { Uninstall(); }

std::string FlightModel::LegName() const {
  switch (phase_) {
    case Phase::kDeparture:
      return kCircuit[std::min(waypoint_, kCircuitLength - 1)].leg;
    case Phase::kApproach:
      return glide_slope_captured_ ? "final" : "intercept";
    case Phase::kLanding:
      return state_.on_ground ? "rollout" : "flare";
    default:
      return PhaseName(phase_);
  }
}

void FlightModel::Install(const Options& options) {
  // Local coordinates centred on the field keep them small and precise.
  Host::Get().SetLocalReference(kFieldLatitude, kFieldLongitude);
  DefineFlightDatarefs();
  InstallNavaids();
  traffic_.Install(options.traffic);
  piston_ = options.piston;
  if (piston_) DefinePistonDatarefs();
  fly_ = options.fly && !piston_;
  PlaceForPhase(fly_ ? Phase::kLineUp : Phase::kParked);
  Publish(0.0);
  Host::Get().SetFrameHook([this](double now, float dt) { Step(now, dt); });
  installed_ = true;
}

void FlightModel::Uninstall() {
  if (!installed_) return;
  Host::Get().SetFrameHook(nullptr);
  installed_ = false;
}

void FlightModel::Restart() {
  PlaceForPhase(fly_ ? Phase::kLineUp : Phase::kParked);
  Publish(0.0);
}

void FlightModel::SetFlying(bool fly) {
  if (fly == fly_ || piston_) return;
  fly_ = fly;
  if (!fly_) {
    // Stand still where it is, in the air or on the ground.
    state_.speed = state_.vertical_speed = state_.turn_rate = 0;
    state_.acceleration = 0;
  } else if (phase_ == Phase::kParked || state_.on_ground) {
    PlaceForPhase(Phase::kLineUp);
  }
}

void FlightModel::PlaceForPhase(Phase phase) {
  state_ = AircraftState{};
  phase_ = phase;
  phase_time_ = 0;
  waypoint_ = 0;
  glide_slope_captured_ = false;
  manual_throttle_ = -1;
  manual_throttle_left_ = 0;
  Refuel();
  have_last_ = false;
  if (phase == Phase::kParked) {
    state_.position = kParking;
    state_.heading = kParkingHeading;
    throttle_ = n1_ = n2_ = 0;
    egt_ = 15;
    flaps_ = 0;
  } else {
    state_.position = {kThresholdEast, 0, kFieldElevation};
    state_.heading = kRunwayHeading;
    throttle_ = 0.25;
    n1_ = 22, n2_ = 60, egt_ = 420;
    flaps_ = 0.25;
  }
  gear_ = 1;
  gear_deploy_ = 1;
  speedbrake_ = 0;
  flap_deploy_ = flaps_;
  client_flaps_ = client_gear_ = false;
  target_track_ = state_.heading;
  target_up_ = kFieldElevation;
  target_speed_ = target_vs_ = target_pitch_ = target_roll_ = 0;
  refs_.Clear();
}

void FlightModel::Step(double /*now*/, float dt) {
  Host& host = Host::Get();
  FollowOutsideWrites();
  FollowControlRequests();
  FollowAutopilot();
  double sim_dt = dt;
  if (host.GetInt("sim/time/paused") != 0) {
    sim_dt = 0;
  } else {
    sim_dt *= Clamp(host.GetInt("sim/time/sim_speed"), 1, 16);
  }
  if (sim_dt > 0) {
    if (fly_) Advance(sim_dt);
    HoldClientControls();
    MoveFlaps(sim_dt);
    UpdateSystems(sim_dt);
    traffic_.Advance(sim_dt);
  }
  Publish(sim_dt);
}

void FlightModel::Advance(double dt) {
  phase_time_ += dt;
  if (state_.on_ground) {
    AdvanceGround(dt);
  } else {
    AdvanceAir(dt);
  }
  AircraftState& s = state_;
  double track = s.heading * kRad;
  s.position.east += s.speed * std::sin(track) * dt;
  s.position.north += s.speed * std::cos(track) * dt;
  s.position.up += s.vertical_speed * dt;
  if (!s.on_ground &&
      (Height() < 0 || (Height() <= 0 && s.vertical_speed < 0))) {
    // Touchdown (or a relocation into the ground): stop the descent.
    s.position.up = kFieldElevation;
    s.vertical_speed = 0;
    s.on_ground = true;
    speedbrake_ = 1.0;
    phase_ = Phase::kLanding;
  }
}

void FlightModel::AdvanceGround(double dt) {
  AircraftState& s = state_;
  s.roll = Approach(s.roll, 0, 5 * dt);
  s.vertical_speed = 0;
  double centreline_west =
      kRunwayHeading - Clamp(s.position.north / 10.0, -10, 10);
  switch (phase_) {
    case Phase::kParked:
      ControlSpeed(0, dt);
      break;
    case Phase::kLineUp:
      SteerTo(kRunwayHeading, dt);
      ControlSpeed(0, dt);
      throttle_ = 0.3;
      flaps_ = Approach(flaps_, 0.25, 0.1 * dt);
      if (phase_time_ >= kLineUpHold && s.speed < 0.5) {
        // Fuelled again on the threshold, so the loop can run for ever.
        Refuel();
        phase_ = Phase::kTakeoffRoll;
        phase_time_ = 0;
      }
      break;
    case Phase::kTakeoffRoll: {
      SteerTo(centreline_west, dt);
      throttle_ = 1.0;
      // Thrust builds with the spool-up of the engines.
      double thrust = Clamp((n1_ - 20.0) / 78.0, 0, 1);
      s.acceleration = Approach(s.acceleration, 2.4 * thrust, 1.0 * dt);
      s.speed += s.acceleration * dt;
      if (s.speed >= kRotateSpeed) s.pitch = Approach(s.pitch, 8, 3 * dt);
      if (s.speed >= kLiftOffSpeed) {
        s.on_ground = false;
        phase_ = Phase::kDeparture;
        phase_time_ = 0;
        waypoint_ = 0;
      }
      return;
    }
    case Phase::kLanding:
    case Phase::kApproach:
    case Phase::kDeparture:
      // Rollout.
      phase_ = Phase::kLanding;
      SteerTo(centreline_west, dt);
      throttle_ = 0;
      s.acceleration = Approach(s.acceleration, -2.2, 1.5 * dt);
      s.speed = std::max(0.0, s.speed + s.acceleration * dt);
      if (s.speed < 12.0) {
        phase_ = Phase::kBacktrack;
        taxiing_east_ = true;
        phase_time_ = 0;
        speedbrake_ = 0;
      }
      break;
    case Phase::kBacktrack: {
      double desired;
      if (s.position.east >= kTurnRoundEast) taxiing_east_ = false;
      if (taxiing_east_) {
        // Eastbound along the centreline.
        desired = 90.0 + Clamp(s.position.north / 10.0, -30, 30);
      } else {
        desired = kRunwayHeading;  // turn round on the threshold
      }
      double error = std::fabs(WrapDegrees180(desired - s.heading));
      ControlSpeed(error > 20.0 ? 5.0 : kTaxiSpeed, dt);
      SteerTo(desired, dt);
      throttle_ = 0.12 + 0.2 * std::max(0.0, s.acceleration);
      flaps_ = Approach(flaps_, 0.25, 0.1 * dt);
      if (!taxiing_east_ &&
          std::fabs(WrapDegrees180(s.heading - kRunwayHeading)) < 3.0) {
        phase_ = Phase::kLineUp;
        phase_time_ = 0;
      }
      break;
    }
  }
  s.pitch = Approach(s.pitch, 0, 2 * dt);
}

void FlightModel::AdvanceAir(double dt) {
  AircraftState& s = state_;
  const double up = s.position.up;
  double target_vs = 0, target_speed = s.speed;
  if (phase_ == Phase::kTakeoffRoll || phase_ == Phase::kLineUp ||
      phase_ == Phase::kBacktrack || phase_ == Phase::kParked) {
    // Put into the air from a ground phase (a relocation): join the
    // circuit on the downwind leg.
    phase_ = Phase::kDeparture;
    waypoint_ = 2;
    s.speed = std::max(s.speed, 75.0);
  }
  if (phase_ == Phase::kDeparture) {
    const Waypoint& wp = kCircuit[waypoint_];
    double de = wp.east - s.position.east, dn = wp.north - s.position.north;
    if (std::hypot(de, dn) < kWaypointRadius) {
      if (++waypoint_ >= kCircuitLength) {
        phase_ = Phase::kApproach;
        phase_time_ = 0;
        glide_slope_captured_ = false;
      }
    } else {
      SteerTo(std::atan2(de, dn) / kRad, dt);
      target_vs = Clamp((kFieldElevation + wp.height - up) * 0.08, -7, 9);
      target_speed = wp.speed;
      if (Height() > 300) flaps_ = Approach(flaps_, 0, 0.05 * dt);
      if (Height() > 60 && s.vertical_speed > 0) gear_ = 0;
    }
  }
  if (phase_ == Phase::kApproach) {
    // Localizer: intercept at up to 45 degrees, then track the centreline.
    double north = s.position.north;
    SteerTo(kRunwayHeading - Clamp(north / 40.0, -45, 45), dt);
    double path = GlidePathUp(s.position.east);
    if (!glide_slope_captured_ && std::fabs(north) < 300 && up >= path - 10) {
      glide_slope_captured_ = true;
    }
    if (glide_slope_captured_) {
      target_vs = -s.speed * std::tan(kGlideSlopeDegrees * kRad) +
                  Clamp((path - up) * 0.2, -3, 3);
      target_speed = Height() < 300 ? 65 : 70;
      flaps_ = Approach(flaps_, Height() < 450 ? 1.0 : 0.5, 0.05 * dt);
      gear_ = 1;
      speedbrake_ = -0.5;  // armed
    } else {
      target_vs = Clamp((kFieldElevation + 900 - up) * 0.08, -7, 9);
      target_speed = 75;
      flaps_ = Approach(flaps_, 0.5, 0.05 * dt);
    }
    if (Height() < kFlareHeight) {
      phase_ = Phase::kLanding;
      phase_time_ = 0;
    }
  }
  if (phase_ == Phase::kLanding) {
    SteerTo(kRunwayHeading - Clamp(s.position.north / 20.0, -10, 10), dt);
    target_vs = -(0.6 + Height() * 0.15);
    target_speed = s.speed - 1.0;
  }
  target_vs_ = target_vs;
  target_speed_ = target_speed;
  target_up_ =
      phase_ == Phase::kDeparture
          ? kFieldElevation +
                kCircuit[std::min(waypoint_, kCircuitLength - 1)].height
          : kFieldElevation + (glide_slope_captured_ ? 0 : 900);
  // A client's autopilot holds its selected altitude or vertical speed.
  const std::string ap = "sim/cockpit/autopilot/";
  constexpr double kFeetPerMetre = 3.280840;
  if (client_altitude_) {
    double selected = Host::Get().GetFloat(ap + "altitude") / kFeetPerMetre;
    target_vs = Clamp((selected - up) * 0.08, -7, 9);
  } else if (client_vertical_speed_) {
    target_vs = Clamp(
        Host::Get().GetFloat(ap + "vertical_velocity") / kFeetPerMetre / 60.0,
        -15, 15);
  }
  ControlVertical(target_vs, dt);
  ControlSpeed(target_speed, dt);
  // Pitch: flight path plus an angle of attack that grows as speed drops.
  double alpha = Clamp(8.0 - (s.speed - 55.0) * 0.12, 2, 8);
  double target_pitch = std::atan2(s.vertical_speed, s.speed) / kRad + alpha;
  target_pitch_ = target_pitch;
  s.pitch = Approach(s.pitch, target_pitch, 3 * dt);
  // Throttle follows what the speed and climb need.
  throttle_ =
      phase_ == Phase::kLanding
          ? 0.05
          : Clamp(0.45 + 0.25 * s.acceleration + 0.04 * s.vertical_speed, 0.05,
                  1.0);
}

void FlightModel::SteerTo(double desired_track, double dt) {
  AircraftState& s = state_;
  if (client_heading_ && !s.on_ground) {
    // A client's heading hold: the selected (magnetic) heading.
    desired_track = Host::Get().GetFloat("sim/cockpit/autopilot/heading_mag") +
                    kMagneticVariation;
  }
  double error = WrapDegrees180(desired_track - s.heading);
  target_track_ = WrapDegrees360(desired_track);
  target_roll_ = 0;
  if (s.on_ground) {
    double limit = s.speed < 0.5 ? 0.0 : (s.speed < 20.0 ? 10.0 : 2.0);
    double target = Clamp(error * 1.0, -limit, limit);
    s.turn_rate = Approach(s.turn_rate, target, 20 * dt);
  } else {
    // A coordinated turn: the bank gives the turn rate.
    double rate = Clamp(error * 0.35, -3, 3);
    double speed = std::max(s.speed, 30.0);
    double bank = YokeBank(std::atan(speed * rate * kRad / kGravity) / kRad);
    target_roll_ = bank;
    s.roll = Approach(s.roll, bank, 5 * dt);
    s.turn_rate = kGravity * std::tan(s.roll * kRad) / speed / kRad;
  }
  s.heading = WrapDegrees360(s.heading + s.turn_rate * dt);
}

void FlightModel::ControlVertical(double target_vs, double dt) {
  state_.vertical_speed =
      Approach(state_.vertical_speed, YokeClimb(target_vs), 1.0 * dt);
}

void FlightModel::ControlSpeed(double target_speed, double dt) {
  AircraftState& s = state_;
  double wanted = Clamp((target_speed - s.speed) * 0.25, -1.2, 1.2);
  if (manual_throttle_ >= 0) {
    // A throttle set from outside pushes the speed away from the schedule.
    wanted += (manual_throttle_ - throttle_) * 1.5;
  }
  s.acceleration = Approach(s.acceleration, wanted, 0.5 * dt);
  s.speed += s.acceleration * dt;
  if (!s.on_ground) {
    s.speed = Clamp(s.speed, 50.0, 140.0);
  } else {
    s.speed = std::max(0.0, s.speed);
  }
}

}  // namespace simhost::flight
