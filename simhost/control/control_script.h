// Start scripts: a file of control commands (see control_commands.h) run
// once at start, for reproducible scenarios.
//
// Threads: main thread only.
#ifndef TARVOS_SIMHOST_CONTROL_SCRIPT_H_
#define TARVOS_SIMHOST_CONTROL_SCRIPT_H_

#include <cstdio>
#include <string>

#include "simhost/control/control_commands.h"

namespace simhost {

// Runs the lines of the file at `path` through `executor` in order,
// writing each command and its answer to `echo` (when not null). Stops at
// the first answer that is an error (false, with "PATH:LINE: error ..." in
// `error`) and after `quit`. A file that cannot be read, or a line longer
// than kMaxControlLineLength, is an error before anything runs past it.
bool RunControlScript(const std::string& path, ControlExecutor* executor,
                      std::FILE* echo, std::string* error);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_CONTROL_SCRIPT_H_
