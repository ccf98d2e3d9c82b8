#include "offsets/field_store.h"

#include <cassert>
#include <cstring>

#include "offsets/offset_block.h"

namespace tarvos {

void FieldBatch::Put(uint32_t offset, const uint8_t* bytes, size_t size) {
  // Converters stage fixed, known fields; overflowing the batch or leaving
  // the offset space is a programming error, never client input.
  assert(count_ < kMaxFields && used_ + size <= kMaxBytes);
  assert(offset + size <= kOffsetSpaceSize);
  if (count_ >= kMaxFields || used_ + size > kMaxBytes ||
      offset + size > kOffsetSpaceSize) {
    return;
  }
  std::memcpy(bytes_ + used_, bytes, size);
  fields_[count_++] =
      Field{offset, static_cast<uint32_t>(used_), static_cast<uint32_t>(size)};
  used_ += size;
}

void FieldBatch::CopyIn() {
  for (size_t i = 0; i < count_; ++i) {
    const Field& f = fields_[i];
    std::memcpy(OffsetBlock + f.offset, bytes_ + f.at, f.size);
  }
}

bool FieldBatch::TryStore() {
  if (!OffsetLock.TryAcquire()) return false;
  CopyIn();
  OffsetLock.Release();
  return true;
}

void FieldBatch::Store() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  CopyIn();
}

bool TryStoreTrunc16(uint32_t offset, double v) {
  FieldBatch b;
  b.Trunc16(offset, v);
  return b.TryStore();
}

bool TryStoreTrunc32(uint32_t offset, double v) {
  FieldBatch b;
  b.Trunc32(offset, v);
  return b.TryStore();
}

bool TryStoreF64(uint32_t offset, double v) {
  FieldBatch b;
  b.F64(offset, v);
  return b.TryStore();
}

}  // namespace tarvos
