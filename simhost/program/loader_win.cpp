// Loading a plugin binary with LoadLibrary, as the simulator does: the
// plugin imports the host API from XPLM_64.dll and XPWidgets_64.dll, which
// this program has already loaded from its own folder.
#include <windows.h>

#include <cstdio>

#include "simhost/host/host.h"

namespace simhost {
namespace {

// Looks up one entry point; false with a message when it is missing.
template <typename F>
bool Resolve(HMODULE module, const char* name, F* out, std::string* error) {
  FARPROC symbol = GetProcAddress(module, name);
  if (symbol == nullptr) {
    if (error != nullptr) *error = std::string("missing entry point ") + name;
    return false;
  }
  *out = reinterpret_cast<F>(reinterpret_cast<void*>(symbol));
  return true;
}

}  // namespace

bool LoadPluginBinary(const std::string& path, PluginEntryPoints* out,
                      std::string* error, void** handle) {
  if (handle != nullptr) *handle = nullptr;
  // The plugin's own folder is searched for the DLLs it depends on.
  HMODULE module =
      LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    if (error != nullptr) {
      char code[32];
      std::snprintf(code, sizeof code, "error %lu",
                    static_cast<unsigned long>(GetLastError()));
      *error = "cannot load " + path + ": " + code;
    }
    return false;
  }
  PluginEntryPoints entry;
  bool ok =
      Resolve(module, "XPluginStart", &entry.start, error) &&
      Resolve(module, "XPluginStop", &entry.stop, error) &&
      Resolve(module, "XPluginEnable", &entry.enable, error) &&
      Resolve(module, "XPluginDisable", &entry.disable, error) &&
      Resolve(module, "XPluginReceiveMessage", &entry.receive_message, error);
  if (!ok) {
    if (error != nullptr) *error += " in " + path;
    FreeLibrary(module);
    return false;
  }
  if (out != nullptr) *out = entry;
  if (handle != nullptr) *handle = module;
  return true;
}

void UnloadPluginBinary(void* handle) {
  if (handle != nullptr) FreeLibrary(static_cast<HMODULE>(handle));
}

}  // namespace simhost
