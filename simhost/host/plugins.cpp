// The plugin under test (its entry points, called on the main thread) and
// the other plugins the host pretends to have loaded.
#include <span>

#include "XPLMPlugin.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// The plugin under test always has this id; 0 is the simulator itself.
constexpr XPLMPluginID kPluginUnderTestId = 1;

constexpr char kX737Signature[] = "bs.x737.plugin";
constexpr char kXPushbackSignature[] = "GoodWay.XPushBack";

// The x737 autopilot datarefs with the type and value a parked, powered
// aircraft shows: autopilot off, MCP at heading 148, 3000 ft, 120 kt.
struct PluginRow {
  const char* name;
  DataType kind;
  double value;
};
const PluginRow kX737Rows[] = {
    {"x737/systems/afds/plugin_status", DataType::kInt, 1},
    {"x737/systems/afds/CMD_A", DataType::kInt, 0},
    {"x737/systems/afds/CMD_B", DataType::kInt, 0},
    {"x737/systems/afds/HDG", DataType::kInt, 0},
    {"x737/systems/afds/HDG_magnhdg", DataType::kFloat, 148},
    {"x737/systems/afds/ALTHLD", DataType::kInt, 0},
    {"x737/systems/afds/ALTHLD_baroalt", DataType::kFloat, 3000},
    {"x737/systems/afds/VS_arm", DataType::kInt, 0},
    {"x737/systems/afds/VS", DataType::kInt, 0},
    {"x737/systems/afds/VS_vvi", DataType::kFloat, 0},
    {"x737/systems/afds/APengaged", DataType::kInt, 0},
    {"x737/systems/electrics/swBatBusPowered", DataType::kInt, 1},
    {"x737/systems/afds/fd_master", DataType::kInt, 0},
    {"x737/systems/afds/fdA_status", DataType::kInt, 0},
    {"x737/systems/afds/fdB_status", DataType::kInt, 0},
    {"x737/systems/afds/AP_A_pitch", DataType::kFloat, 0},
    {"x737/systems/afds/AP_A_roll", DataType::kFloat, 0},
    {"x737/engine/viblevel_1", DataType::kFloat, 0},
    {"x737/engine/viblevel_2", DataType::kFloat, 0},
    {"x737/systems/athr/athr_armed", DataType::kInt, 0},
    {"x737/systems/athr/N1_mode", DataType::kInt, 0},
    {"x737/systems/afds/APP", DataType::kInt, 0},
    {"x737/systems/afds/VORLOC", DataType::kInt, 0},
    {"x737/systems/athr/MCPSPD_spdmach", DataType::kFloat, 0.6},
    {"x737/systems/athr/MCPSPD_mode", DataType::kInt, 0},
    {"x737/systems/athr/MCPSPD_spdkias", DataType::kFloat, 120},
    {"x737/systems/athr/MCPSPD_spd", DataType::kFloat, 120},
    {"x737/systems/athr/MCPSPD_ismach", DataType::kInt, 0},
};
const PluginRow kXPushbackRows[] = {
    {"goodway/xpushback/PBstatus", DataType::kInt, 0},
};

// The datarefs a plugin owns; empty for plugins the host knows nothing of.
std::span<const PluginRow> RowsOf(const std::string& signature) {
  if (signature == kX737Signature) return kX737Rows;
  if (signature == kXPushbackSignature) return kXPushbackRows;
  return {};
}

}  // namespace

void DefinePluginDatarefs(Host::State& s, const std::string& signature) {
  for (const PluginRow& row : RowsOf(signature)) {
    DefineDataref(s, row.name, row.kind).scalar = row.value;
  }
}

void UndefinePluginDatarefs(Host::State& s, const std::string& signature) {
  for (const PluginRow& row : RowsOf(signature)) {
    auto it = s.by_name.find(row.name);
    if (it != s.by_name.end()) it->second->alive = false;
  }
}

XPLMPluginID Host::AddPlugin(const std::string& signature) {
  State& s = *state_;
  simhost::HostLock lock(s.mu);
  for (const OtherPlugin& p : s.other_plugins) {
    if (p.signature == signature) return p.id;
  }
  s.other_plugins.push_back({signature, s.next_plugin_id++});
  DefinePluginDatarefs(s, signature);
  return s.other_plugins.back().id;
}

void Host::RemovePlugin(const std::string& signature) {
  State& s = *state_;
  simhost::HostLock lock(s.mu);
  size_t removed = std::erase_if(s.other_plugins, [&](const OtherPlugin& p) {
    return p.signature == signature;
  });
  if (removed > 0) UndefinePluginDatarefs(s, signature);
}

bool Host::IsPluginLoaded(const std::string& signature) const {
  simhost::HostLock lock(state_->mu);
  for (const OtherPlugin& p : state_->other_plugins) {
    if (p.signature == signature) return true;
  }
  return false;
}

void Host::AttachPlugin(const PluginEntryPoints& entry_points) {
  simhost::HostLock lock(state_->mu);
  state_->plugin = entry_points;
  state_->plugin_started = false;
  state_->plugin_enabled = false;
}

// The host hands the plugin 256-byte buffers, as the simulator does.
int Host::StartPlugin() {
  PluginEntryPoints plugin;
  {
    simhost::HostLock lock(state_->mu);
    plugin = state_->plugin;
  }
  if (plugin.start == nullptr) return 0;
  char name[256] = {}, signature[256] = {}, description[256] = {};
  int result = plugin.start(name, signature, description);
  name[255] = signature[255] = description[255] = '\0';
  simhost::HostLock lock(state_->mu);
  state_->plugin_name = name;
  state_->plugin_signature = signature;
  state_->plugin_description = description;
  state_->plugin_started = result != 0;
  return result;
}

// As the simulator's plugin manager: only a started plugin is enabled, an
// enabled one is left alone, and one whose XPluginEnable returns 0 stays
// disabled.
int Host::EnablePlugin() {
  PluginEntryPoints plugin;
  {
    simhost::HostLock lock(state_->mu);
    if (!state_->plugin_started) return 0;
    if (state_->plugin_enabled) return 1;
    plugin = state_->plugin;
  }
  if (plugin.enable == nullptr) return 0;
  const bool enabled = plugin.enable() != 0;
  simhost::HostLock lock(state_->mu);
  state_->plugin_enabled = enabled;
  return enabled ? 1 : 0;
}

// A plugin that is not enabled is not disabled again.
void Host::DisablePlugin() {
  PluginEntryPoints plugin;
  {
    simhost::HostLock lock(state_->mu);
    if (!state_->plugin_enabled) return;
    plugin = state_->plugin;
    state_->plugin_enabled = false;
  }
  if (plugin.disable != nullptr) plugin.disable();
}

void Host::StopPlugin() {
  PluginEntryPoints plugin;
  {
    simhost::HostLock lock(state_->mu);
    plugin = state_->plugin;
    state_->plugin_started = false;
  }
  if (plugin.stop != nullptr) plugin.stop();
}

void Host::SendMessageToPlugin(XPLMPluginID from, int message, void* param) {
  PluginEntryPoints plugin;
  {
    simhost::HostLock lock(state_->mu);
    plugin = state_->plugin;
  }
  if (plugin.receive_message != nullptr) {
    plugin.receive_message(from, message, param);
  }
}

std::string Host::PluginName() const {
  simhost::HostLock lock(state_->mu);
  return state_->plugin_name;
}

std::string Host::PluginSignature() const {
  simhost::HostLock lock(state_->mu);
  return state_->plugin_signature;
}

std::string Host::PluginDescription() const {
  simhost::HostLock lock(state_->mu);
  return state_->plugin_description;
}

bool Host::PluginStarted() const {
  simhost::HostLock lock(state_->mu);
  return state_->plugin_started;
}

bool Host::PluginEnabled() const {
  simhost::HostLock lock(state_->mu);
  return state_->plugin_enabled;
}

}  // namespace simhost

XPLMPluginID XPLMGetMyID(void) { return simhost::kPluginUnderTestId; }

int XPLMCountPlugins(void) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  return 1 + static_cast<int>(s.other_plugins.size());
}

XPLMPluginID XPLMFindPluginBySignature(const char* inSignature) {
  if (inSignature == nullptr) return XPLM_NO_PLUGIN_ID;
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  if (!s.plugin_signature.empty() && s.plugin_signature == inSignature) {
    return simhost::kPluginUnderTestId;
  }
  for (const simhost::OtherPlugin& p : s.other_plugins) {
    if (p.signature == inSignature) return p.id;
  }
  return XPLM_NO_PLUGIN_ID;
}

int XPLMIsPluginEnabled(XPLMPluginID inPluginID) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  if (inPluginID == simhost::kPluginUnderTestId) return s.plugin_enabled;
  for (const simhost::OtherPlugin& p : s.other_plugins) {
    if (p.id == inPluginID) return p.enabled ? 1 : 0;
  }
  return 0;
}

// The plugin under test goes through its entry points (Host::EnablePlugin
// and DisablePlugin, which do nothing when it already is in that state);
// the other plugins only change their flag. Main thread only, as in the
// simulator.
int XPLMEnablePlugin(XPLMPluginID inPluginID) {
  auto& s = simhost::HostState();
  {
    simhost::HostLock lock(s.mu);
    simhost::RequireMainThread(s, "XPLMEnablePlugin");
    for (simhost::OtherPlugin& p : s.other_plugins) {
      if (p.id == inPluginID) {
        p.enabled = true;
        return 1;
      }
    }
    if (inPluginID != simhost::kPluginUnderTestId) return 0;
  }
  return simhost::Host::Get().EnablePlugin();
}

void XPLMDisablePlugin(XPLMPluginID inPluginID) {
  auto& s = simhost::HostState();
  {
    simhost::HostLock lock(s.mu);
    simhost::RequireMainThread(s, "XPLMDisablePlugin");
    for (simhost::OtherPlugin& p : s.other_plugins) {
      if (p.id == inPluginID) {
        p.enabled = false;
        return;
      }
    }
    if (inPluginID != simhost::kPluginUnderTestId) return;
  }
  simhost::Host::Get().DisablePlugin();
}
