// The one host object, its reset, and the system folder and versions.
#include "simhost/host/host.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#include "simhost/host/faults.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// The parked position of the default aircraft; also the reference point of
// the local coordinates.
constexpr double kDefaultLatitude = 47.46;
constexpr double kDefaultLongitude = -122.31;

// Makes a fresh folder under the system temp folder; empty on failure.
std::string MakeTempFolder() {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) base = "/tmp";
  // A name nobody else holds: create_directory fails when it exists.
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "tarvos-simhost-%08x%08x", entropy(),
                  entropy());
    const std::filesystem::path folder = base / name;
    if (std::filesystem::create_directory(folder, ec) && !ec) {
      return folder.string() +
             static_cast<char>(std::filesystem::path::preferred_separator);
    }
  }
  return "";
}

}  // namespace

Host::State& HostState() { return *Host::Get().state_; }

void CopyBounded(const std::string& text, char* out, size_t size) {
  if (out == nullptr || size == 0) return;
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

Host& Host::Get() {
  // Never destroyed: plugin threads or atexit handlers may still call the
  // host API while the process ends.
  static Host* host = new Host();
  return *host;
}

Host::Host() : state_(new State()) { Reset(); }

void Host::Reset() {
  std::string old_temp;
  {
    State& s = *state_;
    simhost::HostLock lock(s.mu);
    for (auto& d : s.all) d->alive = false;
    s.set_records.clear();
    s.command_records.clear();
    s.input_records.clear();
    s.held_buttons.clear();
    s.now = 0;
    s.sim_time = 0;
    s.frame = 0;
    s.last_dt = 1.0f / 60.0f;
    s.loops.clear();
    s.frame_hook = nullptr;
    s.zulu_at_start = 68400;       // 19:00 UTC
    s.local_offset = -8.0 * 3600;  // local time 11:00
    s.plugin = PluginEntryPoints{};
    s.plugin_name.clear();
    s.plugin_signature.clear();
    s.plugin_description.clear();
    s.plugin_started = false;
    s.plugin_enabled = false;
    s.other_plugins.clear();
    s.next_plugin_id = 2;
    s.navaids.clear();
    s.xplane_version = 12100;
    s.older_host = false;
    s.reference_latitude = kDefaultLatitude;
    s.reference_longitude = kDefaultLongitude;
    s.menus.clear();
    s.windows.clear();
    s.destroyed_windows.clear();
    s.drawing_window = nullptr;
    s.widgets.clear();
    s.drawn_strings.clear();
    s.main_thread = std::this_thread::get_id();
    s.read_hook = nullptr;
    ClearFaults();
    s.plugins_menu = s.NewToken();
    s.menus[s.plugins_menu].name = "Plugins";

    DefineDefaultDatarefs(s);
    DefineDefaultCommands(s);
    DefineDefaultNavaids(s);
    old_temp = s.temp_system_path;
    s.temp_system_path = MakeTempFolder();
    s.system_path = s.temp_system_path;
    DefineDefaultAircraft(s);
    UpdateTimeDatarefs(s);
  }
  if (!old_temp.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(old_temp, ec);
  }
}

void RecordHostError(Host::State& s, std::string what) REQUIRES(s.mu) {
  s.host_errors.push_back(std::move(what));
}

void RequireMainThread(Host::State& s, const char* function) REQUIRES(s.mu) {
  if (std::this_thread::get_id() != s.main_thread) {
    RecordHostError(s, std::string(function) +
                           " called from a thread other than the main thread");
  }
}

std::vector<std::string> Host::HostErrors() const {
  simhost::HostLock lock(state_->mu);
  return state_->host_errors;
}

std::vector<std::string> Host::TakeHostErrors() {
  simhost::HostLock lock(state_->mu);
  std::vector<std::string> out;
  out.swap(state_->host_errors);
  return out;
}

void Host::SetReadHook(std::function<void(const std::string& name)> hook) {
  simhost::HostLock lock(state_->mu);
  state_->read_hook = std::move(hook);
}

std::string Host::SystemPath() const {
  simhost::HostLock lock(state_->mu);
  return state_->system_path;
}

// The temporary folder Reset made goes away when it is replaced and still
// empty; a folder the plugin already wrote into is left for inspection.
void Host::SetSystemPath(const std::string& path) {
  simhost::HostLock lock(state_->mu);
  state_->system_path = path;
  if (!path.empty() && path.back() != '/') state_->system_path += '/';
  if (!state_->temp_system_path.empty() &&
      state_->temp_system_path != state_->system_path) {
    std::error_code ec;
    if (std::filesystem::remove(state_->temp_system_path, ec)) {
      state_->temp_system_path.clear();
    }
  }
}

void Host::UseOlderHost() {
  simhost::HostLock lock(state_->mu);
  state_->older_host = true;
  state_->xplane_version = 11550;
  DefineOlderHostDatarefs(*state_);
}

bool Host::IsOlderHost() const {
  simhost::HostLock lock(state_->mu);
  return state_->older_host;
}

double Host::WindSpeedUnitKnots() const {
  return IsOlderHost() ? 1.0 : 3600.0 / 1852.0;
}

void Host::SetFahrenheitAircraft(bool fahrenheit) {
  simhost::HostLock lock(state_->mu);
  SetAircraftTemperatureUnits(*state_, fahrenheit);
}

void Host::SetXPlaneVersion(int version) {
  simhost::HostLock lock(state_->mu);
  state_->xplane_version = version;
}

void Host::SetLocalReference(double latitude, double longitude) {
  simhost::HostLock lock(state_->mu);
  state_->reference_latitude = latitude;
  state_->reference_longitude = longitude;
}

}  // namespace simhost
