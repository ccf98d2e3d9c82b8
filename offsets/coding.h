// Little-endian encoding of the offset space, in one place.
//
// Every byte shuffle of the plugin, the client library and the tests goes
// through these helpers: stores and loads of 8, 16, 32 and 64 bits, signed and
// unsigned, float and double, by shifts and memcpy (never by casting a
// pointer). The numeric conventions of the offset map (truncation toward
// zero, rounding with halves away from zero, narrowing to the low bytes) live
// beside it in offsets/convert.h.
#ifndef TARVOS_OFFSETS_CODING_H_
#define TARVOS_OFFSETS_CODING_H_

#include <cmath>
#include <cstdint>
#include <cstring>

namespace tarvos {

inline void StoreU8(uint8_t* dst, uint8_t v) { dst[0] = v; }
inline void StoreU16(uint8_t* dst, uint16_t v) {
  dst[0] = static_cast<uint8_t>(v);
  dst[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* dst, uint32_t v) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU64(uint8_t* dst, uint64_t v) {
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreS8(uint8_t* dst, int8_t v) {
  StoreU8(dst, static_cast<uint8_t>(v));
}
inline void StoreS16(uint8_t* dst, int16_t v) {
  StoreU16(dst, static_cast<uint16_t>(v));
}
inline void StoreS32(uint8_t* dst, int32_t v) {
  StoreU32(dst, static_cast<uint32_t>(v));
}
inline void StoreS64(uint8_t* dst, int64_t v) {
  StoreU64(dst, static_cast<uint64_t>(v));
}
inline void StoreF32(uint8_t* dst, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  StoreU32(dst, bits);
}
inline void StoreF64(uint8_t* dst, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  StoreU64(dst, bits);
}

inline uint8_t LoadU8(const uint8_t* src) { return src[0]; }
inline uint16_t LoadU16(const uint8_t* src) {
  return static_cast<uint16_t>(src[0] | (src[1] << 8));
}
inline uint32_t LoadU32(const uint8_t* src) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | src[i];
  return v;
}
inline uint64_t LoadU64(const uint8_t* src) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | src[i];
  return v;
}
inline int8_t LoadS8(const uint8_t* src) {
  return static_cast<int8_t>(LoadU8(src));
}
inline int16_t LoadS16(const uint8_t* src) {
  return static_cast<int16_t>(LoadU16(src));
}
inline int32_t LoadS32(const uint8_t* src) {
  return static_cast<int32_t>(LoadU32(src));
}
inline int64_t LoadS64(const uint8_t* src) {
  return static_cast<int64_t>(LoadU64(src));
}
inline float LoadF32(const uint8_t* src) {
  uint32_t bits = LoadU32(src);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
inline double LoadF64(const uint8_t* src) {
  uint64_t bits = LoadU64(src);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_CODING_H_
