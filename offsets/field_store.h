// The store step of the flight-loop refresh: a converter stages the fields
// of one value (or of one small group that belongs together) and stores them
// under a single hold of OffsetLock.
//
// Threads: used on the simulator's main thread only. TryStore never waits:
// when a client request holds OffsetLock the whole group is skipped and the
// offsets keep their previous values until the next run. Store waits, for the
// few values that must never be skipped (position, attitude, indicated
// altitude, values computed once per aircraft load).
#ifndef TARVOS_OFFSETS_FIELD_STORE_H_
#define TARVOS_OFFSETS_FIELD_STORE_H_

#include <cstddef>
#include <cstdint>

#include "base/locks.h"
#include "offsets/convert.h"

namespace tarvos {

class FieldBatch {
 public:
  // Capacity: the largest group the refresh stores at once (the local time
  // bytes and their 9-byte text) fits comfortably.
  static constexpr size_t kMaxBytes = 64;
  static constexpr size_t kMaxFields = 8;

  void Put(uint32_t offset, const uint8_t* bytes, size_t size);
  void U8(uint32_t offset, uint8_t v) { Put(offset, &v, 1); }
  void U16(uint32_t offset, uint16_t v) {
    uint8_t b[2];
    StoreU16(b, v);
    Put(offset, b, 2);
  }
  void U32(uint32_t offset, uint32_t v) {
    uint8_t b[4];
    StoreU32(b, v);
    Put(offset, b, 4);
  }
  void S64(uint32_t offset, int64_t v) {
    uint8_t b[8];
    StoreS64(b, v);
    Put(offset, b, 8);
  }
  void F64(uint32_t offset, double v) {
    uint8_t b[8];
    StoreF64(b, v);
    Put(offset, b, 8);
  }
  // Truncated toward zero and narrowed to 16 or 32 bits.
  void Trunc16(uint32_t offset, double v) { U16(offset, Low16(TruncToInt(v))); }
  void Trunc32(uint32_t offset, double v) { U32(offset, Low32(TruncToInt(v))); }

  // Stores every staged field under one try-acquire of OffsetLock. Returns
  // false, storing nothing, when the lock is busy.
  bool TryStore() EXCLUDES(OffsetLock);
  // Same with a blocking acquire.
  void Store() EXCLUDES(OffsetLock);

 private:
  void CopyIn() REQUIRES(OffsetLock);

  struct Field {
    uint32_t offset;
    uint32_t at;
    uint32_t size;
  };
  uint8_t bytes_[kMaxBytes];
  Field fields_[kMaxFields];
  size_t used_ = 0;
  size_t count_ = 0;
};

// One-field shorthands for the common case.
bool TryStoreTrunc16(uint32_t offset, double v) EXCLUDES(OffsetLock);
bool TryStoreTrunc32(uint32_t offset, double v) EXCLUDES(OffsetLock);
bool TryStoreF64(uint32_t offset, double v) EXCLUDES(OffsetLock);

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_FIELD_STORE_H_
