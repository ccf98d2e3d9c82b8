// The plugin's lifecycle as the host drives it: the StatusLog and TraceLog
// it leaves, its threads, callbacks and the host notifications.
#include "plugin/lifecycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "XPLMPlugin.h"
#include "base/plugin_state.h"
#include "client/connection.h"
#include "offsets/offset_block.h"
#include "offsets/position.h"
#include "requests/one_second_timer.h"
#include "tests/transport_harness.h"
#include "traffic/aircraft_models.h"
#include "traffic/traffic_thread.h"
#include "transport/server_options.h"
#include "transport/servers.h"

namespace tarvos {
namespace {

using testing::PluginFixture;
using testing::WaitUntil;

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

// Disable from "TARVOS->Starting deinit" on, with no client connected and
// every worker thread idle: the lifecycle's own lines interleaved with each
// thread's end lines, which come before Disable goes on to the next step.
const std::vector<std::string> kIdleShutdownLines = {
    "TARVOS->Starting deinit",
    "TARNET->Closing Socket serve thread.....",
    "TARNET->Client accept failed",
    "TARNET->Closed Socket serve thread!",
    "TARNETServer deinit OK!",
    "TARNETServer Disable !",
    "TARVOS->Closing QIRAMain Thread......",
    "TARVOS->Closing Window",
    "TARVOS->Closed QIRAMain Thread!",
    "TARVOS->Closing ATC Thread......",
    "TARVOS->00 ATC Threads active......",
    "Done",
    "TARVOS->Release critical sections",
    "TARVOS->Purging TARVOSOffsets.cfg",
    "TARVOS deinit OK!",
    "TARVOS Disable !",
};

// The lines of `log` from the first `from` on.
std::vector<std::string> LinesFrom(const std::string& log,
                                   const std::string& from) {
  std::vector<std::string> lines = Lines(log);
  auto start = std::find(lines.begin(), lines.end(), from);
  return std::vector<std::string>(start, lines.end());
}

class LifecycleTest : public PluginFixture {
 protected:
  // Start, Enable, the deferred start, and every worker thread settled in
  // its wait: the listener in accept(), the local endpoint open.
  void StartAndSettle() {
    StartAndEnable();
    ASSERT_TRUE(WaitUntil([] { return TcpServerBoundPort() != 0; }));
    ASSERT_TRUE(WaitUntil([] { return IpcServerListening(); }));
    ASSERT_TRUE(WaitUntil([&] {
      return StatusLogText().find("TARNET->Waiting for clients.....0\n") !=
             std::string::npos;
    }));
  }

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

// Disable waits for each thread to end before the next step: the threads'
// own end lines come between Disable's, in this order and no other.
TEST_F(LifecycleTest, DisableEndsEveryThreadInOrderBeforeGoingOn) {
  StartAndSettle();
  Disable();
  EXPECT_FALSE(TrafficThreadRunning());
  EXPECT_FALSE(IpcServerListening());
  EXPECT_EQ(TcpServerBoundPort(), 0);
  EXPECT_EQ(LinesFrom(StatusLogText(), "TARVOS->Starting deinit"),
            kIdleShutdownLines);
}

// Clients of both transports exchange batches without pause while Disable
// runs: every connection is ended, every thread waited for in order, and no
// client is served after the servers closed (run under the sanitizers too).
TEST_F(LifecycleTest, DisableUnderClientTrafficOnBothTransports) {
  StartAndSettle();
  constexpr int kTcpClients = 3;
  constexpr int kLocalClients = 2;
  constexpr int kEnough = 20;  // exchanges each before Disable
  const uint16_t port = TcpServerBoundPort();
  const std::string endpoint = IpcEndpointName();
  std::atomic<int> served[kTcpClients + kLocalClients] = {};
  std::atomic<bool> disabled{false};
  std::atomic<int> served_after_disable{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kTcpClients + kLocalClients; ++c) {
    clients.emplace_back([&, c] {
      std::string error;
      std::unique_ptr<client::Connection> connection =
          c < kTcpClients ? client::ConnectTcp("127.0.0.1", port, &error)
                          : client::ConnectLocal(endpoint, &error);
      ASSERT_TRUE(connection) << error;
      for (uint16_t i = 0;; ++i) {
        client::RequestBatch batch;
        batch.AddWriteU16(0x66C0 + 2 * c, i);
        size_t version = batch.AddRead(0x3304, 4);
        const bool after = disabled.load();
        if (!connection->Exchange(batch, &error)) break;
        EXPECT_EQ(batch.U32(version), 0x50000004u);
        if (after) served_after_disable.fetch_add(1);
        served[c].fetch_add(1);
      }
    });
  }
  ASSERT_TRUE(WaitUntil([&] {
    for (const auto& n : served) {
      if (n.load() < kEnough) return false;
    }
    return true;
  }));
  Disable();
  disabled = true;
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(served_after_disable.load(), 0);
  EXPECT_FALSE(TrafficThreadRunning());
  EXPECT_FALSE(IpcServerListening());
  EXPECT_EQ(TcpServerBoundPort(), 0);

  // The TCP client threads end (in any order among themselves) before the
  // listener does; the rest is the idle order.
  std::vector<std::string> shutdown =
      LinesFrom(StatusLogText(), "TARVOS->Starting deinit");
  std::vector<std::string> client_ends;
  for (int c = 0; c < kTcpClients; ++c) {
    char line[64];
    std::snprintf(line, sizeof line, "SocketI->Closing Client No: %02d", c);
    client_ends.push_back(line);
  }
  const auto listener_end = std::find(shutdown.begin(), shutdown.end(),
                                      "TARNET->Closed Socket serve thread!");
  for (const std::string& end : client_ends) {
    auto at = std::find(shutdown.begin(), shutdown.end(), end);
    EXPECT_LT(at, listener_end) << end;
  }
  // Whether the listener was back in accept() (and so reports its failure)
  // depends on how soon after the last connection Disable came, and the
  // count of clients on whether anyone else connected: both are left out.
  const std::string count_line = "TARNET->Closing Client threads count = ";
  std::vector<std::string> expected;
  for (const std::string& line : kIdleShutdownLines) {
    if (line != "TARNET->Client accept failed") expected.push_back(line);
  }
  std::vector<std::string> filtered;
  for (const std::string& line : shutdown) {
    if (line.rfind(count_line, 0) == 0) {
      filtered.push_back(count_line + "N");
    } else if (std::find(expected.begin(), expected.end(), line) !=
               expected.end()) {
      filtered.push_back(line);
    }
  }
  expected.insert(expected.begin() + 2, count_line + "N");
  EXPECT_EQ(filtered, expected);
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

// The servers answer from the first frame on, before any refresh callback
// has run: a client that connects at once reads the simulator's position
// and the aircraft's engine count over both transports, not zeros.
TEST_F(LifecycleTest, ClientsOfTheFirstFrameReadTheSimulatorsValues) {
  host().SetDouble("sim/flightmodel/position/latitude", 46.5);
  host().SetDouble("sim/flightmodel/position/longitude", 7.5);
  host().SetInt("sim/aircraft/engine/acf_num_engines", 2);
  StartAndSettle();  // one frame: the callbacks' first runs are 0.5 s away
  std::string error;
  std::unique_ptr<client::Connection> clients[] = {
      client::ConnectTcp("127.0.0.1", TcpServerBoundPort(), &error),
      client::ConnectLocal(IpcEndpointName(), &error)};
  for (auto& c : clients) {
    ASSERT_TRUE(c) << error;
    client::RequestBatch b;
    const size_t lat = b.AddRead(0x0560, 8);
    const size_t lon = b.AddRead(0x0568, 8);
    const size_t engines = b.AddRead(0x0AEC, 2);
    ASSERT_TRUE(c->Exchange(b, &error)) << error;
    EXPECT_EQ(b.S64(lat), EncodeLatitude(46.5));
    EXPECT_EQ(b.S64(lon), EncodeLongitude(7.5));
    EXPECT_EQ(b.U16(engines), 2);
  }
}

// A host that stops and starts the plugin without unloading it gets the
// traffic thread going again: the start closes the gate, the next deferred
// start opens it.
TEST_F(LifecycleTest, StartAfterStopClosesTheGateAndTheDeferredStartOpensIt) {
  StartAndEnable();
  Disable();
  Stop();
  Start();
  EXPECT_EQ(StartGate.load(), 1);
  Enable();
  Frames(1);
  EXPECT_EQ(StartGate.load(), 0);
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
