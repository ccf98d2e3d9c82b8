// The flight's side of the datarefs: picking up outside writes at the start
// of a frame and publishing the aircraft at its end.
#include <algorithm>
#include <cmath>
#include <string>

#include "simhost/flight/flight_model.h"
#include "simhost/host/host.h"

namespace simhost::flight {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr double kGravity = 9.80665;
constexpr double kKnotsPerMs = 1.943844;
constexpr double kFeetPerMetre = 3.280840;

const std::string kPos = "sim/flightmodel/position/";
const std::string kEng = "sim/flightmodel/engine/";
const std::string kRadios = "sim/cockpit/radios/";
const std::string kAp = "sim/cockpit/autopilot/";
const std::string kWx = "sim/weather/";
// Every place a throttle can be written from outside.
const char* const kThrottleRefs[] = {
    "sim/cockpit2/engine/actuators/throttle_ratio",
    "sim/flightmodel/engine/ENGN_thro_use",
    "sim/flightmodel/engine/ENGN_thro",
};

double Approach(double value, double target, double max_step) {
  if (value < target) return std::min(value + max_step, target);
  return std::max(value - max_step, target);
}

// First-order lag towards `target` with time constant `tau` seconds.
double Lag(double value, double target, double tau, double dt) {
  return value + (target - value) * std::min(1.0, dt / tau);
}

// Engine temperatures in the unit the aircraft keeps them in (its
// Celsius flags), from Celsius.
double InAircraftUnit(const char* celsius_flag, double celsius) {
  if (Host::Get().GetInt(celsius_flag) != 0) return celsius;
  return celsius * 9.0 / 5.0 + 32.0;
}
double EgtInAircraftUnit(double celsius) {
  return InAircraftUnit("sim/aircraft/engine/acf_EGT_is_C", celsius);
}
double OilInAircraftUnit(double celsius) {
  return InAircraftUnit("sim/aircraft/engine/acf_oilT_is_C", celsius);
}

struct Wind {
  double speed_kt = 0, from_degrees = 0;
};

// The wind of the layer the aircraft is in: the lowest layer whose altitude
// is above it, else the top one.
Wind WindAt(double up) {
  Host& host = Host::Get();
  Wind w;
  for (int i = 0; i < 3; ++i) {
    const std::string n = "[" + std::to_string(i) + "]";
    w.speed_kt = host.GetFloat(kWx + "wind_speed_kt" + n);
    w.from_degrees = host.GetFloat(kWx + "wind_direction_degt" + n);
    if (up <= host.GetFloat(kWx + "wind_altitude_msl_m" + n)) break;
  }
  return w;
}

// International standard atmosphere below the tropopause.
double DensityRatio(double up) {
  return std::pow(std::max(0.0, 1.0 - 2.25577e-5 * up), 4.2559);
}

}  // namespace

void FlightModel::FollowOutsideWrites() {
  Host& host = Host::Get();
  if (refs_.DoubleChanged(kPos + "local_x") ||
      refs_.DoubleChanged(kPos + "local_y") ||
      refs_.DoubleChanged(kPos + "local_z")) {
    // A relocation by the plugin: the local frame is what it writes.
    state_.position = FromLocal({host.GetDouble(kPos + "local_x"),
                                 host.GetDouble(kPos + "local_y"),
                                 host.GetDouble(kPos + "local_z")});
    AfterRelocation();
  } else if (refs_.DoubleChanged(kPos + "latitude") ||
             refs_.DoubleChanged(kPos + "longitude") ||
             refs_.DoubleChanged(kPos + "elevation")) {
    state_.position = ToField({host.GetDouble(kPos + "latitude"),
                               host.GetDouble(kPos + "longitude"),
                               host.GetDouble(kPos + "elevation")});
    AfterRelocation();
  }

  bool q_changed = false;
  for (int i = 0; i < 4; ++i) {
    q_changed = q_changed || refs_.FloatElementChanged(kPos + "q", i);
  }
  if (q_changed) {
    double w = host.GetFloatElement(kPos + "q", 0);
    double x = host.GetFloatElement(kPos + "q", 1);
    double y = host.GetFloatElement(kPos + "q", 2);
    double z = host.GetFloatElement(kPos + "q", 3);
    state_.heading = WrapDegrees360(
        std::atan2(2 * (x * y + w * z), w * w + x * x - y * y - z * z) / kRad);
    state_.pitch = std::asin(std::clamp(2 * (w * y - x * z), -1.0, 1.0)) / kRad;
    state_.roll =
        std::atan2(2 * (w * x + y * z), w * w - x * x - y * y + z * z) / kRad;
  } else {
    if (refs_.FloatChanged(kPos + "psi")) {
      state_.heading = WrapDegrees360(host.GetFloat(kPos + "psi"));
    }
    if (refs_.FloatChanged(kPos + "theta")) {
      state_.pitch = host.GetFloat(kPos + "theta");
    }
    if (refs_.FloatChanged(kPos + "phi")) {
      state_.roll = host.GetFloat(kPos + "phi");
    }
  }
  if (state_.on_ground) state_.roll = 0;

  if (refs_.FloatChanged(kPos + "local_vx") ||
      refs_.FloatChanged(kPos + "local_vy") ||
      refs_.FloatChanged(kPos + "local_vz")) {
    // Keep the track; take the speed, and the climb when in the air.
    double vx = host.GetFloat(kPos + "local_vx");
    double vy = host.GetFloat(kPos + "local_vy");
    double vz = host.GetFloat(kPos + "local_vz");
    LocalPoint up = LocalVelocity(state_.position, 0, 0, 1);
    double vu = vx * up.x + vy * up.y + vz * up.z;
    double all = vx * vx + vy * vy + vz * vz;
    state_.speed = std::sqrt(std::max(0.0, all - vu * vu));
    if (!state_.on_ground) state_.vertical_speed = vu;
  }

  for (const char* name : kThrottleRefs) {
    for (int i = 0; i < kEngineCount; ++i) {
      if (refs_.FloatElementChanged(name, i)) {
        manual_throttle_ =
            std::clamp<double>(host.GetFloatElement(name, i), 0.0, 1.0);
        manual_throttle_left_ = kManualThrottleSeconds;
      }
    }
  }
  for (int i = 0; i < kTankCount; ++i) {
    if (refs_.FloatElementChanged("sim/flightmodel/weight/m_fuel", i)) {
      fuel_[i] = std::max(
          0.0f, host.GetFloatElement("sim/flightmodel/weight/m_fuel", i));
    }
  }
}

void FlightModel::AfterRelocation() {
  AircraftState& s = state_;
  if (Height() < 0.5) {
    s.position.up = kFieldElevation;
    if (!s.on_ground) {
      s.on_ground = true;
      s.vertical_speed = 0;
      s.roll = 0;
      if (fly_) phase_ = Phase::kLanding;
    }
  } else if (s.on_ground) {
    // Lifted into the air: the air phases take it from here.
    s.on_ground = false;
  }
}

void FlightModel::Refuel() {
  if (piston_) {
    fuel_[0] = fuel_[1] = kPistonFuelCapacityKg / 2, fuel_[2] = 0;
  } else {
    fuel_[0] = 1800, fuel_[1] = 900, fuel_[2] = 1800;
  }
}

void FlightModel::UpdateStarters(double dt) {
  // The plugin presses engine n's starter as button n + 1.
  Host& host = Host::Get();
  for (int i = 0; i < kEngineCount; ++i) {
    starter_seconds_[i] =
        host.ButtonHeld(i + 2) ? starter_seconds_[i] + dt : 0.0;
  }
}

// A piston engine starts after the starter has turned it for a second and a
// half with a magneto on, the mixture rich enough and fuel in the tanks; it
// stops when the magnetos are off, the mixture is cut or the fuel is gone.
// It burns from both wing tanks.
void FlightModel::UpdatePiston(double dt) {
  Host& host = Host::Get();
  constexpr double kCrankSeconds = 1.5;
  const bool cranking = starter_seconds_[0] > 0;
  const int magnetos = host.GetIntElement("sim/cockpit/engine/ignition_on", 0);
  const double mixture = host.GetFloatElement(kEng + "ENGN_mixt", 0);
  const double throttle = std::clamp<double>(
      host.GetFloatElement("sim/cockpit2/engine/actuators/throttle_ratio", 0),
      0.0, 1.0);
  const bool fuel = fuel_[0] + fuel_[1] > 0;
  if (magnetos <= 0 || magnetos > 3 || mixture < 0.1 || !fuel) {
    piston_running_ = false;
  } else if (cranking && starter_seconds_[0] >= kCrankSeconds) {
    piston_running_ = true;
  }
  const double rpm_target =
      piston_running_ ? 700.0 + 1900.0 * throttle : (cranking ? 250.0 : 0.0);
  rpm_ = Lag(rpm_, rpm_target, 0.8, dt);
  piston_egt_ = Lag(piston_egt_,
                    piston_running_ ? 600.0 + 150.0 * throttle : 15.0, 8.0, dt);
  // One magneto alone runs a little rougher and richer.
  piston_flow_ = piston_running_ ? (0.0015 + 0.0085 * throttle) *
                                       (magnetos == 3 ? 1.0 : 1.03)
                                 : 0.0;
  double need = piston_flow_ * dt;
  for (int tank : {0, 1}) {
    double take = std::min(need / 2, fuel_[tank]);
    fuel_[tank] -= take;
    need -= take;
  }
  for (int tank : {0, 1}) {
    double take = std::min(need, fuel_[tank]);
    fuel_[tank] -= take;
    need -= take;
  }
}

void FlightModel::UpdateSystems(double dt) {
  UpdateStarters(dt);
  if (piston_) {
    UpdatePiston(dt);
    return;
  }
  if (manual_throttle_ >= 0) {
    manual_throttle_left_ -= dt;
    if (manual_throttle_left_ <= 0) manual_throttle_ = -1;
  }
  const bool running = phase_ != Phase::kParked;
  const double thr = manual_throttle_ >= 0 ? manual_throttle_ : throttle_;
  const double n1_target = running ? 20.0 + 78.0 * thr : 0.0;
  n1_ = Lag(n1_, n1_target, 1.5, dt);
  n2_ = Lag(n2_, running ? 58.0 + 0.42 * n1_target : 0.0, 1.5, dt);
  egt_ = Lag(egt_, running ? 380.0 + 5.5 * (n1_ - 20.0) : 15.0, 3.0, dt);
  if (running) {
    // Each engine feeds from its wing tank, then from the centre tank.
    const double flow =
        0.07 + 0.5 * std::pow(std::clamp((n1_ - 20.0) / 78.0, 0.0, 1.0), 1.5);
    for (int tank : {0, 2}) {
      double need = flow * dt;
      double from_wing = std::min(need, fuel_[tank]);
      fuel_[tank] -= from_wing;
      fuel_[1] = std::max(0.0, fuel_[1] - (need - from_wing));
    }
  }
  gear_deploy_ = Approach(gear_deploy_, gear_, dt / 8.0);
}

void FlightModel::Publish(double dt) {
  PublishPosition(dt);
  PublishEngines();
  PublishControls();
  PublishRadios();
  PublishAutopilot();
  PublishWeather();
}

void FlightModel::PublishPosition(double dt) {
  Host& host = Host::Get();
  const AircraftState& s = state_;
  const GeoPoint g = ToGeo(s.position);
  const LocalPoint l = ToLocal(s.position);
  const double track = s.heading * kRad;
  const double ve = s.speed * std::sin(track), vn = s.speed * std::cos(track);
  const LocalPoint v = LocalVelocity(s.position, ve, vn, s.vertical_speed);

  refs_.Double(kPos + "latitude", g.latitude);
  refs_.Double(kPos + "longitude", g.longitude);
  refs_.Double(kPos + "elevation", g.elevation);
  refs_.Double(kPos + "local_x", l.x);
  refs_.Double(kPos + "local_y", l.y);
  refs_.Double(kPos + "local_z", l.z);

  refs_.Float(kPos + "theta", static_cast<float>(s.pitch));
  refs_.Float(kPos + "phi", static_cast<float>(s.roll));
  refs_.Float(kPos + "psi", static_cast<float>(s.heading));
  {
    const double hp = s.heading * kRad / 2, hq = s.pitch * kRad / 2,
                 hr = s.roll * kRad / 2;
    const double cp = std::cos(hp), sp = std::sin(hp), cq = std::cos(hq),
                 sq = std::sin(hq), cr = std::cos(hr), sr = std::sin(hr);
    const double q[4] = {
        cp * cq * cr + sp * sq * sr, cp * cq * sr - sp * sq * cr,
        cp * sq * cr + sp * cq * sr, sp * cq * cr - cp * sq * sr};
    for (int i = 0; i < 4; ++i) {
      refs_.FloatElement(kPos + "q", i, static_cast<float>(q[i]));
    }
  }
  const double path =
      s.speed > 1 ? std::atan2(s.vertical_speed, s.speed) / kRad : 0.0;
  refs_.Float(
      kPos + "mag_psi",
      static_cast<float>(WrapDegrees360(s.heading - kMagneticVariation)));
  refs_.Float(kPos + "hpath", static_cast<float>(s.heading));
  refs_.Float(kPos + "vpath", static_cast<float>(path));
  refs_.Float(kPos + "alpha",
              static_cast<float>(s.on_ground ? 0.0 : s.pitch - path));
  refs_.Float(kPos + "beta", 0.0f);

  // Air data from the wind of the layer and a standard atmosphere.
  const Wind wind = WindAt(s.position.up);
  const double wind_ms = wind.speed_kt / kKnotsPerMs;
  const double we = -wind_ms * std::sin(wind.from_degrees * kRad);
  const double wn = -wind_ms * std::cos(wind.from_degrees * kRad);
  const double tas = std::sqrt((ve - we) * (ve - we) + (vn - wn) * (vn - wn) +
                               s.vertical_speed * s.vertical_speed);
  const double sigma = DensityRatio(s.position.up);
  const double temperature =
      host.GetFloat(kWx + "temperature_sealevel_c") - 0.0065 * s.position.up;
  const double sound = std::sqrt(1.4 * 287.05 * (temperature + 273.15));
  const double ias = tas * std::sqrt(sigma) * kKnotsPerMs;
  refs_.Float(kPos + "groundspeed", static_cast<float>(s.speed));
  refs_.Float(kPos + "true_airspeed", static_cast<float>(tas));
  refs_.Float(kPos + "indicated_airspeed", static_cast<float>(ias));
  refs_.Float(kPos + "indicated_airspeed2", static_cast<float>(ias));
  refs_.Float("sim/flightmodel/misc/machno", static_cast<float>(tas / sound));
  refs_.Float(kPos + "vh_ind", static_cast<float>(s.vertical_speed));
  refs_.Float(kPos + "vh_ind_fpm",
              static_cast<float>(s.vertical_speed * 60.0 * kFeetPerMetre));
  refs_.Float(kPos + "local_vx", static_cast<float>(v.x));
  refs_.Float(kPos + "local_vy", static_cast<float>(v.y));
  refs_.Float(kPos + "local_vz", static_cast<float>(v.z));

  // Rates and accelerations are differences over the frame; a paused frame
  // has none.
  const bool moving = dt > 0 && have_last_;
  const double turn = s.turn_rate, roll_r = s.roll * kRad;
  const double p = moving ? (s.roll - last_roll_) / dt : 0.0;
  const double q =
      moving ? (s.pitch - last_pitch_) / dt + turn * std::sin(roll_r) : 0.0;
  const double r = moving ? turn * std::cos(roll_r) : 0.0;
  auto diff = [&](double now, double before) {
    return moving ? (now - before) / dt : 0.0;
  };
  refs_.Float(kPos + "local_ax",
              static_cast<float>(diff(v.x, last_velocity_.x)));
  refs_.Float(kPos + "local_ay",
              static_cast<float>(diff(v.y, last_velocity_.y)));
  refs_.Float(kPos + "local_az",
              static_cast<float>(diff(v.z, last_velocity_.z)));
  refs_.Float(kPos + "P", static_cast<float>(p));
  refs_.Float(kPos + "Q", static_cast<float>(q));
  refs_.Float(kPos + "R", static_cast<float>(r));
  refs_.Float(kPos + "P_dot", static_cast<float>(diff(p, last_p_)));
  refs_.Float(kPos + "Q_dot", static_cast<float>(diff(q, last_q_)));
  refs_.Float(kPos + "R_dot", static_cast<float>(diff(r, last_r_)));
  refs_.Float(kPos + "Prad", static_cast<float>(p * kRad));
  refs_.Float(kPos + "Qrad", static_cast<float>(q * kRad));
  refs_.Float(kPos + "Rrad", static_cast<float>(r * kRad));
  const double climb_accel = diff(s.vertical_speed, last_vs_);
  const double load =
      s.on_ground ? 1.0
                  : (kGravity + climb_accel) / kGravity / std::cos(roll_r);
  refs_.Float("sim/flightmodel/forces/g_nrml", static_cast<float>(load));
  refs_.Float("sim/flightmodel/forces/g_axil",
              static_cast<float>(s.acceleration / kGravity));
  refs_.Float("sim/flightmodel/forces/g_side", 0.0f);

  const double height = s.position.up - kFieldElevation;
  refs_.Float(kPos + "y_agl", static_cast<float>(height));
  refs_.Int("sim/flightmodel/failures/onground_any", s.on_ground ? 1 : 0);
  // The altimeter reads the altitude corrected for the setting (about
  // 923 feet per inch of mercury).
  const double setting = host.GetFloat("sim/cockpit/misc/barometer_setting");
  const double sea_level = host.GetFloat(kWx + "barometer_sealevel_inhg");
  refs_.Float("sim/cockpit2/gauges/indicators/altitude_ft_pilot",
              static_cast<float>(s.position.up * kFeetPerMetre +
                                 (setting - sea_level) * 923.0));
  refs_.Float("sim/flightmodel/misc/nosewheel_speed",
              static_cast<float>(s.on_ground ? s.speed : 0.0));
  refs_.FloatElement(
      "sim/flightmodel/parts/tire_steer_act", 0,
      static_cast<float>(s.on_ground ? std::clamp(turn * 2, -60.0, 60.0)
                                     : 0.0));
  if (dt > 0) {
    last_roll_ = s.roll, last_pitch_ = s.pitch, last_vs_ = s.vertical_speed;
    last_p_ = p, last_q_ = q, last_r_ = r;
    last_velocity_ = v;
    have_last_ = true;
  }
}

void FlightModel::PublishPiston() {
  const bool on = piston_running_;
  refs_.IntElement(kEng + "ENGN_running", 0, on ? 1 : 0);
  refs_.FloatElement(kEng + "POINT_tacrad", 0,
                     static_cast<float>(rpm_ * kPi / 30.0));
  refs_.FloatElement(kEng + "ENGN_FF_", 0, static_cast<float>(piston_flow_));
  refs_.FloatElement(kEng + "ENGN_EGT_c", 0,
                     static_cast<float>(EgtInAircraftUnit(piston_egt_)));
  refs_.FloatElement(kEng + "ENGN_oil_temp_c", 0,
                     static_cast<float>(OilInAircraftUnit(
                         15.0 + (piston_egt_ - 15.0) * 0.12)));
  refs_.FloatElement(kEng + "ENGN_oil_press_psi", 0,
                     static_cast<float>(rpm_ / 2600.0 * 70.0));
  // Manifold pressure: ambient when stopped, lower at idle.
  const double throttle =
      std::clamp<double>(Host::Get().GetFloatElement(
                             "sim/cockpit2/engine/actuators/throttle_ratio", 0),
                         0.0, 1.0);
  refs_.FloatElement("sim/cockpit2/engine/indicators/MPR_in_hg", 0,
                     static_cast<float>(on ? 12.0 + 16.0 * throttle : 29.92));
  refs_.FloatElement("sim/cockpit/engine/starter_duration", 0,
                     static_cast<float>(starter_seconds_[0]));
  double total = 0;
  for (int i = 0; i < kTankCount; ++i) {
    refs_.FloatElement("sim/flightmodel/weight/m_fuel", i,
                       static_cast<float>(fuel_[i]));
    total += fuel_[i];
  }
  Host& host = Host::Get();
  refs_.Float("sim/flightmodel/weight/m_total",
              static_cast<float>(
                  host.GetFloat("sim/aircraft/weight/acf_m_empty") +
                  host.GetFloat("sim/flightmodel/weight/m_fixed") + total));
}

void FlightModel::PublishEngines() {
  if (piston_) {
    PublishPiston();
    return;
  }
  for (int i = 0; i < kEngineCount; ++i) {
    refs_.FloatElement("sim/cockpit/engine/starter_duration", i,
                       static_cast<float>(starter_seconds_[i]));
  }
  const bool running = phase_ != Phase::kParked;
  const double thr = manual_throttle_ >= 0 ? manual_throttle_ : throttle_;
  const double flow =
      running ? 0.07 + 0.5 * std::pow(std::clamp((n1_ - 20.0) / 78.0, 0.0, 1.0),
                                      1.5)
              : 0.0;
  for (const char* name : kThrottleRefs) {
    for (int i = 0; i < kEngineCount; ++i) {
      refs_.FloatElement(name, i, static_cast<float>(thr));
    }
  }
  for (int i = 0; i < kEngineCount; ++i) {
    refs_.FloatElement(kEng + "ENGN_N1_", i, static_cast<float>(n1_));
    refs_.FloatElement(kEng + "ENGN_N2_", i, static_cast<float>(n2_));
    refs_.FloatElement(kEng + "ENGN_FF_", i, static_cast<float>(flow));
    refs_.FloatElement(kEng + "ENGN_EGT_c", i,
                       static_cast<float>(EgtInAircraftUnit(egt_)));
    refs_.IntElement(kEng + "ENGN_running", i, running ? 1 : 0);
    refs_.FloatElement(kEng + "ENGN_oil_temp_c", i,
                       static_cast<float>(OilInAircraftUnit(
                           running ? 60.0 + 0.3 * n2_ : 15.0)));
    refs_.FloatElement(kEng + "ENGN_oil_press_psi", i,
                       static_cast<float>(running ? 20.0 + 0.5 * n2_ : 0.0));
    refs_.FloatElement(kEng + "ENGN_EPR", i,
                       static_cast<float>(running ? 1.0 + 0.006 * n1_ : 1.0));
    // Fan speed in radians per second, 5200 rpm at 100 % N1.
    refs_.FloatElement(kEng + "POINT_tacrad", i,
                       static_cast<float>(n1_ / 100.0 * 5200.0 * kPi / 30.0));
  }
  double total = 0;
  for (int i = 0; i < kTankCount; ++i) {
    refs_.FloatElement("sim/flightmodel/weight/m_fuel", i,
                       static_cast<float>(fuel_[i]));
    total += fuel_[i];
  }
  Host& host = Host::Get();
  refs_.Float("sim/flightmodel/weight/m_total",
              static_cast<float>(
                  host.GetFloat("sim/aircraft/weight/acf_m_empty") +
                  host.GetFloat("sim/flightmodel/weight/m_fixed") + total));
  refs_.FloatOnChange("sim/cockpit2/hydraulics/indicators/hydraulic_pressure_1",
                      running ? 3000.0f : 0.0f);
}

void FlightModel::PublishControls() {
  const std::string c = "sim/flightmodel/controls/";
  refs_.FloatOnChange(c + "flaprqst", static_cast<float>(flaps_));
  const float flaps = static_cast<float>(flap_deploy_);
  refs_.FloatOnChange("sim/cockpit2/controls/flap_handle_deploy_ratio", flaps);
  for (const char* n : {"wing1l_fla1def", "wing2l_fla1def", "wing1r_fla1def",
                        "wing2r_fla1def", "wing1r_fla2def"}) {
    refs_.FloatOnChange(c + n, flaps * 30.0f);
  }
  refs_.FloatOnChange("sim/flightmodel2/controls/slat1_deploy_ratio",
                      std::min(1.0f, flaps * 2.0f));
  refs_.IntOnChange("sim/cockpit/switches/gear_handle_status", gear_);
  for (int i = 0; i < 3; ++i) {
    refs_.FloatElement("sim/aircraft/parts/acf_gear_deploy", i,
                       static_cast<float>(gear_deploy_));
  }
  refs_.FloatOnChange(c + "sbrkrqst", static_cast<float>(speedbrake_));
  refs_.FloatOnChange(c + "sbrkrat",
                      static_cast<float>(std::max(0.0, speedbrake_)));
  const bool held = phase_ == Phase::kParked ||
                    (phase_ == Phase::kLineUp && state_.speed < 0.5);
  refs_.FloatOnChange(c + "parkbrake", held ? 1.0f : 0.0f);
}

void FlightModel::PublishRadios() {
  Host& host = Host::Get();
  for (int receiver = 1; receiver <= 2; ++receiver) {
    const std::string b = kRadios + "nav" + std::to_string(receiver) + "_";
    NavReading r =
        ReadNavReceiver(host.GetInt(b + "freq_hz"),
                        host.GetFloat(b + "obs_degm"), state_.position);
    refs_.Float(b + "hdef_dot", r.hdef_dots);
    refs_.Float(b + "vdef_dot", r.vdef_dots);
    refs_.Int(b + "fromto", r.fromto);
    refs_.Int(b + "CDI", r.cdi);
    refs_.Int(b + "has_dme", r.has_dme);
    refs_.Float(b + "dme_dist_m", r.dme_nm);
    refs_.Float(b + "dir_degt", r.bearing_true);
    refs_.Float(b + "slope_degt", r.slope_degrees);
    refs_.IntElement(kRadios + "nav_type", receiver - 1, r.nav_type);
  }
  MarkerReading m = ReadMarkers(state_.position);
  refs_.Int("sim/cockpit/misc/over_outer_marker", m.outer);
  refs_.Int("sim/cockpit/misc/over_middle_marker", m.middle);
  refs_.Int("sim/cockpit/misc/over_inner_marker", m.inner);
}

void FlightModel::FollowAutopilot() {
  const int state = Host::Get().GetInt(kAp + "autopilot_state");
  // A mode switched or a selection turned by someone else: from now on the
  // autopilot flies what is selected.
  if (refs_.IntChanged(kAp + "autopilot_state") ||
      refs_.FloatChanged(kAp + "heading_mag") ||
      refs_.FloatChanged(kAp + "altitude") ||
      refs_.FloatChanged(kAp + "vertical_velocity")) {
    client_autopilot_ = true;
  }
  constexpr int kHeld = 0x2 | 0x10 | 0x20 | 0x4000;
  if ((state & kHeld) == 0) client_autopilot_ = false;
  client_heading_ = client_autopilot_ && (state & 0x2) != 0;
  client_altitude_ = client_autopilot_ && (state & (0x20 | 0x4000)) != 0;
  client_vertical_speed_ =
      client_autopilot_ && !client_altitude_ && (state & 0x10) != 0;
}

void FlightModel::PublishAutopilot() {
  // Autopilot state bits: 1 autothrottle, 2 heading, 0x10 vertical speed,
  // 0x100 localizer armed, 0x200 localizer captured, 0x400 glide slope
  // armed, 0x800 glide slope captured, 0x4000 altitude hold.
  int mode = 0, state = 0;
  const bool airborne = !state_.on_ground;
  if (airborne && Height() > 150 &&
      (phase_ == Phase::kDeparture || phase_ == Phase::kApproach)) {
    mode = 2;
    if (phase_ == Phase::kDeparture) {
      state = 1 | 2 | (std::fabs(target_vs_) > 0.5 ? 0x10 : 0x4000);
    } else if (!glide_slope_captured_) {
      state = 1 | 2 | 0x4000 | 0x100 | 0x400;
    } else {
      state = 1 | 0x100 | 0x200 | 0x800;
    }
  } else if (airborne) {
    mode = 1;  // flight director only, hand flown
  }
  if (client_autopilot_) {
    // The client's autopilot: modes and selections stay as it set them.
    refs_.Float(kAp + "flight_director_pitch",
                static_cast<float>(airborne ? target_pitch_ : 0.0));
    refs_.Float(kAp + "flight_director_roll",
                static_cast<float>(airborne ? target_roll_ : 0.0));
    return;
  }
  refs_.IntOnChange(kAp + "autopilot_mode", mode);
  refs_.IntOnChange(kAp + "autopilot_state", state);
  // Selections change in whole steps, so one set from outside stays until
  // the flight selects something else.
  refs_.FloatOnChange(kAp + "heading_mag",
                      static_cast<float>(std::round(
                          WrapDegrees360(target_track_ - kMagneticVariation))));
  refs_.FloatOnChange(
      kAp + "altitude",
      static_cast<float>(std::round(target_up_ * kFeetPerMetre / 100.0) * 100));
  refs_.FloatOnChange(
      kAp + "airspeed",
      static_cast<float>(std::round(target_speed_ * kKnotsPerMs)));
  refs_.FloatOnChange(
      kAp + "vertical_velocity",
      static_cast<float>(std::round(target_vs_ * 60 * kFeetPerMetre / 100.0) *
                         100));
  refs_.Float(kAp + "flight_director_pitch",
              static_cast<float>(airborne ? target_pitch_ : 0.0));
  refs_.Float(kAp + "flight_director_roll",
              static_cast<float>(airborne ? target_roll_ : 0.0));
}

void FlightModel::PublishWeather() {
  Host& host = Host::Get();
  const double up = state_.position.up;
  const double temperature =
      host.GetFloat(kWx + "temperature_sealevel_c") - 0.0065 * up;
  const double sigma = DensityRatio(up);
  refs_.Float(kWx + "temperature_ambient_c", static_cast<float>(temperature));
  refs_.Float(
      kWx + "speed_sound_ms",
      static_cast<float>(std::sqrt(1.4 * 287.05 * (temperature + 273.15))));
  refs_.Float(kWx + "sigma", static_cast<float>(sigma));
  refs_.Float(kWx + "rho", static_cast<float>(1.225 * sigma));
  const Wind wind = WindAt(up);
  refs_.Float(kWx + "wind_speed_kt", static_cast<float>(wind.speed_kt));
  refs_.Float(kWx + "wind_direction_degt",
              static_cast<float>(wind.from_degrees));
}

}  // namespace simhost::flight
