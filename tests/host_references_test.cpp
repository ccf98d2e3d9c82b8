// What the plugin does where the host differs from what it expects: the
// Enable lines for references it writes that cannot be written and for
// missing ones an offset needs, the writes it then leaves out, the write
// handlers' reference table against what they really set, and engine
// temperatures in an aircraft that keeps Fahrenheit.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/read_items.h"
#include "requests/write_handlers.h"
#include "requests/write_targets.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

constexpr char kFailuresLine[] =
    "TARVOS->sim/operation/failures/failures is read-only here: offsets "
    "0x6DA4, 0x6DAA have no effect\n";
constexpr char kThunderstormLine[] =
    "TARVOS->sim/weather/thunderstorm_percent does not exist here: offset "
    "0x6DAF has no effect\n";

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size())) {
    ++n;
  }
  return n;
}

using HostReferencesTest = testing::PluginFixture;

// 12.1: one line for each difference that changes an offset, at every
// Enable; the writes that would go nowhere are not made (the host would
// record them as errors).
TEST_F(HostReferencesTest, TwelveLogsEachDifferenceOnceAndSkipsItsWrites) {
  Start();
  Enable();
  std::string log = StatusLogText();
  EXPECT_EQ(Count(log, kFailuresLine), 1) << log;
  EXPECT_EQ(Count(log, kThunderstormLine), 1) << log;
  EXPECT_EQ(Count(log, " here: "), 2) << log;  // none for the never-read
  host().TakeSetRecords();
  host().TakeInputs();
  Write(0x6DA4, {1, 0, 0, 0});
  Write(0x6DAA, {5});
  Write(0x6DAF, {50});
  EXPECT_TRUE(host().TakeSetRecords().empty());
  EXPECT_TRUE(host().TakeInputs().empty());  // no button 84 either
  // The rest of the weather still goes through.
  Write(0x6DA8, {2});
  EXPECT_EQ(TakeSets().size(), 1u);

  Disable();
  Enable();
  log = StatusLogText();
  EXPECT_EQ(Count(log, kFailuresLine), 2);
  EXPECT_EQ(Count(log, kThunderstormLine), 2);
}

TEST_F(HostReferencesTest, OlderHostLogsNothingAndWritesAsBefore) {
  host().UseOlderHost();
  Start();
  Enable();
  EXPECT_EQ(Count(StatusLogText(), " here: "), 0);
  TakeSets();
  Write(0x6DAF, {50});
  const auto sets = TakeSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].name, "sim/weather/thunderstorm_percent");
  Write(0x6DA4, {1, 0, 0, 0});
  EXPECT_EQ(TakeSets().size(), 26u);
  host().TakeInputs();
}

// Every handler, driven with a few values on a host where everything can
// be written, sets only references its row of the table names; and every
// handler has rows or is listed as setting none.
TEST_F(HostReferencesTest, HandlersSetOnlyTheReferencesTheirTableNames) {
  host().UseOlderHost();
  Start();
  Enable();
  Frames(2);
  std::map<std::pair<ReferenceTable, uint16_t>, std::string> names;
  for (const ReferenceLookup& row : ReferenceLookupCatalogue()) {
    names[{row.table, row.slot}] = row.name;
  }
  std::map<uint16_t, std::set<std::string>> targets;
  for (const WriteTarget& t : WriteTargets()) {
    ASSERT_TRUE(names.count({t.table, t.slot})) << t.handler;
    targets[t.handler].insert(names[{t.table, t.slot}]);
  }
  std::set<uint16_t> without(HandlersWithoutReferences().begin(),
                             HandlersWithoutReferences().end());
  for (const WriteHandler& h : MessageWindowWriteHandlers()) {
    without.insert(h.offset);
  }
  const std::vector<uint8_t> patterns = {0x00, 0x01, 0x02, 0x04, 0x40, 0xFF};
  for (uint32_t offset = 0; offset < kOffsetSpaceSize; ++offset) {
    const WriteHandler* h = FindWriteHandler(offset);
    if (h == nullptr || h->handle == nullptr) continue;
    SCOPED_TRACE(::testing::Message() << std::hex << offset);
    EXPECT_TRUE(targets.count(h->offset) != without.count(h->offset));
    for (uint8_t p : patterns) {
      std::vector<uint8_t> value(h->size, p);
      std::vector<uint8_t> other(h->size, static_cast<uint8_t>(~p));
      value[0] = p == 0x40 ? 0x00 : p;  // 0x4000: a 16-bit 16384
      Poke(offset, other);
      host().TakeSetRecords();
      Write(offset, value);
      for (const simhost::SetRecord& r : host().TakeSetRecords()) {
        // Other plugins' references are not the simulator's.
        if (r.name.rfind("sim/", 0) != 0) continue;
        EXPECT_TRUE(targets[h->offset].count(r.name)) << r.name;
      }
    }
  }
  host().TakeInputs();
  host().TakeCommands();
}

// An aircraft keeping Fahrenheit: the offsets still read Celsius.
TEST_F(HostReferencesTest, EngineTemperaturesOfAFahrenheitAircraft) {
  Start();
  Enable();
  const std::string kEgt = "sim/flightmodel/engine/ENGN_EGT_c";
  const std::string kOil = "sim/flightmodel/engine/ENGN_oil_temp_c";
  for (bool fahrenheit : {false, true}) {
    SCOPED_TRACE(fahrenheit);
    host().SetFahrenheitAircraft(fahrenheit);
    host().SetFloatElement(kEgt, 1, fahrenheit ? 1292.0f : 700.0f);
    host().SetFloatElement(kOil, 1, fahrenheit ? 212.0f : 100.0f);
    LockGuard<RecursiveLock> hold(OffsetLock);
    for (uint32_t o : {0x0956u, 0x0950u}) FindReadItem(o)->refresh(o);
    EXPECT_EQ(LoadU16(OffsetBlock + 0x0956), 13335);  // 700 C x 19.051
    EXPECT_EQ(LoadU16(OffsetBlock + 0x0950), 11702);  // 100 C x 117.02857
  }
  // The stand-in converts the engines' temperatures with the flags.
  host().SetFloatElement(kEgt, 0, 100.0f);
  host().SetFahrenheitAircraft(false);
  EXPECT_NEAR(host().GetFloatElement(kEgt, 0), 37.78f, 0.01f);
}

}  // namespace
}  // namespace tarvos
