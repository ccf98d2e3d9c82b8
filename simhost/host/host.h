// The stand-in simulator: an in-process implementation of the host API
// (the XPLM* and XP* functions) with a C++ face for tests and for the
// tarvos-simhost program.
//
// Threads: the plugin calls data getters and setters and command calls from
// its worker threads, so every piece of host state is guarded by the host's
// internal mutex. Flight-loop, menu, window and widget calls are the main
// thread's only, as in the simulator; the host records any other use as a
// host error (HostErrors). Callbacks into the plugin (entry
// points, flight loops, menu, window and widget callbacks) are always made
// without that mutex held, from the thread that drives the host (the "main
// thread": the test body or the simhost program's loop).
#ifndef TARVOS_SIMHOST_HOST_H_
#define TARVOS_SIMHOST_HOST_H_

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "XPLMDataAccess.h"
#include "XPLMDisplay.h"
#include "XPLMMenus.h"
#include "XPLMNavigation.h"
#include "XPLMProcessing.h"
#include "XPLMUtilities.h"
#include "XPWidgetDefs.h"

namespace simhost {

// The five entry points of a plugin, either linked in or looked up in a
// loaded binary.
struct PluginEntryPoints {
  int (*start)(char* name, char* signature, char* description) = nullptr;
  void (*stop)() = nullptr;
  int (*enable)() = nullptr;
  void (*disable)() = nullptr;
  void (*receive_message)(XPLMPluginID from, int message,
                          void* param) = nullptr;
};

enum class DataType { kInt, kFloat, kDouble, kIntArray, kFloatArray, kBytes };

// One recorded set call made by the plugin through the host API.
struct SetRecord {
  std::string name;  // dataref name as defined
  DataType type;     // which setter: int, float, double, arrays, bytes
  int offset = 0;    // first element (arrays) or byte (bytes)
  std::vector<double> values;  // the values written (one for scalars)
  std::string bytes;           // for byte arrays
  // False when the host ignored the call: unknown or undefined dataref,
  // setter of the wrong type, read-only dataref.
  bool applied = true;
};

enum class CommandPhase { kOnce, kBegin, kEnd };
struct CommandRecord {
  std::string name;
  CommandPhase phase;
};

enum class InputKind { kButtonPress, kButtonRelease, kKeyStroke };
struct InputRecord {
  InputKind kind;
  int code;
};

struct Aircraft {
  std::string file_name;  // e.g. "Cessna_172SP.acf"
  std::string path;       // full path of the .acf file
};

struct Navaid {
  XPLMNavType type = xplm_Nav_VOR;
  float latitude = 0, longitude = 0, height = 0;
  int frequency = 0;  // host units: 10 kHz for VOR/ILS, kHz for NDB
  float heading = 0;
  std::string id, name;
};

struct MenuItemInfo {
  std::string name;
  void* item_ref = nullptr;
  int force_english = 0;
  XPLMMenuID submenu = nullptr;  // menu attached to this item, if any
};

struct WindowInfo {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool visible = false;
};

struct WidgetInfo {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool visible = false;
  bool is_root = false;
  std::string descriptor;
  XPWidgetClass widget_class = 0;
  XPWidgetID container = nullptr;
};

class Host {
 public:
  // The one host every host API call goes to.
  static Host& Get();

  // Back to a fresh state: default datarefs and commands, an empty record, a
  // fresh temporary system folder, virtual time 0, no callbacks, no plugin.
  void Reset();

  // --- Datarefs -----------------------------------------------------------
  // Define (or redefine) a dataref. Names may carry an index ("x[0]"); such a
  // name is a dataref of its own. Redefining or undefining keeps the handle
  // the plugin found: an undefined dataref reads 0 and ignores writes until
  // it is defined again.
  //
  // Through the host API a dataref answers only the accessors of its type
  // (doubles also answer the float ones, as the simulator's own doubles do);
  // any other getter reads 0 and any other setter is ignored (and recorded
  // with applied = false). Array and byte calls are clamped to the array.
  void DefineInt(const std::string& name, int value);
  void DefineFloat(const std::string& name, float value);
  void DefineDouble(const std::string& name, double value);
  void DefineIntArray(const std::string& name, std::vector<int> values);
  void DefineFloatArray(const std::string& name, std::vector<float> values);
  void DefineBytes(const std::string& name, std::string bytes);
  void Undefine(const std::string& name);
  bool IsDefined(const std::string& name) const;
  // Read-only datarefs ignore set calls from the plugin (tests may still set
  // them). Everything is writable by default.
  void SetWritable(const std::string& name, bool writable);
  // Whether the plugin may set it (false for names never defined).
  bool IsWritable(const std::string& name) const;
  // The type a dataref was defined with (also while undefined); false for
  // names never defined.
  bool DatarefKind(const std::string& name, DataType* kind) const;
  // Array length (elements, or bytes for byte arrays); 1 for scalars, 0 for
  // unknown names.
  int ArraySize(const std::string& name) const;
  // Every defined dataref with its type, in name order.
  std::vector<std::pair<std::string, DataType>> Datarefs() const;

  // Test-side access; not recorded. Unknown names read 0 and ignore writes.
  // These convert between types freely; on arrays the scalar forms use
  // element 0.
  int GetInt(const std::string& name) const;
  float GetFloat(const std::string& name) const;
  double GetDouble(const std::string& name) const;
  int GetIntElement(const std::string& name, int index) const;
  float GetFloatElement(const std::string& name, int index) const;
  std::string GetBytes(const std::string& name) const;
  void SetInt(const std::string& name, int value);
  void SetFloat(const std::string& name, float value);
  void SetDouble(const std::string& name, double value);
  void SetIntElement(const std::string& name, int index, int value);
  void SetFloatElement(const std::string& name, int index, float value);
  void SetBytes(const std::string& name, const std::string& bytes);

  // Set calls made by the plugin, in order. Take* returns and clears.
  std::vector<SetRecord> SetRecords() const;
  std::vector<SetRecord> TakeSetRecords();

  // --- Commands, buttons, keys ---------------------------------------------
  void DefineCommand(const std::string& name);
  std::vector<CommandRecord> Commands() const;
  std::vector<CommandRecord> TakeCommands();
  // Whether a joystick button (the plugin presses the starters as buttons
  // 2 to 5, and 84 after it changed the failures) is pressed and not yet
  // released.
  bool ButtonHeld(int button) const;
  std::vector<InputRecord> Inputs() const;
  std::vector<InputRecord> TakeInputs();

  // --- Flight loop (virtual time) -------------------------------------------
  // Advances virtual time by dt seconds, updates the time datarefs, then runs
  // every due callback in registration order and reschedules it by its
  // return value.
  void StepFrame(float dt = 1.0f / 60.0f);
  void StepFrames(int count, float dt = 1.0f / 60.0f);
  double ElapsedTime() const;
  int64_t FrameCount() const;
  bool IsFlightLoopRegistered(XPLMFlightLoop_f callback, void* refcon) const;
  // Number of registered callbacks that are scheduled to run again.
  int ScheduledFlightLoopCount() const;
  // Runs `action` on the main thread at the start of every frame (used by
  // the scripted flight of the simhost program).
  void SetFrameHook(std::function<void(double now, float dt)> hook);

  // --- The plugin under test
  // --------------------------------------------------
  void AttachPlugin(const PluginEntryPoints& entry_points);
  int StartPlugin();  // calls XPluginStart, keeps name/signature/description
  // As the simulator's plugin manager (and XPLMEnablePlugin and
  // XPLMDisablePlugin) does it: Enable calls XPluginEnable only on a
  // started plugin that is not enabled, and the plugin stays disabled when
  // it returns 0; the result is 1 when the plugin is enabled afterwards.
  // Disable calls XPluginDisable only on an enabled plugin.
  int EnablePlugin();
  void DisablePlugin();
  void StopPlugin();
  void SendMessageToPlugin(XPLMPluginID from, int message, void* param);
  std::string PluginName() const;
  std::string PluginSignature() const;
  std::string PluginDescription() const;
  bool PluginStarted() const;
  bool PluginEnabled() const;

  // --- Other plugins and aircraft
  // ---------------------------------------------
  XPLMPluginID AddPlugin(const std::string& signature);  // returns its id
  void RemovePlugin(const std::string& signature);
  // Aircraft 0 is the user's; `active` defaults to the list's size.
  void SetAircraft(std::vector<Aircraft> aircraft, int active = -1);
  std::vector<Aircraft> GetAircraft() const;
  bool IsPluginLoaded(const std::string& signature) const;

  // --- Navaids, paths, versions
  // -----------------------------------------------
  void ClearNavaids();
  XPLMNavRef AddNavaid(const Navaid& navaid);
  std::vector<Navaid> Navaids() const;
  // Adds `count` generated navaids spread over the globe, as many as the
  // simulator's own database holds (about 40,000): VORs with their DMEs,
  // ILS localizers with glide slopes and DMEs, NDBs, markers and fixes, on
  // the real frequency bands, so that searches cost what a real host's do.
  // The navaids already present (the field's) stay among them. The same
  // seed gives the same database.
  void AddGeneratedNavaids(size_t count = 40000, uint32_t seed = 1);
  std::string SystemPath() const;  // ends with "/"
  void SetSystemPath(const std::string& path);
  void SetXPlaneVersion(int version);
  // Reset makes a 12.1 host: its references, array lengths and
  // writability as that simulator publishes them, wind speeds in metres
  // per second. UseOlderHost (after Reset, before the plugin starts) makes
  // an 11.55 host instead: version 11550, a writable failure array of 600,
  // thunderstorms and the two references 12 dropped, wind speeds in knots.
  void UseOlderHost();
  bool IsOlderHost() const;
  // Knots per unit of the host's wind speed references.
  double WindSpeedUnitKnots() const;
  // The user's aircraft keeps its exhaust gas and oil temperatures in
  // Fahrenheit (its Celsius flags 0) or, by default, in Celsius. The
  // engines' current temperatures are converted; the scripted flight
  // publishes in the aircraft's unit.
  void SetFahrenheitAircraft(bool fahrenheit);
  // The point where local x and z are 0 (default: the parked position).
  void SetLocalReference(double latitude, double longitude);

  // --- Menus, windows, widgets
  // --------------------------------------------------
  XPLMMenuID PluginsMenu() const;
  bool MenuExists(XPLMMenuID menu) const;
  std::string MenuName(XPLMMenuID menu) const;
  std::vector<MenuItemInfo> MenuItems(XPLMMenuID menu) const;
  int LiveMenuCount() const;  // menus created by the plugin and not destroyed
  void ChooseMenuItem(XPLMMenuID menu, int index);  // calls the handler

  std::vector<XPLMWindowID> Windows() const;  // live windows
  WindowInfo GetWindowInfo(XPLMWindowID window) const;
  void DrawWindow(XPLMWindowID window);  // calls its draw callback
  int ClickWindow(XPLMWindowID window, int x, int y, XPLMMouseStatus status);
  // Strings drawn with XPLMDrawString since the last call.
  std::vector<std::string> TakeDrawnStrings();
  // Every visible window drawn, in creation order, as the simulator does
  // after each frame's flight loops (StepFrame calls it).
  void DrawVisibleWindows();
  // Each live window with its geometry and the text its last draw drew
  // (window_census.cpp).
  struct WindowReport {
    XPLMWindowID id = nullptr;
    WindowInfo info;
    std::string last_text;  // the strings of one draw, joined by " | "
  };
  std::vector<WindowReport> WindowCensus() const;

  std::vector<XPWidgetID> Widgets() const;  // live widgets
  WidgetInfo GetWidgetInfo(XPWidgetID widget) const;
  // Widgets under `root` (any depth) whose descriptor equals `descriptor`.
  XPWidgetID FindWidget(XPWidgetID root, const std::string& descriptor) const;
  // Sends a message to a widget's callbacks, then up its containers until one
  // handles it (as the host dispatches widget messages).
  int SendWidgetMessage(XPWidgetID widget, XPWidgetMessage message,
                        intptr_t param1, intptr_t param2);
  // Properties as the plugin set them; 0 with *exists false when unset.
  intptr_t WidgetProperty(XPWidgetID widget, int property,
                          bool* exists = nullptr) const;
  std::vector<XPWidgetID> WidgetChildren(XPWidgetID widget) const;
  void PressButton(XPWidgetID button);         // xpMsg_PushButtonPressed
  void ClickCloseBox(XPWidgetID main_window);  // xpMessage_CloseButtonPushed
  void TypeText(XPWidgetID text_field, const std::string& text);

  // --- Host errors ---------------------------------------------------------
  // Calls the simulator would refuse, one text each, in the order they were
  // made; the call itself is still served as harmlessly as it can be:
  // - a main-thread-only function (flight-loop registration and scheduling,
  //   menus, windows and drawing, widgets) called from another thread than
  //   the one that last reset the host;
  // - destroying a window or menu that does not exist (or no longer does:
  //   a window destroyed twice is told apart);
  // - registering a flight-loop callback (function and refcon) that is
  //   already registered.
  // Reset keeps them: every test fails when one was recorded (the test
  // main's check), so a test that provokes one on purpose takes it.
  std::vector<std::string> HostErrors() const;
  std::vector<std::string> TakeHostErrors();

  // --- Test latch
  // ------------------------------------------------------------- `hook` runs
  // with the dataref's name after every getter call on a live dataref, on the
  // calling thread and without the host's mutex held, so a test can wait for
  // "the plugin has read X". Reset removes it.
  void SetReadHook(std::function<void(const std::string& name)> hook);

  // The host's internal state (simhost/host/host_state.h); opaque to users.
  struct State;

 private:
  friend State& HostState();
  Host();
  State* state_;
};

// The state of the one host, for the host API functions.
Host::State& HostState();

// Loads a plugin binary with the platform's dynamic loader and looks up its
// five entry points. Returns false with a message in `error` when the file
// cannot be loaded or lacks an entry point.
bool LoadPluginBinary(const std::string& path, PluginEntryPoints* out,
                      std::string* error, void** handle);
void UnloadPluginBinary(void* handle);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_HOST_H_
