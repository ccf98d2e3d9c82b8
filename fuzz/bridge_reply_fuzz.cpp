// The bridge's batch walk and reply check on arbitrary bytes: the first
// part is a local batch, the rest a reply for the batch's first group. No
// input may make either reach outside its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bridge/forward.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t split = (size_t{data[0]} << 8 | data[1]) % (size - 1);
  std::vector<uint8_t> batch(data + 2, data + 2 + split);
  std::vector<uint8_t> reply(data + 2 + split, data + size);
  tarvos::bridge::Plan plan =
      tarvos::bridge::PlanBatch(batch.data(), batch.size());
  for (const tarvos::bridge::Group& g : plan.groups) {
    if (g.begin > g.end || g.end > batch.size()) __builtin_trap();
    std::vector<uint8_t> frame = tarvos::bridge::RequestFrame(batch.data(), g);
    if (frame.size() > 32767) __builtin_trap();
    tarvos::bridge::ApplyReply(reply.data(), reply.size(), batch.data(), g);
    // A reply made from the request itself always fits it.
    frame[0] = 2;
    if (!tarvos::bridge::ApplyReply(frame.data(), frame.size(), batch.data(),
                                    g)) {
      __builtin_trap();
    }
  }
  return 0;
}
