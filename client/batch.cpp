#include "client/batch.h"

#include <cstring>

#include "offsets/coding.h"

namespace tarvos::client {
namespace {

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  size_t at = out.size();
  out.resize(at + 4);
  StoreU32(out.data() + at, v);
}

}  // namespace

size_t RequestBatch::AddRead(uint32_t offset, uint32_t size) {
  AppendU32(records_, kReadId);
  AppendU32(records_, offset);
  AppendU32(records_, size);
  AppendU32(records_, 0);  // our own field: unused
  reads_.push_back(Read{records_.size(), size});
  records_.resize(records_.size() + size, 0);
  return reads_.size() - 1;
}

void RequestBatch::AddWrite(uint32_t offset,
                            const std::vector<uint8_t>& bytes) {
  AppendU32(records_, kWriteId);
  AppendU32(records_, offset);
  AppendU32(records_, static_cast<uint32_t>(bytes.size()));
  records_.insert(records_.end(), bytes.begin(), bytes.end());
}

void RequestBatch::AddWriteU8(uint32_t offset, uint8_t v) {
  AddWrite(offset, {v});
}
void RequestBatch::AddWriteU16(uint32_t offset, uint16_t v) {
  std::vector<uint8_t> b(2);
  StoreU16(b.data(), v);
  AddWrite(offset, b);
}
void RequestBatch::AddWriteU32(uint32_t offset, uint32_t v) {
  std::vector<uint8_t> b(4);
  StoreU32(b.data(), v);
  AddWrite(offset, b);
}
void RequestBatch::AddWriteU64(uint32_t offset, uint64_t v) {
  std::vector<uint8_t> b(8);
  StoreU64(b.data(), v);
  AddWrite(offset, b);
}
void RequestBatch::AddWriteF32(uint32_t offset, float v) {
  std::vector<uint8_t> b(4);
  StoreF32(b.data(), v);
  AddWrite(offset, b);
}
void RequestBatch::AddWriteF64(uint32_t offset, double v) {
  std::vector<uint8_t> b(8);
  StoreF64(b.data(), v);
  AddWrite(offset, b);
}

void RequestBatch::Clear() {
  records_.clear();
  reads_.clear();
}

std::vector<uint8_t> RequestBatch::RecordArea() const {
  std::vector<uint8_t> area(records_);
  AppendU32(area, 0);
  return area;
}

std::vector<uint8_t> RequestBatch::Frame() const {
  return FrameAround(kFrameRequest, RecordArea());
}

std::vector<uint8_t> FrameAround(uint16_t type,
                                 const std::vector<uint8_t>& area) {
  std::vector<uint8_t> frame(8 + area.size());
  StoreU16(frame.data(), type);
  StoreU16(frame.data() + 2, static_cast<uint16_t>(area.size()));
  std::copy(area.begin(), area.end(), frame.begin() + 4);
  StoreU16(frame.data() + 4 + area.size(), static_cast<uint16_t>(area.size()));
  StoreU16(frame.data() + 6 + area.size(), kFrameTrailer);
  return frame;
}

bool RequestBatch::AcceptServed(const uint8_t* area, size_t size) {
  if (size != RecordAreaSize()) return false;
  for (const Read& r : reads_) {
    std::copy(area + r.data_at, area + r.data_at + r.size,
              records_.begin() + static_cast<std::ptrdiff_t>(r.data_at));
  }
  return true;
}

const uint8_t* RequestBatch::Data(size_t index) const {
  return records_.data() + reads_.at(index).data_at;
}
uint32_t RequestBatch::Size(size_t index) const {
  return reads_.at(index).size;
}
uint32_t RequestBatch::Offset(size_t index) const {
  // The offset is the second word of the read's header.
  return LoadU32(records_.data() + reads_.at(index).data_at - kReadHeader + 4);
}
void RequestBatch::SetData(size_t index, const uint8_t* bytes) {
  const Read& r = reads_.at(index);
  std::memcpy(records_.data() + r.data_at, bytes, r.size);
}

// Typed getters read only as far as the data area reaches: a narrower area
// reads as if padded with zeros.
#define TARVOS_TYPED_GETTER(Name, Type, Width, Load)    \
  Type RequestBatch::Name(size_t i) const {             \
    uint8_t bytes[8] = {};                              \
    uint32_t n = Size(i) < (Width) ? Size(i) : (Width); \
    std::copy(Data(i), Data(i) + n, bytes);             \
    return Load(bytes);                                 \
  }
TARVOS_TYPED_GETTER(U8, uint8_t, 1, LoadU8)
TARVOS_TYPED_GETTER(U16, uint16_t, 2, LoadU16)
TARVOS_TYPED_GETTER(U32, uint32_t, 4, LoadU32)
TARVOS_TYPED_GETTER(U64, uint64_t, 8, LoadU64)
TARVOS_TYPED_GETTER(S8, int8_t, 1, LoadS8)
TARVOS_TYPED_GETTER(S16, int16_t, 2, LoadS16)
TARVOS_TYPED_GETTER(S32, int32_t, 4, LoadS32)
TARVOS_TYPED_GETTER(S64, int64_t, 8, LoadS64)
TARVOS_TYPED_GETTER(F32, float, 4, LoadF32)
TARVOS_TYPED_GETTER(F64, double, 8, LoadF64)
#undef TARVOS_TYPED_GETTER

std::string RequestBatch::Text(size_t i) const {
  const char* p = reinterpret_cast<const char*>(Data(i));
  size_t n = 0;
  while (n < Size(i) && p[n] != '\0') ++n;
  return std::string(p, n);
}

std::string AcceptReplyFrame(RequestBatch& batch, const uint8_t* frame,
                             size_t size) {
  if (size == 1 && frame[0] == 0) {
    return "the server rejected the batch (invalid record)";
  }
  if (size < 8 || LoadU16(frame) != kFrameReply) return "malformed reply";
  const size_t len = LoadU16(frame + 2);
  if (size != 8 + len || LoadU16(frame + 6 + len) != kFrameTrailer) {
    return "malformed reply";
  }
  if (!batch.AcceptServed(frame + 4, len)) return "reply of the wrong size";
  return "";
}

}  // namespace tarvos::client
