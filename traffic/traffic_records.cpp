#include "traffic/traffic_records.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "offsets/coding.h"
#include "offsets/convert.h"

namespace tarvos {
namespace {

constexpr double kFeetPerMetre = 3.280839;
constexpr double kKnotsPerMetreSecond = 1.94384449;
constexpr int64_t kVerticalSpeedStep = 197;  // ft/min per m/s, as published
constexpr double kRadiansPerDegree = 0.017453292;
constexpr double kEarthRadiusTenthsKm = 63710.0;

// Degrees as a 16-bit circle (the reciprocal of 360 held in single
// precision, as clients were calibrated against).
int64_t Circle16(float degrees) {
  return TruncToInt(double{degrees} * 65536.0 * FloatConst(1.0 / 360.0));
}

}  // namespace

void EncodeTrafficRecord(int32_t id, const PlaneSample& plane, const char* name,
                         uint8_t out[kTrafficRecordSize]) {
  std::memset(out, 0, kTrafficRecordSize);
  StoreS32(out + 0, id);
  StoreF32(out + 4, plane.latitude);
  StoreF32(out + 8, plane.longitude);
  StoreF32(out + 12, HeldAsFloat(double{plane.elevation} * kFeetPerMetre));
  StoreU16(out + 16, Low16(Circle16(plane.heading)));
  const double vx = plane.v_x;
  const double vz = plane.v_z;
  StoreU16(out + 18, Low16(TruncToInt(std::sqrt(vx * vx + vz * vz) *
                                      kKnotsPerMetreSecond)));
  // Unsigned arithmetic: the low 16 bits of the product, never an overflow.
  const uint64_t steps = static_cast<uint64_t>(TruncToInt(plane.v_y));
  StoreU16(out + 20, static_cast<uint16_t>(steps * kVerticalSpeedStep));
  if (name != nullptr) {
    std::memcpy(out + kRecordNameAt, name, strnlen(name, kRecordNameSize));
  }
  out[37] = kRecordMarker;
}

void EncodeAttitudeRecord(int32_t id, const PlaneSample& plane,
                          uint8_t out[kAttitudeRecordSize]) {
  std::memset(out, 0, kAttitudeRecordSize);
  StoreS32(out + 0, id);
  StoreU16(out + 4, 14);
  StoreU16(out + 6, Low16(Circle16(plane.pitch)));
  std::memcpy(out + 8, "NONE", 4);
  std::memcpy(out + 12, "NONE", 4);
  StoreU16(out + 18, Low16(Circle16(plane.bank)));
}

void MarkTrafficRecordUnused(uint8_t record[kTrafficRecordSize]) {
  StoreS32(record + 0, 0);
  StoreF32(record + 4, 0.0f);
  StoreF32(record + 8, 0.0f);
}

void MarkAttitudeRecordUnused(uint8_t record[kAttitudeRecordSize]) {
  StoreS32(record + 0, 0);
  StoreU16(record + 6, 0);
  StoreU16(record + 18, 0);
}

int32_t DistanceTenthsKm(float lat_a, float lon_a, float lat_b, float lon_b) {
  const double k = FloatConst(kRadiansPerDegree);
  const double la = lat_a * k;
  const double oa = lon_a * k;
  const double lb = lat_b * k;
  const double ob = lon_b * k;
  double c = std::cos(la) * std::cos(lb) * std::cos(oa - ob) +
             std::sin(la) * std::sin(lb);
  // A position the simulator gives as NaN is nowhere near the user.
  if (std::isnan(c)) return std::numeric_limits<int32_t>::max();
  // Rounding puts the cosine of two equal positions a little above 1.
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  return static_cast<int32_t>(TruncToInt(std::acos(c) * kEarthRadiusTenthsKm));
}

uint16_t ChooseNearest(std::span<const NearestCandidate> candidates) {
  int32_t best = kNearestLimit;
  uint16_t result = 0;
  for (const NearestCandidate& c : candidates) {
    if (!c.in_use) continue;
    if (c.distance < best) {
      best = c.distance;
      result = c.record_offset;
    }
  }
  return result;
}

}  // namespace tarvos
