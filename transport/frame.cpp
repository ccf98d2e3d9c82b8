#include "transport/frame.h"

#include <cstring>

#include "offsets/coding.h"

namespace tarvos {

FrameAssembler::State FrameAssembler::OnReceived(size_t n) {
  if (received_ == 0) {
    // First piece of a frame: it must hold the header and a request type.
    if (n < kFrameMinFirstPiece || LoadU16(buffer_) != kFrameTypeRequest) {
      std::memset(buffer_, 0, n);
      return State::kDropped;
    }
    len_ = LoadU16(buffer_ + 2);
  }
  received_ += n;
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
}

}  // namespace tarvos
