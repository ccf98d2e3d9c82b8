#include "userconfig/user_offsets.h"

// Placeholder until the user offsets land: the tables are always empty.
namespace tarvos {

void LoadUserOffsetsConfig() {}
void ReleaseUserTables() {}
void RefreshUserOffsetGroup(int) {}
const UserOffsetEntry* FindUserOffset(uint16_t) { return nullptr; }
const UserCommandEntry* FindUserCommand(uint16_t) { return nullptr; }
uint32_t UserOffsetSize(const UserOffsetEntry*) { return 0; }
void FireUserCommands(const UserCommandEntry*, const uint8_t*, uint32_t) {}
void WriteUserOffset(const UserOffsetEntry*, const uint8_t*, uint32_t) {}

}  // namespace tarvos
