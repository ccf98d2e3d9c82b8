// The fuzz corpora of the batch walk and the write handlers replayed through
// real window messages on Windows: every stored input, as the batch of a
// named mapping of exactly its size, goes to the plugin's window. Each is
// answered 0 or 1, and the window still serves a good batch afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/raw_local.h"
#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

namespace fs = std::filesystem;

// The source folder as Windows sees it (the build passes the host's path).
fs::path SourceDir() {
  std::string path = TARVOS_SOURCE_DIR;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return fs::path(path);
}

class WindowRequestReplayTest : public TransportFixture {};

TEST_F(WindowRequestReplayTest, CorporaAreAnsweredAndTheWindowKeepsServing) {
  StartServers();
  int replayed = 0;
  for (const char* corpus : {"batch_fuzz", "handlers_fuzz"}) {
    const fs::path dir = SourceDir() / "fuzz" / "corpus" / corpus;
    ASSERT_TRUE(fs::is_directory(dir)) << dir.string();
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
      std::ifstream in(e.path(), std::ios::binary);
      Buf batch((std::istreambuf_iterator<char>(in)),
                std::istreambuf_iterator<char>());
      if (batch.empty()) batch.push_back(0);
      const int answer = RawLocalRequest(endpoint_, &batch);
      EXPECT_TRUE(answer == 0 || answer == 1)
          << e.path().filename().string() << " answered " << answer;
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 100);
  Buf good = Cat({ReadRecord(0x3304, 4), End()});
  ASSERT_EQ(RawLocalRequest(endpoint_, &good), 1);
  EXPECT_EQ(Buf(good.begin() + 16, good.begin() + 20), (Buf{0x04, 0, 0, 0x50}));
}

}  // namespace
}  // namespace tarvos::testing
