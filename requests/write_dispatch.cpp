#include "requests/write_dispatch.h"

#include <algorithm>
#include <cstring>

#include "offsets/offset_block.h"
#include "requests/read_refresh.h"
#include "requests/write_handlers.h"
#include "requests/write_targets.h"
#include "userconfig/user_offsets.h"

namespace tarvos {

int ApplyWrite(const uint8_t* data, uint32_t offset, uint32_t size) {
  // 64 bits, so that stepping over an item near the end of a range close to
  // 2^32 cannot wrap around.
  uint64_t i = 0;
  while (i < size) {
    uint32_t n = offset + static_cast<uint32_t>(i);  // 32-bit sum
    uint32_t available = static_cast<uint32_t>(size - i);
    uint16_t low = static_cast<uint16_t>(n);

    // User commands fire in addition to whatever else handles the offset.
    if (const UserCommandEntry* cmd = FindUserCommand(low)) {
      FireUserCommands(cmd, data + i, available);
    }
    // A user offset replaces the fixed handler.
    if (const UserOffsetEntry* user = FindUserOffset(low)) {
      WriteUserOffset(user, data + i, available);
      uint32_t step = UserOffsetSize(user);
      i += step == 0 ? 1 : step;  // a zero-sized entry must not stall
      continue;
    }

    const WriteHandler* h = FindWriteHandler(n);
    if (h == nullptr) return 0;  // the transport still stores the bytes

    // An item recomputed only when a client reads it holds whatever was last
    // read or written, which may be long out of date: it is recomputed
    // first, so that the change test compares with what the simulator shows
    // now (a lever re-asserting its position after the pilot moved it acts).
    if (h->test == WriteTest::kOnChange) RefreshReadTimeItem(n);

    // The item's value: the client's bytes, completed from OffsetBlock when
    // the record ends inside the item, so a handler never reads past the
    // client's data.
    uint8_t value[kMaxWriteItemSize];
    uint32_t given = std::min<uint32_t>(available, h->size);
    std::memcpy(value, data + i, given);
    std::memcpy(value + given, OffsetBlock + n + given, h->size - given);

    // A handler none of whose references can be written here is skipped.
    bool act = h->handle != nullptr && !HandlerSuppressed(n) &&
               (h->test == WriteTest::kAlways ||
                std::memcmp(value, OffsetBlock + n, h->size) != 0);
    if (act) h->handle(n, value);
    i += h->size;
  }
  return 1;
}

}  // namespace tarvos
