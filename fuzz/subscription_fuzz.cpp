// A TCP connection's byte stream mixing requests, subscribes and
// unsubscribes, assembled and served as the client thread serves it, with
// frames ending between the pieces, against a started and enabled plugin.
// The input is cut into pieces (a length byte, then that many bytes; a
// length byte of 0 ends a simulator frame instead, sampling every
// subscription and taking its updates out as the sender would).
//
// Checked throughout: every subscribe and unsubscribe gets a status of the
// protocol, with the frame's id; the connection's subscribed bytes never
// exceed its limit; every update taken out is a well-formed frame that fits
// the client's buffer, whose records are subscribed ranges inside the
// offset space, with seq growing for each id.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/frame.h"
#include "transport/request_batch.h"
#include "transport/subscription_wire.h"
#include "transport/subscriptions.h"

namespace {

using tarvos::FrameAssembler;
using tarvos::SubscriptionStatus;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void StartPluginOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  tarvos::testing::BootLinkedPlugin(/*enable=*/true);
}

void CheckUpdates(const std::vector<uint8_t>& out,
                  std::map<uint32_t, uint32_t>& last_seq) {
  size_t at = 0;
  while (at < out.size()) {
    Check(out.size() - at >= 8 + tarvos::kUpdateHeaderSize);
    const uint8_t* f = out.data() + at;
    Check(tarvos::LoadU16(f) == tarvos::kFrameTypeUpdate);
    const size_t len = tarvos::LoadU16(f + 2);
    Check(len + 8 <= tarvos::kFrameBufferSize && at + len + 8 <= out.size());
    Check(tarvos::LoadU16(f + 4 + len) == len);
    Check(tarvos::LoadU16(f + 6 + len) == 0xFADE);
    const uint8_t* a = f + 4;
    const uint32_t id = tarvos::LoadU32(a);
    const uint32_t seq = tarvos::LoadU32(a + 4);
    Check(id != 0 && seq > last_seq[id]);
    last_seq[id] = seq;
    const uint16_t count = tarvos::LoadU16(a + 20);
    Check(count <= tarvos::kMaxSubscriptionRanges);
    size_t r = tarvos::kUpdateHeaderSize;
    for (uint16_t i = 0; i < count; ++i) {
      Check(len - r >= tarvos::kUpdateRecordHeaderSize);
      const uint32_t offset = tarvos::LoadU32(a + r);
      const uint16_t size = tarvos::LoadU16(a + r + 4);
      Check(size >= 1 && offset + size <= tarvos::kOffsetSpaceSize);
      r += tarvos::kUpdateRecordHeaderSize + size;
      Check(r <= len);
    }
    Check(r == len);
    at += len + 8;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StartPluginOnce();
  auto assembler = std::make_unique<FrameAssembler>();
  auto subs = std::make_unique<tarvos::ConnectionSubscriptions>();
  std::map<uint32_t, uint32_t> last_seq;
  std::vector<uint8_t> out;
  uint32_t frame = 0;
  size_t at = 0;
  while (at < size) {
    size_t piece = data[at++];
    if (piece == 0) {
      ++frame;
      {
        tarvos::LockGuard<tarvos::RecursiveLock> hold(tarvos::OffsetLock);
        subs->Sample(frame, frame / 60.0);
      }
      subs->TakeUpdates(&out);
      CheckUpdates(out, last_seq);
      continue;
    }
    if (piece == 255) piece = size - at;
    if (piece > size - at) piece = size - at;
    if (assembler->Room() == 0) assembler->Reset();
    if (piece > assembler->Room()) piece = assembler->Room();
    std::memcpy(assembler->WritePointer(), data + at, piece);
    at += piece;
    FrameAssembler::State state = assembler->OnReceived(piece);
    while (state == FrameAssembler::State::kComplete) {
      uint8_t* area = assembler->RecordArea();
      const size_t len = assembler->RecordLength();
      // The area in a buffer of exactly its size, so that AddressSanitizer
      // sees any read past it.
      std::vector<uint8_t> copy(area, area + len);
      uint32_t id = 0xFFFFFFFF;
      SubscriptionStatus status = SubscriptionStatus::kDone;
      switch (assembler->Type()) {
        case tarvos::kFrameTypeRequest:
          tarvos::ServeRequestBatch(copy.data(), len, '*');
          break;
        case tarvos::kFrameTypeSubscribe:
          status = subs->Subscribe(copy.data(), len, &id);
          Check(id == tarvos::FrameIdOf(copy.data(), len));
          if (status == SubscriptionStatus::kDone) {
            subs->Arm(id);
            last_seq.erase(id);  // a replacement starts again at 1
          }
          break;
        case tarvos::kFrameTypeUnsubscribe:
          status = subs->Unsubscribe(copy.data(), len, &id);
          Check(id == tarvos::FrameIdOf(copy.data(), len));
          break;
        default:
          Check(false);
      }
      Check(static_cast<uint32_t>(status) <= 5);
      Check(subs->SubscribedBytes() <= tarvos::kMaxConnectionSubscribedBytes);
      state = assembler->Next();
    }
  }
  simhost::Host& host = simhost::Host::Get();
  host.TakeSetRecords();
  host.TakeCommands();
  host.TakeInputs();
  return 0;
}
