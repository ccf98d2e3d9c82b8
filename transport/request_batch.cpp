#include "transport/request_batch.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "base/trace_log.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "requests/read_refresh.h"
#include "requests/write_dispatch.h"
#include "settings/settings_saves.h"

namespace tarvos {
namespace {

// The part of [offset, offset + size) that lies inside the offset space.
uint32_t ServedSize(uint32_t offset, uint32_t size) {
  if (offset >= kOffsetSpaceSize) return 0;
  return std::min<uint32_t>(size, kOffsetSpaceSize - offset);
}

// Trace copy of the served range, taken under OffsetLock so that the trace
// line shows exactly what the client received or what was stored. Reused per
// thread: the transport threads trace often and the range is at most 64 KB.
std::vector<uint8_t>& TraceCopy() {
  thread_local std::vector<uint8_t> copy;
  return copy;
}

void Trace(char marker, TraceDirection direction, uint32_t offset,
           uint32_t served) {
  WriteTraceEntry(marker, direction, offset, served, TraceCopy().data());
}

// One read record (id 1 or 4) whose data area is data[0, size).
void ServeRead(uint8_t* data, uint32_t offset, uint32_t size, char marker) {
  const uint32_t served = ServedSize(offset, size);
  const bool tracing = ReadLogging.load(std::memory_order_relaxed) != 0;
  if (tracing) TraceCopy().resize(served);
  if (served != 0) {
    LockGuard<RecursiveLock> hold(OffsetLock);
    RefreshForRead(offset, served);  // its result does not stop the copy
    std::memcpy(data, OffsetBlock + offset, served);
    if (tracing) std::memcpy(TraceCopy().data(), OffsetBlock + offset, served);
  }
  if (tracing) Trace(marker, TraceDirection::kRead, offset, served);
}

// One write record whose bytes are data[0, size).
void ServeWrite(const uint8_t* data, uint32_t offset, uint32_t size,
                char marker) {
  // Only the marker of the first byte counts; a protected write is dropped
  // whole and silently (no handler, no copy, no trace).
  if (offset < kOffsetSpaceSize && IsWriteProtected(offset)) return;
  const uint32_t served = ServedSize(offset, size);
  const bool tracing = WriteLogging.load(std::memory_order_relaxed) != 0;
  if (tracing) TraceCopy().resize(served);
  if (served != 0) {
    LockGuard<RecursiveLock> hold(OffsetLock);
    // Handlers run while OffsetBlock still holds the old bytes.
    ApplyWrite(data, offset, served);
    std::memcpy(OffsetBlock + offset, data, served);
    if (tracing) std::memcpy(TraceCopy().data(), OffsetBlock + offset, served);
  }
  // Settings a handler changed (the ATC texts) reach TARVOS.ini now that
  // OffsetLock is free again.
  FlushSettingSaves();
  if (tracing) Trace(marker, TraceDirection::kWrite, offset, served);
}

}  // namespace

BatchResult ServeRequestBatch(uint8_t* batch, size_t length, char marker,
                              BatchAccess access) {
  size_t cursor = 0;
  for (;;) {
    const size_t left = length - cursor;
    if (left < kRecordIdSize) {
      // No room for the terminating id: the batch is cut short.
      return BatchResult{0, length};
    }
    uint8_t* record = batch + cursor;
    const uint32_t id = LoadU32(record);
    if (id == kRecordEnd) return BatchResult{1, cursor + kRecordIdSize};

    size_t header = 0;
    switch (id) {
      case kRecordRead:
        header = kReadHeaderSize;
        break;
      case kRecordWideRead:
        header = kWideReadHeaderSize;
        break;
      case kRecordWrite:
        header = kWriteHeaderSize;
        break;
      default:
        header = 0;  // invalid id
        break;
    }
    uint32_t offset = 0;
    uint32_t size = 0;
    if (header != 0 && left >= header) {
      offset = LoadU32(record + 4);
      size = LoadU32(record + 8);
    }
    if (header == 0 || left < header || left - header < size) {
      // Invalid id, or a record that does not fit: the batch now ends here.
      StoreU32(record, kRecordEnd);
      return BatchResult{0, cursor + kRecordIdSize};
    }

    uint8_t* data = record + header;
    if (id == kRecordWrite) {
      // A read-only client's write is skipped like a protected one.
      if (access == BatchAccess::kReadWrite) {
        ServeWrite(data, offset, size, marker);
      }
    } else {
      ServeRead(data, offset, size, marker);
    }
    cursor += header + size;
  }
}

void CountRequest() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  // Atomic although under the lock: the trace reads the count without it.
  std::atomic_ref<int32_t>(RequestCount)
      .fetch_add(1, std::memory_order_relaxed);
}

}  // namespace tarvos
