// Write dispatch: what a client write does beyond copying its bytes.
#ifndef TARVOS_REQUESTS_WRITE_DISPATCH_H_
#define TARVOS_REQUESTS_WRITE_DISPATCH_H_

#include <cstdint>

#include "base/locks.h"

namespace tarvos {

// Runs the handlers for a client write of `size` bytes at `offset`, before
// the transport copies the bytes into OffsetBlock (so handlers compare with
// the old value; an item that reads recompute is recomputed first, so that
// the old value is the simulator's current one). Returns 1 when every item
// was handled, 0 when it stopped at an offset no handler knows.
// REQUIRES: OffsetLock held by the caller.
int ApplyWrite(const uint8_t* data, uint32_t offset, uint32_t size)
    REQUIRES(OffsetLock);

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_WRITE_DISPATCH_H_
