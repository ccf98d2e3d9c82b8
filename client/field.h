// Typed fields of the offset space as the command-line client names them:
// "0x0560:s64", "0x3E00:text32", "0x034E:bcd", "0x0BC0:s16=1000".
//
// Types: u8 u16 u32 u64, s8 s16 s32 s64, f32 f64, bcd (four-digit BCD in
// 16 bits, as frequencies are stored), text<N> (zero-terminated, N bytes,
// default 256) and hex<N> (N raw bytes shown in hex, default 1).
#ifndef TARVOS_CLIENT_FIELD_H_
#define TARVOS_CLIENT_FIELD_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tarvos::client {

enum class FieldType {
  kU8,
  kU16,
  kU32,
  kU64,
  kS8,
  kS16,
  kS32,
  kS64,
  kF32,
  kF64,
  kBcd,
  kText,
  kHex
};

struct Field {
  uint32_t offset = 0;
  FieldType type = FieldType::kU8;
  uint32_t size = 1;         // bytes at offset
  std::string Name() const;  // "0x0560:s64"
};

// Parses "OFFSET:TYPE"; OFFSET is hex with 0x or decimal and must lie in
// the offset space together with its size. Empty string on success.
std::string ParseField(const std::string& text, Field* field);
// Parses "OFFSET:TYPE=VALUE" into the field and the bytes to write.
std::string ParseAssignment(const std::string& text, Field* field,
                            std::vector<uint8_t>* bytes);
// Encodes a value text for a field (range-checked). Empty string on success.
std::string EncodeValue(const Field& field, const std::string& value,
                        std::vector<uint8_t>* bytes);
// Formats `field.size` bytes as the field's type.
std::string FormatValue(const Field& field, const uint8_t* bytes);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_FIELD_H_
