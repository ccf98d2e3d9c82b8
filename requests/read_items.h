// The map of everything a client read may start at: the read-time items,
// recomputed from the simulator when a read reaches them, and the
// maintained items, which other code keeps current and the read only steps
// over. Offsets that start no item end a read walk.
//
// Threads: the table is built once, on first use, and read-only afterwards.
// The refresh functions run on the transport thread serving the read, with
// OffsetLock held, and call the host's data getters.
#ifndef TARVOS_REQUESTS_READ_ITEMS_H_
#define TARVOS_REQUESTS_READ_ITEMS_H_

#include <cstdint>

#include "base/locks.h"

namespace tarvos {

// Recomputes the item that starts at `offset` and stores it (and, for the
// paired items, its partner) into OffsetBlock.
// REQUIRES: OffsetLock held.
using ReadItemRefresh = void (*)(uint32_t offset);

struct ReadItem {
  uint32_t size = 0;                  // bytes the walk steps over
  ReadItemRefresh refresh = nullptr;  // null for a maintained item
};

// The item starting at `offset`, or null when none starts there (always
// null from 0x10000 on).
const ReadItem* FindReadItem(uint32_t offset);

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_READ_ITEMS_H_
