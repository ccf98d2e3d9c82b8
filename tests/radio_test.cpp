// Radios and navigation: the encodings as worked examples, the receivers
// retuned in the stand-in host frame by frame, the write handlers as the
// dataref writes the host records, and the kept navaid answers against
// fresh searches along the scripted approach.
#include "offsets/radio.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/locks.h"
#include "client/connection.h"
#include "client/named_field.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/refresh_lists.h"
#include "requests/write_dispatch.h"
#include "simhost/flight/flight_field.h"
#include "simhost/flight/flight_model.h"
#include "tests/support/plugin_fixture.h"
#include "transport/server_options.h"

namespace tarvos {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const std::string kRadios = "sim/cockpit/radios/";

// --- Encodings
// -----------------------------------------------------------------

TEST(RadioEncoding, BcdPackingAndDecoding) {
  struct Case {
    int64_t value;
    bool three;
    uint16_t bcd;
  } cases[] = {
      {12280, false, 0x2280},  // COM 122.80 MHz
      {11030, false, 0x1030},  // NAV 110.30 MHz
      {345, true, 0x0345},     // ADF 345 kHz
      {1345, true, 0x0345},    // three digits only
      {7000, false, 0x7000},   // transponder
      {0, false, 0x0000},     {99999, false, 0x9999},
      {-1200, false, 0x1200},  // the magnitude's digits, no garbage nibbles
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(c.three ? EncodeBcd3(c.value) : EncodeBcd4(c.value), c.bcd);
  }
  EXPECT_EQ(DecodeBcd4(0x2345), 2345);
  EXPECT_EQ(DecodeBcd4(0x7000), 7000);
  EXPECT_EQ(DecodeBcd4(0x0000), 0);
  EXPECT_EQ(DecodeBcd4(0x2A00), -1);  // not BCD
  EXPECT_EQ(DecodeBcd4(0x000F), -1);
  EXPECT_EQ(DecodeBcd4(0xF999), -1);
}

TEST(RadioEncoding, DmeTextAndTenths) {
  struct Case {
    double nm;
    const char* text;
    uint16_t tenths;
  } cases[] = {
      {12.3, "12.3", 123},   {5.4, "05.4", 54},     {99.95, "99.9", 999},
      {100.0, "100.", 1000}, {123.7, "123.", 1237}, {999.9, "999.", 9999},
      {1000, "999.", 10000}, {7000, "999.", 65535},  // both saturate
      {0, "00.0", 0},        {-3.5, "00.0", 0},      // below zero: zero
      {kNan, "00.0", 0},     {kInf, "999.", 65535},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nm);
    DmeFields d = EncodeDme(c.nm);
    EXPECT_STREQ(d.text, c.text);
    EXPECT_EQ(d.tenths, c.tenths);
  }
}

TEST(RadioEncoding, ReceiverAndTunedFlags) {
  struct Case {
    const char* what;
    int kind, has_dme, nav_type;
    uint8_t receiver, tuned;
  } cases[] = {
      {"VOR with DME", xplm_Nav_VOR, 1, 3, 0x21, 0x80},
      {"VOR, no type yet", xplm_Nav_VOR, 0, 0, 0x28, 0x80},
      {"ILS with glide slope", xplm_Nav_GlideSlope | xplm_Nav_Localizer, 1, 4,
       0xE1, 0x82},
      {"ILS, glide slope found by ILS", xplm_Nav_GlideSlope | xplm_Nav_ILS, 0,
       4, 0xE0, 0x82},
      {"ILS without glide slope", xplm_Nav_ILS, 1, 4, 0xE1, 0x82},
      {"localizer only", xplm_Nav_Localizer, 0, 4, 0xA0, 0x82},
      {"no station", 0, 1, 4, 0x00, 0x80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EncodeReceiverFlags(c.kind, c.has_dme, c.nav_type), c.receiver);
    EXPECT_EQ(EncodeTunedFlags(c.kind), c.tuned);
  }
  EXPECT_EQ(EncodeNavTypeCode(3), 10000);
  EXPECT_EQ(EncodeNavTypeCode(4), 256);
  EXPECT_EQ(EncodeNavTypeCode(6), 256);
  EXPECT_EQ(EncodeNavTypeCode(7), 0);
  EXPECT_EQ(EncodeNavTypeCode(0), 0);
}

// The flags word across a sequence of runs of E (receiver 1) and F
// (receiver 2): each run rewrites its receiver's bits and the shared ones,
// and keeps the other receiver's.
TEST(RadioEncoding, RadioFlagsWordAcrossRuns) {
  struct Run {
    int receiver;
    int nav_type[4];
    int has_dme, kind;
    uint16_t stored;
  } runs[] = {
      // NAV1 on an ILS with DME: bits 1, 4, 6.
      {1, {4, 0, 0, 0}, 1, xplm_Nav_ILS | xplm_Nav_GlideSlope, 0x0052},
      // NAV2 on a VOR with DME; NAV1's bits stay.
      {2, {4, 3, 0, 0}, 1, xplm_Nav_VOR, 0x0076},
      // NAV2 on an ILS of type 5, both ADFs tuned: bits 12, 3 and 11.
      {2, {4, 5, 1, 1}, 1, xplm_Nav_ILS, 0x187E},
      // NAV1 loses its station; NAV2's bits stay, the ADF bits follow.
      {1, {0, 5, 0, 1}, 0, 0, 0x1824},
      // An ILS on a type the flag does not count (6).
      {1, {6, 5, 0, 0}, 0, xplm_Nav_ILS, 0x1026},
  };
  uint16_t word = 0x0001;  // bit 0 is always cleared
  for (const Run& r : runs) {
    SCOPED_TRACE(r.stored);
    EXPECT_EQ(
        UpdateRadioFlags(&word, r.receiver, r.nav_type, r.has_dme, r.kind),
        r.stored);
    EXPECT_EQ(word, r.stored);
  }
}

TEST(RadioEncoding, StationPositionCourseAndSlope) {
  // 45 degrees is half of the 10001750 units per 90.
  EXPECT_EQ(EncodeStationLatitude(45.0f), 5000875u);
  EXPECT_EQ(static_cast<int32_t>(EncodeStationLatitude(-45.0f)), -5000875);
  EXPECT_EQ(EncodeStationLongitude(90.0f), 1073741824u);
  EXPECT_EQ(static_cast<int32_t>(EncodeStationLongitude(-90.0f)), -1073741824);
  EXPECT_EQ(EncodeStationHeight(449.5f), 450u);
  EXPECT_EQ(static_cast<int32_t>(EncodeStationHeight(-2.5f)), -3);
  EXPECT_EQ(EncodeStationLatitude(static_cast<float>(kNan)), 0u);

  EXPECT_EQ(EncodeLocalizerCourse(xplm_Nav_ILS, 270), 0x4000);  // + 0x8000
  EXPECT_EQ(EncodeLocalizerCourse(xplm_Nav_Localizer, 0), 0x8000);
  EXPECT_EQ(EncodeLocalizerCourse(xplm_Nav_Localizer, 163), 0xF3E9);
  EXPECT_EQ(EncodeLocalizerCourse(xplm_Nav_GlideSlope, 270), 0);
  EXPECT_EQ(EncodeGlideSlopeAngle(xplm_Nav_GlideSlope, 3), 0xFDDE);  // -546
  EXPECT_EQ(EncodeGlideSlopeAngle(xplm_Nav_ILS, 3), 0);
  EXPECT_EQ(
      EncodeGlideSlopeAngle(xplm_Nav_GlideSlope, static_cast<float>(kNan)), 0);
}

TEST(RadioEncoding, AdfIdentifierLayout) {
  struct Case {
    const char read[5];
    const char stored[6];
  } cases[] = {
      {{'T', 'V', 0, 0, 0}, {'T', 'V', 0, 0, 0, '0'}},
      {{'A', 'B', 'C', 'D', 'E'}, {'A', 'B', 'C', 'D', 'E', '0'}},
      {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, '0'}},
  };
  for (const Case& c : cases) {
    uint8_t out[6];
    EncodeAdfIdent(reinterpret_cast<const uint8_t*>(c.read), out);
    EXPECT_EQ(std::memcmp(out, c.stored, 6), 0);
  }
}

// --- In the stand-in host
// -----------------------------------------------------

class RadioTest : public testing::PluginFixture {
 protected:
  void TearDown() override {
    flight_.Uninstall();
    PluginFixture::TearDown();
  }
  // The field's navaids, the aircraft parked on the threshold.
  void InstallField(bool fly = false) {
    simhost::flight::FlightModel::Options o;
    o.fly = fly;
    o.traffic = 0;
    flight_.Install(o);
  }
  void Run(RefreshCallback callback) {
    for (Converter c : RefreshList(callback)) c();
  }
  int Write(uint32_t offset, const std::vector<uint8_t>& bytes) {
    LockGuard<RecursiveLock> hold(OffsetLock);
    return ApplyWrite(bytes.data(), offset,
                      static_cast<uint32_t>(bytes.size()));
  }
  static std::vector<uint8_t> U16Bytes(uint16_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  }
  std::string Text(uint32_t offset, uint32_t size) {
    std::vector<uint8_t> b = Bytes(offset, size);
    return std::string(b.begin(), b.end());
  }

  simhost::flight::FlightModel flight_;
};

// Tuned from the ILS to the VOR and to an empty frequency by a client write,
// one frame at a time: each change shows on E's next run, whole, and the
// station fields of a frequency without a station keep their last values.
TEST_F(RadioTest, Nav1RetunedFrameByFrame) {
  InstallField();
  StartAndEnable();
  Frames(200);  // E runs after a second, then every 31 frames
  ASSERT_EQ(Text(0x3000, 6), std::string("ITRV\0\0", 6));
  EXPECT_EQ(Text(0x3006, 25).substr(0, 24),
            std::string("TARVOS FIELD ILS RWY 27\0", 24));
  EXPECT_EQ(U16(0x0350), 0x1030);
  EXPECT_EQ(Bytes(0x0C4A, 1)[0], 0x82);
  EXPECT_EQ(Bytes(0x0C4D, 1)[0], 0xE1);  // DME, ILS, glide slope, localizer
  EXPECT_EQ(U16(0x0870), 0x4000);        // course 270 + 0x8000
  EXPECT_EQ(U16(0x0872), 0xFDDE);        // 3 degrees
  EXPECT_EQ(U16(0x3300) & 0x0052, 0x0052);
  const std::vector<uint8_t> glide_slope = Bytes(0x085C, 0x0870 - 0x085C);
  const std::vector<uint8_t> localizer = Bytes(0x0874, 12);
  EXPECT_NE(std::vector<uint8_t>(glide_slope.begin(), glide_slope.begin() + 4),
            std::vector<uint8_t>(localizer.begin(), localizer.begin() + 4));

  struct Step {
    uint16_t bcd;
    std::string ident;
    uint8_t tuned, receiver;
  } steps[] = {
      {0x1360, std::string("TRV\0\0\0", 6), 0x80, 0x21},    // the VOR-DME
      {0x0800, std::string("0\0\0\0\0\0", 6), 0x80, 0x00},  // 108.00: nothing
      {0x1030, std::string("ITRV\0\0", 6), 0x82, 0xE1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.bcd);
    const std::string before = Text(0x3000, 6);
    const std::vector<uint8_t> triples = Bytes(0x085C, 0x0880 - 0x085C);
    ASSERT_EQ(Write(0x0350, U16Bytes(s.bcd)), 1);
    int frames = 0;
    while (Text(0x3000, 6) != s.ident && frames < 40) {
      Frames(1);
      ++frames;
      // Until E runs, the receiver shows the old station whole.
      if (Text(0x3000, 6) != s.ident) {
        ASSERT_EQ(Text(0x3000, 6), before);
      }
    }
    ASSERT_LE(frames, 32) << "E runs every 31 frames";
    EXPECT_EQ(U16(0x0350), s.bcd);
    EXPECT_EQ(Bytes(0x0C4A, 1)[0], s.tuned);
    EXPECT_EQ(Bytes(0x0C4D, 1)[0], s.receiver);
    if (s.bcd == 0x1360) {
      // Both triples hold the VOR; course and slope keep the ILS's.
      EXPECT_EQ(Bytes(0x085C, 4), Bytes(0x0874, 4));
      EXPECT_EQ(Bytes(0x0864, 4), Bytes(0x0878, 4));
      EXPECT_EQ(U16(0x0870), 0x4000);
      EXPECT_EQ(U16(0x0872), 0xFDDE);
      EXPECT_EQ(Bytes(0x3006, 25)[0], 'T');
    } else if (s.bcd == 0x0800) {
      EXPECT_EQ(Bytes(0x085C, 0x0880 - 0x085C), triples);  // kept
      EXPECT_EQ(Text(0x3006, 25), std::string("0") + std::string(24, '\0'));
      EXPECT_EQ(U16(0x3300) & 0x0052, 0);  // NAV1 bits cleared
    }
  }
}

TEST_F(RadioTest, FrequencyWritesReachTheirDatarefs) {
  Start();
  host().TakeSetRecords();
  struct Case {
    uint16_t offset, bcd;
    const char* dataref;
    int value;
  } cases[] = {
      {0x034E, 0x2345, "com1_freq_hz", 12345},
      {0x3118, 0x2180, "com2_freq_hz", 12180},
      {0x311A, 0x1970, "com1_stdby_freq_hz", 11970},
      {0x311C, 0x2700, "com2_stdby_freq_hz", 12700},
      {0x0350, 0x0950, "nav1_freq_hz", 10950},
      {0x0352, 0x1360, "nav2_freq_hz", 11360},
      {0x311E, 0x1155, "nav1_stdby_freq_hz", 11155},
      {0x3120, 0x1800, "nav2_stdby_freq_hz", 11800},
      {0x034C, 0x0345, "adf1_freq_hz", 345},
      {0x02D4, 0x1750, "adf2_freq_hz", 1750},
      {0x0354, 0x7000, "transponder_code", 7000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dataref);
    ASSERT_EQ(Write(c.offset, U16Bytes(c.bcd)), 1);
    EXPECT_EQ(host().GetInt(kRadios + c.dataref), c.value);
    // A nibble above 9 is not a frequency: nothing reaches the host.
    host().TakeSetRecords();
    ASSERT_EQ(Write(c.offset, U16Bytes(0x2A00)), 1);
    EXPECT_TRUE(host().TakeSetRecords().empty());
    EXPECT_EQ(host().GetInt(kRadios + c.dataref), c.value);
  }
  // Always acted on: the same COM1 value twice is written twice.
  Poke(0x034E, U16Bytes(0x2345));
  host().TakeSetRecords();
  ASSERT_EQ(Write(0x034E, U16Bytes(0x2345)), 1);
  ASSERT_EQ(Write(0x034E, U16Bytes(0x2345)), 1);
  EXPECT_EQ(host().TakeSetRecords().size(), 2u);
}

// ADF1 holds three digits: a receiver on 1345 kHz reads 345 by name through
// a client (a four-digit encoding would read 1345; 345 alone encodes the
// same both ways), and a client's 346 tunes 346.
TEST_F(RadioTest, Adf1ThreeDigitsThroughAClient) {
  SetTcpServerPort(0);
  SetTcpServerLoopbackOnly(true);
  SetIpcEndpointName("tarvos-adf-" + std::to_string(getpid()));
  host().SetInt(kRadios + "adf1_freq_hz", 1345);
  StartAndEnable();  // the first frame refreshes everything once
  for (int i = 0; i < 500 && TcpServerBoundPort() == 0; ++i) usleep(10000);
  std::string error;
  auto c = client::ConnectTcp("127.0.0.1", TcpServerBoundPort(), &error);
  ASSERT_TRUE(c) << error;
  CatalogueItem adf1;
  ASSERT_EQ(client::ResolveName("radio.adf1.frequency", &adf1), "");
  client::RequestBatch read;
  const size_t at = read.AddRead(adf1.offset, 2);
  ASSERT_TRUE(c->Exchange(read, &error)) << error;
  EXPECT_EQ(read.U16(at), 0x0345);
  EXPECT_EQ(client::FormatItemValue(adf1, read.Data(at)).rfind("345 ", 0), 0u)
      << client::FormatItemValue(adf1, read.Data(at));

  std::vector<uint8_t> bytes;
  ASSERT_EQ(client::EncodeItemValue(adf1, "346", &bytes), "");
  client::RequestBatch write;
  write.AddWrite(adf1.offset, bytes);
  ASSERT_TRUE(c->Exchange(write, &error)) << error;
  EXPECT_EQ(host().GetInt(kRadios + "adf1_freq_hz"), 346);
}

TEST_F(RadioTest, BarometerObsAndTransponderModeWrites) {
  Start();
  ASSERT_EQ(Write(0x0330, U16Bytes(16211)), 1);  // 1013.2 hPa x 16
  EXPECT_NEAR(host().GetFloat("sim/cockpit/misc/barometer_setting"), 29.92,
              0.005);
  ASSERT_EQ(Write(0x0C4E, U16Bytes(270)), 1);
  EXPECT_EQ(host().GetFloat(kRadios + "nav1_obs_degm"), 270.0f);
  ASSERT_EQ(Write(0x0C5E, U16Bytes(45)), 1);
  EXPECT_EQ(host().GetFloat(kRadios + "nav2_obs_degm"), 45.0f);

  // On change only: the mode the offset already holds is not written.
  Poke(0x6D8C, {2});
  host().TakeSetRecords();
  ASSERT_EQ(Write(0x6D8C, {2}), 1);
  EXPECT_TRUE(host().TakeSetRecords().empty());
  ASSERT_EQ(Write(0x6D8C, {3}), 1);
  EXPECT_EQ(host().GetInt(kRadios + "transponder_mode"), 3);
  Poke(0x0330, U16Bytes(16211));
  host().TakeSetRecords();
  ASSERT_EQ(Write(0x0330, U16Bytes(16211)), 1);
  EXPECT_TRUE(host().TakeSetRecords().empty());
}

// 0x0F swaps all four radios; the same byte again swaps them back (it is
// acted on every time, also when it equals what the offset holds).
TEST_F(RadioTest, FourRadioSwapTwice) {
  Start();
  const char* pairs[][2] = {{"nav1_freq_hz", "nav1_stdby_freq_hz"},
                            {"nav2_freq_hz", "nav2_stdby_freq_hz"},
                            {"com1_freq_hz", "com1_stdby_freq_hz"},
                            {"com2_freq_hz", "com2_stdby_freq_hz"}};
  int active[4], standby[4];
  for (int i = 0; i < 4; ++i) {
    host().SetInt(kRadios + pairs[i][0], 11000 + i);
    host().SetInt(kRadios + pairs[i][1], 12000 + i);
    active[i] = 11000 + i;
    standby[i] = 12000 + i;
  }
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(Write(0x3123, {0x0F}), 1);
    Poke(0x3123, {0x0F});  // as the transport stores it
    for (int i = 0; i < 4; ++i) {
      std::swap(active[i], standby[i]);
      EXPECT_EQ(host().GetInt(kRadios + pairs[i][0]), active[i]);
      EXPECT_EQ(host().GetInt(kRadios + pairs[i][1]), standby[i]);
    }
  }
  EXPECT_EQ(active[0], 11000);  // back where it started
  // One bit swaps one radio: 2 is NAV1.
  ASSERT_EQ(Write(0x3123, {0x02}), 1);
  EXPECT_EQ(host().GetInt(kRadios + "nav1_freq_hz"), 12000);
  EXPECT_EQ(host().GetInt(kRadios + "nav2_freq_hz"), 11001);
}

// Undefined values from the host become no undefined conversions: NaN and
// infinite distances, deflections and slopes store defined bytes.
TEST_F(RadioTest, NonFiniteAndNegativeHostValues) {
  Start();
  Enable();
  const struct {
    float dme, needle;
    const char* text;
    uint16_t tenths;
    uint8_t needle_byte;
  } cases[] = {
      {-12.5f, -1.0f, "00.0", 0, 0xCE},  // -50.9 truncated: -50
      {static_cast<float>(kNan), static_cast<float>(kNan), "00.0", 0, 0},
      {static_cast<float>(kInf), 2.5f, "999.", 65535, 127},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    host().SetFloat(kRadios + "nav1_dme_dist_m", c.dme);
    host().SetFloat(kRadios + "nav1_hdef_dot", c.needle);
    // Bytes no row expects, so that each row shows its own stores.
    Poke(0x0C29, {'X', 'X', 'X', 'X', 'X'});
    Poke(0x0300, {0x34, 0x12});
    Poke(0x0C48, {0x55});
    Run(RefreshCallback::kA);
    Run(RefreshCallback::kD);
    EXPECT_EQ(Text(0x0C29, 5), std::string(c.text, 5));
    EXPECT_EQ(U16(0x0300), c.tenths);
    EXPECT_EQ(Bytes(0x0C48, 1)[0], c.needle_byte);
  }
  // The default host's ILS, with its glide slope.
  host().SetFloat(kRadios + "nav1_slope_degt", 3);
  Run(RefreshCallback::kE);
  EXPECT_EQ(U16(0x0872), 0xFDDE);
  host().SetFloat(kRadios + "nav1_slope_degt", static_cast<float>(kNan));
  Run(RefreshCallback::kE);
  EXPECT_EQ(U16(0x0872), 0);
}

// Kept navaid answers publish the very bytes fresh searches do: the scripted
// circuit's base, approach and landing flown twice, in two processes (the
// plugin's state is per process), once searching on every run of E and F
// and once keeping the answers; every published radio byte compared frame
// by frame.
std::vector<uint8_t> RadioSnapshot() {
  static const uint32_t kRanges[][2] = {
      {0x0844, 0x0880}, {0x0C4A, 1},  {0x0C4D, 1}, {0x0C5A, 1},
      {0x0C70, 1},      {0x3000, 62}, {0x3300, 2}};
  std::vector<uint8_t> out;
  LockGuard<RecursiveLock> hold(OffsetLock);
  for (const auto& r : kRanges) {
    uint32_t size = r[1] > r[0] ? r[1] - r[0] : r[1];
    out.insert(out.end(), OffsetBlock + r[0], OffsetBlock + r[0] + size);
  }
  return out;
}

TEST_F(RadioTest, KeptAnswersPublishWhatFreshSearchesDo) {
  // The host flies the take-off, climb and downwind alone, a second a frame;
  // the plugin comes in before the base turn and follows the base, the
  // approach with its markers, the landing and the rollout at 30 fps (the
  // answers are kept over the distance flown between runs).
  constexpr int kLeadInSeconds = 530;
  constexpr int kFrames = 30 * 500;
  auto fly = [this](bool keep, std::vector<uint8_t>* record) {
    SetNavaidAnswerCache(keep);
    // The servers start with the deferred start: on a port and endpoint of
    // this process alone, so that no other program's client reaches them.
    SetTcpServerPort(0);
    SetTcpServerLoopbackOnly(true);
    SetIpcEndpointName("tarvos-radio-" + std::to_string(getpid()));
    InstallField(true);
    // NAV2 on the ILS too, so that both receivers search for all three.
    host().SetInt(kRadios + "nav2_freq_hz", simhost::flight::kIlsFrequency);
    Frames(kLeadInSeconds, 1.0f);
    StartAndEnable();
    std::vector<uint8_t> last;
    for (int f = 0; f < kFrames; ++f) {
      Frames(1, 1.0f / 30);
      if (f % 31 != 0) continue;  // enough to see every run's result
      std::vector<uint8_t> now = RadioSnapshot();
      record->insert(record->end(), now.begin(), now.end());
    }
  };

  int pipe_fd[2];
  ASSERT_EQ(pipe(pipe_fd), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_fd[0]);
    std::vector<uint8_t> fresh;
    fly(false, &fresh);
    Disable();  // every thread ended before the child exits
    size_t at = 0;
    while (at < fresh.size()) {
      ssize_t n = write(pipe_fd[1], fresh.data() + at, fresh.size() - at);
      if (n <= 0) _exit(2);
      at += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(pipe_fd[1]);
  std::vector<uint8_t> fresh;
  uint8_t buf[65536];
  ssize_t n;
  while ((n = read(pipe_fd[0], buf, sizeof buf)) > 0) {
    fresh.insert(fresh.end(), buf, buf + n);
  }
  close(pipe_fd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::vector<uint8_t> kept;
  fly(true, &kept);
  ASSERT_EQ(kept.size(), fresh.size());
  EXPECT_TRUE(kept == fresh);
  // The answers were kept most of the time: far fewer searches than runs.
  const uint64_t runs = 2 * (kFrames / 31);
  EXPECT_LT(NavaidSearchCount(), runs / 2);
  EXPECT_GT(NavaidSearchCount(), 10u);
}

}  // namespace
}  // namespace tarvos
