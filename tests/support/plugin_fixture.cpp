#include "tests/support/plugin_fixture.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "XPLMDefs.h"
#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/write_dispatch.h"
#include "userconfig/user_tables.h"

namespace tarvos::testing {
namespace {

// Copies out of OffsetBlock, clamped to the offset space so that a test
// asking past its end gets zeros instead of reading beyond the block.
void CopyOut(uint32_t offset, void* out, size_t size) {
  std::memset(out, 0, size);
  if (offset >= kOffsetSpaceSize) return;
  size_t n = std::min<size_t>(size, kOffsetSpaceSize - offset);
  LockGuard<RecursiveLock> lock(OffsetLock);
  std::memcpy(out, OffsetBlock + offset, n);
}

}  // namespace

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void PluginFixture::SetUp() {
  host().Reset();
  host().AttachPlugin(LinkedPluginEntryPoints());
  // What an earlier test of the same process may have left (a test binary
  // run as one process): user tables installed without an Enable, and the
  // bindings to an x737 or pushback plugin gone with the host's reset.
  ReleaseUserOffsetConfig();
  ResetLateBindingsForEnable();
  RefreshLateBindings();
}

// The host's temporary system folder goes with the test unless
// TARVOS_KEEP_TEMP is set (to look at the logs of a failed test).
void PluginFixture::TearDown() {
  if (enabled_) Disable();
  if (started_) Stop();
  if (std::getenv("TARVOS_KEEP_TEMP") == nullptr) {
    std::string folder = host().SystemPath();
    if (folder.find("/tarvos-simhost-") != std::string::npos) {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    }
  }
}

void PluginFixture::Start() {
  host().StartPlugin();
  started_ = true;
}

void PluginFixture::Enable() {
  host().EnablePlugin();
  enabled_ = true;
}

void PluginFixture::Disable() {
  host().DisablePlugin();
  enabled_ = false;
}

void PluginFixture::Stop() {
  host().StopPlugin();
  started_ = false;
}

void PluginFixture::StartAndEnable() {
  Start();
  Enable();
  Frames(1);
}

std::vector<uint8_t> PluginFixture::Bytes(uint32_t offset, uint32_t size) {
  std::vector<uint8_t> out(size);
  if (size > 0) CopyOut(offset, out.data(), size);
  return out;
}

uint16_t PluginFixture::U16(uint32_t offset) {
  uint8_t bytes[2];
  CopyOut(offset, bytes, sizeof(bytes));
  return LoadU16(bytes);
}

uint32_t PluginFixture::U32(uint32_t offset) {
  uint8_t bytes[4];
  CopyOut(offset, bytes, sizeof(bytes));
  return LoadU32(bytes);
}

int32_t PluginFixture::S32(uint32_t offset) {
  uint8_t bytes[4];
  CopyOut(offset, bytes, sizeof(bytes));
  return LoadS32(bytes);
}

int64_t PluginFixture::S64(uint32_t offset) {
  uint8_t bytes[8];
  CopyOut(offset, bytes, sizeof(bytes));
  return LoadS64(bytes);
}

double PluginFixture::F64(uint32_t offset) {
  uint8_t bytes[8];
  CopyOut(offset, bytes, sizeof(bytes));
  return LoadF64(bytes);
}

std::string PluginFixture::NextRequestLabel() {
  LockGuard<RecursiveLock> lock(OffsetLock);
  char label[32];
  std::snprintf(label, sizeof label, "Req: %06i", RequestCount + 1);
  return label;
}

void PluginFixture::Poke(uint32_t offset, const std::vector<uint8_t>& bytes) {
  if (offset >= kOffsetSpaceSize) return;
  size_t n = std::min<size_t>(bytes.size(), kOffsetSpaceSize - offset);
  LockGuard<RecursiveLock> lock(OffsetLock);
  std::memcpy(OffsetBlock + offset, bytes.data(), n);
}

int PluginFixture::Write(uint32_t offset, const std::vector<uint8_t>& bytes) {
  LockGuard<RecursiveLock> hold(OffsetLock);
  const int handled =
      ApplyWrite(bytes.data(), offset, static_cast<uint32_t>(bytes.size()));
  std::memcpy(OffsetBlock + offset, bytes.data(), bytes.size());
  return handled;
}

std::vector<simhost::SetRecord> PluginFixture::TakeSets() {
  std::vector<simhost::SetRecord> records = host().TakeSetRecords();
  for (const simhost::SetRecord& r : records) {
    EXPECT_TRUE(r.applied) << "set of " << r.name << " was ignored by the host";
    simhost::DataType kind;
    if (!host().DatarefKind(r.name, &kind)) {
      ADD_FAILURE() << "set of " << r.name << ", which was never defined";
    } else {
      EXPECT_EQ(static_cast<int>(r.type), static_cast<int>(kind))
          << "set of " << r.name << " through the setter of another type";
    }
  }
  return records;
}

std::string PluginFixture::SystemFile(const std::string& name) {
  return host().SystemPath() + name;
}

}  // namespace tarvos::testing
