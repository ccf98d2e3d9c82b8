#include "offsets/controls.h"

#include "XPLMDataAccess.h"
#include "offsets/convert.h"
#include "offsets/field_store.h"
#include "offsets/reference_tables.h"

namespace tarvos {
namespace {

// Simulator variables (VariablesAccessMemBlock).
constexpr uint32_t kOverridePitch = 0x0020;
constexpr uint32_t kOverrideRoll = 0x0021;
constexpr uint32_t kOverrideHeading = 0x0022;
constexpr uint32_t kOverrideThrottles = 0x0023;
constexpr uint32_t kHasJoystick = 0x0025;
constexpr uint32_t kX737BatteryBus = 0x004B;

// Ratios stored x 16383; deflections in the f64 copies as tenths of a
// radian per degree.
constexpr double kRatio = 16383.0;
constexpr double kTenthRadians = 0.17453292;

// The override bits as the last run of callback C found them; only the low
// byte is published. Main thread only.
uint32_t g_override_word = 0;

// A null handle (a plugin that is absent) reads 0, as the host's own null
// reads do, without asking the host.
int ReadInt(XPLMDataRef ref) { return ref != nullptr ? XPLMGetDatai(ref) : 0; }

// Whether any of the first four elements of an int array is non-zero. The
// sum is formed in 64 bits so that no four ints overflow it.
bool AnyOfFour(XPLMDataRef ref) {
  int v[4] = {0, 0, 0, 0};
  XPLMGetDatavi(ref, v, 0, 4);
  int64_t sum = 0;
  for (int x : v) sum += x;
  return sum != 0;
}

void TryStoreU8(uint32_t offset, uint8_t v) {
  FieldBatch batch;
  batch.U8(offset, v);
  batch.TryStore();
}

}  // namespace

int32_t SpoilerHandlePosition(float request) {
  const double v = request;
  if (v > 0.07 && v <= 1.0) {
    return Low32(TruncToInt(v * FloatConst(11583.0) + FloatConst(4800.0)));
  }
  if (v < 0) return 4800;
  return 0;
}

int32_t SpoilersArmed(float request) { return request < 0 ? 1 : 0; }

int32_t PushbackState(int status) {
  switch (status) {
    case 0:
      return 3;
    case 2:
      return 2;
    case 3:
      return 1;
    default:
      return 0;
  }
}

uint8_t OverrideFlags(int pitch, int roll, int heading, int throttles) {
  return static_cast<uint8_t>((pitch & 1) | (roll & 1) << 1 |
                              (heading & 1) << 2 | (throttles & 1) << 3);
}

void ConvertYokeRoll() {
  double v = 0;
  if ((XPLMGetDatai(VariablesAccessMemBlock[kHasJoystick]) & 0xFF) != 0) {
    v = XPLMGetDataf(DataRefMemBlock[0x0BB6]) * kRatio;
  }
  TryStoreTrunc16(0x0BB6, v);
}

void ConvertElevatorTrimCopies() {
  const double trim = XPLMGetDataf(DataRefMemBlock[0x0BC2]);
  FieldBatch batch;
  batch.Trunc16(0x0BC2, trim * kRatio);
  batch.F64(0x2E98, trim * kTenthRadians);
  batch.TryStore();
}

void ConvertOverrideFlags() {
  const uint8_t bits =
      OverrideFlags(XPLMGetDatai(VariablesAccessMemBlock[kOverridePitch]),
                    XPLMGetDatai(VariablesAccessMemBlock[kOverrideRoll]),
                    XPLMGetDatai(VariablesAccessMemBlock[kOverrideHeading]),
                    XPLMGetDatai(VariablesAccessMemBlock[kOverrideThrottles]));
  g_override_word = (g_override_word & ~0xFu) | bits;
  TryStoreU8(0x310A, static_cast<uint8_t>(g_override_word & 0xFF));
}

void ConvertSpoilers() {
  // Each offset has its own handle on the request; both are read.
  const float armed = XPLMGetDataf(DataRefMemBlock[0x0BCC]);
  const float handle = XPLMGetDataf(DataRefMemBlock[0x0BD0]);
  FieldBatch batch;
  batch.U32(0x0BCC, static_cast<uint32_t>(SpoilersArmed(armed)));
  batch.U32(0x0BD0, static_cast<uint32_t>(SpoilerHandlePosition(handle)));
  batch.TryStore();
}

void ConvertGenerators() {
  TryStoreU8(0x3101, AnyOfFour(DataRefMemBlock[0x3101]) ? 1 : 0);
}

void ConvertBattery() {
  uint8_t v;
  if (X737Active.load() != 0) {
    v = ReadInt(VariablesAccessMemBlock[kX737BatteryBus]) == 1 ? 1 : 0;
  } else {
    v = Low8(XPLMGetDatai(DataRefMemBlock[0x3102]));
  }
  TryStoreU8(0x3102, v);
}

void ConvertFuelPumps() {
  TryStoreU8(0x3104, AnyOfFour(DataRefMemBlock[0x3104]) ? 1 : 0);
}

void ConvertPushback() {
  // Read whether or not the pushback plugin is loaded: while it is absent
  // the slot is null, the reading 0, and the state "no pushback".
  const uint32_t state =
      static_cast<uint32_t>(PushbackState(ReadInt(DataRefMemBlock[0x31F0])));
  FieldBatch batch;
  batch.U32(0x31F0, state);
  batch.U32(0x31F4, state);
  batch.TryStore();
}

}  // namespace tarvos
