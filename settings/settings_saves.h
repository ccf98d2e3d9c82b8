// Saves of single settings keys, queued where the caller holds OffsetLock
// and written to TARVOS.ini once it has let go.
//
// A client write of an ATC text runs on a transport thread with OffsetLock
// held, and the flight loop's position stores wait for that lock: a file
// rewrite there would stall the simulator for as long as the disk takes.
// So the writers change the setting in memory under OffsetLock and queue
// its save; FlushSettingSaves writes the queue after the lock is released
// (the transport after its write record, the settings windows after their
// change, Disable for anything left).
//
// Threads: QueueSettingSave and FlushSettingSaves may be called from any
// thread. The queue has a small lock of its own; SettingsFileLock serialises
// every rewrite of the settings file (the queued saves, WriteSettingValue
// and the default file), so two rewrites never share TARVOS.tmp. Lock
// order: SettingsFileLock, then the queue's lock; neither is held while
// taking OffsetLock.
#ifndef TARVOS_SETTINGS_SETTINGS_SAVES_H_
#define TARVOS_SETTINGS_SETTINGS_SAVES_H_

#include <string>

#include "base/locks.h"

namespace tarvos {

// Held for every rewrite of TARVOS.ini.
extern Lock SettingsFileLock;

// Queues `value` for `key` of `section`; both names must be static texts
// (they are kept until the save is written). A save of the same key still
// queued takes the new value instead (the file ends the same, and the
// queue stays as short as the number of keys).
void QueueSettingSave(const char* section, const char* key, std::string value);

// Writes every queued save, oldest first. Cheap (one atomic load) when
// nothing is queued. Must not be called with OffsetLock held on a
// transport thread (it would bring the file write back under the lock).
void FlushSettingSaves() EXCLUDES(SettingsFileLock);

// Saves queued and not yet written.
int PendingSettingSaves();

}  // namespace tarvos

#endif  // TARVOS_SETTINGS_SETTINGS_SAVES_H_
