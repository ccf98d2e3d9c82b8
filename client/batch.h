// Client side of the request batch: builds read and write records, frames
// them for TCP, and gives typed access to the data a reply brings back.
//
// Record layouts (little-endian, wire format):
//   read  (id 1): id, offset, size, 4 client bytes, then `size` data bytes
//   write (id 2): id, offset, size, then the `size` bytes to write
//   end   (id 0): one 32-bit zero after the last record
// TCP frame: type (1 request, 2 reply), len, the record area, len, 0xFADE.
#ifndef TARVOS_CLIENT_BATCH_H_
#define TARVOS_CLIENT_BATCH_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarvos::client {

inline constexpr uint32_t kReadId = 1;
inline constexpr uint32_t kWriteId = 2;
inline constexpr size_t kReadHeader = 16;
inline constexpr size_t kWriteHeader = 12;
inline constexpr uint16_t kFrameRequest = 1;
inline constexpr uint16_t kFrameReply = 2;
inline constexpr uint16_t kFrameTrailer = 0xFADE;
// The server's receive buffer holds at most this many frame bytes.
inline constexpr size_t kMaxFrameSize = 32767;
inline constexpr size_t kMaxRecordArea = kMaxFrameSize - 8;
inline constexpr uint32_t kOffsetSpaceSize = 65536;

class RequestBatch {
 public:
  // Adds a read of `size` bytes at `offset`; returns the record's index for
  // the typed getters.
  size_t AddRead(uint32_t offset, uint32_t size);
  // Adds a write of `bytes` at `offset`.
  void AddWrite(uint32_t offset, const std::vector<uint8_t>& bytes);
  void AddWriteU8(uint32_t offset, uint8_t v);
  void AddWriteU16(uint32_t offset, uint16_t v);
  void AddWriteU32(uint32_t offset, uint32_t v);
  void AddWriteU64(uint32_t offset, uint64_t v);
  void AddWriteF32(uint32_t offset, float v);
  void AddWriteF64(uint32_t offset, double v);
  void Clear();

  // The record area: every record, then the terminating zero id.
  std::vector<uint8_t> RecordArea() const;
  size_t RecordAreaSize() const { return records_.size() + 4; }
  // The request frame around the record area.
  std::vector<uint8_t> Frame() const;

  // Takes a served record area (same layout as RecordArea()) and keeps the
  // data of every read. False when its size does not match.
  bool AcceptServed(const uint8_t* area, size_t size);

  // Data of read `index` as served (zeros before a reply arrived).
  const uint8_t* Data(size_t index) const;
  uint32_t Size(size_t index) const;
  uint32_t Offset(size_t index) const;
  size_t ReadCount() const { return reads_.size(); }
  // Fills read `index` from elsewhere (a pushed update of the same range);
  // `bytes` holds Size(index) bytes.
  void SetData(size_t index, const uint8_t* bytes);

  uint8_t U8(size_t i) const;
  uint16_t U16(size_t i) const;
  uint32_t U32(size_t i) const;
  uint64_t U64(size_t i) const;
  int8_t S8(size_t i) const;
  int16_t S16(size_t i) const;
  int32_t S32(size_t i) const;
  int64_t S64(size_t i) const;
  float F32(size_t i) const;
  double F64(size_t i) const;
  // Text up to the first zero byte (or the whole data area).
  std::string Text(size_t i) const;

 private:
  struct Read {
    size_t data_at;  // position of the data area in records_
    uint32_t size;
  };
  std::vector<uint8_t> records_;
  std::vector<Read> reads_;
};

// A frame of `type` around `area`: type, len, the area, len, 0xFADE.
std::vector<uint8_t> FrameAround(uint16_t type,
                                 const std::vector<uint8_t>& area);

// Parses a reply frame of `size` bytes for `batch`: a type-2 frame carrying
// the served record area, or the single byte 0 of a rejected batch. Returns
// an empty string on success, else what went wrong.
std::string AcceptReplyFrame(RequestBatch& batch, const uint8_t* frame,
                             size_t size);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_BATCH_H_
