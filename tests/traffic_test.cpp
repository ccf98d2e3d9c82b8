// AI traffic: the records, the header, the slots following the aircraft
// count, the nearest aircraft and the threads' end, against the stand-in
// host. The traffic threads run on their own 200 ms clock; the tests kick
// cycles and wait for conditions with generous deadlines, never for times.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "offsets/catalogue.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "tests/support/plugin_fixture.h"
#include "traffic/traffic_records.h"
#include "traffic/traffic_thread.h"
#include "transport/server_options.h"

namespace tarvos {
namespace {

using testing::PluginFixture;

std::string Plane(int n, const char* field) {
  return "sim/multiplayer/position/plane" + std::to_string(n) + "_" + field;
}

class TrafficTest : public PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    SetTcpServerPort(0);
    SetTcpServerLoopbackOnly(true);
    SetIpcEndpointName("tarvos-traffic-test-" + std::to_string(::getpid()));
  }

  // The user's aircraft and `others` AI aircraft in the host's list.
  void SetOthers(int others) {
    std::vector<simhost::Aircraft> list = {{"User.acf", "/a/User.acf"}};
    for (int n = 1; n <= others; ++n) {
      std::string file = "AI_" + std::to_string(n) + ".acf";
      list.push_back({file, "/a/" + file});
    }
    host().SetAircraft(list);
  }
  // Changes the list and tells the plugin, as the simulator does.
  void ChangeOthers(int others) {
    SetOthers(others);
    host().SendMessageToPlugin(0, 105, nullptr);
  }

  void PlacePlane(int n, double lat, double lon) {
    host().SetDouble(Plane(n, "lat"), lat);
    host().SetDouble(Plane(n, "lon"), lon);
  }
  void PlaceUser(double lat, double lon) {
    host().SetDouble("sim/flightmodel/position/latitude", lat);
    host().SetDouble("sim/flightmodel/position/longitude", lon);
  }

  // Kicks traffic cycles until `done` holds; false after a generous
  // deadline.
  bool Await(const std::function<bool()>& done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      KickTrafficCycle();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  // Waits for `cycles` further traffic cycles, so that every slot thread
  // has run since whatever the test changed.
  bool AwaitCycles(uint64_t cycles) {
    const uint64_t until = TrafficCyclesDone() + cycles;
    return Await([&] { return TrafficCyclesDone() >= until; });
  }

  int32_t RecordId(int s) { return S32(TrafficRecordOffset(s)); }
  int32_t AttitudeId(int s) { return S32(AttitudeRecordOffset(s)); }
  uint16_t SlotCounter() { return U16(0xF004); }
  uint16_t Nearest() { return U16(0xF07E); }

  // The first `in_use` records carry an id, the rest of the table none.
  bool RecordsInUse(int in_use) {
    for (int s = 0; s < kTrafficSlots; ++s) {
      if ((RecordId(s) != 0) != (s < in_use)) return false;
      if ((AttitudeId(s) != 0) != (s < in_use)) return false;
    }
    return TrafficSlotsInUse() == in_use && TrafficSlotThreadsAlive() == in_use;
  }
};

// One aircraft with known datarefs: every byte of both records, and the
// header that names it as the nearest.
TEST_F(TrafficTest, PublishesExactRecordAndHeaderBytes) {
  host().SetAircraft({{"User.acf", "/a/User.acf"},
                      {"Regional_Jet_Long_Name.acf", "/a/r.acf"}});
  PlaceUser(46.5, 7.5);
  PlacePlane(1, 46.5, 7.5);
  host().SetDouble(Plane(1, "el"), 1000.0);
  host().SetFloat(Plane(1, "psi"), 90.0f);
  host().SetFloat(Plane(1, "v_x"), 60.0f);
  host().SetFloat(Plane(1, "v_z"), 80.0f);
  host().SetFloat(Plane(1, "v_y"), 5.5f);
  host().SetFloat(Plane(1, "the"), 10.0f);
  host().SetFloat(Plane(1, "phi"), -20.0f);
  StartAndEnable();
  ASSERT_TRUE(Await([&] { return Nearest() == 0xF080; }));

  // Slot ids go on for as long as the library is loaded (-683 for the
  // first slot since load): both records carry the slot's.
  const int32_t id = RecordId(0);
  EXPECT_GE(id, -683);
  EXPECT_EQ(S32(0xD840), id);
  const std::vector<uint8_t> record = {
      0x00, 0x00, 0x3A, 0x42,  // 46.5
      0x00, 0x00, 0xF0, 0x40,  // 7.5
      0x6D, 0x0D, 0x4D, 0x45,  // 1000 m in feet
      0x00, 0x40,              // 90 degrees
      0xC2, 0x00,              // 100 m/s: 194 kt
      0xD9, 0x03,              // 5 m/s x 197
      'R',  'e',  'g',  'i',  'o', 'n', 'a', 'l',
      '_',  'J',  'e',  't',  '_', 'L', 'o',  // cut to 15 bytes, no terminator
      0x8C, 0x00, 0x00};
  EXPECT_EQ(Bytes(0xF084, 36), record);
  const std::vector<uint8_t> attitude = {
      0x0E, 0x00, 0x1C, 0x07,  // 14, pitch 1820
      'N',  'O',  'N',  'E',  'N',  'O',
      'N',  'E',  0x00, 0x00, 0xC8, 0xF1};  // bank -3640
  EXPECT_EQ(Bytes(0xD844, 16), attitude);

  std::vector<uint8_t> header = Bytes(0xF000, 128);
  EXPECT_EQ(LoadU16(&header[0]), 40);
  EXPECT_EQ(LoadU16(&header[2]), 96);
  EXPECT_EQ(LoadU16(&header[4]), 1);
  EXPECT_EQ(LoadU16(&header[6]) % 10, 0);
  EXPECT_NE(LoadU16(&header[6]), 0);
  for (size_t b = 0x68; b < 0x7E; ++b) EXPECT_EQ(header[b], 0) << b;
  EXPECT_EQ(LoadU16(&header[0x7E]), 0xF080);
  // Nothing beyond the one record.
  EXPECT_EQ(Bytes(0xF0A8, 40), std::vector<uint8_t>(40, 0));
}

// The traffic threads store only what the catalogue's traffic rows
// describe, and the rows are what the records hold.
TEST_F(TrafficTest, StoresOnlyCatalogueTrafficRows) {
  SetOthers(3);
  PlaceUser(46.5, 7.5);
  for (int n = 1; n <= 3; ++n) PlacePlane(n, 46.5 + 0.1 * n, 7.5);
  Start();
  Enable();
  std::vector<uint8_t> before = Bytes(0, kOffsetSpaceSize);
  Frames(1);
  ASSERT_TRUE(Await([&] { return RecordsInUse(3) && Nearest() == 0xF080; }));
  ASSERT_TRUE(AwaitCycles(2));
  std::vector<uint8_t> after = Bytes(0, kOffsetSpaceSize);
  std::vector<bool> traffic_byte(kOffsetSpaceSize, false);
  ForEachCatalogueItem([&](const CatalogueItem& item) {
    if (item.row->source != Source::kTraffic) return;
    for (uint32_t b = item.offset; b < item.offset + item.row->size; ++b) {
      traffic_byte[b] = true;
    }
  });
  for (uint32_t b = 0; b < kOffsetSpaceSize; ++b) {
    const bool in_tables = (b >= 0xD840 && b < 0xDFC0) || b >= 0xF000;
    if (in_tables && before[b] != after[b]) {
      EXPECT_TRUE(traffic_byte[b]) << std::hex << b;
    }
  }
  CatalogueItem lat = FindCatalogueItem("traffic.3.latitude");
  ASSERT_NE(lat.row, nullptr);
  EXPECT_FLOAT_EQ(LoadF32(&after[lat.offset]), 46.8f);
  CatalogueItem model = FindCatalogueItem("traffic.2.model");
  ASSERT_NE(model.row, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[model.offset])),
            "AI_2.acf");
}

// The slots follow the count, several at a time in both directions; a
// removed slot's records read id 0 (and latitude and longitude 0) while
// the rest of their bytes and the slot counter stay; after 96 slots were
// created the counter stays at 96 and aircraft still join.
TEST_F(TrafficTest, SlotsFollowTheAircraftCount) {
  SetOthers(3);
  PlaceUser(46.5, 7.5);
  for (int n = 1; n <= 19; ++n) PlacePlane(n, 46.0 + 0.01 * n, 7.0);
  StartAndEnable();
  ASSERT_TRUE(Await([&] { return RecordsInUse(3) && SlotCounter() == 3; }));

  struct Step {
    int others;
    int counter;  // 0xF004 afterwards
  };
  const Step steps[] = {
      {6, 6},     // three join in one notification
      {2, 6},     // four leave at once; the counter keeps its value
      {2, 6},     // the same count again: nothing changes
      {1, 6},     //
      {0, 6},     // nobody else
      {96, 96},   // the whole table; the counter stops at 96
      {1, 96},    //
      {40, 96},   // joining still works after 96 slots were created
      {200, 96},  // more aircraft than records: the table is full
  };
  for (const Step& step : steps) {
    SCOPED_TRACE("others " + std::to_string(step.others));
    const int in_use = std::min(step.others, kTrafficSlots);
    ChangeOthers(step.others);
    ASSERT_TRUE(Await(
        [&] { return RecordsInUse(in_use) && SlotCounter() == step.counter; }));
  }

  // A removed record: id and position cleared, the rest as it was (the
  // name may be the one of the refreshed list, read in the last cycle).
  ChangeOthers(1);
  ASSERT_TRUE(Await([&] { return RecordsInUse(1); }));
  std::vector<uint8_t> gone = Bytes(TrafficRecordOffset(1), 40);
  EXPECT_EQ(LoadS32(&gone[0]), 0);
  EXPECT_EQ(LoadF32(&gone[4]), 0.0f);
  EXPECT_EQ(LoadF32(&gone[8]), 0.0f);
  EXPECT_EQ(gone[37], kRecordMarker);
  EXPECT_EQ(SlotCounter(), 96);
}

// Slots from the 20th on have no datarefs: they publish their id and model
// name with zero position and speeds, are never the nearest aircraft (not
// even of a user at 0 N 0 E), and the 96th has no model name.
TEST_F(TrafficTest, AircraftWithoutDatarefsPublishNamesOnly) {
  SetOthers(96);
  PlaceUser(0.0, 0.0);
  for (int n = 1; n <= 19; ++n) PlacePlane(n, 5.0, 0.5 * n);  // over 500 km
  PlacePlane(7, 5.0, -0.1);  // the nearest with a position
  StartAndEnable();
  ASSERT_TRUE(Await([&] { return RecordsInUse(96); }));
  ASSERT_TRUE(Await([&] { return Nearest() == TrafficRecordOffset(6); }));

  std::vector<uint8_t> r = Bytes(TrafficRecordOffset(30), 40);
  EXPECT_NE(LoadS32(&r[0]), 0);
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 4, r.begin() + 22),
            std::vector<uint8_t>(18, 0));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[22])), "AI_31.acf");
  EXPECT_EQ(r[37], kRecordMarker);
  std::vector<uint8_t> last = Bytes(TrafficRecordOffset(95), 40);
  EXPECT_NE(LoadS32(&last[0]), 0);
  EXPECT_EQ(std::vector<uint8_t>(last.begin() + 22, last.begin() + 37),
            std::vector<uint8_t>(15, 0));
  EXPECT_EQ(last[37], kRecordMarker);
  // Ids count up in slot order (from -683 for the first slot since load).
  EXPECT_GE(RecordId(0), -683);
  EXPECT_EQ(RecordId(95), RecordId(0) + 95);
}

// Nearest selection over the live table: ties keep the lower slot, the
// 1000 km limit, equal positions, a slot that leaves.
TEST_F(TrafficTest, NearestAircraftFollowsPositions) {
  SetOthers(3);
  PlaceUser(46.5, 7.5);
  PlacePlane(1, 46.5, 8.5);
  PlacePlane(2, 46.5, 6.5);  // the same distance as plane 1
  PlacePlane(3, 60.0, 7.5);  // about 1500 km
  StartAndEnable();
  ASSERT_TRUE(Await([&] { return RecordsInUse(3); }));
  // The tie goes to the lower slot once both distances are known.
  ASSERT_TRUE(Await([&] { return Nearest() == TrafficRecordOffset(0); }));
  ASSERT_TRUE(AwaitCycles(2));
  EXPECT_EQ(Nearest(), TrafficRecordOffset(0));

  PlacePlane(3, 46.5, 7.5);  // on top of the user
  ASSERT_TRUE(Await([&] { return Nearest() == TrafficRecordOffset(2); }));
  PlacePlane(1, 80.0, 7.5);
  PlacePlane(2, -10.0, 7.5);
  PlacePlane(3, 10.0, 7.5);  // all beyond 1000 km
  ASSERT_TRUE(Await([&] { return Nearest() == 0; }));
  PlacePlane(2, 46.0, 7.5);
  ASSERT_TRUE(Await([&] { return Nearest() == TrafficRecordOffset(1); }));
  ChangeOthers(1);  // plane 2 leaves: nobody within range is left
  ASSERT_TRUE(Await([&] { return RecordsInUse(1) && Nearest() == 0; }));
}

// The tick goes on across Disable and Enable (and the header's counter is
// set afresh); Disable with 95 slot threads ends every one of them, with
// the end lines in order.
TEST_F(TrafficTest, DisableEndsEverySlotThreadAndTheTickGoesOn) {
  SetOthers(95);
  StartAndEnable();
  ASSERT_TRUE(Await([&] { return RecordsInUse(95); }));
  ASSERT_TRUE(AwaitCycles(2));
  const int32_t first_id = RecordId(0);
  Disable();
  EXPECT_EQ(TrafficSlotThreadsAlive(), 0);
  EXPECT_FALSE(TrafficThreadRunning());
  EXPECT_TRUE(RecordsInUse(0));
  const uint16_t tick = U16(0xF006);
  EXPECT_NE(tick, 0);
  const std::string log = StatusLogText();
  const size_t active = log.find("TARVOS->95 ATC Threads active......\n");
  const size_t done = log.find("Done\n", active);
  ASSERT_NE(active, std::string::npos) << log;
  ASSERT_NE(done, std::string::npos) << log;
  for (int s = 0; s < 95; ++s) {
    char line[64];
    std::snprintf(line, sizeof line,
                  "TARVOS->Closing Slot Thread No. %02d......\n", s);
    const size_t at = log.find(line);
    EXPECT_TRUE(at > active && at < done) << line;
  }

  SetOthers(2);  // while disabled: the next start reads the list
  Enable();
  Frames(1);
  ASSERT_TRUE(Await([&] { return RecordsInUse(2) && SlotCounter() == 2; }));
  // The tick went on from where it stood: at any moment it is the old
  // value plus 10 per cycle done since the start (or one more, published
  // just before the count).
  for (;;) {
    const uint64_t c1 = TrafficCyclesDone();
    const uint16_t now = U16(0xF006);
    if (TrafficCyclesDone() != c1) continue;
    const uint16_t expected = static_cast<uint16_t>(tick + 10 * c1);
    EXPECT_TRUE(now == expected || now == static_cast<uint16_t>(expected + 10))
        << now << " after " << tick << " and " << c1 << " cycles";
    break;
  }
  // Slot ids go on as well: the two new slots follow the 95 earlier ones.
  EXPECT_EQ(RecordId(0), first_id + 95);
  EXPECT_EQ(RecordId(1), first_id + 96);
}

// The pure pieces: distances, the equal-position cosine, the choice.
TEST(TrafficDistance, GreatCircleInTenthsOfAKilometre) {
  struct Case {
    float lat_a, lon_a, lat_b, lon_b;
    int32_t tenths;
  };
  const Case cases[] = {
      {46.5f, 7.5f, 46.5f, 7.5f, 0},  // equal: the cosine rounds above 1
      {0.3f, 0.7f, 0.3f, 0.7f, 0},    //
      {-33.9f, 151.2f, -33.9f, 151.2f, 0},
      {0.0f, 0.0f, 1.0f, 0.0f, 1111},      // one degree of latitude
      {0.0f, 0.0f, 0.0f, 180.0f, 200151},  // half the world
      {46.5f, 7.5f, 46.5f, 8.5f, 765},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(DistanceTenthsKm(c.lat_a, c.lon_a, c.lat_b, c.lon_b), c.tenths,
                2)
        << c.lat_a << " " << c.lon_a << " " << c.lat_b << " " << c.lon_b;
    EXPECT_GE(DistanceTenthsKm(c.lat_a, c.lon_a, c.lat_b, c.lon_b), 0);
  }
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_GE(DistanceTenthsKm(nan, 0, 0, 0), kNearestLimit);
}

TEST(TrafficNearest, ChoosesTheNearestWithinTheLimit) {
  struct Case {
    std::vector<NearestCandidate> candidates;
    uint16_t nearest;
  };
  const Case cases[] = {
      {{}, 0},
      {{{true, 500, 0xF080}, {true, 400, 0xF0A8}}, 0xF0A8},
      {{{true, 400, 0xF080}, {true, 400, 0xF0A8}}, 0xF080},  // tie: first
      {{{false, 10, 0xF080}, {true, 400, 0xF0A8}}, 0xF0A8},  // not in use
      {{{true, 10000, 0xF080}}, 0},                          // 1000 km
      {{{true, 9999, 0xF080}}, 0xF080},
      {{{true, 0, 0xF0D0}}, 0xF0D0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseNearest(c.candidates), c.nearest);
  }
}

}  // namespace
}  // namespace tarvos
