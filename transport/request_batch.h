// The request batch shared by both client transports, and its walk.
//
// A batch is a run of records laid end to end and ended by a 32-bit zero
// where the next record's id would be. All fields are little-endian. The ids
// and layouts below are the wire protocol: never change them.
//
// Read record (id 1):
//   | Byte | Size | Field                                             |
//   | 0    | 4    | id = 1                                            |
//   | 4    | 4    | offset: first byte to read                        |
//   | 8    | 4    | size: number of bytes                             |
//   | 12   | 4    | the client's own; never read or changed here      |
//   | 16   | size | data area, filled with OffsetBlock[offset, +size) |
//
// Wide read record (id 4), sent by 64-bit clients: as id 1, but the client's
// own field is 8 bytes (12..19) and the data area starts at byte 20.
//
// Write record (id 2):
//   | 0    | 4    | id = 2                    |
//   | 4    | 4    | offset                    |
//   | 8    | 4    | size                      |
//   | 12   | size | the bytes to write        |
//
// Bounds. The walk never touches memory outside the batch it is given nor
// outside OffsetBlock:
//   - a record whose header or data area does not fit in the rest of the
//     batch ends the walk as an invalid id does (its id is zeroed when the id
//     itself fits; the result is 0);
//   - a batch that ends without room for the terminating id also yields 0;
//   - a range that runs past 0xFFFF is served up to 0xFFFF: a read leaves the
//     rest of its data area untouched, a write stores (and hands to the write
//     handlers) only the part inside the offset space. Trace entries show the
//     part that was served.
//
// Threads: ServeRequestBatch runs on the transport threads. It takes
// OffsetLock once per record (refresh or write handling plus the copy) and
// TraceLock (inside WriteTraceEntry) per traced record, never both at once.
#ifndef TARVOS_TRANSPORT_REQUEST_BATCH_H_
#define TARVOS_TRANSPORT_REQUEST_BATCH_H_

#include <cstddef>
#include <cstdint>

#include "base/locks.h"

namespace tarvos {

// Record ids (wire values).
inline constexpr uint32_t kRecordEnd = 0;
inline constexpr uint32_t kRecordRead = 1;
inline constexpr uint32_t kRecordWrite = 2;
inline constexpr uint32_t kRecordWideRead = 4;

// Header sizes, i.e. where the data area of each record kind starts.
inline constexpr size_t kReadHeaderSize = 16;
inline constexpr size_t kWideReadHeaderSize = 20;
inline constexpr size_t kWriteHeaderSize = 12;
inline constexpr size_t kRecordIdSize = 4;

// Layout types (documentation and client use; the walk reads the fields
// through offsets/coding.h, never through these structs).
struct ReadRequestRecord {
  uint32_t id;      // kRecordRead
  uint32_t offset;  // first byte
  uint32_t size;    // bytes
  uint32_t client;  // the client's own
  // followed by `size` data bytes
};
struct WriteRequestRecord {
  uint32_t id;  // kRecordWrite
  uint32_t offset;
  uint32_t size;
  // followed by `size` bytes to write
};

struct BatchResult {
  // 1 when the walk ended at the terminating zero id, 0 when it stopped at an
  // invalid id or a record that does not fit.
  int result = 1;
  // Bytes from the batch start up to and including the terminating (or
  // zeroed) id. Never more than the batch length.
  size_t used_length = 0;
};

// What a batch may do: kReadOnly serves its reads and skips every write
// record as a write to a protected offset is skipped (no handler, no copy,
// no trace; the result stays 1). For TCP clients the access section of
// TARVOS.ini names as read-only (access_policy.h).
enum class BatchAccess { kReadWrite, kReadOnly };

// Serves every record of `batch` (length bytes, modified in place: read data
// areas are filled, an invalid id is zeroed). `marker` starts every trace
// line (kTraceMarkerLocal or kTraceMarkerTcp).
BatchResult ServeRequestBatch(uint8_t* batch, size_t length, char marker,
                              BatchAccess access = BatchAccess::kReadWrite)
    EXCLUDES(OffsetLock);

// Adds 1 to RequestCount under OffsetLock: once per batch, before serving it.
void CountRequest() EXCLUDES(OffsetLock);

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_REQUEST_BATCH_H_
