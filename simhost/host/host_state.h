// Internal state of the stand-in host, shared by the simhost sources.
//
// Threads: every field of State is guarded by State::mu. The plugin calls
// the data, command and window functions from its worker threads, the test
// body or the simhost loop calls the rest from the main thread. Callbacks
// into the plugin are made only after mu has been released: the callback
// may call straight back into the host.
//
// Handles given to the plugin (datarefs, commands) are pointers to objects
// that are never freed, so a stale handle never reaches freed memory; every
// incoming handle is still checked against the set of handles the host gave
// out, and an unknown one is treated like a null handle. Menus, windows and
// widgets use numeric tokens looked up in maps, so a destroyed one is simply
// not found.
#ifndef TARVOS_SIMHOST_HOST_STATE_H_
#define TARVOS_SIMHOST_HOST_STATE_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/thread_annotations.h"
#include "simhost/host/host.h"

namespace simhost {

// The host's one mutex, visible to the compiler's lock checking.
class CAPABILITY("mutex") HostMutex {
 public:
  void Lock() ACQUIRE() { mu_.lock(); }
  void Unlock() RELEASE() { mu_.unlock(); }

 private:
  std::mutex mu_;
};

// Holds a HostMutex for its lifetime.
class SCOPED_CAPABILITY HostLock {
 public:
  explicit HostLock(HostMutex& mu) ACQUIRE(mu) : mu_(mu) { mu_.Lock(); }
  ~HostLock() RELEASE() { mu_.Unlock(); }
  HostLock(const HostLock&) = delete;
  HostLock& operator=(const HostLock&) = delete;

 private:
  HostMutex& mu_;
};

// One dataref. Scalars keep their value as a double (exact for every int
// and float); arrays and byte blocks keep their own storage, fixed in size
// from definition on.
struct Dataref {
  std::string name;
  DataType kind = DataType::kInt;
  int types = 0;         // XPLMDataTypeID mask of the accessors that work
  bool alive = true;     // false once undefined: reads give 0, writes no-op
  bool writable = true;  // XPLMCanWriteDataRef; false ignores C API sets
  double scalar = 0;
  std::vector<int> ints;
  std::vector<float> floats;
  std::string bytes;
};

struct Command {
  std::string name;
};

struct FlightLoop {
  uint64_t id = 0;  // registration order
  XPLMFlightLoop_f callback = nullptr;
  void* refcon = nullptr;
  bool scheduled = false;
  bool by_frames = false;  // due_frame counts, else due_time does
  double due_time = 0;
  int64_t due_frame = 0;
  double last_call_time = 0;  // registration time before the first call
};

struct Menu {
  std::string name;
  XPLMMenuHandler_f handler = nullptr;
  void* menu_ref = nullptr;
  XPLMMenuID parent = nullptr;
  int parent_item = -1;
  std::vector<MenuItemInfo> items;
};

struct Window {
  WindowInfo info;
  XPLMDrawWindow_f draw = nullptr;
  XPLMHandleKey_f key = nullptr;
  XPLMHandleMouseClick_f mouse = nullptr;
  void* refcon = nullptr;
  // The strings of the draw in progress, and of the last finished draw.
  std::string drawing;
  std::string last_text;
};

struct Widget {
  WidgetInfo info;
  std::vector<XPWidgetID> children;
  std::map<int, intptr_t> properties;
  std::vector<XPWidgetFunc_t> callbacks;  // in the order they were added
};

struct OtherPlugin {
  std::string signature;
  XPLMPluginID id = XPLM_NO_PLUGIN_ID;
  bool enabled = true;
};

struct Host::State {
  mutable HostMutex mu;

  // Every field below is guarded by mu, and so are the contents of the
  // datarefs, commands, menus, windows and widgets they hold.

  // Datarefs. `all` owns every dataref ever defined (never shrinks);
  // `by_name` maps a name to its object, alive or not, so that redefining a
  // name revives the handles found earlier.
  std::deque<std::unique_ptr<Dataref>> all GUARDED_BY(mu);
  std::unordered_map<std::string, Dataref*> by_name GUARDED_BY(mu);
  std::unordered_set<const Dataref*> handles GUARDED_BY(mu);
  std::vector<SetRecord> set_records GUARDED_BY(mu);

  // Commands and inputs.
  std::deque<std::unique_ptr<Command>> commands GUARDED_BY(mu);
  std::unordered_map<std::string, Command*> commands_by_name GUARDED_BY(mu);
  std::unordered_set<const Command*> command_handles GUARDED_BY(mu);
  std::vector<CommandRecord> command_records GUARDED_BY(mu);
  std::vector<InputRecord> input_records GUARDED_BY(mu);
  // Joystick buttons pressed and not released.
  std::set<int> held_buttons GUARDED_BY(mu);

  // Flight loop.
  double now GUARDED_BY(mu) = 0;     // virtual seconds since Reset
  int64_t frame GUARDED_BY(mu) = 0;  // flight loops run since Reset
  float last_dt GUARDED_BY(mu) = 1.0f / 60.0f;
  uint64_t next_loop_id GUARDED_BY(mu) = 1;
  std::vector<FlightLoop> loops GUARDED_BY(mu);  // registration order
  std::function<void(double, float)> frame_hook GUARDED_BY(mu);
  // Seconds the clock ran (it stops while paused).
  double sim_time GUARDED_BY(mu) = 0;
  // Zulu seconds after midnight at sim_time 0.
  double zulu_at_start GUARDED_BY(mu) = 0;
  // Local minus zulu, seconds.
  double local_offset GUARDED_BY(mu) = 0;

  // The plugin under test.
  PluginEntryPoints plugin GUARDED_BY(mu);
  std::string plugin_name GUARDED_BY(mu);
  std::string plugin_signature GUARDED_BY(mu);
  std::string plugin_description GUARDED_BY(mu);
  bool plugin_started GUARDED_BY(mu) = false;
  bool plugin_enabled GUARDED_BY(mu) = false;

  // Other plugins and aircraft. Plugin id 0 is the simulator, 1 the plugin
  // under test.
  std::vector<OtherPlugin> other_plugins GUARDED_BY(mu);
  XPLMPluginID next_plugin_id GUARDED_BY(mu) = 2;
  std::vector<Aircraft> aircraft GUARDED_BY(mu);
  int active_aircraft GUARDED_BY(mu) = 1;

  // Navaids, paths, versions.
  std::vector<Navaid> navaids GUARDED_BY(mu);
  std::string system_path GUARDED_BY(mu);
  // The folder Reset made; removed by the next Reset.
  std::string temp_system_path GUARDED_BY(mu);
  int xplane_version GUARDED_BY(mu) = 12100;
  bool older_host GUARDED_BY(mu) = false;
  double reference_latitude GUARDED_BY(mu) = 0;
  double reference_longitude GUARDED_BY(mu) = 0;

  // Menus, windows, widgets (keys are the tokens handed out).
  uintptr_t next_token GUARDED_BY(mu) = 0x1000;
  XPLMMenuID plugins_menu GUARDED_BY(mu) = nullptr;
  std::map<XPLMMenuID, Menu> menus GUARDED_BY(mu);
  std::map<XPLMWindowID, Window> windows GUARDED_BY(mu);
  std::map<XPWidgetID, Widget> widgets GUARDED_BY(mu);
  std::vector<std::string> drawn_strings GUARDED_BY(mu);
  // The window whose draw callback runs (null between draws), and every
  // window destroyed, so that a second destroy is told from a bad handle.
  XPLMWindowID drawing_window GUARDED_BY(mu) = nullptr;
  std::unordered_set<XPLMWindowID> destroyed_windows GUARDED_BY(mu);

  // The strict host: calls the simulator would refuse, in order, and the
  // thread the main-thread-only calls must come from (the one that last
  // reset the host).
  std::thread::id main_thread GUARDED_BY(mu);
  std::vector<std::string> host_errors GUARDED_BY(mu);

  // Test latch: runs after every getter call on a live dataref (see
  // Host::SetReadHook).
  std::function<void(const std::string&)> read_hook GUARDED_BY(mu);

  void* NewToken() REQUIRES(mu) {
    next_token += 16;
    return reinterpret_cast<void*>(next_token);
  }
};

// The state of the one host; used by the C API functions.
Host::State& HostState();

// --- Helpers used across the simhost sources (REQUIRES: State::mu held) ---

// The live dataref behind a handle, or null for null, unknown or undefined.
Dataref* LiveDataref(Host::State& s, XPLMDataRef handle) REQUIRES(s.mu);
// The dataref behind a handle even when undefined (for recording sets).
Dataref* KnownDataref(Host::State& s, XPLMDataRef handle) REQUIRES(s.mu);
// Defines or redefines a dataref; the returned object keeps its address.
Dataref& DefineDataref(Host::State& s, const std::string& name, DataType kind)
    REQUIRES(s.mu);
void DefineDefaultDatarefs(Host::State& s) REQUIRES(s.mu);
// Turns the default references into an older host's (Host::UseOlderHost).
void DefineOlderHostDatarefs(Host::State& s) REQUIRES(s.mu);
// The aircraft's temperature flags and the engines' temperatures
// (Host::SetFahrenheitAircraft).
void SetAircraftTemperatureUnits(Host::State& s, bool fahrenheit)
    REQUIRES(s.mu);
void DefineDefaultCommands(Host::State& s) REQUIRES(s.mu);
void DefineDefaultNavaids(Host::State& s) REQUIRES(s.mu);
void DefineDefaultAircraft(Host::State& s) REQUIRES(s.mu);
Command& DefineCommandLocked(Host::State& s, const std::string& name)
    REQUIRES(s.mu);
// Updates the clock datarefs from the virtual time.
void UpdateTimeDatarefs(Host::State& s) REQUIRES(s.mu);
// Someone set a clock dataref (zulu or local time): the clock goes on from
// the new value instead of snapping back on the next frame.
void OnClockDatarefSet(Host::State& s, const Dataref& d) REQUIRES(s.mu);
// The autopilot panels (autopilot_panel.cpp). A write of the autopilot
// state word presses the button of every mode whose bit is set (each such
// mode toggles), except NAV and glide slope engaged (0x200, 0x800), which
// are written over; the key strokes 12, 15, 16 and 17 toggle heading, NAV,
// altitude and vertical-speed hold; the approach and back-course commands
// arm (or drop) their modes; a write of an x737 panel dataref moves the
// panel datarefs that go with it.
int AutopilotStateAfterWrite(int old_state, int written);
bool IsAutopilotStateWord(const std::string& name);
void OnAutopilotKey(Host::State& s, int key) REQUIRES(s.mu);
void OnAutopilotCommand(Host::State& s, const std::string& name) REQUIRES(s.mu);
void OnX737PanelWrite(Host::State& s, const Dataref& d) REQUIRES(s.mu);
// The engine panel (engine_panel.cpp): a magneto command moves engine n's
// magneto switch (`sim/cockpit/engine/ignition_on` element n - 1) to off,
// right, left or both.
void OnEngineCommand(Host::State& s, const std::string& name) REQUIRES(s.mu);
// The simulator's own keys (sim_controls.cpp): the pause key toggles
// sim/time/paused.
void OnSimulationKey(Host::State& s, int key) REQUIRES(s.mu);
// The gear lever's buttons (flight_controls.cpp): button 52 raises the
// gear handle (sim/cockpit/switches/gear_handle_status 0), 53 lowers it.
void OnControlButton(Host::State& s, int button) REQUIRES(s.mu);
// Keeps latitude, longitude and elevation in step with local_x/y/z after
// the plugin relocated the aircraft through the local coordinates.
void SyncWorldFromLocal(Host::State& s) REQUIRES(s.mu);
// Defines or removes the datarefs that another plugin owns.
void DefinePluginDatarefs(Host::State& s, const std::string& signature)
    REQUIRES(s.mu);
void UndefinePluginDatarefs(Host::State& s, const std::string& signature)
    REQUIRES(s.mu);

// Flat-earth projection around the reference point.
void WorldToLocal(const Host::State& s, double lat, double lon, double alt,
                  double* x, double* y, double* z) REQUIRES(s.mu);
void LocalToWorld(const Host::State& s, double x, double y, double z,
                  double* lat, double* lon, double* alt) REQUIRES(s.mu);

// Records a call the simulator would refuse (Host::HostErrors).
void RecordHostError(Host::State& s, std::string what) REQUIRES(s.mu);
// Records a host error when `function`, which the simulator serves on its
// main thread only, is called from any other thread.
void RequireMainThread(Host::State& s, const char* function) REQUIRES(s.mu);

// Copies `text` into a caller buffer of `size` bytes, always zero-terminated
// and never beyond the buffer. Null or empty buffers are left alone.
void CopyBounded(const std::string& text, char* out, size_t size);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_HOST_STATE_H_
