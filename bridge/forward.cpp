#include "bridge/forward.h"

#include <cstring>

#include "offsets/coding.h"

namespace tarvos::bridge {
namespace {

constexpr uint32_t kReadId = 1;
constexpr uint32_t kWriteId = 2;
constexpr size_t kReadHeader = 16;
constexpr size_t kWriteHeader = 12;
constexpr uint16_t kRequestType = 1;
constexpr uint16_t kReplyType = 2;
constexpr uint16_t kTrailer = 0xFADE;

}  // namespace

Plan PlanBatch(uint8_t* batch, size_t size) {
  Plan plan;
  size_t cursor = 0;
  size_t group_begin = 0;
  auto stop = [&](bool zero_id) {
    if (zero_id) std::memset(batch + cursor, 0, 4);
    plan.complete = false;
  };
  for (;;) {
    if (size - cursor < 4) {  // no room for the terminating id
      stop(false);
      break;
    }
    const uint32_t id = LoadU32(batch + cursor);
    if (id == 0) break;
    size_t header = id == kReadId ? kReadHeader : kWriteHeader;
    if ((id != kReadId && id != kWriteId) || size - cursor < header) {
      stop(true);
      break;
    }
    const uint32_t data = LoadU32(batch + cursor + 8);
    if (data > size - cursor - header) {
      stop(true);
      break;
    }
    const size_t record = header + data;
    // A record that cannot travel in any frame, even alone.
    if (record + 4 > kMaxFrameRecords) {
      stop(true);
      break;
    }
    if (cursor - group_begin + record + 4 > kMaxFrameRecords) {
      plan.groups.push_back({group_begin, cursor});
      group_begin = cursor;
    }
    cursor += record;
  }
  if (cursor > group_begin) plan.groups.push_back({group_begin, cursor});
  return plan;
}

std::vector<uint8_t> RequestFrame(const uint8_t* batch, const Group& group) {
  const size_t records = group.end - group.begin;
  const auto length = static_cast<uint16_t>(records + 4);
  std::vector<uint8_t> frame(records + 12, 0);
  StoreU16(frame.data(), kRequestType);
  StoreU16(frame.data() + 2, length);
  std::memcpy(frame.data() + 4, batch + group.begin, records);
  // frame[4 + records .. 8 + records) stays the zero id.
  StoreU16(frame.data() + 8 + records, length);
  StoreU16(frame.data() + 10 + records, kTrailer);
  return frame;
}

bool ApplyReply(const uint8_t* reply, size_t reply_size, uint8_t* batch,
                const Group& group) {
  const size_t records = group.end - group.begin;
  const size_t length = records + 4;
  if (reply_size != length + 8) return false;
  if (LoadU16(reply) != kReplyType || LoadU16(reply + 2) != length ||
      LoadU16(reply + 4 + length) != length ||
      LoadU16(reply + 6 + length) != kTrailer) {
    return false;
  }
  // The served area ends with the zero id it was sent with.
  if (LoadU32(reply + 4 + records) != 0) return false;
  std::memcpy(batch + group.begin, reply + 4, records);
  return true;
}

}  // namespace tarvos::bridge
