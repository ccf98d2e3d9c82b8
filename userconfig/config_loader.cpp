#include "userconfig/config_loader.h"

#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "base/file_access.h"
#include "base/status_log.h"
#include "userconfig/config_parser.h"
#include "userconfig/user_offsets.h"

namespace tarvos {

std::string BuildUserConfigPath() {
  // The host writes at most 512 bytes; the rest keeps the text terminated
  // whatever it does.
  char system_path[1024] = {};
  XPLMGetSystemPath(system_path);
  system_path[sizeof system_path - 1] = '\0';
  std::string path(system_path);
  path += "Resources/plugins";
  if (path.back() != '/') path += '/';
  const char* separator = XPLMGetDirectorySeparator();
  char sep =
      (separator != nullptr && separator[0] != '\0') ? separator[0] : '/';
  for (char& c : path) {
    if (c == '/') c = sep;
  }
  path += "TARVOSOffsets.cfg";
  return path;
}

bool ReadUserOffsetConfig(const std::string& path, UserTables* tables) {
  *tables = UserTables();
  // Only a regular file is read, and it is opened without blocking: a FIFO
  // or device of that name would otherwise hang Enable, and a directory
  // opens but cannot be read. Each is a file that cannot be read.
  std::string text;
  if (!ReadRegularFile(path, &text).ok()) {
    StatusLine("Error reading TARVOSOffsets.cfg\n");
    return false;
  }
  *tables = ParseUserOffsetConfig(text);
  return true;
}

void ResolveUserReferences(UserTables* tables) {
  for (UserDatarefEntry& d : tables->datarefs) {
    d.handle = XPLMFindDataRef(d.path.c_str());
    if (d.handle == nullptr)
      StatusLine("Dataref %s not found.\n", d.path.c_str());
  }
  for (UserCommandEntry& c : tables->commands) {
    for (CommandBinding& b : c.bindings) {
      b.handle = XPLMFindCommand(b.command.c_str());
      if (b.handle == nullptr) {
        StatusLine("Command %s not found.\n", b.command.c_str());
      }
    }
  }
}

void LoadUserOffsetConfig() {
  // Nothing may escape into Enable: a file too large for memory leaves the
  // plugin running with its fixed offsets only.
  try {
    UserTables tables;
    if (ReadUserOffsetConfig(BuildUserConfigPath(), &tables)) {
      ResolveUserReferences(&tables);
    }
    InstallUserTables(std::move(tables));
  } catch (const std::bad_alloc&) {
    InstallUserTables(UserTables());
    StatusLine("TARVOS->TARVOSOffsets.cfg too large, no user offsets\n");
  }
}

}  // namespace tarvos
