// Write handlers for the flight controls, trims, flaps, spoilers, gear,
// brakes and the electrical, anti-ice and override switches.
//
// Control inputs in 16 bits are signed ratios x 16383. The gear lever is
// two host buttons (52 up, 53 down), each pressed and released at once.
// Every write of the override flags re-arms the override watchdog of the
// one-second timer, so that a client that stops writing (crashed, cable
// pulled) hands the yoke and throttles back to the simulator.
//
// Threads: run on a transport thread with OffsetLock held; they call the
// host's getters, setters and buttons from that thread.
#include <span>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "offsets/coding.h"
#include "offsets/convert.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/one_second_timer.h"
#include "requests/write_handlers.h"

namespace tarvos {
namespace {

// Simulator variables (VariablesAccessMemBlock).
constexpr uint32_t kOverrides[4] = {0x0020, 0x0021, 0x0022, 0x0023};
constexpr uint32_t kHasJoystick = 0x0025;

constexpr double kPerRatio = 6.103888176768602e-05;  // 1 / 16383
constexpr double kPerBrake = 3.051850947599719e-05;  // 1 / 32767
constexpr double kPerSpoiler = 8.6333419666753e-05;  // 1 / 11583
constexpr double kDegreesPerTenthRadian = 5.729578121995552;

// The host's gear lever buttons.
constexpr int kGearUpButton = 52;
constexpr int kGearDownButton = 53;

void SetFloat(uint32_t slot, double v) {
  XPLMSetDataf(DataRefMemBlock[slot], HeldAsFloat(v));
}
void SetFloatVia(XPLMDataRef ref, double v) {
  XPLMSetDataf(ref, HeldAsFloat(v));
}
void SetAllFour(uint32_t slot, int v) {
  int values[4] = {v, v, v, v};
  XPLMSetDatavi(DataRefMemBlock[slot], values, 0, 4);
}
void PressAndRelease(int button) {
  XPLMCommandButtonPress(button);
  XPLMCommandButtonRelease(button);
}

// 0x0BB2, 0x0BB6, 0x0BC0: yoke pitch, yoke roll, elevator trim.
void WriteRatio(uint32_t offset, const uint8_t* v) {
  SetFloat(offset, LoadS16(v) * kPerRatio);
}

// 0x0BBA: rudder (yoke heading) input; a joystick's own input wins, so
// nothing is written while one is connected.
void WriteRudderInput(uint32_t offset, const uint8_t* v) {
  if ((XPLMGetDatai(VariablesAccessMemBlock[kHasJoystick]) & 0xFF) != 0) return;
  SetFloat(offset, LoadS16(v) * kPerRatio);
}

// 0x0BC8: parking brake, 0 to 32767.
void WriteParkingBrake(uint32_t offset, const uint8_t* v) {
  SetFloat(offset, LoadU16(v) * kPerBrake);
}

// 0x0BCC: spoilers armed (1) or not (0).
void WriteSpoilersArmed(uint32_t offset, const uint8_t* v) {
  const uint32_t value = LoadU32(v);
  if (value == 0) SetFloat(offset, 0.0);
  if (value == 1) SetFloat(offset, -0.5);
}

// 0x0BD0: spoiler handle: 0 retracted, 4800 armed, 5620 to 16383 the
// handle from just out to full; anything between or beyond is ignored.
void WriteSpoilerHandle(uint32_t offset, const uint8_t* v) {
  const uint32_t value = LoadU32(v);
  if (value == 0) {
    SetFloat(offset, 0.0);
  } else if (value == 4800) {
    SetFloat(offset, -0.5);
  } else if (value >= 5620 && value <= 16383) {
    SetFloat(offset, (value - 4800.0) * kPerSpoiler);
  }
}

// 0x0BDC: flap request. The published request is truncated, so a lever's
// detent such as 4096 reads back as 4095 and its every write would differ:
// a request the simulator holds already is not set again.
void WriteFlapRequest(uint32_t offset, const uint8_t* v) {
  const float request = HeldAsFloat(LoadU32(v) * kPerRatio);
  if (XPLMGetDataf(DataRefMemBlock[offset]) == request) return;
  XPLMSetDataf(DataRefMemBlock[offset], request);
}

// 0x0BE8: gear lever, 0 up, 16383 down; other values do nothing.
void WriteGearLever(uint32_t, const uint8_t* v) {
  const uint32_t value = LoadU32(v);
  if (value == 0) PressAndRelease(kGearUpButton);
  if (value == 16383) PressAndRelease(kGearDownButton);
}

// 0x2EA0: elevator trim in tenths of a radian, through its own handle.
void WriteElevatorTrim(uint32_t offset, const uint8_t* v) {
  SetFloatVia(DataRefMemBlock[offset], LoadF64(v) * kDegreesPerTenthRadian);
}

// 0x2EB0, 0x2EC0: aileron and rudder trim, likewise.
void WriteTrim(uint32_t offset, const uint8_t* v) {
  SetFloat(offset, LoadF64(v) * kDegreesPerTenthRadian);
}

// Switches stored as one int: pitot heat, auto-brake, battery, avionics,
// wipers, anti-ice.
void WriteSwitch(uint32_t offset, const uint8_t* v) {
  XPLMSetDatai(DataRefMemBlock[offset], v[0]);
}

// 0x3101, 0x3104: generators and fuel pumps of all four engines.
void WriteFourSwitches(uint32_t offset, const uint8_t* v) {
  SetAllFour(offset, v[0]);
}

// 0x310A: override flags. Every write re-arms the watchdog; a changed byte
// sets the four overrides, pitch, roll, heading and throttles in this order.
void WriteOverrideFlags(uint32_t offset, const uint8_t* v)
    REQUIRES(OffsetLock) {
  ArmOverrideWatchdog(kOverrideWatchdogRuns);
  if (v[0] == OffsetBlock[offset]) return;
  for (int bit = 0; bit < 4; ++bit) {
    XPLMSetDatai(VariablesAccessMemBlock[kOverrides[bit]], (v[0] >> bit) & 1);
  }
}

constexpr WriteTest kAlways = WriteTest::kAlways;
constexpr WriteTest kOnChange = WriteTest::kOnChange;

constexpr WriteHandler kHandlers[] = {
    {0x029C, 1, kOnChange, WriteSwitch},
    {0x0BB2, 2, kAlways, WriteRatio},
    {0x0BB6, 2, kAlways, WriteRatio},
    {0x0BBA, 2, kAlways, WriteRudderInput},
    {0x0BC0, 2, kAlways, WriteRatio},
    {0x0BC8, 2, kOnChange, WriteParkingBrake},
    {0x0BCC, 4, kOnChange, WriteSpoilersArmed},
    {0x0BD0, 4, kOnChange, WriteSpoilerHandle},
    {0x0BDC, 4, kOnChange, WriteFlapRequest},
    {0x0BE8, 4, kOnChange, WriteGearLever},
    {0x2EA0, 8, kOnChange, WriteElevatorTrim},
    {0x2EB0, 8, kAlways, WriteTrim},
    {0x2EC0, 8, kAlways, WriteTrim},
    {0x2F80, 1, kOnChange, WriteSwitch},
    {0x3101, 1, kOnChange, WriteFourSwitches},
    {0x3102, 1, kOnChange, WriteSwitch},
    {0x3103, 1, kOnChange, WriteSwitch},
    {0x3104, 1, kOnChange, WriteFourSwitches},
    // The watchdog needs every write; the handler tests the change itself.
    {0x310A, 1, kAlways, WriteOverrideFlags},
    {0x6D88, 1, kOnChange, WriteSwitch},
    {0x6F0B, 1, kOnChange, WriteSwitch},
    {0x6F0C, 1, kOnChange, WriteSwitch},
};

}  // namespace

std::span<const WriteHandler> ControlWriteHandlers() { return kHandlers; }

}  // namespace tarvos
