// The three user tables built from TARVOSOffsets.cfg: user offsets, user
// datarefs and user commands, with their lookups.
//
// Threads: the tables are replaced only by InstallUserTables and
// ReleaseUserOffsetConfig, which Enable and Disable call on the main thread
// while no worker thread and no flight-loop callback runs. In between they are
// read-only and read without a lock from the main thread and the transport
// threads.
#ifndef TARVOS_USERCONFIG_USER_TABLES_H_
#define TARVOS_USERCONFIG_USER_TABLES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "userconfig/expression_tokens.h"

namespace tarvos {

// Limits of one logical line of the file. Part of the file format: they
// never change.
inline constexpr int kMaxLineChars = 4095;
inline constexpr int kMaxLineTokens = 256;
inline constexpr int kMaxTokenChars = 255;
inline constexpr int kMaxCommandBindings = 256;

// Value types of Offset and Command lines ("UINT8" to "FLOAT64"). The codes
// are part of the file's meaning; never renumber them.
enum class OffsetType : uint8_t {
  kUint8 = 0,
  kSint8 = 1,
  kUint16 = 2,
  kSint16 = 3,
  kUint32 = 4,
  kSint32 = 5,
  kUint64 = 6,
  kSint64 = 7,
  kFloat32 = 8,
  kFloat64 = 9,
};

// Size in bytes of a value of `type`.
uint32_t OffsetTypeSize(OffsetType type);
// Maps a type keyword (exact, case-sensitive); false for an unknown word.
bool ParseOffsetType(std::string_view word, OffsetType* type);

// Dataref value types: the host's data-type bits. 0 means unknown: reads
// give 0 and writes are dropped.
enum DatarefTypeCode : int32_t {
  kDatarefUnknown = 0,
  kDatarefInt = 1,
  kDatarefFloat = 2,
  kDatarefDouble = 4,
  kDatarefFloatArray = 8,
  kDatarefIntArray = 16,
  kDatarefData = 32,
};
// Maps a dataref type keyword ("int", "float", ...); 0 for any other word.
int32_t ParseDatarefType(std::string_view word);

// Access modes of an Offset line ("r", "w", "rw").
enum class AccessMode : uint8_t { kRead = 0, kWrite = 1, kReadWrite = 2 };

// One Dataref line.
struct UserDatarefEntry {
  std::string name;   // local name, referred to as $name and >name
  std::string path;   // dataref path without any "[index]"
  int32_t index = 0;  // array element (or byte) index
  int32_t type = kDatarefUnknown;
  XPLMDataRef handle = nullptr;  // null until resolved or when unknown
};

// One Offset line.
struct UserOffsetEntry {
  uint16_t offset = 0;
  OffsetType type = OffsetType::kUint8;
  uint32_t size = 0;  // bytes of `type`; never 0 in a loaded table
  int32_t group = 0;  // refresh group; 1 to 8 are refreshed
  AccessMode access = AccessMode::kRead;
  TokenList tokens;  // the expression tokens after the access word
  int line = 0;      // line number in the file, for messages
};

// One mode/value/command group of a Command line.
struct CommandBinding {
  int32_t mode = 0;  // 0 hold, 1 once, anything else begin only
  double value = 0;
  std::string command;
  XPLMCommandRef handle = nullptr;  // null until resolved or when unknown
};

// One Command line.
struct UserCommandEntry {
  uint16_t offset = 0;
  OffsetType type = OffsetType::kUint8;
  uint32_t size = 0;
  std::vector<CommandBinding> bindings;
  int line = 0;
};

// The three tables as the loader produces them.
struct UserTables {
  std::vector<UserOffsetEntry> offsets;
  std::vector<UserDatarefEntry> datarefs;
  std::vector<UserCommandEntry> commands;
};

// Sorts the tables into search order: offsets by their 16-bit offset read as
// a signed number, commands by offset unsigned, datarefs by name byte-wise.
// Entries with equal keys keep their file order.
void SortUserTables(UserTables* tables);

// Makes `tables` the live tables (the previous ones are released).
void InstallUserTables(UserTables tables);
// Frees the live tables; every count becomes 0.
void ReleaseUserOffsetConfig();
// The live tables, read-only.
const UserTables& LiveUserTables();

// Binary searches of the live tables, or of given tables. With several
// entries for one key, the first in table order is found.
const UserDatarefEntry* FindUserDataref(std::string_view name);
const UserDatarefEntry* FindUserDatarefIn(const UserTables& tables,
                                          std::string_view name);
const UserOffsetEntry* FindUserOffsetIn(const UserTables& tables,
                                        uint16_t offset);
const UserCommandEntry* FindUserCommandIn(const UserTables& tables,
                                          uint16_t offset);

}  // namespace tarvos

#endif  // TARVOS_USERCONFIG_USER_TABLES_H_
