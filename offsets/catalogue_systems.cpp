// Catalogue rows of the aircraft state, autopilot and settings offsets: most
// are recomputed when a client reads them (requests/read_items.cpp). The
// flight controls are in catalogue_controls.cpp.
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

// Feet to the stored metres x 65536.
constexpr double kFeetPerAltitudeUnit = 1.0 / 19975.3728;

// clang-format off
constexpr OffsetRow kAircraftState[] = {
    Row(0x0366, 2, kU16, kR, kReadTime, "aircraft.on_ground", "", 1,
        "1 below one metre above the ground, else 0"),
    Row(0x036C, 1, kU8, kR, kReadTime, "aircraft.stall_warning", "", 1,
        "1 while the stall warning sounds"),
    Row(0x036E, 1, kS8, kR, kReadTime, "aircraft.slip_ball", "deg", -1.0 / 30,
        "Turn coordinator ball"),
    Row(0x11BA, 2, kS16, kR, kReadTime, "aircraft.g_force", "g", 1.0 / 625,
        "Normal load factor"),
    Row(0x11BE, 2, kU16, kR, kReadTime, "aircraft.angle_of_attack_indicator",
        "deg", -100.0 / 32767,
        "Angle of attack indicator: 32767 at zero or below, 0 at 100 deg")
        .Bias(100),
    Row(0x2ED0, 8, kF64, kR, kReadTime, "aircraft.angle_of_attack", "rad", 1,
        "Angle of attack"),
    Row(0x2ED8, 8, kF64, kR, kReadTime, "aircraft.sideslip", "rad", 1,
        "Sideslip angle"),
};

constexpr OffsetRow kAutopilot[] = {
    Row(0x04F0, 4, kBits, kRW, kClient, "autopilot.speed_selector_flags", "",
        1, "Set by a client: bit 15 makes a selected speed a Mach number"),
    Row(0x0500, 2, kU16, kRW, kClient, "autopilot.speed_selector", "", 1,
        "Set by a client: non-zero selects the speed as flags bit 15 says"),
    Row(0x07BC, 4, kU32, kRW, kCallbackD, "autopilot.master", "", 1,
        "Autopilot engaged, 0 or 1"),
    Row(0x07C0, 4, kU32, kRW, kCallbackD, "autopilot.wing_leveller", "", 1,
        "Wing leveller, 0 or 1"),
    Row(0x07C4, 4, kU32, kRW, kReadTime, "autopilot.nav1_hold", "", 1,
        "NAV1 (localizer) hold: 0 off, 1 armed or engaged, 0x300 both"),
    Row(0x07C8, 4, kU32, kRW, kReadTime, "autopilot.heading_hold", "", 1,
        "Heading hold, 0 or 1"),
    Row(0x07CC, 2, kAngle16, kRW, kReadTime, "autopilot.heading", "deg",
        kPerTurn16, "Selected heading (magnetic); written in whole degrees"),
    Row(0x07D0, 4, kU32, kRW, kReadTime, "autopilot.altitude_hold", "", 1,
        "Altitude hold: 0 off, 1 armed or engaged, 0x4020 both"),
    Row(0x07D4, 4, kU32, kRW, kReadTime, "autopilot.altitude", "ft",
        kFeetPerAltitudeUnit, "Selected altitude (stored as metres x 65536)"),
    Row(0x07DC, 4, kU32, kRW, kCallbackC, "autopilot.airspeed_hold", "", 1,
        "Airspeed hold (autothrottle), 0 or 1"),
    Row(0x07E2, 2, kU16, kRW, kCallbackC, "autopilot.airspeed", "kt", 1,
        "Selected airspeed"),
    Row(0x07E4, 4, kU32, kRW, kCallbackC, "autopilot.mach_hold", "", 1,
        "Mach hold (autothrottle), 0 or 1"),
    Row(0x07E8, 4, kU32, kRW, kCallbackC, "autopilot.mach", "", 1.0 / 65536,
        "Selected Mach number (the selected airspeed as Mach when in knots)"),
    Row(0x07EC, 4, kU32, kRW, kReadTime, "autopilot.vertical_speed_hold", "",
        1, "Vertical speed hold, 0 or 1"),
    Row(0x07F2, 2, kS16, kRW, kReadTime, "autopilot.vertical_speed", "ft/min",
        1, "Selected vertical speed"),
    Row(0x0800, 4, kU32, kRW, kCallbackC, "autopilot.approach_hold", "", 1,
        "Approach hold, 0 or 1"),
    Row(0x0804, 4, kU32, kW, kNone, "autopilot.back_course", "", 1,
        "Write: toggle back course (on every change of the value)"),
    Row(0x0808, 4, kU32, kRW, kCallbackF, "autopilot.yaw_damper", "", 1,
        "Yaw damper, 0 or 1").Reads(kInt, 0x0808, 1),
    Row(0x0810, 4, kU32, kRW, kCallbackC, "autopilot.autothrottle_arm", "", 1,
        "Autothrottle armed (the x737 only; kept otherwise)"),
    Row(0x2EE0, 4, kU32, kRW, kCallbackD, "autopilot.flight_director", "", 1,
        "Flight director on, 0 or 1"),
    Row(0x2EE8, 8, kF64, kR, kCallbackA, "autopilot.flight_director_pitch",
        "deg", 1, "Flight director pitch command, nose up negative"),
    Row(0x2EF0, 8, kF64, kR, kCallbackA, "autopilot.flight_director_roll",
        "deg", 1, "Flight director bank command"),
};

constexpr OffsetRow kSettingsRows[] = {
    Row(0x3130, 12, kText, kRW, kSettings, "atc.flight_number", "", 1,
        "ATC flight number; a write (11 characters at most) is saved to TARVOS.ini"),
    Row(0x313C, 12, kText, kRW, kSettings, "atc.tail_number", "", 1,
        "ATC tail number; a write (11 characters at most) is saved to TARVOS.ini"),
    Row(0x3148, 24, kText, kRW, kSettings, "atc.airline", "", 1,
        "ATC airline name; a write (23 characters at most) is saved to TARVOS.ini"),
    Row(0x3160, 24, kText, kRW, kSettings, "atc.aircraft_type", "", 1,
        "ATC aircraft type; a write (23 characters at most) is saved to TARVOS.ini"),
};
// clang-format on

}  // namespace

CatalogueDomain AircraftStateCatalogue() {
  return {"Aircraft state", kAircraftState};
}
CatalogueDomain AutopilotCatalogue() {
  return {"Autopilot and flight director", kAutopilot};
}
CatalogueDomain SettingsCatalogue() {
  return {"Settings and ATC identification", kSettingsRows};
}

}  // namespace tarvos
