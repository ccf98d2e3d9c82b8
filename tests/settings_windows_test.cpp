// The two settings windows, used as a user would use them: through the
// stand-in's control commands (menu choose, widgets, widget press|check|
// type|close), with the plugin linked in.
#include "settings/settings_windows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "XPWidgets.h"
#include "base/locks.h"
#include "base/trace_log.h"
#include "offsets/offset_block.h"
#include "settings/settings.h"
#include "simhost/control/control_commands.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

// One widget as the `widgets` command lists it.
struct Listed {
  std::string name;  // "w12"
  std::string parent;
  std::string widget_class;
  std::string rect;
  bool visible = false;
  bool root = false;
  std::string text;
  std::map<std::string, std::string> properties;
};

std::vector<Listed> ParseWidgets(const std::string& answer) {
  std::vector<Listed> out;
  size_t at = answer.find(" | ");
  while (at != std::string::npos) {
    const size_t start = at + 3;
    at = answer.find(" | ", start);
    const std::string item = answer.substr(
        start, at == std::string::npos ? std::string::npos : at - start);
    Listed w;
    size_t i = 0;
    auto word = [&]() {
      size_t end = item.find(' ', i);
      if (end == std::string::npos) end = item.size();
      std::string t = item.substr(i, end - i);
      i = end + 1;
      return t;
    };
    w.name = word();
    while (i < item.size()) {
      const size_t eq = item.find('=', i);
      const std::string key = item.substr(i, eq - i);
      i = eq + 1;
      std::string value;
      if (item[i] == '"') {
        const size_t close = item.find('"', i + 1);
        value = item.substr(i + 1, close - i - 1);
        i = close + 2;
      } else {
        value = word();
      }
      if (key == "parent")
        w.parent = value;
      else if (key == "class")
        w.widget_class = value;
      else if (key == "rect")
        w.rect = value;
      else if (key == "visible")
        w.visible = value == "1";
      else if (key == "root")
        w.root = value == "1";
      else if (key == "text")
        w.text = value;
      else
        w.properties[key] = value;
    }
    out.push_back(w);
  }
  return out;
}

// A widget as the window's table describes it.
struct Expected {
  const char* widget_class;
  const char* rect;
  const char* text;
  std::map<std::string, std::string> properties;
};

const std::vector<Expected> kPerformanceWindow = {
    {"main-window",
     "300,650,650,430",
     "TARVOS Performance Settings",
     {{"close-boxes", "1"}}},
    {"sub-window", "310,620,640,450", "", {{"sub-window-type", "0"}}},
    {"caption", "370,590,420,568", "Tune up", {}},
    {"caption", "370,550,420,528", "Tune down", {}},
    {"button", "440,590,445,568", "", {{"button-type", "6"}}},
    {"button", "440,550,445,528", "", {{"button-type", "5"}}},
    {"text-field", "430,568,460,548", "07", {{"text-field-type", "0"}}},
    {"caption", "360,510,480,488", "Read logging", {}},
    {"caption", "360,490,480,470", "Write logging", {}},
    {"button",
     "450,510,480,488",
     "",
     {{"button-type", "1"}, {"button-behavior", "1"}, {"button-state", "0"}}},
    {"button",
     "450,490,480,468",
     "",
     {{"button-type", "1"}, {"button-behavior", "1"}, {"button-state", "0"}}},
};

const std::vector<Expected> kAtcWindow = {
    {"main-window", "300,650,650,430", "ATC Settings", {{"close-boxes", "1"}}},
    {"sub-window", "310,620,640,450", "", {{"sub-window-type", "0"}}},
    {"caption", "315,600,395,580", "Flight Number:", {}},
    {"text-field",
     "405,600,485,580",
     "LH 5363",
     {{"text-field-type", "0"}, {"max-characters", "11"}}},
    {"button", "495,600,545,580", "Apply", {{"button-type", "0"}}},
    {"caption", "315,575,395,555", "Tail Number:", {}},
    {"text-field",
     "405,575,485,555",
     "D-ABIB",
     {{"text-field-type", "0"}, {"max-characters", "11"}}},
    {"button", "495,575,545,555", "Apply", {{"button-type", "0"}}},
    {"caption", "315,550,395,530", "Airline Name:", {}},
    {"text-field",
     "405,550,555,530",
     "Lufthansa",
     {{"text-field-type", "0"}, {"max-characters", "23"}}},
    {"button", "565,550,615,530", "Apply", {{"button-type", "0"}}},
    {"caption", "315,525,395,505", "Aircraft Type:", {}},
    {"text-field",
     "405,525,555,505",
     "Boeing 737-800",
     {{"text-field-type", "0"}, {"max-characters", "23"}}},
    {"button", "565,525,615,505", "Apply", {{"button-type", "0"}}},
};

constexpr char kPerformanceTitle[] = "TARVOS Performance Settings";
constexpr char kAtcTitle[] = "ATC Settings";

class SettingsWindowsTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
    Enable();
  }

  std::string Run(const std::string& line) { return exec_.Execute(line); }
  std::string Ok(const std::string& line) {
    const std::string answer = Run(line);
    EXPECT_EQ(answer.rfind("ok", 0), 0u) << line << ": " << answer;
    return answer;
  }

  std::vector<Listed> Tree() { return ParseWidgets(Ok("widgets")); }
  // The window with this title and its widgets, in listing order.
  std::vector<Listed> Window(const std::string& title) {
    std::vector<Listed> all = Tree();
    std::vector<Listed> out;
    std::string root;
    for (const Listed& w : all) {
      if (w.root) {
        root = w.text == title ? w.name : "";
        if (!root.empty()) out.push_back(w);
      } else if (!root.empty() && w.parent == root) {
        out.push_back(w);
      }
    }
    return out;
  }
  int WindowCount(const std::string& title) {
    int n = 0;
    for (const Listed& w : Tree()) n += w.root && w.text == title ? 1 : 0;
    return n;
  }
  // The n-th widget of the window (0 the window itself), as "wN".
  std::string Nth(const std::string& title, size_t n) {
    std::vector<Listed> w = Window(title);
    EXPECT_LT(n, w.size()) << title;
    return n < w.size() ? w[n].name : "w0";
  }
  std::string TextOf(const std::string& title, size_t n) {
    std::vector<Listed> w = Window(title);
    return n < w.size() ? w[n].text : "<none>";
  }
  std::string Field(uint32_t offset, uint32_t size) {
    std::vector<uint8_t> b = Bytes(offset, size);
    return std::string(b.begin(), b.end());
  }
  void OpenPerformance() { Ok("menu choose Performance settings"); }
  void OpenAtc() { Ok("menu choose ATC Menu"); }

  simhost::ControlExecutor exec_{nullptr};
};

// Performance window: 4 up, 5 down, 6 field, 9 and 10 the boxes.
constexpr size_t kTuneUp = 4, kTuneDown = 5, kTuneField = 6;
constexpr size_t kReadBox = 9, kWriteBox = 10;
// ATC window: the field and Apply of row r (0 to 3).
size_t AtcFieldOf(int r) { return 3 + 3 * r; }
size_t AtcApplyOf(int r) { return 4 + 3 * r; }

TEST_F(SettingsWindowsTest, MenuListsBothEntries) {
  EXPECT_EQ(Run("menu"),
            "ok 4 items: TARVOS > | TARVOS/ATC Menu | TARVOS/TARVOS settings "
            "> | TARVOS/TARVOS settings/Performance settings");
  EXPECT_EQ(Run("menu choose TARVOS settings").rfind("error", 0), 0u);
  EXPECT_EQ(Run("menu choose Nothing").rfind("error", 0), 0u);
  EXPECT_TRUE(Tree().empty());
}

TEST_F(SettingsWindowsTest, BothWindowsMatchTheirTables) {
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    SetTuneValue(7);
  }
  OpenPerformance();
  OpenAtc();  // both can be open at once
  const struct {
    const char* title;
    const std::vector<Expected>* table;
  } kWindows[] = {{kPerformanceTitle, &kPerformanceWindow},
                  {kAtcTitle, &kAtcWindow}};
  for (const auto& win : kWindows) {
    SCOPED_TRACE(win.title);
    const std::vector<Listed> listed = Window(win.title);
    ASSERT_EQ(listed.size(), win.table->size());
    for (size_t i = 0; i < listed.size(); ++i) {
      SCOPED_TRACE(i);
      const Expected& e = (*win.table)[i];
      const Listed& w = listed[i];
      EXPECT_EQ(w.widget_class, e.widget_class);
      EXPECT_EQ(w.rect, e.rect);
      EXPECT_EQ(w.text, e.text);
      EXPECT_EQ(w.properties, e.properties);
      EXPECT_TRUE(w.visible);
      EXPECT_EQ(w.root, i == 0);
      EXPECT_EQ(w.parent.empty(), i == 0);
    }
  }
}

TEST_F(SettingsWindowsTest, ChoosingTwiceKeepsOneWindowAndShowsAHiddenOne) {
  OpenPerformance();
  OpenPerformance();
  EXPECT_EQ(WindowCount(kPerformanceTitle), 1);
  const std::string window = Nth(kPerformanceTitle, 0);
  // The user hides it through the host; choosing it again shows it.
  for (XPWidgetID id : host().Widgets()) {
    if (host().GetWidgetInfo(id).descriptor == kPerformanceTitle) {
      XPHideWidget(id);
    }
  }
  EXPECT_FALSE(Window(kPerformanceTitle)[0].visible);
  OpenPerformance();
  EXPECT_TRUE(Window(kPerformanceTitle)[0].visible);
  EXPECT_EQ(Nth(kPerformanceTitle, 0), window);
}

TEST_F(SettingsWindowsTest, CloseBoxDestroysAndReopeningShowsTheCurrentState) {
  OpenPerformance();
  OpenAtc();
  const size_t widgets = host().Widgets().size();
  Ok(std::string("widget close ") + kPerformanceTitle);
  EXPECT_EQ(WindowCount(kPerformanceTitle), 0);
  EXPECT_EQ(host().Widgets().size(), widgets - kPerformanceWindow.size());
  EXPECT_FALSE(SettingsWindowCreated(SettingsWindow::kPerformance));
  EXPECT_TRUE(SettingsWindowCreated(SettingsWindow::kAtc));

  // Changed while the window was closed: the new one shows it.
  SetReadTracing(true);
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    SetTuneValue(12);
  }
  OpenPerformance();
  const std::vector<Listed> w = Window(kPerformanceTitle);
  ASSERT_EQ(w.size(), kPerformanceWindow.size());
  EXPECT_EQ(w[kTuneField].text, "12");
  EXPECT_EQ(w[kReadBox].properties.at("button-state"), "1");
  EXPECT_EQ(w[kWriteBox].properties.at("button-state"), "0");
  SetReadTracing(false);

  // The ATC window by its widget number, then re-created with the text a
  // client wrote in between.
  Ok("widget close " + Nth(kAtcTitle, 0));
  EXPECT_EQ(WindowCount(kAtcTitle), 0);
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    PublishAtcText(AtcField::kTailNumber, "G-ABCD", 6);
  }
  OpenAtc();
  EXPECT_EQ(TextOf(kAtcTitle, AtcFieldOf(1)), "G-ABCD");
}

TEST_F(SettingsWindowsTest, TuneArrowsStayWithinZeroToTwentyAndSaveEveryPress) {
  const struct {
    int start;
    size_t arrow;
    int presses;
    int value;
    const char* text;
  } kCases[] = {
      {5, kTuneUp, 3, 8, "08"},   {19, kTuneUp, 1, 20, "20"},
      {20, kTuneUp, 1, 20, "20"}, {20, kTuneUp, 5, 20, "20"},
      {1, kTuneDown, 1, 0, "00"}, {0, kTuneDown, 1, 0, "00"},
      {0, kTuneDown, 3, 0, "00"}, {11, kTuneDown, 2, 9, "09"},
  };
  OpenPerformance();
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.start) +
                 (c.arrow == kTuneUp ? " up " : " down ") +
                 std::to_string(c.presses));
    TuneValue.store(c.start);
    // Something else in the file, so that the press must rewrite it.
    WriteSettingValue("TARVOS SETTINGS", "Tune value", "junk");
    for (int i = 0; i < c.presses; ++i) {
      Ok("widget press " + Nth(kPerformanceTitle, c.arrow));
    }
    EXPECT_EQ(TuneValue.load(), c.value);
    EXPECT_EQ(TextOf(kPerformanceTitle, kTuneField), c.text);
    EXPECT_EQ(TuneValueText(), c.text);
    EXPECT_EQ(ReadSettingValue("TARVOS SETTINGS", "Tune value"), c.text);
  }
}

TEST_F(SettingsWindowsTest, TypingIntoTheTuneFieldChangesNothing) {
  OpenPerformance();
  Ok("widget type " + Nth(kPerformanceTitle, kTuneField) + " 15");
  EXPECT_EQ(TuneValue.load(), 0);
  EXPECT_EQ(ReadSettingValue("TARVOS SETTINGS", "Tune value"), "00");
}

TEST_F(SettingsWindowsTest, BothTracingBoxesShareOneTraceLog) {
  OpenPerformance();
  const std::string read_box = Nth(kPerformanceTitle, kReadBox);
  const std::string write_box = Nth(kPerformanceTitle, kWriteBox);
  Ok("widget check " + read_box + " on");
  Ok("widget press " + write_box);  // a click toggles it on
  EXPECT_EQ(ReadLogging.load(), 1);
  EXPECT_EQ(WriteLogging.load(), 1);
  EXPECT_TRUE(TraceLogIsOpen());
  Ok("widget check " + read_box + " off");
  EXPECT_EQ(ReadLogging.load(), 0);
  EXPECT_TRUE(TraceLogIsOpen()) << "write tracing still on";
  EXPECT_EQ(Run("widget check " + read_box + " off"),
            "ok " + read_box + " already off");
  Ok("widget check " + write_box + " off");
  EXPECT_FALSE(TraceLogIsOpen());
  // One file, each line once, in the order the boxes were clicked.
  const std::string log = TraceLogText();
  const size_t start_read = log.find("Start Readlogging");
  const size_t start_write = log.find("Start Writelogging");
  const size_t stop_read = log.find("Stop Readlogging");
  const size_t stop_write = log.find("Stop Writelogging");
  ASSERT_NE(stop_write, std::string::npos) << log;
  EXPECT_LT(start_read, start_write);
  EXPECT_LT(start_write, stop_read);
  EXPECT_LT(stop_read, stop_write);
  EXPECT_EQ(log.find("Start Readlogging", start_read + 1), std::string::npos);
}

TEST_F(SettingsWindowsTest, ApplyPublishesEachTextAndSavesIt) {
  const struct {
    int row;
    std::string typed;
    uint32_t offset;
    uint32_t size;
    const char* key;
    std::string stored;  // what the field kept and the setting holds
  } kCases[] = {
      {0, "DLH4711", 0x3130, 12, "ATC Number", "DLH4711"},
      // Eleven characters fill the field: the twelve bytes end in a zero.
      {0, "ABCDEFGHIJK", 0x3130, 12, "ATC Number", "ABCDEFGHIJK"},
      // The field takes no more than eleven.
      {1, "N12345ABCDEFGH", 0x313C, 12, "ATC Tail Number", "N12345ABCDE"},
      {2, "Eurowings", 0x3148, 24, "ATC Airline name", "Eurowings"},
      {3, std::string(40, 'X'), 0x3160, 24, "ATC Aircraft type",
       std::string(23, 'X')},
  };
  OpenAtc();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.typed);
    Ok("widget type " + Nth(kAtcTitle, AtcFieldOf(c.row)) + " " + c.typed);
    Ok("widget press " + Nth(kAtcTitle, AtcApplyOf(c.row)));
    std::string field = c.stored;
    field.resize(c.size, '\0');
    EXPECT_EQ(Field(c.offset, c.size), field);
    EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", c.key), c.stored);
  }
  EXPECT_EQ(AtcText(AtcField::kFlightNumber), "ABCDEFGHIJK");
}

// A text from the file longer than the field shows whole in the field;
// Apply reads at most 20 characters of it into its buffer and keeps the
// setting's 19.
TEST_F(SettingsWindowsTest, ApplyOfALongTextFromTheFileStaysInItsBuffers) {
  Disable();
  WriteSettingValue("TARVOS ATC SETTINGS", "ATC Number",
                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  WriteSettingValue("TARVOS ATC SETTINGS", "ATC Airline name",
                    std::string(45, 'L').c_str());
  Enable();
  OpenAtc();
  EXPECT_EQ(TextOf(kAtcTitle, AtcFieldOf(0)), "ABCDEFGHIJKLMNOPQRS");
  Ok("widget press " + Nth(kAtcTitle, AtcApplyOf(0)));
  Ok("widget press " + Nth(kAtcTitle, AtcApplyOf(2)));
  EXPECT_EQ(AtcText(AtcField::kFlightNumber), "ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(AtcText(AtcField::kAirlineName), std::string(30, 'L'));
  EXPECT_EQ(Field(0x3130, 12), "ABCDEFGHIJKL");
  EXPECT_EQ(Field(0x3148, 24), std::string(24, 'L'));
  EXPECT_EQ(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Number"),
            "ABCDEFGHIJKLMNOPQRS");
}

TEST_F(SettingsWindowsTest, StopDestroysEveryWindow) {
  OpenPerformance();
  OpenAtc();
  EXPECT_EQ(host().Widgets().size(),
            kPerformanceWindow.size() + kAtcWindow.size());
  Disable();  // enable and disable leave the windows alone
  EXPECT_EQ(host().Widgets().size(),
            kPerformanceWindow.size() + kAtcWindow.size());
  Stop();
  EXPECT_TRUE(host().Widgets().empty());
  EXPECT_FALSE(SettingsWindowCreated(SettingsWindow::kPerformance));
  EXPECT_FALSE(SettingsWindowCreated(SettingsWindow::kAtc));
}

TEST_F(SettingsWindowsTest, WidgetCommandsRefuseWhatAUserCannotDo) {
  OpenPerformance();
  const struct {
    std::string line;
    const char* error;
  } kCases[] = {
      {"widget press " + Nth(kPerformanceTitle, 2), "is not a button"},
      {"widget press w99999", "no widget"},
      {"widget press x1", "bad widget"},
      {"widget check " + Nth(kPerformanceTitle, kTuneUp) + " on",
       "is not a check box"},
      {"widget type " + Nth(kPerformanceTitle, kTuneUp) + " 5",
       "is not a text field"},
      {"widget close " + Nth(kPerformanceTitle, 1), "has no close box"},
      {"widget close No Such Window", "no window"},
      {"widget frob w1", "usage"},
      {"snapshot picture.png", "must end in .svg"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.line);
    const std::string answer = Run(c.line);
    EXPECT_EQ(answer.rfind("error", 0), 0u) << answer;
    EXPECT_NE(answer.find(c.error), std::string::npos) << answer;
  }
  EXPECT_EQ(WindowCount(kPerformanceTitle), 1);
  EXPECT_EQ(TuneValue.load(), 0);
}

TEST_F(SettingsWindowsTest, SnapshotDrawsTheOpenWindowWithItsTexts) {
  OpenAtc();
  const std::string path = SystemFile("atc.svg");
  EXPECT_EQ(Run("snapshot " + path), "ok snapshot " + path);
  const std::string svg = testing::ReadFileText(path);
  EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
  for (const char* text : {"ATC Settings", "Flight Number:", "LH 5363",
                           "Boeing 737-800", "Apply"}) {
    EXPECT_NE(svg.find(std::string(">") + text + "</text>"), std::string::npos)
        << text;
  }
  // 350 x 220 plus the title bar and the margins.
  EXPECT_NE(svg.find("width=\"390\" height=\"278\""), std::string::npos)
      << svg.substr(0, 200);
}

}  // namespace
}  // namespace tarvos
