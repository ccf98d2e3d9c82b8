// The scripted flight: a twin jet that lines up on runway 27, takes off,
// climbs, flies a wide circuit, comes back on the ILS, lands, backtracks
// and starts again, for as long as the host runs. It drives the datarefs
// the plugin publishes (position, attitude, speeds, engines, fuel, radios,
// autopilot, weather) once per frame; the host keeps the clock, through the
// host's frame hook.
//
// The motion is kinematic, not aerodynamic: heading follows the ground
// track, vertical speed follows the altitude change and every rate is the
// derivative of the angle it belongs to, so a client sees one consistent
// aircraft. It is a pure function of virtual time and of the writes it
// receives, so a given start always flies the same way.
//
// Writes from outside (the plugin or the control channel) are picked up at
// the start of the next frame: new local_x/y/z or latitude/longitude/
// elevation relocate the aircraft, a new q or psi turns it, a new throttle
// is flown for a while, a new velocity sets its speed. Radio, weather and
// autopilot settings are left as written.
//
// Threads: main thread only (the frame hook runs there).
#ifndef TARVOS_SIMHOST_FLIGHT_MODEL_H_
#define TARVOS_SIMHOST_FLIGHT_MODEL_H_

#include <string>

#include "simhost/flight/flight_datarefs.h"
#include "simhost/flight/flight_field.h"
#include "simhost/flight/flight_traffic.h"

namespace simhost::flight {

enum class Phase {
  kParked,       // engines off on the apron (no flight)
  kLineUp,       // holding on the threshold, engines spooling up
  kTakeoffRoll,  // accelerating, rotating, lifting off
  kDeparture,    // climb, crosswind, downwind, base: flying the circuit
  kApproach,     // localizer and glide slope down to the flare
  kLanding,      // flare, touchdown, rollout
  kBacktrack,    // taxi back along the runway to the threshold
};
const char* PhaseName(Phase phase);

struct AircraftState {
  FieldPoint position;
  double heading = kRunwayHeading;  // degrees true; also the ground track
  double pitch = 0, roll = 0;       // degrees
  double speed = 0;                 // ground speed, m/s
  double vertical_speed = 0;        // m/s, up positive
  double turn_rate = 0;             // degrees per second, right positive
  double acceleration = 0;          // along the track, m/s²
  bool on_ground = true;
};

class FlightModel {
 public:
  struct Options {
    bool fly = true;  // false: parked and still (--no-flight)
    int traffic = 3;  // AI planes at start
    // A single piston engine with magnetos instead of the twin jet; it
    // stays parked (the circuit is the jet's).
    bool piston = false;
  };

  // How long a throttle set from outside is flown before the flight's own
  // schedule takes over again, in simulated seconds.
  static constexpr double kManualThrottleSeconds = 30.0;

  FlightModel() = default;
  FlightModel(const FlightModel&) = delete;
  FlightModel& operator=(const FlightModel&) = delete;
  ~FlightModel();

  // Defines the datarefs and navaids, places the aircraft and hooks the
  // host's frames. Call before the plugin starts, from the main thread.
  void Install(const Options& options);
  // Unhooks the frames; the datarefs keep their last values.
  void Uninstall();

  // Starts the flight again from the threshold (or the parking spot when
  // not flying); used after a crash.
  void Restart();

  // Switches between flying the circuit and standing still where it is.
  void SetFlying(bool fly);
  bool flying() const { return fly_; }

  Traffic& traffic() { return traffic_; }
  const AircraftState& state() const { return state_; }
  Phase phase() const { return phase_; }
  // Name of the leg being flown ("climb", "downwind", "final" ...).
  std::string LegName() const;

  // One frame: pick up outside writes, advance by dt seconds of simulated
  // time (unless paused), write every dataref. The host's frame hook calls
  // it; tests may call it directly.
  void Step(double now, float dt);

 private:
  void PlaceForPhase(Phase phase);
  void FollowOutsideWrites();
  void FollowAutopilot();
  void Advance(double dt);
  void AdvanceGround(double dt);
  void AdvanceAir(double dt);
  void SteerTo(double desired_track, double dt);
  void ControlVertical(double target_vs, double dt);
  void ControlSpeed(double target_speed, double dt);
  void AfterRelocation();
  void UpdateSystems(double dt);
  void UpdateStarters(double dt);
  void UpdatePiston(double dt);
  void Refuel();
  void Publish(double dt);
  void PublishPosition(double dt);
  void PublishEngines();
  void PublishPiston();
  void PublishControls();
  void PublishRadios();
  void PublishAutopilot();
  void PublishWeather();
  double Height() const { return state_.position.up - kFieldElevation; }

  bool installed_ = false;
  bool fly_ = true;
  Phase phase_ = Phase::kLineUp;
  AircraftState state_;
  int waypoint_ = 0;       // next waypoint of the circuit
  double phase_time_ = 0;  // seconds spent in the current phase
  bool glide_slope_captured_ = false;
  // A client (through the plugin) took the autopilot: it changed the state
  // word the flight publishes. While it holds heading, altitude or vertical
  // speed, the flight flies what the autopilot selects and stops publishing
  // its own modes and selections; when it releases them all, the flight
  // returns to its circuit.
  bool client_autopilot_ = false;
  bool client_heading_ = false;
  bool client_altitude_ = false;
  bool client_vertical_speed_ = false;
  bool taxiing_east_ = false;  // backtrack: still on the way to turn round

  // Systems.
  double throttle_ = 0;               // what the flight commands, 0..1
  double manual_throttle_ = -1;       // written from outside, or -1
  double manual_throttle_left_ = 0;   // seconds it is still flown
  double n1_ = 0, n2_ = 0, egt_ = 0;  // engine spool state (%, %, °C)
  double fuel_[kTankCount] = {1800, 900, 1800};  // kg
  // Seconds each engine's starter button has been held (0 when released).
  double starter_seconds_[kEngineCount] = {0, 0};
  // The piston aircraft's engine.
  bool piston_ = false;
  bool piston_running_ = false;
  double rpm_ = 0, piston_flow_ = 0, piston_egt_ = 15;
  double flaps_ = 0;        // flap handle, 0..1
  int gear_ = 1;            // gear handle, 1 down
  double gear_deploy_ = 1;  // gear position, 0..1
  double speedbrake_ = 0;   // handle, 0..1, -0.5 armed

  // Controls a client moved through the plugin (flight_controls.cpp): the
  // flap request and the gear lever, once moved, stay where the client put
  // them; the flaps follow their handle over a few seconds; the overrides
  // take the yoke and the throttles from the circuit while they are set.
  void FollowControlRequests();
  void HoldClientControls();
  void MoveFlaps(double dt);
  double YokeBank(double bank) const;
  double YokeClimb(double climb) const;
  bool client_flaps_ = false;
  bool client_gear_ = false;
  bool client_gear_down_ = true;
  double client_flap_request_ = 0;
  bool throttles_overridden_ = false;
  double flap_deploy_ = 0;  // flaps as they are, 0..1

  // What the guidance asks for, shown as autopilot selections and flight
  // director commands.
  double target_track_ = kRunwayHeading, target_up_ = kFieldElevation;
  double target_speed_ = 0, target_vs_ = 0, target_pitch_ = 0, target_roll_ = 0;

  // Previous frame's values, for rates and accelerations.
  double last_roll_ = 0, last_pitch_ = 0, last_p_ = 0, last_q_ = 0, last_r_ = 0,
         last_vs_ = 0;
  LocalPoint last_velocity_;
  bool have_last_ = false;

  OwnedDatarefs refs_;
  Traffic traffic_;
};

}  // namespace simhost::flight

#endif  // TARVOS_SIMHOST_FLIGHT_MODEL_H_
