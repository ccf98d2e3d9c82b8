// Client writes that drive the simulator itself: the UTC clock, the date,
// the year, pause, simulation rate, pushback, equipment failures and the
// ATC identification texts with their saves to TARVOS.ini.
#include "requests/simulation_writes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/locks.h"
#include "base/trace_log.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/write_dispatch.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "settings/settings_saves.h"
#include "tests/support/plugin_fixture.h"
#include "transport/request_batch.h"

namespace tarvos {
namespace {

const std::string kZulu = "sim/time/zulu_time_sec";
const std::string kDate = "sim/time/local_date_days";
const std::string kPaused = "sim/time/paused";
const std::string kRate = "sim/time/sim_speed";
const std::string kPushback = "goodway/xpushback/PBstatus";
const std::string kFailures = "sim/operation/failures/failures";
constexpr int kHostFailureSlots = 600;

// An older host, where the failure array can be written (12 makes it
// read-only: host_references_test).
class SimulationWritesTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    host().UseOlderHost();
    Start();
    Enable();
    TakeSets();
    host().TakeInputs();
  }

  static std::vector<uint8_t> Le(uint32_t v, int size) {
    std::vector<uint8_t> b(size);
    for (int i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    return b;
  }
  // The values the plugin wrote to one dataref, in order.
  std::vector<double> SetsOf(const std::string& name) {
    std::vector<double> values;
    for (const simhost::SetRecord& r : TakeSets()) {
      EXPECT_EQ(r.name, name);
      values.insert(values.end(), r.values.begin(), r.values.end());
    }
    return values;
  }
};

// --- Clock ------------------------------------------------------------------

TEST_F(SimulationWritesTest, UtcHourAndMinuteKeepTheOtherAndIgnoreNonsense) {
  constexpr float k143520 = 14 * 3600 + 35 * 60 + 20;
  const struct {
    const char* what;
    uint32_t offset;
    uint8_t value;
    double expected;  // < 0: nothing written
  } kCases[] = {
      {"hour 9", 0x023B, 9, 9 * 3600 + 35 * 60},
      {"minute 10", 0x023C, 10, 14 * 3600 + 10 * 60},
      {"hour 0", 0x023B, 0, 35 * 60},
      {"hour 23", 0x023B, 23, 23 * 3600 + 35 * 60},
      {"minute 59", 0x023C, 59, 14 * 3600 + 59 * 60},
      {"minute 0", 0x023C, 0, 14 * 3600},
      // Past the day: would move the clock hours or days ahead.
      {"hour 24", 0x023B, 24, -1},
      {"hour 200", 0x023B, 200, -1},
      {"minute 60", 0x023C, 60, -1},
      {"minute 255", 0x023C, 255, -1},
      // The value already published: no change, no action.
      {"same hour", 0x023B, 14, -1},
      {"same minute", 0x023C, 35, -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    host().SetFloat(kZulu, k143520);
    Poke(0x023B, {14, 35});
    Write(c.offset, {c.value});
    const std::vector<double> sets = SetsOf(kZulu);
    if (c.expected < 0) {
      EXPECT_TRUE(sets.empty());
      EXPECT_FLOAT_EQ(host().GetFloat(kZulu), k143520);
    } else {
      ASSERT_EQ(sets.size(), 1u);
      EXPECT_DOUBLE_EQ(sets[0], c.expected);
    }
  }
}

TEST_F(SimulationWritesTest, DayOfYearCountsFromOneAndWrapsToTheFirstDay) {
  const struct {
    uint16_t day;
    int expected;
  } kCases[] = {{1, 0},   {2, 1}, {181, 180}, {366, 365},
                {367, 0}, {0, 0}, {0xFFFF, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.day);
    Poke(0x023E, {0x34, 0x12});
    Write(0x023E, Le(c.day, 2));
    EXPECT_EQ(SetsOf(kDate), std::vector<double>{double(c.expected)});
    EXPECT_EQ(host().GetInt(kDate), c.expected);
  }
}

TEST_F(SimulationWritesTest, YearIsKeptWithoutTouchingTheSimulator) {
  EXPECT_EQ(U16(0x0240), 2010);
  EXPECT_EQ(Write(0x0240, Le(2026, 2)), 1);
  EXPECT_EQ(U16(0x0240), 2026);
  EXPECT_TRUE(TakeSets().empty());
  EXPECT_TRUE(host().TakeInputs().empty());
}

// --- Pause and rate
// ------------------------------------------------------------

// The pause key toggles; the published byte may be up to 31 frames old.
// The key goes only when the byte changes and the simulator is not already
// in the state asked for.
TEST_F(SimulationWritesTest, PauseKeyOnlyWhenTheSimulatorIsNotThereYet) {
  const struct {
    const char* what;
    uint8_t published;
    int paused;
    uint8_t written;
    bool key;
  } kCases[] = {
      {"pause a running simulator", 0, 0, 1, true},
      {"run a paused simulator", 1, 1, 0, true},
      {"any non-zero byte pauses", 0, 0, 0x80, true},
      {"the same byte again", 1, 1, 1, false},
      {"paused since the last refresh", 0, 1, 1, false},
      {"running again since the last refresh", 1, 0, 0, false},
      {"1 to 2 on a paused simulator", 1, 1, 2, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    host().SetInt(kPaused, c.paused);
    Poke(0x0262, {c.published});
    Write(0x0262, {c.written});
    const auto inputs = host().TakeInputs();
    if (c.key) {
      ASSERT_EQ(inputs.size(), 1u);
      EXPECT_EQ(inputs[0].kind, simhost::InputKind::kKeyStroke);
      EXPECT_EQ(inputs[0].code, 0);
    } else {
      EXPECT_TRUE(inputs.empty());
    }
    // The stand-in's pause key toggles: the simulator ends as asked.
    EXPECT_EQ(host().GetInt(kPaused) != 0, c.written != 0);
  }
}

TEST_F(SimulationWritesTest, TwoBytePauseWriteEndsTheHandlingAtItsHighByte) {
  EXPECT_EQ(Write(0x0262, {1, 0}), 0);
  EXPECT_EQ(host().TakeInputs().size(), 1u);
}

TEST_F(SimulationWritesTest, SimulationRateTakesTheWholePart) {
  const struct {
    uint16_t value;
    int rate;
  } kCases[] = {
      {0x0400, 4}, {0x0080, 0}, {0x0100, 1}, {0x01FF, 1}, {0x1000, 16}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    Poke(0x0C1A, {0x34, 0x12});
    Write(0x0C1A, Le(c.value, 2));
    EXPECT_EQ(SetsOf(kRate), std::vector<double>{double(c.rate)});
  }
}

// --- Pushback
// ------------------------------------------------------------------

TEST_F(SimulationWritesTest, PushbackControlMapsOntoThePluginsStatus) {
  host().AddPlugin("GoodWay.XPushBack");
  RefreshLateBindings();
  ASSERT_EQ(XPushbackPresent.load(), 1);
  const struct {
    uint32_t value;
    int status;
  } kCases[] = {{0, 1}, {1, 3}, {2, 2}, {3, 0}, {4, 0}, {0xFFFFFFFF, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    Poke(0x31F4, {0xAA, 0xAA, 0xAA, 0xAA});
    Write(0x31F4, Le(c.value, 4));
    EXPECT_EQ(SetsOf(kPushback), std::vector<double>{double(c.status)});
    EXPECT_EQ(host().GetInt(kPushback), c.status);
  }
}

TEST_F(SimulationWritesTest, PushbackWithoutThePluginWritesNothing) {
  RefreshLateBindings();
  Write(0x31F4, Le(2, 4));
  EXPECT_TRUE(host().TakeSetRecords().empty());
}

// --- Failures
// ------------------------------------------------------------------

TEST_F(SimulationWritesTest, FailureBitsSetTheirElementsThenPressButton84) {
  const struct {
    const char* what;
    uint32_t bits;
    std::vector<int> failed;  // elements that end at 5
  } kCases[] = {
      {"bit 0", 1, {19}},
      {"bit 25", 1u << 25, {93}},
      {"bits 2, 3 and 18", (1u << 2) | (1u << 3) | (1u << 18), {356, 357, 87}},
      {"every bit", 0x3FFFFFF,
       std::vector<int>(std::begin(kFailureElements),
                        std::end(kFailureElements))},
      {"bits past 25 fail nothing", 0xFC000000, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    for (int e = 0; e < kHostFailureSlots; ++e) {
      host().SetIntElement(kFailures, e, 7);
    }
    Poke(0x6DA4, {0, 0, 0, 0});
    Write(0x6DA4, Le(c.bits, 4));
    // One element per listed bit, each written alone, in table order.
    const std::vector<simhost::SetRecord> sets = TakeSets();
    ASSERT_EQ(sets.size(), 26u);
    for (int b = 0; b < 26; ++b) {
      EXPECT_EQ(sets[b].offset, kFailureElements[b]);
      EXPECT_EQ(sets[b].values.size(), 1u);
    }
    for (int e = 0; e < kHostFailureSlots; ++e) {
      bool listed = false;
      for (int l : kFailureElements) listed |= l == e;
      bool failed = false;
      for (int f : c.failed) failed |= f == e;
      const int expected = failed ? 5 : listed ? 0 : 7;
      EXPECT_EQ(host().GetIntElement(kFailures, e), expected) << e;
    }
    const auto inputs = host().TakeInputs();
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].kind, simhost::InputKind::kButtonPress);
    EXPECT_EQ(inputs[0].code, 84);
    EXPECT_EQ(inputs[1].kind, simhost::InputKind::kButtonRelease);
    EXPECT_EQ(inputs[1].code, 84);
    EXPECT_FALSE(host().ButtonHeld(84));
  }
}

TEST_F(SimulationWritesTest, AllFailuresByteWritesElementsZeroTo563Only) {
  for (uint8_t value : {uint8_t{6}, uint8_t{0}, uint8_t{255}}) {
    SCOPED_TRACE(value);
    for (int e = 0; e < kHostFailureSlots; ++e) {
      host().SetIntElement(kFailures, e, -1);
    }
    Poke(0x6DAA, {static_cast<uint8_t>(value + 1)});
    Write(0x6DAA, {value});
    for (int e = 0; e < kHostFailureSlots; ++e) {
      EXPECT_EQ(host().GetIntElement(kFailures, e), e < 564 ? value : -1) << e;
    }
  }
}

TEST_F(SimulationWritesTest, UnchangedFailureBytesDoNothing) {
  Write(0x6DA4, Le(0, 4));
  Write(0x6DAA, {0});
  EXPECT_TRUE(TakeSets().empty());
  EXPECT_TRUE(host().TakeInputs().empty());
}

// --- ATC texts -------------------------------------------------------------

TEST_F(SimulationWritesTest, AtcTextsAreCutToTheirFieldAndSaved) {
  const struct {
    uint32_t offset;
    uint32_t size;
    std::string written;
    const char* key;
    std::string saved;
  } kCases[] = {
      {0x3130, 12, "DLH123", "ATC Number", "DLH123"},
      {0x3130, 12, "ABCDEFGHIJKL", "ATC Number", "ABCDEFGHIJK"},
      {0x313C, 12, "D-AIBL", "ATC Tail Number", "D-AIBL"},
      {0x313C, 12, "N123456789XY", "ATC Tail Number", "N123456789X"},
      {0x3148, 24, "Condor", "ATC Airline name", "Condor"},
      {0x3148, 24, std::string(24, 'Q'), "ATC Airline name",
       std::string(23, 'Q')},
      {0x3160, 24, "Airbus A321neo", "ATC Aircraft type", "Airbus A321neo"},
      {0x3160, 24, std::string(24, 'T'), "ATC Aircraft type",
       std::string(23, 'T')},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.written);
    std::vector<uint8_t> bytes(c.written.begin(), c.written.end());
    bytes.resize(c.size, 0);
    Write(c.offset, bytes);
    FlushSettingSaves();
    EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", c.key), c.saved);
  }
  EXPECT_EQ(AtcText(AtcField::kFlightNumber), "ABCDEFGHIJK");
  EXPECT_EQ(AtcText(AtcField::kAircraftType), std::string(23, 'T'));
}

// The file is not rewritten inside the write: OffsetLock stays short.
TEST_F(SimulationWritesTest, AtcSaveWaitsUntilOffsetLockIsReleased) {
  Write(0x3130, {'B', 'A', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(PendingSettingSaves(), 1);
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Number"), "LH 5363");
  EXPECT_EQ(AtcText(AtcField::kFlightNumber), "BA1");
  FlushSettingSaves();
  EXPECT_EQ(PendingSettingSaves(), 0);
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Number"), "BA1");
}

// Through the transport: the save is made after the record, with
// OffsetLock free (another thread can take it while the file is renamed).
std::atomic<int> g_renames{0};
std::atomic<int> g_renames_under_lock{0};
bool RenameCheckingTheLock(const std::string& from, const std::string& to) {
  ++g_renames;
  bool free = false;
  std::thread other([&] {
    if (OffsetLock.TryAcquire()) {
      free = true;
      OffsetLock.Release();
    }
  });
  other.join();
  if (!free) ++g_renames_under_lock;
  SetIniRenameForTesting(nullptr);
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  return !ec;
}

TEST_F(SimulationWritesTest, TransportSavesAtcTextsOutsideOffsetLock) {
  std::vector<uint8_t> batch(12 + 24 + 4, 0);
  StoreU32(batch.data(), kRecordWrite);
  StoreU32(batch.data() + 4, 0x3148);
  StoreU32(batch.data() + 8, 24);
  std::memcpy(batch.data() + 12, "Air Dolomiti", 12);
  SetIniRenameForTesting(RenameCheckingTheLock);
  ServeRequestBatch(batch.data(), batch.size(), kTraceMarkerTcp);
  SetIniRenameForTesting(nullptr);
  EXPECT_EQ(g_renames.load(), 1);
  EXPECT_EQ(g_renames_under_lock.load(), 0);
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Airline name"),
            "Air Dolomiti");
  EXPECT_EQ(PendingSettingSaves(), 0);
}

// Saves queued for the same key keep the last text; different keys all
// reach the file, and Disable writes what is still queued.
TEST_F(SimulationWritesTest, QueuedSavesKeepTheLastTextAndDisableWritesThem) {
  std::vector<uint8_t> first(12, 0), second(12, 0), tail(12, 0);
  std::memcpy(first.data(), "AAA1", 4);
  std::memcpy(second.data(), "BBB2", 4);
  std::memcpy(tail.data(), "D-EFGH", 6);
  Write(0x3130, first);
  Write(0x3130, second);
  Write(0x313C, tail);
  EXPECT_EQ(PendingSettingSaves(), 2);
  Disable();
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Number"), "BBB2");
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Tail Number"),
            "D-EFGH");
}

// Longer texts from the file stay as the file has them: a client write
// does not change what another key holds, and the published field of a
// 19-character text has no terminator.
TEST_F(SimulationWritesTest, LongerTextsFromTheFileAreKept) {
  Disable();
  WriteSettingValue("TARVOS ATC SETTINGS", "ATC Tail Number",
                    "TAILNUMBER123456789");
  Enable();
  EXPECT_EQ(AtcText(AtcField::kTailNumber), "TAILNUMBER123456789");
  EXPECT_EQ(Bytes(0x313C, 12),
            std::vector<uint8_t>(
                {'T', 'A', 'I', 'L', 'N', 'U', 'M', 'B', 'E', 'R', '1', '2'}));
  std::vector<uint8_t> flight(12, 0);
  std::memcpy(flight.data(), "XY 1", 4);
  Write(0x3130, flight);
  FlushSettingSaves();
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Tail Number"),
            "TAILNUMBER123456789");
}

}  // namespace
}  // namespace tarvos
