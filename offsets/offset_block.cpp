#include "offsets/offset_block.h"

#include <cassert>
#include <cstring>

namespace tarvos {

uint8_t OffsetBlock[kOffsetSpaceSize];
uint8_t OffsetKindMap[kOffsetSpaceSize];
int32_t RequestCount = 0;
std::atomic<int32_t> ReadLogging{0};
std::atomic<int32_t> WriteLogging{0};
std::atomic<int32_t> TuneValue{0};

void Publish(uint32_t offset, const void* bytes, size_t size) {
  assert(offset + size <= kOffsetSpaceSize && "range outside offset space");
  LockGuard<RecursiveLock> hold(OffsetLock);
  std::memcpy(OffsetBlock + offset, bytes, size);
}

bool TryPublish(uint32_t offset, const void* bytes, size_t size) {
  assert(offset + size <= kOffsetSpaceSize && "range outside offset space");
  if (!OffsetLock.TryAcquire()) return false;
  std::memcpy(OffsetBlock + offset, bytes, size);
  OffsetLock.Release();
  return true;
}

void Fetch(uint32_t offset, void* out, size_t size) {
  assert(offset + size <= kOffsetSpaceSize && "range outside offset space");
  LockGuard<RecursiveLock> hold(OffsetLock);
  std::memcpy(out, OffsetBlock + offset, size);
}

bool IsWriteProtected(uint32_t offset) {
  return OffsetKindMap[offset & 0xFFFF] == kOffsetWriteProtected;
}

void ResetOffsetSpace() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  std::memset(OffsetBlock, 0, sizeof OffsetBlock);
  std::memset(OffsetKindMap, kOffsetOrdinary, sizeof OffsetKindMap);
}

}  // namespace tarvos
