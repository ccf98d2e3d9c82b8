// Loading a plugin binary with the dynamic loader. The plugin's host API
// calls resolve against the loading program, which exports them.
#include <dlfcn.h>

#include "simhost/host/host.h"

namespace simhost {
namespace {

// Looks up one entry point; false with a message when it is missing.
template <typename F>
bool Resolve(void* handle, const char* name, F* out, std::string* error) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    if (error != nullptr) *error = std::string("missing entry point ") + name;
    return false;
  }
  *out = reinterpret_cast<F>(symbol);
  return true;
}

}  // namespace

bool LoadPluginBinary(const std::string& path, PluginEntryPoints* out,
                      std::string* error, void** handle) {
  if (handle != nullptr) *handle = nullptr;
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    if (error != nullptr) {
      const char* why = dlerror();
      *error = "cannot load " + path + ": " + (why != nullptr ? why : "");
    }
    return false;
  }
  PluginEntryPoints entry;
  bool ok =
      Resolve(lib, "XPluginStart", &entry.start, error) &&
      Resolve(lib, "XPluginStop", &entry.stop, error) &&
      Resolve(lib, "XPluginEnable", &entry.enable, error) &&
      Resolve(lib, "XPluginDisable", &entry.disable, error) &&
      Resolve(lib, "XPluginReceiveMessage", &entry.receive_message, error);
  if (!ok) {
    if (error != nullptr) *error += " in " + path;
    dlclose(lib);
    return false;
  }
  if (out != nullptr) *out = entry;
  if (handle != nullptr) {
    *handle = lib;
  }
  return true;
}

void UnloadPluginBinary(void* handle) {
  if (handle != nullptr) dlclose(handle);
}

}  // namespace simhost
