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
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "simhost/host.h"

namespace simhost {

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
};

struct Host::State {
  mutable std::mutex mu;

  // Datarefs. `all` owns every dataref ever defined (never shrinks);
  // `by_name` maps a name to its object, alive or not, so that redefining a
  // name revives the handles found earlier.
  std::deque<std::unique_ptr<Dataref>> all;
  std::unordered_map<std::string, Dataref*> by_name;
  std::unordered_set<const Dataref*> handles;
  std::vector<SetRecord> set_records;

  // Commands and inputs.
  std::deque<std::unique_ptr<Command>> commands;
  std::unordered_map<std::string, Command*> commands_by_name;
  std::unordered_set<const Command*> command_handles;
  std::vector<CommandRecord> command_records;
  std::vector<InputRecord> input_records;

  // Flight loop.
  double now = 0;     // virtual seconds since Reset
  int64_t frame = 0;  // flight loops run since Reset
  float last_dt = 1.0f / 60.0f;
  uint64_t next_loop_id = 1;
  std::vector<FlightLoop> loops;  // registration order
  std::function<void(double, float)> frame_hook;
  double sim_time = 0;       // seconds the clock ran (it stops when paused)
  double zulu_at_start = 0;  // zulu seconds after midnight at sim_time 0
  double local_offset = 0;   // local minus zulu, seconds

  // The plugin under test.
  PluginEntryPoints plugin;
  std::string plugin_name, plugin_signature, plugin_description;
  bool plugin_started = false;
  bool plugin_enabled = false;

  // Other plugins and aircraft.
  std::vector<OtherPlugin> other_plugins;
  XPLMPluginID next_plugin_id = 2;  // 0 is the simulator, 1 the plugin
  std::vector<Aircraft> aircraft;
  int active_aircraft = 1;

  // Navaids, paths, versions.
  std::vector<Navaid> navaids;
  std::string system_path;
  std::string temp_system_path;  // the folder Reset made, removed on the next
  int xplane_version = 11550;
  double reference_latitude = 0, reference_longitude = 0;

  // Menus, windows, widgets (keys are the tokens handed out).
  uintptr_t next_token = 0x1000;
  XPLMMenuID plugins_menu = nullptr;
  std::map<XPLMMenuID, Menu> menus;
  std::map<XPLMWindowID, Window> windows;
  std::map<XPWidgetID, Widget> widgets;
  std::vector<std::string> drawn_strings;

  void* NewToken() {
    next_token += 16;
    return reinterpret_cast<void*>(next_token);
  }
};

// The state of the one host; used by the C API functions.
Host::State& HostState();

// --- Helpers used across the simhost sources (REQUIRES: State::mu held) ---

// The live dataref behind a handle, or null for null, unknown or undefined.
Dataref* LiveDataref(Host::State& s, XPLMDataRef handle);
// The dataref behind a handle even when undefined (for recording sets).
Dataref* KnownDataref(Host::State& s, XPLMDataRef handle);
// Defines or redefines a dataref; the returned object keeps its address.
Dataref& DefineDataref(Host::State& s, const std::string& name, DataType kind);
void DefineDefaultDatarefs(Host::State& s);
void DefineDefaultCommands(Host::State& s);
void DefineDefaultNavaids(Host::State& s);
void DefineDefaultAircraft(Host::State& s);
Command& DefineCommandLocked(Host::State& s, const std::string& name);
// Updates the clock datarefs from the virtual time.
void UpdateTimeDatarefs(Host::State& s);
// Someone set a clock dataref (zulu or local time): the clock goes on from
// the new value instead of snapping back on the next frame.
void OnClockDatarefSet(Host::State& s, const Dataref& d);
// Keeps latitude, longitude and elevation in step with local_x/y/z after
// the plugin relocated the aircraft through the local coordinates.
void SyncWorldFromLocal(Host::State& s);
// Defines or removes the datarefs that another plugin owns.
void DefinePluginDatarefs(Host::State& s, const std::string& signature);
void UndefinePluginDatarefs(Host::State& s, const std::string& signature);

// Flat-earth projection around the reference point.
void WorldToLocal(const Host::State& s, double lat, double lon, double alt,
                  double* x, double* y, double* z);
void LocalToWorld(const Host::State& s, double x, double y, double z,
                  double* lat, double* lon, double* alt);

// Copies `text` into a caller buffer of `size` bytes, always zero-terminated
// and never beyond the buffer. Null or empty buffers are left alone.
void CopyBounded(const std::string& text, char* out, size_t size);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_HOST_STATE_H_
