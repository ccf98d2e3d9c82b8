#include "transport/subscription_wire.h"

#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "transport/frame.h"

namespace tarvos {

SubscriptionStatus ParseSubscribe(const uint8_t* area, size_t len,
                                  SubscribeRequest* request) {
  *request = SubscribeRequest{};
  request->id = FrameIdOf(area, len);
  if (len < kSubscribeHeaderSize) return SubscriptionStatus::kMalformed;
  const uint16_t every = LoadU16(area + 4);
  const uint16_t flags = LoadU16(area + 6);
  const uint16_t count = LoadU16(area + 8);
  const uint16_t reserved = LoadU16(area + 10);
  if (request->id == 0 || count == 0 || count > kMaxSubscriptionRanges ||
      reserved != 0 || (flags & ~kSubscribeChangesOnly) != 0 ||
      len != kSubscribeHeaderSize + kSubscribeRangeSize * count) {
    return SubscriptionStatus::kMalformed;
  }
  request->every_ms = every;
  request->changes_only = (flags & kSubscribeChangesOnly) != 0;
  request->ranges.resize(count);
  uint64_t total = 0;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* at = area + kSubscribeHeaderSize + kSubscribeRangeSize * i;
    SubscribedRange& range = request->ranges[i];
    range.offset = LoadU32(at);
    range.size = LoadU32(at + 4);
    // 64 bits: an offset near 2^32 must not wrap into the space.
    if (range.size == 0 ||
        uint64_t{range.offset} + range.size > kOffsetSpaceSize) {
      request->ranges.clear();
      return SubscriptionStatus::kBadRange;
    }
    total += range.size;
  }
  if (total > kMaxSubscriptionBytes) {
    request->ranges.clear();
    return SubscriptionStatus::kTooManyBytes;
  }
  request->total_bytes = static_cast<uint32_t>(total);
  return SubscriptionStatus::kDone;
}

uint32_t FrameIdOf(const uint8_t* area, size_t len) {
  return len >= 4 ? LoadU32(area) : 0;
}

size_t WriteAnswerFrame(uint8_t* out, uint32_t id, SubscriptionStatus status) {
  StoreU16(out, kFrameTypeAnswer);
  StoreU16(out + 2, kAnswerAreaSize);
  StoreU32(out + 4, id);
  StoreU32(out + 8, static_cast<uint32_t>(status));
  StoreU16(out + 12, kAnswerAreaSize);
  StoreU16(out + 14, kFrameTrailer);
  return kAnswerFrameSize;
}

}  // namespace tarvos
