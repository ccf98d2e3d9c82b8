// User offsets and user commands from TARVOSOffsets.cfg, as the rest of the
// plugin sees them.
//
// Threads: the tables are built by Enable and released by Disable on the main
// thread while no worker thread runs; in between they are read-only, so the
// lookups need no lock of their own.
#ifndef TARVOS_USERCONFIG_USER_OFFSETS_H_
#define TARVOS_USERCONFIG_USER_OFFSETS_H_

#include <cstdint>

#include "base/locks.h"

namespace tarvos {

struct UserOffsetEntry;
struct UserCommandEntry;

// Loads TARVOSOffsets.cfg from the plugin-resources folder into the tables.
// A missing file leaves the tables empty.
void LoadUserOffsetConfig();
// Releases the tables and sets their counts to 0.
void ReleaseUserOffsetConfig();

// Refreshes every user offset of `group` (1 to 8) in table order.
void RefreshUserOffsetGroup(int group) EXCLUDES(OffsetLock);

// Lookups by offset; null when no entry starts there.
const UserOffsetEntry* FindUserOffset(uint16_t offset);
const UserCommandEntry* FindUserCommand(uint16_t offset);
// Size in bytes of the entry's value.
uint32_t UserOffsetSize(const UserOffsetEntry* entry);

// Write side, called by the write dispatch with OffsetLock held before the
// client's bytes are copied into OffsetBlock. `bytes` are the client's bytes
// from the entry's offset on, `available` how many of them the record holds;
// missing bytes are taken from OffsetBlock.
void FireUserCommands(const UserCommandEntry* entry, const uint8_t* bytes,
                      uint32_t available) REQUIRES(OffsetLock);
void WriteUserOffset(const UserOffsetEntry* entry, const uint8_t* bytes,
                     uint32_t available) REQUIRES(OffsetLock);

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_USER_OFFSETS_H_
