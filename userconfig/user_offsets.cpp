#include <cstring>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "offsets/offset_block.h"
#include "userconfig/expression.h"
#include "userconfig/user_runtime.h"
#include "userconfig/value_conversion.h"

namespace tarvos {
namespace {

// Largest value size of any offset type.
constexpr uint32_t kMaxValueSize = 8;

// Gathers an entry's value as the client sent it: the record's bytes from
// the entry's offset on, and for a record shorter than the value the rest
// from OffsetBlock (those bytes stay as they are after the write, so the
// value is what the block will hold). Returns true when it differs from the
// bytes OffsetBlock holds now: only a changed value acts.
bool TakeChangedValue(uint16_t offset, uint32_t size, const uint8_t* bytes,
                      uint32_t available, uint8_t* value) REQUIRES(OffsetLock) {
  uint32_t from_client = available < size ? available : size;
  if (from_client > 0) std::memcpy(value, bytes, from_client);
  std::memcpy(value + from_client, OffsetBlock + offset + from_client,
              size - from_client);
  return std::memcmp(value, OffsetBlock + offset, size) != 0;
}

}  // namespace

const UserOffsetEntry* FindUserOffset(uint16_t offset) {
  return FindUserOffsetIn(LiveUserTables(), offset);
}

const UserCommandEntry* FindUserCommand(uint16_t offset) {
  return FindUserCommandIn(LiveUserTables(), offset);
}

uint32_t UserOffsetSize(const UserOffsetEntry* entry) {
  // Loaded entries are never empty; a size of at least 1 keeps any walk
  // moving even if one were.
  if (entry == nullptr || entry->size == 0) return 1;
  return entry->size;
}

void RefreshUserOffset(const UserOffsetEntry& entry) {
  double value = kWriteOnlyValue;
  if (entry.access != AccessMode::kWrite) {
    value =
        EvaluateExpression(entry.tokens.data(), 0, entry.tokens.size(), 0.0);
  }
  uint8_t bytes[kMaxValueSize];
  EncodeUserValue(value, entry.type, bytes);
  // The loader guarantees offset + size <= kOffsetSpaceSize.
  TryPublish(entry.offset, bytes, entry.size);
}

void RefreshUserOffsetGroup(int group) {
  if (group < 1 || group > 8) return;
  for (const UserOffsetEntry& entry : LiveUserTables().offsets) {
    if (entry.group == group) RefreshUserOffset(entry);
  }
}

void SetUserDatarefValue(const UserDatarefEntry& entry, double value) {
  if (entry.handle == nullptr) return;
  switch (entry.type) {
    case kDatarefInt:
      XPLMSetDatai(entry.handle, TruncToS32(value));
      break;
    case kDatarefFloat:
      XPLMSetDataf(entry.handle, ToFloat(value));
      break;
    case kDatarefDouble:
      XPLMSetDatad(entry.handle, value);
      break;
    case kDatarefFloatArray: {
      if (entry.index < 0) return;
      float v = ToFloat(value);
      XPLMSetDatavf(entry.handle, &v, entry.index, 1);
      break;
    }
    case kDatarefIntArray: {
      if (entry.index < 0) return;
      int v = TruncToS32(value);
      XPLMSetDatavi(entry.handle, &v, entry.index, 1);
      break;
    }
    case kDatarefData: {
      if (entry.index < 0) return;
      uint8_t v = static_cast<uint8_t>(TruncToS32(value));
      XPLMSetDatab(entry.handle, &v, entry.index, 1);
      break;
    }
    default:
      break;
  }
}

void ApplyWriteTargets(const UserOffsetEntry& entry, double value) {
  if (entry.access == AccessMode::kRead) return;
  const ExprToken* tokens = entry.tokens.data();
  const int count = entry.tokens.size();
  for (int i = 0; i < count; ++i) {
    if (tokens[i].op != ExprOp::kWriteTarget) continue;
    const UserDatarefEntry* target = FindUserDataref(tokens[i].name);
    if (target == nullptr) continue;  // reported when the file was loaded
    SetUserDatarefValue(*target,
                        EvaluateExpression(tokens, i + 1, count, value));
  }
}

void WriteUserOffset(const UserOffsetEntry* entry, const uint8_t* bytes,
                     uint32_t available) {
  if (entry == nullptr || entry->size == 0 || entry->size > kMaxValueSize) {
    return;
  }
  uint8_t value[kMaxValueSize];
  if (!TakeChangedValue(entry->offset, entry->size, bytes, available, value)) {
    return;
  }
  ApplyWriteTargets(*entry, DecodeUserValue(value, entry->type));
}

void FireUserCommands(const UserCommandEntry* entry, const uint8_t* bytes,
                      uint32_t available) {
  if (entry == nullptr || entry->size == 0 || entry->size > kMaxValueSize) {
    return;
  }
  uint8_t raw[kMaxValueSize];
  if (!TakeChangedValue(entry->offset, entry->size, bytes, available, raw)) {
    return;
  }
  const double value = DecodeUserValue(raw, entry->type);
  for (const CommandBinding& b : entry->bindings) {
    if (b.handle == nullptr) continue;
    if (value == b.value) {
      if (b.mode == 1) {
        XPLMCommandOnce(b.handle);
      } else {
        XPLMCommandBegin(b.handle);
      }
    } else if (b.mode == 0) {
      XPLMCommandEnd(b.handle);
    }
  }
}

}  // namespace tarvos
