#include "client/field.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "client/batch.h"
#include "offsets/coding.h"

namespace tarvos::client {
namespace {

struct TypeInfo {
  const char* name;
  FieldType type;
  uint32_t size;  // 0: sized by a suffix
};

// One row per type name; parsing and naming both use it.
constexpr TypeInfo kTypes[] = {
    {"u8", FieldType::kU8, 1},   {"u16", FieldType::kU16, 2},
    {"u32", FieldType::kU32, 4}, {"u64", FieldType::kU64, 8},
    {"s8", FieldType::kS8, 1},   {"s16", FieldType::kS16, 2},
    {"s32", FieldType::kS32, 4}, {"s64", FieldType::kS64, 8},
    {"f32", FieldType::kF32, 4}, {"f64", FieldType::kF64, 8},
    {"bcd", FieldType::kBcd, 2}, {"text", FieldType::kText, 0},
    {"hex", FieldType::kHex, 0},
};

bool ParseUnsigned(const std::string& s, uint64_t* out) {
  if (s.empty() || s[0] == '-' || s[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseSigned(const std::string& s, int64_t* out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno != 0 || end == s.c_str() || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseDouble(const std::string& s, double* out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (errno == ERANGE || end == s.c_str() || *end != '\0') return false;
  *out = v;
  return true;
}

std::string ParseType(const std::string& text, Field* field) {
  for (const TypeInfo& t : kTypes) {
    const std::string name = t.name;
    if (t.size != 0) {
      if (text != name) continue;
      field->type = t.type;
      field->size = t.size;
      return "";
    }
    if (text.compare(0, name.size(), name) != 0) continue;
    std::string suffix = text.substr(name.size());
    uint64_t n = t.type == FieldType::kText ? 256 : 1;
    if (!suffix.empty() &&
        (!ParseUnsigned(suffix, &n) || n == 0 || n > kOffsetSpaceSize)) {
      return "bad size in type '" + text + "'";
    }
    field->type = t.type;
    field->size = static_cast<uint32_t>(n);
    return "";
  }
  return "unknown type '" + text +
         "' (use u8..u64, s8..s64, f32, f64, bcd, text<N>, hex<N>)";
}

}  // namespace

std::string Field::Name() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%04X:", offset);
  std::string name = buf;
  for (const TypeInfo& t : kTypes) {
    if (t.type != type) continue;
    name += t.name;
    if (t.size == 0) name += std::to_string(size);
  }
  return name;
}

std::string ParseField(const std::string& text, Field* field) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) {
    return "'" + text + "' is not OFFSET:TYPE (for example 0x0560:s64)";
  }
  uint64_t offset = 0;
  if (!ParseUnsigned(text.substr(0, colon), &offset) ||
      offset >= kOffsetSpaceSize) {
    return "bad offset in '" + text + "' (0x0000 to 0xFFFF)";
  }
  std::string error = ParseType(text.substr(colon + 1), field);
  if (!error.empty()) return error;
  field->offset = static_cast<uint32_t>(offset);
  if (field->offset + field->size > kOffsetSpaceSize) {
    return "'" + text + "' runs past the end of the offset space";
  }
  return "";
}

std::string ParseAssignment(const std::string& text, Field* field,
                            std::vector<uint8_t>* bytes) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) {
    return "'" + text +
           "' is not OFFSET:TYPE=VALUE (for example "
           "0x0BC0:s16=1000)";
  }
  std::string error = ParseField(text.substr(0, eq), field);
  if (!error.empty()) return error;
  return EncodeValue(*field, text.substr(eq + 1), bytes);
}

std::string EncodeValue(const Field& field, const std::string& value,
                        std::vector<uint8_t>* bytes) {
  const std::string bad = "bad value '" + value + "' for " + field.Name();
  bytes->assign(field.size, 0);
  uint8_t* out = bytes->data();
  uint64_t u = 0;
  int64_t s = 0;
  double d = 0;
  switch (field.type) {
    case FieldType::kU8:
    case FieldType::kU16:
    case FieldType::kU32:
    case FieldType::kU64: {
      if (!ParseUnsigned(value, &u)) return bad;
      if (field.size < 8 && u >> (8 * field.size) != 0) return bad;
      for (uint32_t i = 0; i < field.size; ++i) out[i] = uint8_t(u >> (8 * i));
      return "";
    }
    case FieldType::kS8:
    case FieldType::kS16:
    case FieldType::kS32:
    case FieldType::kS64: {
      if (!ParseSigned(value, &s)) return bad;
      if (field.size < 8) {
        int64_t lim = int64_t{1} << (8 * field.size - 1);
        if (s < -lim || s >= lim) return bad;
      }
      for (uint32_t i = 0; i < field.size; ++i) {
        out[i] = uint8_t(static_cast<uint64_t>(s) >> (8 * i));
      }
      return "";
    }
    case FieldType::kF32:
      if (!ParseDouble(value, &d)) return bad;
      StoreF32(out, static_cast<float>(d));
      return "";
    case FieldType::kF64:
      if (!ParseDouble(value, &d)) return bad;
      StoreF64(out, d);
      return "";
    case FieldType::kBcd: {
      if (value.size() != 4) return bad + " (four digits)";
      uint16_t v = 0;
      for (char c : value) {
        if (c < '0' || c > '9') return bad + " (four digits)";
        v = static_cast<uint16_t>((v << 4) | (c - '0'));
      }
      StoreU16(out, v);
      return "";
    }
    case FieldType::kText:
      if (value.size() > field.size) return bad + " (too long)";
      std::copy(value.begin(), value.end(), out);
      return "";
    case FieldType::kHex: {
      if (value.size() != 2 * field.size) return bad + " (hex digits)";
      for (uint32_t i = 0; i < field.size; ++i) {
        uint64_t byte = 0;
        if (!ParseUnsigned("0x" + value.substr(2 * i, 2), &byte)) return bad;
        out[i] = static_cast<uint8_t>(byte);
      }
      return "";
    }
  }
  return bad;
}

std::string FormatValue(const Field& field, const uint8_t* bytes) {
  char buf[64];
  switch (field.type) {
    case FieldType::kU8:
      return std::to_string(LoadU8(bytes));
    case FieldType::kU16:
      return std::to_string(LoadU16(bytes));
    case FieldType::kU32:
      return std::to_string(LoadU32(bytes));
    case FieldType::kU64:
      return std::to_string(LoadU64(bytes));
    case FieldType::kS8:
      return std::to_string(LoadS8(bytes));
    case FieldType::kS16:
      return std::to_string(LoadS16(bytes));
    case FieldType::kS32:
      return std::to_string(LoadS32(bytes));
    case FieldType::kS64:
      return std::to_string(LoadS64(bytes));
    case FieldType::kF32:
      std::snprintf(buf, sizeof buf, "%.9g", LoadF32(bytes));
      return buf;
    case FieldType::kF64:
      std::snprintf(buf, sizeof buf, "%.17g", LoadF64(bytes));
      return buf;
    case FieldType::kBcd:
      std::snprintf(buf, sizeof buf, "%04X", LoadU16(bytes));
      return buf;
    case FieldType::kText: {
      std::string text;
      for (uint32_t i = 0; i < field.size && bytes[i] != 0; ++i) {
        char c = static_cast<char>(bytes[i]);
        text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? c : '?';
      }
      return text;
    }
    case FieldType::kHex: {
      std::string text;
      for (uint32_t i = 0; i < field.size; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        text += buf;
      }
      return text;
    }
  }
  return "";
}

}  // namespace tarvos::client
