// Numeric conventions of the offset map, next to the byte encoding of
// coding.h. Every converter and handler goes through these, so the rules are
// stated once:
//
//   - a floating value becomes an integer by truncation toward zero;
//   - "rounded" means halves away from zero, then as above;
//   - a field narrower than the computed integer keeps its low-order bytes
//     (two's complement), so -1 in a 16-bit field reads 0xFFFF and a heading
//     past 2^31 in a 32-bit field reads as unsigned;
//   - a constant "held as a float" is the single-precision value of the
//     number; a product "held as a float" is rounded to single precision
//     before it is truncated.
//
// Values from the simulator are not trusted: NaN becomes 0 and magnitudes
// beyond 64 bits saturate, so no conversion here is undefined behaviour.
#ifndef TARVOS_OFFSETS_CONVERT_H_
#define TARVOS_OFFSETS_CONVERT_H_

#include <cmath>
#include <cstdint>
#include <limits>

#include "offsets/coding.h"

namespace tarvos {

// Truncation toward zero into 64 bits; NaN gives 0, out-of-range saturates.
inline int64_t TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  // 2^63 is exactly representable; anything at or above it saturates.
  constexpr double kTwo63 = 9223372036854775808.0;
  if (v >= kTwo63) return std::numeric_limits<int64_t>::max();
  if (v < -kTwo63) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

// Nearest integer with halves away from zero (x >= 0: floor(x + 0.5);
// x < 0: ceil(x - 0.5)), then as TruncToInt.
inline int64_t RoundHalfAway(double v) {
  if (std::isnan(v)) return 0;
  return TruncToInt(v >= 0 ? std::floor(v + 0.5) : std::ceil(v - 0.5));
}

// The low-order bytes of a computed integer.
inline uint8_t Low8(int64_t v) { return static_cast<uint8_t>(v); }
inline uint16_t Low16(int64_t v) { return static_cast<uint16_t>(v); }
inline uint32_t Low32(int64_t v) { return static_cast<uint32_t>(v); }

// Rounds to single precision. Magnitudes beyond the float range become
// infinities explicitly (the plain cast would be undefined there).
inline float HeldAsFloat(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  if (v > kMax) return std::numeric_limits<float>::infinity();
  if (v < -kMax) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(v);
}

// A constant as the plugin holds it in single precision, widened again so
// the product with it is formed in double precision.
inline double FloatConst(double c) {
  return static_cast<double>(static_cast<float>(c));
}

// Stores of a computed value truncated toward zero and narrowed to the
// field's width.
inline void StoreTrunc8(uint8_t* dst, double v) {
  StoreU8(dst, Low8(TruncToInt(v)));
}
inline void StoreTrunc16(uint8_t* dst, double v) {
  StoreU16(dst, Low16(TruncToInt(v)));
}
inline void StoreTrunc32(uint8_t* dst, double v) {
  StoreU32(dst, Low32(TruncToInt(v)));
}
inline void StoreTrunc64(uint8_t* dst, double v) {
  StoreS64(dst, TruncToInt(v));
}

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_CONVERT_H_
