#include "offsets/position.h"

#include <cmath>
#include <cstdio>

#include "XPLMDataAccess.h"
#include "offsets/convert.h"
#include "offsets/field_store.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"

namespace tarvos {
namespace {

// Scale factors as the offset map defines them.
constexpr double kLatitudeScale = 477302101697422.25;     // 10001750*2^32/90
constexpr double kLongitudeScale = 5.124095576030431e16;  // 2^64/360
constexpr double kAngleScale = 11930464.711111112;        // 2^32/360
constexpr double kTwo32 = 4294967296.0;

// Runs of callback A since the library was loaded; main thread only.
uint16_t refresh_counter = 0;

double Dref(uint32_t slot) { return XPLMGetDatad(DataRefMemBlock[slot]); }
double Fref(uint32_t slot) { return XPLMGetDataf(DataRefMemBlock[slot]); }
int Iref(uint32_t slot) { return XPLMGetDatai(DataRefMemBlock[slot]); }

}  // namespace

int64_t EncodeLatitude(double degrees) {
  return TruncToInt(degrees * kLatitudeScale);
}

int64_t EncodeLongitude(double degrees) {
  return TruncToInt(degrees * kLongitudeScale);
}

AltitudeFields EncodeAltitude(double metres) {
  double whole = std::floor(metres);
  AltitudeFields f;
  f.whole = static_cast<int32_t>(Low32(TruncToInt(whole)));
  // metres - floor(metres) is below 1 in exact arithmetic but may round up
  // to 1.0 for tiny negative values; keep the fraction inside its field.
  double frac = (metres - static_cast<double>(f.whole)) * kTwo32;
  int64_t t = TruncToInt(frac);
  if (t < 0) t = 0;
  if (t > 0xFFFFFFFFll) t = 0xFFFFFFFFll;
  f.fraction = static_cast<uint32_t>(t);
  return f;
}

uint32_t EncodePitchOrBank(float degrees) {
  return Low32(TruncToInt(degrees * -kAngleScale));
}

uint32_t EncodeHeading(float degrees) {
  return Low32(TruncToInt(degrees * kAngleScale));
}

ClockFields EncodeClock(float seconds) {
  int64_t s = TruncToInt(seconds);
  int64_t hour = s / 3600;
  int64_t minute = TruncToInt(seconds - static_cast<double>(hour) * 3600) / 60;
  int64_t second = (s % 3600) - minute * 60;
  ClockFields c;
  c.hour = Low8(hour);
  c.minute = Low8(minute);
  c.second = Low8(second);
  // The text carries the same values the bytes do; snprintf keeps it inside
  // its 9 bytes whatever the simulator reports.
  std::snprintf(c.text, sizeof c.text, "%02u:%02i:%02i",
                static_cast<unsigned>(Low32(hour)),
                static_cast<int>(Low32(minute)),
                static_cast<int>(Low32(second)));
  return c;
}

uint16_t EncodeTimeZoneMinutes(float local_seconds, float zulu_seconds) {
  constexpr double kPerHour = 0.0002777777777777778;
  int16_t local_hour =
      static_cast<int16_t>(Low16(TruncToInt(local_seconds * kPerHour)));
  int16_t zulu_hour =
      static_cast<int16_t>(Low16(TruncToInt(zulu_seconds * kPerHour)));
  return Low16((local_hour - zulu_hour) * 60);
}

void ConvertGroundElevation() {
  double elevation = Dref(0x0020);
  double agl = Fref(0x31E4);
  double ground = elevation - agl;
  if (ground < 0) ground = 0;
  FieldBatch b;
  b.Trunc32(0x0020, ground * 256);
  b.TryStore();
}

void ConvertVerticalSpeed() {
  double vs = Fref(0x02C8);
  uint32_t vs256 = Low32(TruncToInt(vs * 256));
  uint16_t per_minute = Low16(TruncToInt(vs * -60));
  if (!OffsetLock.TryAcquire()) return;
  StoreU32(OffsetBlock + 0x02C8, vs256);
  StoreU16(OffsetBlock + 0x0842, per_minute);
  // On the ground 0x030C keeps the last airborne value.
  if (OffsetBlock[0x0366] == 0) StoreU32(OffsetBlock + 0x030C, vs256);
  OffsetLock.Release();
}

void ConvertLatitude() {
  FieldBatch b;
  b.S64(0x0560, EncodeLatitude(Dref(0x0560)));
  b.Store();
}

void ConvertLongitude() {
  FieldBatch b;
  b.S64(0x0568, EncodeLongitude(Dref(0x0568)));
  b.Store();
}

void ConvertAltitude() {
  AltitudeFields f = EncodeAltitude(Dref(0x0570));
  FieldBatch b;
  b.U32(0x0570, f.fraction);
  b.U32(0x0574, static_cast<uint32_t>(f.whole));
  b.Store();
}

void ConvertPitch() {
  FieldBatch b;
  b.U32(0x0578, EncodePitchOrBank(static_cast<float>(Fref(0x0578))));
  b.Store();
}

void ConvertBank() {
  FieldBatch b;
  b.U32(0x057C, EncodePitchOrBank(static_cast<float>(Fref(0x057C))));
  b.Store();
}

void ConvertHeading() {
  FieldBatch b;
  b.U32(0x0580, EncodeHeading(static_cast<float>(Fref(0x0580))));
  b.Store();
}

void ConvertIndicatedAltitude() {
  double feet = Fref(0x3324);
  LockGuard<RecursiveLock> hold(OffsetLock);
  // 0x0C18 is set by clients; 2 selects metres.
  double v = LoadU16(OffsetBlock + 0x0C18) == 2 ? feet * 0.3048 : feet;
  StoreTrunc32(OffsetBlock + 0x3324, v);
}

void AdvanceRefreshCounter() {
  ++refresh_counter;  // wraps from 65535 to 0
  FieldBatch b;
  b.U16(0x337E, refresh_counter);
  b.TryStore();
}

uint16_t RefreshCounterValue() { return refresh_counter; }

void ConvertLocalTime() {
  ClockFields c = EncodeClock(static_cast<float>(Fref(0x0238)));
  FieldBatch b;
  b.U8(0x0238, c.hour);
  b.U8(0x0239, c.minute);
  b.U8(0x023A, c.second);
  b.Put(0x0C20, reinterpret_cast<const uint8_t*>(c.text), sizeof c.text);
  b.TryStore();
}

void ConvertZuluTime() {
  ClockFields c = EncodeClock(static_cast<float>(Fref(0x023B)));
  FieldBatch b;
  b.U8(0x023B, c.hour);
  b.U8(0x023C, c.minute);
  b.TryStore();
}

void ConvertTimeZoneOffset() {
  float local = static_cast<float>(Fref(0x0238));
  float zulu = static_cast<float>(Fref(0x023B));
  FieldBatch b;
  b.U16(0x0246, EncodeTimeZoneMinutes(local, zulu));
  b.TryStore();
}

void ConvertPaused() {
  uint16_t paused = Low16(Iref(0x0264));
  FieldBatch b;
  b.U16(0x0262, paused);
  b.U16(0x0264, paused);
  b.TryStore();
}

void ConvertDayOfYear() {
  FieldBatch b;
  b.U16(0x023E, Low16(static_cast<int64_t>(Iref(0x023E)) + 1));
  b.TryStore();
}

void ConvertZeroFuelWeight() {
  double fixed = Fref(0x3BFC);
  double empty = XPLMGetDataf(VariablesAccessMemBlock[0x0034]);
  TryStoreTrunc32(0x3BFC, (fixed + empty) * 564.3776);
}

void ConvertNeverExceedSpeed() {
  FieldBatch b;
  b.Trunc32(0x02C4, Fref(0x02C4) * FloatConst(128));
  b.Store();
}

}  // namespace tarvos
