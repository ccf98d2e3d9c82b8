#include "userconfig/user_tables.h"

#include <algorithm>
#include <utility>

namespace tarvos {
namespace {

// The live tables. Built at Enable, freed at Disable; see the header for why
// they need no lock. Heap-held and never destroyed, so a late reader during
// library unload finds empty tables rather than freed ones.
UserTables& Live() {
  static UserTables* tables = new UserTables();
  return *tables;
}

// Type keywords, one row per type: keyword, code, size.
struct OffsetTypeRow {
  std::string_view word;
  OffsetType type;
  uint32_t size;
};
constexpr OffsetTypeRow kOffsetTypes[] = {
    {"UINT8", OffsetType::kUint8, 1},     {"SINT8", OffsetType::kSint8, 1},
    {"UINT16", OffsetType::kUint16, 2},   {"SINT16", OffsetType::kSint16, 2},
    {"UINT32", OffsetType::kUint32, 4},   {"SINT32", OffsetType::kSint32, 4},
    {"UINT64", OffsetType::kUint64, 8},   {"SINT64", OffsetType::kSint64, 8},
    {"FLOAT32", OffsetType::kFloat32, 4}, {"FLOAT64", OffsetType::kFloat64, 8},
};

struct DatarefTypeRow {
  std::string_view word;
  int32_t code;
};
constexpr DatarefTypeRow kDatarefTypes[] = {
    {"int", kDatarefInt},           {"float", kDatarefFloat},
    {"double", kDatarefDouble},     {"floatarray", kDatarefFloatArray},
    {"intarray", kDatarefIntArray}, {"data", kDatarefData},
};

// Search orders. User offsets compare as signed 16-bit numbers, so 0x8000 to
// 0xFFFF come first; commands compare unsigned; names byte-wise, unsigned.
bool OffsetLess(const UserOffsetEntry& e, uint16_t key) {
  return static_cast<int16_t>(e.offset) < static_cast<int16_t>(key);
}
bool CommandLess(const UserCommandEntry& e, uint16_t key) {
  return e.offset < key;
}
bool NameLess(const UserDatarefEntry& e, std::string_view key) {
  return std::string_view(e.name).compare(key) < 0;
}

}  // namespace

uint32_t OffsetTypeSize(OffsetType type) {
  for (const OffsetTypeRow& row : kOffsetTypes) {
    if (row.type == type) return row.size;
  }
  return 0;
}

bool ParseOffsetType(std::string_view word, OffsetType* type) {
  for (const OffsetTypeRow& row : kOffsetTypes) {
    if (word == row.word) {
      *type = row.type;
      return true;
    }
  }
  return false;
}

int32_t ParseDatarefType(std::string_view word) {
  for (const DatarefTypeRow& row : kDatarefTypes) {
    if (word == row.word) return row.code;
  }
  return kDatarefUnknown;
}

void SortUserTables(UserTables* tables) {
  std::stable_sort(tables->offsets.begin(), tables->offsets.end(),
                   [](const UserOffsetEntry& a, const UserOffsetEntry& b) {
                     return OffsetLess(a, b.offset);
                   });
  std::stable_sort(tables->commands.begin(), tables->commands.end(),
                   [](const UserCommandEntry& a, const UserCommandEntry& b) {
                     return a.offset < b.offset;
                   });
  std::stable_sort(tables->datarefs.begin(), tables->datarefs.end(),
                   [](const UserDatarefEntry& a, const UserDatarefEntry& b) {
                     return NameLess(a, b.name);
                   });
}

void InstallUserTables(UserTables tables) { Live() = std::move(tables); }

void ReleaseUserOffsetConfig() {
  // Swap with empty vectors so the memory is really returned.
  UserTables empty;
  std::swap(Live(), empty);
}

const UserTables& LiveUserTables() { return Live(); }

const UserDatarefEntry* FindUserDatarefIn(const UserTables& tables,
                                          std::string_view name) {
  auto it = std::lower_bound(tables.datarefs.begin(), tables.datarefs.end(),
                             name, NameLess);
  if (it == tables.datarefs.end() || it->name != name) return nullptr;
  return &*it;
}

const UserOffsetEntry* FindUserOffsetIn(const UserTables& tables,
                                        uint16_t offset) {
  auto it = std::lower_bound(tables.offsets.begin(), tables.offsets.end(),
                             offset, OffsetLess);
  if (it == tables.offsets.end() || it->offset != offset) return nullptr;
  return &*it;
}

const UserCommandEntry* FindUserCommandIn(const UserTables& tables,
                                          uint16_t offset) {
  auto it = std::lower_bound(tables.commands.begin(), tables.commands.end(),
                             offset, CommandLess);
  if (it == tables.commands.end() || it->offset != offset) return nullptr;
  return &*it;
}

const UserDatarefEntry* FindUserDataref(std::string_view name) {
  return FindUserDatarefIn(Live(), name);
}

}  // namespace tarvos
