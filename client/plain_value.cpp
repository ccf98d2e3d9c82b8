#include "client/plain_value.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "client/named_field.h"
#include "offsets/coding.h"

namespace tarvos::client {
namespace {

bool IsFloat(Encoding e) { return e == Encoding::kF32 || e == Encoding::kF64; }

// The stored integer of an integer row as it is, where a double would
// round it (64-bit counters and identifiers).
bool ExactInteger(const OffsetRow& row, const uint8_t* bytes,
                  std::string* out) {
  if (row.scale != 1.0 || row.bias != 0.0 || row.size != 8) return false;
  char buf[32];
  if (row.encoding == Encoding::kU64) {
    std::snprintf(buf, sizeof buf, "%" PRIu64, LoadU64(bytes));
  } else if (row.encoding == Encoding::kS64) {
    std::snprintf(buf, sizeof buf, "%" PRId64, LoadS64(bytes));
  } else {
    return false;
  }
  *out = buf;
  return true;
}

// A negative value that prints as zero ("-0.00") is zero.
void DropNegativeZero(std::string* text) {
  if (text->empty() || (*text)[0] != '-') return;
  if (text->find_first_not_of("-0.") == std::string::npos) text->erase(0, 1);
}

std::string Fixed(double v, int decimals) {
  char buf[400];  // the largest double in full is 309 digits
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string text = buf;
  DropNegativeZero(&text);
  return text;
}

// Six significant digits in fixed notation, trailing zeros dropped.
std::string FloatText(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  int decimals = 0;
  if (v != 0) {
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    decimals = std::clamp(5 - exponent, 0, 12);
  }
  std::string text = Fixed(v, decimals);
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  DropNegativeZero(&text);
  return text;
}

}  // namespace

int ScaleDecimals(const OffsetRow& row) {
  double s = std::fabs(row.scale);
  if (s == 0 || s >= 1) return 0;
  double digits = -std::log10(s);
  double whole = std::round(digits);
  int d = static_cast<int>(whole) - (std::fabs(digits - whole) < 1e-9 ? 0 : 1);
  return std::clamp(d, 0, 6);
}

std::string PlainItemValue(const CatalogueItem& item, const uint8_t* bytes) {
  const OffsetRow& row = *item.row;
  if (row.encoding == Encoding::kText) return FormatItemValue(item, bytes);
  std::string text;
  if (row.encoding == Encoding::kBits) {
    uint64_t v = 0;
    for (uint32_t i = 0; i < row.size && i < 8; ++i) {
      v |= uint64_t{bytes[i]} << (8 * i);
    }
    return std::to_string(v);
  }
  if (ExactInteger(row, bytes, &text)) return text;
  const double v = DecodeValue(row, bytes);
  if (IsFloat(row.encoding)) return FloatText(v);
  return Fixed(v, ScaleDecimals(row));
}

}  // namespace tarvos::client
