// Files of the plugin in the simulator's system folder.
#ifndef TARVOS_BASE_PATHS_H_
#define TARVOS_BASE_PATHS_H_

#include <string>

namespace tarvos {

// The simulator's system folder as the host returns it (it ends with the
// directory separator). Asked anew on every call.
std::string SystemFolder();

// SystemFolder() followed by `file_name`.
std::string SystemFilePath(const char* file_name);

// File names in the system folder.
inline constexpr const char kStatusLogFileName[] = "TARVOS.txt";
inline constexpr const char kTraceLogFileName[] = "TARVOS.log";
inline constexpr const char kSettingsFileName[] = "TARVOS.ini";

}  // namespace tarvos

#endif  // TARVOS_BASE_PATHS_H_
