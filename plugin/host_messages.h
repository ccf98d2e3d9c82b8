// The host's notifications the plugin acts on: crash (101), aircraft loaded
// (102) and number of aircraft changed (105). Main thread only; the offsets
// they write are published under OffsetLock.
#ifndef TARVOS_PLUGIN_HOST_MESSAGES_H_
#define TARVOS_PLUGIN_HOST_MESSAGES_H_

#include "XPLMDefs.h"

namespace tarvos {

// Acts only when `from` is 0 (the simulator itself); other ids do nothing.
void HandleHostMessage(XPLMPluginID from, int message, void* param);

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_HOST_MESSAGES_H_
