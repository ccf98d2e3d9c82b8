// Push subscriptions on TCP connections: the frames a client sends to
// subscribe and unsubscribe, the answers and updates the server sends, and
// the limits that keep a connection's memory bounded.
//
// Every frame has the request envelope of frame.h (type, len, area, len,
// 0xFADE); all fields are little-endian. Wire format: only ever extended.
//
// Subscribe (type 3), client to server:
//   | 0  | 4 | id: the client's name for it, not 0; a live id is replaced  |
//   | 4  | 2 | every: 0 = every frame, n = every n ms of host time        |
//   | 6  | 2 | flags: bit 0 changes only; other bits must be 0            |
//   | 8  | 2 | count of ranges, 1 to 256                                  |
//   | 10 | 2 | 0                                                          |
//   | 12 | 8 × count | ranges: u32 offset, u32 size (size >= 1,           |
//   |    |           | offset + size <= 0x10000)                          |
// Unsubscribe (type 6), client to server: u32 id.
// Answer (type 4), server to client, one for every subscribe and
// unsubscribe: u32 id (0 when the area was too short to hold one), u32
// status (SubscriptionStatus).
// Update (type 5), server to client:
//   | 0  | 4 | id                                                         |
//   | 4  | 4 | seq: 1 = the whole first snapshot, +1 for every update     |
//   |    |   | made; one replaced before it was sent is never seen        |
//   | 8  | 4 | frame: flight-loop frames since Enable                     |
//   | 12 | 8 | time: the host's elapsed seconds at that frame (f64)       |
//   | 20 | 2 | count of records                                           |
//   | 22 | 2 | 0                                                          |
//   | 24 |   | count × (u32 offset, u16 size, the bytes), in the order    |
//   |    |   | subscribed; changes-only updates carry the changed ranges  |
//
// Threads: everything here is pure and used by any thread.
#ifndef TARVOS_TRANSPORT_SUBSCRIPTION_WIRE_H_
#define TARVOS_TRANSPORT_SUBSCRIPTION_WIRE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvos {

inline constexpr uint16_t kFrameTypeSubscribe = 3;
inline constexpr uint16_t kFrameTypeAnswer = 4;
inline constexpr uint16_t kFrameTypeUpdate = 5;
inline constexpr uint16_t kFrameTypeUnsubscribe = 6;

inline constexpr uint16_t kSubscribeChangesOnly = 0x0001;
inline constexpr size_t kSubscribeHeaderSize = 12;
inline constexpr size_t kSubscribeRangeSize = 8;
inline constexpr size_t kUpdateHeaderSize = 24;
inline constexpr size_t kUpdateRecordHeaderSize = 6;
inline constexpr size_t kAnswerAreaSize = 8;

// Limits of one connection.
inline constexpr uint32_t kMaxSubscriptionRanges = 256;
inline constexpr uint32_t kMaxSubscriptionsPerConnection = 16;
inline constexpr uint32_t kMaxSubscriptionBytes = 16384;
inline constexpr uint32_t kMaxConnectionSubscribedBytes = 32768;

// The status word of an answer (wire values).
enum class SubscriptionStatus : uint32_t {
  kDone = 0,
  kMalformed = 1,
  kTooManySubscriptions = 2,
  kBadRange = 3,
  kTooManyBytes = 4,
  kUnknownId = 5,
};

struct SubscribedRange {
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct SubscribeRequest {
  uint32_t id = 0;
  uint16_t every_ms = 0;
  bool changes_only = false;
  std::vector<SubscribedRange> ranges;
  uint32_t total_bytes = 0;  // sum of the range sizes
};

// Checks a subscribe frame's record area on its own (the per-connection
// limits are the caller's) and fills `request`: kDone, kMalformed,
// kBadRange or kTooManyBytes (more than one subscription may hold). `id` is
// set whenever the area holds one.
SubscriptionStatus ParseSubscribe(const uint8_t* area, size_t len,
                                  SubscribeRequest* request);

// The id of an unsubscribe or subscribe area (0 when it is too short).
uint32_t FrameIdOf(const uint8_t* area, size_t len);

// Writes the answer frame (16 bytes) at `out`; returns its size.
size_t WriteAnswerFrame(uint8_t* out, uint32_t id, SubscriptionStatus status);
inline constexpr size_t kAnswerFrameSize = 8 + kAnswerAreaSize;

// Bytes of an update frame for records of `data_bytes` in all.
constexpr size_t UpdateFrameSize(size_t records, size_t data_bytes) {
  return 8 + kUpdateHeaderSize + records * kUpdateRecordHeaderSize + data_bytes;
}

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_SUBSCRIPTION_WIRE_H_
