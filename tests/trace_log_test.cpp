// TraceLog: the exact entry format and the tracing switches.
#include "base/trace_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "offsets/offset_block.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

const std::string kIndent(58, ' ');

std::vector<uint8_t> Sequence(uint32_t count) {
  std::vector<uint8_t> bytes(count);
  for (uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 17);
  return bytes;
}

struct FormatCase {
  const char* name;
  char marker;
  TraceDirection direction;
  double time;
  int32_t request;
  uint32_t offset;
  uint32_t size;
  std::string expected;
};

std::string Head(const char* head) { return head; }

TEST(TraceEntryFormat, MatchesTheFixedLayout) {
  const std::vector<uint8_t> bytes = Sequence(40);
  const FormatCase cases[] = {
      {"size zero: head then line break", ' ', TraceDirection::kRead, 12.5, 17,
       0x3304, 0,
       Head(" 0012.50 Req: 000017 READ  Offset: 3304 Bytes: 000 value: ") +
           "\n"},
      {"four bytes, TCP marker, write", '*', TraceDirection::kWrite, 3.0, 1,
       0x0BC0, 4,
       "*0003.00 Req: 000001 WRITE Offset: 0BC0 Bytes: 004 value: "
       "00 11 22 33 \n"},
      {"sixteen bytes end with an indented empty line", ' ',
       TraceDirection::kRead, 0.0, 0, 0x0560, 16,
       " 0000.00 Req: 000000 READ  Offset: 0560 Bytes: 016 value: "
       "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \n" +
           kIndent + "\n"},
      {"eighteen bytes wrap after the sixteenth", ' ', TraceDirection::kRead,
       1234.567, 123456, 0xFFFF, 18,
       " 1234.57 Req: 123456 READ  Offset: FFFF Bytes: 018 value: "
       "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \n" +
           kIndent + "10 21 \n"},
      {"wide values keep their full width", ' ', TraceDirection::kRead,
       123456.0, 1234567, 0x12345, 1,
       " 123456.00 Req: 1234567 READ  Offset: 12345 Bytes: 001 value: 00 \n"},
  };
  for (const FormatCase& c : cases) {
    std::string out;
    FormatTraceEntry(out, c.marker, c.direction, c.time, c.request, c.offset,
                     c.size, bytes.data());
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(TraceEntryFormat, ThirtyTwoBytesGiveTwoIndentedBreaks) {
  const std::vector<uint8_t> bytes(32, 0xAB);
  std::string out;
  FormatTraceEntry(out, ' ', TraceDirection::kRead, 0, 0, 0, 32, bytes.data());
  std::string row;
  for (int i = 0; i < 16; ++i) row += "AB ";
  EXPECT_EQ(out.substr(58), row + "\n" + kIndent + row + "\n" + kIndent + "\n");
}

class TraceLogTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
  }
};

TEST_F(TraceLogTest, ClosedAfterStartAndEntriesAreDropped) {
  EXPECT_FALSE(TraceLogIsOpen());
  const std::string before = TraceLogText();
  WriteTraceEntry(' ', TraceDirection::kRead, 0x3304, 4, nullptr);
  EXPECT_EQ(TraceLogText(), before);
}

TEST_F(TraceLogTest, ReadThenWriteSwitchesShareOneOpenFile) {
  Enable();
  Frames(25, 0.5f);  // running time 12.5 s
  const std::string start = TraceLogText();

  SetReadTracing(true);
  EXPECT_TRUE(TraceLogIsOpen());
  EXPECT_EQ(ReadLogging.load(), 1);
  SetReadTracing(true);  // already on: nothing
  SetWriteTracing(true);
  EXPECT_EQ(WriteLogging.load(), 1);
  SetReadTracing(false);
  EXPECT_TRUE(TraceLogIsOpen());  // still held by write tracing
  WriteTraceEntry('*', TraceDirection::kWrite, 0x3304, 4, nullptr);
  SetWriteTracing(false);
  EXPECT_FALSE(TraceLogIsOpen());
  SetWriteTracing(false);  // already off: nothing

  EXPECT_EQ(TraceLogText().substr(start.size()),
            "Start Readlogging 12.500000 sec\n"
            "Start Writelogging 12.500000 sec\n"
            "Stop Readlogging 12.500000 sec\n"
            "*0012.50 Req: 000000 WRITE Offset: 3304 Bytes: 004 value: "
            "04 00 00 50 \n"
            "Stop Writelogging 12.500000 sec\n");
}

// Disable switches tracing off; the file it left open is closed with it, so
// switching on again opens it once and appends.
TEST_F(TraceLogTest, DisableClosesAnOpenTraceLog) {
  Enable();
  Frames(1);
  SetReadTracing(true);
  Disable();
  EXPECT_EQ(ReadLogging.load(), 0);
  EXPECT_FALSE(TraceLogIsOpen());
  Enable();
  EXPECT_FALSE(TraceLogIsOpen());
  SetWriteTracing(true);
  SetWriteTracing(false);
  const std::string text = TraceLogText();
  EXPECT_EQ(text.find("Start Readlogging"), text.rfind("Start Readlogging"));
  EXPECT_NE(text.find("Start Writelogging"), std::string::npos);
  EXPECT_NE(text.find("Stop Writelogging"), std::string::npos);
  EXPECT_EQ(text.find("Stop Readlogging"), std::string::npos);
}

TEST_F(TraceLogTest, EntryWithoutBytesShowsTheOffsetBlockWithinItsEnd) {
  Enable();
  Poke(0xFFFE, {0x12, 0x34});
  SetReadTracing(true);
  WriteTraceEntry(' ', TraceDirection::kRead, 0xFFFE, 8, nullptr);
  SetReadTracing(false);
  EXPECT_NE(TraceLogText().find("Offset: FFFE Bytes: 002 value: 12 34 \n"),
            std::string::npos);
}

TEST_F(TraceLogTest, EntryOutsideTheOffsetSpaceShowsOnlyItsHead) {
  Enable();
  SetWriteTracing(true);
  WriteTraceEntry('*', TraceDirection::kWrite, 0x10000, 4, nullptr);
  SetWriteTracing(false);
  EXPECT_NE(TraceLogText().find("Offset: 10000 Bytes: 000 value: \n"),
            std::string::npos);
}

}  // namespace
}  // namespace tarvos
