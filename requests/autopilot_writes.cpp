// Write handlers for the autopilot switches and targets. While the x737
// aircraft plugin is active they write its own autopilot datarefs;
// otherwise they drive the simulator's autopilot through its datarefs, key
// strokes and commands.
//
// The simulator's autopilot state word answers a write by pressing the
// button of every mode whose bit is set in the written value (each such
// mode toggles). So a handler that engages or disengages one mode writes
// only that mode's bit, and only when the mode's current state differs
// from the one asked for: every other mode stays as it is. The key strokes
// toggle too, so they are sent only when the mode's state in the simulator
// differs from the one asked for.
//
// Threads: run on a transport thread with OffsetLock held; they call the
// host's getters, setters and commands from that thread.
#include <cmath>
#include <span>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "offsets/autopilot.h"
#include "offsets/coding.h"
#include "offsets/convert.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "offsets/x737_slots.h"
#include "requests/write_handlers.h"

namespace tarvos {
namespace {

// Simulator variables and datarefs.
constexpr uint32_t kAirspeedIsMach = 0x003B;
constexpr uint32_t kSpeedOfSound = 0x003C;
constexpr uint32_t kSigma = 0x0083;
constexpr uint32_t kStateWord =
    0x07C0;                             // sim/cockpit/autopilot/autopilot_state
constexpr uint32_t kMode = 0x07BC;      // sim/cockpit/autopilot/autopilot_mode
constexpr uint32_t kAirspeed = 0x07E2;  // sim/cockpit/autopilot/airspeed
// Command slots.
constexpr int kBackCourseCommand = 10;
constexpr int kApproachCommand = 11;
// Key strokes that toggle the simulator's modes.
constexpr int kHeadingKey = 12;
constexpr int kNavKey = 15;
constexpr int kAltitudeKey = 16;
constexpr int kVerticalSpeedKey = 17;
// State bits: a mode is "on" when any of its bits is set.
constexpr int kAutothrottleBit = 0x1;
constexpr int kHeadingBits = 0x2;
constexpr int kWingLevellerBit = 0x4;
constexpr int kVerticalSpeedBits = 0x10;
constexpr int kAltitudeBits = 0x20 | 0x4000;
constexpr int kNavBits = 0x100 | 0x200;

bool X737() { return X737Active.load(std::memory_order_relaxed) != 0; }
XPLMDataRef Var(uint32_t slot) { return VariablesAccessMemBlock[slot]; }
XPLMDataRef Ref(uint32_t slot) { return DataRefMemBlock[slot]; }
void SetVarI(uint32_t slot, int v) { XPLMSetDatai(Var(slot), v); }
void SetVarF(uint32_t slot, double v) {
  XPLMSetDataf(Var(slot), HeldAsFloat(v));
}

int StateWord() { return XPLMGetDatai(Ref(kStateWord)); }

// NAV and glide slope engaged: the simulator takes these two bits of a
// state-word write as written, not as button presses.
constexpr int kWrittenOverBits = 0x200 | 0x800;

// Engages (on) or disengages one mode through the state word: its bit is
// written (pressing its button) only when its state differs, together with
// the written-over bits as they are, so that no other mode changes.
void SetModeBit(int bit, bool on) {
  int state = StateWord();
  if (((state & bit) != 0) == on) return;
  XPLMSetDatai(Ref(kStateWord), bit | (state & kWrittenOverBits));
}

// The same for a mode the simulator toggles by a key stroke.
void SetModeByKey(int bits, int key, bool on) {
  if (((StateWord() & bits) != 0) != on) XPLMCommandKeyStroke(key);
}

// Speed of sound (knots) and sqrt(sigma), when both are usable.
bool SpeedFactors(double* a, double* r) {
  double sigma = XPLMGetDataf(Var(kSigma));
  *a = SoundKnots(XPLMGetDataf(Var(kSpeedOfSound)));
  if (!SpeedConversionUsable(sigma, *a)) return false;
  *r = std::sqrt(sigma);
  return true;
}

double RoundTo2(double x) {
  return static_cast<double>(RoundHalfAway(x * 100)) / 100;
}

// The client-owned selectors of the speed targets: S (16 bits at 0x0500)
// and F (bit 15 of the 4 bytes at 0x04F0).
uint16_t SpeedSelector() REQUIRES(OffsetLock) {
  return LoadU16(OffsetBlock + 0x0500);
}
bool MachSelector() REQUIRES(OffsetLock) {
  return (LoadU32(OffsetBlock + 0x04F0) & 0x8000) != 0;
}

// 0x07BC: autopilot master.
void WriteMaster(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) {
    SetVarI(x737::kApEngaged, value);
    SetVarI(x737::kCmdA, value);
    return;
  }
  XPLMSetDatai(Ref(kMode), value == 0 ? 0 : (value == 1 ? 2 : value));
}

// 0x07C0: wing leveller (no x737 variant).
void WriteWingLeveller(uint32_t, const uint8_t* v) {
  SetModeBit(kWingLevellerBit, LoadS32(v) != 0);
}

// 0x07C4: NAV hold.
void WriteNavHold(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) {
    if (value == 0 || value == 1) SetVarI(x737::kVorLoc, value);
    return;
  }
  SetModeByKey(kNavBits, kNavKey, value != 0);
}

// 0x07C8: heading hold.
void WriteHeadingHold(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) return SetVarI(x737::kHdg, value);
  SetModeByKey(kHeadingBits, kHeadingKey, value != 0);
}

// 0x07CC: heading target, 65536 to the turn, in whole degrees.
void WriteHeadingTarget(uint32_t, const uint8_t* v) {
  double h = static_cast<double>(RoundHalfAway(LoadU16(v) * 0.00549450549));
  if (X737()) return SetVarF(x737::kHdgMagnetic, h);
  XPLMSetDataf(Ref(0x07CC), static_cast<float>(h));
}

// 0x07D0: altitude hold.
void WriteAltitudeHold(uint32_t, const uint8_t* v) REQUIRES(OffsetLock) {
  int32_t value = LoadS32(v);
  if (X737()) {
    // A vertical speed selected holds no altitude.
    SetVarI(x737::kAltHold, LoadS16(OffsetBlock + 0x07F2) != 0 ? 0 : value);
    return;
  }
  SetModeByKey(kAltitudeBits, kAltitudeKey, value != 0);
}

// 0x07D4: altitude target, metres x 65536, in whole feet.
void WriteAltitudeTarget(uint32_t, const uint8_t* v) {
  double f =
      static_cast<double>(RoundHalfAway(LoadU32(v) * 5.006103515625e-05));
  if (X737()) return SetVarF(x737::kAltTarget, f);
  XPLMSetDataf(Ref(0x07D4), static_cast<float>(f));
}

// 0x07DC: airspeed hold (autothrottle).
void WriteAirspeedHold(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) {
    if (value == 0 || value == 1) SetVarI(x737::kSpdMode, value);
    return;
  }
  SetModeBit(kAutothrottleBit, value != 0);
}

// 0x07E2: airspeed target, knots.
void WriteAirspeedTarget(uint32_t, const uint8_t* v) REQUIRES(OffsetLock) {
  const double knots = LoadU16(v);
  const bool s = SpeedSelector() != 0;
  double a = 0, r = 0;
  if (X737()) {
    if (s) {
      if (!MachSelector()) SetVarF(x737::kSpd, knots);
    } else if (XPLMGetDatai(Var(x737::kIsMach)) != 0) {
      if (SpeedFactors(&a, &r)) SetVarF(x737::kSpd, RoundTo2(knots / (r * a)));
    } else {
      SetVarF(x737::kSpd, knots);
    }
    return;
  }
  const bool sim_mach = XPLMGetDatai(Var(kAirspeedIsMach)) != 0;
  if (s) {
    if (!MachSelector() && !sim_mach) {
      XPLMSetDataf(Ref(kAirspeed), HeldAsFloat(knots));
    }
  } else if (sim_mach) {
    if (SpeedFactors(&a, &r)) {
      XPLMSetDataf(Ref(kAirspeed), HeldAsFloat(RoundTo2(knots / (r * a))));
    }
  } else {
    XPLMSetDataf(Ref(kAirspeed), HeldAsFloat(knots));
  }
}

// 0x07E4: Mach hold.
void WriteMachHold(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) {
    if (value == 0 || value == 1) SetVarI(x737::kSpdMode, value);
    return;
  }
  if (value == 0 || value == 1) SetModeBit(kAutothrottleBit, value == 1);
}

// 0x07E8: Mach target, Mach x 65536.
void WriteMachTarget(uint32_t, const uint8_t* v) REQUIRES(OffsetLock) {
  const double mach = LoadU32(v) * 1.52587890625e-05;
  const bool s = SpeedSelector() != 0;
  double a = 0, r = 0;
  if (X737()) {
    if (s) {
      if (MachSelector()) SetVarF(x737::kSpd, mach);
    } else if (XPLMGetDatai(Var(x737::kIsMach)) != 0) {
      SetVarF(x737::kSpd, mach);
    } else if (SpeedFactors(&a, &r)) {
      SetVarF(x737::kSpd, mach * a * r);
    }
    return;
  }
  const bool sim_mach = XPLMGetDatai(Var(kAirspeedIsMach)) != 0;
  if (s) {
    if (MachSelector() && sim_mach) {
      XPLMSetDataf(Ref(kAirspeed), HeldAsFloat(mach));
    }
  } else if (sim_mach) {
    XPLMSetDataf(Ref(kAirspeed), HeldAsFloat(mach));
  } else if (SpeedFactors(&a, &r)) {
    XPLMSetDataf(Ref(kAirspeed), HeldAsFloat(mach * a * r));
  }
}

// 0x07EC: vertical speed hold.
void WriteVerticalSpeedHold(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) return SetVarI(x737::kVs, value);
  SetModeByKey(kVerticalSpeedBits, kVerticalSpeedKey, value != 0);
}

// 0x07F2: vertical speed target, ft/min.
void WriteVerticalSpeedTarget(uint32_t, const uint8_t* v) {
  int16_t fpm = LoadS16(v);
  if (X737()) {
    SetVarI(x737::kVs, 1);
    SetVarF(x737::kVsVvi, fpm);
    return;
  }
  XPLMSetDataf(Ref(0x07F2), static_cast<float>(fpm));
}

// 0x0800: approach hold.
void WriteApproachHold(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) {
    if (value == 0 || value == 1) SetVarI(x737::kApp, value);
    return;
  }
  if (XPLMCommandRef c = CommandBlock[kApproachCommand]) XPLMCommandOnce(c);
}

// 0x0804: back course (no x737 variant).
void WriteBackCourse(uint32_t, const uint8_t*) {
  if (XPLMCommandRef c = CommandBlock[kBackCourseCommand]) XPLMCommandOnce(c);
}

// 0x0808: yaw damper (no x737 variant).
void WriteYawDamper(uint32_t, const uint8_t* v) {
  XPLMSetDatai(Ref(0x0808), LoadS32(v));
}

// 0x0810: autothrottle arm (the x737 only).
void WriteAutothrottleArm(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737() && (value == 0 || value == 1)) SetVarI(x737::kAthrArmed, value);
}

// The flight director's new mode for a written value and the current mode:
// off for 0; on (1) from off or flight director alone; the autopilot (2)
// stays engaged; anything else is switched off.
int FlightDirectorMode(int32_t value, int current) {
  if (value == 0) return 0;
  if (current == 0 || current == 1) return 1;
  return current == 2 ? 2 : 0;
}

// 0x2EE0: flight director.
void WriteFlightDirector(uint32_t, const uint8_t* v) {
  int32_t value = LoadS32(v);
  if (X737()) {
    // fdB is read only when fdA is off.
    int current =
        XPLMGetDatai(Var(x737::kFdA)) != 0 || XPLMGetDatai(Var(x737::kFdB)) != 0
            ? 1
            : 0;
    int mode = FlightDirectorMode(value, current);
    SetVarI(x737::kFdA, mode);
    SetVarI(x737::kFdB, mode);
    return;
  }
  XPLMSetDatai(Ref(0x2EE0),
               FlightDirectorMode(value, XPLMGetDatai(Ref(0x2EE0))));
}

constexpr WriteTest kAlways = WriteTest::kAlways;
constexpr WriteTest kOnChange = WriteTest::kOnChange;

constexpr WriteHandler kHandlers[] = {
    {0x07BC, 4, kAlways, WriteMaster},
    {0x07C0, 4, kOnChange, WriteWingLeveller},
    {0x07C4, 4, kOnChange, WriteNavHold},
    {0x07C8, 4, kOnChange, WriteHeadingHold},
    {0x07CC, 2, kAlways, WriteHeadingTarget},
    {0x07D0, 4, kOnChange, WriteAltitudeHold},
    {0x07D4, 4, kAlways, WriteAltitudeTarget},
    {0x07DC, 4, kOnChange, WriteAirspeedHold},
    {0x07E2, 2, kOnChange, WriteAirspeedTarget},
    {0x07E4, 4, kOnChange, WriteMachHold},
    {0x07E8, 4, kOnChange, WriteMachTarget},
    {0x07EC, 4, kOnChange, WriteVerticalSpeedHold},
    {0x07F2, 2, kAlways, WriteVerticalSpeedTarget},
    {0x0800, 4, kOnChange, WriteApproachHold},
    {0x0804, 4, kOnChange, WriteBackCourse},
    {0x0808, 4, kOnChange, WriteYawDamper},
    {0x0810, 4, kOnChange, WriteAutothrottleArm},
    {0x2EE0, 4, kOnChange, WriteFlightDirector},
};

}  // namespace

std::span<const WriteHandler> AutopilotWriteHandlers() { return kHandlers; }

}  // namespace tarvos
