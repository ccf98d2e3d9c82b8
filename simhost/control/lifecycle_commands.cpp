#include "simhost/control/lifecycle_commands.h"

#include "simhost/host/host.h"

namespace simhost {

std::string ExecutePluginLifecycleCommand(
    const std::vector<std::string>& args) {
  if (args.size() != 3 || (args[2] != "enable" && args[2] != "disable")) {
    return "error usage: plugin tarvos enable|disable";
  }
  Host& host = Host::Get();
  if (!host.PluginStarted()) return "error the plugin is not started";
  if (args[2] == "disable") {
    const bool was_enabled = host.PluginEnabled();
    host.DisablePlugin();
    return was_enabled ? "ok plugin tarvos disabled"
                       : "ok plugin tarvos disabled (it was not enabled)";
  }
  const bool was_enabled = host.PluginEnabled();
  if (host.EnablePlugin() == 0) return "error the plugin did not enable";
  return was_enabled ? "ok plugin tarvos enabled (it was enabled)"
                     : "ok plugin tarvos enabled";
}

}  // namespace simhost
