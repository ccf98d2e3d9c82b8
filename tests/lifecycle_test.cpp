// The plugin's lifecycle as the host drives it: the StatusLog and TraceLog
// it leaves, its threads, callbacks and the host notifications.
#include "plugin/lifecycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "XPLMPlugin.h"
#include "offsets/offset_block.h"
#include "plugin/plugin_state.h"
#include "requests/one_second_timer.h"
#include "tests/support/plugin_fixture.h"
#include "traffic/aircraft_models.h"
#include "traffic/traffic_thread.h"
#include "transport/server_options.h"

namespace tarvos {
namespace {

using testing::PluginFixture;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of `log` that belong to `expected`'s vocabulary, in log order.
// Worker threads add lines of their own at moments that depend on
// scheduling; the lifecycle's lines must still come out exactly in order.
std::vector<std::string> Filtered(const std::string& log,
                                  const std::vector<std::string>& expected) {
  const std::set<std::string> vocabulary(expected.begin(), expected.end());
  std::vector<std::string> out;
  for (const std::string& line : Lines(log)) {
    if (vocabulary.count(line) != 0) out.push_back(line);
  }
  return out;
}

int Count(const std::string& text, const std::string& line) {
  const std::vector<std::string> lines = Lines(text);
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

const char kStartLog[] =
    "TARVOS Version 1.0.0.0\n"
    "TARNET Version 1.0.0.0\n"
    "Start Init!\n"
    "Init Mem Blocks OK!\n"
    "Init DataRefMemBlock & VariablesAccessMemBlock OK!\n"
    "Init Command Block OK!\n"
    "X-Plane Version: 12345\n";

const std::vector<std::string> kEnableFrameDisableLines = {
    "--------------------------------------------------",
    "TARVOS Enable !",
    "TARNETServer Enable !",
    "TARVOS->Reading TARVOSOffsets.cfg",
    "TARVOS->Initialise critical sections",
    "TARVOS->Create QIRA Thread OK!",
    "TARNET->Create Socket thread OK!",
    "TARVOS->Create ATC thread OK!",
    "--------------------------------------------------",
    "TARVOS->Starting deinit",
    "TARNET->Closing Socket serve thread.....",
    "TARNETServer deinit OK!",
    "TARNETServer Disable !",
    "TARVOS->Closing QIRAMain Thread......",
    "TARVOS->Closing ATC Thread......",
    "TARVOS->00 ATC Threads active......",
    "Done",
    "TARVOS->Release critical sections",
    "TARVOS->Purging TARVOSOffsets.cfg",
    "TARVOS deinit OK!",
    "TARVOS Disable !",
};

class LifecycleTest : public PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    host().SetXPlaneVersion(12345);
    // Several test processes run at once: no fixed port or endpoint.
    SetTcpServerPort(0);
    SetTcpServerLoopbackOnly(true);
    SetIpcEndpointName(
        "tarvos-lifecycle-test-" +
        std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
        "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
  }
};

TEST_F(LifecycleTest, StartFillsIdentityAndWritesBothLogs) {
  Start();
  EXPECT_EQ(host().PluginName(), "TARVOS/TARNET");
  EXPECT_EQ(host().PluginSignature(), "TARVOS/TARNET.");
  EXPECT_EQ(host().PluginDescription().size(), 45u);
  EXPECT_EQ(StatusLogText(), kStartLog);
  EXPECT_EQ(TraceLogText(),
            "TARVOS Version 1.0.0.0\n"
            "TARNET Version 1.0.0.0\n"
            "X-Plane Version: 12345\n");
  EXPECT_EQ(StartGate.load(), 1);
}

TEST_F(LifecycleTest, EnableFrameDisableWritesEveryLineInOrder) {
  Start();
  Enable();
  Frames(1);
  EXPECT_TRUE(TrafficThreadRunning());
  EXPECT_EQ(StartGate.load(), 0);
  Disable();
  EXPECT_FALSE(TrafficThreadRunning());
  const std::string log = StatusLogText();
  ASSERT_EQ(log.substr(0, sizeof kStartLog - 1), kStartLog);
  EXPECT_EQ(
      Filtered(log.substr(sizeof kStartLog - 1), kEnableFrameDisableLines),
      kEnableFrameDisableLines);
}

TEST_F(LifecycleTest, DisableThenEnableKeepsOffsetsAndAppendsToLog) {
  StartAndEnable();
  Poke(0x1234, {0xDE, 0xAD, 0xBE, 0xEF});
  Disable();
  Enable();
  Frames(1);
  EXPECT_TRUE(TrafficThreadRunning());
  EXPECT_EQ(Bytes(0x1234, 4), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(U32(0x3304), 0x50000004u);
  Disable();
  const std::string log = StatusLogText();
  EXPECT_EQ(log.substr(0, sizeof kStartLog - 1), kStartLog);
  EXPECT_EQ(Count(log, "TARVOS Enable !"), 2);
  EXPECT_EQ(Count(log, "TARVOS->Create ATC thread OK!"), 2);
  EXPECT_EQ(Count(log, "TARVOS Disable !"), 2);
}

// A DeferredStart still scheduled when Disable comes first must not start
// threads that no Disable would stop.
TEST_F(LifecycleTest, DisableBeforeFirstFrameStartsNoThreads) {
  Start();
  Enable();
  Disable();
  Frames(3);
  EXPECT_FALSE(TrafficThreadRunning());
  EXPECT_EQ(Count(StatusLogText(), "TARVOS->Create ATC thread OK!"), 0);
}

TEST_F(LifecycleTest, EachEnableStartsTheThreadsOnce) {
  Start();
  Enable();
  Disable();
  Enable();
  Frames(5);
  Disable();
  EXPECT_EQ(Count(StatusLogText(), "TARVOS->Create ATC thread OK!"), 1);
  EXPECT_EQ(Count(StatusLogText(), "TARVOS->Create QIRA Thread OK!"), 1);
}

TEST_F(LifecycleTest, CallbacksAreRegisteredByEnableAndRemovedByDisableStop) {
  Start();
  Enable();
  EXPECT_TRUE(host().IsFlightLoopRegistered(DeferredStart, nullptr));
  EXPECT_TRUE(host().IsFlightLoopRegistered(OneSecondTimer, nullptr));
  Frames(1);
  Disable();
  EXPECT_FALSE(host().IsFlightLoopRegistered(OneSecondTimer, nullptr));
  Stop();
  EXPECT_FALSE(host().IsFlightLoopRegistered(DeferredStart, nullptr));
  EXPECT_EQ(host().LiveMenuCount(), 0);
}

TEST_F(LifecycleTest, TwoCrashesHoldTheFlagForFiveRunsAfterTheSecond) {
  StartAndEnable();
  Frames(6, 1.0f);  // the countdown armed by Enable has run out
  EXPECT_EQ(U16(0x0840), 0);
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_CRASHED, nullptr);
  EXPECT_EQ(U16(0x0840), 1);
  Frames(3, 1.0f);  // one timer run per frame
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_CRASHED, nullptr);
  Frames(4, 1.0f);
  EXPECT_EQ(U16(0x0840), 1);
  EXPECT_EQ(CrashFlag.load(), 1);
  Frames(1, 1.0f);
  EXPECT_EQ(U16(0x0840), 0);
  EXPECT_EQ(CrashFlag.load(), 0);
  EXPECT_EQ(CrashHoldCount.load(), -1);
}

// Timer runs until a countdown fires, for several starting counts.
TEST(OneSecondCountdown, FiresOnReachingZeroAndThenIdles) {
  struct Case {
    int32_t start;
    int fires_on_run;  // 0: never within ten runs
  };
  const Case cases[] = {{5, 5}, {1, 1}, {0, 1}, {-1, 0}, {-7, 0}};
  for (const Case& c : cases) {
    std::atomic<int32_t> count{c.start};
    int fired_on = 0;
    for (int run = 1; run <= 10; ++run) {
      if (StepCountdown(count)) {
        EXPECT_EQ(fired_on, 0) << "fired twice, start " << c.start;
        fired_on = run;
      }
    }
    EXPECT_EQ(fired_on, c.fires_on_run) << "start " << c.start;
    EXPECT_EQ(count.load(), c.start >= 0 ? -1 : c.start);
  }
}

TEST_F(LifecycleTest, MessagesFromOtherPluginsChangeNothing) {
  host().SetAircraft({{"User.acf", "/planes/User.acf"}});
  StartAndEnable();
  for (int message : {XPLM_MSG_PLANE_CRASHED, XPLM_MSG_PLANE_LOADED,
                      XPLM_MSG_AIRPLANE_COUNT_CHANGED}) {
    host().SendMessageToPlugin(7, message, nullptr);
  }
  EXPECT_EQ(U16(0x0840), 0);
  EXPECT_EQ(U16(0x32FC), 0);
  EXPECT_EQ(Bytes(0x3C00, 4), std::vector<uint8_t>(4, 0));
  EXPECT_EQ(AircraftListChanged.load(), 0);
}

TEST_F(LifecycleTest, UserAircraftLoadPublishesPathNameAndCount) {
  host().SetAircraft(
      {{"User.acf", "/planes/User/User.acf"}, {"Ai.acf", "/planes/Ai/Ai.acf"}});
  StartAndEnable();
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_LOADED,
                             reinterpret_cast<void*>(1));
  EXPECT_EQ(U16(0x32FC), 0);
  EXPECT_EQ(Bytes(0x3D00, 4), std::vector<uint8_t>(4, 0));

  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_LOADED, nullptr);
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_LOADED, nullptr);
  EXPECT_EQ(U16(0x32FC), 2);
  std::vector<uint8_t> path = Bytes(0x3C00, 256);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(path.data())),
            "/planes/User/User.acf");
  std::vector<uint8_t> file = Bytes(0x3D00, 256);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file.data())), "User.acf");
}

TEST_F(LifecycleTest, LongAircraftPathIsCutTo255Characters) {
  const std::string long_path = "/" + std::string(400, 'p') + ".acf";
  host().SetAircraft({{"User.acf", long_path}});
  StartAndEnable();
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_LOADED, nullptr);
  const std::vector<uint8_t> field = Bytes(0x3C00, 256);
  EXPECT_EQ(std::string(field.begin(), field.begin() + 255),
            long_path.substr(0, 255));
  EXPECT_EQ(field[255], 0);
  EXPECT_EQ(Bytes(0x3D00, 1)[0], 'U');  // the next field is untouched
}

TEST_F(LifecycleTest, AircraftCountChangeRefreshesModelTable) {
  host().SetAircraft({{"User.acf", "/p/User.acf"}, {"A.acf", "/p/A.acf"}});
  StartAndEnable();
  char name[32];
  CopyAircraftModelName(1, name, sizeof name);
  EXPECT_STREQ(name, "A.acf");

  host().SetAircraft({{"User.acf", "/p/User.acf"},
                      {"B.acf", "/p/B.acf"},
                      {"C.acf", "/p/C.acf"}});
  host().SendMessageToPlugin(0, XPLM_MSG_AIRPLANE_COUNT_CHANGED, nullptr);
  EXPECT_EQ(AircraftListChanged.load(), 1);
  EXPECT_EQ(AircraftActiveCount.load(), 3);
  CopyAircraftModelName(1, name, sizeof name);
  EXPECT_STREQ(name, "B.acf");
  CopyAircraftModelName(2, name, sizeof name);
  EXPECT_STREQ(name, "C.acf");

  host().SetAircraft({{"User.acf", "/p/User.acf"}});
  host().SendMessageToPlugin(0, XPLM_MSG_AIRPLANE_COUNT_CHANGED, nullptr);
  CopyAircraftModelName(1, name, sizeof name);
  EXPECT_STREQ(name, "");
  CopyAircraftModelName(200, name, sizeof name);  // outside the table
  EXPECT_STREQ(name, "");
}

TEST_F(LifecycleTest, EnableResetsLoadCountAndCrashFlag) {
  host().SetAircraft({{"User.acf", "/p/User.acf"}});
  StartAndEnable();
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_LOADED, nullptr);
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_CRASHED, nullptr);
  Disable();
  Enable();
  EXPECT_EQ(AircraftLoadCount.load(), 0);
  EXPECT_EQ(CrashFlag.load(), 0);
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_LOADED, nullptr);
  EXPECT_EQ(U16(0x32FC), 1);
}

}  // namespace
}  // namespace tarvos
