// The platform's dynamic loader, as LoadPluginBinary (loader.cpp) uses it:
// dlopen on POSIX (loader_posix.cpp), LoadLibrary on Windows
// (loader_win.cpp).
#ifndef TARVOS_SIMHOST_PROGRAM_LOADER_H_
#define TARVOS_SIMHOST_PROGRAM_LOADER_H_

#include <string>

namespace simhost {

// The loaded module, or null with the loader's reason in `why`.
void* OpenModule(const std::string& path, std::string* why);
// The address of an exported symbol, or null.
void* FindSymbol(void* module, const char* name);
void CloseModule(void* module);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_PROGRAM_LOADER_H_
