// The plugin core linked into a test, benchmark or fuzz binary, attached to
// the stand-in host. Shared by every program that drives the plugin
// in-process, so none of them declares the entry points itself.
#ifndef TARVOS_TESTS_SUPPORT_LINKED_PLUGIN_H_
#define TARVOS_TESTS_SUPPORT_LINKED_PLUGIN_H_

#include "simhost/host/host.h"

namespace tarvos::testing {

// The entry points of the plugin core linked into this binary.
simhost::PluginEntryPoints LinkedPluginEntryPoints();

// Resets the host, attaches the linked plugin and starts it (reference
// tables filled); with `enable`, enables it too. No frame is stepped, so the
// deferred start has not run and no worker thread exists yet.
void BootLinkedPlugin(bool enable);

// Connects the linked plugin's socket and file fault seams to the stand-in
// host's faults (simhost/host/faults.h), so that the host's socket and
// full-disk faults reach the plugin. Stays connected for the process;
// programs that measure speed leave it unconnected.
void ConnectFaultSeams();

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_SUPPORT_LINKED_PLUGIN_H_
