// TCP framing: a request batch wrapped in a frame, and the per-connection
// assembly of frames from the pieces recv() hands over.
//
// Frame layout (little-endian; wire format, never change):
//   | Byte    | Size | Field                                          |
//   | 0       | 2    | type: 1 request, 2 successful reply            |
//   | 2       | 2    | len: bytes of the record area                  |
//   | 4       | len  | record area: a request batch (request_batch.h) |
//   | 4 + len | 2    | len again                                      |
//   | 6 + len | 2    | 0xFADE                                         |
//
// A failed batch (invalid record id) is answered with the single byte 0.
//
// Threads: a FrameAssembler belongs to one client thread.
#ifndef TARVOS_TRANSPORT_FRAME_H_
#define TARVOS_TRANSPORT_FRAME_H_

#include <cstddef>
#include <cstdint>

namespace tarvos {

inline constexpr uint16_t kFrameTypeRequest = 1;
inline constexpr uint16_t kFrameTypeReply = 2;
inline constexpr uint16_t kFrameTrailer = 0xFADE;
inline constexpr size_t kFrameHeaderSize = 4;
inline constexpr size_t kFrameOverhead = 8;  // header + trailer
// Receive buffer of a client thread; a frame must fit it whole.
inline constexpr size_t kFrameBufferSize = 32767;
// A first piece shorter than this is dropped.
inline constexpr size_t kFrameMinFirstPiece = 8;

class FrameAssembler {
 public:
  enum class State {
    kIncomplete,  // keep receiving into WritePointer()
    kDropped,     // first piece too short or not a request: discarded
    kComplete,    // a frame is ready: RecordArea(), RecordLength()
  };

  FrameAssembler() = default;

  // Where the next recv() writes, and how much room is left there. Room 0
  // means the frame can never complete (it is larger than the buffer).
  uint8_t* WritePointer() { return buffer_ + received_; }
  size_t Room() const { return kFrameBufferSize - received_; }

  // Accounts for `n` bytes just received at WritePointer() (n <= Room()).
  State OnReceived(size_t n);

  // Valid after kComplete: the record area and its length (len).
  uint8_t* RecordArea() { return buffer_ + kFrameHeaderSize; }
  size_t RecordLength() const { return len_; }
  uint8_t* Buffer() { return buffer_; }

  // Turns the served frame into its reply in the buffer and returns the
  // number of bytes to send from Buffer(): the frame with type 2 cut to
  // 8 + used_length when the batch was served, else the single byte 0.
  size_t MakeReply(int result, size_t used_length);

  // Clears the buffer for the next frame. Bytes that followed a complete
  // frame in the same piece are discarded with it.
  void Reset();

 private:
  uint8_t buffer_[kFrameBufferSize] = {};
  size_t received_ = 0;  // bytes of the current frame so far
  size_t len_ = 0;       // record area length of the current frame
};

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_FRAME_H_
