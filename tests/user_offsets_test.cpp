// User offsets at run time: conversions, the refresh of each group, client
// writes driving datarefs and commands, the file loaded through Enable, and
// writes arriving over both transports.
#include "userconfig/user_offsets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "client/batch.h"
#include "client/connection.h"
#include "offsets/offset_block.h"
#include "requests/write_dispatch.h"
#include "tests/transport_harness.h"
#include "userconfig/config_loader.h"
#include "userconfig/config_parser.h"
#include "userconfig/user_runtime.h"
#include "userconfig/value_conversion.h"

namespace tarvos {
namespace {

using ByteVec = std::vector<uint8_t>;
using simhost::CommandPhase;

struct EncodeCase {
  double value;
  OffsetType type;
  ByteVec bytes;
};

const EncodeCase kEncodeCases[] = {
    {1.9, OffsetType::kUint8, {0x01}},
    {-1.9, OffsetType::kSint8, {0xFF}},
    {300, OffsetType::kUint8, {0x2C}},   // low byte of 300
    {1e12, OffsetType::kUint8, {0x00}},  // out of range: most negative int32
    {NAN, OffsetType::kUint16, {0x00, 0x00}},
    {-2, OffsetType::kUint16, {0xFE, 0xFF}},
    {65537, OffsetType::kSint16, {0x01, 0x00}},
    {4294967295.0, OffsetType::kUint32, {0xFF, 0xFF, 0xFF, 0xFF}},
    {3e9, OffsetType::kSint32, {0x00, 0x00, 0x00, 0x80}},
    {-1, OffsetType::kUint64, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    {1e30, OffsetType::kSint64, {0, 0, 0, 0, 0, 0, 0, 0x80}},
    {1.5, OffsetType::kFloat32, {0x00, 0x00, 0xC0, 0x3F}},
    {1e300, OffsetType::kFloat32, {0x00, 0x00, 0x80, 0x7F}},  // +infinity
    {-1e300, OffsetType::kFloat32, {0x00, 0x00, 0x80, 0xFF}},
    {90.0, OffsetType::kFloat64, {0, 0, 0, 0, 0, 0x80, 0x56, 0x40}},
};

TEST(UserValueConversionTest, EncodesByType) {
  for (const EncodeCase& c : kEncodeCases) {
    ByteVec out(OffsetTypeSize(c.type), 0xAA);
    EncodeUserValue(c.value, c.type, out.data());
    EXPECT_EQ(out, c.bytes)
        << c.value << " as type " << static_cast<int>(c.type);
  }
}

TEST(UserValueConversionTest, DecodesByType) {
  const uint8_t ff[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kUint8), 255);
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kSint8), -1);
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kUint16), 65535);
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kSint16), -1);
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kUint32), 4294967295.0);
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kSint32), -1);
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kUint64), 18446744073709551616.0);
  EXPECT_EQ(DecodeUserValue(ff, OffsetType::kSint64), -1);
  const uint8_t f32[4] = {0x00, 0x00, 0xC0, 0x3F};
  EXPECT_EQ(DecodeUserValue(f32, OffsetType::kFloat32), 1.5);
  EXPECT_EQ(TruncToS32(-2147483648.9), -2147483647 - 1);
  EXPECT_EQ(TruncToS32(2147483647.9), 2147483647);
  EXPECT_EQ(TruncToS32(2147483648.0), -2147483647 - 1);
}

// The run-time functions called directly, the way the refresh callbacks and
// the write dispatch call them.
class UserRuntimeTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    host().DefineFloat("test/hdg", 45.0f);
    host().DefineInt("test/int", 0);
    host().DefineDouble("test/double", 0);
    host().DefineFloatArray("test/floats", {0, 0, 0, 0});
    host().DefineIntArray("test/ints", {0, 0, 0});
    host().DefineBytes("test/bytes", std::string(4, '\0'));
    host().DefineCommand("test/begin");
    host().DefineCommand("test/once");
    host().DefineCommand("test/other");
  }
  void TearDown() override {
    ReleaseUserOffsetConfig();
    PluginFixture::TearDown();
  }
  void Load(const std::string& text) {
    UserTables t = ParseUserOffsetConfig(text);
    ResolveUserReferences(&t);
    InstallUserTables(std::move(t));
  }
  // A client write as a transport makes it: dispatch under the lock, then
  // the bytes land in OffsetBlock.
  void ClientWrite(uint32_t offset, const ByteVec& bytes) {
    LockGuard<RecursiveLock> hold(OffsetLock);
    ApplyWrite(bytes.data(), offset, static_cast<uint32_t>(bytes.size()));
    std::memcpy(OffsetBlock + offset, bytes.data(), bytes.size());
  }
  static ByteVec F64Bytes(double v) {
    ByteVec b(8);
    StoreF64(b.data(), v);
    return b;
  }
};

TEST_F(UserRuntimeTest, RefreshStoresOnlyTheCallersGroup) {
  Load(
      "Dataref hdg test/hdg float\n"
      "Offset 6600 UINT16 1 r $hdg 65536 * 360 /\n"
      "Offset 6602 UINT16 2 r $hdg\n"
      "Offset 6604 UINT16 0 r $hdg\n"
      "Offset 6606 UINT16 9 r $hdg\n"
      "Offset 6608 FLOAT32 1 w >hdg @\n"
      "Offset 660C SINT16 1 r $nobody\n");
  for (int g = -1; g <= 9; ++g) {
    if (g != 2) RefreshUserOffsetGroup(g);
  }
  EXPECT_EQ(U16(0x6600), 8192);
  EXPECT_EQ(U16(0x6602), 0);
  EXPECT_EQ(U16(0x6604), 0);
  EXPECT_EQ(U16(0x6606), 0);
  EXPECT_EQ(Bytes(0x6608, 4), (ByteVec{0x00, 0x00, 0x9A, 0x42}));  // 77.0f
  EXPECT_EQ(U16(0x660C), 111);
  RefreshUserOffsetGroup(2);
  EXPECT_EQ(U16(0x6602), 45);
}

TEST_F(UserRuntimeTest, RefreshSkipsItsStoreWhileAClientHoldsTheLock) {
  Load("Dataref hdg test/hdg float\nOffset 6600 UINT16 1 r $hdg\n");
  Poke(0x6600, {0xCD, 0xAB});  // not what a skipped store would leave
  std::atomic<bool> held{false}, release{false};
  std::thread client([&] {
    LockGuard<RecursiveLock> hold(OffsetLock);
    held = true;
    while (!release) std::this_thread::yield();
  });
  while (!held) std::this_thread::yield();
  RefreshUserOffsetGroup(1);  // must return without waiting
  release = true;
  client.join();
  EXPECT_EQ(U16(0x6600), 0xABCD);
  RefreshUserOffsetGroup(1);
  EXPECT_EQ(U16(0x6600), 45);
}

TEST_F(UserRuntimeTest, ReadWriteEntryFollowsAndSetsItsDataref) {
  Load("Dataref hdg test/hdg float\nOffset 66C0 FLOAT64 2 rw $hdg >hdg @\n");
  RefreshUserOffsetGroup(2);
  EXPECT_EQ(F64(0x66C0), 45.0);
  host().TakeSetRecords();
  ClientWrite(0x66C0, F64Bytes(90.0));
  EXPECT_EQ(host().GetFloat("test/hdg"), 90.0f);
  // The same bytes again change nothing.
  host().TakeSetRecords();
  ClientWrite(0x66C0, F64Bytes(90.0));
  EXPECT_TRUE(TakeSets().empty());
  RefreshUserOffsetGroup(2);
  EXPECT_EQ(F64(0x66C0), 90.0);
}

TEST_F(UserRuntimeTest, WriteOnlyEntryShows77AndActsOnOtherValues) {
  Load("Dataref i test/int int\nOffset 6610 UINT8 1 w >i @ 2 *\n");
  RefreshUserOffsetGroup(1);
  EXPECT_EQ(Bytes(0x6610, 1), ByteVec{77});
  ClientWrite(0x6610, {77});
  EXPECT_TRUE(TakeSets().empty());
  ClientWrite(0x6610, {5});
  EXPECT_EQ(host().GetInt("test/int"), 10);
  RefreshUserOffsetGroup(1);
  EXPECT_EQ(Bytes(0x6610, 1), ByteVec{77});
}

TEST_F(UserRuntimeTest, ReadOnlyEntryIgnoresWrites) {
  Load("Dataref i test/int int\nOffset 6610 UINT8 1 r 3 >i @\n");
  ClientWrite(0x6610, {9});
  EXPECT_TRUE(TakeSets().empty());
}

TEST_F(UserRuntimeTest, EveryTargetSeesTheClientValue) {
  Load(
      "Dataref i test/int int\nDataref d test/double double\n"
      "Dataref fa test/floats[2] floatarray\nDataref ia test/ints[1] intarray\n"
      "Dataref b test/bytes[3] data\nDataref neg test/ints[-1] intarray\n"
      "Offset 6620 SINT16 0 w >i >d @ 0.5 + >fa @ >ia @ 10 * >b @ 256 +"
      " >neg @ >missing @\n");
  ClientWrite(0x6620, {0xFE, 0xFF});         // -2
  EXPECT_EQ(host().GetInt("test/int"), 88);  // empty write expression
  EXPECT_EQ(host().GetDouble("test/double"), -1.5);
  EXPECT_EQ(host().GetFloatElement("test/floats", 2), -2.0f);
  EXPECT_EQ(host().GetIntElement("test/ints", 1), -20);
  EXPECT_EQ(host().GetBytes("test/bytes")[3], '\xFE');  // low 8 bits of 254
  EXPECT_EQ(host().GetIntElement("test/ints", 0), 0);   // negative index
}

TEST_F(UserRuntimeTest, IntegerTargetsSaturateToTheMostNegativeValue) {
  Load("Dataref i test/int int\nOffset 6630 FLOAT64 0 w >i @\n");
  ClientWrite(0x6630, F64Bytes(1e12));
  EXPECT_EQ(host().GetInt("test/int"), std::numeric_limits<int32_t>::min());
  ClientWrite(0x6630, F64Bytes(-7.9));
  EXPECT_EQ(host().GetInt("test/int"), -7);
}

TEST_F(UserRuntimeTest, ShortWriteTakesTheRestFromTheBlock) {
  Load("Dataref i test/int int\nOffset 6640 UINT16 0 w >i @\n");
  Poke(0x6640, {0x34, 0x12});
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    const uint8_t one = 0x56;
    WriteUserOffset(FindUserOffset(0x6640), &one, 1);
  }
  EXPECT_EQ(host().GetInt("test/int"), 0x1256);
}

TEST_F(UserRuntimeTest, WideWriteHandsOnAfterTheEntry) {
  // 0x6652 has no user entry and starts no fixed handler either, so the
  // dispatch stops there; the entry takes its two bytes regardless.
  Load("Dataref i test/int int\nOffset 6650 UINT16 0 w >i @\n");
  ClientWrite(0x6650, {0x02, 0x01, 0xFF, 0xFF});
  EXPECT_EQ(host().GetInt("test/int"), 0x0102);
  // A write starting one byte into the entry does not reach it.
  host().TakeSetRecords();
  ClientWrite(0x6651, {0x07});
  EXPECT_TRUE(TakeSets().empty());
}

TEST_F(UserRuntimeTest, HighOffsetsAddressTheBlockUnsigned) {
  Load("Dataref i test/int int\nOffset FFF0 UINT16 1 rw $i >i @\n");
  host().SetInt("test/int", 513);
  RefreshUserOffsetGroup(1);
  EXPECT_EQ(U16(0xFFF0), 513);
  ClientWrite(0xFFF0, {0x05, 0x00});
  EXPECT_EQ(host().GetInt("test/int"), 5);
}

struct CommandStep {
  uint8_t value;
  std::vector<simhost::CommandRecord> expected;
};

TEST_F(UserRuntimeTest, CommandModesHoldOnceAndBeginOnly) {
  Load(
      "Command 6700 UINT8 0 1 test/begin\n"
      "Command 6701 UINT8 1 1 test/once\n"
      "Command 6702 UINT8 5 1 test/begin 0 2 test/other\n"
      "Command 6703 UINT8 1 1 test/unknown\n");
  auto rec = [](const char* name, CommandPhase p) {
    return simhost::CommandRecord{name, p};
  };
  struct Scenario {
    uint32_t offset;
    std::vector<CommandStep> steps;
  } scenarios[] = {
      // Hold: begin on the value, nothing on a repeat, end on another value.
      {0x6700,
       {{1, {rec("test/begin", CommandPhase::kBegin)}},
        {1, {}},
        {0, {rec("test/begin", CommandPhase::kEnd)}}}},
      // Once: each change to the value fires once.
      {0x6701,
       {{1, {rec("test/once", CommandPhase::kOnce)}},
        {1, {}},
        {2, {}},
        {1, {rec("test/once", CommandPhase::kOnce)}}}},
      // Begin only for value 1; a hold binding on value 2 in the same line.
      {0x6702,
       {{1,
         {rec("test/begin", CommandPhase::kBegin),
          rec("test/other", CommandPhase::kEnd)}},
        {2, {rec("test/other", CommandPhase::kBegin)}},
        {3, {rec("test/other", CommandPhase::kEnd)}}}},
      // A command the host does not know does nothing.
      {0x6703, {{1, {}}}},
  };
  for (const Scenario& s : scenarios) {
    host().TakeCommands();
    for (const CommandStep& step : s.steps) {
      ClientWrite(s.offset, {step.value});
      std::vector<simhost::CommandRecord> got = host().TakeCommands();
      ASSERT_EQ(got.size(), step.expected.size())
          << std::hex << s.offset << " value " << int(step.value);
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].name, step.expected[i].name);
        EXPECT_EQ(got[i].phase, step.expected[i].phase);
      }
    }
  }
}

// The example file, loaded by Enable from the plugin-resources folder.
class UserOffsetsPluginTest : public testing::TransportFixture {
 protected:
  void InstallExampleFile() {
    std::filesystem::path dir =
        std::filesystem::path(host().SystemPath()) / "Resources" / "plugins";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(
        std::filesystem::path(__FILE__).parent_path().parent_path() /
            "examples" / "TARVOSOffsets.cfg",
        dir / "TARVOSOffsets.cfg",
        std::filesystem::copy_options::overwrite_existing);
  }
};

TEST_F(UserOffsetsPluginTest, MissingFileIsLoggedAndNothingIsBound) {
  StartAndEnable();
  EXPECT_NE(StatusLogText().find("TARVOS->Reading TARVOSOffsets.cfg\n"
                                 "Error reading TARVOSOffsets.cfg\n"),
            std::string::npos);
  EXPECT_EQ(FindUserOffset(0x66C0), nullptr);
}

TEST_F(UserOffsetsPluginTest, ExampleFileEntryFollowsItsDatarefEveryFrame) {
  InstallExampleFile();
  host().DefineFloat("sim/cockpit/autopilot/heading_mag", 0.0f);
  StartAndEnable();
  ASSERT_NE(FindUserOffset(0x66C0), nullptr);
  Frames(40);  // past the first 0.5 s of callback A
  for (int deg : {10, 90, 180, 270}) {
    host().SetFloat("sim/cockpit/autopilot/heading_mag", float(deg));
    Frames(1);
    EXPECT_EQ(U16(0x66C0), deg * 65536 / 360) << deg;
  }
  Disable();
  EXPECT_EQ(FindUserOffset(0x66C0), nullptr);  // released at Disable
  EXPECT_NE(StatusLogText().find("TARVOS->Purging TARVOSOffsets.cfg\n"),
            std::string::npos);
}

TEST_F(UserOffsetsPluginTest,
       WritesOverBothTransportsDriveDatarefsAndCommands) {
  InstallExampleFile();
  host().DefineFloat("sim/cockpit/autopilot/heading_mag", 0.0f);
  host().DefineCommand("sim/flight_controls/landing_gear_down");
  host().DefineCommand("sim/flight_controls/landing_gear_up");
  StartServers();
  std::string error;
  auto tcp = client::ConnectTcp("127.0.0.1", port_, &error);
  ASSERT_NE(tcp, nullptr) << error;
  auto local = client::ConnectLocal(endpoint_, &error);
  ASSERT_NE(local, nullptr) << error;
  host().TakeCommands();

  // Heading bug: 16384 of a 16-bit circle is 90 degrees.
  client::RequestBatch batch;
  batch.AddWriteU16(0x66C0, 16384);
  ASSERT_TRUE(tcp->Exchange(batch, &error)) << error;
  EXPECT_FLOAT_EQ(host().GetFloat("sim/cockpit/autopilot/heading_mag"), 90.0f);

  batch.Clear();
  batch.AddWriteU16(0x66C0, 8192);
  ASSERT_TRUE(local->Exchange(batch, &error)) << error;
  EXPECT_FLOAT_EQ(host().GetFloat("sim/cockpit/autopilot/heading_mag"), 45.0f);

  // Gear lever: 1 lowers, 0 raises, each fired once per change.
  for (auto& [conn, value, command] :
       std::vector<std::tuple<client::Connection*, uint8_t, const char*>>{
           {tcp.get(), 1, "sim/flight_controls/landing_gear_down"},
           {local.get(), 0, "sim/flight_controls/landing_gear_up"}}) {
    batch.Clear();
    batch.AddWriteU8(0x66C4, value);
    ASSERT_TRUE(conn->Exchange(batch, &error)) << error;
    std::vector<simhost::CommandRecord> got = host().TakeCommands();
    ASSERT_EQ(got.size(), 1u) << command;
    EXPECT_EQ(got[0].name, command);
    EXPECT_EQ(got[0].phase, CommandPhase::kOnce);
  }
}

}  // namespace
}  // namespace tarvos
