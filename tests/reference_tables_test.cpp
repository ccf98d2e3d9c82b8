// The handle tables filled at start, the write-protected bytes and the late
// bindings to the x737 and pushback plugins.
#include "offsets/reference_tables.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

class ReferenceTablesTest : public testing::PluginFixture {
 protected:
  int StatusLogCount(const std::string& line) {
    const std::string log = StatusLogText();
    int count = 0;
    for (size_t at = log.find(line); at != std::string::npos;
         at = log.find(line, at + 1)) {
      ++count;
    }
    return count;
  }
};

XPLMDataRef Slot(ReferenceTable table, uint16_t slot) {
  return table == ReferenceTable::kDataRef ? DataRefMemBlock[slot]
                                           : VariablesAccessMemBlock[slot];
}

// Every lookup lands in its own slot: no later row overwrites an earlier
// one, and each slot holds the host's handle for its name.
TEST_F(ReferenceTablesTest, EverySlotHoldsTheHandleOfItsName) {
  Start();
  const std::vector<ReferenceLookup> catalogue = ReferenceLookupCatalogue();
  std::set<std::pair<ReferenceTable, uint16_t>> seen;
  for (const ReferenceLookup& row : catalogue) {
    EXPECT_TRUE(seen.insert({row.table, row.slot}).second)
        << "slot looked up twice: " << std::hex << row.slot;
    EXPECT_EQ(Slot(row.table, row.slot), XPLMFindDataRef(row.name.c_str()))
        << row.name;
  }
}

// Slots picked from the tables by hand, so a shifted or misspelt row is
// caught independently of the catalogue. Each name is defined first so the
// host gives a real handle.
TEST_F(ReferenceTablesTest, HandPickedSlotsMatchTheirDatarefs) {
  struct Expect {
    ReferenceTable table;
    uint16_t slot;
    const char* name;
  };
  const Expect expects[] = {
      {ReferenceTable::kDataRef, 0x02C8, "sim/flightmodel/position/vh_ind"},
      {ReferenceTable::kDataRef, 0x030C, "sim/flightmodel/position/vh_ind"},
      {ReferenceTable::kDataRef, 0x0560, "sim/flightmodel/position/latitude"},
      {ReferenceTable::kDataRef, 0x088C,
       "sim/cockpit2/engine/actuators/throttle_ratio"},
      {ReferenceTable::kDataRef, 0x0924,
       "sim/cockpit2/engine/actuators/throttle_ratio"},
      {ReferenceTable::kDataRef, 0x0A54,
       "sim/cockpit2/engine/actuators/throttle_ratio"},
      {ReferenceTable::kDataRef, 0x0968,  // engine 2 oil quantity
       "sim/cockpit2/engine/indicators/oil_quantity_ratio"},
      {ReferenceTable::kDataRef, 0x0AE0, "sim/flightmodel/engine/ENGN_FF_"},
      {ReferenceTable::kDataRef, 0x0C59, "sim/cockpit/radios/nav2_hdef_dot"},
      {ReferenceTable::kDataRef, 0x0F72, "sim/weather/wind_speed_kt[0]"},
      {ReferenceTable::kDataRef, 0x6F0C,
       "sim/cockpit/switches/anti_ice_surf_heat_right"},
      {ReferenceTable::kDataRef, 0xD846, "sim/multiplayer/position/plane1_the"},
      {ReferenceTable::kDataRef, 0xD852 + 0x14 * 18,
       "sim/multiplayer/position/plane19_phi"},
      {ReferenceTable::kDataRef, 0xF084 + 0x28 * 18,
       "sim/multiplayer/position/plane19_lat"},
      {ReferenceTable::kDataRef, 0xF084 + 0x28 * 4 + 0x10,
       "sim/multiplayer/position/plane5_v_y"},
      {ReferenceTable::kVariables, 0x0033, "sim/time/total_running_time_sec"},
      {ReferenceTable::kVariables, 0x008D, "sim/flightmodel/controls/lail1def"},
      {ReferenceTable::kVariables, 0x0560, "sim/flightmodel/position/local_x"},
      {ReferenceTable::kVariables, 0x0924,
       "sim/flightmodel/engine/ENGN_thro_use"},
  };
  for (const Expect& e : expects) {
    if (!host().IsDefined(e.name)) host().DefineFloat(e.name, 0);
  }
  Start();
  for (const Expect& e : expects) {
    EXPECT_NE(Slot(e.table, e.slot), nullptr) << e.name;
    EXPECT_EQ(Slot(e.table, e.slot), XPLMFindDataRef(e.name)) << e.name;
  }
}

TEST_F(ReferenceTablesTest, EnginesThreeAndFourLackOilAndHydraulicSlots) {
  host().DefineFloatArray("sim/cockpit2/engine/indicators/oil_quantity_ratio",
                          {0, 0, 0, 0});
  host().DefineFloat("sim/cockpit/misc/hydraulic_quantity", 0);
  Start();
  for (uint16_t gap : {0x44, 0x4C, 0x50}) {
    EXPECT_EQ(DataRefMemBlock[0x09BC + gap], nullptr) << gap;
    EXPECT_EQ(DataRefMemBlock[0x0A54 + gap], nullptr) << gap;
  }
  EXPECT_NE(DataRefMemBlock[0x088C + 0x44], nullptr);
  EXPECT_NE(DataRefMemBlock[0x0924 + 0x50], nullptr);
}

TEST_F(ReferenceTablesTest, MissingDatarefLeavesNullSlotAndStartGoesOn) {
  host().Undefine("sim/time/paused");
  Start();
  EXPECT_EQ(DataRefMemBlock[0x0264], nullptr);
  EXPECT_EQ(
      StatusLogCount("Init DataRefMemBlock & VariablesAccessMemBlock OK!\n"),
      1);
  EXPECT_EQ(StatusLogCount("Init Command Block OK!\n"), 1);
  Enable();
  Frames(2);
}

TEST_F(ReferenceTablesTest, CommandSlotsFollowTheEngineRuns) {
  Start();
  const char* expected[kCommandSlots] = {
      "sim/magnetos/magnetos_off_1",
      "sim/magnetos/magnetos_right_1",
      "sim/magnetos/magnetos_left_1",
      "sim/magnetos/magnetos_both_1",
      "sim/starters/engage_starter_1",
      "sim/magnetos/magnetos_off_2",
      "sim/magnetos/magnetos_right_2",
      "sim/magnetos/magnetos_left_2",
      "sim/magnetos/magnetos_both_2",
      "sim/starters/engage_starter_2",
      "sim/autopilot/back_course",
      "sim/autopilot/approach",
      "sim/autopilot/autothrottle_toggle",
      "sim/autopilot/take_off_go_around",
      nullptr,
      "sim/magnetos/magnetos_off_3",
      "sim/magnetos/magnetos_right_3",
      "sim/magnetos/magnetos_left_3",
      "sim/magnetos/magnetos_both_3",
      "sim/starters/engage_starter_3",
      "sim/magnetos/magnetos_off_4",
      "sim/magnetos/magnetos_right_4",
      "sim/magnetos/magnetos_left_4",
      "sim/magnetos/magnetos_both_4",
      "sim/starters/engage_starter_4",
  };
  for (int slot = 0; slot < kCommandSlots; ++slot) {
    if (expected[slot] == nullptr) {
      EXPECT_EQ(CommandBlock[slot], nullptr);
      EXPECT_EQ(CommandLookupName(slot), nullptr);
      continue;
    }
    EXPECT_STREQ(CommandLookupName(slot), expected[slot]);
    EXPECT_EQ(CommandBlock[slot], XPLMFindCommand(expected[slot]))
        << expected[slot];
  }
}

TEST_F(ReferenceTablesTest, WriteProtectedBytesAreExactlyTheList) {
  const std::pair<uint32_t, uint32_t> ranges[] = {
      {0x0238, 0x023A}, {0x0264, 0x0265}, {0x0274, 0x0275}, {0x02B4, 0x02B7},
      {0x02C4, 0x02C7}, {0x030C, 0x030F}, {0x04D8, 0x04DB}, {0x0609, 0x0609},
      {0x0AEC, 0x0AED}, {0x0B78, 0x0B7B}, {0x0B80, 0x0B83}, {0x0B98, 0x0B9B},
      {0x0C48, 0x0C49}, {0x0C50, 0x0C51}, {0x0C59, 0x0C59}, {0x0C60, 0x0C61},
      {0x0C6E, 0x0C6E}, {0x0ECE, 0x0ED3}, {0x0EDA, 0x0EDF}, {0x0EE2, 0x0EEB},
      {0x31E4, 0x31E7}, {0x3304, 0x330B}, {0x6F03, 0x6F0A}, {0x6FFF, 0x6FFF},
  };
  Start();
  std::set<uint32_t> expected;
  for (const auto& [first, last] : ranges) {
    for (uint32_t offset = first; offset <= last; ++offset) {
      expected.insert(offset);
    }
  }
  for (uint32_t offset = 0; offset < kOffsetSpaceSize; ++offset) {
    const bool protect = expected.count(offset) != 0;
    ASSERT_EQ(OffsetKindMap[offset],
              protect ? kOffsetWriteProtected : kOffsetOrdinary)
        << std::hex << offset;
    ASSERT_EQ(IsWriteProtected(offset), protect) << std::hex << offset;
  }
  EXPECT_FALSE(IsWriteProtected(0x0EE0));
  EXPECT_FALSE(IsWriteProtected(0x0240));
  EXPECT_FALSE(IsWriteProtected(0x3E00));
}

TEST_F(ReferenceTablesTest, X737BindingFollowsThePluginComingAndGoing) {
  StartAndEnable();
  RefreshLateBindings();
  EXPECT_EQ(X737PluginId.load(), -1);
  EXPECT_EQ(X737Active.load(), 0);
  EXPECT_EQ(VariablesAccessMemBlock[0x0040], nullptr);

  const XPLMPluginID id = host().AddPlugin("bs.x737.plugin");
  RefreshLateBindings();
  RefreshLateBindings();  // looked up once while it stays loaded
  EXPECT_EQ(X737PluginId.load(), id);
  EXPECT_EQ(X737Active.load(), 1);
  EXPECT_EQ(VariablesAccessMemBlock[0x0040],
            XPLMFindDataRef("x737/systems/afds/plugin_status"));
  EXPECT_EQ(VariablesAccessMemBlock[0x005B],
            XPLMFindDataRef("x737/systems/athr/MCPSPD_ismach"));
  const std::string line =
      "x737 found pluginID=" + std::to_string(id) + ", datarefs loaded\n";
  EXPECT_EQ(StatusLogCount(line), 1);

  host().SetInt("x737/systems/afds/plugin_status", 0);
  RefreshLateBindings();
  EXPECT_EQ(X737Active.load(), 0);

  host().RemovePlugin("bs.x737.plugin");
  RefreshLateBindings();
  EXPECT_EQ(X737Active.load(), 0);
  host().AddPlugin("bs.x737.plugin");
  RefreshLateBindings();
  EXPECT_EQ(X737Active.load(), 1);
  EXPECT_EQ(StatusLogCount("x737 found pluginID="), 2);
}

TEST_F(ReferenceTablesTest, XPushbackBindingFillsBothSlots) {
  StartAndEnable();
  RefreshLateBindings();
  EXPECT_EQ(XPushbackPresent.load(), 0);
  const XPLMPluginID id = host().AddPlugin("GoodWay.XPushBack");
  RefreshLateBindings();
  EXPECT_EQ(XPushbackPresent.load(), 1);
  const XPLMDataRef status = XPLMFindDataRef("goodway/xpushback/PBstatus");
  EXPECT_NE(status, nullptr);
  EXPECT_EQ(DataRefMemBlock[0x31F0], status);
  EXPECT_EQ(DataRefMemBlock[0x31F4], status);
  EXPECT_EQ(StatusLogCount("XPushback found pluginID=" + std::to_string(id) +
                           ", datarefs loaded\n"),
            1);
  // Enable asks for the lookup again.
  Disable();
  Enable();
  RefreshLateBindings();
  EXPECT_EQ(StatusLogCount("XPushback found pluginID=" + std::to_string(id) +
                           ", datarefs loaded\n"),
            2);
  EXPECT_EQ(XPushbackLookupPending.load(), 0);
}

}  // namespace
}  // namespace tarvos
