// Catalogue rows of the flight controls (yoke, trims, flaps, slats,
// spoilers, brakes, gear, nose wheel), the aircraft systems (electrics, fuel
// pumps, overrides, wipers, APU, anti-ice, pushback) and the on-screen
// message. The yoke, flap request, flap and gear positions are read-time
// items (requests/read_items.cpp); the rest are refreshed by the callbacks
// named in their rows (offsets/controls.cpp and the plain rows).
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

// Inputs and positions stored as ratio x 16383.
constexpr double kRatio16383 = 1.0 / 16383;
// The deflections stored as degrees x 10 x pi/180 in the f64 copies.
constexpr double kTenthRadian = 0.17453292;
constexpr double kDegreesPerTenthRadian = 1.0 / kTenthRadian;

// clang-format off
constexpr OffsetRow kControls[] = {
    Row(0x0BB2, 2, kS16, kRW, kReadTime, "controls.elevator_input", "",
        kRatio16383,
        "Yoke pitch input, -1 to 1 (with a joystick only); written: the yoke"),
    Row(0x0BB4, 2, kS16, kR, kReadTime, "controls.elevator", "deg",
        -1.0 / 1090.866667, "Elevator deflection"),
    Row(0x0BB6, 2, kS16, kRW, kCallbackB, "controls.aileron_input", "",
        kRatio16383,
        "Yoke roll input, -1 to 1 (0 without a joystick); written: the yoke"),
    Row(0x0BB8, 2, kS16, kR, kReadTime, "controls.aileron", "deg",
        -1.0 / 546.1, "Aileron deflection"),
    Row(0x0BBA, 2, kS16, kRW, kReadTime, "controls.rudder_input", "",
        kRatio16383,
        "Rudder pedal input, -1 to 1 (with a joystick only); written only "
        "without one"),
    Row(0x0BBC, 2, kS16, kR, kReadTime, "controls.rudder", "deg", 1.0 / 546.1,
        "Rudder deflection"),
    Row(0x0BC0, 2, kS16, kRW, kCallbackB, "controls.elevator_trim", "",
        kRatio16383, "Elevator trim")
        .ReadsFloatFactor(kFloat, 0x0BC0, 16383),
    Row(0x0BC2, 2, kS16, kR, kCallbackB, "controls.elevator_trim_copy", "",
        kRatio16383, "Elevator trim (its own reading)"),
    Row(0x0BC8, 2, kS16, kRW, kCallbackF, "brakes.parking", "", 1.0 / 32767,
        "Parking brake, 0 to 32767")
        .ReadsFloatFactor(kFloat, 0x0BC8, 32767),
    Row(0x0BCC, 4, kU32, kRW, kCallbackD, "spoilers.armed", "", 1,
        "Spoilers armed, 0 or 1"),
    Row(0x0BD0, 4, kU32, kRW, kCallbackD, "spoilers.handle", "", 1,
        "Spoiler handle: 0 retracted, 4800 armed, 5620 to 16383 out to full"),
    Row(0x0BD4, 4, kU32, kR, kCallbackD, "spoilers.left", "", kRatio16383,
        "Spoiler deployment, 0 to 1")
        .ReadsFloatFactor(kFloat, 0x0BD4, 16383),
    Row(0x0BD8, 4, kU32, kR, kCallbackD, "spoilers.right", "", kRatio16383,
        "Spoiler deployment, 0 to 1")
        .ReadsFloatFactor(kFloat, 0x0BD8, 16383),
    Row(0x0BDC, 4, kU32, kRW, kReadTime, "controls.flap_request", "",
        kRatio16383, "Flap handle request, 0 to 1"),
    Row(0x0BE0, 4, kU32, kR, kCallbackB, "controls.flaps", "", kRatio16383,
        "Flap handle position, 0 to 1")
        .ReadsFloatFactor(kFloat, 0x0BE0, 16383),
    Row(0x0BE4, 4, kU32, kR, kReadTime, "controls.flap_right", "deg",
        1.0 / 409.575, "Right flap deflection"),
    Row(0x0BE8, 4, kU32, kRW, kReadTime, "gear.handle", "", 1,
        "Gear handle: 0 up, 16383 down; written: raises or lowers the gear"),
    Row(0x0BEC, 4, kU32, kR, kReadTime, "gear.nose", "", kRatio16383,
        "Nose gear extension, 0 to 1"),
    Row(0x0BF0, 4, kU32, kR, kReadTime, "gear.right", "", kRatio16383,
        "Right gear extension, 0 to 1"),
    Row(0x0BF4, 4, kU32, kR, kReadTime, "gear.left", "", kRatio16383,
        "Left gear extension, 0 to 1"),
    Row(0x2E98, 8, kF64, kR, kCallbackB, "controls.elevator_trim_f64_copy",
        "", 1.0 / kTenthRadian, "Elevator trim (double, its own reading)"),
    Row(0x2EA0, 8, kF64, kRW, kCallbackD, "controls.elevator_trim_f64", "",
        kDegreesPerTenthRadian, "Elevator trim (double)")
        .Reads(kFloat, 0x2EA0, kTenthRadian),
    Row(0x2EA8, 8, kF64, kR, kReadTime, "controls.aileron_f64", "deg",
        -kDegreesPerTenthRadian, "Aileron deflection (double)")
        .Alias(0x0BB8),
    Row(0x2EB0, 8, kF64, kRW, kCallbackD, "controls.aileron_trim", "",
        kDegreesPerTenthRadian, "Aileron trim (double)")
        .Reads(kFloat, 0x2EB0, kTenthRadian),
    Row(0x2EB8, 8, kF64, kR, kReadTime, "controls.rudder_f64", "deg",
        kDegreesPerTenthRadian, "Rudder deflection (double)").Alias(0x0BBC),
    Row(0x2EC0, 8, kF64, kRW, kCallbackD, "controls.rudder_trim", "",
        kDegreesPerTenthRadian, "Rudder trim (double)")
        .Reads(kFloat, 0x2EC0, kTenthRadian),
    Row(0x2F80, 1, kU8, kRW, kCallbackF, "brakes.auto_brake", "", 1,
        "Auto-brake setting").Reads(kInt, 0x2F80, 1),
    Row(0x30E8, 2, kS16, kR, kCallbackC, "controls.slats_1", "", kRatio16383,
        "Slat deployment, 0 to 1")
        .ReadsFloatFactor(kFloat, 0x30E8, 16383),
    Row(0x30EA, 2, kS16, kR, kCallbackC, "controls.slats_2", "", kRatio16383,
        "Slat deployment, 0 to 1")
        .ReadsFloatFactor(kFloat, 0x30EA, 16383),
    Row(0x30EC, 2, kS16, kR, kCallbackC, "controls.slats_3", "", kRatio16383,
        "Slat deployment, 0 to 1")
        .ReadsFloatFactor(kFloat, 0x30EC, 16383),
    Row(0x30EE, 2, kS16, kR, kCallbackC, "controls.slats_4", "", kRatio16383,
        "Slat deployment, 0 to 1")
        .ReadsFloatFactor(kFloat, 0x30EE, 16383),
    Row(0x30F0, 2, kS16, kR, kCallbackC, "controls.flap_left_inboard", "deg",
        1.0 / 256, "Left inboard flap deflection")
        .ReadsFloatFactor(kFloat, 0x30F0, 256),
    Row(0x30F2, 2, kS16, kR, kCallbackC, "controls.flap_left_outboard", "deg",
        1.0 / 256, "Left outboard flap deflection")
        .ReadsFloatFactor(kFloat, 0x30F2, 256),
    Row(0x30F4, 2, kS16, kR, kCallbackC, "controls.flap_right_inboard", "deg",
        1.0 / 256, "Right inboard flap deflection")
        .ReadsFloatFactor(kFloat, 0x30F4, 256),
    Row(0x30F6, 2, kS16, kR, kCallbackC, "controls.flap_right_outboard", "deg",
        1.0 / 256, "Right outboard flap deflection")
        .ReadsFloatFactor(kFloat, 0x30F6, 256),
    Row(0x3328, 2, kS16, kR, kReadTime, "controls.elevator_input_copy", "",
        kRatio16383, "Yoke pitch input (with a joystick only)").Alias(0x0BB2),
    Row(0x332C, 2, kS16, kR, kReadTime, "controls.rudder_input_copy", "",
        kRatio16383, "Rudder pedal input (with a joystick only)")
        .Alias(0x0BBA),
    Row(0x6D8A, 2, kS16, kR, kReadTime, "controls.nose_wheel_steering", "deg",
        0.01, "Nose-wheel steering angle"),
    Row(0x6F00, 2, kS16, kR, kCallbackD, "controls.nose_wheel_speed", "",
        0.1, "Nose-wheel speed")
        .ReadsFloatFactor(kFloat, 0x6F00, 10),
};

constexpr OffsetRow kSystems[] = {
    Row(0x029C, 1, kU8, kRW, kCallbackE, "systems.pitot_heat", "", 1,
        "Pitot heat switch").Reads(kInt, 0x029C, 1),
    Row(0x3101, 1, kU8, kRW, kCallbackE, "systems.generators", "", 1,
        "Generators: 1 when any is on; written: all four"),
    Row(0x3102, 1, kU8, kRW, kCallbackE, "systems.battery", "", 1,
        "Battery switch (the x737: its battery bus powered)"),
    Row(0x3103, 1, kU8, kRW, kCallbackE, "systems.avionics", "", 1,
        "Avionics master switch").Reads(kInt, 0x3103, 1),
    Row(0x3104, 1, kU8, kRW, kCallbackE, "systems.fuel_pumps", "", 1,
        "Fuel pumps: 1 when any is on; written: all four"),
    Row(0x310A, 1, kBits, kRW, kCallbackC, "systems.control_overrides", "", 1,
        "Overrides: 1 yoke pitch, 2 roll, 4 heading, 8 throttles; a client "
        "writes it at least every 10 s to keep them"),
    Row(0x31F0, 4, kU32, kR, kCallbackE, "pushback.state", "", 1,
        "Pushback: 3 none, 0 straight, 1 tail left, 2 tail right"),
    Row(0x31F4, 4, kU32, kRW, kCallbackE, "pushback.control", "", 1,
        "Pushback state (copy); write: 0 to 2 push, 3 stops (pushback plugin)")
        .Alias(0x31F0),
    Row(0x6D88, 1, kU8, kRW, kCallbackF, "systems.wipers", "", 1,
        "Wiper speed switch").Reads(kInt, 0x6D88, 1),
    Row(0x6DA9, 1, kU8, kRW, kCallbackF, "systems.apu", "", 1,
        "APU switch; a write goes to the runway friction instead "
        "(weather.runway_friction_integer)").Reads(kInt, 0x6DA9, 1),
    Row(0x6F0B, 1, kU8, kRW, kCallbackG, "systems.anti_ice_left", "", 1,
        "Left surface anti-ice switch").Reads(kInt, 0x6F0B, 1),
    Row(0x6F0C, 1, kU8, kRW, kCallbackG, "systems.anti_ice_right", "", 1,
        "Right surface anti-ice switch").Reads(kInt, 0x6F0C, 1),
};

constexpr OffsetRow kMessage[] = {
    Row(0x32FA, 2, kS16, kW, kNone, "message.display_time", "s", 1,
        "Write: shows the text at 0x3380 for this many seconds (0 or -1: "
        "65535; below -1: until replaced)"),
    Row(0x3380, 128, kText, kRW, kClient, "message.text", "", 1,
        "Text of the on-screen message (127 characters shown)"),
};
// clang-format on

}  // namespace

CatalogueDomain ControlsCatalogue() {
  return {"Flight controls and gear", kControls};
}
CatalogueDomain SystemsCatalogue() { return {"Aircraft systems", kSystems}; }
CatalogueDomain MessageCatalogue() { return {"On-screen message", kMessage}; }

}  // namespace tarvos
