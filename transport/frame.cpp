#include "transport/frame.h"

#include <cstring>

#include "offsets/coding.h"
#include "transport/subscription_wire.h"

namespace tarvos {

bool FrameAssembler::AcceptedType(uint16_t type) {
  return type == kFrameTypeRequest || type == kFrameTypeSubscribe ||
         type == kFrameTypeUnsubscribe;
}

FrameAssembler::State FrameAssembler::OnReceived(size_t n) {
  if (received_ == 0 &&
      (n < kFrameMinFirstPiece || !AcceptedType(LoadU16(buffer_)))) {
    // A piece starting a frame on an empty buffer must hold its header.
    std::memset(buffer_, 0, n);
    return State::kDropped;
  }
  received_ += n;
  return Evaluate();
}

FrameAssembler::State FrameAssembler::Evaluate() {
  if (received_ < kFrameHeaderSize) return State::kIncomplete;
  type_ = LoadU16(buffer_);
  if (!AcceptedType(type_)) {
    Reset();
    return State::kDropped;
  }
  len_ = LoadU16(buffer_ + 2);
  // Complete when the whole 8 + len bytes are in and the trailer (len again,
  // then 0xFADE) matches. Only received bytes are looked at, so a len larger
  // than the buffer simply never completes.
  const size_t frame_size = kFrameOverhead + len_;
  if (received_ >= frame_size &&
      LoadU16(buffer_ + kFrameHeaderSize + len_) == len_ &&
      LoadU16(buffer_ + kFrameHeaderSize + len_ + 2) == kFrameTrailer) {
    return State::kComplete;
  }
  return State::kIncomplete;
}

FrameAssembler::State FrameAssembler::Next() {
  const size_t frame_size = kFrameOverhead + len_;
  const size_t rest = received_ - frame_size;
  std::memmove(buffer_, buffer_ + frame_size, rest);
  // What lay past the rest is zeroed, so the buffer beyond received_ stays
  // zero as Reset leaves it.
  std::memset(buffer_ + rest, 0, received_ - rest);
  received_ = rest;
  len_ = 0;
  type_ = 0;
  if (rest == 0) return State::kIncomplete;
  return Evaluate();
}

size_t FrameAssembler::MakeReply(int result, size_t used_length) {
  if (result != 1) {
    buffer_[0] = 0;
    return 1;
  }
  StoreU16(buffer_, kFrameTypeReply);
  return kFrameOverhead + used_length;
}

void FrameAssembler::Reset() {
  // Bytes past received_ are still zero from the last clear, so clearing the
  // used part leaves the whole buffer zeroed.
  std::memset(buffer_, 0, received_);
  received_ = 0;
  len_ = 0;
  type_ = 0;
}

}  // namespace tarvos
