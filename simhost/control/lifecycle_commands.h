// The control channel's plugin lifecycle commands: the host disables or
// enables the plugin under test as the simulator's plugin manager does.
//
//   plugin tarvos disable     XPluginDisable, unless the plugin is not
//                             enabled (then nothing happens)
//   plugin tarvos enable      XPluginEnable, unless the plugin is enabled
//                             already; its worker threads start on the
//                             next frame. An error when the plugin is not
//                             started or its Enable returned 0.
//
// Threads: main thread only (the executor's).
#ifndef TARVOS_SIMHOST_LIFECYCLE_COMMANDS_H_
#define TARVOS_SIMHOST_LIFECYCLE_COMMANDS_H_

#include <string>
#include <vector>

namespace simhost {

// Runs `plugin tarvos VERB` (args[0] "plugin", args[1] "tarvos").
std::string ExecutePluginLifecycleCommand(const std::vector<std::string>& args);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_LIFECYCLE_COMMANDS_H_
