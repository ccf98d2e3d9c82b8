// Loading TARVOSOffsets.cfg at Enable: where the file lives, reading it, and
// looking up the dataref and command handles its lines name.
//
// Threads: main thread only, inside Enable, before the locks exist and
// before any worker thread or flight-loop callback runs.
#ifndef TARVOS_USERCONFIG_CONFIG_LOADER_H_
#define TARVOS_USERCONFIG_CONFIG_LOADER_H_

#include <string>

#include "userconfig/user_tables.h"

namespace tarvos {

// Full path of TARVOSOffsets.cfg: the host's system folder, then
// "Resources/plugins/", every "/" replaced by the host's directory
// separator, then the file name.
std::string BuildUserConfigPath();

// Reads and parses the file at `path` into `tables`. Returns false, writing
// "Error reading TARVOSOffsets.cfg" to the StatusLog and leaving `tables`
// empty, when the file cannot be opened or read.
bool ReadUserOffsetConfig(const std::string& path, UserTables* tables);

// Looks up every dataref path and command name with the host, logging each
// one the host does not know; unknown ones keep a null handle.
void ResolveUserReferences(UserTables* tables);

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_CONFIG_LOADER_H_
