// TCP framing: a request batch wrapped in a frame, and the per-connection
// assembly of frames from the pieces recv() hands over.
//
// Frame layout (little-endian; wire format, never change):
//   | Byte    | Size | Field                                          |
//   | 0       | 2    | type: 1 request, 2 successful reply; 3 to 6    |
//   |         |      | push subscriptions (subscription_wire.h)       |
//   | 2       | 2    | len: bytes of the record area                  |
//   | 4       | len  | record area: a request batch (request_batch.h) |
//   | 4 + len | 2    | len again                                      |
//   | 6 + len | 2    | 0xFADE                                         |
//
// A failed batch (invalid record id) is answered with the single byte 0.
//
// A client may send frames back to back: bytes after a complete frame are
// the start of the next one. A piece that starts a frame on an empty buffer
// must hold at least 8 bytes, and a frame of a type the server does not
// take (anything but 1, 3 and 6) is dropped with everything received after
// its start.
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
    kDropped,     // first piece too short or of an unknown type: discarded
    kComplete,    // a frame is ready: Type(), RecordArea(), RecordLength()
  };

  FrameAssembler() = default;

  // Where the next recv() writes, and how much room is left there. Room 0
  // means the frame can never complete (it is larger than the buffer).
  uint8_t* WritePointer() { return buffer_ + received_; }
  size_t Room() const { return kFrameBufferSize - received_; }

  // Accounts for `n` bytes just received at WritePointer() (n <= Room()).
  State OnReceived(size_t n);

  // Valid after kComplete: the frame's type, its record area and its
  // length (len).
  uint16_t Type() const { return type_; }
  uint8_t* RecordArea() { return buffer_ + kFrameHeaderSize; }
  size_t RecordLength() const { return len_; }
  uint8_t* Buffer() { return buffer_; }

  // Turns the served frame into its reply in the buffer and returns the
  // number of bytes to send from Buffer(): the frame with type 2 cut to
  // 8 + used_length when the batch was served, else the single byte 0.
  size_t MakeReply(int result, size_t used_length);

  // After kComplete: drops the served frame and takes the bytes that
  // followed it as the start of the next one, which may be complete
  // already.
  State Next();

  // Clears the buffer, dropping everything received.
  void Reset();

  // The frame types a client may send.
  static bool AcceptedType(uint16_t type);

 private:
  // Looks at what the buffer holds from its start.
  State Evaluate();

  uint8_t buffer_[kFrameBufferSize] = {};
  size_t received_ = 0;  // bytes in the buffer, from the current frame on
  size_t len_ = 0;       // record area length of the current frame
  uint16_t type_ = 0;    // type of the current frame
};

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_FRAME_H_
