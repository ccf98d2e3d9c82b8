// Offsets by name on the client's side: lookup, and values encoded into
// and decoded from the catalogue's encodings, with their edge values.
#include "client/named_field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "offsets/catalogue.h"

namespace tarvos::testing {
namespace {

using client::EncodeItemValue;
using client::FormatItemValue;

std::string HexBytes(const std::vector<uint8_t>& b) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", b[i]);
    out += buf;
  }
  return out;
}

CatalogueItem Named(const std::string& name) {
  CatalogueItem item;
  EXPECT_EQ(client::ResolveName(name, &item), "") << name;
  return item;
}

TEST(NamedFieldLookup, ExactNamesTablesAndErrors) {
  EXPECT_EQ(Named("position.latitude").offset, 0x0560u);
  EXPECT_EQ(Named("engine.1.egt").offset, 0x08BEu);
  EXPECT_EQ(Named("engine.4.egt").offset, 0x08BEu + 3 * 0x98);
  EXPECT_EQ(Named("engine.3.n1").offset, 0x09C8u);
  EXPECT_EQ(Named("engine.4.n1").offset, 0x09C8u + 0x98);

  // Engines 1 and 2 publish N1 in their own rows, 3 and 4 at read time.
  EXPECT_EQ(Named("engine.1.n1").offset, 0x0898u);
  EXPECT_EQ(Named("engine.2.n1").offset, 0x0898u + 0x98);

  CatalogueItem item;
  // A field no engine has: the closest names are offered.
  std::string error = client::ResolveName("engine.1.n3", &item);
  EXPECT_EQ(item.row, nullptr);
  EXPECT_NE(error.find("closest: engine.1.n2"), std::string::npos) << error;
  error = client::ResolveName("engine.5.egt", &item);
  EXPECT_NE(error.find("unknown field 'engine.5.egt'"), std::string::npos);
  // A prefix of several names lists them instead of picking one.
  error = client::ResolveName("autopilot.altitude_", &item);
  EXPECT_EQ(item.row, nullptr);
  EXPECT_NE(error.find("autopilot.altitude_hold"), std::string::npos) << error;
  error = client::ResolveName("", &item);
  EXPECT_EQ(item.row, nullptr);
}

TEST(NamedFieldLookup, DescribePatterns) {
  CatalogueItem egt = Named("engine.2.egt");
  EXPECT_TRUE(client::RowMatches(*egt.row, ""));
  EXPECT_TRUE(client::RowMatches(*egt.row, "egt"));
  EXPECT_TRUE(client::RowMatches(*egt.row, "engine.2.egt"));
  EXPECT_TRUE(client::RowMatches(*egt.row, "engine.*.egt"));
  EXPECT_TRUE(client::RowMatches(*egt.row, "*egt"));
  EXPECT_FALSE(client::RowMatches(*egt.row, "engine.5.egt"));
  EXPECT_FALSE(client::RowMatches(*egt.row, "*.n1"));
  std::string table = client::DescribeTable("engine.*.n1");
  EXPECT_NE(table.find("0x09C8 (x2, every 0x98)"), std::string::npos) << table;
  EXPECT_EQ(client::DescribeTable("no.such.field"), "");
}

// A row of a kind the catalogue has no instance of yet.
constexpr OffsetRow kComFrequency =
    Row(0x034E, 2, Encoding::kBcd4, Access::kReadWrite, Source::kCallbackE,
        "radio.com1.frequency", "MHz", 0.01, "COM1 frequency")
        .Bias(100);

TEST(NamedFieldCodec, RoundTripsEveryEncodingFamily) {
  const CatalogueItem com{&kComFrequency, 0x034E, 1};
  const struct {
    CatalogueItem item;
    const char* value;
    const char* bytes;    // expected encoding, worked out by hand
    const char* decoded;  // read back
  } kCases[] = {
      // -7.25 x 2^64 / 360, rounded.
      {Named("position.longitude"), "-7.25", "C0 82 2D D8 82 2D D8 FA",
       "-7.250000 deg"},
      // 45 x 10001750 x 2^32 / 90.
      {Named("position.latitude"), "45", "00 00 00 00 AB 4E 4C 00",
       "45.000000 deg"},
      // 1000.5 m in 32.32 fixed point.
      {Named("position.altitude"), "1000.5", "00 00 00 80 E8 03 00 00",
       "1000.500000 m"},
      // Headings modulo 360: 360 is 0, -90 is 270, 450 is 90.
      {Named("attitude.heading"), "360", "00 00 00 00", "0.000000 deg"},
      {Named("attitude.heading"), "-90", "00 00 00 C0", "270.000000 deg"},
      {Named("attitude.heading"), "450", "00 00 00 40", "90.000000 deg"},
      // Pitch is stored sign-inverted; 190 degrees is -170.
      {Named("attitude.pitch"), "10", "39 8E E3 F8", "10.000000 deg"},
      {Named("attitude.pitch"), "190", "39 8E E3 78", "-170.000000 deg"},
      // 1000 ft as metres x 65536: 19975373.
      {Named("autopilot.altitude"), "1000", "CD CC 30 01", "1000.000 ft"},
      {Named("autopilot.heading"), "90", "00 40", "90.0 deg"},
      // BCD: 123.45 MHz is the digits 2345.
      {com, "123.45", "45 23", "123.45 MHz"},
      {com, "100", "00 00", "100.00 MHz"},
      {Named("client.altitude_units"), "65535", "FF FF", "65535"},
      {Named("speed.vertical"), "-1.5", "80 FE FF FF", "-1.5 m/s"},
      {Named("weight.total"), "12345.5", "00 00 00 00 C0 1C C8 40",
       "12345.5 lb"},
      // A text of exactly what its field holds: 11 characters and the zero.
      {Named("atc.flight_number"), "ABCDEFGHIJK",
       "41 42 43 44 45 46 47 48 49 4A 4B 00", "ABCDEFGHIJK"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(client::ItemFullName(c.item) + " = " + c.value);
    std::vector<uint8_t> bytes;
    ASSERT_EQ(EncodeItemValue(c.item, c.value, &bytes), "");
    EXPECT_EQ(HexBytes(bytes), c.bytes);
    EXPECT_EQ(FormatItemValue(c.item, bytes.data()), c.decoded);
  }
}

TEST(NamedFieldCodec, RefusesWhatDoesNotFit) {
  const CatalogueItem com{&kComFrequency, 0x034E, 1};
  const struct {
    CatalogueItem item;
    const char* value;
    const char* message;
  } kCases[] = {
      {Named("client.altitude_units"), "70000", "(0 to 65535)"},
      {Named("client.altitude_units"), "-5", "(0 to 65535)"},
      {Named("client.altitude_units"), "1e400", "a number"},
      {Named("client.altitude_units"), "nan", "a number"},
      {Named("client.altitude_units"), "", "a number"},
      {Named("speed.vertical"), "1e7", "(-8388608.0 to 8388608.0 m/s)"},
      {com, "99.99", "(100.00 to 199.99 MHz)"},
      {com, "200", "(100.00 to 199.99 MHz)"},
      {Named("atc.flight_number"), "ABCDEFGHIJKL", "holds at most 11"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(client::ItemFullName(c.item) + " = " + c.value);
    std::vector<uint8_t> bytes;
    std::string error = EncodeItemValue(c.item, c.value, &bytes);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace tarvos::testing
