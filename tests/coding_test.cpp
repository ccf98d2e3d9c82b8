// Little-endian stores and loads: the exact bytes of every width.
#include "offsets/coding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tarvos {
namespace {

using Bytes = std::vector<uint8_t>;

template <typename T, size_t N>
Bytes Stored(void (*store)(uint8_t*, T), T value) {
  uint8_t out[N];
  store(out, value);
  return Bytes(out, out + N);
}

TEST(Coding, StoresWriteLeastSignificantByteFirst) {
  EXPECT_EQ((Stored<uint8_t, 1>(StoreU8, 0xAB)), (Bytes{0xAB}));
  EXPECT_EQ((Stored<uint16_t, 2>(StoreU16, 0x07DA)), (Bytes{0xDA, 0x07}));
  EXPECT_EQ((Stored<uint32_t, 4>(StoreU32, 0xFADE0008u)),
            (Bytes{0x08, 0x00, 0xDE, 0xFA}));
  EXPECT_EQ((Stored<uint64_t, 8>(StoreU64, 0x0102030405060708ull)),
            (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ((Stored<int8_t, 1>(StoreS8, -2)), (Bytes{0xFE}));
  EXPECT_EQ((Stored<int16_t, 2>(StoreS16, -2)), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ((Stored<int32_t, 4>(StoreS32, -684)),
            (Bytes{0x54, 0xFD, 0xFF, 0xFF}));
  EXPECT_EQ((Stored<int64_t, 8>(StoreS64, -1)), Bytes(8, 0xFF));
  EXPECT_EQ((Stored<float, 4>(StoreF32, 1.0f)), (Bytes{0, 0, 0x80, 0x3F}));
  EXPECT_EQ((Stored<float, 4>(StoreF32, -2.5f)), (Bytes{0, 0, 0x20, 0xC0}));
  EXPECT_EQ((Stored<double, 8>(StoreF64, 1.0)),
            (Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ((Stored<double, 8>(StoreF64, -0.5)),
            (Bytes{0, 0, 0, 0, 0, 0, 0xE0, 0xBF}));
}

TEST(Coding, LoadsReadTheSameBytesBack) {
  const uint8_t b[8] = {0x08, 0x00, 0xDE, 0xFA, 0x78, 0x56, 0x34, 0x92};
  EXPECT_EQ(LoadU8(b + 2), 0xDE);
  EXPECT_EQ(LoadU16(b + 2), 0xFADE);
  EXPECT_EQ(LoadU32(b), 0xFADE0008u);
  EXPECT_EQ(LoadU64(b), 0x92345678FADE0008ull);
  EXPECT_EQ(LoadS8(b + 3), -6);
  EXPECT_EQ(LoadS16(b + 2), -1314);
  EXPECT_EQ(LoadS32(b), static_cast<int32_t>(0xFADE0008u));
  EXPECT_EQ(LoadS64(b), static_cast<int64_t>(0x92345678FADE0008ull));
  const uint8_t f[4] = {0, 0, 0x20, 0xC0};
  EXPECT_EQ(LoadF32(f), -2.5f);
  const uint8_t d[8] = {0, 0, 0, 0, 0, 0, 0xE0, 0xBF};
  EXPECT_EQ(LoadF64(d), -0.5);
}

}  // namespace
}  // namespace tarvos
