// The datarefs the host publishes after Reset: a light twin parked on a
// runway at 47.46 N, 122.31 W, 130 m, engines off, autopilot off, standard
// sea-level atmosphere (15 C, 29.92 inHg), light westerly wind, daytime.
//
// The host is the simulator 12.1: names, types, array lengths and
// writability as its published list gives them (16 engines, 667 failure
// slots), wind speeds in metres per second. DefineOlderHostDatarefs turns
// it into 11.55 where the plugin behaves differently.
#include <cmath>
#include <numbers>
#include <string>

#include "simhost/host/host_state.h"

namespace simhost {
namespace {

constexpr int kEngines = 16;
constexpr int kGenerators = 8;  // the generator switches stop at 8
constexpr int kTanks = 9;
constexpr int kGears = 10;
// The simulator's failure slots (600 before 12); the plugin writes
// elements 0 to 563.
constexpr int kFailures = 667;
constexpr int kOlderFailures = 600;
constexpr int kPlanes = 19;  // multiplayer planes 1 to 19

// One row of the default table: `value` goes into the first `filled`
// elements of an array (all of them when `filled` is 0) and into scalars.
struct Row {
  const char* name;
  DataType kind;
  double value;
  int size = 1;
  int filled = 0;
};

constexpr DataType I = DataType::kInt;
constexpr DataType F = DataType::kFloat;
constexpr DataType D = DataType::kDouble;
constexpr DataType VI = DataType::kIntArray;
constexpr DataType VF = DataType::kFloatArray;

// Every name the plugin looks up that 12.1 has, one row each.
const Row kRows[] = {
    // Time. The clock rows are rewritten on every frame.
    {"sim/time/local_time_sec", F, 39600},
    {"sim/time/zulu_time_sec", F, 68400},
    {"sim/time/local_date_days", I, 180},
    {"sim/time/paused", I, 0},
    {"sim/time/sim_speed", I, 1},
    {"sim/time/total_running_time_sec", F, 0},
    {"sim/operation/misc/frame_rate_period", F, 1.0 / 60.0},

    // Position, attitude and speeds.
    {"sim/flightmodel/position/latitude", D, 47.46},
    {"sim/flightmodel/position/longitude", D, -122.31},
    {"sim/flightmodel/position/elevation", D, 130},
    {"sim/flightmodel/position/local_x", D, 0},
    {"sim/flightmodel/position/local_y", D, 130},
    {"sim/flightmodel/position/local_z", D, 0},
    {"sim/flightmodel/position/y_agl", F, 1.2},
    {"sim/flightmodel/position/magnetic_variation", F, 15.5},
    {"sim/flightmodel/position/groundspeed", F, 0},
    {"sim/flightmodel/position/true_airspeed", F, 0},
    {"sim/flightmodel/position/indicated_airspeed", F, 0},
    {"sim/flightmodel/position/vh_ind", F, 0},
    {"sim/flightmodel/position/vh_ind_fpm", F, 0},
    {"sim/flightmodel/position/theta", F, 0},
    {"sim/flightmodel/position/phi", F, 0},
    {"sim/flightmodel/position/psi", F, 163},
    {"sim/flightmodel/position/alpha", F, 0},
    {"sim/flightmodel/position/beta", F, 0},
    {"sim/flightmodel/position/local_vx", F, 0},
    {"sim/flightmodel/position/local_vy", F, 0},
    {"sim/flightmodel/position/local_vz", F, 0},
    {"sim/flightmodel/position/local_ax", F, 0},
    {"sim/flightmodel/position/local_ay", F, 0},
    {"sim/flightmodel/position/local_az", F, 0},
    {"sim/flightmodel/position/P", F, 0},
    {"sim/flightmodel/position/Q", F, 0},
    {"sim/flightmodel/position/R", F, 0},
    {"sim/flightmodel/position/Prad", F, 0},
    {"sim/flightmodel/position/Qrad", F, 0},
    {"sim/flightmodel/position/Rrad", F, 0},
    {"sim/flightmodel/position/P_dot", F, 0},
    {"sim/flightmodel/position/Q_dot", F, 0},
    {"sim/flightmodel/position/R_dot", F, 0},
    {"sim/flightmodel/position/q", VF, 0, 4},  // filled from psi below
    {"sim/flightmodel/misc/slip", F, 0},
    {"sim/flightmodel/misc/machno", F, 0},
    {"sim/flightmodel/misc/nosewheel_speed", F, 0},
    {"sim/flightmodel/forces/g_side", F, 0},
    {"sim/flightmodel/forces/g_nrml", F, 1},
    {"sim/flightmodel/forces/g_axil", F, 0},
    {"sim/flightmodel/failures/stallwarning", I, 0},
    {"sim/cockpit2/gauges/indicators/altitude_ft_pilot", F, 426.5},
    {"sim/aircraft/view/acf_Vne", F, 163},

    // Radios (frequencies in 10 kHz units, ADF in kHz).
    {"sim/cockpit/radios/com1_freq_hz", I, 11810},
    {"sim/cockpit/radios/com1_stdby_freq_hz", I, 11970},
    {"sim/cockpit/radios/com2_freq_hz", I, 12190},
    {"sim/cockpit/radios/com2_stdby_freq_hz", I, 12700},
    {"sim/cockpit/radios/nav1_freq_hz", I, 11030},
    {"sim/cockpit/radios/nav1_stdby_freq_hz", I, 11680},
    {"sim/cockpit/radios/nav2_freq_hz", I, 11680},
    {"sim/cockpit/radios/nav2_stdby_freq_hz", I, 11030},
    {"sim/cockpit/radios/adf1_freq_hz", I, 362},
    {"sim/cockpit/radios/adf2_freq_hz", I, 230},
    {"sim/cockpit/radios/transponder_code", I, 1200},
    {"sim/cockpit/radios/transponder_mode", I, 1},
    {"sim/cockpit/radios/nav_type", VI, 0, 6},
    {"sim/cockpit/radios/nav1_CDI", I, 1},
    {"sim/cockpit/radios/nav1_dir_degt", F, 163},
    {"sim/cockpit/radios/nav1_dme_dist_m", F, 0.6},
    {"sim/cockpit/radios/nav1_fromto", I, 1},
    {"sim/cockpit/radios/nav1_has_dme", I, 1},
    {"sim/cockpit/radios/nav1_hdef_dot", F, 0},
    {"sim/cockpit/radios/nav1_vdef_dot", F, 0},
    {"sim/cockpit/radios/nav1_obs_degm", F, 148},
    {"sim/cockpit/radios/nav1_slope_degt", F, 3},
    {"sim/cockpit/radios/nav2_CDI", I, 0},
    {"sim/cockpit/radios/nav2_dir_degt", F, 184},
    {"sim/cockpit/radios/nav2_dme_dist_m", F, 2.5},
    {"sim/cockpit/radios/nav2_fromto", I, 1},
    {"sim/cockpit/radios/nav2_has_dme", I, 1},
    {"sim/cockpit/radios/nav2_hdef_dot", F, 0},
    {"sim/cockpit/radios/nav2_vdef_dot", F, 0},
    {"sim/cockpit/radios/nav2_obs_degm", F, 0},
    {"sim/cockpit/radios/nav2_slope_degt", F, 0},
    {"sim/cockpit/misc/barometer_setting", F, 29.92},
    {"sim/cockpit/misc/over_inner_marker", I, 0},
    {"sim/cockpit/misc/over_middle_marker", I, 0},
    {"sim/cockpit/misc/over_outer_marker", I, 0},
    {"sim/cockpit/misc/vacuum", F, 0},
    {"sim/cockpit/misc/hydraulic_quantity", F, 1},

    // Autopilot and switches.
    {"sim/cockpit/autopilot/autopilot_mode", I, 0},
    {"sim/cockpit/autopilot/autopilot_state", I, 0},
    {"sim/cockpit/autopilot/heading_mag", F, 148},
    {"sim/cockpit/autopilot/altitude", F, 3000},
    {"sim/cockpit/autopilot/airspeed", F, 120},
    {"sim/cockpit/autopilot/airspeed_is_mach", I, 0},
    {"sim/cockpit/autopilot/vertical_velocity", F, 0},
    {"sim/cockpit/autopilot/flight_director_pitch", F, 0},
    {"sim/cockpit/autopilot/flight_director_roll", F, 0},
    {"sim/cockpit/switches/yaw_damper_on", I, 0},
    {"sim/cockpit/switches/pitot_heat_on", I, 0},
    {"sim/cockpit/switches/gear_handle_status", I, 1},
    {"sim/cockpit/switches/auto_brake_settings", I, 1},
    {"sim/cockpit/switches/anti_ice_surf_heat_left", I, 0},
    {"sim/cockpit/switches/anti_ice_surf_heat_right", I, 0},
    {"sim/cockpit2/switches/wiper_speed", I, 0},
    {"sim/cockpit/warnings/annunciators/reverse", I, 0},
    {"sim/cockpit/electrical/battery_on", I, 0},
    {"sim/cockpit/electrical/avionics_on", I, 0},
    {"sim/cockpit/electrical/generator_on", VI, 0, kGenerators},
    {"sim/cockpit/engine/APU_switch", I, 0},
    {"sim/joystick/has_joystick", I, 1},
    {"sim/operation/override/override_joystick_pitch", I, 0},
    {"sim/operation/override/override_joystick_roll", I, 0},
    {"sim/operation/override/override_joystick_heading", I, 0},
    {"sim/operation/override/override_throttles", I, 0},
    {"sim/operation/override/override_autopilot", I, 0},
    {"sim/operation/override/override_planepath", VI, 0, 20},
    {"sim/operation/failures/failures", VI, 0, kFailures},

    // Engines: two fitted, cold and dark.
    {"sim/aircraft/engine/acf_num_engines", I, 2},
    // Temperatures in Celsius (SetFahrenheitAircraft makes them Fahrenheit).
    {"sim/aircraft/engine/acf_EGT_is_C", I, 1},
    {"sim/aircraft/engine/acf_oilT_is_C", I, 1},
    {"sim/aircraft/prop/acf_en_type", VI, 0, kEngines},
    {"sim/cockpit2/engine/actuators/throttle_ratio", VF, 0, kEngines},
    {"sim/cockpit2/engine/actuators/mixture_ratio", VF, 1, kEngines, 2},
    {"sim/cockpit2/engine/indicators/MPR_in_hg", VF, 29.92, kEngines, 2},
    {"sim/cockpit2/engine/indicators/oil_quantity_ratio", VF, 1, kEngines, 2},
    {"sim/cockpit2/hydraulics/indicators/hydraulic_pressure_1", F, 0},
    {"sim/cockpit/engine/ignition_on", VI, 0, kEngines},
    {"sim/cockpit/engine/igniters_on", VI, 0, kEngines},
    {"sim/cockpit/engine/fuel_pump_on", VI, 0, kEngines},
    {"sim/cockpit/engine/starter_duration", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_mixt", VF, 1, kEngines, 2},
    {"sim/flightmodel/engine/ENGN_running", VI, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_N1_", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_N2_", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_thro", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_thro_use", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_FF_", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_heat", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_oil_temp_c", VF, 15, kEngines, 2},
    {"sim/flightmodel/engine/ENGN_oil_press_psi", VF, 0, kEngines},
    {"sim/flightmodel/engine/ENGN_EPR", VF, 1, kEngines, 2},
    {"sim/flightmodel/engine/ENGN_EGT_c", VF, 15, kEngines, 2},
    {"sim/flightmodel/engine/ENGN_propmode", VI, 1, kEngines},
    {"sim/flightmodel/engine/POINT_tacrad", VF, 0, kEngines},

    // Fuel and weight: two tanks of 100 kg, 90 kg in each.
    {"sim/aircraft/overflow/acf_num_tanks", I, 2},
    {"sim/aircraft/overflow/acf_tank_rat", VF, 0.5, kTanks, 2},
    {"sim/aircraft/weight/acf_m_fuel_tot", F, 200},
    {"sim/aircraft/weight/acf_m_empty", F, 1000},
    {"sim/flightmodel/weight/m_fuel", VF, 90, kTanks, 2},
    {"sim/flightmodel/weight/m_fixed", F, 170},
    {"sim/flightmodel/weight/m_total", F, 1350},

    // Flight controls and gear.
    {"sim/joystick/yolk_pitch_ratio", F, 0},
    {"sim/joystick/yoke_roll_ratio", F, 0},
    {"sim/joystick/yolk_heading_ratio", F, 0},
    {"sim/flightmodel/controls/hstab1_elv1def", F, 0},
    {"sim/flightmodel/controls/lail1def", F, 0},
    {"sim/flightmodel/controls/ldruddef", F, 0},
    {"sim/flightmodel/controls/elv_trim", F, 0},
    {"sim/flightmodel/controls/ail_trim", F, 0},
    {"sim/flightmodel/controls/rud_trim", F, 0},
    {"sim/flightmodel/controls/parkbrake", F, 1},
    {"sim/flightmodel/controls/sbrkrqst", F, 0},
    {"sim/flightmodel/controls/sbrkrat", F, 0},
    {"sim/flightmodel/controls/flaprqst", F, 0},
    {"sim/flightmodel/controls/wing1l_fla1def", F, 0},
    {"sim/flightmodel/controls/wing1r_fla1def", F, 0},
    {"sim/flightmodel/controls/wing2l_fla1def", F, 0},
    {"sim/flightmodel/controls/wing2r_fla1def", F, 0},
    {"sim/flightmodel/controls/wing1r_fla2def", F, 0},
    {"sim/flightmodel2/controls/slat1_deploy_ratio", F, 0},
    {"sim/cockpit2/controls/flap_handle_deploy_ratio", F, 0},
    {"sim/aircraft/parts/acf_gear_deploy", VF, 1, kGears, 3},
    {"sim/aircraft/gear/acf_gear_is_skid", I, 0},
    {"sim/flightmodel/parts/tire_steer_act", VF, 0, kGears},

    // Weather: the scalar and the indexed layer names are separate datarefs.
    // Wind speeds are given in knots here and kept in the host's unit.
    {"sim/weather/temperature_sealevel_c", F, 15},
    {"sim/weather/temperature_ambient_c", F, 14.2},
    {"sim/weather/dewpoi_sealevel_c", F, 8},
    {"sim/weather/barometer_sealevel_inhg", F, 29.92},
    {"sim/weather/visibility_reported_m", F, 16093},
    {"sim/weather/rain_percent", F, 0},
    {"sim/weather/runway_friction", F, 0},
    {"sim/weather/speed_sound_ms", F, 340.3},
    {"sim/weather/sigma", F, 0.988},
    {"sim/weather/rho", F, 1.21},
    {"sim/physics/rho_sea_level", F, 1.225},
    {"sim/weather/wind_speed_kt", F, 5},
    {"sim/weather/wind_direction_degt", F, 270},
    {"sim/weather/wind_speed_kt[0]", F, 5},
    {"sim/weather/wind_speed_kt[1]", F, 15},
    {"sim/weather/wind_speed_kt[2]", F, 30},
    {"sim/weather/wind_direction_degt[0]", F, 270},
    {"sim/weather/wind_direction_degt[1]", F, 280},
    {"sim/weather/wind_direction_degt[2]", F, 290},
    {"sim/weather/wind_altitude_msl_m[0]", F, 1000},
    {"sim/weather/wind_altitude_msl_m[1]", F, 3000},
    {"sim/weather/wind_altitude_msl_m[2]", F, 9000},
    {"sim/weather/turbulence[0]", F, 0},
    {"sim/weather/turbulence[1]", F, 0},
    {"sim/weather/turbulence[2]", F, 0},
    {"sim/weather/shear_speed_kt[0]", F, 0},
    {"sim/weather/shear_speed_kt[1]", F, 0},
    {"sim/weather/shear_speed_kt[2]", F, 0},
    {"sim/weather/cloud_base_msl_m[0]", F, 1500},
    {"sim/weather/cloud_tops_msl_m[0]", F, 2500},
    {"sim/weather/cloud_type[0]", I, 2},
    {"sim/weather/cloud_base_msl_m[2]", F, 0},
    {"sim/weather/cloud_tops_msl_m[2]", F, 0},
    {"sim/weather/cloud_type[2]", I, 0},
};

// The wind speed references, which 12 keeps in metres per second.
constexpr const char* kWindSpeeds[] = {
    "sim/weather/wind_speed_kt", "sim/weather/wind_speed_kt[0]",
    "sim/weather/wind_speed_kt[1]", "sim/weather/wind_speed_kt[2]"};
constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;

// References of the table the plugin may not set on 12.1 (the list's
// writable column).
constexpr const char* kReadOnly[] = {
    "sim/time/local_time_sec",
    "sim/time/paused",
    "sim/flightmodel/position/latitude",
    "sim/flightmodel/position/longitude",
    "sim/flightmodel/position/elevation",
    "sim/flightmodel/position/y_agl",
    "sim/flightmodel/position/magnetic_variation",
    "sim/flightmodel/position/groundspeed",
    "sim/flightmodel/position/vh_ind",
    "sim/flightmodel/position/alpha",
    "sim/flightmodel/position/beta",
    "sim/flightmodel/position/P_dot",
    "sim/flightmodel/position/Q_dot",
    "sim/flightmodel/position/R_dot",
    "sim/flightmodel/misc/machno",
    "sim/flightmodel/misc/nosewheel_speed",
    "sim/flightmodel/forces/g_side",
    "sim/flightmodel/forces/g_nrml",
    "sim/flightmodel/forces/g_axil",
    "sim/cockpit/radios/nav_type",
    "sim/cockpit/radios/nav1_CDI",
    "sim/cockpit/radios/nav2_CDI",
    "sim/joystick/has_joystick",
    "sim/operation/failures/failures",
    "sim/aircraft/engine/acf_EGT_is_C",
    "sim/aircraft/engine/acf_oilT_is_C",
    "sim/aircraft/prop/acf_en_type",
    "sim/cockpit2/engine/indicators/oil_quantity_ratio",
    "sim/cockpit2/hydraulics/indicators/hydraulic_pressure_1",
    "sim/aircraft/overflow/acf_num_tanks",
    "sim/flightmodel/weight/m_total",
    "sim/cockpit2/controls/flap_handle_deploy_ratio",
    "sim/weather/temperature_ambient_c",
    "sim/weather/speed_sound_ms",
    "sim/weather/sigma",
    "sim/weather/rho",
    "sim/physics/rho_sea_level",
    "sim/weather/wind_speed_kt",
    "sim/weather/wind_direction_degt",
    "sim/multiplayer/position/plane1_lat",
    "sim/multiplayer/position/plane1_lon",
    "sim/multiplayer/position/plane1_el",
    "sim/multiplayer/position/plane2_lat",
    "sim/multiplayer/position/plane2_lon",
    "sim/multiplayer/position/plane2_el",
    "sim/multiplayer/position/plane3_lat",
    "sim/multiplayer/position/plane3_lon",
    "sim/multiplayer/position/plane3_el",
    "sim/multiplayer/position/plane4_lat",
    "sim/multiplayer/position/plane4_lon",
    "sim/multiplayer/position/plane4_el",
    "sim/multiplayer/position/plane5_lat",
    "sim/multiplayer/position/plane5_lon",
    "sim/multiplayer/position/plane5_el",
    "sim/multiplayer/position/plane6_lat",
    "sim/multiplayer/position/plane6_lon",
    "sim/multiplayer/position/plane6_el",
    "sim/multiplayer/position/plane7_lat",
    "sim/multiplayer/position/plane7_lon",
    "sim/multiplayer/position/plane7_el",
    "sim/multiplayer/position/plane8_lat",
    "sim/multiplayer/position/plane8_lon",
    "sim/multiplayer/position/plane8_el",
    "sim/multiplayer/position/plane9_lat",
    "sim/multiplayer/position/plane9_lon",
    "sim/multiplayer/position/plane9_el",
    "sim/multiplayer/position/plane10_lat",
    "sim/multiplayer/position/plane10_lon",
    "sim/multiplayer/position/plane10_el",
    "sim/multiplayer/position/plane11_lat",
    "sim/multiplayer/position/plane11_lon",
    "sim/multiplayer/position/plane11_el",
    "sim/multiplayer/position/plane12_lat",
    "sim/multiplayer/position/plane12_lon",
    "sim/multiplayer/position/plane12_el",
    "sim/multiplayer/position/plane13_lat",
    "sim/multiplayer/position/plane13_lon",
    "sim/multiplayer/position/plane13_el",
    "sim/multiplayer/position/plane14_lat",
    "sim/multiplayer/position/plane14_lon",
    "sim/multiplayer/position/plane14_el",
    "sim/multiplayer/position/plane15_lat",
    "sim/multiplayer/position/plane15_lon",
    "sim/multiplayer/position/plane15_el",
    "sim/multiplayer/position/plane16_lat",
    "sim/multiplayer/position/plane16_lon",
    "sim/multiplayer/position/plane16_el",
    "sim/multiplayer/position/plane17_lat",
    "sim/multiplayer/position/plane17_lon",
    "sim/multiplayer/position/plane17_el",
    "sim/multiplayer/position/plane18_lat",
    "sim/multiplayer/position/plane18_lon",
    "sim/multiplayer/position/plane18_el",
    "sim/multiplayer/position/plane19_lat",
    "sim/multiplayer/position/plane19_lon",
    "sim/multiplayer/position/plane19_el",
};

// Quaternion of a heading, pitch and roll in degrees, in the simulator's
// element order (w, x, y, z).
void AttitudeQuaternion(double psi, double theta, double phi, float q[4]) {
  const double r = std::numbers::pi / 360.0;  // half angle, in radians
  double cp = std::cos(psi * r), sp = std::sin(psi * r);
  double ct = std::cos(theta * r), st = std::sin(theta * r);
  double cr = std::cos(phi * r), sr = std::sin(phi * r);
  q[0] = static_cast<float>(cp * ct * cr + sp * st * sr);
  q[1] = static_cast<float>(cp * ct * sr - sp * st * cr);
  q[2] = static_cast<float>(cp * st * cr + sp * ct * sr);
  q[3] = static_cast<float>(-cp * st * sr + sp * ct * cr);
}

}  // namespace

void DefineDefaultDatarefs(Host::State& s) REQUIRES(s.mu) {
  for (const Row& row : kRows) {
    Dataref& d = DefineDataref(s, row.name, row.kind);
    int filled = row.filled > 0 ? row.filled : row.size;
    switch (row.kind) {
      case DataType::kIntArray:
        d.ints.assign(row.size, 0);
        for (int i = 0; i < filled; ++i)
          d.ints[i] = static_cast<int>(row.value);
        break;
      case DataType::kFloatArray:
        d.floats.assign(row.size, 0.0f);
        for (int i = 0; i < filled; ++i) {
          d.floats[i] = static_cast<float>(row.value);
        }
        break;
      default:
        d.scalar = row.kind == DataType::kFloat ? static_cast<float>(row.value)
                                                : row.value;
    }
  }
  for (const char* name : kWindSpeeds) {
    Dataref& d = *s.by_name[name];
    d.scalar = static_cast<float>(d.scalar / kKnotsPerMetrePerSecond);
  }
  float q[4];
  AttitudeQuaternion(163, 0, 0, q);
  s.by_name["sim/flightmodel/position/q"]->floats.assign(q, q + 4);

  // Navaid identifiers as the radios show them (zero-padded text blocks).
  std::string adf1 = "BF";
  adf1.resize(150, '\0');
  DefineDataref(s, "sim/cockpit2/radios/indicators/adf1_nav_id",
                DataType::kBytes)
      .bytes = adf1;
  DefineDataref(s, "sim/cockpit2/radios/indicators/adf2_nav_id",
                DataType::kBytes)
      .bytes = std::string(150, '\0');

  // Multiplayer planes 1 to 19, parked nowhere until a scenario moves them.
  static const char* const kDoubles[] = {"lat", "lon", "el"};
  static const char* const kFloats[] = {"the", "phi", "psi",
                                        "v_x", "v_y", "v_z"};
  for (int n = 1; n <= kPlanes; ++n) {
    std::string prefix =
        "sim/multiplayer/position/plane" + std::to_string(n) + "_";
    for (const char* field : kDoubles) {
      DefineDataref(s, prefix + field, DataType::kDouble);
    }
    for (const char* field : kFloats) {
      DefineDataref(s, prefix + field, DataType::kFloat);
    }
  }
  for (const char* name : kReadOnly) s.by_name.at(name)->writable = false;
}

void DefineOlderHostDatarefs(Host::State& s) REQUIRES(s.mu) {
  Dataref& failures =
      DefineDataref(s, "sim/operation/failures/failures", DataType::kIntArray);
  failures.ints.assign(kOlderFailures, 0);
  DefineDataref(s, "sim/weather/thunderstorm_percent", DataType::kFloat);
  DefineDataref(s, "sim/cockpit/radios/nav2_course_degt", DataType::kFloat);
  DefineDataref(s, "sim/aircraft/overflow/acf_has_nav", DataType::kInt).scalar =
      1;
  for (const char* name : kWindSpeeds) {
    Dataref& d = *s.by_name[name];
    d.scalar = static_cast<float>(d.scalar * kKnotsPerMetrePerSecond);
  }
}

void SetAircraftTemperatureUnits(Host::State& s, bool fahrenheit)
    REQUIRES(s.mu) {
  const double celsius_flag = fahrenheit ? 0 : 1;
  const char* const kTemperatures[][2] = {
      {"sim/aircraft/engine/acf_EGT_is_C", "sim/flightmodel/engine/ENGN_EGT_c"},
      {"sim/aircraft/engine/acf_oilT_is_C",
       "sim/flightmodel/engine/ENGN_oil_temp_c"}};
  for (const auto& [flag_name, values_name] : kTemperatures) {
    Dataref& flag = *s.by_name.at(flag_name);
    if (flag.scalar == celsius_flag) continue;
    flag.scalar = celsius_flag;
    for (float& t : s.by_name.at(values_name)->floats) {
      t = static_cast<float>(fahrenheit ? t * 9.0 / 5.0 + 32.0
                                        : (t - 32.0) * 5.0 / 9.0);
    }
  }
}

}  // namespace simhost
