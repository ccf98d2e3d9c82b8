// TARVOSOffsets.cfg: logical lines, tokens, the three line grammars, the
// sorted tables, the limits and every StatusLog line of the loader.
#include "userconfig/config_loader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/status_log.h"
#include "simhost/host/host.h"
#include "tests/support/plugin_fixture.h"
#include "userconfig/config_parser.h"
#include "userconfig/user_offsets.h"

namespace tarvos {
namespace {

const char* TypeWord(OffsetType t) {
  static const char* kWords[] = {"UINT8",   "SINT8",  "UINT16", "SINT16",
                                 "UINT32",  "SINT32", "UINT64", "SINT64",
                                 "FLOAT32", "FLOAT64"};
  return kWords[static_cast<int>(t)];
}

// One line per entry, in table order, so a table compares as text.
std::string Describe(const UserTables& t) {
  std::ostringstream out;
  char hex[8];
  for (const UserOffsetEntry& e : t.offsets) {
    std::snprintf(hex, sizeof hex, "%04X", e.offset);
    out << "O " << hex << " " << TypeWord(e.type) << " s" << e.size << " g"
        << e.group << " a" << static_cast<int>(e.access) << " [";
    for (int i = 0; i < e.tokens.size(); ++i) {
      out << (i ? " " : "") << e.tokens[i].text;
    }
    out << "]\n";
  }
  for (const UserDatarefEntry& d : t.datarefs) {
    out << "D " << d.name << " " << d.path << " i" << d.index << " t" << d.type
        << "\n";
  }
  for (const UserCommandEntry& c : t.commands) {
    std::snprintf(hex, sizeof hex, "%04X", c.offset);
    out << "C " << hex << " " << TypeWord(c.type) << " [";
    for (size_t i = 0; i < c.bindings.size(); ++i) {
      out << (i ? " | " : "") << c.bindings[i].mode << " "
          << c.bindings[i].value << " " << c.bindings[i].command;
    }
    out << "]\n";
  }
  return out.str();
}

struct ParseCase {
  const char* name;
  const char* text;
  const char* tables;
};

const ParseCase kParseCases[] = {
    {"WorkedExamples",
     "Dataref hdg sim/cockpit/autopilot/heading_mag float\n"
     "Offset 66C0 FLOAT64 2 rw $hdg >hdg @\n"
     "Command 66C8 UINT8 1 1 sim/autopilot/approach\n",
     "O 66C0 FLOAT64 s8 g2 a2 [$hdg >hdg @]\n"
     "D hdg sim/cockpit/autopilot/heading_mag i0 t2\n"
     "C 66C8 UINT8 [1 1 sim/autopilot/approach]\n"},
    {"OnlyCommentsBlanksAndOtherWords",
     "# a comment\n\n   \t\nOffs 1 UINT8 1 r 1\nfoo bar\n  # indented\n", ""},
    {"HashInsideTokenIsNotAComment",
     "Dataref a sim/x#y int\nOffset 10 UINT8 1 r 1 #2 3\n",
     "O 0010 UINT8 s1 g1 a0 [1]\nD a sim/x#y i0 t1\n"},
    {"JoinWithBlankBeforeMark", "Offset 20 UINT16 1 r $a _\n100 *\n",
     "O 0020 UINT16 s2 g1 a0 [$a 100 *]\n"},
    {"JoinWithoutBlankMergesTokens", "Offset 20 UINT16 1 r $a_\n100 *\n",
     "O 0020 UINT16 s2 g1 a0 [$a100 *]\n"},
    {"PathEndingInMarkContinues",
     "Dataref n1 sim/flightmodel/engine/ENGN_N1_\n[2] float\n",
     "D n1 sim/flightmodel/engine/ENGN_N1 i2 t2\n"},
    {"MarkOnLastLineJoinsNothing", "Offset 30 UINT8 1 r 5 _",
     "O 0030 UINT8 s1 g1 a0 [5]\n"},
    {"OffsetSpellings",
     "Offset 0x66C0 UINT8 1 r\nOffset 66c1 UINT8 1 r\n"
     "Offsets 166C2 UINT8 1 r\nOffset -1 UINT8 1 r\nOffset zz UINT8 1 r\n",
     "O FFFF UINT8 s1 g1 a0 []\nO 0000 UINT8 s1 g1 a0 []\n"
     "O 66C0 UINT8 s1 g1 a0 []\nO 66C1 UINT8 s1 g1 a0 []\n"
     "O 66C2 UINT8 s1 g1 a0 []\n"},
    {"ArrayIndexWithAndWithoutBracket",
     "Dataref a sim/flightmodel/engine/ENGN_N1_[2] floatarray\n"
     "Dataref b sim/flightmodel/engine/ENGN_N1_[2 floatarray\n"
     "Dataref c sim/x[ intarray\n",
     "D a sim/flightmodel/engine/ENGN_N1_ i2 t8\n"
     "D b sim/flightmodel/engine/ENGN_N1_ i2 t8\n"
     "D c sim/x i0 t16\n"},
    {"DatarefTypes",
     "Dataref a p int\nDataref b p float\nDataref c p double\n"
     "Dataref d p floatarray\nDataref e p intarray\nDataref f p data\n"
     "Dataref g p Float\n",
     "D a p i0 t1\nD b p i0 t2\nD c p i0 t4\nD d p i0 t8\nD e p i0 t16\n"
     "D f p i0 t32\nD g p i0 t0\n"},
    {"AccessWords",
     "Offset 1 UINT8 1 r\nOffset 2 UINT8 1 w\nOffset 3 UINT8 1 rw\n"
     "Offset 4 UINT8 1 RW\n",
     "O 0001 UINT8 s1 g1 a0 []\nO 0002 UINT8 s1 g1 a1 []\n"
     "O 0003 UINT8 s1 g1 a2 []\nO 0004 UINT8 s1 g1 a0 []\n"},
    {"TypeSizes",
     "Offset 10 SINT8 0 r\nOffset 20 UINT16 9 r\nOffset 30 SINT16 -3 r\n"
     "Offset 40 UINT32 8 r\nOffset 50 SINT32 1 r\nOffset 60 UINT64 1 r\n"
     "Offset 70 SINT64 1 r\nOffset 80 FLOAT32 1 r\n",
     "O 0010 SINT8 s1 g0 a0 []\nO 0020 UINT16 s2 g9 a0 []\n"
     "O 0030 SINT16 s2 g-3 a0 []\nO 0040 UINT32 s4 g8 a0 []\n"
     "O 0050 SINT32 s4 g1 a0 []\nO 0060 UINT64 s8 g1 a0 []\n"
     "O 0070 SINT64 s8 g1 a0 []\nO 0080 FLOAT32 s4 g1 a0 []\n"},
    {"CommandBindingsKeepLineOrder",
     "Command 10 UINT8 0 1 a/b 1 2.5e0 c/d\n"
     "Command 20 UINT8 0 1 a/b 1 -2 c/d 7\n"
     "Command 30 SINT16 9 x y/z\n",
     "C 0010 UINT8 [0 1 a/b | 1 2.5 c/d]\n"
     "C 0020 UINT8 [0 1 a/b | 1 -2 c/d]\n"
     "C 0030 SINT16 [9 0 y/z]\n"},
    {"SortOrders",
     "Offset 0010 UINT8 1 r\nOffset 8000 UINT8 1 r\nOffset FFF0 UINT8 1 r\n"
     "Offset 0001 UINT8 1 r\n"
     "Command 0010 UINT8 1 1 a\nCommand 8000 UINT8 1 1 b\n"
     "Command 0001 UINT8 1 1 c\n"
     "Dataref b p int\nDataref B p int\nDataref ab p int\nDataref a p int\n"
     "Dataref \xC3\xA9 p int\n",
     "O 8000 UINT8 s1 g1 a0 []\nO FFF0 UINT8 s1 g1 a0 []\n"
     "O 0001 UINT8 s1 g1 a0 []\nO 0010 UINT8 s1 g1 a0 []\n"
     "D B p i0 t1\nD a p i0 t1\nD ab p i0 t1\nD b p i0 t1\n"
     "D \xC3\xA9 p i0 t1\n"
     "C 0001 UINT8 [1 1 c]\nC 0010 UINT8 [1 1 a]\nC 8000 UINT8 [1 1 b]\n"},
    {"IndentedKeywordLineIsRead", "   Offset 10 UINT8 1 r 1\n",
     "O 0010 UINT8 s1 g1 a0 [1]\n"},
    {"ContinuationLineStartingWithKeyword",
     "Offset 10 UINT8 1 r 1 _\nOffset 20 UINT8 1 r\n",
     "O 0010 UINT8 s1 g1 a0 [1 Offset 20 UINT8 1 r]\n"},
    {"CrLfLineEnds", "Offset 10 UINT8 1 r 1\r\nDataref a p int\r\n",
     "O 0010 UINT8 s1 g1 a0 [1]\nD a p i0 t1\n"},
    {"TooFewFieldsSkipped",
     "Offset 10 UINT8 1\nDataref a p\nCommand 10 UINT8 1 1\n", ""},
    {"UnknownTypeRejected",
     "Offset 10 uint8 1 r\nOffset 20 INT 1 r\nCommand 30 BYTE 1 1 a\n", ""},
    {"PastEndOfOffsetSpaceRejected",
     "Offset FFFC FLOAT64 1 r\nOffset FFFF UINT16 1 r\n"
     "Offset FFF8 FLOAT64 1 r\nCommand FFFF UINT16 1 1 a\n",
     "O FFF8 FLOAT64 s8 g1 a0 []\n"},
};

TEST(ParseUserOffsetConfigTest, ConfigTextsGiveExpectedTables) {
  for (const ParseCase& c : kParseCases) {
    EXPECT_EQ(Describe(ParseUserOffsetConfig(c.text)), c.tables) << c.name;
  }
}

// Whatever the text, every loaded entry stays inside the limits and the
// offset space.
TEST(ParseUserOffsetConfigTest, MalformedTextsLoadWithinLimits) {
  std::string many_values = "Offset 10 FLOAT64 1 rw";
  for (int i = 0; i < 400; ++i) many_values += " 1";
  std::string many_bindings = "Command 20 UINT8";
  for (int i = 0; i < 400; ++i) many_bindings += " 1 2 c";
  const std::string texts[] = {
      std::string("\0\0\0Offset\0 10 UINT8 1 r\n", 24),
      "Offset",
      "_",
      "_\n_\n_\n",
      std::string(100000, '_'),
      std::string(10000, ' ') + "Offset 10 UINT8 1 r 1\n",
      "Command 10 UINT8" + std::string(5000, ' ') + "1 1 a\n",
      "\xFF\xFE O\xC3"
      "ffset 10\n\r\r\r",
      many_values,
      many_bindings,
      "Offset 10 UINT8 1 r $" + std::string(5000, 'n') + "\n",
      "Dataref " + std::string(300, 'n') + " " + std::string(300, 'p') +
          "[99999999999999] int\n",
  };
  for (const std::string& text : texts) {
    UserTables t = ParseUserOffsetConfig(text);
    for (const UserOffsetEntry& e : t.offsets) {
      EXPECT_GE(e.size, 1u);
      EXPECT_LE(e.offset + e.size, 0x10000u);
      EXPECT_LE(e.tokens.size(), kMaxLineTokens - 5);
      for (int i = 0; i < e.tokens.size(); ++i) {
        EXPECT_LE(e.tokens[i].text.size(), size_t{kMaxTokenChars});
      }
    }
    for (const UserCommandEntry& c : t.commands) {
      EXPECT_GE(c.size, 1u);
      EXPECT_LE(c.bindings.size(), size_t{(kMaxLineTokens - 3) / 3});
    }
    for (const UserDatarefEntry& d : t.datarefs) {
      EXPECT_LE(d.name.size(), size_t{kMaxTokenChars});
      EXPECT_LE(d.path.size(), size_t{kMaxTokenChars});
    }
  }
}

TEST(ParseUserOffsetConfigTest, DuplicateNamesReachOneEntry) {
  UserTables t = ParseUserOffsetConfig("Dataref a p1 int\nDataref a p2 int\n");
  ASSERT_EQ(t.datarefs.size(), 2u);
  const UserDatarefEntry* e = FindUserDatarefIn(t, "a");
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->path == "p1" || e->path == "p2");
  EXPECT_EQ(FindUserDatarefIn(t, "A"), nullptr);
  EXPECT_EQ(FindUserDatarefIn(t, ""), nullptr);
}

TEST(ParseUserOffsetConfigTest, LookupsUseTheirOwnOrder) {
  UserTables t = ParseUserOffsetConfig(
      "Offset 7FFF UINT8 1 r\nOffset 8000 UINT8 1 r\nOffset 0 UINT8 1 r\n"
      "Offset FFFF UINT8 1 r\nCommand FFFF UINT8 1 1 a\n"
      "Command 0 UINT8 1 1 a\nCommand 8001 UINT8 1 1 a\n");
  for (uint16_t o : {0x7FFF, 0x8000, 0x0000, 0xFFFF}) {
    const UserOffsetEntry* e = FindUserOffsetIn(t, o);
    ASSERT_NE(e, nullptr) << o;
    EXPECT_EQ(e->offset, o);
  }
  EXPECT_EQ(FindUserOffsetIn(t, 0x8001), nullptr);
  for (uint16_t o : {0xFFFF, 0x0000, 0x8001}) {
    ASSERT_NE(FindUserCommandIn(t, o), nullptr) << o;
  }
  EXPECT_EQ(FindUserCommandIn(t, 0x8000), nullptr);
}

TEST(LogicalLineReaderTest, JoinsCutsAndNumbersLines) {
  LogicalLineReader r("a _\nb\n\nc_  \t\n  _\nd\n");
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.line(), "a b\n");
  EXPECT_EQ(r.line_number(), 1);
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.line(), "\n");
  EXPECT_EQ(r.line_number(), 3);
  // "c_" joins "  _", whose own mark joins "d".
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.line(), "c  d\n");
  EXPECT_EQ(r.line_number(), 4);
  EXPECT_FALSE(r.Next());
}

TEST(LogicalLineReaderTest, LimitsStandOnLongAndJoinedLines) {
  std::string longline(5000, 'x');
  std::string text = longline + "\nnext\n";
  LogicalLineReader r(text);
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.line().size(), 4095u);
  EXPECT_TRUE(r.cut());
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.line(), "next\n");
  EXPECT_FALSE(r.cut());

  // Joined lines are held to the same limit.
  std::string joined;
  for (int i = 0; i < 10; ++i) joined += std::string(1000, 'y') + "_\n";
  joined += "end\n";
  LogicalLineReader j(joined);
  ASSERT_TRUE(j.Next());
  EXPECT_EQ(j.line().size(), 4095u);
  EXPECT_TRUE(j.cut());
  // What follows the joined line is a line of its own again.
  while (j.Next()) EXPECT_LE(j.line().size(), 4095u);
}

TEST(TokenizeLineTest, LimitsOnTokens) {
  auto t = std::make_unique<LineTokens>();
  std::string many;
  for (int i = 0; i < 300; ++i) many += "t ";
  TokenizeLine(many, t.get());
  EXPECT_EQ(t->count, 256);
  EXPECT_TRUE(t->too_many);

  std::string exact;
  for (int i = 0; i < 256; ++i) exact += "t ";
  exact += "# comment after the last token";
  TokenizeLine(exact, t.get());
  EXPECT_EQ(t->count, 256);
  EXPECT_FALSE(t->too_many);

  std::string long_token = std::string(300, 'z') + " b";
  TokenizeLine(long_token, t.get());
  ASSERT_EQ(t->count, 2);
  EXPECT_EQ(t->token[0].size(), 255u);
  EXPECT_TRUE(t->token_cut);
  EXPECT_EQ(t->token[1], "b");

  TokenizeLine("\t a\r\n b\v c", t.get());
  ASSERT_EQ(t->count, 3);
  EXPECT_EQ(t->token[1], "b\v");
}

TEST(NumberReadersTest, HexAndDecimalPrefixes) {
  const struct {
    const char* text;
    uint16_t value;
  } hex[] = {{"66C0", 0x66C0},
             {"0x66c0", 0x66C0},
             {"0X66C0", 0x66C0},
             {"166C0", 0x66C0},
             {"-1", 0xFFFF},
             {"+10", 0x10},
             {"0x", 0},
             {"12g4", 0x12},
             {"", 0},
             {"FFFFFFFFFFFFFFFFFFFF1", 0xFFF1}};
  for (const auto& c : hex)
    EXPECT_EQ(ParseHexOffset(c.text), c.value) << c.text;
  const struct {
    const char* text;
    int32_t value;
  } dec[] = {{"12", 12},
             {"-3", -3},
             {"7x", 7},
             {"x", 0},
             {"99999999999", 2147483647},
             {"-99999999999", -2147483647 - 1}};
  for (const auto& c : dec) {
    EXPECT_EQ(ParseDecimalInt(c.text), c.value) << c.text;
  }
}

// StatusLog lines, captured from a real log file.
class LoaderLogTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    log_path_ = SystemFile("loader_log_test.txt");
    OpenStatusLog(log_path_, true);
  }
  void TearDown() override {
    CloseStatusLog();
    ReleaseUserOffsetConfig();
    PluginFixture::TearDown();
  }
  std::string Log() {
    CloseStatusLog();
    std::ifstream in(log_path_);
    std::stringstream s;
    s << in.rdbuf();
    OpenStatusLog(log_path_, false);
    return s.str();
  }
  std::string log_path_;
};

TEST_F(LoaderLogTest, QuietFileWritesNothing) {
  ParseUserOffsetConfig("# only comments\n\nfoo bar\n Offset 10 UINT8 1 r\n");
  EXPECT_EQ(Log(), "");
}

TEST_F(LoaderLogTest, EachUnusableLineIsReportedOnce) {
  std::string text =
      "Offset 10 UINT8 1\n"                      // 1: too few
      "Dataref a p\n"                            // 2: too few
      "Command 10 UINT8 1 1\n"                   // 3: too few
      "Offset 20 INT8 1 r\n"                     // 4: unknown type
      "Offset FFFF UINT16 1 r\n"                 // 5: past the end
      "Offset 30 UINT8 1 rw $ghost >nobody @\n"  // 6: unknown names
      "Dataref b p flaot\n";                     // 7: unknown dataref type
  text += "Offset 40 UINT8 1 r " + std::string(300, '1') + "\n";  // 8
  ParseUserOffsetConfig(text);
  EXPECT_EQ(Log(),
            "TARVOS->TARVOSOffsets.cfg line 1: Offset line needs at least 5 "
            "fields, skipped\n"
            "TARVOS->TARVOSOffsets.cfg line 2: Dataref line needs at least 4 "
            "fields, skipped\n"
            "TARVOS->TARVOSOffsets.cfg line 3: Command line needs at least 6 "
            "fields, skipped\n"
            "TARVOS->TARVOSOffsets.cfg line 4: unknown type INT8, Offset line "
            "skipped\n"
            "TARVOS->TARVOSOffsets.cfg line 5: Offset at 0xFFFF runs past the "
            "end of the offset space, line skipped\n"
            "TARVOS->TARVOSOffsets.cfg line 7: unknown dataref type flaot, b "
            "reads as 0\n"
            "TARVOS->TARVOSOffsets.cfg line 8: token longer than 255 "
            "characters, cut\n"
            "TARVOS->TARVOSOffsets.cfg line 6: $ghost names no Dataref line, "
            "reads as 111\n"
            "TARVOS->TARVOSOffsets.cfg line 6: write target >nobody names no "
            "Dataref line, ignored\n");
}

TEST_F(LoaderLogTest, LongLinesAndTooManyTokensAreReported) {
  std::string many = "Offset 10 UINT8 1 r";
  for (int i = 0; i < 300; ++i) many += " 1";
  std::string text =
      many + "\nOffset 20 UINT8 1 r " + std::string(5000, '+') + "\n";
  UserTables t = ParseUserOffsetConfig(text);
  ASSERT_EQ(t.offsets.size(), 2u);
  EXPECT_EQ(t.offsets[0].tokens.size(), 251);  // 256 tokens minus 5 fields
  EXPECT_EQ(Log(),
            "TARVOS->TARVOSOffsets.cfg line 1: more than 256 tokens, the rest "
            "ignored\n"
            "TARVOS->TARVOSOffsets.cfg line 2: line longer than 4095 "
            "characters, cut\n"
            "TARVOS->TARVOSOffsets.cfg line 2: token longer than 255 "
            "characters, cut\n");
}

TEST_F(LoaderLogTest, ResolvingLogsUnknownNames) {
  simhost::Host& h = simhost::Host::Get();
  h.DefineFloat("known/ref", 1.0f);
  h.DefineCommand("known/cmd");
  UserTables t = ParseUserOffsetConfig(
      "Dataref a known/ref float\nDataref b unknown/ref float\n"
      "Command 10 UINT8 1 1 known/cmd 1 2 unknown/cmd\n");
  ResolveUserReferences(&t);
  EXPECT_NE(t.datarefs[0].handle, nullptr);
  EXPECT_EQ(t.datarefs[1].handle, nullptr);
  EXPECT_NE(t.commands[0].bindings[0].handle, nullptr);
  EXPECT_EQ(t.commands[0].bindings[1].handle, nullptr);
  EXPECT_EQ(Log(),
            "Dataref unknown/ref not found.\nCommand unknown/cmd not found.\n");
}

TEST_F(LoaderLogTest, PathAndMissingFile) {
  simhost::Host& h = simhost::Host::Get();
  std::string path = BuildUserConfigPath();
  EXPECT_EQ(path, h.SystemPath() + "Resources/plugins/TARVOSOffsets.cfg");
  UserTables t;
  EXPECT_FALSE(ReadUserOffsetConfig(path + ".missing", &t));
  EXPECT_TRUE(t.offsets.empty());
  EXPECT_EQ(Log(), "Error reading TARVOSOffsets.cfg\n");
}

}  // namespace
}  // namespace tarvos
