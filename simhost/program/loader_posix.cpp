// The dynamic loader. The plugin's host API calls resolve against the
// loading program, which exports them.
#include <dlfcn.h>

#include "simhost/program/loader.h"

namespace simhost {

void* OpenModule(const std::string& path, std::string* why) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = dlerror();
    *why = reason != nullptr ? reason : "";
  }
  return module;
}

void* FindSymbol(void* module, const char* name) { return dlsym(module, name); }

void CloseModule(void* module) { dlclose(module); }

}  // namespace simhost
