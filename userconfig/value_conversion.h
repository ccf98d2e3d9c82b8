// Numeric conversions of user offsets: double to the bytes of an offset type
// and back, and the narrowing rules the evaluator and the dataref writes
// share. A value that does not fit the integer it is truncated into (or a
// not-a-number) becomes that integer's most negative value, so no conversion
// is ever undefined.
#ifndef TARVOS_USERCONFIG_VALUE_CONVERSION_H_
#define TARVOS_USERCONFIG_VALUE_CONVERSION_H_

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

#include "offsets/coding.h"
#include "userconfig/user_tables.h"

namespace tarvos {

// Truncates toward zero into a signed 32-bit integer; out of range or NaN
// gives -2147483648.
inline int32_t TruncToS32(double v) {
  if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
  return std::numeric_limits<int32_t>::min();
}

// Truncates toward zero into a signed 64-bit integer; out of range or NaN
// gives the most negative value.
inline int64_t TruncToS64(double v) {
  if (v >= -9223372036854775808.0 && v < 9223372036854775808.0) {
    return static_cast<int64_t>(v);
  }
  return std::numeric_limits<int64_t>::min();
}

// Rounds to single precision, nearest; beyond the float range gives an
// infinity of the same sign (the conversion itself would be undefined).
inline float ToFloat(double v) {
  // Halfway between FLT_MAX and 2^128: from there on rounding overflows.
  constexpr double kOverflow = 340282356779733661637539395458142568448.0;
  if (v >= kOverflow) return std::numeric_limits<float>::infinity();
  if (v <= -kOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

// Stores `v` at `out` as `type` (OffsetTypeSize(type) bytes, little-endian):
// 8- and 16-bit types and SINT32 through a signed 32-bit intermediate,
// UINT32 and the 64-bit integers through a signed 64-bit one, keeping the
// low bytes.
inline void EncodeUserValue(double v, OffsetType type, uint8_t* out) {
  switch (type) {
    case OffsetType::kUint8:
    case OffsetType::kSint8:
      StoreU8(out, static_cast<uint8_t>(TruncToS32(v)));
      break;
    case OffsetType::kUint16:
    case OffsetType::kSint16:
      StoreU16(out, static_cast<uint16_t>(TruncToS32(v)));
      break;
    case OffsetType::kSint32:
      StoreS32(out, TruncToS32(v));
      break;
    case OffsetType::kUint32:
      StoreU32(out, static_cast<uint32_t>(TruncToS64(v)));
      break;
    case OffsetType::kUint64:
    case OffsetType::kSint64:
      StoreS64(out, TruncToS64(v));
      break;
    case OffsetType::kFloat32:
      StoreF32(out, ToFloat(v));
      break;
    case OffsetType::kFloat64:
      StoreF64(out, v);
      break;
  }
}

// Reads a client value of `type` from `in` and widens it to double.
inline double DecodeUserValue(const uint8_t* in, OffsetType type) {
  switch (type) {
    case OffsetType::kUint8:
      return LoadU8(in);
    case OffsetType::kSint8:
      return LoadS8(in);
    case OffsetType::kUint16:
      return LoadU16(in);
    case OffsetType::kSint16:
      return LoadS16(in);
    case OffsetType::kUint32:
      return LoadU32(in);
    case OffsetType::kSint32:
      return LoadS32(in);
    case OffsetType::kUint64:
      return static_cast<double>(LoadU64(in));
    case OffsetType::kSint64:
      return static_cast<double>(LoadS64(in));
    case OffsetType::kFloat32:
      return LoadF32(in);
    case OffsetType::kFloat64:
      return LoadF64(in);
  }
  return 0.0;
}

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_VALUE_CONVERSION_H_
