// StatusLog: open/append/close, dropped lines, whole lines from many
// threads, and the error-message helper.
#include "base/status_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

using testing::ReadFileText;

class StatusLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("tarvos-status-log-" + std::to_string(::getpid()) + ".txt"))
                .string();
  }
  void TearDown() override {
    CloseStatusLog();
    std::filesystem::remove(path_);
  }
  std::string path_;
};

TEST_F(StatusLogTest, LinesWhileClosedAreDropped) {
  StatusLine("before\n");
  OpenStatusLog(path_, /*truncate=*/true);
  StatusLine("one %i\n", 1);
  CloseStatusLog();
  StatusLine("after\n");
  EXPECT_FALSE(StatusLogIsOpen());
  EXPECT_EQ(ReadFileText(path_), "one 1\n");
}

TEST_F(StatusLogTest, TruncateThenAppend) {
  OpenStatusLog(path_, true);
  StatusLine("first\n");
  CloseStatusLog();
  OpenStatusLog(path_, false);
  StatusLine("second\n");
  // Visible before the close: every line is flushed.
  EXPECT_EQ(ReadFileText(path_), "first\nsecond\n");
  OpenStatusLog(path_, true);
  StatusLine("third\n");
  EXPECT_EQ(ReadFileText(path_), "third\n");
}

TEST_F(StatusLogTest, OverlongLineIsCutButStillEndsItsLine) {
  OpenStatusLog(path_, true);
  StatusLine("TARNET->%s\n", std::string(5000, 'x').c_str());
  StatusLine("next\n");
  CloseStatusLog();
  std::istringstream in(ReadFileText(path_));
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(first.rfind("TARNET->xxx", 0), 0u);
  EXPECT_LT(first.size(), 5000u);
  EXPECT_EQ(second, "next");
}

TEST_F(StatusLogTest, LinesFromManyThreadsNeverInterleave) {
  OpenStatusLog(path_, true);
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        StatusLine("SocketI->thread %02i line %04i of a longer status line\n",
                   t, i);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  CloseStatusLog();
  std::istringstream in(ReadFileText(path_));
  std::set<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.insert(line);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  char expected[96];
  std::snprintf(expected, sizeof expected,
                "SocketI->thread %02i line %04i of a longer status line", 3,
                299);
  EXPECT_EQ(lines.count(expected), 1u);
}

TEST(WriteErrorMessage, AppendsTheSystemTextForErrno) {
  FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  errno = ENOENT;
  const int written = WriteErrorMessage(stream, "Can't open %s", "x.ini");
  const std::string expected =
      std::string("Can't open x.ini: ") + std::strerror(ENOENT) + "\n";
  EXPECT_EQ(written, static_cast<int>(expected.size()));
  std::rewind(stream);
  char buffer[256] = {};
  const size_t got = std::fread(buffer, 1, sizeof buffer - 1, stream);
  std::fclose(stream);
  EXPECT_EQ(std::string(buffer, got), expected);
}

TEST(WriteErrorMessage, NullStreamReportsFailure) {
  EXPECT_EQ(WriteErrorMessage(nullptr, "Can't open %s", "x"), -1);
}

}  // namespace
}  // namespace tarvos
