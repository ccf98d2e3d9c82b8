#include "offsets/offset_block.h"

#include <cassert>
#include <cstring>

namespace tarvos {
namespace {

// Bytes of [offset, offset + size) that lie inside the offset space. The
// callers' ranges are fixed by the offset map; the clamp keeps a wrong one
// from ever writing or reading past the block in a release build.
size_t InSpace(uint32_t offset, size_t size) {
  if (offset >= kOffsetSpaceSize) return 0;
  const size_t room = kOffsetSpaceSize - offset;
  return size < room ? size : room;
}

}  // namespace

uint8_t OffsetBlock[kOffsetSpaceSize];
uint8_t OffsetKindMap[kOffsetSpaceSize];
int32_t RequestCount = 0;
std::atomic<int32_t> TuneValue{0};

void Publish(uint32_t offset, const void* bytes, size_t size) {
  assert(offset + size <= kOffsetSpaceSize && "range outside offset space");
  const size_t n = InSpace(offset, size);
  if (n == 0) return;
  LockGuard<RecursiveLock> hold(OffsetLock);
  std::memcpy(OffsetBlock + offset, bytes, n);
}

bool TryPublish(uint32_t offset, const void* bytes, size_t size) {
  assert(offset + size <= kOffsetSpaceSize && "range outside offset space");
  const size_t n = InSpace(offset, size);
  if (!OffsetLock.TryAcquire()) return false;
  if (n != 0) std::memcpy(OffsetBlock + offset, bytes, n);
  OffsetLock.Release();
  return true;
}

void Fetch(uint32_t offset, void* out, size_t size) {
  assert(offset + size <= kOffsetSpaceSize && "range outside offset space");
  const size_t n = InSpace(offset, size);
  // Bytes outside the space read as zero.
  if (n < size) std::memset(static_cast<uint8_t*>(out) + n, 0, size - n);
  if (n == 0) return;
  LockGuard<RecursiveLock> hold(OffsetLock);
  std::memcpy(out, OffsetBlock + offset, n);
}

bool IsWriteProtected(uint32_t offset) {
  return offset < kOffsetSpaceSize &&
         OffsetKindMap[offset] == kOffsetWriteProtected;
}

void ResetOffsetSpace() {
  LockGuard<RecursiveLock> hold(OffsetLock);
  std::memset(OffsetBlock, 0, sizeof OffsetBlock);
  std::memset(OffsetKindMap, kOffsetOrdinary, sizeof OffsetKindMap);
}

}  // namespace tarvos
