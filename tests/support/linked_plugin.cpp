#include "tests/support/linked_plugin.h"

#include "XPLMDefs.h"

extern "C" {
int XPluginStart(char* name, char* signature, char* description);
void XPluginStop(void);
int XPluginEnable(void);
void XPluginDisable(void);
void XPluginReceiveMessage(XPLMPluginID from, int message, void* param);
}

namespace tarvos::testing {

simhost::PluginEntryPoints LinkedPluginEntryPoints() {
  simhost::PluginEntryPoints entry;
  entry.start = &XPluginStart;
  entry.stop = &XPluginStop;
  entry.enable = &XPluginEnable;
  entry.disable = &XPluginDisable;
  entry.receive_message = &XPluginReceiveMessage;
  return entry;
}

void BootLinkedPlugin(bool enable) {
  simhost::Host& host = simhost::Host::Get();
  host.Reset();
  host.AttachPlugin(LinkedPluginEntryPoints());
  host.StartPlugin();
  if (enable) host.EnablePlugin();
}

}  // namespace tarvos::testing
