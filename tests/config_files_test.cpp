// Configuration files that are not readable files: a FIFO, a directory or a
// file without read permission in place of TARVOS.ini or TARVOSOffsets.cfg
// must neither hang Enable nor stop the plugin; each is reported once in
// TARVOS.txt and the plugin serves on its defaults.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "base/file_access.h"
#include "base/trace_log.h"
#include "offsets/offset_block.h"
#include "settings/settings.h"
#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

enum class Kind { kFifo, kDirectory, kUnreadable };

// Root reads any file whatever its mode; the test process (one per test)
// gives up that privilege so that a file of mode 000 is unreadable to it.
void DropFilePrivileges() {
  if (::geteuid() != 0) return;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  ASSERT_EQ(::syscall(SYS_capget, &header, data), 0);
  for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    data[cap / 32].effective &= ~(1u << (cap % 32));
  }
  ASSERT_EQ(::syscall(SYS_capset, &header, data), 0);
}

// Puts something of `kind` at `path`.
void Make(Kind kind, const std::string& path) {
  switch (kind) {
    case Kind::kFifo:
      ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
      break;
    case Kind::kDirectory:
      ASSERT_TRUE(std::filesystem::create_directory(path));
      break;
    case Kind::kUnreadable: {
      FILE* f = std::fopen(path.c_str(), "w");
      ASSERT_NE(f, nullptr);
      std::fputs("[TARVOS ATC SETTINGS]\nATC Number = XX 1\n", f);
      std::fclose(f);
      ASSERT_EQ(::chmod(path.c_str(), 0), 0);
      DropFilePrivileges();
      std::string text;
      ASSERT_EQ(ReadRegularFile(path, &text).status, FileStatus::kFailed);
      break;
    }
  }
}

class FilesFixture : public TransportFixture {
 protected:
  std::string IniPath() { return SystemFile("TARVOS.ini"); }
  std::string CfgPath() {
    const std::string dir = SystemFile("Resources/plugins");
    std::filesystem::create_directories(dir);
    return dir + "/TARVOSOffsets.cfg";
  }

  // Start, Enable and the servers, with a watchdog: should Enable block on
  // a FIFO after all, the watchdog opens its other end after a generous
  // deadline so that the test fails instead of hanging.
  void StartServersWithin(const std::string& fifo) {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    bool rescued = false;
    std::thread watchdog([&] {
      std::unique_lock<std::mutex> hold(mu);
      if (cv.wait_for(hold, std::chrono::seconds(20), [&] { return done; })) {
        return;
      }
      rescued = true;
      // Opening read-write never blocks, and releases a blocked opener.
      const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
      if (fd >= 0) {
        (void)::write(fd, "\n", 1);
        ::close(fd);
      }
    });
    StartServers();
    {
      std::lock_guard<std::mutex> hold(mu);
      done = true;
    }
    cv.notify_all();
    watchdog.join();
    EXPECT_FALSE(rescued) << "Enable blocked on " << fifo;
  }

  // A read of the protocol version over TCP: the plugin serves.
  void ExpectServing() {
    RawTcp tcp(port_);
    ASSERT_TRUE(tcp.Send(Frame(Cat({ReadRecord(0x3304, 4), End()}))));
    Buf reply = tcp.Receive(32);
    ASSERT_EQ(reply.size(), 32u);
    EXPECT_EQ(LoadU32(reply.data() + 20), 0x50000004u);
  }

  int Count(const std::string& text, const std::string& line) {
    int n = 0;
    for (size_t at = text.find(line); at != std::string::npos;
         at = text.find(line, at + 1)) {
      ++n;
    }
    return n;
  }
};

class ConfigFilesTest : public FilesFixture,
                        public ::testing::WithParamInterface<Kind> {};

TEST_P(ConfigFilesTest, SettingsFileThatCannotBeReadIsReportedOnce) {
  const Kind kind = GetParam();
  // The settings in memory (the defaults in a fresh process; earlier tests
  // of this process may have changed them).
  const std::string flight_number = AtcText(AtcField::kFlightNumber);
  const int32_t tune = TuneValue.load();
  Make(kind, IniPath());
  StartServersWithin(IniPath());
  ExpectServing();

  // Reported once, in TARVOS.txt, among the Enable lines.
  const std::string log = StatusLogText();
  const std::string line = "Can't open " + IniPath() + ": ";
  EXPECT_EQ(Count(log, line), 1) << log;
  const size_t at = log.find(line);
  EXPECT_LT(log.find("TARNETServer Enable !\n"), at);
  EXPECT_GT(log.find("TARVOS->Reading TARVOSOffsets.cfg\n"), at);
  const char* reason = kind == Kind::kDirectory ? "Is a directory"
                       : kind == Kind::kFifo    ? "not a regular file"
                                                : "Permission denied";
  EXPECT_NE(log.find(line + reason + "\n"), std::string::npos) << log;

  // The settings in memory stay as they were, the thing in the file's
  // place is kept.
  EXPECT_EQ(AtcText(AtcField::kFlightNumber), flight_number);
  EXPECT_EQ(TuneValue.load(), tune);
  EXPECT_EQ(ProbeFile(IniPath()).status, kind == Kind::kUnreadable
                                             ? FileStatus::kOk
                                             : FileStatus::kNotRegular);

  // A new ATC text, which rewrites the file, neither hangs nor reports the
  // problem a second time.
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    const char text[] = "DLH1";
    StoreAtcText(AtcField::kFlightNumber, text, sizeof text - 1);
  }
  EXPECT_EQ(AtcText(AtcField::kFlightNumber), "DLH1");
  EXPECT_EQ(Count(StatusLogText(), line), 1);
}

TEST_P(ConfigFilesTest, OffsetsFileThatCannotBeReadIsReported) {
  Make(GetParam(), CfgPath());
  StartServersWithin(CfgPath());
  ExpectServing();
  const std::string log = StatusLogText();
  EXPECT_EQ(Count(log, "Error reading TARVOSOffsets.cfg\n"), 1) << log;
  EXPECT_LT(log.find("TARVOS->Reading TARVOSOffsets.cfg\n"),
            log.find("Error reading TARVOSOffsets.cfg\n"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ConfigFilesTest,
                         ::testing::Values(Kind::kFifo, Kind::kDirectory,
                                           Kind::kUnreadable),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                           switch (info.param) {
                             case Kind::kFifo:
                               return std::string("Fifo");
                             case Kind::kDirectory:
                               return std::string("Directory");
                             case Kind::kUnreadable:
                               break;
                           }
                           return std::string("Unreadable");
                         });

using OtherFilesTest = FilesFixture;

// The plugin's other files: a FIFO named like the settings file's temporary
// copy must not hang a rewrite; FIFOs named like the logs must not hang
// Start or tracing (their lines are dropped).
TEST_F(OtherFilesTest, FifosNamedLikeTheOtherFilesHangNothing) {
  ASSERT_EQ(::mkfifo(SystemFile("TARVOS.tmp").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(SystemFile("TARVOS.txt").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo(SystemFile("TARVOS.log").c_str(), 0644), 0);
  StartServersWithin(SystemFile("TARVOS.txt"));
  ExpectServing();
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    const char text[] = "AB 12";
    StoreAtcText(AtcField::kFlightNumber, text, sizeof text - 1);
  }
  EXPECT_EQ(AtcText(AtcField::kFlightNumber), "AB 12");
  SetReadTracing(true);
  ExpectServing();
  SetReadTracing(false);
  // The settings file was not rewritten through the FIFO.
  EXPECT_TRUE(ProbeFile(SystemFile("TARVOS.ini")).ok());
  EXPECT_NE(ReadSettingValue("TARVOS ATC SETTINGS", "ATC Number"), "AB 12");
}

}  // namespace
}  // namespace tarvos::testing
