#include "base/paths.h"

#include <cstring>

#include "XPLMUtilities.h"

namespace tarvos {

std::string SystemFolder() {
  // The host writes at most 512 bytes; the larger zeroed buffer and the
  // forced terminator keep a host that does not terminate from running us
  // off the end.
  char path[2048] = {};
  XPLMGetSystemPath(path);
  path[sizeof path - 1] = '\0';
  return std::string(path);
}

std::string SystemFilePath(const char* file_name) {
  return SystemFolder() + file_name;
}

}  // namespace tarvos
