#include "offsets/weather.h"

#include <atomic>
#include <cmath>

#include "XPLMDataAccess.h"
#include "offsets/convert.h"
#include "offsets/field_store.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"

namespace tarvos {
namespace {

constexpr double kDegreesToUnits = 182.04444444444445;  // 65536 / 360
constexpr double kTurbulenceScale = 28.333333333333332;

float F(uint32_t slot) { return XPLMGetDataf(DataRefMemBlock[slot]); }

constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;
// Set at Enable from the host's version; read by the flight loop and the
// transport threads.
std::atomic<bool> g_wind_in_metres{false};

// A wind speed reference, in knots whatever the host keeps.
double WindKnots(uint32_t slot) { return WindKnotsFromHost(F(slot)); }

// One 16-bit value at its offset and at its copy, in one lock hold.
void StorePair(uint32_t offset, uint32_t copy, uint16_t v, FieldBatch& b) {
  b.U16(offset, v);
  b.U16(copy, v);
}

uint16_t Trunc(double v) { return Low16(TruncToInt(v)); }

// A 16-bit value read under a wait for OffsetLock (the layer limits keep
// what a client wrote).
int16_t HeldS16(uint32_t offset) EXCLUDES(OffsetLock) {
  LockGuard<RecursiveLock> hold(OffsetLock);
  return LoadS16(OffsetBlock + offset);
}

}  // namespace

uint8_t RainLevel(float r) {
  // The simulator's fraction is a float: compared with the thresholds in
  // single precision, a fraction of 0.33 is level 1, as it reads.
  if (!(r > 0.16f)) return 0;  // NaN too
  if (r <= 0.33f) return 1;
  if (r <= 0.5f) return 2;
  if (r <= 0.67f) return 3;
  if (r <= 0.84f) return 4;
  return 5;
}

uint16_t CloudCoverCode(int type) {
  switch (type) {
    case 1:
      return 26213;
    case 2:
      return 39320;
    case 3:
      return 52427;
    case 4:
      return 65535;
    default:
      return 0;
  }
}

int CloudTypeOfCover(uint16_t cover) {
  if (cover < 13107) return 0;
  if (cover <= 26213) return 1;
  if (cover <= 39320) return 2;
  if (cover <= 52427) return 3;
  return 4;
}

void SetWindSpeedsInMetresPerSecond(bool metres) {
  g_wind_in_metres.store(metres, std::memory_order_relaxed);
}

bool WindSpeedsInMetresPerSecond() {
  return g_wind_in_metres.load(std::memory_order_relaxed);
}

double WindKnotsFromHost(double value) {
  if (!WindSpeedsInMetresPerSecond()) return value;
  // Rounded to a thousandth of a knot: a whole speed a client wrote, held
  // as a float in metres per second, reads back as itself and not just
  // below it once truncated.
  return std::round(value * kKnotsPerMetrePerSecond * 1000.0) / 1000.0;
}

double HostWindFromKnots(double knots) {
  return WindSpeedsInMetresPerSecond() ? knots / kKnotsPerMetrePerSecond
                                       : knots;
}

void ConvertWindSpeed() { TryStoreTrunc16(0x0E90, WindKnots(0x0E90) * 2); }

void ConvertWindDirection() {
  // Both factors held as floats, applied one after the other.
  double v = F(0x0E92) * FloatConst(65536) * FloatConst(0.0027777778450399637);
  TryStoreTrunc16(0x0E92, v);
}

void ConvertSurfaceWindSpeed() {
  uint16_t v = Trunc(WindKnots(0x0F72));
  FieldBatch b;
  b.U16(0x04D8, v);
  b.U16(0x0F72, v);
  b.U16(0x0EF0, v);
  b.TryStore();
}

namespace {
// The cover code of the cloud layer whose type dataref has the slot of its
// offset.
void ConvertCloudCover(uint32_t offset) {
  FieldBatch b;
  b.U16(offset, CloudCoverCode(XPLMGetDatai(DataRefMemBlock[offset])));
  b.TryStore();
}
}  // namespace

void ConvertUpperCloudCover() { ConvertCloudCover(0x0E9E); }
void ConvertLowerCloudCover() { ConvertCloudCover(0x0EA6); }

void ConvertSurfaceWindDirection() {
  double v = (static_cast<double>(F(0x0F74)) + F(0x02A0)) * kDegreesToUnits;
  uint16_t d = Trunc(v);
  FieldBatch b;
  b.U16(0x04DA, d);
  b.U16(0x0F74, d);
  b.U16(0x0EF2, d);
  b.TryStore();
}

void ConvertUpperWindLayer() {
  FieldBatch b;
  StorePair(0x0F5C, 0x0EDA, Trunc(WindKnots(0x0F5C)), b);
  StorePair(0x0F5E, 0x0EDC, Trunc(F(0x0F5E) * kDegreesToUnits), b);
  StorePair(0x0F60, 0x0EDE, Trunc(F(0x0F60) * kTurbulenceScale), b);
  StorePair(0x0F62, 0x0EE0, Trunc(F(0x0F62)), b);
  b.TryStore();
}

void ConvertMiddleWindLayerLimits() {
  // The dataref gives the middle of the layer: top and base are kept
  // symmetric around it, and a base a client wrote stays as written.
  double middle = F(0x0F64);
  int16_t base = HeldS16(0x0F66);
  uint16_t top = Trunc(2 * middle - base);
  {
    FieldBatch b;
    StorePair(0x0F64, 0x0EE2, top, b);
    b.TryStore();
  }
  int16_t top_now = HeldS16(0x0F64);
  FieldBatch b;
  StorePair(0x0F66, 0x0EE4, Trunc(2 * static_cast<double>(F(0x0F66)) - top_now),
            b);
  b.TryStore();
}

void ConvertMiddleWindLayer() {
  FieldBatch b;
  StorePair(0x0F68, 0x0EE6, Trunc(WindKnots(0x0F68)), b);
  // The direction's product is held as a float, then rounded.
  StorePair(0x0F6A, 0x0EE8,
            Low16(RoundHalfAway(HeldAsFloat(F(0x0F6A) * kDegreesToUnits))), b);
  StorePair(0x0F6C, 0x0EEA, Trunc(F(0x0F6C) * kTurbulenceScale), b);
  StorePair(0x0F6E, 0x0EEC, Trunc(F(0x0F6E)), b);
  b.TryStore();
}

void ConvertSurfaceWindLayer() {
  FieldBatch b;
  StorePair(0x0F70, 0x0EEE, Trunc(2 * static_cast<double>(F(0x0F70))), b);
  StorePair(0x0F76, 0x0EF4, Trunc(F(0x0F76) * kTurbulenceScale), b);
  StorePair(0x0F78, 0x0EF6, Trunc(F(0x0F78)), b);
  b.TryStore();
}

void ConvertSeaLevelPressure() {
  double inhg = F(0x0EC6);
  FieldBatch b;
  b.U16(0x0EC6, Low16(RoundHalfAway(inhg * 541.76)));
  b.F64(0x34A0, inhg * 33.86);
  b.TryStore();
}

void ConvertRainLevel() {
  FieldBatch b;
  b.U8(0x04CB, RainLevel(F(0x04CB)));
  b.TryStore();
}

void ConvertPrecipitationType() {
  double temperature = F(0x04CC);
  // The first byte of the precipitation control a client last wrote.
  uint8_t control = 0;
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    control = OffsetBlock[0x04D2];
  }
  uint8_t type = 0;
  if (control != 0) type = temperature >= 0 ? 1 : 2;
  FieldBatch b;
  b.U8(0x04CC, type);
  b.TryStore();
}

}  // namespace tarvos
