// The TCP client thread's frame assembly on arbitrary byte streams, against
// a started and enabled plugin (so complete frames reach the real record
// walk). The input is cut into receive pieces (each piece: one length byte,
// then up to that many bytes), assembled as the client thread does, and
// every complete frame is served and answered.
//
// Checked on every piece, against a model of the framing kept apart from
// the assembler: a piece is dropped exactly when it starts a frame on an
// empty buffer and is shorter than 8 bytes or of a type clients do not
// send (1, 3 and 6 they do), and a frame of such a type after another
// frame is dropped with the rest; a frame completes exactly when its
// 8 + len bytes are in and its trailer (len again, then 0xFADE) matches;
// bytes after a complete frame start the next one; a complete frame's
// record area and trailer are the bytes that were sent; a request's reply
// is the frame with type 2 cut to 8 + used length, or the single byte 0. The
// record walk gets the record area in a buffer of exactly its size, so
// AddressSanitizer sees any read past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "offsets/coding.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/frame.h"
#include "transport/request_batch.h"

namespace {

using tarvos::FrameAssembler;

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void StartPluginOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  // Enabled but no frame stepped: the worker threads are never started.
  tarvos::testing::BootLinkedPlugin(/*enable=*/true);
}

bool Accepted(uint16_t type) { return type == 1 || type == 3 || type == 6; }

// What the stream must do, worked out from the bytes alone.
struct Model {
  std::vector<uint8_t> frame;  // bytes received from the current frame on

  FrameAssembler::State Expect(const uint8_t* piece, size_t n) {
    if (frame.empty() && (n < tarvos::kFrameMinFirstPiece ||
                          !Accepted(tarvos::LoadU16(piece)))) {
      return FrameAssembler::State::kDropped;
    }
    frame.insert(frame.end(), piece, piece + n);
    return Evaluate();
  }
  FrameAssembler::State Evaluate() {
    if (frame.size() < 4) return FrameAssembler::State::kIncomplete;
    if (!Accepted(tarvos::LoadU16(frame.data()))) {
      frame.clear();
      return FrameAssembler::State::kDropped;
    }
    const size_t len = tarvos::LoadU16(frame.data() + 2);
    if (frame.size() >= len + 8 && tarvos::LoadU16(&frame[4 + len]) == len &&
        tarvos::LoadU16(&frame[6 + len]) == 0xFADE) {
      return FrameAssembler::State::kComplete;
    }
    return FrameAssembler::State::kIncomplete;
  }
  // The complete frame served: what follows it is the next frame's start.
  FrameAssembler::State Next() {
    const size_t len = tarvos::LoadU16(frame.data() + 2);
    frame.erase(frame.begin(), frame.begin() + static_cast<long>(len + 8));
    if (frame.empty()) return FrameAssembler::State::kIncomplete;
    return Evaluate();
  }
};

// Serves a complete frame as the client thread does and checks its reply.
void ServeAndCheck(FrameAssembler& assembler, const Model& model) {
  const size_t len = assembler.RecordLength();
  Check(len == tarvos::LoadU16(model.frame.data() + 2));
  Check(len + tarvos::kFrameOverhead <= tarvos::kFrameBufferSize);
  Check(std::memcmp(assembler.Buffer(), model.frame.data(), len + 8) == 0);
  Check(tarvos::LoadU16(assembler.Buffer() + 4 + len) == len);
  Check(tarvos::LoadU16(assembler.Buffer() + 6 + len) == 0xFADE);

  auto area = std::make_unique<uint8_t[]>(len);
  std::memcpy(area.get(), assembler.RecordArea(), len);
  tarvos::BatchResult r = tarvos::ServeRequestBatch(area.get(), len, '*');
  Check(r.result == 0 || r.result == 1);
  Check(r.used_length <= len);
  std::memcpy(assembler.RecordArea(), area.get(), len);

  const size_t reply = assembler.MakeReply(r.result, r.used_length);
  if (r.result != 1) {
    Check(reply == 1 && assembler.Buffer()[0] == 0);
    return;
  }
  Check(reply == 8 + r.used_length);
  Check(tarvos::LoadU16(assembler.Buffer()) == 2);
  Check(tarvos::LoadU16(assembler.Buffer() + 2) == len);
  // A batch that fills its record area ends the reply with the trailer.
  if (r.used_length == len) {
    Check(tarvos::LoadU16(assembler.Buffer() + 4 + len) == len);
    Check(tarvos::LoadU16(assembler.Buffer() + 6 + len) == 0xFADE);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StartPluginOnce();
  auto assembler = std::make_unique<FrameAssembler>();
  Model model;
  size_t at = 0;
  while (at < size) {
    size_t piece = data[at++];
    // Long frames need long pieces: a length byte of 255 stands for "the
    // rest of the input".
    if (piece == 255) piece = size - at;
    if (piece > size - at) piece = size - at;
    if (piece == 0) continue;
    if (assembler->Room() == 0) {
      // The client thread closes such a connection; start a new one.
      Check(!model.frame.empty());
      assembler->Reset();
      model.frame.clear();
    }
    if (piece > assembler->Room()) piece = assembler->Room();
    // The piece in a buffer of its own size, as recv() fills it.
    std::vector<uint8_t> received(data + at, data + at + piece);
    at += piece;
    std::memcpy(assembler->WritePointer(), received.data(), piece);
    FrameAssembler::State state = assembler->OnReceived(piece);
    Check(state == model.Expect(received.data(), piece));
    while (state == FrameAssembler::State::kComplete) {
      Check(assembler->Type() == tarvos::LoadU16(model.frame.data()));
      if (assembler->Type() == 1) ServeAndCheck(*assembler, model);
      state = assembler->Next();
      Check(state == model.Next());
    }
    Check(assembler->Room() == tarvos::kFrameBufferSize - model.frame.size());
  }
  // The write handlers' calls into the host pile up otherwise.
  simhost::Host& host = simhost::Host::Get();
  host.TakeSetRecords();
  host.TakeCommands();
  host.TakeInputs();
  return 0;
}
