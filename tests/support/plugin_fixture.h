// Test harness: the plugin core linked in-process, driven through the
// stand-in host. ctest runs every test in its own process
// (gtest_discover_tests), where the plugin's process-wide state is fresh; a
// test binary run as one process must pass as well, so SetUp puts back what
// tests commonly leave (user tables, late bindings), and tests compare what
// lives as long as the library by design (counters, slot ids, the settings
// in memory) with its value before the test.
#ifndef TARVOS_TESTS_SUPPORT_PLUGIN_FIXTURE_H_
#define TARVOS_TESTS_SUPPORT_PLUGIN_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"

namespace tarvos::testing {

// Reads a whole file; empty when it does not exist.
std::string ReadFileText(const std::string& path);

class PluginFixture : public ::testing::Test {
 protected:
  // Resets the host (fresh temporary system folder) and attaches the plugin.
  void SetUp() override;
  // Disables and stops the plugin when the test left it enabled or started.
  void TearDown() override;

  simhost::Host& host() { return simhost::Host::Get(); }

  void Start();    // XPluginStart
  void Enable();   // XPluginEnable
  void Disable();  // XPluginDisable
  void Stop();     // XPluginStop
  // Start, Enable and one frame, so that the deferred start has run.
  void StartAndEnable();
  void Frames(int count, float dt = 1.0f / 60.0f) {
    host().StepFrames(count, dt);
  }

  // Bytes of OffsetBlock, copied under OffsetLock.
  std::vector<uint8_t> Bytes(uint32_t offset, uint32_t size);
  uint16_t U16(uint32_t offset);
  uint32_t U32(uint32_t offset);
  int32_t S32(uint32_t offset);
  int64_t S64(uint32_t offset);
  double F64(uint32_t offset);
  // "Req: NNNNNN" as the trace shows the next request batch: the count lives
  // as long as the library, so it goes on from earlier tests of the process.
  std::string NextRequestLabel();
  // Copies bytes into OffsetBlock under OffsetLock (no write handling).
  void Poke(uint32_t offset, const std::vector<uint8_t>& bytes);
  // A client write as a transport serves it, on the calling thread: the
  // write handlers, then the bytes into OffsetBlock, under OffsetLock.
  // Returns what ApplyWrite returned.
  int Write(uint32_t offset, const std::vector<uint8_t>& bytes);

  // The plugin's set calls since the last take, each checked on the way:
  // the host applied it, through the setter of the dataref's own type (so a
  // double setter on a float dataref fails the test however right the
  // value). Tests that expect an ignored set read host().TakeSetRecords().
  std::vector<simhost::SetRecord> TakeSets();

  // Files in the host's system folder.
  std::string SystemFile(const std::string& name);
  std::string StatusLogText() { return ReadFileText(SystemFile("TARVOS.txt")); }
  std::string TraceLogText() { return ReadFileText(SystemFile("TARVOS.log")); }

  bool started_ = false;
  bool enabled_ = false;
};

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_SUPPORT_PLUGIN_FIXTURE_H_
