// Catalogue rows of the identity and lifecycle offsets, and of position,
// attitude, speeds, weights and the clock (the converters in position.cpp,
// the constants in plugin/constant_offsets.cpp, the host notifications in
// plugin/host_messages.cpp and the position write handlers in
// requests/position_writes.cpp).
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

constexpr double kLatitudeUnit = 90.0 / (10001750.0 * kTwo32);
constexpr double kLongitudeUnit = 360.0 / kTwo64;

// clang-format off
constexpr OffsetRow kIdentity[] = {
    Row(0x0840, 2, kU16, kR, kLifecycle, "aircraft.crashed", "", 1,
        "1 for five seconds after the user's aircraft crashed, else 0"),
    Row(0x32FC, 2, kU16, kR, kLifecycle, "aircraft.load_count", "", 1,
        "User aircraft loads since the plugin was loaded (low 16 bits)"),
    Row(0x3304, 4, kU32, kR, kConstant, "plugin.protocol_version", "", 1,
        "Protocol version, 0x50000004"),
    Row(0x3308, 4, kU32, kR, kConstant, "plugin.start_counter", "", 1,
        "0xFADE0000 plus 8 for every start of the plugin"),
    Row(0x3C00, 256, kText, kR, kLifecycle, "aircraft.path", "", 1,
        "Full path of the user aircraft's model file"),
    Row(0x3D00, 256, kText, kR, kLifecycle, "aircraft.file", "", 1,
        "File name of the user aircraft's model"),
    Row(0x3E00, 256, kText, kR, kConstant, "plugin.system_folder", "", 1,
        "The simulator's system folder"),
    Row(0x6F03, 8, kText, kR, kConstant, "plugin.version", "", 1,
        "The plugin's version text, \"1.0.0.0\""),
    Row(0x6FFF, 1, kU8, kR, kConstant, "plugin.ready", "", 1,
        "1 once the plugin has started"),
};

constexpr OffsetRow kPosition[] = {
    Row(0x0020, 4, kS32, kR, kCallbackA, "position.ground_elevation", "m",
        1.0 / 256, "Elevation of the ground under the aircraft"),
    Row(0x02A0, 2, kS16, kR, kCallbackI, "position.magnetic_variation", "deg",
        -kPerTurn16, "Magnetic variation, east positive")
        .Reads(kFloat, 0x02A0, -182.0444444444),
    Row(0x0560, 8, kLatitude, kRW, kCallbackA, "position.latitude", "deg",
        kLatitudeUnit, "Latitude, north positive; a write relocates"),
    Row(0x0564, 4, kS32, kRW, kCallbackA, "position.latitude_high", "deg",
        90.0 / 10001750.0,
        "Upper half of the latitude; a write relocates").Alias(0x0560),
    Row(0x0568, 8, kLongitude, kRW, kCallbackA, "position.longitude", "deg",
        kLongitudeUnit, "Longitude, east positive; a write relocates"),
    Row(0x056C, 4, kS32, kRW, kCallbackA, "position.longitude_high", "deg",
        kPerTurn32,
        "Upper half of the longitude; a write relocates").Alias(0x0568),
    Row(0x0570, 8, kFixed3232, kRW, kCallbackA, "position.altitude", "m",
        1.0 / kTwo32, "Altitude above sea level; a write of the whole metres "
        "relocates"),
    Row(0x0574, 4, kS32, kRW, kCallbackA, "position.altitude_whole", "m", 1,
        "Whole metres of the altitude; a write relocates to it plus 3 m")
        .Alias(0x0570),
    Row(0x0578, 4, kAngleS32, kRW, kCallbackA, "attitude.pitch", "deg",
        -kPerTurn32, "Pitch, nose up positive (stored sign-inverted)"),
    Row(0x057C, 4, kAngleS32, kRW, kCallbackA, "attitude.bank", "deg",
        -kPerTurn32, "Bank, right wing down positive (stored sign-inverted)"),
    Row(0x0580, 4, kAngle32, kRW, kCallbackA, "attitude.heading", "deg",
        kPerTurn32, "True heading"),
    Row(0x0B4C, 2, kS16, kR, kReadTime, "position.ground_altitude", "m", 1,
        "Elevation of the ground under the aircraft, whole metres"),
    Row(0x0C18, 2, kU16, kRW, kClient, "client.altitude_units", "", 1,
        "Set by a client: 2 makes position.indicated_altitude metres"),
    Row(0x2F70, 8, kF64, kR, kReadTime, "attitude.pitch_degrees", "deg", 1,
        "Pitch, nose up positive"),
    Row(0x2F78, 8, kF64, kR, kReadTime, "attitude.bank_degrees", "deg", 1,
        "Bank, right wing down positive"),
    Row(0x31E4, 4, kS32, kR, kCallbackA, "position.radio_altitude", "m",
        1.0 / 65536, "Height above the ground")
        .ReadsFloatFactor(kFloat, 0x31E4, 65536),
    Row(0x3324, 4, kS32, kR, kCallbackA, "position.indicated_altitude", "ft",
        1, "Altimeter reading (metres when client.altitude_units is 2)"),
    Row(0x6D90, 8, kF64, kW, kNone, "position.set_latitude", "deg", 1,
        "Write: relocate to this latitude"),
    Row(0x6D94, 4, kU32, kW, kNone, "position.set_latitude_high", "", 1,
        "Write: upper half of position.set_latitude, relocates")
        .Alias(0x6D90),
    Row(0x6D98, 8, kF64, kW, kNone, "position.set_longitude", "deg", 1,
        "Write: relocate to this longitude"),
    Row(0x6D9C, 4, kU32, kW, kNone, "position.set_longitude_high", "", 1,
        "Write: upper half of position.set_longitude, relocates")
        .Alias(0x6D98),
    Row(0x6DA0, 4, kS32, kW, kNone, "position.set_altitude", "ft", 1,
        "Write: relocate to this altitude"),
};

constexpr OffsetRow kSpeed[] = {
    Row(0x02B4, 4, kS32, kR, kCallbackB, "speed.ground", "m/s", 1.0 / 65536,
        "Ground speed").ReadsFloatFactor(kFloat, 0x02B4, 65536),
    Row(0x02B8, 4, kS32, kR, kCallbackA, "speed.true_airspeed", "kt",
        1.0 / 128, "True airspeed")
        .Reads(kFloat, 0x02B8, 248.81209718196197),
    Row(0x02BC, 4, kS32, kR, kCallbackA, "speed.indicated_airspeed", "kt",
        1.0 / 128, "Indicated airspeed, never negative")
        .Reads(kFloat, 0x02BC, 128).NotNegative(),
    Row(0x02C4, 4, kS32, kR, kAircraftLoad, "speed.never_exceed", "kt",
        1.0 / 128, "Never-exceed speed of the user aircraft"),
    Row(0x02C8, 4, kS32, kR, kCallbackA, "speed.vertical", "m/s", 1.0 / 256,
        "Vertical speed, up positive"),
    Row(0x030C, 4, kS32, kR, kCallbackA, "speed.vertical_at_touchdown", "m/s",
        1.0 / 256, "Vertical speed, kept at its last airborne value on the "
        "ground"),
    Row(0x0558, 4, kU32, kW, kNone, "speed.set_along_heading", "kt", 1,
        "Write: fly at this speed along the heading"),
    Row(0x055C, 4, kU32, kRW, kClient, "speed.reserved_055c", "", 1,
        "Accepted and kept; no action"),
    Row(0x0842, 2, kS16, kR, kCallbackA, "speed.vertical_metres_per_minute",
        "m/min", -1, "Vertical speed, up positive (stored positive down)")
        .Alias(0x02C8),
    Row(0x11C6, 2, kU16, kR, kReadTime, "speed.mach", "", 1.0 / 20480,
        "Mach number"),
    Row(0x3060, 8, kF64, kR, kReadTime, "acceleration.lateral", "ft/s^2", 1,
        "Lateral acceleration"),
    Row(0x3068, 8, kF64, kR, kReadTime, "acceleration.vertical", "ft/s^2", 1,
        "Vertical acceleration less gravity"),
    Row(0x3070, 8, kF64, kR, kReadTime, "acceleration.longitudinal",
        "ft/s^2", 1, "Longitudinal acceleration"),
    Row(0x3078, 8, kF64, kR, kReadTime, "rates.pitch_acceleration", "rad/s^2",
        1, "Pitch acceleration"),
    Row(0x3080, 8, kF64, kR, kCallbackA, "rates.roll_acceleration", "rad/s^2",
        1, "Roll acceleration").Reads(kFloat, 0x3080, 0.017453292),
    Row(0x3088, 8, kF64, kR, kCallbackA, "rates.yaw_acceleration", "rad/s^2",
        1, "Yaw acceleration").Reads(kFloat, 0x3088, 0.017453292),
    Row(0x3090, 8, kF64, kRW, kReadTime, "speed.horizontal", "ft/s", 1,
        "Horizontal speed; a write sets the speed along the heading"),
    Row(0x3098, 8, kF64, kR, kReadTime, "speed.velocity_z", "ft/s", 1,
        "Velocity along the local z axis (south)"),
    Row(0x30A0, 8, kF64, kR, kCallbackA, "speed.vertical_velocity", "ft/s", 1,
        "Velocity along the local y axis (up)")
        .Reads(kFloat, 0x30A0, 3.280839),
    Row(0x30A8, 8, kF64, kR, kCallbackA, "rates.pitch", "rad/s", 1,
        "Pitch rate").Reads(kFloat, 0x30A8, 1),
    Row(0x30B0, 8, kF64, kR, kCallbackA, "rates.roll", "rad/s", 1,
        "Roll rate").Reads(kFloat, 0x30B0, 1),
    Row(0x30B8, 8, kF64, kR, kCallbackA, "rates.yaw", "rad/s", 1, "Yaw rate")
        .Reads(kFloat, 0x30B8, 1),
    Row(0x30C0, 8, kF64, kR, kCallbackH, "weight.total", "lb", 1,
        "Total weight").Reads(kFloat, 0x30C0, 2.2046),
    Row(0x31A0, 8, kF64, kR, kCallbackA, "speed.vertical_feet_per_second",
        "ft/s", 1, "Indicated vertical speed")
        .Reads(kFloat, 0x31A0, 0.016666666666666666),
    Row(0x3BFC, 4, kS32, kRW, kCallbackI, "weight.zero_fuel", "lb", 1.0 / 256,
        "Zero-fuel weight; a write above the empty weight sets the payload"),
};

constexpr OffsetRow kClock[] = {
    Row(0x0238, 1, kU8, kR, kCallbackD, "clock.local_hour", "h", 1,
        "Local time: hour"),
    Row(0x0239, 1, kU8, kR, kCallbackD, "clock.local_minute", "min", 1,
        "Local time: minute"),
    Row(0x023A, 1, kU8, kR, kCallbackD, "clock.local_second", "s", 1,
        "Local time: second"),
    Row(0x023B, 1, kU8, kRW, kCallbackE, "clock.zulu_hour", "h", 1,
        "UTC: hour; a write of 0 to 23 sets it, keeping the minute, seconds 0"),
    Row(0x023C, 1, kU8, kRW, kCallbackE, "clock.zulu_minute", "min", 1,
        "UTC: minute; a write of 0 to 59 sets it, seconds 0"),
    Row(0x023E, 2, kU16, kRW, kCallbackI, "clock.day_of_year", "", 1,
        "Day of the year, from 1; a write sets the date (0 or past 366: day 1)"),
    Row(0x0240, 2, kU16, kRW, kConstant, "clock.year", "", 1,
        "Year, 2010; a write is kept, the simulator has no year"),
    Row(0x0246, 2, kS16, kR, kCallbackE, "clock.zone_offset", "min", 1,
        "Local time minus UTC, whole hours in minutes"),
    Row(0x0262, 2, kU16, kRW, kCallbackF, "sim.paused", "", 1,
        "1 while the simulator is paused; a write of the low byte pauses (non-zero) or runs (0)"),
    Row(0x0264, 2, kU16, kR, kCallbackF, "sim.paused_flag", "", 1,
        "1 while the simulator is paused").Alias(0x0262),
    Row(0x0274, 2, kU16, kR, kCallbackE, "sim.frame_period", "s", 1.0 / 32768,
        "Duration of one frame").ReadsFloatFactor(kFloat, 0x0274, 32768),
    Row(0x0C1A, 2, kU16, kRW, kCallbackF, "sim.rate", "", 1.0 / 256,
        "Simulation rate; a write sets its whole part").Reads(kInt, 0x0C1A, 256),
    Row(0x0C20, 9, kText, kR, kCallbackD, "clock.local_text", "", 1,
        "Local time as \"hh:mm:ss\""),
    Row(0x337E, 2, kU16, kR, kCallbackA, "sim.frame_counter", "", 1,
        "Frames refreshed since the plugin was loaded, wrapping"),
};
// clang-format on

}  // namespace

CatalogueDomain IdentityCatalogue() {
  return {"Identity and lifecycle", kIdentity};
}
CatalogueDomain PositionCatalogue() {
  return {"Position and attitude", kPosition};
}
CatalogueDomain SpeedCatalogue() {
  return {"Speeds, accelerations, rates and weights", kSpeed};
}
CatalogueDomain ClockCatalogue() {
  return {"Clock and simulation state", kClock};
}

}  // namespace tarvos
