// LoadLibrary, as the simulator loads a plugin: the plugin imports the host
// API from XPLM_64.dll and XPWidgets_64.dll, which this program has already
// loaded from its own folder.
#include <windows.h>

#include "simhost/program/loader.h"

namespace simhost {

void* OpenModule(const std::string& path, std::string* why) {
  // The plugin's own folder is searched for the DLLs it depends on.
  HMODULE module =
      LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    *why = "error " + std::to_string(GetLastError());
  }
  return module;
}

void* FindSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(module), name));
}

void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

}  // namespace simhost
