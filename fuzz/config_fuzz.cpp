// Arbitrary TARVOSOffsets.cfg contents: the loader, then the loaded tables
// driven through a refresh of every group and a client write at every entry
// (handles stay null, so no host dataref is touched).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/locks.h"
#include "offsets/offset_block.h"
#include "userconfig/config_parser.h"
#include "userconfig/user_offsets.h"
#include "userconfig/user_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvos;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  InstallUserTables(ParseUserOffsetConfig(text));
  for (int group = 0; group <= 9; ++group) RefreshUserOffsetGroup(group);
  const UserTables& tables = LiveUserTables();
  // Client bytes: the input's first bytes, fewer than any value needs when
  // the input is short, so the missing-bytes path runs too.
  uint32_t available = size < 8 ? static_cast<uint32_t>(size) : 8;
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    for (const UserOffsetEntry& e : tables.offsets) {
      WriteUserOffset(FindUserOffset(e.offset), data, available);
    }
    for (const UserCommandEntry& c : tables.commands) {
      FireUserCommands(FindUserCommand(c.offset), data, available);
    }
  }
  ReleaseUserOffsetConfig();
  return 0;
}
