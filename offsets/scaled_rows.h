// The one converter of every plain row: a row of the offset catalogue that
// is one scaled read of one dataref carries its handle slot, accessor and
// factor, and this converter reads, scales, converts and stores it. The
// catalogue row is then both the description and the conversion; rows with
// logic of their own keep hand-written converters.
//
// Threads: main thread only (a flight-loop converter). The dataref is read
// without any lock; the value is stored under one try-acquire of
// OffsetLock, skipped when the lock is busy.
#ifndef TARVOS_OFFSETS_SCALED_ROWS_H_
#define TARVOS_OFFSETS_SCALED_ROWS_H_

#include <cstdint>

#include "base/locks.h"
#include "offsets/catalogue.h"

namespace tarvos {

// Reads, converts and stores one plain row.
void RefreshScaledRow(const OffsetRow& row) EXCLUDES(OffsetLock);

// The converter of the plain row at `kOffset`, for the refresh lists:
// Scaled<0x02B8> reads as the row it publishes.
template <uint16_t kOffset>
void Scaled() {
  static const OffsetRow* const row = FindRowAt(kOffset);
  if (row != nullptr) RefreshScaledRow(*row);
}

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_SCALED_ROWS_H_
