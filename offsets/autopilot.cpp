#include "offsets/autopilot.h"

#include <cmath>

#include "XPLMDataAccess.h"
#include "offsets/convert.h"
#include "offsets/field_store.h"
#include "offsets/reference_tables.h"
#include "offsets/x737_slots.h"

namespace tarvos {
namespace {

// Simulator variables.
constexpr uint32_t kAirspeedIsMach = 0x003B;
constexpr uint32_t kSpeedOfSound = 0x003C;
constexpr uint32_t kSigma = 0x0083;

bool X737() { return X737Active.load(std::memory_order_relaxed) != 0; }
int I(uint32_t slot) { return XPLMGetDatai(DataRefMemBlock[slot]); }
float F(uint32_t slot) { return XPLMGetDataf(DataRefMemBlock[slot]); }
int VarI(uint32_t slot) { return XPLMGetDatai(VariablesAccessMemBlock[slot]); }
float VarF(uint32_t slot) {
  return XPLMGetDataf(VariablesAccessMemBlock[slot]);
}

void Store32(uint32_t offset, int64_t v) {
  FieldBatch b;
  b.U32(offset, Low32(v));
  b.TryStore();
}

}  // namespace

double SoundKnots(double sound_ms) { return HeldAsFloat(sound_ms * 1.9438445); }

bool SpeedConversionUsable(double sigma, double sound_knots) {
  return std::isfinite(sigma) && sigma > 0 && std::isfinite(sound_knots) &&
         sound_knots > 0;
}

SpeedPair EncodeSpeedPair(double v, bool is_mach, double sigma,
                          double sound_ms) {
  const double a = SoundKnots(sound_ms);
  const bool usable = SpeedConversionUsable(sigma, a);
  const double r = usable ? std::sqrt(sigma) : 0;
  SpeedPair p;
  if (is_mach) {
    p.has_mach = true;
    p.mach = Low32(TruncToInt(v * FloatConst(65536)));
    if (usable) {
      p.has_knots = true;
      p.knots = Low16(TruncToInt(r * a * v));
    }
  } else {
    p.has_knots = true;
    p.knots = Low16(TruncToInt(v));
    if (usable) {
      // The Mach number rounded to two decimals, halves away from zero.
      double m = v / (r * a);
      m = static_cast<double>(RoundHalfAway(m * 100)) / 100;
      p.has_mach = true;
      p.mach = Low32(TruncToInt(m * FloatConst(65536)));
    }
  }
  return p;
}

void ConvertFlightDirectorPitch() {
  double v = X737() ? VarF(x737::kApPitch) : F(0x2EE8);
  TryStoreF64(0x2EE8, v * -1.0);
}

void ConvertFlightDirectorRoll() {
  // The x737's roll command has the sign clients expect already.
  double v = X737() ? VarF(x737::kApRoll) : F(0x2EF0) * -1.0;
  TryStoreF64(0x2EF0, v);
}

void ConvertAutothrottleHold() {
  Store32(0x07DC, X737() ? VarI(x737::kSpdMode) : (I(0x07DC) & 1));
}

void ConvertSpeedTargets() {
  double v = 0;
  bool is_mach = false;
  if (X737()) {
    is_mach = VarI(x737::kIsMach) != 0;
    v = VarF(is_mach ? x737::kSpdMach : x737::kSpdKias);
  } else {
    is_mach = XPLMGetDatai(VariablesAccessMemBlock[kAirspeedIsMach]) != 0;
    v = F(0x07E2);
  }
  SpeedPair p = EncodeSpeedPair(v, is_mach, VarF(kSigma), VarF(kSpeedOfSound));
  FieldBatch b;
  if (p.has_knots) b.U16(0x07E2, p.knots);
  if (p.has_mach) b.U32(0x07E8, p.mach);
  b.TryStore();
}

void ConvertMachHold() {
  Store32(0x07E4, X737() ? VarI(x737::kSpdMode) : (I(0x07E4) & 1));
}

void ConvertApproachHold() {
  Store32(0x0800, X737() ? VarI(x737::kApp) : ((I(0x0800) >> 8) & 1));
}

void ConvertAutothrottleArm() {
  // Without the x737 nothing publishes it: it keeps its last value.
  if (X737()) Store32(0x0810, VarI(x737::kAthrArmed));
}

void ConvertAutopilotMaster() {
  bool on = X737() ? (VarI(x737::kCmdA) != 0 || VarI(x737::kCmdB) != 0)
                   : I(0x07BC) == 2;
  Store32(0x07BC, on ? 1 : 0);
}

void ConvertWingLeveller() { Store32(0x07C0, (I(0x07C0) & 4) ? 1 : 0); }

void ConvertFlightDirector() {
  int m = X737() ? VarI(x737::kFdMaster) : I(0x2EE0);
  Store32(0x2EE0, (m == 1 || m == 2) ? 1 : 0);
}

}  // namespace tarvos
