// Loading a plugin binary and looking up its five entry points, on top of
// the platform's loader (loader.h).
#include "simhost/program/loader.h"

#include "simhost/host/host.h"

namespace simhost {
namespace {

// Looks up one entry point; false with a message when it is missing.
template <typename F>
bool Resolve(void* module, const char* name, F* out, std::string* error) {
  void* symbol = FindSymbol(module, name);
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
  std::string why;
  void* module = OpenModule(path, &why);
  if (module == nullptr) {
    if (error != nullptr) *error = "cannot load " + path + ": " + why;
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
    CloseModule(module);
    return false;
  }
  if (out != nullptr) *out = entry;
  if (handle != nullptr) *handle = module;
  return true;
}

void UnloadPluginBinary(void* handle) {
  if (handle != nullptr) CloseModule(handle);
}

}  // namespace simhost
