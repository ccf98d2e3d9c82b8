#include "offsets/reference_tables.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "XPLMPlugin.h"
#include "base/status_log.h"

namespace tarvos {

XPLMDataRef DataRefMemBlock[kOffsetSpaceSize];
XPLMDataRef VariablesAccessMemBlock[kOffsetSpaceSize];
XPLMCommandRef CommandBlock[kCommandSlots];
std::atomic<int32_t> X737PluginId{-1};
std::atomic<int32_t> X737Active{0};
std::atomic<int32_t> X737LookupPending{1};
std::atomic<int32_t> XPushbackPresent{0};
std::atomic<int32_t> XPushbackLookupPending{1};

namespace {

// A lookup whose handle is stored in DataRefMemBlock[slot] or
// VariablesAccessMemBlock[slot]. Rows are looked up in table order; several
// slots may name the same dataref (each keeps its own copy of the handle).
// `access` is every accessor used through the slot, for reading or
// writing (kNone: looked up, never used).
struct SlotLookup {
  uint16_t slot;
  const char* name;
  uint8_t access;
};

constexpr uint8_t kNone = kAccessNone;
constexpr uint8_t kI = kAccessInt;
constexpr uint8_t kF = kAccessFloat;
constexpr uint8_t kD = kAccessDouble;
constexpr uint8_t kVI = kAccessIntArray;
constexpr uint8_t kVF = kAccessFloatArray;
constexpr uint8_t kB = kAccessBytes;

// Time, position, speeds, radios, weather at ground level, attitude and
// autopilot (DataRefMemBlock).
constexpr SlotLookup kPrimaryLookups[] = {
    {0x0020, "sim/flightmodel/position/elevation", kD},
    {0x0238, "sim/time/local_time_sec", kF},
    {0x023B, "sim/time/zulu_time_sec", kF},
    {0x023E, "sim/time/local_date_days", kI},
    {0x0264, "sim/time/paused", kI},
    {0x0274, "sim/operation/misc/frame_rate_period", kF},
    {0x029C, "sim/cockpit/switches/pitot_heat_on", kI},
    {0x02A0, "sim/flightmodel/position/magnetic_variation", kF},
    {0x02B4, "sim/flightmodel/position/groundspeed", kF},
    {0x02B8, "sim/flightmodel/position/true_airspeed", kF},
    {0x02BC, "sim/flightmodel/position/indicated_airspeed", kF},
    {0x02C4, "sim/aircraft/view/acf_Vne", kF},
    {0x02C8, "sim/flightmodel/position/vh_ind", kF},
    {0x02D4, "sim/cockpit/radios/adf2_freq_hz", kI},
    {0x02DC, "sim/cockpit2/radios/indicators/adf2_nav_id", kB},
    {0x030C, "sim/flightmodel/position/vh_ind", kNone},
    {0x0330, "sim/cockpit/misc/barometer_setting", kF},
    {0x034C, "sim/cockpit/radios/adf1_freq_hz", kI},
    {0x034E, "sim/cockpit/radios/com1_freq_hz", kI},
    {0x0350, "sim/cockpit/radios/nav1_freq_hz", kI},
    {0x0352, "sim/cockpit/radios/nav2_freq_hz", kI},
    {0x0354, "sim/cockpit/radios/transponder_code", kI},
    {0x036C, "sim/flightmodel/failures/stallwarning", kI},
    {0x036E, "sim/flightmodel/misc/slip", kF},
    {0x04C8, "sim/weather/dewpoi_sealevel_c", kF},
    {0x04CB, "sim/weather/rain_percent", kF},
    {0x04CC, "sim/weather/temperature_sealevel_c", kF},
    {0x04D4, "sim/weather/dewpoi_sealevel_c", kF},
    {0x04D8, "sim/weather/wind_speed_kt[0]", kNone},
    {0x04DA, "sim/weather/wind_direction_degt[0]", kNone},
    {0x0560, "sim/flightmodel/position/latitude", kD | kF},
    {0x0568, "sim/flightmodel/position/longitude", kD | kF},
    {0x0570, "sim/flightmodel/position/elevation", kD | kF},
    {0x0578, "sim/flightmodel/position/theta", kF},
    {0x057C, "sim/flightmodel/position/phi", kF},
    {0x0580, "sim/flightmodel/position/psi", kF},
    {0x0609, "sim/aircraft/prop/acf_en_type", kVI},
    {0x07A0, "sim/aircraft/overflow/acf_has_nav", kNone},
    {0x07A4, "sim/aircraft/overflow/acf_has_nav", kNone},
    {0x07BC, "sim/cockpit/autopilot/autopilot_mode", kI},
    {0x07C0, "sim/cockpit/autopilot/autopilot_state", kI},
    {0x07C4, "sim/cockpit/autopilot/autopilot_state", kNone},
    {0x07C8, "sim/cockpit/autopilot/autopilot_state", kI},
    {0x07CC, "sim/cockpit/autopilot/heading_mag", kF},
    {0x07D0, "sim/cockpit/autopilot/autopilot_state", kI},
    {0x07D4, "sim/cockpit/autopilot/altitude", kF},
    {0x07DC, "sim/cockpit/autopilot/autopilot_state", kI},
    {0x07E2, "sim/cockpit/autopilot/airspeed", kF},
    {0x07E4, "sim/cockpit/autopilot/autopilot_state", kI},
    {0x07E8, "sim/cockpit/autopilot/airspeed", kF},
    {0x07EC, "sim/cockpit/autopilot/autopilot_state", kI},
    {0x07F2, "sim/cockpit/autopilot/vertical_velocity", kF},
    {0x0800, "sim/cockpit/autopilot/autopilot_state", kI},
    {0x0808, "sim/cockpit/switches/yaw_damper_on", kI},
    {0x080C, "sim/cockpit/autopilot/autopilot_state", kNone},
    {0x0844, "sim/cockpit/radios/nav2_course_degt", kNone},
    {0x0846, "sim/cockpit/radios/nav2_slope_degt", kF},
    {0x0872, "sim/cockpit/radios/nav1_slope_degt", kF},
};

// Engine 1 of the engine block. Engine n uses these slots plus
// kEngineStride * (n - 1) and reads array element n - 1 of the same
// datarefs; `all_engines` false marks the slots engines 3 and 4 lack (oil
// quantity, hydraulic pressure, hydraulic quantity).
struct EngineLookup {
  uint16_t slot;
  const char* name;
  bool all_engines;
  uint8_t access;
};
constexpr uint16_t kEngineStride = 0x98;
constexpr int kEngineCount = 4;
constexpr EngineLookup kEngineLookups[] = {
    {0x088C, "sim/cockpit2/engine/actuators/throttle_ratio", true, kVF},
    {0x0890, "sim/flightmodel/engine/ENGN_mixt", true, kVF},
    {0x0892, "sim/cockpit/engine/ignition_on", true, kVI},
    {0x0894, "sim/flightmodel/engine/ENGN_running", true, kVI},
    {0x0896, "sim/flightmodel/engine/ENGN_N2_", true, kVF},
    {0x0898, "sim/flightmodel/engine/ENGN_N1_", true, kVF},
    {0x089A, "sim/flightmodel/engine/ENGN_thro", true, kVF},
    {0x08A0, "sim/flightmodel/engine/ENGN_FF_", true, kVF},
    {0x08B2, "sim/flightmodel/engine/ENGN_heat", true, kVF},
    {0x08B8, "sim/flightmodel/engine/ENGN_oil_temp_c", true, kVF},
    {0x08BA, "sim/flightmodel/engine/ENGN_oil_press_psi", true, kVF},
    {0x08BC, "sim/flightmodel/engine/ENGN_EPR", true, kVF},
    {0x08BE, "sim/flightmodel/engine/ENGN_EGT_c", true, kVF},
    {0x08C0, "sim/cockpit2/engine/indicators/MPR_in_hg", true, kVF},
    {0x08D0, "sim/cockpit2/engine/indicators/oil_quantity_ratio", false, kVF},
    {0x08D8, "sim/cockpit2/hydraulics/indicators/hydraulic_pressure_1", false,
     kF},
    {0x08DC, "sim/cockpit/misc/hydraulic_quantity", false, kF},
    {0x0918, "sim/flightmodel/engine/ENGN_FF_", true, kVF},  // fuel flow
};

// Fuel, controls, navigation receivers, weather layers, flight data and
// systems (DataRefMemBlock).
constexpr SlotLookup kSystemLookups[] = {
    {0x0B18, "sim/cockpit/misc/vacuum", kF},
    {0x0AEC, "sim/aircraft/engine/acf_num_engines", kI},
    {0x0B74, "sim/flightmodel/weight/m_fuel", kVF},
    {0x0B7C, "sim/flightmodel/weight/m_fuel", kVF},
    {0x0B84, "sim/flightmodel/weight/m_fuel", kNone},
    {0x0B8C, "sim/flightmodel/weight/m_fuel", kNone},
    {0x0B94, "sim/flightmodel/weight/m_fuel", kVF},
    {0x0B9C, "sim/flightmodel/weight/m_fuel", kNone},
    {0x0BA4, "sim/flightmodel/weight/m_fuel", kNone},
    {0x0BAC, "sim/cockpit/misc/over_inner_marker", kI},
    {0x0BAE, "sim/cockpit/misc/over_middle_marker", kI},
    {0x0BB0, "sim/cockpit/misc/over_outer_marker", kI},
    {0x0BB2, "sim/joystick/yolk_pitch_ratio", kF},
    {0x0BB4, "sim/flightmodel/controls/hstab1_elv1def", kF},
    {0x0BB6, "sim/joystick/yoke_roll_ratio", kF},
    {0x0BB8, "sim/flightmodel/controls/lail1def", kF},
    {0x0BBA, "sim/joystick/yolk_heading_ratio", kF},
    {0x0BBC, "sim/flightmodel/controls/ldruddef", kF},
    {0x0BC0, "sim/flightmodel/controls/elv_trim", kF},
    {0x0BC2, "sim/flightmodel/controls/elv_trim", kF},
    {0x0BC8, "sim/flightmodel/controls/parkbrake", kF},
    {0x0BCC, "sim/flightmodel/controls/sbrkrqst", kF},
    {0x0BD0, "sim/flightmodel/controls/sbrkrqst", kF},
    {0x0BD4, "sim/flightmodel/controls/sbrkrat", kF},
    {0x0BD8, "sim/flightmodel/controls/sbrkrat", kF},
    {0x0BDC, "sim/flightmodel/controls/flaprqst", kF},
    {0x0BE0, "sim/cockpit2/controls/flap_handle_deploy_ratio", kF},
    {0x0BE4, "sim/flightmodel/controls/wing1r_fla2def", kF},
    {0x0BE8, "sim/cockpit/switches/gear_handle_status", kI},
    {0x0BEC, "sim/aircraft/parts/acf_gear_deploy", kVF},
    {0x0BF0, "sim/aircraft/parts/acf_gear_deploy", kVF},
    {0x0BF4, "sim/aircraft/parts/acf_gear_deploy", kVF},
    {0x0C1A, "sim/time/sim_speed", kI},
    {0x0C29, "sim/cockpit/radios/nav1_dme_dist_m", kF},
    {0x0C33, "sim/cockpit/radios/nav2_dme_dist_m", kF},
    {0x0C48, "sim/cockpit/radios/nav1_hdef_dot", kF},
    {0x0C49, "sim/cockpit/radios/nav1_vdef_dot", kF},
    {0x0C4B, "sim/cockpit/radios/nav1_fromto", kI},
    {0x0C4C, "sim/cockpit/radios/nav1_CDI", kI},
    {0x0C4D, "sim/cockpit/radios/nav1_has_dme", kI},
    {0x0C4E, "sim/cockpit/radios/nav1_obs_degm", kF},
    {0x0C50, "sim/cockpit/radios/nav1_dir_degt", kF},
    {0x0C56, "sim/cockpit/radios/nav1_dir_degt", kF},
    {0x0C5B, "sim/cockpit/radios/nav2_fromto", kI},
    {0x0C5C, "sim/cockpit/radios/nav2_dir_degt", kF},
    {0x0C5E, "sim/cockpit/radios/nav2_obs_degm", kF},
    {0x0C59, "sim/cockpit/radios/nav2_hdef_dot", kF},
    {0x0C60, "sim/cockpit/radios/nav2_dir_degt", kF},
    {0x0C6E, "sim/cockpit/radios/nav2_vdef_dot", kF},
    {0x0C6F, "sim/cockpit/radios/nav2_CDI", kI},
    {0x0C70, "sim/cockpit/radios/nav2_has_dme", kI},
    {0x0E8A, "sim/weather/visibility_reported_m", kF},
    {0x0E8C, "sim/weather/temperature_ambient_c", kF},
    {0x0E90, "sim/weather/wind_speed_kt", kF},
    {0x0E92, "sim/weather/wind_direction_degt", kF},
    {0x0E9A, "sim/weather/cloud_tops_msl_m[2]", kF},
    {0x0E9C, "sim/weather/cloud_base_msl_m[2]", kF},
    {0x0E9E, "sim/weather/cloud_type[2]", kI},
    {0x0EA2, "sim/weather/cloud_tops_msl_m[0]", kF},
    {0x0EA4, "sim/weather/cloud_base_msl_m[0]", kF},
    {0x0EA6, "sim/weather/cloud_type[0]", kI},
    {0x0EC0, "sim/weather/temperature_sealevel_c", kF},
    {0x0EC6, "sim/weather/barometer_sealevel_inhg", kF},
    {0x0F48, "sim/weather/barometer_sealevel_inhg", kF},
    {0x0F58, "sim/weather/wind_altitude_msl_m[2]", kNone},
    {0x0F5A, "sim/weather/wind_altitude_msl_m[2]", kNone},
    {0x0F5C, "sim/weather/wind_speed_kt[2]", kF},
    {0x0F5E, "sim/weather/wind_direction_degt[2]", kF},
    {0x0F60, "sim/weather/turbulence[2]", kF},
    {0x0F62, "sim/weather/shear_speed_kt[2]", kF},
    {0x0F64, "sim/weather/wind_altitude_msl_m[1]", kF},
    {0x0F66, "sim/weather/wind_altitude_msl_m[1]", kF},
    {0x0F68, "sim/weather/wind_speed_kt[1]", kF},
    {0x0F6A, "sim/weather/wind_direction_degt[1]", kF},
    {0x0F6C, "sim/weather/turbulence[1]", kF},
    {0x0F6E, "sim/weather/shear_speed_kt[1]", kF},
    {0x0F70, "sim/weather/wind_altitude_msl_m[0]", kF},
    {0x0F72, "sim/weather/wind_speed_kt[0]", kF},
    {0x0F74, "sim/weather/wind_direction_degt[0]", kF},
    {0x0F76, "sim/weather/turbulence[0]", kF},
    {0x0F78, "sim/weather/shear_speed_kt[0]", kF},
    {0x11BA, "sim/flightmodel/position/local_ay", kF},
    {0x11BE, "sim/flightmodel/position/alpha", kF},
    {0x11C6, "sim/flightmodel/misc/machno", kF},
    {0x11D0, "sim/weather/temperature_ambient_c", kF},
    {0x2EB0, "sim/flightmodel/controls/ail_trim", kF},
    {0x2400, "sim/flightmodel/engine/POINT_tacrad", kVF},
    {0x2500, "sim/flightmodel/engine/POINT_tacrad", kVF},
    {0x2EA0, "sim/flightmodel/controls/elv_trim", kF},
    {0x2EC0, "sim/flightmodel/controls/rud_trim", kF},
    {0x2ED0, "sim/flightmodel/position/alpha", kF},
    {0x2ED8, "sim/flightmodel/position/beta", kF},
    {0x2EE0, "sim/cockpit/autopilot/autopilot_mode", kI},
    {0x2EE8, "sim/cockpit/autopilot/flight_director_pitch", kF},
    {0x2EF0, "sim/cockpit/autopilot/flight_director_roll", kF},
    {0x2F70, "sim/flightmodel/position/theta", kF},
    {0x2F78, "sim/flightmodel/position/phi", kF},
    {0x2F80, "sim/cockpit/switches/auto_brake_settings", kI},
    {0x303E, "sim/cockpit2/radios/indicators/adf1_nav_id", kB},
    {0x3060, "sim/flightmodel/forces/g_side", kF},
    {0x3068, "sim/flightmodel/forces/g_nrml", kF},
    {0x3070, "sim/flightmodel/forces/g_axil", kF},
    {0x3078, "sim/flightmodel/position/Q_dot", kF},
    {0x3080, "sim/flightmodel/position/P_dot", kF},
    {0x3088, "sim/flightmodel/position/R_dot", kF},
    {0x30A8, "sim/flightmodel/position/Qrad", kF},
    {0x30B0, "sim/flightmodel/position/Prad", kF},
    {0x30B8, "sim/flightmodel/position/Rrad", kF},
    {0x3090, "sim/flightmodel/position/local_vx", kF},
    {0x3098, "sim/flightmodel/position/local_vz", kF},
    {0x30A0, "sim/flightmodel/position/local_vy", kF},
    {0x30C0, "sim/flightmodel/weight/m_total", kF},
    {0x30E8, "sim/flightmodel2/controls/slat1_deploy_ratio", kF},
    {0x30EA, "sim/flightmodel2/controls/slat1_deploy_ratio", kF},
    {0x30EC, "sim/flightmodel2/controls/slat1_deploy_ratio", kF},
    {0x30EE, "sim/flightmodel2/controls/slat1_deploy_ratio", kF},
    {0x30F0, "sim/flightmodel/controls/wing1l_fla1def", kF},
    {0x30F2, "sim/flightmodel/controls/wing2l_fla1def", kF},
    {0x30F4, "sim/flightmodel/controls/wing1r_fla1def", kF},
    {0x30F6, "sim/flightmodel/controls/wing2r_fla1def", kF},
    {0x3101, "sim/cockpit/electrical/generator_on", kVI},
    {0x3102, "sim/cockpit/electrical/battery_on", kI},
    {0x3103, "sim/cockpit/electrical/avionics_on", kI},
    {0x3104, "sim/cockpit/engine/fuel_pump_on", kVI},
    {0x3118, "sim/cockpit/radios/com2_freq_hz", kI},
    {0x311A, "sim/cockpit/radios/com1_stdby_freq_hz", kI},
    {0x311C, "sim/cockpit/radios/com2_stdby_freq_hz", kI},
    {0x311E, "sim/cockpit/radios/nav1_stdby_freq_hz", kI},
    {0x3120, "sim/cockpit/radios/nav2_stdby_freq_hz", kI},
    {0x31A0, "sim/flightmodel/position/vh_ind_fpm", kF},
    {0x31E4, "sim/flightmodel/position/y_agl", kF},
    {0x3324, "sim/cockpit2/gauges/indicators/altitude_ft_pilot", kF},
    {0x3590, "sim/cockpit2/engine/actuators/mixture_ratio", kVF},
    {0x3594, "sim/cockpit2/engine/actuators/mixture_ratio", kVF},
    {0x3BFC, "sim/flightmodel/weight/m_fixed", kF},
    {0x6D88, "sim/cockpit2/switches/wiper_speed", kI},
    {0x6D8A, "sim/flightmodel/parts/tire_steer_act", kVF},
    {0x6D8C, "sim/cockpit/radios/transponder_mode", kI},
    {0x6D8E, "sim/cockpit/engine/igniters_on", kVI},
    {0x6D8F, "sim/cockpit/engine/igniters_on", kVI},
    {0x6DA4, "sim/operation/failures/failures", kVI},
    {0x6DA8, "sim/weather/runway_friction", kF | kI},
    {0x6DA9, "sim/cockpit/engine/APU_switch", kI},
    {0x6DAA, "sim/operation/failures/failures", kVI},
    {0x6DAF, "sim/weather/thunderstorm_percent", kF},
    {0x6F00, "sim/flightmodel/misc/nosewheel_speed", kF},
    {0x6F02, "sim/aircraft/gear/acf_gear_is_skid", kNone},
    {0x6F0B, "sim/cockpit/switches/anti_ice_surf_heat_left", kI},
    {0x6F0C, "sim/cockpit/switches/anti_ice_surf_heat_right", kI},
};

// Multiplayer aircraft, planes 1 to kMultiplayerPlanes (DataRefMemBlock,
// read as floats by the traffic threads). Names are formed with the plane
// number in place of %d.
constexpr int kMultiplayerPlanes = 19;
constexpr uint16_t kPitchSlotBase = 0xD846;  // + 0x14 per plane
constexpr uint16_t kBankSlotBase = 0xD852;   // + 0x14 per plane
constexpr uint16_t kAttitudeStride = 0x14;
constexpr uint16_t kTrafficSlotBase = 0xF084;  // + 0x28 per plane
constexpr uint16_t kTrafficStride = 0x28;
struct MultiplayerLookup {
  uint16_t slot_delta;  // from the plane's traffic slot base
  const char* name_format;
  uint8_t access = kAccessFloat;
};
constexpr MultiplayerLookup kMultiplayerLookups[] = {
    {0x00, "sim/multiplayer/position/plane%d_lat"},
    {0x04, "sim/multiplayer/position/plane%d_lon"},
    {0x08, "sim/multiplayer/position/plane%d_el"},
    {0x0C, "sim/multiplayer/position/plane%d_psi"},
    {0x0E, "sim/multiplayer/position/plane%d_v_x"},
    {0x0F, "sim/multiplayer/position/plane%d_v_z"},
    {0x10, "sim/multiplayer/position/plane%d_v_y"},
};

// Variables: handles not tied to one offset (VariablesAccessMemBlock).
constexpr SlotLookup kVariableLookups[] = {
    {0x0002, "sim/cockpit/radios/nav1_freq_hz", kNone},
    {0x0003, "sim/cockpit/radios/nav_type", kVI},
    {0x0010, "sim/cockpit/warnings/annunciators/reverse", kI},
    {0x0020, "sim/operation/override/override_joystick_pitch", kI},
    {0x0021, "sim/operation/override/override_joystick_roll", kI},
    {0x0022, "sim/operation/override/override_joystick_heading", kI},
    {0x0023, "sim/operation/override/override_throttles", kI},
    {0x0024, "sim/operation/override/override_autopilot", kNone},
    {0x0025, "sim/joystick/has_joystick", kI},
    {0x0030, "sim/aircraft/weight/acf_m_fuel_tot", kF},
    {0x0031, "sim/aircraft/overflow/acf_num_tanks", kI},
    {0x0032, "sim/aircraft/overflow/acf_tank_rat", kVF},
    {0x0033, "sim/time/total_running_time_sec", kF},
    {0x0034, "sim/aircraft/weight/acf_m_empty", kF},
    {0x0035, "sim/flightmodel/position/local_vx", kF},
    {0x0036, "sim/flightmodel/position/local_vy", kF},
    {0x0037, "sim/flightmodel/position/local_vz", kF},
    {0x0038, "sim/cockpit/engine/starter_duration", kVF},
    {0x0039, "sim/cockpit/engine/igniters_on", kVI},
    {0x003A, "sim/flightmodel/engine/ENGN_propmode", kVI},
    {0x003B, "sim/cockpit/autopilot/airspeed_is_mach", kI},
    {0x003C, "sim/weather/speed_sound_ms", kF},
    {0x003D, "sim/aircraft/engine/acf_EGT_is_C", kI},
    {0x003E, "sim/aircraft/engine/acf_oilT_is_C", kI},
    {0x0080, "sim/flightmodel/position/local_vx", kNone},
    {0x0081, "sim/flightmodel/position/local_vy", kNone},
    {0x0082, "sim/flightmodel/position/local_vz", kNone},
    {0x0083, "sim/weather/sigma", kF},
    {0x0084, "sim/operation/override/override_planepath", kNone},
    {0x0085, "sim/flightmodel/position/local_ax", kF},
    {0x0086, "sim/flightmodel/position/local_ay", kF},
    {0x0087, "sim/flightmodel/position/local_az", kF},
    {0x0088, "sim/flightmodel/position/P", kF},
    {0x0089, "sim/flightmodel/position/Q", kF},
    {0x008A, "sim/flightmodel/position/R", kF},
    {0x008B, "sim/physics/rho_sea_level", kNone},
    {0x008C, "sim/weather/rho", kNone},
    {0x008D, "sim/flightmodel/controls/lail1def", kNone},
};

// Second handles for client writes that go to a different dataref than the
// one read (VariablesAccessMemBlock, slot = offset).
constexpr SlotLookup kWriteLookups[] = {
    {0x0560, "sim/flightmodel/position/local_x", kD},
    {0x0568, "sim/flightmodel/position/local_y", kD},
    {0x0570, "sim/flightmodel/position/local_z", kD},
    {0x0578, "sim/flightmodel/position/q", kVF},
    {0x057C, "sim/flightmodel/position/q", kNone},
    {0x0580, "sim/flightmodel/position/q", kNone},
    {0x088C, "sim/flightmodel/engine/ENGN_thro_use", kVF},
    {0x0924, "sim/flightmodel/engine/ENGN_thro_use", kVF},
};

// The x737 autopilot, looked up into VariablesAccessMemBlock slots
// kX737FirstSlot onwards whenever that plugin is found after being absent.
constexpr uint16_t kX737FirstSlot = 0x0040;
constexpr const char* kX737Lookups[] = {
    "x737/systems/afds/plugin_status",         // 0x0040 i
    "x737/systems/afds/CMD_A",                 // 0x0041 i
    "x737/systems/afds/CMD_B",                 // 0x0042 i
    "x737/systems/afds/HDG",                   // 0x0043 i
    "x737/systems/afds/HDG_magnhdg",           // 0x0044 f
    "x737/systems/afds/ALTHLD",                // 0x0045 i
    "x737/systems/afds/ALTHLD_baroalt",        // 0x0046 f
    "x737/systems/afds/VS_arm",                // 0x0047 i
    "x737/systems/afds/VS",                    // 0x0048 i
    "x737/systems/afds/VS_vvi",                // 0x0049 f
    "x737/systems/afds/APengaged",             // 0x004A i
    "x737/systems/electrics/swBatBusPowered",  // 0x004B i
    "x737/systems/afds/fd_master",             // 0x004C i
    "x737/systems/afds/fdA_status",            // 0x004D i
    "x737/systems/afds/fdB_status",            // 0x004E i
    "x737/systems/afds/AP_A_pitch",            // 0x004F f
    "x737/systems/afds/AP_A_roll",             // 0x0050 f
    "x737/engine/viblevel_1",                  // 0x0051 f
    "x737/engine/viblevel_2",                  // 0x0052 f
    "x737/systems/athr/athr_armed",            // 0x0053 i
    "x737/systems/athr/N1_mode",               // 0x0054 not read
    "x737/systems/afds/APP",                   // 0x0055 i
    "x737/systems/afds/VORLOC",                // 0x0056 i
    "x737/systems/athr/MCPSPD_spdmach",        // 0x0057 f
    "x737/systems/athr/MCPSPD_mode",           // 0x0058 i
    "x737/systems/athr/MCPSPD_spdkias",        // 0x0059 f
    "x737/systems/athr/MCPSPD_spd",            // 0x005A f
    "x737/systems/athr/MCPSPD_ismach",         // 0x005B i
};
constexpr const char kX737Signature[] = "bs.x737.plugin";

// The pushback plugin's status, looked up twice into DataRefMemBlock.
constexpr const char kXPushbackSignature[] = "GoodWay.XPushBack";
constexpr const char kXPushbackStatus[] = "goodway/xpushback/PBstatus";
constexpr uint16_t kXPushbackSlots[] = {0x31F0, 0x31F4};

// Simulator commands by CommandBlock slot; null marks the slot never filled.
// Each engine has a run of five: magnetos off, right, left, both, starter.
constexpr const char* kCommandLookups[kCommandSlots] = {
    "sim/magnetos/magnetos_off_1",        // 0
    "sim/magnetos/magnetos_right_1",      // 1
    "sim/magnetos/magnetos_left_1",       // 2
    "sim/magnetos/magnetos_both_1",       // 3
    "sim/starters/engage_starter_1",      // 4
    "sim/magnetos/magnetos_off_2",        // 5
    "sim/magnetos/magnetos_right_2",      // 6
    "sim/magnetos/magnetos_left_2",       // 7
    "sim/magnetos/magnetos_both_2",       // 8
    "sim/starters/engage_starter_2",      // 9
    "sim/autopilot/back_course",          // 10
    "sim/autopilot/approach",             // 11
    "sim/autopilot/autothrottle_toggle",  // 12
    "sim/autopilot/take_off_go_around",   // 13
    nullptr,                              // 14
    "sim/magnetos/magnetos_off_3",        // 15
    "sim/magnetos/magnetos_right_3",      // 16
    "sim/magnetos/magnetos_left_3",       // 17
    "sim/magnetos/magnetos_both_3",       // 18
    "sim/starters/engage_starter_3",      // 19
    "sim/magnetos/magnetos_off_4",        // 20
    "sim/magnetos/magnetos_right_4",      // 21
    "sim/magnetos/magnetos_left_4",       // 22
    "sim/magnetos/magnetos_both_4",       // 23
    "sim/starters/engage_starter_4",      // 24
};

// Inclusive ranges of write-protected bytes: values clients must not
// overwrite (clock, pause, frame rate, speeds, identity constants...).
struct ProtectedRange {
  uint16_t first;
  uint16_t last;
};
constexpr ProtectedRange kProtectedRanges[] = {
    {0x0238, 0x023A}, {0x0264, 0x0265}, {0x0274, 0x0275}, {0x02B4, 0x02B7},
    {0x02C4, 0x02C7}, {0x030C, 0x030F}, {0x04D8, 0x04DB}, {0x0609, 0x0609},
    {0x0AEC, 0x0AED}, {0x0B78, 0x0B7B}, {0x0B80, 0x0B83}, {0x0B98, 0x0B9B},
    {0x0C48, 0x0C48}, {0x0C49, 0x0C49}, {0x0C50, 0x0C51}, {0x0C59, 0x0C59},
    {0x0C60, 0x0C61}, {0x0C6E, 0x0C6E}, {0x0ECE, 0x0ED3}, {0x0EDA, 0x0EDF},
    {0x0EE2, 0x0EEB}, {0x31E4, 0x31E7}, {0x3304, 0x330B}, {0x6F03, 0x6F0A},
    {0x6FFF, 0x6FFF},
};

void AddRows(std::vector<ReferenceLookup>& out, ReferenceTable table,
             const SlotLookup* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out.push_back({table, rows[i].slot, rows[i].name, rows[i].access});
  }
}

template <size_t N>
void AddRows(std::vector<ReferenceLookup>& out, ReferenceTable table,
             const SlotLookup (&rows)[N]) {
  AddRows(out, table, rows, N);
}

void AddEngineRows(std::vector<ReferenceLookup>& out) {
  for (int engine = 0; engine < kEngineCount; ++engine) {
    const int shift = kEngineStride * engine;
    for (const EngineLookup& row : kEngineLookups) {
      if (!row.all_engines && engine >= 2) continue;
      out.push_back({ReferenceTable::kDataRef,
                     static_cast<uint16_t>(row.slot + shift), row.name,
                     row.access});
    }
  }
}

std::string PlaneName(const char* name_format, int plane) {
  char name[96];
  std::snprintf(name, sizeof name, name_format, plane);
  return name;
}

void AddMultiplayerRows(std::vector<ReferenceLookup>& out) {
  // Pitch and bank of all planes first, then each plane's position block.
  for (int plane = 1; plane <= kMultiplayerPlanes; ++plane) {
    const int step = kAttitudeStride * (plane - 1);
    out.push_back({ReferenceTable::kDataRef,
                   static_cast<uint16_t>(kPitchSlotBase + step),
                   PlaneName("sim/multiplayer/position/plane%d_the", plane),
                   kAccessFloat});
    out.push_back({ReferenceTable::kDataRef,
                   static_cast<uint16_t>(kBankSlotBase + step),
                   PlaneName("sim/multiplayer/position/plane%d_phi", plane),
                   kAccessFloat});
  }
  for (int plane = 1; plane <= kMultiplayerPlanes; ++plane) {
    const int base = kTrafficSlotBase + kTrafficStride * (plane - 1);
    for (const MultiplayerLookup& row : kMultiplayerLookups) {
      out.push_back({ReferenceTable::kDataRef,
                     static_cast<uint16_t>(base + row.slot_delta),
                     PlaneName(row.name_format, plane), row.access});
    }
  }
}

void MarkWriteProtected() {
  for (const ProtectedRange& range : kProtectedRanges) {
    for (uint32_t offset = range.first; offset <= range.last; ++offset) {
      OffsetKindMap[offset] = kOffsetWriteProtected;
    }
  }
}

void RefreshX737Binding() {
  const XPLMPluginID id = XPLMFindPluginBySignature(kX737Signature);
  X737PluginId.store(id);
  if (id == -1) {
    X737Active.store(0);
    X737LookupPending.store(1);
    return;
  }
  if (X737LookupPending.exchange(0) != 0) {
    uint16_t slot = kX737FirstSlot;
    for (const char* name : kX737Lookups) {
      VariablesAccessMemBlock[slot++] = XPLMFindDataRef(name);
    }
    StatusLine("x737 found pluginID=%i, datarefs loaded\n", id);
  }
  X737Active.store(
      XPLMGetDatai(VariablesAccessMemBlock[kX737FirstSlot]) != 0 ? 1 : 0);
}

void RefreshXPushbackBinding() {
  const XPLMPluginID id = XPLMFindPluginBySignature(kXPushbackSignature);
  if (id == -1) {
    XPushbackPresent.store(0);
    XPushbackLookupPending.store(1);
    return;
  }
  if (XPushbackLookupPending.exchange(0) != 0) {
    for (uint16_t slot : kXPushbackSlots) {
      DataRefMemBlock[slot] = XPLMFindDataRef(kXPushbackStatus);
    }
    StatusLine("XPushback found pluginID=%i, datarefs loaded\n", id);
  }
  XPushbackPresent.store(1);
}

}  // namespace

void ClearReferenceTables() {
  std::memset(DataRefMemBlock, 0, sizeof DataRefMemBlock);
  std::memset(VariablesAccessMemBlock, 0, sizeof VariablesAccessMemBlock);
  std::memset(CommandBlock, 0, sizeof CommandBlock);
}

std::vector<ReferenceLookup> ReferenceLookupCatalogue() {
  std::vector<ReferenceLookup> out;
  out.reserve(512);
  AddRows(out, ReferenceTable::kDataRef, kPrimaryLookups);
  AddEngineRows(out);
  AddRows(out, ReferenceTable::kDataRef, kSystemLookups);
  AddMultiplayerRows(out);
  AddRows(out, ReferenceTable::kVariables, kVariableLookups);
  AddRows(out, ReferenceTable::kVariables, kWriteLookups);
  return out;
}

int InitDataRefMemBlock() {
  for (const ReferenceLookup& row : ReferenceLookupCatalogue()) {
    XPLMDataRef* table = row.table == ReferenceTable::kDataRef
                             ? DataRefMemBlock
                             : VariablesAccessMemBlock;
    table[row.slot] = XPLMFindDataRef(row.name.c_str());
  }
  MarkWriteProtected();
  StatusLine("Init DataRefMemBlock & VariablesAccessMemBlock OK!\n");
  return 1;
}

void InitCommandBlock() {
  for (int slot = 0; slot < kCommandSlots; ++slot) {
    if (kCommandLookups[slot] != nullptr) {
      CommandBlock[slot] = XPLMFindCommand(kCommandLookups[slot]);
    }
  }
  StatusLine("Init Command Block OK!\n");
}

const char* CommandLookupName(int slot) {
  if (slot < 0 || slot >= kCommandSlots) return nullptr;
  return kCommandLookups[slot];
}

void ResetLateBindingsForEnable() {
  X737LookupPending.store(1);
  XPushbackLookupPending.store(1);
}

void RefreshLateBindings() {
  RefreshX737Binding();
  RefreshXPushbackBinding();
}

}  // namespace tarvos
