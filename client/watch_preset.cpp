#include "client/watch_preset.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

#include "offsets/coding.h"

namespace tarvos::client {
namespace {

// Scales of the published encodings.
constexpr double kLatitudeUnits = 10001750.0 * 65536.0 * 65536.0 / 90.0;
constexpr double kLongitudeUnits =
    65536.0 * 65536.0 * 65536.0 * 65536.0 / 360.0;
constexpr double kTurnUnits = 65536.0 * 65536.0 / 360.0;  // u32 angle
constexpr double kMetresToFeet = 1.0 / 0.3048;
constexpr double kMpsToKnots = 3600.0 / 1852.0;
constexpr double kMpsToFpm = 60.0 * kMetresToFeet;

std::string Printf(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), format, v);
  return buf;
}

// 0x0560 s64: degrees north.
std::string Latitude(const uint8_t* b) {
  double deg = static_cast<double>(LoadS64(b)) / kLatitudeUnits;
  return Printf(deg < 0 ? "%.6f S" : "%.6f N", std::fabs(deg));
}
// 0x0568 s64: degrees east.
std::string Longitude(const uint8_t* b) {
  double deg = static_cast<double>(LoadS64(b)) / kLongitudeUnits;
  return Printf(deg < 0 ? "%.6f W" : "%.6f E", std::fabs(deg));
}
// 0x0570 u32 fraction of a metre, 0x0574 s32 whole metres.
std::string Altitude(const uint8_t* b) {
  double m = LoadS32(b + 4) + LoadU32(b) / 4294967296.0;
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%.0f ft (%.1f m)", m * kMetresToFeet, m);
  return buf;
}
// 0x0580 u32: true heading, 2^32 to the turn.
std::string Heading(const uint8_t* b) {
  return Printf("%.1f deg", LoadU32(b) / kTurnUnits);
}
// 0x02BC, 0x02B8 s32: knots x 128.
std::string Knots128(const uint8_t* b) {
  return Printf("%.1f kt", LoadS32(b) / 128.0);
}
// 0x02B4 s32: m/s x 65536.
std::string GroundSpeed(const uint8_t* b) {
  return Printf("%.1f kt", LoadS32(b) / 65536.0 * kMpsToKnots);
}
// 0x02C8 s32: m/s x 256, up positive.
std::string VerticalSpeed(const uint8_t* b) {
  return Printf("%.0f ft/min", LoadS32(b) / 256.0 * kMpsToFpm);
}
// Autopilot switches, s32: 0 off, 1 on; a combined-mode value (0x300 at
// 0x07C4, 0x4020 at 0x07D0) is shown as it is.
std::string Switch(const uint8_t* b) {
  uint32_t v = LoadU32(b);
  if (v <= 1) return v ? "on" : "off";
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%X", v);
  return buf;
}
// 0x07CC u16: selected heading, 65536 to the turn.
std::string HeadingBug(const uint8_t* b) {
  return Printf("%.0f deg", LoadU16(b) * 360.0 / 65536.0);
}
// 0x07D4 u32: selected altitude, metres x 65536.
std::string AltitudeBug(const uint8_t* b) {
  return Printf("%.0f ft", LoadU32(b) / 65536.0 * kMetresToFeet);
}
// 0x07F2 s16: selected vertical speed, ft/min.
std::string VerticalSpeedBug(const uint8_t* b) {
  return Printf("%.0f ft/min", LoadS16(b));
}
// 0x0918 f64: fuel flow, lb/h.
std::string FuelFlow(const uint8_t* b) {
  return Printf("%.0f lb/h", LoadF64(b));
}
// 0x08BE s16: EGT, deg C x 19.051.
std::string Egt(const uint8_t* b) {
  return Printf("%.0f C", LoadS16(b) / 19.051);
}
// 0x08B8 s16: oil temperature, deg C x 117.02857.
std::string OilTemperature(const uint8_t* b) {
  return Printf("%.0f C", LoadS16(b) / 117.02857);
}
// 0x08BA s16: oil pressure, psi x 297.891.
std::string OilPressure(const uint8_t* b) {
  return Printf("%.0f psi", LoadS16(b) / 297.891);
}
// 0x08BC s16: EPR x 10240.
std::string Epr(const uint8_t* b) {
  return Printf("%.2f", LoadS16(b) / 10240.0);
}
// 0x0238 u8 hour, 0x0239 u8 minute, 0x023A u8 second (local).
std::string Clock(const uint8_t* b) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%02u:%02u:%02u", b[0], b[1], b[2]);
  return buf;
}
// 0x023E u16: day of the year, from 1.
std::string DayOfYear(const uint8_t* b) { return std::to_string(LoadU16(b)); }

// One row per shown value, in display order.
constexpr PresetRow kPreset[] = {
    {"latitude", 0x0560, 8, Latitude},
    {"longitude", 0x0568, 8, Longitude},
    {"altitude", 0x0570, 8, Altitude},
    {"heading (true)", 0x0580, 4, Heading},
    {"IAS", 0x02BC, 4, Knots128},
    {"TAS", 0x02B8, 4, Knots128},
    {"ground speed", 0x02B4, 4, GroundSpeed},
    {"vertical speed", 0x02C8, 4, VerticalSpeed},
    {"AP NAV1 lock", 0x07C4, 4, Switch},
    {"AP heading hold", 0x07C8, 4, Switch},
    {"AP heading", 0x07CC, 2, HeadingBug},
    {"AP altitude hold", 0x07D0, 4, Switch},
    {"AP altitude", 0x07D4, 4, AltitudeBug},
    {"AP V/S hold", 0x07EC, 4, Switch},
    {"AP V/S", 0x07F2, 2, VerticalSpeedBug},
    {"eng 1 fuel flow", 0x0918, 8, FuelFlow},
    {"eng 1 EGT", 0x08BE, 2, Egt},
    {"eng 1 oil temp", 0x08B8, 2, OilTemperature},
    {"eng 1 oil press", 0x08BA, 2, OilPressure},
    {"eng 1 EPR", 0x08BC, 2, Epr},
    {"local time", 0x0238, 3, Clock},
    {"day of year", 0x023E, 2, DayOfYear},
};

std::string Hex(const uint8_t* b, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out += ' ';
    out += kDigits[b[i] >> 4];
    out += kDigits[b[i] & 15];
  }
  return out;
}

}  // namespace

void AddPresetReads(RequestBatch& batch) {
  for (const PresetRow& row : kPreset) batch.AddRead(row.offset, row.size);
}

std::string RenderPreset(const RequestBatch& batch, bool raw) {
  size_t width = 0;
  for (const PresetRow& row : kPreset)
    width = std::max(width, std::char_traits<char>::length(row.label));
  std::string out;
  size_t n = std::min(std::size(kPreset), batch.ReadCount());
  for (size_t i = 0; i < n; ++i) {
    const PresetRow& row = kPreset[i];
    std::string label = row.label;
    out += label;
    out.append(width - label.size() + 2, ' ');
    if (raw) {
      char where[16];
      std::snprintf(where, sizeof(where), "0x%04X  ", row.offset);
      out += where;
      out += Hex(batch.Data(i), row.size);
    } else {
      out += row.decode(batch.Data(i));
    }
    out += '\n';
  }
  return out;
}

}  // namespace tarvos::client
