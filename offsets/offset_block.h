// The offset space and the state shared by every subsystem.
//
// Threads: OffsetBlock is written by the flight-loop refresh (main thread),
// the transports and the traffic threads, always under OffsetLock; the trace
// writer alone reads it without the lock. OffsetKindMap and the handle tables
// of reference_tables.h are written only inside XPluginStart, before any other
// thread exists, and are read without a lock afterwards.
#ifndef TARVOS_OFFSETS_OFFSET_BLOCK_H_
#define TARVOS_OFFSETS_OFFSET_BLOCK_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "base/locks.h"
#include "base/thread_annotations.h"

namespace tarvos {

// Size of the offset space: offsets 0x0000 to 0xFFFF.
inline constexpr uint32_t kOffsetSpaceSize = 65536;

// Marker values of OffsetKindMap. Wire-visible behaviour: never change them.
inline constexpr uint8_t kOffsetOrdinary = 1;
inline constexpr uint8_t kOffsetWriteProtected = 2;

// The published byte image. Byte i is the value at offset i. Cleared by
// XPluginStart and never again: it survives Disable and Enable.
extern uint8_t OffsetBlock[kOffsetSpaceSize] GUARDED_BY(OffsetLock);

// One marker per offset (kOffsetOrdinary or kOffsetWriteProtected). Only the
// marker of a write record's first byte is consulted.
extern uint8_t OffsetKindMap[kOffsetSpaceSize];

// Request batches served since the library was loaded; never reset. Printed
// in the trace lines of its batch (read there without the lock).
extern int32_t RequestCount GUARDED_BY(OffsetLock);

// Milliseconds (0 to 20) the message-window server sleeps per request.
// Atomic: read by the server thread, set by the settings code.
extern std::atomic<int32_t> TuneValue;

// Copies bytes into OffsetBlock under a blocking OffsetLock.
// REQUIRES: offset + size <= kOffsetSpaceSize (asserted; in a release build
// the part outside the space is dropped, and Fetch gives zeros for it).
void Publish(uint32_t offset, const void* bytes, size_t size)
    EXCLUDES(OffsetLock);
// Same with a try-acquire: returns false, storing nothing, when the lock is
// busy (the flight-loop rule: a skipped store is refreshed on the next run).
bool TryPublish(uint32_t offset, const void* bytes, size_t size);
// Copies bytes out of OffsetBlock under a blocking OffsetLock.
void Fetch(uint32_t offset, void* out, size_t size) EXCLUDES(OffsetLock);
// True when the marker of that offset is kOffsetWriteProtected; false for
// offsets outside the space.
bool IsWriteProtected(uint32_t offset);

// Clears OffsetBlock, sets every OffsetKindMap marker to ordinary. Called by
// XPluginStart before any other thread exists.
void ResetOffsetSpace();

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_OFFSET_BLOCK_H_
