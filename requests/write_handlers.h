// The fixed write handlers: one row per writable offset, gathered from the
// per-domain tables into one lookup. The dispatch (write_dispatch.cpp) only
// consults the lookup; a new domain adds its table to the list in
// write_handlers.cpp.
//
// Threads: the lookup is built once, on first use, and read-only afterwards.
// Handlers run on the transport thread serving the write, with OffsetLock
// held, before the client's bytes are copied into OffsetBlock.
#ifndef TARVOS_REQUESTS_WRITE_HANDLERS_H_
#define TARVOS_REQUESTS_WRITE_HANDLERS_H_

#include <cstdint>
#include <span>

#include "base/locks.h"

namespace tarvos {

// Whether a handler acts on every write or only when the written bytes
// differ from those in OffsetBlock (over the item's full width).
enum class WriteTest : uint8_t { kAlways, kOnChange };

// `value` holds exactly the item's size in bytes: the client's bytes, with
// any the record did not reach filled in from OffsetBlock.
// REQUIRES: OffsetLock held.
using WriteHandlerFn = void (*)(uint32_t offset, const uint8_t* value);

// Largest item a handler may declare.
inline constexpr uint32_t kMaxWriteItemSize = 64;

struct WriteHandler {
  uint16_t offset;
  uint8_t size;  // bytes the dispatch advances by
  WriteTest test;
  WriteHandlerFn handle;  // null: accepted, no action
};

// The handler starting at `offset`, or null (always null from 0x10000 on).
const WriteHandler* FindWriteHandler(uint32_t offset);

// Per-domain tables.
std::span<const WriteHandler> PositionWriteHandlers();
std::span<const WriteHandler> AutopilotWriteHandlers();
std::span<const WriteHandler> RadioWriteHandlers();
std::span<const WriteHandler> WeatherWriteHandlers();
std::span<const WriteHandler> EngineWriteHandlers();
std::span<const WriteHandler> SimulationWriteHandlers();
std::span<const WriteHandler> ControlWriteHandlers();
std::span<const WriteHandler> MessageWindowWriteHandlers();

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_WRITE_HANDLERS_H_
