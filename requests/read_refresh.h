// Read-time refresh: recomputes the read-time items of a client read range
// just before the bytes are copied out.
#ifndef TARVOS_REQUESTS_READ_REFRESH_H_
#define TARVOS_REQUESTS_READ_REFRESH_H_

#include <cstdint>

#include "base/locks.h"

namespace tarvos {

// Walks [offset, offset + size). Returns 1 when the walk covered the whole
// range, 0 when it stopped at an offset that starts no known item.
// REQUIRES: OffsetLock held by the caller.
int RefreshForRead(uint32_t offset, uint32_t size) REQUIRES(OffsetLock);

// True when RefreshForRead over the range would recompute anything, so that
// a range sampled every frame can skip the walk when it holds only
// maintained bytes.
// REQUIRES: OffsetLock held by the caller.
bool RangeHasReadTimeItems(uint32_t offset, uint32_t size) REQUIRES(OffsetLock);

// Recomputes the one read-time item that starts at `offset`, as a read of it
// would (a user offset there hides it, as in a read); nothing for any other
// offset. Returns whether an item was recomputed.
// REQUIRES: OffsetLock held by the caller.
bool RefreshReadTimeItem(uint32_t offset) REQUIRES(OffsetLock);

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_READ_REFRESH_H_
