// The plugin's lifecycle behind the five exported entry points.
#ifndef TARVOS_PLUGIN_LIFECYCLE_H_
#define TARVOS_PLUGIN_LIFECYCLE_H_

#include "XPLMDefs.h"

namespace tarvos {

int PluginStart(char* name, char* signature, char* description);
void PluginStop();
int PluginEnable();
void PluginDisable();
void PluginReceiveMessage(XPLMPluginID from, int message, void* param);

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_LIFECYCLE_H_
