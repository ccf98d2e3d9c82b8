#include "plugin/lifecycle.h"

#include <cstring>

// Placeholder until the lifecycle lands.
namespace tarvos {

int PluginStart(char* name, char* signature, char* description) {
  std::strcpy(name, "TARVOS/TARNET");
  std::strcpy(signature, "TARVOS/TARNET.");
  std::strcpy(description, "Serves client programs through offsets.");
  return 1;
}
void PluginStop() {}
int PluginEnable() { return 1; }
void PluginDisable() {}
void PluginReceiveMessage(XPLMPluginID, int, void*) {}

}  // namespace tarvos
