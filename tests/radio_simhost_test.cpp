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

TEST(RadioUnderSimhost, LocalizerNeedleCentresAndDmeCountsDownOnApproach) {
  const std::string simhost = BuildDir() + "/simhost/tarvos-simhost";
  const std::string plugin = BuildDir() + "/TARVOS/64/lin.xpl";
  ASSERT_TRUE(fs::exists(simhost) && fs::exists(plugin));
  // The plugin serves on the fixed port; another server there would answer.
  {
    std::string error;
    if (tarvos::client::ConnectTcp("127.0.0.1", 5193, &error) != nullptr) {
      GTEST_SKIP() << "port 5193 is in use by another program";
    }
  }
  std::string pattern =
      (fs::temp_directory_path() / "tarvos-radio-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string root = pattern;
  const std::string control = root + "/control";

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    execl(simhost.c_str(), simhost.c_str(), "--root", root.c_str(), "--plugin",
          plugin.c_str(), "--control", ("unix:" + control).c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  struct Cleanup {
    pid_t pid;
    std::string root;
    ~Cleanup() {
      if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
      }
      std::error_code ec;
      fs::remove_all(root, ec);
    }
  } cleanup{pid, root};

  // The program is up when its control channel answers.
  ControlChannel ctl;
  bool connected = false;
  for (int i = 0; i < 500 && !connected; ++i) {
    connected = ctl.Connect(control);
    if (!connected) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(connected);
  ASSERT_EQ(ctl.Ask("step 1").rfind("ok", 0), 0u);  // real time stops

  // Fly to the approach (about twelve minutes of the circuit).
  std::string phase;
  for (int i = 0; i < 200 && phase != "approach"; ++i) {
    ASSERT_EQ(ctl.Ask("step 600").rfind("ok", 0), 0u);
    phase = PhaseOf(ctl.Ask("status"));
  }
  ASSERT_EQ(phase, "approach");
  // Another plugin under test may hold the port (tests run in parallel).
  {
    std::ifstream log(root + "/TARVOS.txt");
    std::string text((std::istreambuf_iterator<char>(log)),
                     std::istreambuf_iterator<char>());
    if (text.find("TARNET->Listen OK") == std::string::npos) {
      GTEST_SKIP() << "the plugin could not listen on port 5193";
    }
  }

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
    ASSERT_EQ(ctl.Ask("step 60").rfind("ok", 0), 0u);  // one second
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
