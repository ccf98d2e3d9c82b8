// The numeric conventions of the offset map and the encodings built on them.
#include "offsets/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "offsets/position.h"

namespace tarvos {
namespace {

TEST(ConvertTest, TruncatesTowardZero) {
  struct Case {
    double in;
    int64_t out;
  } cases[] = {
      {2.9, 2},
      {-2.9, -2},
      {0.0, 0},
      {-0.0, 0},
      {1e18, 1000000000000000000},
      {-1e-300, 0},
      {4283036831.28, 4283036831},
  };
  for (const Case& c : cases) EXPECT_EQ(TruncToInt(c.in), c.out) << c.in;
}

TEST(ConvertTest, HostileValuesAreDefined) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TruncToInt(std::nan("")), 0);
  EXPECT_EQ(TruncToInt(inf), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TruncToInt(-inf), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(TruncToInt(9223372036854775808.0),
            std::numeric_limits<int64_t>::max());
  EXPECT_EQ(RoundHalfAway(std::nan("")), 0);
  EXPECT_TRUE(std::isinf(HeldAsFloat(1e300)));
  EXPECT_TRUE(std::isinf(HeldAsFloat(-1e300)));
}

TEST(ConvertTest, RoundsHalvesAwayFromZero) {
  struct Case {
    double in;
    int64_t out;
  } cases[] = {
      {0.5, 1}, {-0.5, -1}, {1.49, 1},    {-1.49, -1},
      {2.5, 3}, {-2.5, -3}, {359.5, 360},
  };
  for (const Case& c : cases) EXPECT_EQ(RoundHalfAway(c.in), c.out) << c.in;
}

TEST(ConvertTest, NarrowFieldsKeepLowBytes) {
  uint8_t b[4] = {};
  StoreTrunc16(b, -300.7);  // -300 -> 0xFED4
  EXPECT_EQ(b[0], 0xD4);
  EXPECT_EQ(b[1], 0xFE);
  StoreTrunc8(b, -60.0);
  EXPECT_EQ(b[0], 0xC4);
  StoreTrunc32(b, 70000.0 * 65536);  // beyond 32 bits: low 4 bytes
  EXPECT_EQ(LoadU32(b), static_cast<uint32_t>(70000ull * 65536));
}

TEST(ConvertTest, FloatConstantAndHeldAsFloat) {
  EXPECT_EQ(FloatConst(0.1), static_cast<double>(0.1f));
  EXPECT_NE(FloatConst(0.1), 0.1);
  EXPECT_EQ(HeldAsFloat(1.0 / 3.0), 1.0f / 3.0f);
}

TEST(ConvertTest, AltitudeSplit) {
  struct Case {
    double metres;
    uint32_t fraction;
    int32_t whole;
  } cases[] = {
      {-0.25, 0xC0000000u, -1},
      {130.5, 0x80000000u, 130},
      {0.0, 0, 0},
      {-1e-20, 0xFFFFFFFFu, -1},  // fraction must not wrap to 0
  };
  for (const Case& c : cases) {
    AltitudeFields f = EncodeAltitude(c.metres);
    EXPECT_EQ(f.fraction, c.fraction) << c.metres;
    EXPECT_EQ(f.whole, c.whole) << c.metres;
  }
}

TEST(ConvertTest, ClockFields) {
  ClockFields c = EncodeClock(13 * 3600 + 5 * 60 + 9);
  EXPECT_EQ(c.hour, 13);
  EXPECT_EQ(c.minute, 5);
  EXPECT_EQ(c.second, 9);
  EXPECT_EQ(std::memcmp(c.text, "13:05:09", 9), 0);
  // Nonsense from the simulator still leaves a terminated 9-byte text.
  ClockFields big = EncodeClock(1e9f);
  EXPECT_EQ(big.text[8], '\0');
  EXPECT_EQ(EncodeTimeZoneMinutes(11 * 3600, 19 * 3600),
            static_cast<uint16_t>(-480));
  EXPECT_EQ(EncodeTimeZoneMinutes(23 * 3600 + 59, 0), 23 * 60);
}

}  // namespace
}  // namespace tarvos
