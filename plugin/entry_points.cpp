// The five entry points the simulator resolves in the loaded module. They
// are the only symbols the module exports. No exception may cross them.
#include "XPLMDefs.h"
#include "plugin/lifecycle.h"

PLUGIN_API int XPluginStart(char* name, char* signature, char* description) {
  return tarvos::PluginStart(name, signature, description);
}

PLUGIN_API void XPluginStop(void) { tarvos::PluginStop(); }

PLUGIN_API int XPluginEnable(void) { return tarvos::PluginEnable(); }

PLUGIN_API void XPluginDisable(void) { tarvos::PluginDisable(); }

PLUGIN_API void XPluginReceiveMessage(XPLMPluginID from, int message,
                                      void* param) {
  tarvos::PluginReceiveMessage(from, message, param);
}
