#include "requests/read_refresh.h"

#include "requests/read_items.h"
#include "userconfig/user_offsets.h"

namespace tarvos {
namespace {

// Walks the items of [offset, offset + size), stepping over user offsets,
// and hands every read item with its offset to `visit`, which returns false
// to end the walk early. Returns 1 when the walk covered the whole range
// (or `visit` ended it), 0 when it stopped at an offset that starts no
// known item.
template <typename Visit>
int WalkReadItems(uint32_t offset, uint32_t size, Visit visit) {
  // 64 bits, so that stepping over the last item of a range that ends near
  // 2^32 cannot wrap around and walk again.
  uint64_t i = 0;
  while (i < size) {
    // The 32-bit sum, not reduced to 16 bits: from 0x10000 on only user
    // offsets (looked up by their low 16 bits) are found.
    uint32_t n = offset + static_cast<uint32_t>(i);
    if (const UserOffsetEntry* user =
            FindUserOffset(static_cast<uint16_t>(n))) {
      uint32_t step = UserOffsetSize(user);
      i += step == 0 ? 1 : step;  // a zero-sized entry must not stall the walk
      continue;
    }
    const ReadItem* item = FindReadItem(n);
    if (item == nullptr) return 0;
    if (!visit(*item, n)) return 1;
    i += item->size;
  }
  return 1;
}

}  // namespace

int RefreshForRead(uint32_t offset, uint32_t size) {
  return WalkReadItems(offset, size, [](const ReadItem& item, uint32_t n) {
    if (item.refresh != nullptr) item.refresh(n);
    return true;
  });
}

bool RangeHasReadTimeItems(uint32_t offset, uint32_t size) {
  bool found = false;
  WalkReadItems(offset, size, [&found](const ReadItem& item, uint32_t) {
    found = item.refresh != nullptr;
    return !found;
  });
  return found;
}

bool RefreshReadTimeItem(uint32_t offset) {
  if (FindUserOffset(static_cast<uint16_t>(offset)) != nullptr) return false;
  const ReadItem* item = FindReadItem(offset);
  if (item == nullptr || item->refresh == nullptr) return false;
  item->refresh(offset);
  return true;
}

}  // namespace tarvos
