#include "offsets/engines.h"

#include <cmath>
#include <cstring>

#include "XPLMDataAccess.h"
#include "offsets/convert.h"
#include "offsets/field_store.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"

namespace tarvos {
namespace {

// Simulator variables (VariablesAccessMemBlock).
constexpr uint32_t kReverseAnnunciators = 0x0010;
constexpr uint32_t kOverrideThrottles = 0x0023;
constexpr uint32_t kFuelTotal = 0x0030;
constexpr uint32_t kTankCount = 0x0031;
constexpr uint32_t kTankRatios = 0x0032;
constexpr uint32_t kStarterDuration = 0x0038;
constexpr uint32_t kX737Vibration1 = 0x0051;

constexpr double kPsfPerInHg = 70.7262;

// The remembered starter durations of engines 1 and 2, and the tank count
// of the loaded aircraft. Main thread only.
float g_starter_duration[2] = {0, 0};
int g_tank_count = 0;

float ElementF(XPLMDataRef ref, int index) {
  float v = 0;
  XPLMGetDatavf(ref, &v, index, 1);
  return v;
}
int ElementI(XPLMDataRef ref, int index) {
  int v = 0;
  XPLMGetDatavi(ref, &v, index, 1);
  return v;
}
// Engine e's element of the array dataref in engine 1's slot `slot` (each
// engine has its own slot holding the same handle).
float EngineF(uint32_t slot, int e) {
  return ElementF(DataRefMemBlock[EngineField(slot, e)], e - 1);
}
int EngineI(uint32_t slot, int e) {
  return ElementI(DataRefMemBlock[EngineField(slot, e)], e - 1);
}

// Two floats are the same duration when their bits are: a value that stays
// NaN is no change either.
bool SameDuration(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || a == b;
}

uint32_t LoadCapacity(uint32_t offset) {
  LockGuard<RecursiveLock> hold(OffsetLock);
  return LoadU32(OffsetBlock + offset);
}

}  // namespace

namespace {
// The aircraft's temperature unit flags (VariablesAccessMemBlock).
constexpr uint32_t kEgtIsCelsius = 0x003D;
constexpr uint32_t kOilTemperatureIsCelsius = 0x003E;

double Celsius(uint32_t flag_slot, double value) {
  const XPLMDataRef flag = VariablesAccessMemBlock[flag_slot];
  if (flag == nullptr || XPLMGetDatai(flag) != 0) return value;
  return (value - 32.0) * (5.0 / 9.0);
}
}  // namespace

double EgtCelsius(double host_value) {
  return Celsius(kEgtIsCelsius, host_value);
}

double OilTemperatureCelsius(double host_value) {
  return Celsius(kOilTemperatureIsCelsius, host_value);
}

uint8_t EngineTypeCode(int acf_en_type) {
  switch (acf_en_type) {
    case 2:
    case 8:
      return 5;
    case 4:
    case 5:
      return 1;
    case 6:
    case 7:
      return 4;
    default:
      return 0;
  }
}

StarterState NextStarterState(uint8_t type_code, int ignition, float duration,
                              float remembered, uint8_t flags) {
  const bool changed = !SameDuration(duration, remembered);
  if (type_code == 0) {
    uint16_t state = (ignition >= 1 && ignition <= 3) ? ignition : 0;
    if (changed) state = 4;
    return {state, flags};
  }
  if (type_code == 1 || type_code == 5) {
    if (!changed) return {0, static_cast<uint8_t>(flags & ~1u)};
    return {1, static_cast<uint8_t>(flags | 1u)};
  }
  return {0, flags};
}

TankCapacities ComputeTankCapacities(double total_kg, int tank_count,
                                     const float ratios[9]) {
  // Which ratio each capacity field (in kCapacityOffsets order) takes, by
  // the number of tanks; -1 leaves the field 0.
  static constexpr int8_t kAssign[8][7] = {
      {-1, -1, -1, -1, -1, -1, -1},  // none
      {-1, -1, -1, 0, -1, -1, -1},   // 1: centre
      {-1, -1, 0, -1, 1, -1, -1},    // 2: left and right main
      {-1, -1, 0, 1, 2, -1, -1},     // 3: mains and centre
      {-1, 0, 1, -1, 2, 3, -1},      // 4: mains and auxiliaries
      {-1, 0, 1, 2, 3, 4, -1},       // 5
      {0, 1, 2, -1, 3, 4, 5},        // 6: mains, auxiliaries and tips
      {0, 1, 2, 3, 4, 5, 6},         // 7
  };
  TankCapacities c{};
  if (tank_count < 1 || tank_count > 7) return c;
  const double t = HeldAsFloat(total_kg * kKgToPounds * kPoundsToGallons);
  for (int k = 0; k < 7; ++k) {
    int r = kAssign[tank_count][k];
    if (r >= 0) c.gallons[k] = Low32(TruncToInt(ratios[r] * t));
  }
  return c;
}

int RememberedTankCount() { return g_tank_count; }

int LevelElement(uint32_t level_offset, int n) {
  switch (level_offset) {
    case 0x0B74:  // centre
      return (n == 1 || n == 3 || n == 5 || n == 7) ? (n - 1) / 2 : -1;
    case 0x0B7C:  // left main
      return (n >= 2 && n <= 7) ? (n - 2) / 2 : -1;
    case 0x0B94:  // right main
      if (n == 2) return 1;
      return (n >= 3 && n <= 7) ? (n + 1) / 2 : -1;
    default:
      return -1;
  }
}

uint32_t EncodeTankLevel(double kg, uint32_t capacity) {
  if (capacity == 0) return 0;
  const double g = HeldAsFloat(kg * kKgToPounds * kPoundsToGallons);
  return Low32(TruncToInt(g / capacity * 8388608.0));
}

double DecodeTankLevel(uint32_t level, uint32_t capacity) {
  return level / 8388608.0 * capacity / (kKgToPounds * kPoundsToGallons);
}

template <int E>
void ConvertThrottle() {
  constexpr uint32_t field = EngineField(0x088C, E);
  double ratio = 0;
  if (E <= 2 && XPLMGetDatai(VariablesAccessMemBlock[kOverrideThrottles])) {
    ratio = ElementF(VariablesAccessMemBlock[field], E - 1);
  } else {
    ratio = EngineF(0x088C, E);
  }
  const bool reverse =
      (XPLMGetDatai(VariablesAccessMemBlock[kReverseAnnunciators]) >> (E - 1)) &
      1;
  const double v = ratio * FloatConst(reverse ? -4096 : 16384);
  FieldBatch b;
  b.Trunc16(field, v);
  b.Trunc16(0x3330 + 2 * (E - 1), v);
  b.TryStore();
}

template <int E>
void ConvertN2() {
  const double v = EngineF(0x0896, E);
  const uint32_t copy = 0x2008 + 0x100 * (E - 1);
  FieldBatch b;
  b.Trunc16(EngineField(0x0896, E), v * 163.84);
  b.F64(copy, v);
  b.F64(copy + 0x10, v);
  b.TryStore();
}

template <int E>
void ConvertN1() {
  const double v = EngineF(0x0898, E);
  FieldBatch b;
  b.Trunc16(EngineField(0x0898, E), v * 163.84);
  b.F64(0x2000 + 0x100 * (E - 1), v);
  b.TryStore();
}

template <int E>
void ConvertManifoldPressure() {
  const double v = EngineF(0x08C0, E);
  FieldBatch b;
  b.Trunc16(EngineField(0x08C0, E), v * FloatConst(1024));
  if (E == 1) b.F64(0x37E8, v * kPsfPerInHg);
  if (E == 2) b.F64(0x3728, v * kPsfPerInHg);
  b.TryStore();
}

template <int E>
void ConvertVibration() {
  double v = 0;
  if (X737Active.load(std::memory_order_relaxed) != 0) {
    v = XPLMGetDataf(VariablesAccessMemBlock[kX737Vibration1 + (E - 1)]) *
        FloatConst(10000);
  }
  TryStoreTrunc32(EngineField(0x08D4, E), v);
}

template <int E>
void ConvertMixture() {
  TryStoreTrunc16(EngineField(0x0890, E),
                  EngineF(0x0890, E) * FloatConst(16384));
}

template <int E>
void ConvertRunning() {
  FieldBatch b;
  b.U16(EngineField(0x0894, E), Low16(EngineI(0x0894, E)));
  b.TryStore();
}

template <int E>
void ConvertStarter() {
  const float duration =
      ElementF(VariablesAccessMemBlock[kStarterDuration], E - 1);
  const int ignition = EngineI(0x0892, E);
  const float remembered = g_starter_duration[E - 1];
  // Remembered whether or not the store below happens.
  g_starter_duration[E - 1] = duration;
  if (!OffsetLock.TryAcquire()) return;
  const uint32_t flag_offset = 0x0506 + (E - 1);
  StarterState s = NextStarterState(OffsetBlock[0x0609], ignition, duration,
                                    remembered, OffsetBlock[flag_offset]);
  OffsetBlock[flag_offset] = s.flags;
  StoreU16(OffsetBlock + EngineField(0x0892, E), s.state);
  OffsetLock.Release();
}

template <int E>
void ConvertHydraulicPressure() {
  const uint32_t field = EngineField(0x08D8, E);
  TryStoreTrunc32(field,
                  XPLMGetDataf(DataRefMemBlock[field]) * FloatConst(12000));
}

template <int E>
void ConvertCarburettorHeat() {
  TryStoreTrunc16(EngineField(0x08B2, E), EngineF(0x08B2, E));
}

template <uint32_t kLevel>
void ConvertTankLevel() {
  const uint32_t capacity = LoadCapacity(kLevel + 4);
  const int element = LevelElement(kLevel, g_tank_count);
  double kg = 0;
  if (element >= 0) kg = ElementF(DataRefMemBlock[kLevel], element);
  FieldBatch b;
  b.U32(kLevel, EncodeTankLevel(kg, capacity));
  b.TryStore();
}

void ConvertVacuum() {
  TryStoreF64(0x0B18, XPLMGetDataf(DataRefMemBlock[0x0B18]) + 1.0);
}

template <int E>
void ConvertOilQuantity() {
  TryStoreTrunc32(EngineField(0x08D0, E),
                  EngineF(0x08D0, E) * FloatConst(16384));
}

template <int E>
void ConvertHydraulicQuantity() {
  const uint32_t field = EngineField(0x08DC, E);
  TryStoreTrunc32(field,
                  XPLMGetDataf(DataRefMemBlock[field]) * FloatConst(16384));
}

void ConvertTankCapacities() {
  const double total = XPLMGetDataf(VariablesAccessMemBlock[kFuelTotal]);
  int n = XPLMGetDatai(VariablesAccessMemBlock[kTankCount]);
  if (n >= 10) n = 9;
  g_tank_count = n;
  float ratios[9] = {};
  XPLMGetDatavf(VariablesAccessMemBlock[kTankRatios], ratios, 0, 9);
  const TankCapacities c = ComputeTankCapacities(total, n, ratios);
  FieldBatch b;
  for (int k = 0; k < 7; ++k) b.U32(kCapacityOffsets[k], c.gallons[k]);
  b.U16(0x0AF4, 1709);
  b.Store();
}

void ConvertEngineType() {
  FieldBatch b;
  b.U8(0x0609, EngineTypeCode(ElementI(DataRefMemBlock[0x0609], 0)));
  b.Store();
}

void ConvertEngineCount() {
  FieldBatch b;
  b.U16(0x0AEC, Low16(XPLMGetDatai(DataRefMemBlock[0x0AEC])));
  b.Store();
}

template void ConvertThrottle<1>();
template void ConvertThrottle<2>();
template void ConvertThrottle<3>();
template void ConvertThrottle<4>();
template void ConvertN2<1>();
template void ConvertN2<2>();
template void ConvertN1<1>();
template void ConvertN1<2>();
template void ConvertManifoldPressure<1>();
template void ConvertManifoldPressure<2>();
template void ConvertManifoldPressure<3>();
template void ConvertManifoldPressure<4>();
template void ConvertVibration<1>();
template void ConvertVibration<2>();
template void ConvertMixture<1>();
template void ConvertMixture<2>();
template void ConvertRunning<1>();
template void ConvertRunning<2>();
template void ConvertStarter<1>();
template void ConvertStarter<2>();
template void ConvertHydraulicPressure<1>();
template void ConvertHydraulicPressure<2>();
template void ConvertCarburettorHeat<1>();
template void ConvertCarburettorHeat<2>();
template void ConvertCarburettorHeat<3>();
template void ConvertCarburettorHeat<4>();
template void ConvertTankLevel<0x0B74>();
template void ConvertTankLevel<0x0B7C>();
template void ConvertTankLevel<0x0B94>();
template void ConvertOilQuantity<1>();
template void ConvertOilQuantity<2>();
template void ConvertHydraulicQuantity<1>();
template void ConvertHydraulicQuantity<2>();

}  // namespace tarvos
