#include "simhost/flight/flight_datarefs.h"

#include <cmath>
#include <vector>

#include "simhost/flight/flight_field.h"
#include "simhost/host/host.h"

namespace simhost::flight {
namespace {

// Define-or-set: redefining a dataref the host already knows could drop a
// handle the plugin holds, so known names only get their value.
void EnsureInt(const std::string& name, int value) {
  Host& h = Host::Get();
  if (h.IsDefined(name)) {
    h.SetInt(name, value);
  } else {
    h.DefineInt(name, value);
  }
}

void EnsureFloat(const std::string& name, float value) {
  Host& h = Host::Get();
  if (h.IsDefined(name)) {
    h.SetFloat(name, value);
  } else {
    h.DefineFloat(name, value);
  }
}

void EnsureDouble(const std::string& name, double value) {
  Host& h = Host::Get();
  if (h.IsDefined(name)) {
    h.SetDouble(name, value);
  } else {
    h.DefineDouble(name, value);
  }
}

void EnsureFloats(const std::string& name, std::vector<float> values) {
  Host& h = Host::Get();
  if (h.IsDefined(name)) {
    for (size_t i = 0; i < values.size(); ++i) {
      h.SetFloatElement(name, static_cast<int>(i), values[i]);
    }
  } else {
    h.DefineFloatArray(name, std::move(values));
  }
}

void EnsureInts(const std::string& name, std::vector<int> values) {
  Host& h = Host::Get();
  if (h.IsDefined(name)) {
    for (size_t i = 0; i < values.size(); ++i) {
      h.SetIntElement(name, static_cast<int>(i), values[i]);
    }
  } else {
    h.DefineIntArray(name, std::move(values));
  }
}

void EnsureBytes(const std::string& name, const std::string& bytes) {
  Host& h = Host::Get();
  if (h.IsDefined(name)) {
    h.SetBytes(name, bytes);
  } else {
    h.DefineBytes(name, bytes);
  }
}

// Per-engine arrays: the two engines get `value`, the unused slots 0.
std::vector<float> Engines(float value) {
  std::vector<float> v(kEngineArraySize, 0.0f);
  for (int i = 0; i < kEngineCount; ++i) v[i] = value;
  return v;
}
std::vector<int> EnginesI(int value) {
  std::vector<int> v(kEngineArraySize, 0);
  for (int i = 0; i < kEngineCount; ++i) v[i] = value;
  return v;
}

void DefinePosition() {
  const char* p = "sim/flightmodel/position/";
  for (const char* n : {"latitude", "longitude", "elevation", "local_x",
                        "local_y", "local_z"}) {
    EnsureDouble(std::string(p) + n, 0.0);
  }
  for (const char* n : {"theta",
                        "phi",
                        "psi",
                        "alpha",
                        "beta",
                        "groundspeed",
                        "true_airspeed",
                        "indicated_airspeed",
                        "indicated_airspeed2",
                        "vh_ind",
                        "vh_ind_fpm",
                        "local_vx",
                        "local_vy",
                        "local_vz",
                        "local_ax",
                        "local_ay",
                        "local_az",
                        "P",
                        "Q",
                        "R",
                        "P_dot",
                        "Q_dot",
                        "R_dot",
                        "Prad",
                        "Qrad",
                        "Rrad",
                        "y_agl",
                        "mag_psi",
                        "hpath",
                        "vpath"}) {
    EnsureFloat(std::string(p) + n, 0.0f);
  }
  EnsureFloat("sim/flightmodel/position/magnetic_variation",
              static_cast<float>(-kMagneticVariation));
  EnsureFloats("sim/flightmodel/position/q", {1.0f, 0.0f, 0.0f, 0.0f});
  for (const char* n : {"g_nrml", "g_axil", "g_side"}) {
    EnsureFloat(std::string("sim/flightmodel/forces/") + n, 0.0f);
  }
  EnsureFloat("sim/flightmodel/forces/g_nrml", 1.0f);
  EnsureFloat("sim/flightmodel/misc/machno", 0.0f);
  EnsureFloat("sim/flightmodel/misc/slip", 0.0f);
  EnsureFloat("sim/flightmodel/misc/nosewheel_speed", 0.0f);
  EnsureFloat("sim/cockpit2/gauges/indicators/altitude_ft_pilot", 0.0f);
  EnsureInt("sim/flightmodel/failures/onground_any", 1);
  EnsureInt("sim/flightmodel/failures/stallwarning", 0);
  EnsureFloat("sim/aircraft/view/acf_Vne", 340.0f);
}

// The host runs the clock itself (zulu and local time follow virtual time).
void DefineTime() {
  EnsureInt("sim/time/local_date_days", 171);  // 21 June
  EnsureInt("sim/time/paused", 0);
  EnsureInt("sim/time/sim_speed", 1);
}

void DefineEngines() {
  const std::string e = "sim/flightmodel/engine/";
  EnsureInt("sim/aircraft/engine/acf_num_engines", kEngineCount);
  EnsureInts("sim/aircraft/prop/acf_en_type", EnginesI(5));  // turbofan
  EnsureFloats("sim/cockpit2/engine/actuators/throttle_ratio", Engines(0));
  EnsureFloats("sim/cockpit2/engine/actuators/mixture_ratio", Engines(1));
  EnsureFloats(e + "ENGN_thro", Engines(0));
  EnsureFloats(e + "ENGN_thro_use", Engines(0));
  EnsureFloats(e + "ENGN_mixt", Engines(1));
  EnsureFloats(e + "ENGN_heat", Engines(0));
  EnsureInts(e + "ENGN_propmode", EnginesI(1));
  EnsureInts(e + "ENGN_running", EnginesI(0));
  for (const char* n :
       {"ENGN_N1_", "ENGN_N2_", "ENGN_FF_", "ENGN_EGT_c", "ENGN_oil_temp_c",
        "ENGN_oil_press_psi", "ENGN_EPR", "POINT_tacrad"}) {
    EnsureFloats(e + n, Engines(0));
  }
  EnsureFloats("sim/cockpit2/engine/indicators/MPR_in_hg", Engines(29.92f));
  EnsureFloats("sim/cockpit2/engine/indicators/oil_quantity_ratio",
               Engines(0.9f));
  EnsureInts("sim/cockpit/engine/ignition_on", EnginesI(3));
  EnsureInts("sim/cockpit/engine/igniters_on", EnginesI(0));
  EnsureFloats("sim/cockpit/engine/starter_duration", Engines(0));
  EnsureInts("sim/cockpit/engine/fuel_pump_on", EnginesI(1));
  EnsureInts("sim/cockpit/electrical/generator_on", EnginesI(1));
  EnsureInt("sim/cockpit/engine/APU_switch", 0);
  EnsureFloat("sim/cockpit2/hydraulics/indicators/hydraulic_pressure_1", 0.0f);
  EnsureFloat("sim/cockpit/misc/hydraulic_quantity", 0.95f);
  EnsureInt("sim/cockpit/warnings/annunciators/reverse", 0);
}

}  // namespace

void DefinePistonDatarefs() {
  std::vector<int> type = EnginesI(0);  // reciprocating, carburettor
  EnsureInts("sim/aircraft/prop/acf_en_type", type);
  EnsureInt("sim/aircraft/engine/acf_num_engines", 1);
  std::vector<int> off(kEngineArraySize, 0);
  EnsureInts("sim/cockpit/engine/ignition_on", off);
  EnsureInts("sim/cockpit/electrical/generator_on", off);
  std::vector<float> full(kEngineArraySize, 0.0f);
  full[0] = 1.0f;
  EnsureFloats("sim/flightmodel/engine/ENGN_mixt", full);
  EnsureFloats("sim/cockpit2/engine/actuators/mixture_ratio", full);
  EnsureFloat("sim/aircraft/weight/acf_m_fuel_tot", kPistonFuelCapacityKg);
  EnsureInt("sim/aircraft/overflow/acf_num_tanks", 2);
  EnsureFloats("sim/aircraft/overflow/acf_tank_rat",
               {0.5f, 0.5f, 0, 0, 0, 0, 0, 0, 0});
  EnsureFloats("sim/flightmodel/weight/m_fuel",
               {75.0f, 75.0f, 0, 0, 0, 0, 0, 0, 0});
  EnsureFloat("sim/aircraft/weight/acf_m_empty", kPistonEmptyWeightKg);
  EnsureFloat("sim/flightmodel/weight/m_fixed", 170.0f);
}

namespace {

void DefineFuelAndWeight() {
  EnsureFloat("sim/aircraft/weight/acf_m_fuel_tot", kFuelCapacityKg);
  EnsureInt("sim/aircraft/overflow/acf_num_tanks", kTankCount);
  EnsureFloats("sim/aircraft/overflow/acf_tank_rat",
               {0.4f, 0.2f, 0.4f, 0, 0, 0, 0, 0, 0});
  EnsureFloats("sim/flightmodel/weight/m_fuel",
               {1800.0f, 900.0f, 1800.0f, 0, 0, 0, 0, 0, 0});
  EnsureFloat("sim/aircraft/weight/acf_m_empty", kEmptyWeightKg);
  EnsureFloat("sim/flightmodel/weight/m_fixed", kPayloadKg);
  EnsureFloat("sim/flightmodel/weight/m_total",
              kEmptyWeightKg + kPayloadKg + 4500.0f);
}

void DefineRadios() {
  const std::string r = "sim/cockpit/radios/";
  EnsureInt(r + "com1_freq_hz", 11880);
  EnsureInt(r + "com2_freq_hz", 12150);
  EnsureInt(r + "com1_stdby_freq_hz", 12180);
  EnsureInt(r + "com2_stdby_freq_hz", 12345);
  EnsureInt(r + "nav1_freq_hz", kIlsFrequency);
  EnsureInt(r + "nav2_freq_hz", kVorFrequency);
  EnsureInt(r + "nav1_stdby_freq_hz", kVorFrequency);
  EnsureInt(r + "nav2_stdby_freq_hz", kIlsFrequency);
  EnsureInt(r + "adf1_freq_hz", kNdbFrequency);
  EnsureInt(r + "adf2_freq_hz", kNdbFrequency);
  EnsureInt(r + "transponder_code", 7000);
  EnsureInt(r + "transponder_mode", 1);
  EnsureFloat(r + "nav1_obs_degm",
              static_cast<float>(kRunwayHeading - kMagneticVariation));
  EnsureFloat(r + "nav2_obs_degm", 90.0f);
  for (const char* n : {"nav1_", "nav2_"}) {
    const std::string b = r + n;
    for (const char* f : {"hdef_dot", "vdef_dot", "dme_dist_m", "dir_degt",
                          "slope_degt", "course_degt"}) {
      EnsureFloat(b + f, 0.0f);
    }
    for (const char* f : {"fromto", "CDI", "has_dme"}) EnsureInt(b + f, 0);
  }
  EnsureInts(r + "nav_type", {0, 0, 0, 0, 0, 0});
  EnsureBytes("sim/cockpit2/radios/indicators/adf1_nav_id",
              std::string("TV\0\0\0\0\0\0", 8));
  EnsureBytes("sim/cockpit2/radios/indicators/adf2_nav_id",
              std::string("TV\0\0\0\0\0\0", 8));
  for (const char* m :
       {"over_outer_marker", "over_middle_marker", "over_inner_marker"}) {
    EnsureInt(std::string("sim/cockpit/misc/") + m, 0);
  }
  EnsureFloat("sim/cockpit/misc/barometer_setting", 29.92f);
}

void DefineAutopilot() {
  const std::string a = "sim/cockpit/autopilot/";
  EnsureInt(a + "autopilot_mode", 0);
  EnsureInt(a + "autopilot_state", 0);
  EnsureFloat(a + "heading_mag", 0.0f);
  EnsureFloat(a + "altitude", 3000.0f);
  EnsureFloat(a + "airspeed", 180.0f);
  EnsureInt(a + "airspeed_is_mach", 0);
  EnsureFloat(a + "vertical_velocity", 0.0f);
  EnsureFloat(a + "flight_director_pitch", 0.0f);
  EnsureFloat(a + "flight_director_roll", 0.0f);
  EnsureInt("sim/cockpit/switches/yaw_damper_on", 1);
  EnsureInt("sim/cockpit/switches/auto_brake_settings", 1);
}

void DefineControlsAndSystems() {
  const std::string c = "sim/flightmodel/controls/";
  for (const char* n :
       {"flaprqst", "parkbrake", "sbrkrqst", "sbrkrat", "elv_trim", "ail_trim",
        "rud_trim", "wing1l_fla1def", "wing2l_fla1def", "wing1r_fla1def",
        "wing2r_fla1def", "wing1r_fla2def", "hstab1_elv1def", "lail1def",
        "ldruddef"}) {
    EnsureFloat(c + n, 0.0f);
  }
  EnsureFloat("sim/cockpit2/controls/flap_handle_deploy_ratio", 0.0f);
  EnsureFloat("sim/flightmodel2/controls/slat1_deploy_ratio", 0.0f);
  EnsureInt("sim/cockpit/switches/gear_handle_status", 1);
  EnsureFloats("sim/aircraft/parts/acf_gear_deploy",
               {1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
  EnsureFloats("sim/flightmodel/parts/tire_steer_act",
               {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  for (const char* n :
       {"yolk_pitch_ratio", "yoke_roll_ratio", "yolk_heading_ratio"}) {
    EnsureFloat(std::string("sim/joystick/") + n, 0.0f);
  }
  EnsureInt("sim/joystick/has_joystick", 1);
  EnsureInt("sim/cockpit/electrical/battery_on", 1);
  EnsureInt("sim/cockpit/electrical/avionics_on", 1);
  EnsureInt("sim/cockpit/switches/pitot_heat_on", 0);
  EnsureInt("sim/cockpit/switches/anti_ice_surf_heat_left", 0);
  EnsureInt("sim/cockpit/switches/anti_ice_surf_heat_right", 0);
  EnsureInt("sim/cockpit2/switches/wiper_speed", 0);
  EnsureFloat("sim/cockpit/misc/vacuum", 0.0f);
}

void DefineWeather() {
  const std::string w = "sim/weather/";
  EnsureFloat(w + "temperature_sealevel_c", 18.0f);
  EnsureFloat(w + "temperature_ambient_c", 15.0f);
  EnsureFloat(w + "dewpoi_sealevel_c", 9.0f);
  EnsureFloat(w + "barometer_sealevel_inhg", 29.92f);
  EnsureFloat(w + "visibility_reported_m", 25000.0f);
  EnsureFloat(w + "rain_percent", 0.0f);
  // 12 has no thunderstorm reference.
  if (Host::Get().IsOlderHost()) EnsureFloat(w + "thunderstorm_percent", 0.0f);
  EnsureFloat(w + "runway_friction", 0.0f);
  EnsureFloat(w + "speed_sound_ms", 340.0f);
  EnsureFloat(w + "sigma", 1.0f);
  EnsureFloat(w + "rho", 1.225f);
  // Wind speeds in knots, kept in the host's unit.
  const double knots_per_unit = Host::Get().WindSpeedUnitKnots();
  EnsureFloat(w + "wind_speed_kt", static_cast<float>(6.0 / knots_per_unit));
  EnsureFloat(w + "wind_direction_degt", 260.0f);
  // Three wind layers, lowest first.
  const float altitude[3] = {900.0f, 3000.0f, 9000.0f};
  const float speed[3] = {6.0f, 15.0f, 35.0f};
  const float direction[3] = {260.0f, 270.0f, 280.0f};
  for (int i = 0; i < 3; ++i) {
    const std::string n = "[" + std::to_string(i) + "]";
    EnsureFloat(w + "wind_altitude_msl_m" + n, altitude[i]);
    EnsureFloat(w + "wind_speed_kt" + n,
                static_cast<float>(speed[i] / knots_per_unit));
    EnsureFloat(w + "wind_direction_degt" + n, direction[i]);
    EnsureFloat(w + "turbulence" + n, 0.0f);
    EnsureFloat(w + "shear_speed_kt" + n, 0.0f);
  }
  // Scattered cumulus in the lowest layer, a thin high layer in the top one.
  EnsureFloat(w + "cloud_base_msl_m[0]", 1800.0f);
  EnsureFloat(w + "cloud_tops_msl_m[0]", 2600.0f);
  EnsureInt(w + "cloud_type[0]", 2);
  EnsureFloat(w + "cloud_base_msl_m[1]", 0.0f);
  EnsureFloat(w + "cloud_tops_msl_m[1]", 0.0f);
  EnsureInt(w + "cloud_type[1]", 0);
  EnsureFloat(w + "cloud_base_msl_m[2]", 8000.0f);
  EnsureFloat(w + "cloud_tops_msl_m[2]", 8500.0f);
  EnsureInt(w + "cloud_type[2]", 1);
}

}  // namespace

void DefineFlightDatarefs() {
  DefinePosition();
  DefineTime();
  DefineEngines();
  DefineFuelAndWeight();
  DefineRadios();
  DefineAutopilot();
  DefineControlsAndSystems();
  DefineWeather();
}

std::string OwnedDatarefs::ElementKey(const std::string& name, int index) {
  return name + "#" + std::to_string(index);
}

bool OwnedDatarefs::Known(const std::string& key, double* value) const {
  auto it = last_.find(key);
  if (it == last_.end()) return false;
  *value = it->second;
  return true;
}

void OwnedDatarefs::Int(const std::string& name, int value) {
  Host::Get().SetInt(name, value);
  last_[name] = value;
}

void OwnedDatarefs::Float(const std::string& name, float value) {
  Host::Get().SetFloat(name, value);
  last_[name] = value;
}

void OwnedDatarefs::Double(const std::string& name, double value) {
  Host::Get().SetDouble(name, value);
  last_[name] = value;
}

void OwnedDatarefs::IntElement(const std::string& name, int index, int value) {
  Host::Get().SetIntElement(name, index, value);
  last_[ElementKey(name, index)] = value;
}

void OwnedDatarefs::FloatElement(const std::string& name, int index,
                                 float value) {
  Host::Get().SetFloatElement(name, index, value);
  last_[ElementKey(name, index)] = value;
}

void OwnedDatarefs::IntOnChange(const std::string& name, int value) {
  double last;
  if (Known(name, &last) && last == value) return;
  Int(name, value);
}

void OwnedDatarefs::FloatOnChange(const std::string& name, float value) {
  double last;
  if (Known(name, &last) && static_cast<float>(last) == value) return;
  Float(name, value);
}

bool OwnedDatarefs::IntChanged(const std::string& name) const {
  double last;
  return Known(name, &last) && Host::Get().GetInt(name) != last;
}

bool OwnedDatarefs::FloatChanged(const std::string& name) const {
  double last;
  return Known(name, &last) &&
         Host::Get().GetFloat(name) != static_cast<float>(last);
}

bool OwnedDatarefs::DoubleChanged(const std::string& name) const {
  double last;
  return Known(name, &last) && Host::Get().GetDouble(name) != last;
}

bool OwnedDatarefs::FloatElementChanged(const std::string& name,
                                        int index) const {
  double last;
  return Known(ElementKey(name, index), &last) &&
         Host::Get().GetFloatElement(name, index) != static_cast<float>(last);
}

}  // namespace simhost::flight
