// The built plugin module and the tarvos-simhost program, checked as the
// simulator and a user would meet them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client/batch.h"
#include "client/connection.h"
#include "client/traffic_view.h"
#include "offsets/coding.h"
#include "tests/support/control_line.h"
#include "tests/support/plugin_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string BuildDir() {
  const char* dir = std::getenv("TARVOS_BUILD_DIR");
  return dir != nullptr ? dir : "";
}

std::string PluginPath() { return BuildDir() + "/TARVOS/64/lin.xpl"; }
std::string SimhostPath() { return BuildDir() + "/simhost/tarvos-simhost"; }

// Runs a program with its output discarded; returns its exit status, or -1
// when it did not exit normally within `timeout_s` (it is then killed).
int RunProgram(const std::vector<std::string>& args, double timeout_s) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    std::vector<char*> argv;
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::duration<double>(timeout_s);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A fresh folder under the temp folder, removed at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (fs::temp_directory_path() / "tarvos-binary-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Names the dynamic symbol table of the module defines.
std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::set<std::string> names;
  std::string command = "nm -D --defined-only '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[1024];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
      text.pop_back();
    }
    size_t space = text.find_last_of(' ');
    if (space != std::string::npos) names.insert(text.substr(space + 1));
  }
  pclose(pipe);
  return names;
}

TEST(PluginBinary, ExportsExactlyTheFiveEntryPoints) {
  ASSERT_TRUE(fs::exists(PluginPath())) << PluginPath();
  std::set<std::string> expected = {"XPluginStart", "XPluginStop",
                                    "XPluginEnable", "XPluginDisable",
                                    "XPluginReceiveMessage"};
  EXPECT_EQ(DefinedDynamicSymbols(PluginPath()), expected);
}

TEST(SimhostProgram, RunsThePluginForTheDurationAndExitsCleanly) {
  TempDir root;
  ASSERT_FALSE(root.path().empty());
  std::string sim_root = root.path() + "/sim";  // created by the program
  int status = RunProgram({SimhostPath(), "--duration", "2", "--root", sim_root,
                           "--plugin", PluginPath()},
                          60);
  EXPECT_EQ(status, 0);
  std::string log = tarvos::testing::ReadFileText(sim_root + "/TARVOS.txt");
  EXPECT_NE(log.find("TARVOS Enable !"), std::string::npos) << log;
  EXPECT_NE(log.find("TARVOS Disable !"), std::string::npos) << log;
}

TEST(SimhostProgram, FindsThePluginNextToItselfByDefault) {
  TempDir root;
  ASSERT_FALSE(root.path().empty());
  int status = RunProgram(
      {SimhostPath(), "--duration", "0.2", "--root", root.path()}, 60);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::exists(root.path() + "/TARVOS.txt"));
}

TEST(SimhostProgram, StopsOnSigterm) {
  TempDir root;
  ASSERT_FALSE(root.path().empty());
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    std::string path = SimhostPath();
    execl(path.c_str(), path.c_str(), "--root", root.path().c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until the plugin is enabled, then ask the program to stop.
  std::string log_path = root.path() + "/TARVOS.txt";
  for (int i = 0; i < 500; ++i) {
    if (tarvos::testing::ReadFileText(log_path).find("TARVOS Enable !") !=
        std::string::npos) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 1500 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (kill(pid, 0) == 0 && waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "tarvos-simhost did not stop on SIGTERM";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(tarvos::testing::ReadFileText(log_path).find("TARVOS Disable !"),
            std::string::npos);
}

// Exit status 2 for every way of failing to start.
TEST(SimhostProgram, RefusesBadStartsWithStatusTwo) {
  TempDir root;
  ASSERT_FALSE(root.path().empty());
  const std::string not_a_plugin = root.path() + "/not_a_plugin.xpl";
  FILE* f = std::fopen(not_a_plugin.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("this is no shared object", f);
  std::fclose(f);
  struct Case {
    const char* what;
    std::vector<std::string> args;
  };
  const std::vector<Case> cases = {
      {"missing plugin", {"--plugin", root.path() + "/missing/lin.xpl"}},
      {"not a shared object", {"--plugin", not_a_plugin}},
      {"library without entry points", {"--plugin", "libm.so.6"}},
      {"unknown option", {"--frobnicate"}},
      {"option without value", {"--fps"}},
      {"bad frame rate", {"--fps", "zero"}},
      {"negative duration", {"--duration", "-1"}},
      {"unknown aircraft", {"--aircraft", "glider"}},
      {"aircraft without value", {"--aircraft"}},
      {"snapshot that is no SVG", {"--snapshot", root.path() + "/x.png"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {SimhostPath(), "--root", root.path(),
                                     "--duration", "0.1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(RunProgram(args, 30), 2) << c.what;
  }
}

// tarvos-simhost with the real plugin, started in a fresh folder, and a TCP
// client connected to that plugin (not to one another program on this
// machine still runs: the plugin's system folder is this root).
class RunningSimhost {
 public:
  // `args` come after --root (a program's default duration otherwise).
  explicit RunningSimhost(std::vector<std::string> args = {"--duration",
                                                           "120"}) {
    if (root_.path().empty()) return;
    args.insert(args.begin(), {SimhostPath(), "--root", root_.path()});
    pid_ = fork();
    if (pid_ == 0) {
      int null = open("/dev/null", O_WRONLY);
      if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
      }
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      c_ = tarvos::client::ConnectTcp("127.0.0.1", 5193, &error_, 2000);
      if (c_ && Ours()) break;
      c_.reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  ~RunningSimhost() { Stop(); }
  // Ends the program (SIGTERM); its wait status, or -1 when none ran.
  int Stop() {
    c_.reset();
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  bool connected() const { return c_ != nullptr; }
  const std::string& error() const { return error_; }
  // The simulator folder the program runs in.
  const std::string& root() const { return root_.path(); }

  std::vector<uint8_t> Read(uint32_t offset, uint32_t size) {
    tarvos::client::RequestBatch b;
    b.AddRead(offset, size);
    EXPECT_TRUE(c_->Exchange(b, &error_)) << error_;
    return std::vector<uint8_t>(b.Data(0), b.Data(0) + size);
  }
  void Write(uint32_t offset, std::vector<uint8_t> bytes) {
    tarvos::client::RequestBatch b;
    b.AddWrite(offset, bytes);
    EXPECT_TRUE(c_->Exchange(b, &error_)) << error_;
  }
  uint32_t U32(uint32_t offset) {
    return tarvos::LoadU32(Read(offset, 4).data());
  }
  tarvos::client::Connection& connection() { return *c_; }
  uint16_t U16(uint32_t offset) {
    return tarvos::LoadU16(Read(offset, 2).data());
  }
  void Write16(uint32_t offset, uint16_t v) {
    Write(offset, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  }

 private:
  bool Ours() {
    tarvos::client::RequestBatch b;
    b.AddRead(0x3E00, 256);
    if (!c_->Exchange(b, &error_)) return false;
    std::string folder(reinterpret_cast<const char*>(b.Data(0)));
    return folder.rfind(root_.path(), 0) == 0;
  }

  TempDir root_;
  pid_t pid_ = -1;
  std::unique_ptr<tarvos::client::Connection> c_;
  std::string error_;
};

// The surface wind set by a TCP client reaches the simulator and comes back
// in all three offsets that publish it.
TEST(SimhostProgram, SurfaceWindWrittenReadsBackInAllThreeOffsets) {
  RunningSimhost sim;
  ASSERT_TRUE(sim.connected()) << sim.error();
  sim.Write16(0x0F72, 23);     // knots
  sim.Write16(0x0F74, 16384);  // 90 degrees magnetic
  const uint32_t kSpeeds[] = {0x04D8, 0x0F72, 0x0EF0};
  const uint32_t kDirections[] = {0x04DA, 0x0F74, 0x0EF2};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto settled = [&] {
    for (uint32_t o : kSpeeds) {
      if (sim.U16(o) != 23) return false;
    }
    for (uint32_t o : kDirections) {
      if (sim.U16(o) != 16384) return false;
    }
    return true;
  };
  while (!settled() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (uint32_t o : kSpeeds) EXPECT_EQ(sim.U16(o), 23) << o;
  // Published as written: the direction goes out magnetic and comes back
  // true plus variation, the same value.
  for (uint32_t o : kDirections) EXPECT_NEAR(sim.U16(o), 16384, 1) << o;
}

// The real plugin in the real program, flying its circuit in real time: a
// TCP client puts the aircraft in the air, turns the heading bug and
// engages heading hold, and the scripted flight turns to the bug.
TEST(SimhostProgram, FlightTurnsToTheHeadingAClientSelects) {
  RunningSimhost sim;
  ASSERT_TRUE(sim.connected()) << sim.error();
  // Four times real time (0x0C1A: 256 per times), so that the turn takes
  // seconds instead of the twenty of a standard-rate turn of 60 degrees.
  sim.Write16(0x0C1A, 4 * 256);
  // Up to 600 m above the field (0x0574: whole metres, plus 3).
  std::vector<uint8_t> metres(4);
  tarvos::StoreS32(metres.data(), 450 + 600);
  sim.Write(0x0574, metres);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  auto heading = [&] {
    return tarvos::LoadU32(sim.Read(0x0580, 4).data()) * 360.0 / 4294967296.0;
  };
  // A bug 60 degrees right of the present heading (the bug is magnetic,
  // 2 degrees less than true on the test field).
  const double start = heading();
  const int bug = static_cast<int>(std::lround(start + 60 - 2)) % 360;
  sim.Write16(0x07CC, static_cast<uint16_t>(bug * 65536 / 360));
  sim.Write(0x07C8, {1, 0, 0, 0});
  EXPECT_EQ(tarvos::LoadU32(sim.Read(0x07C8, 4).data()), 1u) << "heading hold";

  auto off = [&](double now) {
    return std::fmod(now - (bug + 2) + 540.0, 360.0) - 180.0;
  };
  double now = start;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    now = heading();
    if (std::fabs(off(now)) < 3) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_LT(std::fabs(off(now)), 3)
      << "from " << start << " to " << now << ", bug " << bug;
}

}  // namespace

namespace {

// The real module in the stand-in simulator: its three circling AI planes
// reach a TCP client as traffic records, and they move.
TEST(SimhostProgram, PublishesTheCirclingPlanesToATcpClient) {
  RunningSimhost sim({"--no-flight", "--plugin", PluginPath()});
  ASSERT_TRUE(sim.connected()) << sim.error();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto before_deadline = [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return std::chrono::steady_clock::now() < deadline;
  };
  std::string error;
  std::vector<tarvos::client::TrafficEntry> first;
  std::vector<tarvos::client::TrafficEntry> later;
  {
    auto poll = [&] {
      tarvos::client::RequestBatch batch;
      size_t at = tarvos::client::AddTrafficReads(batch);
      if (!sim.connection().Exchange(batch, &error))
        return std::vector<tarvos::client::TrafficEntry>();
      return tarvos::client::DecodeTraffic(batch, at);
    };
    // Until the three records are in and the user's position (refreshed
    // on the flight loop, not at once) is published too.
    auto ready = [&] {
      if (first.size() != 3) return false;
      for (const auto& e : first) {
        if (e.distance_nm > 100.0) return false;
      }
      return true;
    };
    while (!ready() && before_deadline()) first = poll();
    // The planes fly at 55 kt and more: within a few seconds every one
    // has moved by more than a tenth of a mile.
    auto moved = [&] {
      if (later.size() != 3) return false;
      for (const auto& e : first) {
        for (const auto& f : later) {
          if (e.id == f.id && std::fabs(e.bearing_deg - f.bearing_deg) < 1e-3 &&
              std::fabs(e.distance_nm - f.distance_nm) < 1e-3) {
            return false;
          }
        }
      }
      return true;
    };
    while (!moved() && before_deadline()) later = poll();
  }
  const int status = sim.Stop();
  ASSERT_EQ(first.size(), 3u);
  ASSERT_EQ(later.size(), 3u);
  for (size_t i = 0; i < first.size(); ++i) {
    SCOPED_TRACE(first[i].model);
    EXPECT_NE(first[i].id, 0);
    EXPECT_EQ(first[i].model.rfind("Traffic_", 0), 0u);
    // Circles of 4 to 7 km round the field, where the user is parked.
    EXPECT_GT(first[i].distance_nm, 1.0);
    EXPECT_LT(first[i].distance_nm, 6.0);
    EXPECT_GT(first[i].altitude_ft, 1476.0);  // above the field
    EXPECT_GT(first[i].ground_speed_kt, 90.0);
    if (i > 0) {
      EXPECT_LE(first[i - 1].distance_nm, first[i].distance_nm);
    }
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// The real plugin in the real program with the piston aircraft: a TCP
// client sets the magnetos to both, holds the starter until the engine
// runs, lets it go, and the engine keeps running on both magnetos and
// burns fuel.
TEST(SimhostProgram, ClientStartsThePistonEngine) {
  RunningSimhost sim({"--aircraft", "piston", "--duration", "120"});
  ASSERT_TRUE(sim.connected()) << sim.error();
  auto read16 = [&](uint32_t offset) { return sim.U16(offset); };
  auto read32 = [&](uint32_t offset) { return sim.U32(offset); };
  auto write16 = [&](uint32_t offset, uint16_t v) { sim.Write16(offset, v); };
  // Polls until `done` holds, for at most `seconds`.
  auto wait_for = [&](const std::function<bool()>& done, int seconds) {
    auto until =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
  };
  // The aircraft loaded: one engine, a piston (type 0), two tanks.
  ASSERT_TRUE(wait_for([&] { return read16(0x0AEC) == 1; }, 10));
  EXPECT_EQ(read16(0x0609) & 0xFF, 0);
  ASSERT_GT(read32(0x0B80), 0u);
  EXPECT_EQ(read16(0x0894), 0) << "stopped at the start";

  write16(0x0892, 3);  // magnetos both
  EXPECT_TRUE(wait_for([&] { return read16(0x0892) == 3; }, 10));
  write16(0x0892, 4);  // starter held
  bool cranking = false;
  EXPECT_TRUE(wait_for(
      [&] {
        cranking |= read16(0x0892) == 4;
        return read16(0x0894) == 1;
      },
      20))
      << "engine running";
  EXPECT_TRUE(cranking) << "the starter showed 4 while it turned";
  const uint32_t level = read32(0x0B7C);
  write16(0x0892, 3);  // starter released, magnetos both
  EXPECT_TRUE(wait_for([&] { return read16(0x0892) == 3; }, 10));
  EXPECT_EQ(read16(0x0894), 1) << "still running on both magnetos";
  EXPECT_TRUE(wait_for([&] { return read32(0x0B7C) < level; }, 20))
      << "fuel burns";

  write16(0x0892, 0);  // magnetos off: it stops
  EXPECT_TRUE(wait_for([&] { return read16(0x0894) == 0; }, 10));
}

// One command line to the program's control channel (a Unix socket) and
// its answer line.
std::string AskControl(const std::string& path, const std::string& command) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return "";
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
  std::string answer;
  const std::string line = command + "\n";
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      write(fd, line.data(), line.size()) ==
          static_cast<ssize_t>(line.size())) {
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') answer += c;
  }
  close(fd);
  return answer;
}

// The real module in the stand-in: a TCP client writes a text and a display
// time, and the control channel's `windows` shows the band at the top of
// the screen with that text.
TEST(SimhostProgram, MessageFromATcpClientShowsInTheWindowsList) {
  TempDir control_dir;
  ASSERT_FALSE(control_dir.path().empty());
  const std::string control = control_dir.path() + "/control";
  RunningSimhost sim({"--duration", "120", "--control", "unix:" + control});
  ASSERT_TRUE(sim.connected()) << sim.error();
  EXPECT_EQ(AskControl(control, "windows"), "ok 0 windows");

  std::vector<uint8_t> text(128, 0);
  const std::string hello = "Cleared to land runway 27";
  std::copy(hello.begin(), hello.end(), text.begin());
  sim.Write(0x3380, text);
  sim.Write16(0x32FA, 30);
  const std::string want =
      "ok 1 window; 1: 1,1060 to 1920,1040 visible \"" + hello + "\"";
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    got = AskControl(control, "windows");
    if (got == want) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(got, want);
}

}  // namespace

namespace {

// The item of a `widgets` answer (" | " apart) that holds `needle`.
std::string WidgetItem(const std::string& widgets, const std::string& needle) {
  size_t at = widgets.find(" | ");
  while (at != std::string::npos) {
    const size_t start = at + 3;
    at = widgets.find(" | ", start);
    std::string item = widgets.substr(
        start, at == std::string::npos ? std::string::npos : at - start);
    if (item.find(needle) != std::string::npos) return item;
  }
  return "";
}

// The real plugin in the real program, its performance window used through
// the control channel as a user would: the tune value set with the window's
// up arrow is saved and throttles the local transport.
TEST(SimhostProgram, PerformanceWindowTunesTheLocalTransport) {
  TempDir control_dir;
  ASSERT_FALSE(control_dir.path().empty());
  const std::string control = control_dir.path() + "/control";
  RunningSimhost sim(
      {"--no-flight", "--control", "unix:" + control, "--duration", "120"});
  ASSERT_TRUE(sim.connected()) << sim.error();
  tarvos::testing::ControlLine ctl;
  ASSERT_TRUE(ctl.Connect(control));
  EXPECT_EQ(ctl.Ask("menu choose Performance settings"),
            "ok chose TARVOS/TARVOS settings/Performance settings");
  const std::string widgets = ctl.Ask("widgets");
  ASSERT_EQ(widgets.rfind("ok 1 windows, 11 widgets", 0), 0u) << widgets;
  EXPECT_NE(WidgetItem(widgets, "class=text-field").find("text=\"00\""),
            std::string::npos)
      << widgets;
  const std::string up_item = WidgetItem(widgets, "button-type=6");
  const std::string up = up_item.substr(0, up_item.find(' '));
  ASSERT_EQ(up.rfind("w", 0), 0u) << widgets;
  // Past the top: the value stops at 20.
  for (int i = 0; i < 22; ++i) {
    ASSERT_EQ(ctl.Ask("widget press " + up), "ok pressed " + up);
  }
  EXPECT_NE(
      WidgetItem(ctl.Ask("widgets"), "class=text-field").find("text=\"20\""),
      std::string::npos);
  const std::string ini =
      tarvos::testing::ReadFileText(sim.root() + "/TARVOS.ini");
  EXPECT_NE(ini.find("Tune value = 20\n"), std::string::npos) << ini;

  // The local transport of this program (its system folder is our root)
  // now waits 20 ms before it serves a request.
  std::string error;
  auto local = tarvos::client::ConnectLocal("FS98MAIN", &error);
  ASSERT_TRUE(local) << error;
  tarvos::client::RequestBatch batch;
  batch.AddRead(0x3E00, 256);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(local->Exchange(batch, &error)) << error;
  const auto took = std::chrono::steady_clock::now() - start;
  const std::string folder(reinterpret_cast<const char*>(batch.Data(0)));
  EXPECT_EQ(folder.rfind(sim.root(), 0), 0u) << folder;
  EXPECT_GE(took, std::chrono::milliseconds(20));

  // The close box takes the window away.
  EXPECT_EQ(ctl.Ask("widget close TARVOS Performance Settings").rfind("ok", 0),
            0u);
  EXPECT_EQ(ctl.Ask("widgets"), "ok 0 windows, 0 widgets");
}

}  // namespace

namespace {

// --snapshot draws the windows that are open when the run ends: here the
// ATC window a start script opened, with the settings' texts in its fields.
TEST(SimhostProgram, SnapshotDrawsTheWindowsOpenAtTheEnd) {
  TempDir root;
  ASSERT_FALSE(root.path().empty());
  const std::string script = root.path() + "/open.txt";
  FILE* f = std::fopen(script.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("menu choose ATC Menu\n", f);
  std::fclose(f);
  const std::string svg = root.path() + "/atc.svg";
  EXPECT_EQ(
      RunProgram({SimhostPath(), "--root", root.path(), "--no-flight",
                  "--duration", "0.3", "--script", script, "--snapshot", svg},
                 60),
      0);
  // A picture that cannot be written fails the run (status 1).
  EXPECT_EQ(RunProgram({SimhostPath(), "--root", root.path(), "--no-flight",
                        "--duration", "0.1", "--snapshot",
                        root.path() + "/missing/atc.svg"},
                       60),
            1);
  const std::string picture = tarvos::testing::ReadFileText(svg);
  for (const char* text :
       {"ATC Settings", "Tail Number:", "D-ABIB", "Lufthansa", "Apply"}) {
    EXPECT_NE(picture.find(std::string(">") + text + "<"), std::string::npos)
        << text;
  }
}

}  // namespace
