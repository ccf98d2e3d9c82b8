// The TCP client thread's frame assembly on arbitrary byte streams: the
// input is cut into receive pieces (each piece: one length byte, then up to
// that many bytes), assembled as the client thread does, and every complete
// frame is served and answered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "transport/frame.h"
#include "transport/request_batch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto frame = std::make_unique<tarvos::FrameAssembler>();
  size_t at = 0;
  while (at < size) {
    size_t piece = data[at++];
    // Long frames need long pieces: a length byte of 255 stands for "the
    // rest of the input".
    if (piece == 255) piece = size - at;
    if (piece > size - at) piece = size - at;
    if (piece == 0) continue;
    if (frame->Room() == 0) {
      // The client thread closes such a connection; start a new one.
      frame->Reset();
    }
    if (piece > frame->Room()) piece = frame->Room();
    std::memcpy(frame->WritePointer(), data + at, piece);
    at += piece;
    auto state = frame->OnReceived(piece);
    if (state != tarvos::FrameAssembler::State::kComplete) continue;
    if (frame->RecordLength() + tarvos::kFrameOverhead >
        tarvos::kFrameBufferSize) {
      __builtin_trap();  // a complete frame always fits the buffer
    }
    tarvos::BatchResult r = tarvos::ServeRequestBatch(
        frame->RecordArea(), frame->RecordLength(), '*');
    size_t reply = frame->MakeReply(r.result, r.used_length);
    if (reply > tarvos::kFrameBufferSize) __builtin_trap();
    frame->Reset();
  }
  return 0;
}
