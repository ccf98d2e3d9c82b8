// Paths, versions and the host's debug log.
#include <cstdio>
#include <string>

#include "XPLMUtilities.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// The simulator fills path buffers of this size.
constexpr size_t kPathBufferSize = 512;

constexpr int kXplmVersion = 301;

}  // namespace
}  // namespace simhost

void XPLMGetSystemPath(char* outSystemPath) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::CopyBounded(s.system_path, outSystemPath, simhost::kPathBufferSize);
}

void XPLMGetPrefsPath(char* outPrefsPath) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::CopyBounded(s.system_path + "Output/preferences/Host.prf",
                       outPrefsPath, simhost::kPathBufferSize);
}

const char* XPLMGetDirectorySeparator(void) {
#if defined(_WIN32)
  return "\\";
#else
  return "/";
#endif
}

void XPLMGetVersions(int* outXPlaneVersion, int* outXPLMVersion,
                     XPLMHostApplicationID* outHostID) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  if (outXPlaneVersion != nullptr) *outXPlaneVersion = s.xplane_version;
  if (outXPLMVersion != nullptr) *outXPLMVersion = simhost::kXplmVersion;
  if (outHostID != nullptr) *outHostID = xplm_Host_XPlane;
}

// Appends to "Log.txt" in the system folder, as the simulator keeps its own
// log there; nothing goes to the terminal.
void XPLMDebugString(const char* inString) {
  if (inString == nullptr) return;
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  if (s.system_path.empty()) return;
  std::FILE* f = std::fopen((s.system_path + "Log.txt").c_str(), "a");
  if (f == nullptr) return;
  std::fputs(inString, f);
  std::fclose(f);
}
