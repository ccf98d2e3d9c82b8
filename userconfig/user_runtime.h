// User offsets while the simulator runs: the steps behind the seam of
// user_offsets.h, exposed for tests and benchmarks.
//
// Threads: RefreshUserOffset runs on the main thread and never waits for
// OffsetLock. The write side runs on the transport thread serving a client,
// with OffsetLock held for the whole write record.
#ifndef TARVOS_USERCONFIG_USER_RUNTIME_H_
#define TARVOS_USERCONFIG_USER_RUNTIME_H_

#include <cstdint>

#include "base/locks.h"
#include "userconfig/user_offsets.h"
#include "userconfig/user_tables.h"

namespace tarvos {

// Evaluates the entry's read expression (77 for a write-only entry) outside
// the lock, then stores it with a try-lock; a busy lock drops this update.
void RefreshUserOffset(const UserOffsetEntry& entry) EXCLUDES(OffsetLock);

// Runs every write target of a "w" or "rw" entry with `value` as "@".
// Targets naming no Dataref line are skipped.
void ApplyWriteTargets(const UserOffsetEntry& entry, double value);

// Writes `value` to a user dataref by its type; unknown types, null handles
// and negative array indexes write nothing.
void SetUserDatarefValue(const UserDatarefEntry& entry, double value);

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_USER_RUNTIME_H_
