// How the bridge carries a local batch over TCP: the batch is walked as the
// plugin walks it, cut at record boundaries into groups that each fit one
// request frame, and every reply frame is checked against its request
// before its served records are written back into the client's batch.
//
// Everything here works on plain bytes and is the same on every platform.
#ifndef TARVOS_BRIDGE_FORWARD_H_
#define TARVOS_BRIDGE_FORWARD_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvos::bridge {

// Record bytes one request frame carries, the terminating zero id included
// (the server's receive buffer holds 32767 frame bytes, 8 of them framing).
inline constexpr size_t kMaxFrameRecords = 32767 - 8;

// A run of whole records of the batch, [begin, end), that goes in one frame.
struct Group {
  size_t begin;
  size_t end;
};

struct Plan {
  std::vector<Group> groups;  // in batch order; may be empty
  // False when the walk stopped before the batch's terminating zero id: an
  // invalid id, a record that does not fit in the batch or in one frame, or
  // no room for the terminating id. The records before it are forwarded and
  // the local request is answered 0.
  bool complete = true;
};

// Walks the batch of `size` bytes. Where the walk stops on a bad record
// whose id lies inside the batch, that id is overwritten with 0, as the
// plugin does, so the client sees where its batch ended.
Plan PlanBatch(uint8_t* batch, size_t size);

// The request frame for one group: type 1, length, the group's records and
// a zero id, the length again, 0xFADE.
std::vector<uint8_t> RequestFrame(const uint8_t* batch, const Group& group);

// Checks a reply frame against the request frame it answers (type 2, the
// same length twice, 0xFADE, as many record bytes as were sent) and writes
// its served records back over the group. False, with the batch untouched,
// for any reply that does not match.
bool ApplyReply(const uint8_t* reply, size_t reply_size, uint8_t* batch,
                const Group& group);

}  // namespace tarvos::bridge

#endif  // TARVOS_BRIDGE_FORWARD_H_
