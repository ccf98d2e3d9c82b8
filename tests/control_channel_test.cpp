// The stand-in host's control channel: commands (with bad input), the
// socket server end to end, and a start script driving the plugin while a
// client reads the bytes it publishes.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "XPLMPlanes.h"
#include "XPLMPlugin.h"
#include "XPLMUtilities.h"
#include "client/connection.h"
#include "simhost/control/control_commands.h"
#include "simhost/control/control_script.h"
#include "simhost/control/control_server.h"
#include "simhost/flight/flight_model.h"
#include "simhost/host/host.h"
#include "tests/support/plugin_fixture.h"
#include "transport/server_options.h"

namespace simhost {
namespace {

using Clock = std::chrono::steady_clock;

// A stand-in plugin that only records the messages it receives.
struct Message {
  XPLMPluginID from;
  int id;
  intptr_t param;
};
std::vector<Message> received;
int FakeStart(char* name, char* sig, char* desc) {
  name[0] = sig[0] = desc[0] = '\0';
  return 1;
}
int FakeEnable() { return 1; }
void FakeNothing() {}
void FakeReceive(XPLMPluginID from, int id, void* param) {
  received.push_back({from, id, reinterpret_cast<intptr_t>(param)});
}

class ControlCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    Host& host = Host::Get();
    host.Reset();
    PluginEntryPoints fake;
    fake.start = &FakeStart;
    fake.enable = &FakeEnable;
    fake.disable = &FakeNothing;
    fake.stop = &FakeNothing;
    fake.receive_message = &FakeReceive;
    host.AttachPlugin(fake);
    host.StartPlugin();
    host.EnablePlugin();
    flight::FlightModel::Options o;
    o.fly = false;
    flight_.Install(o);
  }
  void TearDown() override { flight_.Uninstall(); }

  std::string Run(const std::string& line) { return exec_.Execute(line); }
  Host& host() { return Host::Get(); }

  flight::FlightModel flight_;
  ControlExecutor exec_{&flight_};
};

// Every kind of bad input answers an error and leaves the host as it was.
TEST_F(ControlCommandTest, BadInputIsRefusedAndChangesNothing) {
  const std::string long_line(kMaxControlLineLength + 1, 'a');
  const std::string lines[] = {
      "frobnicate",
      "GET sim/cockpit/radios/nav1_freq_hz",
      "get",
      "get a b",
      "get no/such/dataref",
      "get sim/flightmodel/position/q[4]",
      "get sim/flightmodel/position/q[-1]",
      "get sim/flightmodel/position/q[x]",
      "get sim/flightmodel/position/psi[0]",
      "set sim/cockpit/radios/nav1_freq_hz",
      "set sim/cockpit/radios/nav1_freq_hz 11x",
      "set sim/cockpit/radios/nav1_freq_hz 1.5",
      "set sim/cockpit/radios/nav1_freq_hz 99999999999",
      "set sim/cockpit/radios/nav1_freq_hz 1 2",
      "set sim/flightmodel/position/psi nan",
      "set sim/flightmodel/position/psi inf",
      "set sim/flightmodel/position/psi 1e999",
      "set sim/flightmodel/position/psi 0x",
      "set sim/flightmodel/position/q 1",
      "set sim/flightmodel/position/q[9] 1",
      "set no/such/dataref 1",
      "set sim/cockpit2/radios/indicators/adf1_nav_id[0] 256",
      "set sim/cockpit2/radios/indicators/adf1_nav_id " + std::string(300, 'x'),
      "step 0",
      "step -3",
      "step 1000001",
      "step x",
      "step 1 2",
      "run now",
      "pause 1",
      "plugin x738 on",
      "plugin x737 maybe",
      "plugin x737",
      "aircraft 97",
      "aircraft -1",
      "aircraft",
      "aircraft two",
      "message",
      "message abc",
      "message 101 x",
      "message 101 1 2",
      "crash now",
      "flight sideways",
      "commands all",
      "status please",
      "quit now",
      long_line,
      "get sim/cockpit/radios/nav1_freq_hz\x01",
      "status\xff",
      "sta\x1btus",
  };
  host().StepFrame();
  const int64_t frames = host().FrameCount();
  const int freq = host().GetInt("sim/cockpit/radios/nav1_freq_hz");
  const float psi = host().GetFloat("sim/flightmodel/position/psi");
  const std::string adf =
      host().GetBytes("sim/cockpit2/radios/indicators/adf1_nav_id");
  const size_t aircraft = host().GetAircraft().size();
  for (const std::string& line : lines) {
    std::string answer = Run(line);
    EXPECT_EQ(answer.rfind("error ", 0), 0u) << line << " -> " << answer;
    EXPECT_EQ(answer.find('\n'), std::string::npos) << line;
  }
  EXPECT_EQ(host().FrameCount(), frames);
  EXPECT_EQ(host().GetInt("sim/cockpit/radios/nav1_freq_hz"), freq);
  EXPECT_EQ(host().GetFloat("sim/flightmodel/position/psi"), psi);
  EXPECT_EQ(host().GetBytes("sim/cockpit2/radios/indicators/adf1_nav_id"), adf);
  EXPECT_EQ(host().GetAircraft().size(), aircraft);
  EXPECT_EQ(XPLMFindPluginBySignature("bs.x737.plugin"), -1);
  EXPECT_TRUE(received.empty());
  EXPECT_TRUE(exec_.running());
  EXPECT_FALSE(exec_.quit_requested());
}

TEST_F(ControlCommandTest, ErrorsSayWhatIsWrong) {
  EXPECT_EQ(Run("frobnicate"), "error unknown command frobnicate (try help)");
  EXPECT_EQ(Run("get no/such"), "error unknown dataref no/such");
  EXPECT_EQ(Run(std::string(2000, 'x')),
            "error line too long (at most 1024 bytes)");
  EXPECT_EQ(Run("set sim/cockpit/radios/nav1_freq_hz 1.5"),
            "error bad value 1.5 for sim/cockpit/radios/nav1_freq_hz (an "
            "integer)");
}

// Reads and writes of every kind of dataref: the value set is the value got.
TEST_F(ControlCommandTest, SetThenGetEveryKindOfDataref) {
  struct Case {
    const char* name;
    const char* value;
    const char* got;
  };
  const Case cases[] = {
      {"sim/cockpit/radios/nav1_freq_hz", "11360", "11360"},
      {"sim/cockpit/radios/nav1_freq_hz", "-7", "-7"},
      {"sim/flightmodel/position/psi", "123.5", "123.5"},
      {"sim/flightmodel/position/psi", "1e1", "10"},
      {"sim/flightmodel/position/latitude", "46.123456789012",
       "46.123456789012"},
      {"sim/flightmodel/position/q[3]", "0.25", "0.25"},
      {"sim/flightmodel/engine/ENGN_running[1]", "1", "1"},
      {"sim/weather/wind_speed_kt[1]", "22", "22"},  // a name with an index
      {"sim/cockpit2/radios/indicators/adf1_nav_id", "AB C", "AB C"},
      {"sim/cockpit2/radios/indicators/adf1_nav_id[1]", "66", "66"},
  };
  for (const Case& c : cases) {
    const std::string name = c.name;
    EXPECT_EQ(Run("set " + name + " " + c.value), "ok") << name;
    EXPECT_EQ(Run("get " + name), std::string("ok ") + c.got) << name;
  }
  EXPECT_EQ(host()
                .GetBytes("sim/cockpit2/radios/indicators/adf1_nav_id")
                .substr(0, 5),
            std::string("AB C\0", 5));
  Run("set sim/flightmodel/position/q[0] 1");
  Run("set sim/flightmodel/position/q[1] 0");
  Run("set sim/flightmodel/position/q[2] -0.5");
  EXPECT_EQ(Run("get sim/flightmodel/position/q"), "ok 1 0 -0.5 0.25");
  // Blanks around words and a CR before the line end do not matter.
  EXPECT_EQ(Run("  get\tsim/cockpit/radios/nav1_freq_hz  \r"), "ok -7");
}

TEST_F(ControlCommandTest, BlankAndCommentLinesGetNoAnswer) {
  EXPECT_EQ(Run(""), "");
  EXPECT_EQ(Run("   \t"), "");
  EXPECT_EQ(Run("# step 100"), "");
  EXPECT_EQ(host().FrameCount(), 0);
}

TEST_F(ControlCommandTest, StepStopsRealTimeAndAdvancesFrames) {
  EXPECT_TRUE(exec_.running());
  EXPECT_EQ(Run("step 5").rfind("ok frame 5 time 0.08", 0), 0u);
  EXPECT_EQ(host().FrameCount(), 5);
  EXPECT_FALSE(exec_.running());
  EXPECT_EQ(Run("step").rfind("ok frame 6 time 0.1", 0), 0u);
  EXPECT_EQ(Run("run"), "ok running");
  EXPECT_TRUE(exec_.running());
  EXPECT_EQ(Run("pause"), "ok paused");
  EXPECT_FALSE(exec_.running());
}

TEST_F(ControlCommandTest, PluginSwitchLoadsAndUnloadsTheOtherPlugins) {
  EXPECT_EQ(Run("plugin x737 on").rfind("ok plugin x737 id ", 0), 0u);
  EXPECT_NE(XPLMFindPluginBySignature("bs.x737.plugin"), -1);
  EXPECT_EQ(Run("get x737/systems/afds/plugin_status"), "ok 1");
  EXPECT_EQ(Run("plugin xpushback on").rfind("ok", 0), 0u);
  EXPECT_NE(XPLMFindPluginBySignature("GoodWay.XPushBack"), -1);
  EXPECT_EQ(Run("plugin x737 off"), "ok plugin x737 off");
  EXPECT_EQ(XPLMFindPluginBySignature("bs.x737.plugin"), -1);
  EXPECT_EQ(Run("get x737/systems/afds/plugin_status").rfind("error", 0), 0u);
  EXPECT_NE(XPLMFindPluginBySignature("GoodWay.XPushBack"), -1);
}

TEST_F(ControlCommandTest, AircraftCountChangesTrafficAndTellsThePlugin) {
  EXPECT_EQ(Run("aircraft 5"), "ok aircraft 5");
  EXPECT_EQ(host().GetAircraft().size(), 6u);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].from, XPLM_PLUGIN_XPLANE);
  EXPECT_EQ(received[0].id, XPLM_MSG_AIRPLANE_COUNT_CHANGED);
  int total = 0, active = 0;
  XPLMPluginID controller;
  XPLMCountAircraft(&total, &active, &controller);
  EXPECT_EQ(active, 6);
  EXPECT_EQ(Run("aircraft 0"), "ok aircraft 0");
  EXPECT_EQ(host().GetAircraft().size(), 1u);
  EXPECT_EQ(received.size(), 2u);
}

TEST_F(ControlCommandTest, MessageAndCrashReachThePlugin) {
  EXPECT_EQ(Run("message 102 0"), "ok message 102 0");
  EXPECT_EQ(Run("message 105"), "ok message 105 0");
  EXPECT_EQ(Run("message 102 3"), "ok message 102 3");
  host().SetFloat("sim/flightmodel/position/psi", 10.0f);
  host().StepFrame();
  EXPECT_EQ(Run("crash"), "ok crashed");
  ASSERT_EQ(received.size(), 4u);
  EXPECT_EQ(received[0].id, 102);
  EXPECT_EQ(received[0].param, 0);
  EXPECT_EQ(received[2].param, 3);
  EXPECT_EQ(received[3].id, XPLM_MSG_PLANE_CRASHED);
  for (const Message& m : received) EXPECT_EQ(m.from, XPLM_PLUGIN_XPLANE);
  // The crashed aircraft is back on its parking spot.
  EXPECT_NE(host().GetFloat("sim/flightmodel/position/psi"), 10.0f);
  // A disabled plugin gets no messages.
  host().DisablePlugin();
  EXPECT_EQ(Run("message 102 0"), "error the plugin is not enabled");
  EXPECT_EQ(received.size(), 4u);
}

TEST_F(ControlCommandTest, IssuedCommandsButtonsAndKeysAreReportedOnce) {
  XPLMCommandOnce(XPLMFindCommand("sim/autopilot/approach"));
  XPLMCommandBegin(XPLMFindCommand("sim/starters/engage_starter_1"));
  XPLMCommandButtonPress(2);
  XPLMCommandKeyStroke(0);
  XPLMCommandButtonRelease(2);
  XPLMCommandKeyStroke(7);
  EXPECT_EQ(Run("keys"), "ok 2 0 7");
  EXPECT_EQ(Run("buttons"), "ok 2 press:2 release:2");
  EXPECT_EQ(Run("buttons"), "ok 0");
  EXPECT_EQ(Run("keys"), "ok 0");
  EXPECT_EQ(Run("commands"),
            "ok 2 sim/autopilot/approach:once "
            "sim/starters/engage_starter_1:begin");
  EXPECT_EQ(Run("commands"), "ok 0");
}

TEST_F(ControlCommandTest, WeatherInPlainWords) {
  // 12 knots, in the host's unit.
  simhost::Host& host = simhost::Host::Get();
  host.SetFloat("sim/weather/wind_speed_kt[0]",
                static_cast<float>(12 / host.WindSpeedUnitKnots()));
  host.SetFloat("sim/weather/wind_direction_degt[0]", 90);
  std::string answer = exec_.Execute("weather");
  // The scripted flight's field weather, with the surface wind just set.
  EXPECT_EQ(answer,
            "ok sea level 18.0 C, 29.92 inHg, dew point 9.0 C, visibility "
            "25000 m, rain 0%; surface wind to 900 m from 090 at 12 kt, "
            "turbulence 0.0, shear 0 kt; middle wind to 3000 m from 270 at 15 "
            "kt, turbulence 0.0, shear 0 kt; upper wind to 9000 m from 280 at "
            "35 kt, turbulence 0.0, shear 0 kt; clouds lower type 2 from 1800 "
            "to 2600 m; clouds upper type 1 from 8000 to 8500 m");
  EXPECT_EQ(exec_.Execute("weather now"), "error usage: weather");
}

TEST_F(ControlCommandTest, FlightSwitchAndStatus) {
  EXPECT_EQ(Run("flight on"), "ok flight on");
  EXPECT_TRUE(flight_.flying());
  Run("step 600");
  std::string status = Run("status");
  EXPECT_EQ(status.rfind("ok frame 600 time ", 0), 0u) << status;
  EXPECT_NE(status.find(" paused phase "), std::string::npos) << status;
  EXPECT_NE(status.find(" traffic 3"), std::string::npos) << status;
  EXPECT_EQ(Run("flight off"), "ok flight off");
  EXPECT_FALSE(flight_.flying());
  EXPECT_EQ(Run("quit"), "ok bye");
  EXPECT_TRUE(exec_.quit_requested());
}

TEST(ControlExecutorWithoutFlightTest, FlightCommandsNeedAFlight) {
  Host::Get().Reset();
  ControlExecutor exec(nullptr);
  EXPECT_EQ(exec.Execute("aircraft 2"), "error no scripted flight");
  EXPECT_EQ(exec.Execute("flight on"), "error no scripted flight");
  EXPECT_EQ(exec.Execute("status").rfind("ok frame 0 ", 0), 0u);
}

// --- The socket server ------------------------------------------------------

// A blocking client socket with a bounded wait for each answer.
class TestClient {
 public:
  explicit TestClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ =
        connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  }
  explicit TestClient(const std::string& unix_path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s",
                  unix_path.c_str());
    connected_ =
        connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  }
  ~TestClient() { Close(); }
  bool connected() const { return connected_; }
  void Send(const std::string& bytes) {
    ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  void ShutdownWrite() { shutdown(fd_, SHUT_WR); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // The next answer line; `pump` runs the main thread's side meanwhile.
  // Empty after two seconds without one, or at end of stream.
  std::string ReadLine(const std::function<void()>& pump) {
    auto end = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < end) {
      size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      pump();
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 10) > 0) {
        char buf[4096];
        ssize_t n = recv(fd_, buf, sizeof(buf), 0);
        if (n <= 0) return "";
        buffer_.append(buf, static_cast<size_t>(n));
      }
    }
    return "";
  }
  // True when the server closed the connection within two seconds.
  bool ClosedByServer(const std::function<void()>& pump) {
    auto end = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < end) {
      pump();
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 10) > 0) {
        char buf[256];
        ssize_t n = recv(fd_, buf, sizeof(buf), 0);
        if (n <= 0) return true;
        buffer_.append(buf, static_cast<size_t>(n));
      }
    }
    return false;
  }
  const std::string& unread() const { return buffer_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

class ControlServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Host::Get().Reset();
    std::string error;
    ASSERT_TRUE(server_.Start("0", &error)) << error;
    ASSERT_GT(server_.port(), 0);
  }
  void TearDown() override { server_.Stop(); }

  std::function<void()> Pump() {
    return [this] {
      server_.Poll([this](const std::string& line) {
        ++executed_;
        return exec_.Execute(line);
      });
    };
  }

  ControlServer server_;
  ControlExecutor exec_{nullptr};
  int executed_ = 0;
};

TEST_F(ControlServerTest, AnswersEachLineInOrder) {
  TestClient c(server_.port());
  ASSERT_TRUE(c.connected());
  c.Send(
      "set sim/cockpit/radios/nav1_freq_hz 11360\nget sim/cockpit/"
      "radios/nav1_freq_hz\n# comment\n\nbogus\n");
  EXPECT_EQ(c.ReadLine(Pump()), "ok");
  EXPECT_EQ(c.ReadLine(Pump()), "ok 11360");
  EXPECT_EQ(c.ReadLine(Pump()), "error unknown command bogus (try help)");
  // A line sent in pieces, with a CR LF line end.
  c.Send("get sim/cockpit/ra");
  Pump()();
  c.Send("dios/nav1_freq_hz\r\n");
  EXPECT_EQ(c.ReadLine(Pump()), "ok 11360");
}

TEST_F(ControlServerTest, OverlongLineIsRefusedAndTheConnectionGoesOn) {
  TestClient c(server_.port());
  c.Send(std::string(100000, 'a') + "\nget sim/cockpit/radios/nav1_freq_hz\n");
  EXPECT_EQ(c.ReadLine(Pump()), "error line too long (at most 1024 bytes)");
  EXPECT_EQ(c.ReadLine(Pump()).rfind("ok ", 0), 0u);
  EXPECT_EQ(executed_, 1);  // the long line never reached the executor
}

TEST_F(ControlServerTest, BinaryJunkIsRefusedAndTheConnectionGoesOn) {
  TestClient c(server_.port());
  const char junk[] = "\x00\x01\xff\xfe set x 1\n";
  c.Send(std::string(junk, sizeof(junk) - 1));
  EXPECT_EQ(c.ReadLine(Pump()), "error line holds control or non-ASCII bytes");
  c.Send("help\n");
  EXPECT_EQ(c.ReadLine(Pump()).rfind("ok commands:", 0), 0u);
}

TEST_F(ControlServerTest, UnfinishedLineOfAClientThatLeavesIsNeverRun) {
  const int before = Host::Get().GetInt("sim/cockpit/radios/nav1_freq_hz");
  {
    TestClient c(server_.port());
    c.Send("set sim/cockpit/radios/nav1_freq_hz 11360");
  }
  for (int i = 0; i < 30; ++i) {
    Pump()();
    usleep(10000);
  }
  EXPECT_EQ(executed_, 0);
  EXPECT_EQ(Host::Get().GetInt("sim/cockpit/radios/nav1_freq_hz"), before);
  // One that is done sending still gets the answers to its full lines.
  TestClient d(server_.port());
  d.Send("help\nstatus\nget sim/cock");
  d.ShutdownWrite();
  EXPECT_EQ(d.ReadLine(Pump()).rfind("ok commands:", 0), 0u);
  EXPECT_EQ(d.ReadLine(Pump()).rfind("ok frame", 0), 0u);
  EXPECT_TRUE(d.ClosedByServer(Pump()));
  EXPECT_EQ(executed_, 2);
}

TEST_F(ControlServerTest, TooManyConnectionsAreTurnedAway) {
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < kMaxControlClients; ++i) {
    clients.push_back(std::make_unique<TestClient>(server_.port()));
    clients.back()->Send("status\n");
    EXPECT_EQ(clients.back()->ReadLine(Pump()).rfind("ok", 0), 0u);
  }
  TestClient extra(server_.port());
  EXPECT_EQ(extra.ReadLine(Pump()), "error too many control connections");
  EXPECT_TRUE(extra.ClosedByServer(Pump()));
  clients.pop_back();
  // The freed place is taken again once the server saw the close.
  for (int attempt = 0; attempt < 50; ++attempt) {
    TestClient again(server_.port());
    again.Send("status\n");
    std::string answer = again.ReadLine(Pump());
    if (answer.rfind("ok", 0) == 0) return;
  }
  ADD_FAILURE() << "no place after a client left";
}

TEST_F(ControlServerTest, StopEndsTheServerWithClientsConnected) {
  TestClient a(server_.port()), b(server_.port());
  a.Send("status\n");
  EXPECT_EQ(a.ReadLine(Pump()).rfind("ok", 0), 0u);
  b.Send("get sim/cockpit/radi");  // unfinished
  server_.Stop();
  EXPECT_TRUE(a.ClosedByServer([] {}));
  EXPECT_TRUE(b.ClosedByServer([] {}));
  EXPECT_EQ(server_.port(), 0);
  server_.Stop();  // again: nothing to do
}

TEST_F(ControlServerTest, QuitAnswerIsSentBeforeTheServerStops) {
  TestClient c(server_.port());
  c.Send("quit\n");
  for (int i = 0; i < 200 && !exec_.quit_requested(); ++i) {
    Pump()();
    usleep(5000);
  }
  ASSERT_TRUE(exec_.quit_requested());
  server_.Stop();
  EXPECT_TRUE(c.ClosedByServer([] {}));
  EXPECT_EQ(c.unread(), "ok bye\n");
}

TEST(ControlServerAddressTest, BadAddressesAreRefused) {
  for (const char* where :
       {"", "abc", "-1", "65536", "12ab", "unix:", "unix:/no/such/dir/sock"}) {
    ControlServer server;
    std::string error;
    EXPECT_FALSE(server.Start(where, &error)) << where;
    EXPECT_FALSE(error.empty()) << where;
  }
}

TEST(ControlServerAddressTest, UnixSocketServesTheSameProtocol) {
  Host::Get().Reset();
  char dir_template[] = "/tmp/tarvos-control-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string path = std::string(dir_template) + "/control.sock";
  ControlServer server;
  ControlExecutor exec(nullptr);
  std::string error;
  ASSERT_TRUE(server.Start("unix:" + path, &error)) << error;
  EXPECT_EQ(server.port(), 0);
  {
    TestClient c(path);
    ASSERT_TRUE(c.connected());
    c.Send("step 3\n");
    EXPECT_EQ(
        c.ReadLine([&] {
           server.Poll([&](const std::string& l) { return exec.Execute(l); });
         }).rfind("ok frame 3 ", 0),
        0u);
  }
  server.Stop();
  EXPECT_FALSE(std::filesystem::exists(path));
  std::filesystem::remove_all(dir_template);
}

// --- A start script driving the plugin ------------------------------------

class ControlScenarioTest : public tarvos::testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    tarvos::SetTcpServerPort(0);
    tarvos::SetTcpServerLoopbackOnly(true);
    tarvos::SetIpcEndpointName("tarvos-control-test-" +
                               std::to_string(getpid()));
    flight::FlightModel::Options o;
    o.fly = false;
    o.traffic = 1;
    flight_.Install(o);
    StartAndEnable();
  }
  void TearDown() override {
    PluginFixture::TearDown();
    flight_.Uninstall();
  }
  std::string WriteScript(const std::string& text) {
    std::string path = SystemFile("scenario.txt");
    std::ofstream(path) << text;
    return path;
  }

  flight::FlightModel flight_;
  ControlExecutor exec_{&flight_};
};

TEST_F(ControlScenarioTest, ScriptDrivesThePluginAndAClientReadsTheBytes) {
  const std::string script = WriteScript(
      "# a parked aircraft moved and turned from a script\n"
      "set sim/flightmodel/position/latitude 46.75\n"
      "set sim/flightmodel/position/psi 123.5\n"
      "step 120\n"
      "aircraft 2\n"
      "step 60\n");
  std::string error;
  ASSERT_TRUE(RunControlScript(script, &exec_, nullptr, &error)) << error;
  EXPECT_FALSE(exec_.running());

  ASSERT_TRUE(tarvos::testing::PluginFixture::host().GetAircraft().size() == 3);
  auto conn = tarvos::client::ConnectTcp(
      "127.0.0.1", tarvos::TcpServerBoundPort(), &error, 3000);
  ASSERT_NE(conn, nullptr) << error;
  tarvos::client::RequestBatch batch;
  size_t lat = batch.AddRead(0x0560, 8);
  size_t heading = batch.AddRead(0x0580, 4);
  ASSERT_TRUE(conn->Exchange(batch, &error)) << error;
  const double published =
      Host::Get().GetDouble("sim/flightmodel/position/latitude");
  EXPECT_NEAR(published, 46.75, 1e-9);
  EXPECT_EQ(static_cast<int64_t>(batch.U64(lat)),
            static_cast<int64_t>(published * 477302101697422.25));
  EXPECT_EQ(batch.U32(heading),
            static_cast<uint32_t>(static_cast<int64_t>(
                static_cast<double>(123.5f) * 11930464.711111112)));

  // The client turns the aircraft to 090 and lifts it to 1000 m; the next
  // frames of the flight follow both writes.
  tarvos::client::RequestBatch write;
  write.AddWriteU32(0x0580, static_cast<uint32_t>(90.0 * 11930464.711111112));
  write.AddWriteU32(0x0574, 1000);
  ASSERT_TRUE(conn->Exchange(write, &error)) << error;
  EXPECT_EQ(exec_.Execute("step 60").rfind("ok", 0), 0u);
  EXPECT_EQ(exec_.Execute("get sim/flightmodel/position/elevation"), "ok 1003");
  std::string psi = exec_.Execute("get sim/flightmodel/position/psi");
  EXPECT_NEAR(std::atof(psi.c_str() + 3), 90.0, 0.01) << psi;
  tarvos::client::RequestBatch again;
  size_t metres = again.AddRead(0x0574, 4);
  ASSERT_TRUE(conn->Exchange(again, &error)) << error;
  EXPECT_EQ(static_cast<int32_t>(again.U32(metres)), 1003);
}

TEST_F(ControlScenarioTest, ScriptStopsAtTheFirstError) {
  const std::string script = WriteScript(
      "step 2\n"
      "set sim/cockpit/radios/nav1_freq_hz eleven\n"
      "step 50\n");
  std::string error;
  EXPECT_FALSE(RunControlScript(script, &exec_, nullptr, &error));
  EXPECT_EQ(error, script +
                       ":2: error bad value eleven for "
                       "sim/cockpit/radios/nav1_freq_hz (an integer)");
  EXPECT_LT(Host::Get().FrameCount(), 10);
  EXPECT_FALSE(
      RunControlScript(SystemFile("missing.txt"), &exec_, nullptr, &error));
}

// --- The tarvos-simhost program ---------------------------------------------

// The program with its stdout and stderr in a pipe, killed when it outlives
// the test.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      dup2(fds[1], 2);
      close(fds[0]);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(fds[1]);
    out_ = fds[0];
  }
  ~Program() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  // Output up to and including the next line end; empty after `seconds`.
  std::string ReadLine(double seconds = 10) {
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    std::string line;
    char ch;
    while (Clock::now() < end) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      if (read(out_, &ch, 1) != 1) break;
      line += ch;
      if (ch == '\n') return line;
    }
    return line;
  }
  // Exit status, or -1 when the program did not end within `seconds`.
  int Wait(double seconds = 20) {
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (Clock::now() < end) {
      // Keep the pipe drained so the program never blocks on its output.
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) {
        char buf[4096];
        ssize_t n = read(out_, buf, sizeof(buf));
        if (n > 0) output_.append(buf, static_cast<size_t>(n));
      }
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        while (true) {
          char buf[4096];
          ssize_t n = read(out_, buf, sizeof(buf));
          if (n <= 0) break;
          output_.append(buf, static_cast<size_t>(n));
        }
        return status_;
      }
    }
    return -1;
  }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = -1;
  std::string output_;
};

class SimhostProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("TARVOS_BUILD_DIR");
    program_ =
        std::string(build != nullptr ? build : "") + "/simhost/tarvos-simhost";
    if (build == nullptr || !std::filesystem::exists(program_) ||
        !std::filesystem::exists(std::string(build) + "/TARVOS/64/lin.xpl")) {
      GTEST_SKIP() << "tarvos-simhost and the plugin are not built";
    }
    char dir[] = "/tmp/tarvos-simhost-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string Script(const std::string& text) {
    std::string path = dir_ + "/script.txt";
    std::ofstream(path) << text;
    return path;
  }
  std::vector<std::string> Args(std::vector<std::string> more) {
    std::vector<std::string> args = {program_, "--root", dir_ + "/root",
                                     "--duration", "30"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  std::string program_, dir_;
};

TEST_F(SimhostProgramTest, StartScriptRunsAndItsQuitEndsTheProgram) {
  Program p(
      Args({"--no-flight", "--script",
            Script("step 30\naircraft 4\n"
                   "get sim/flightmodel/engine/ENGN_running[0]\nquit\n")}));
  EXPECT_EQ(p.Wait(), 0) << p.output();
  EXPECT_NE(p.output().find("script.txt:1: step 30\n  ok frame 30 "),
            std::string::npos)
      << p.output();
  EXPECT_NE(p.output().find("  ok aircraft 4\n"), std::string::npos);
  // Parked: engines off.
  EXPECT_NE(p.output().find("ENGN_running[0]\n  ok 0\n"), std::string::npos);
  EXPECT_NE(p.output().find("  ok bye\n"), std::string::npos);
}

TEST_F(SimhostProgramTest, FailingStartScriptEndsWithStatusOne) {
  Program p(Args({"--script", Script("step 1\nset no/such 1\nstep 100\n")}));
  EXPECT_EQ(p.Wait(), 1);
  EXPECT_NE(p.output().find("script.txt:2: error unknown dataref no/such"),
            std::string::npos)
      << p.output();
  EXPECT_EQ(p.output().find("step 100"), std::string::npos);
}

TEST_F(SimhostProgramTest, BadControlAddressEndsWithStatusTwo) {
  for (const char* where : {"seventy", "70000", "unix:"}) {
    Program p(Args({"--control", where}));
    EXPECT_EQ(p.Wait(), 2) << where << ": " << p.output();
  }
  Program missing(Args({"--script"}));
  EXPECT_EQ(missing.Wait(), 2);
}

// The flying program on an ephemeral control port: the channel answers
// while real time runs, and `quit` ends the run cleanly.
TEST_F(SimhostProgramTest, ControlChannelDrivesTheRunningProgram) {
  Program p(Args({"--control", "0"}));
  std::string first = p.ReadLine();
  const std::string prefix = "control channel on 127.0.0.1:";
  ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
  TestClient c(std::atoi(first.c_str() + prefix.size()));
  ASSERT_TRUE(c.connected());
  auto none = [] {};
  c.Send("status\n");
  std::string status = c.ReadLine(none);
  EXPECT_EQ(status.rfind("ok frame ", 0), 0u) << status;
  EXPECT_NE(status.find(" running phase "), std::string::npos) << status;
  c.Send("step 10\nget sim/time/paused\nrun\nquit\n");
  EXPECT_EQ(c.ReadLine(none).rfind("ok frame ", 0), 0u);
  EXPECT_EQ(c.ReadLine(none), "ok 0");
  EXPECT_EQ(c.ReadLine(none), "ok running");
  EXPECT_EQ(c.ReadLine(none), "ok bye");
  EXPECT_EQ(p.Wait(), 0) << p.output();
}

}  // namespace
}  // namespace simhost
