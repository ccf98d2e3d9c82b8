// The built plugin under tarvos-simhost flying its scripted ILS approach,
// watched over TCP as a cockpit builder's radio panel would watch it: the
// localizer needle comes to the centre and the DME counts down.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/batch.h"
#include "client/connection.h"

namespace {

namespace fs = std::filesystem;

std::string BuildDir() {
  const char* dir = std::getenv("TARVOS_BUILD_DIR");
  return dir != nullptr ? dir : "";
}

// A line-based client of the stand-in host's control channel.
class ControlChannel {
 public:
  bool Connect(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    return connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~ControlChannel() {
    if (fd_ >= 0) close(fd_);
  }
  // Sends one command and returns its answer line.
  std::string Ask(const std::string& command) {
    std::string line = command + "\n";
    if (write(fd_, line.data(), line.size()) !=
        static_cast<ssize_t>(line.size())) {
      return "";
    }
    std::string answer;
    char c;
    while (read(fd_, &c, 1) == 1 && c != '\n') answer += c;
    return answer;
  }

 private:
  int fd_ = -1;
};

std::string PhaseOf(const std::string& status) {
  size_t at = status.find(" phase ");
  if (at == std::string::npos) return "";
  at += 7;
  return status.substr(at, status.find(' ', at) - at);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)),
                     std::istreambuf_iterator<char>());
}

// One tarvos-simhost with the plugin, its control channel on a Unix socket
// in a fresh folder; killed and removed at the end.
class SimhostRun {
 public:
  SimhostRun() {
    std::string pattern =
        (fs::temp_directory_path() / "tarvos-radio-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) root_ = pattern;
  }
  ~SimhostRun() {
    if (pid_ > 0 && kill(pid_, 0) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }
  pid_t pid() const { return pid_; }
  ControlChannel& control() { return ctl_; }

  // Starts the program; true when its control channel answers.
  bool Start(const std::string& simhost, const std::string& plugin) {
    if (root_.empty()) return false;
    const std::string control = root_ + "/control";
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      int null = open("/dev/null", O_WRONLY);
      if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
      }
      execl(simhost.c_str(), simhost.c_str(), "--root", root_.c_str(),
            "--plugin", plugin.c_str(), "--control",
            ("unix:" + control).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500; ++i) {
      if (ctl_.Connect(control)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // Whether the plugin's TCP listener got the port: its status log says.
  bool Listening() {
    for (int i = 0; i < 250; ++i) {
      std::string log = FileText(root_ + "/TARVOS.txt");
      if (log.find("TARNET->Listen OK") != std::string::npos) return true;
      if (log.find("TARNET->Bind failed") != std::string::npos) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  std::string root_;
  pid_t pid_ = -1;
  ControlChannel ctl_;
};

bool PortInUse() {
  std::string error;
  return tarvos::client::ConnectTcp("127.0.0.1", 5193, &error) != nullptr;
}

TEST(RadioUnderSimhost, LocalizerNeedleCentresAndDmeCountsDownOnApproach) {
  const std::string simhost = BuildDir() + "/simhost/tarvos-simhost";
  const std::string plugin = BuildDir() + "/TARVOS/64/lin.xpl";
  ASSERT_TRUE(fs::exists(simhost) && fs::exists(plugin));
  // The plugin serves on the fixed port, which other plugins under test
  // take for a few seconds at a time: start again until it is ours.
  std::unique_ptr<SimhostRun> run;
  for (int attempt = 0; attempt < 10 && run == nullptr; ++attempt) {
    for (int i = 0; i < 200 && PortInUse(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    auto candidate = std::make_unique<SimhostRun>();
    ASSERT_TRUE(candidate->Start(simhost, plugin));
    // Real time stops; the deferred start (and the listener) come with the
    // first frames.
    ASSERT_EQ(candidate->control().Ask("step 120").rfind("ok", 0), 0u);
    if (candidate->Listening()) run = std::move(candidate);
  }
  ASSERT_NE(run, nullptr) << "port 5193 stayed in use";
  ControlChannel& ctl = run->control();
  const pid_t pid = run->pid();

  // Fly to the approach (about twelve minutes of the circuit), 20 s at a
  // time: the intercept that follows lasts two minutes.
  std::string phase;
  for (int i = 0; i < 100 && phase != "approach"; ++i) {
    ASSERT_EQ(ctl.Ask("step 1200").rfind("ok", 0), 0u);
    phase = PhaseOf(ctl.Ask("status"));
  }
  ASSERT_EQ(phase, "approach");

  std::string error;
  auto tcp = tarvos::client::ConnectTcp("127.0.0.1", 5193, &error);
  ASSERT_NE(tcp, nullptr) << error;
  struct Sample {
    int needle;
    int dme_tenths;
    std::string ident, dme_text;
  };
  std::vector<Sample> samples;
  while (phase == "approach" && samples.size() < 2000) {
    tarvos::client::RequestBatch batch;
    size_t needle = batch.AddRead(0x0C48, 1);
    size_t tenths = batch.AddRead(0x0300, 2);
    size_t ident = batch.AddRead(0x3000, 6);
    size_t text = batch.AddRead(0x0C29, 5);
    ASSERT_TRUE(tcp->Exchange(batch, &error)) << error;
    Sample s;
    s.needle = static_cast<int8_t>(batch.Data(needle)[0]);
    s.dme_tenths = batch.U16(tenths);
    const char* id = reinterpret_cast<const char*>(batch.Data(ident));
    s.ident.assign(id, strnlen(id, 6));
    s.dme_text.assign(reinterpret_cast<const char*>(batch.Data(text)), 4);
    samples.push_back(s);
    // Every five seconds: each command waits for the host's next poll of
    // the control channel, so a sample a second costs most of the test.
    ASSERT_EQ(ctl.Ask("step 300").rfind("ok", 0), 0u);
    phase = PhaseOf(ctl.Ask("status"));
  }
  ASSERT_GE(samples.size(), 20u);

  // The DME counts down, and its text says what its tenths say.
  for (size_t i = 1; i < samples.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(samples[i].ident, "ITRV");
    EXPECT_LE(samples[i].dme_tenths, samples[i - 1].dme_tenths);
    if (samples[i].dme_tenths < 1000) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%02d.%d",
                    samples[i].dme_tenths / 10, samples[i].dme_tenths % 10);
      EXPECT_EQ(samples[i].dme_text, expected);
    }
  }
  EXPECT_GT(samples.front().dme_tenths, samples.back().dme_tenths + 20);
  // The needle starts off centre at the intercept and is centred (within a
  // tenth of a dot) for the final part of the approach.
  int largest = 0;
  for (const Sample& s : samples)
    largest = std::max(largest, std::abs(s.needle));
  EXPECT_GT(largest, 5);
  for (size_t i = samples.size() - samples.size() / 4; i < samples.size();
       ++i) {
    EXPECT_LE(std::abs(samples[i].needle), 5) << "sample " << i;
  }

  EXPECT_EQ(ctl.Ask("quit"), "ok bye");
  int status = 0;
  for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
