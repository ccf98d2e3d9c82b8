#include "requests/write_handlers.h"

#include <cassert>
#include <vector>

#include "offsets/offset_block.h"

namespace tarvos {
namespace {

// Every domain's handler table. A new domain adds its table here.
using HandlerTable = std::span<const WriteHandler> (*)();
constexpr HandlerTable kDomainTables[] = {
    PositionWriteHandlers,      AutopilotWriteHandlers,  RadioWriteHandlers,
    WeatherWriteHandlers,       EngineWriteHandlers,     ControlWriteHandlers,
    MessageWindowWriteHandlers, SimulationWriteHandlers,
};

// Offset -> the handler starting there.
class WriteHandlerMap {
 public:
  WriteHandlerMap() : index_(kOffsetSpaceSize, nullptr) {
    for (HandlerTable table : kDomainTables) {
      for (const WriteHandler& h : table()) {
        // A handler declares a fixed item inside the offset space; two
        // domains never claim the same offset.
        assert(h.size > 0 && h.size <= kMaxWriteItemSize);
        assert(uint32_t{h.offset} + h.size <= kOffsetSpaceSize);
        assert(index_[h.offset] == nullptr);
        if (h.size == 0 || h.size > kMaxWriteItemSize ||
            uint32_t{h.offset} + h.size > kOffsetSpaceSize) {
          continue;
        }
        index_[h.offset] = &h;
      }
    }
  }

  const WriteHandler* Find(uint32_t offset) const {
    return offset < kOffsetSpaceSize ? index_[offset] : nullptr;
  }

 private:
  std::vector<const WriteHandler*> index_;
};

}  // namespace

const WriteHandler* FindWriteHandler(uint32_t offset) {
  // Never freed: a transport thread may still be writing while the library
  // unloads.
  static const WriteHandlerMap* map = new WriteHandlerMap();
  return map->Find(offset);
}

}  // namespace tarvos
