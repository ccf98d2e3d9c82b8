// The plugin's lifecycle behind the five exported entry points.
//
//   load -> Start (logs written and closed, tables ready, menu built)
//        -> Enable (StatusLog open for appending, locks, callbacks scheduled)
//        -> first flight loop: DeferredStart (worker threads running)
//        -> Disable (threads ended, locks gone, StatusLog closed)
//        -> Enable again ... -> Stop (menus gone, DeferredStart unregistered)
//
// Threads: every function here runs on the simulator's main thread. None of
// them lets an exception reach the host.
#ifndef TARVOS_PLUGIN_LIFECYCLE_H_
#define TARVOS_PLUGIN_LIFECYCLE_H_

#include "XPLMDefs.h"

namespace tarvos {

// Plugin identity handed to the host by XPluginStart.
inline constexpr const char kPluginName[] = "TARVOS/TARNET";
inline constexpr const char kPluginSignature[] = "TARVOS/TARNET.";
inline constexpr const char kPluginDescription[] =
    "Serves local and network clients via offsets.";

int PluginStart(char* name, char* signature, char* description);
void PluginStop();
int PluginEnable();
void PluginDisable();
void PluginReceiveMessage(XPLMPluginID from, int message, void* param);

// One-shot flight-loop callback scheduled by Enable for the next flight
// loop: opens the start gate once, fills the aircraft model table and starts
// the worker threads. Returns 0 (not again until the next Enable).
float DeferredStart(float since_last_call, float since_last_loop, int counter,
                    void* refcon);

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_LIFECYCLE_H_
