// TARVOS.ini: the default file, parsing rules, rewrites of single keys, the
// settings loaded at enable and malformed input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "offsets/offset_block.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

using testing::ReadFileText;

const char kDefaultFile[] =
    "TARVOS Version 1.0.0.0 ini file\n"
    "\n"
    "[TARVOS SETTINGS]\n"
    "Tune value = 00\n"
    "[TARVOS ATC SETTINGS]\n"
    "ATC Number = LH 5363\n"
    "ATC Tail Number = D-ABIB\n"
    "ATC Airline name = Lufthansa\n"
    "ATC Aircraft type = Boeing 737-800\n"
    "[TARVOS FLAPS SETTINGS]\n"
    "Flap Settings = Inactive\n"
    "Number of Detends = 02\n"
    "Flap detend 1 = \n"
    "Flap detend 2 = \n"
    "Flap detend 3 = \n"
    "Flap detend 4 = \n"
    "Flap detend 5 = \n"
    "Flap detend 6 = \n"
    "Flap detend 7 = \n"
    "Flap detend 8 = \n"
    "Flap detend 9 = \n"
    "Flap detend 10 = \n"
    "[TARVOS NETWORK ACCESS]\n"
    "Listen address = 0.0.0.0\n"
    "Allowed clients = all\n"
    "Read-only clients = none\n"
    "Idle timeout seconds = 0\n";

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// Plain file operations, without the plugin.
class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("tarvos-ini-" +
         std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / "TARVOS.ini").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::optional<std::string> Read(const char* section, const char* key) {
    return ReadIniValue(path_, section, key);
  }

  std::filesystem::path folder_;
  std::string path_;
};

TEST_F(IniFileTest, ValuesAreParsedByTheLineRules) {
  WriteFile(path_,
            "version line = ignored\n"
            "[S]\n"
            "  plain   =   value with blanks   \n"
            "quoted = \"in quotes\"\n"
            "remark = text ; a remark\n"
            "quoted remark = \"a;b\" ; remark\n"
            "quote after = x ; y \"z\"\n"
            "equals = == after equals\n"
            "no equals line\n"
            "   # comment = not a key\n"
            "; comment = not a key\n"
            "% comment = not a key\n"
            "lower case key = found\n"
            "dup = first\n"
            "dup = second\n"
            "crlf = windows\r\n"
            "[S] \n"
            "hidden = in a different section\n"
            "[s]\n"
            "reopened = yes\n");
  struct Case {
    const char* key;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"plain", "value with blanks"},
      {"quoted", "in quotes"},
      {"remark", "text"},
      {"quoted remark", "a;b"},
      {"quote after", "x ; y \"z\""},
      {"equals", "after equals"},
      {"no equals line", ""},
      {"# comment", std::nullopt},
      {"LOWER CASE KEY", "found"},
      {"dup", "second"},
      {"crlf", "windows"},
      {"hidden", std::nullopt},
      {"reopened", "yes"},
      {"version line", std::nullopt},
      {"absent", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read("S", c.key), c.value) << c.key;
  }
}

TEST_F(IniFileTest, RewriteReplacesOnlyTheFirstMatchKeepingItsKeyText) {
  WriteFile(path_,
            "head\n[A]\natc number = old ; remark\nATC Number = second\n"
            "# comment\n[B]\nx = 1\n");
  ASSERT_TRUE(WriteIniValue(path_, "A", "ATC Number", "new"));
  EXPECT_EQ(ReadFileText(path_),
            "head\n[A]\natc number = new\nATC Number = second\n"
            "# comment\n[B]\nx = 1\n");
  EXPECT_FALSE(std::filesystem::exists(IniTempPath(path_)));
}

TEST_F(IniFileTest, MissingKeyGoesLastInItsSectionMissingSectionAtTheEnd) {
  WriteFile(path_, "[A]\na = 1\n\n[B]\nb = 2");  // no final line feed
  ASSERT_TRUE(WriteIniValue(path_, "A", "new", "x"));
  ASSERT_TRUE(WriteIniValue(path_, "B", "late", "y"));
  ASSERT_TRUE(WriteIniValue(path_, "C", "fresh", "z"));
  EXPECT_EQ(ReadFileText(path_),
            "[A]\na = 1\n\nnew = x\n[B]\nb = 2\nlate = y\n[C]\nfresh = z\n");
}

TEST_F(IniFileTest, HeaderWithTrailingBlankIsAnotherSection) {
  WriteFile(path_, "[A] \nk = 1\n");
  EXPECT_EQ(Read("A", "k"), std::nullopt);
  ASSERT_TRUE(WriteIniValue(path_, "A", "k", "2"));
  EXPECT_EQ(ReadFileText(path_), "[A] \nk = 1\n[A]\nk = 2\n");
}

TEST_F(IniFileTest, LineBreaksInAValueCannotAddLines) {
  WriteFile(path_, "[A]\nk = 1\n");
  ASSERT_TRUE(WriteIniValue(path_, "A", "k", "evil\n[B]\nx = 1"));
  EXPECT_EQ(ReadFileText(path_), "[A]\nk = evil\n");
}

TEST_F(IniFileTest, RoundTripOfAwkwardValues) {
  WriteFile(path_, "[A]\n");
  for (const char* value : {"", "100%", "a = b", "  lead", "x;y\"", "é ü"}) {
    ASSERT_TRUE(WriteIniValue(path_, "A", "k", value));
    std::optional<std::string> read = Read("A", "k");
    ASSERT_TRUE(read.has_value());
    // Leading blanks are not part of a value.
    std::string expected(value);
    expected.erase(0, expected.find_first_not_of(' ') == std::string::npos
                          ? expected.size()
                          : expected.find_first_not_of(' '));
    EXPECT_EQ(*read, expected) << value;
  }
}

TEST_F(IniFileTest, MissingFileIsReportedAndLeftAlone) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Read("A", "k"), std::nullopt);
  EXPECT_FALSE(WriteIniValue(path_, "A", "k", "v"));
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Can't open " + path_ + ": "), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path_));
}

// A rewrite that fails at any step leaves the settings file byte for byte as
// it was, and no temporary file behind.
class IniFailureTest : public IniFileTest {
 protected:
  void SetUp() override {
    IniFileTest::SetUp();
    WriteFile(path_, kOriginal);
    temp_ = IniTempPath(path_);
  }
  void TearDown() override {
    SetIniRenameForTesting(nullptr);
    IniFileTest::TearDown();
  }
  void ExpectUnchanged() {
    EXPECT_EQ(ReadFileText(path_), kOriginal);
    EXPECT_EQ(Read("A", "k"), "old");
  }
  static constexpr char kOriginal[] = "head\n[A]\nk = old\n[B]\nm = 1\n";
  std::string temp_;
};

TEST_F(IniFailureTest, TempFileThatCannotBeCreated) {
  std::filesystem::create_directories(std::filesystem::path(temp_) / "x");
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(WriteIniValue(path_, "A", "k", "new"));
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Can't open " + temp_ + ": "), std::string::npos);
  ExpectUnchanged();
}

// Every write to /dev/full fails for want of space, as on a full disk.
TEST_F(IniFailureTest, TempFileWriteThatFails) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::filesystem::create_symlink("/dev/full", temp_);
  EXPECT_FALSE(WriteIniValue(path_, "A", "k", "new"));
  ExpectUnchanged();
  // Not a regular file: never written through, and not ours to remove.
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(temp_)));
}

TEST_F(IniFailureTest, RenameThatFails) {
  static std::string renamed_from;
  SetIniRenameForTesting([](const std::string& from, const std::string&) {
    renamed_from = from;
    // The complete copy was written before the rename was tried.
    EXPECT_EQ(ReadFileText(from), "head\n[A]\nk = new\n[B]\nm = 1\n");
    return false;
  });
  EXPECT_FALSE(WriteIniValue(path_, "A", "k", "new"));
  EXPECT_EQ(renamed_from, temp_);
  ExpectUnchanged();
  EXPECT_FALSE(std::filesystem::exists(temp_));
}

// A TARVOS.tmp left by a crash in the middle of a rewrite, longer than the
// next copy and with keys of its own, is neither read nor kept.
TEST_F(IniFailureTest, StaleTempFileFromACrashDoesNoHarm) {
  WriteFile(temp_, "[A]\nk = stale\n[C]\n" + std::string(4096, 'z') + "\n");
  EXPECT_EQ(Read("A", "k"), "old");
  EXPECT_EQ(ReadIniValue(path_, "C", "zzz"), std::nullopt);
  ASSERT_TRUE(WriteIniValue(path_, "B", "m", "2"));
  EXPECT_EQ(ReadFileText(path_), "head\n[A]\nk = old\n[B]\nm = 2\n");
  EXPECT_FALSE(std::filesystem::exists(temp_));
}

TEST_F(IniFileTest, BinaryJunkAndLongLinesNeverCrash) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>(i * 37));
  junk += "\n[" + std::string(5000, 'x') + "\n" + std::string(10000, '=') +
          "\n[A]\nk = ok\n\"\n=\n;\n[\n]\n";
  WriteFile(path_, junk);
  EXPECT_EQ(Read("A", "k"), "ok");
  ASSERT_TRUE(WriteIniValue(path_, "A", "k", "v"));
  EXPECT_EQ(Read("A", "k"), "v");
}

TEST(IniTempPath, ReplacesTheExtension) {
  EXPECT_EQ(IniTempPath("/x/TARVOS.ini"), "/x/TARVOS.tmp");
  EXPECT_EQ(IniTempPath("/x.d/TARVOS"), "/x.d/TARVOS.tmp");
  EXPECT_EQ(IniTempPath("TARVOS"), "TARVOS.tmp");
}

// The settings as the plugin loads them at enable.
class SettingsTest : public testing::PluginFixture {
 protected:
  std::string Ini() { return SystemFile("TARVOS.ini"); }
  std::string Field(uint32_t offset, uint32_t size) {
    std::vector<uint8_t> bytes = Bytes(offset, size);
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(SettingsTest, MissingFileIsWrittenWithDefaultsAndLoaded) {
  Start();
  Enable();
  EXPECT_EQ(ReadFileText(Ini()), kDefaultFile);
  EXPECT_EQ(TuneValue.load(), 0);
  EXPECT_EQ(TuneValueText(), "00");
  EXPECT_EQ(Field(0x3130, 12), std::string("LH 5363\0\0\0\0\0", 12));
  EXPECT_EQ(Field(0x313C, 12), std::string("D-ABIB\0\0\0\0\0\0", 12));
  EXPECT_EQ(Field(0x3148, 10), std::string("Lufthansa\0", 10));
  EXPECT_EQ(Field(0x3160, 15), std::string("Boeing 737-800\0", 15));
  const FlapSettings flaps = CurrentFlapSettings();
  EXPECT_EQ(flaps.text, "Inactive");
  EXPECT_EQ(flaps.detent_count, 2);
  // Nothing is written at disable; a second enable keeps the file.
  Disable();
  Enable();
  EXPECT_EQ(ReadFileText(Ini()), kDefaultFile);
}

TEST_F(SettingsTest, ValuesOutsideTheirRangeKeepThePreviousSetting) {
  struct Case {
    const char* tune;
    int value;
    const char* text;
  };
  const Case cases[] = {
      {"7", 7, "7"},    {"25", 7, "7"},    {"-1", 7, "7"},
      {"20", 20, "20"}, {"abc", 20, "20"}, {"0", 0, "0"},
  };
  Start();
  for (const Case& c : cases) {
    WriteFile(Ini(), std::string("[TARVOS SETTINGS]\nTune value = ") + c.tune +
                         "\n[TARVOS FLAPS SETTINGS]\n"
                         "Number of Detends = 11\n");
    Enable();
    EXPECT_EQ(TuneValue.load(), c.value) << c.tune;
    EXPECT_EQ(TuneValueText(), c.text) << c.tune;
    EXPECT_EQ(CurrentFlapSettings().detent_count, 2);
    Disable();
  }
}

TEST_F(SettingsTest, AtcTextsLoadQuotedTrimmedAndCutToTheirFields) {
  Start();
  WriteFile(Ini(),
            "[TARVOS ATC SETTINGS]\n"
            "atc number = \"BA 123\"\n"
            "ATC Tail Number = G-EUPT ; my aircraft\n"
            "ATC Airline name = " +
                std::string(40, 'A') +
                "\n"
                "ATC Aircraft type = Airbus A320-214 with a long name\n");
  Enable();
  EXPECT_EQ(Field(0x3130, 7), std::string("BA 123\0", 7));
  EXPECT_EQ(Field(0x313C, 7), std::string("G-EUPT\0", 7));
  EXPECT_EQ(AtcText(AtcField::kAirlineName), std::string(31, 'A'));
  EXPECT_EQ(Field(0x3148, 24), std::string(24, 'A'));  // no terminator
  EXPECT_EQ(Field(0x3160, 24), "Airbus A320-214 with a l");
  EXPECT_EQ(Field(0x3178, 1), std::string(1, '\0'));  // next field untouched
}

TEST_F(SettingsTest, FlapSectionIsReadAndKept) {
  Start();
  WriteFile(Ini(),
            "[TARVOS FLAPS SETTINGS]\n"
            "Flap Settings = Active\n"
            "Number of Detends = 05\n"
            "Flap detend 1 = 1,2,3\n"
            "Flap detend 2 = 1,-40\n"
            "Flap detend 3 = \n");
  Enable();
  FlapSettings flaps = CurrentFlapSettings();
  EXPECT_EQ(flaps.active, 1);
  EXPECT_EQ(flaps.detent_count, 5);
  EXPECT_EQ(flaps.detent_text, "05");
  EXPECT_EQ(flaps.FlapDetentTable[0].set_flag, 1);
  EXPECT_EQ(flaps.FlapDetentTable[0].lever_value, 2);
  EXPECT_EQ(flaps.FlapDetentTable[0].adjusted_value, 3);
  EXPECT_EQ(flaps.FlapDetentTable[1].lever_value, -40);
  EXPECT_EQ(flaps.FlapDetentTable[1].adjusted_value, 0);
  EXPECT_EQ(flaps.FlapDetentTable[2].set_flag, 0);
  Disable();
  WriteFile(Ini(), "[TARVOS FLAPS SETTINGS]\nFlap Settings = active\n");
  Enable();
  flaps = CurrentFlapSettings();
  EXPECT_EQ(flaps.text, "active");
  EXPECT_EQ(flaps.active, 1);  // neither exact word: flag unchanged
}

TEST_F(SettingsTest, StoreAtcTextPublishesAndRewritesItsKey) {
  Start();
  Enable();
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    const char text[] = "DLH4AB";
    StoreAtcText(AtcField::kFlightNumber, text, sizeof text - 1);
    StoreTuneValue(25);
  }
  EXPECT_EQ(Field(0x3130, 7), std::string("DLH4AB\0", 7));
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Number"), "DLH4AB");
  EXPECT_EQ(TuneValue.load(), 20);
  EXPECT_EQ(ReadSettingValue("TARVOS SETTINGS", "Tune value"), "20");
}

// The plugin's own rewrite with a stale TARVOS.tmp beside the file.
TEST_F(SettingsTest, StaleTempFileBesideTheSettingsIsIgnoredAndReplaced) {
  WriteFile(Ini(), kDefaultFile);
  WriteFile(SystemFile("TARVOS.tmp"),
            "[TARVOS ATC SETTINGS]\nATC Number = STALE\n");
  Start();
  Enable();
  EXPECT_EQ(Field(0x3130, 8), std::string("LH 5363\0", 8));
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    const char text[] = "DLH4AB";
    StoreAtcText(AtcField::kFlightNumber, text, sizeof text - 1);
  }
  std::string expected = kDefaultFile;
  expected.replace(expected.find("LH 5363"), 7, "DLH4AB");
  EXPECT_EQ(ReadFileText(Ini()), expected);
  EXPECT_FALSE(std::filesystem::exists(SystemFile("TARVOS.tmp")));
}

// A settings file that cannot be written must not end the simulator: the
// plugin reports it and runs on the settings it has.
TEST_F(SettingsTest, UnwritableFolderIsReportedAndEnableGoesOn) {
  // The settings in memory: the defaults in a fresh process, whatever an
  // earlier test of this process left otherwise.
  const std::string flight_number = AtcText(AtcField::kFlightNumber);
  Start();
  host().SetSystemPath("/nonexistent-tarvos-folder/");
  ::testing::internal::CaptureStderr();
  Enable();
  Frames(2);
  const std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Can't open /nonexistent-tarvos-folder/TARVOS.ini"),
            std::string::npos);
  EXPECT_EQ(Field(0x3130, flight_number.size() + 1),
            flight_number + std::string(1, '\0'));
}

}  // namespace
}  // namespace tarvos
