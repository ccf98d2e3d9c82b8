// What the plugin asks of the host's references at Enable: whether each
// reference it writes can be written and whether each one an offset needs
// exists. One status-log line per difference that changes an offset, and
// the write handlers that can have no effect are skipped.
//
// Threads: main thread, at Enable, before the worker threads start.
#ifndef TARVOS_PLUGIN_HOST_REFERENCES_H_
#define TARVOS_PLUGIN_HOST_REFERENCES_H_

#include <span>

namespace tarvos {

// Differences between what the plugin does and the current simulator that
// are known and accepted: the check against the simulator's published list
// lets them pass (and the Enable check reports the ones that change an
// offset).
enum class KnownDifferenceKind {
  kMissing,    // the name does not exist on the simulator
  kReadOnly,   // a reference the plugin writes cannot be written
  kSetterType  // a setter of another type than the reference's
};
struct KnownDifference {
  const char* name;
  KnownDifferenceKind kind;
  const char* why;
};
std::span<const KnownDifference> KnownHostDifferences();

// Asks the host about every reference the offsets and write handlers use,
// logs the differences that change an offset, suppresses the handlers that
// have no effect and takes the host's units (wind speed, engine
// temperatures) from its version. Enable calls it once the status log is
// open.
void CheckHostReferences();

// The simulator's version as the host reports it (12100 for 12.1.0).
int HostVersion();

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_HOST_REFERENCES_H_
