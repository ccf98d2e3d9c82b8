#include "settings/settings_windows.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "XPStandardWidgets.h"
#include "XPWidgets.h"
#include "base/locks.h"
#include "base/trace_log.h"
#include "offsets/offset_block.h"
#include "settings/settings.h"
#include "settings/settings_saves.h"

namespace tarvos {
namespace {

// What a widget of a window is for; the callbacks find the widget that sent
// a message by its role.
enum class Role {
  kWindow,
  kPanel,
  kCaption,
  kTuneUp,
  kTuneDown,
  kTuneField,
  kReadLogging,
  kWriteLogging,
  kAtcField,  // `atc` names the text
  kAtcApply,  // `atc` names the text
};

// The text a widget is created with, or filled with right after.
enum class Text {
  kFixed,       // `text`
  kTuneValue,   // the tune value text, at creation
  kAtcSetting,  // the ATC text `atc`, set after creation
};

// A start state read when the window is created.
enum class State { kNone, kReadLogging, kWriteLogging };

struct Property {
  XPWidgetPropertyID id;
  intptr_t value;
};

// One widget: class, rectangle (left, top, right, bottom; y grows
// upwards), text and properties. Every widget but the window is a child of
// the window.
struct WidgetRow {
  Role role;
  XPWidgetClass widget_class;
  int left, top, right, bottom;
  Text text_kind;
  const char* text;
  AtcField atc;
  Property properties[3];
  int property_count;
  State state;  // the button state property, when not kNone
};

constexpr AtcField kNoAtc = AtcField::kFlightNumber;

constexpr WidgetRow Widget(Role role, XPWidgetClass c, int l, int t, int r,
                           int b, const char* text) {
  return WidgetRow{role,         c,    l,      t,  r, b,
                   Text::kFixed, text, kNoAtc, {}, 0, State::kNone};
}

constexpr WidgetRow With(WidgetRow row, XPWidgetPropertyID id, intptr_t value) {
  row.properties[row.property_count++] = Property{id, value};
  return row;
}

constexpr WidgetRow Showing(WidgetRow row, Text kind, AtcField atc = kNoAtc) {
  row.text_kind = kind;
  row.atc = atc;
  return row;
}

// A widget that belongs to one ATC text (its Apply button).
constexpr WidgetRow Of(WidgetRow row, AtcField atc) {
  row.atc = atc;
  return row;
}

constexpr WidgetRow Checked(WidgetRow row, State state) {
  row.state = state;
  return row;
}

constexpr XPWidgetClass kMain = xpWidgetClass_MainWindow;
constexpr XPWidgetClass kSub = xpWidgetClass_SubWindow;
constexpr XPWidgetClass kButton = xpWidgetClass_Button;
constexpr XPWidgetClass kField = xpWidgetClass_TextField;
constexpr XPWidgetClass kCaption = xpWidgetClass_Caption;

constexpr XPWidgetPropertyID kCloseBoxes = xpProperty_MainWindowHasCloseBoxes;
constexpr XPWidgetPropertyID kSubType = xpProperty_SubWindowType;
constexpr XPWidgetPropertyID kButtonType = xpProperty_ButtonType;
constexpr XPWidgetPropertyID kBehavior = xpProperty_ButtonBehavior;
constexpr XPWidgetPropertyID kFieldType = xpProperty_TextFieldType;
constexpr XPWidgetPropertyID kMaxChars = xpProperty_MaxCharacters;

// Characters the ATC fields accept: their offset fields less the zero.
constexpr intptr_t kShortText = 11;
constexpr intptr_t kLongText = 23;

// The windows, one row per widget in creation order: role, class,
// rectangle (left, top, right, bottom in the host's global screen
// coordinates, y upwards), text, then the properties set after creation.
// Both windows take the same place on the screen.
//
// clang-format off
constexpr WidgetRow kPerformanceRows[] = {
    With(Widget(Role::kWindow, kMain, 300, 650, 650, 430, "TARVOS Performance Settings"), kCloseBoxes, 1),
    With(Widget(Role::kPanel, kSub, 310, 620, 640, 450, ""), kSubType, xpSubWindowStyle_SubWindow),
    Widget(Role::kCaption, kCaption, 370, 590, 420, 568, "Tune up"),
    Widget(Role::kCaption, kCaption, 370, 550, 420, 528, "Tune down"),
    With(Widget(Role::kTuneUp, kButton, 440, 590, 445, 568, ""), kButtonType, xpLittleUpArrow),
    With(Widget(Role::kTuneDown, kButton, 440, 550, 445, 528, ""), kButtonType, xpLittleDownArrow),
    With(Showing(Widget(Role::kTuneField, kField, 430, 568, 460, 548, ""), Text::kTuneValue), kFieldType, xpTextEntryField),
    Widget(Role::kCaption, kCaption, 360, 510, 480, 488, "Read logging"),
    Widget(Role::kCaption, kCaption, 360, 490, 480, 470, "Write logging"),
    Checked(With(With(Widget(Role::kReadLogging, kButton, 450, 510, 480, 488, ""), kButtonType, xpRadioButton), kBehavior, xpButtonBehaviorCheckBox), State::kReadLogging),
    Checked(With(With(Widget(Role::kWriteLogging, kButton, 450, 490, 480, 468, ""), kButtonType, xpRadioButton), kBehavior, xpButtonBehaviorCheckBox), State::kWriteLogging),
};

// One row of the ATC window: its text field and its Apply button, 20
// units high from `top`.
constexpr WidgetRow AtcTextField(int top, int right, AtcField atc, intptr_t chars) {
  return With(With(Showing(Widget(Role::kAtcField, kField, 405, top, right, top - 20, ""), Text::kAtcSetting, atc), kFieldType, xpTextEntryField), kMaxChars, chars);
}
constexpr WidgetRow AtcApply(int top, int left, AtcField atc) {
  return With(Of(Widget(Role::kAtcApply, kButton, left, top, left + 50, top - 20, "Apply"), atc), kButtonType, xpPushButton);
}

constexpr WidgetRow kAtcRows[] = {
    With(Widget(Role::kWindow, kMain, 300, 650, 650, 430, "ATC Settings"), kCloseBoxes, 1),
    With(Widget(Role::kPanel, kSub, 310, 620, 640, 450, ""), kSubType, xpSubWindowStyle_SubWindow),
    Widget(Role::kCaption, kCaption, 315, 600, 395, 580, "Flight Number:"),
    AtcTextField(600, 485, AtcField::kFlightNumber, kShortText),
    AtcApply(600, 495, AtcField::kFlightNumber),
    Widget(Role::kCaption, kCaption, 315, 575, 395, 555, "Tail Number:"),
    AtcTextField(575, 485, AtcField::kTailNumber, kShortText),
    AtcApply(575, 495, AtcField::kTailNumber),
    Widget(Role::kCaption, kCaption, 315, 550, 395, 530, "Airline Name:"),
    AtcTextField(550, 555, AtcField::kAirlineName, kLongText),
    AtcApply(550, 565, AtcField::kAirlineName),
    Widget(Role::kCaption, kCaption, 315, 525, 395, 505, "Aircraft Type:"),
    AtcTextField(525, 555, AtcField::kAircraftType, kLongText),
    AtcApply(525, 565, AtcField::kAircraftType),
};
// clang-format on

constexpr size_t kMaxWidgets = 16;
static_assert(std::size(kPerformanceRows) <= kMaxWidgets);
static_assert(std::size(kAtcRows) <= kMaxWidgets);

// Characters the Apply buttons read from their fields (more than the
// fields accept; the setting keeps at most 19 or 31 of them).
int ApplyReadLimit(AtcField atc) {
  return atc == AtcField::kFlightNumber || atc == AtcField::kTailNumber ? 20
                                                                        : 30;
}

// One window: its table, whether it exists and its widget handles, in
// table order (widgets[0] is the window itself).
struct WindowState {
  const WidgetRow* rows;
  size_t count;
  XPWidgetFunc_t callback;
  bool created = false;
  XPWidgetID widgets[kMaxWidgets] = {};
};

int PerformanceCallback(XPWidgetMessage, XPWidgetID, intptr_t, intptr_t);
int AtcCallback(XPWidgetMessage, XPWidgetID, intptr_t, intptr_t);

// Main thread only.
WindowState g_performance{kPerformanceRows, std::size(kPerformanceRows),
                          PerformanceCallback};
WindowState g_atc{kAtcRows, std::size(kAtcRows), AtcCallback};

WindowState& StateOf(SettingsWindow window) {
  return window == SettingsWindow::kPerformance ? g_performance : g_atc;
}

// The row of the widget that sent a message, or null for one not ours.
const WidgetRow* RowOf(const WindowState& w, intptr_t sender) {
  if (!w.created) return nullptr;
  for (size_t i = 0; i < w.count; ++i) {
    if (reinterpret_cast<intptr_t>(w.widgets[i]) == sender) return &w.rows[i];
  }
  return nullptr;
}

XPWidgetID WidgetOf(const WindowState& w, const WidgetRow* row) {
  return w.widgets[row - w.rows];
}

void Create(WindowState& w) {
  const std::string tune_text = TuneValueText();
  XPWidgetID window = nullptr;
  for (size_t i = 0; i < w.count; ++i) {
    const WidgetRow& row = w.rows[i];
    const bool root = row.role == Role::kWindow;
    const char* text =
        row.text_kind == Text::kTuneValue ? tune_text.c_str() : row.text;
    XPWidgetID id =
        XPCreateWidget(row.left, row.top, row.right, row.bottom, 1, text,
                       root ? 1 : 0, root ? nullptr : window, row.widget_class);
    if (root) window = id;
    w.widgets[i] = id;
    for (int p = 0; p < row.property_count; ++p) {
      XPSetWidgetProperty(id, row.properties[p].id, row.properties[p].value);
    }
    if (row.state != State::kNone) {
      const bool on =
          (row.state == State::kReadLogging ? ReadLogging.load()
                                            : WriteLogging.load()) != 0;
      XPSetWidgetProperty(id, xpProperty_ButtonState, on ? 1 : 0);
    }
    if (row.text_kind == Text::kAtcSetting) {
      XPSetWidgetDescriptor(id, AtcText(row.atc).c_str());
    }
  }
  XPAddWidgetCallback(window, w.callback);
  w.created = true;
}

// The window and its children go; the state is cleared first, so the
// destroy messages the host sends back find nothing of ours.
void Destroy(WindowState& w) {
  if (!w.created) return;
  XPWidgetID window = w.widgets[0];
  w.created = false;
  for (XPWidgetID& id : w.widgets) id = nullptr;
  XPDestroyWidget(window, 1);
}

// Tune arrows: one step within 0 to 20; the text is shown and saved even
// when a limit kept the value.
void StepTune(WindowState& w, const WidgetRow* field, int step) {
  int value = TuneValue.load();
  if (step > 0 && value < 20) ++value;
  if (step < 0 && value > 0) --value;
  char text[16];
  std::snprintf(text, sizeof text, "%02i", value);
  XPSetWidgetDescriptor(WidgetOf(w, field), text);
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    SetTuneValue(value);
  }
  FlushSettingSaves();
}

const WidgetRow* FindRole(const WindowState& w, Role role) {
  for (size_t i = 0; i < w.count; ++i) {
    if (w.rows[i].role == role) return &w.rows[i];
  }
  return nullptr;
}

int PerformanceCallback(XPWidgetMessage message, XPWidgetID, intptr_t param1,
                        intptr_t) {
  try {
    WindowState& w = g_performance;
    if (message == xpMessage_CloseButtonPushed) {
      Destroy(w);
      return 1;
    }
    if (message != xpMsg_PushButtonPressed &&
        message != xpMsg_ButtonStateChanged) {
      return 0;
    }
    const WidgetRow* row = RowOf(w, param1);
    if (row == nullptr) return 0;
    if (message == xpMsg_PushButtonPressed &&
        (row->role == Role::kTuneUp || row->role == Role::kTuneDown)) {
      StepTune(w, FindRole(w, Role::kTuneField),
               row->role == Role::kTuneUp ? 1 : -1);
      return 1;
    }
    if (message == xpMsg_ButtonStateChanged &&
        (row->role == Role::kReadLogging || row->role == Role::kWriteLogging)) {
      const bool on = XPGetWidgetProperty(WidgetOf(w, row),
                                          xpProperty_ButtonState, nullptr) != 0;
      if (row->role == Role::kReadLogging) {
        SetReadTracing(on);
      } else {
        SetWriteTracing(on);
      }
      return 1;
    }
    return 0;
  } catch (...) {
    // A widget callback must never let an exception reach the host.
    return 0;
  }
}

// Apply: the row's field into its setting, its offset field and the file.
void ApplyAtcText(const WindowState& w, const WidgetRow* apply) {
  const WidgetRow* field = nullptr;
  for (size_t i = 0; i < w.count; ++i) {
    if (w.rows[i].role == Role::kAtcField && w.rows[i].atc == apply->atc) {
      field = &w.rows[i];
    }
  }
  if (field == nullptr) return;
  const int limit = ApplyReadLimit(apply->atc);
  // Room for the characters read, the terminator the host writes and one
  // more that is forced to zero, whatever the host does with the length.
  char text[32] = {};
  static_assert(sizeof text > 30 + 1);
  XPGetWidgetDescriptor(WidgetOf(w, field), text, limit + 1);
  text[limit] = '\0';
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    PublishAtcText(apply->atc, text, strnlen(text, limit));
  }
  FlushSettingSaves();
}

int AtcCallback(XPWidgetMessage message, XPWidgetID, intptr_t param1,
                intptr_t) {
  try {
    WindowState& w = g_atc;
    if (message == xpMessage_CloseButtonPushed) {
      Destroy(w);
      return 1;
    }
    if (message != xpMsg_PushButtonPressed) return 0;
    const WidgetRow* row = RowOf(w, param1);
    if (row == nullptr || row->role != Role::kAtcApply) return 0;
    ApplyAtcText(w, row);
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // namespace

void OpenSettingsWindow(SettingsWindow window) {
  WindowState& w = StateOf(window);
  if (!w.created) {
    Create(w);
  } else if (XPIsWidgetVisible(w.widgets[0]) == 0) {
    XPShowWidget(w.widgets[0]);
  }
}

void ResetSettingsWindows() {
  for (WindowState* w : {&g_performance, &g_atc}) {
    w->created = false;
    for (XPWidgetID& id : w->widgets) id = nullptr;
  }
}

void DestroySettingsWindows() {
  Destroy(g_performance);
  Destroy(g_atc);
}

bool SettingsWindowCreated(SettingsWindow window) {
  return StateOf(window).created;
}

}  // namespace tarvos
