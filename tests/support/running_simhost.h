// tarvos-simhost with the real plugin, started in a fresh folder, for tests
// of programs that talk to it over TARNET (POSIX). It is ready when the
// plugin on port 5193 is this one (its system folder is this root), not
// one another program on this machine still runs.
#ifndef TARVOS_TESTS_SUPPORT_RUNNING_SIMHOST_H_
#define TARVOS_TESTS_SUPPORT_RUNNING_SIMHOST_H_

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/batch.h"
#include "client/connection.h"

namespace tarvos::testing {

inline std::string BuildDir() {
  const char* dir = std::getenv("TARVOS_BUILD_DIR");
  return dir != nullptr ? dir : "";
}

// A fresh folder under the temp folder, removed at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tarvos-test-XXXXXX")
            .string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Starts `args[0]` with the rest as its arguments, its output to `log`
// (or discarded). Returns the process id, or -1.
inline pid_t StartProgram(const std::vector<std::string>& args,
                          const std::string& log = "") {
  pid_t pid = fork();
  if (pid == 0) {
    int out = log.empty()
                  ? open("/dev/null", O_WRONLY)
                  : open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    std::vector<char*> argv;
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Ends a started program (SIGTERM); its wait status.
inline int StopProgram(pid_t pid) {
  if (pid <= 0) return -1;
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

class SimhostProcess {
 public:
  // `args` come after --root.
  explicit SimhostProcess(std::vector<std::string> args = {"--duration",
                                                           "120"}) {
    if (root_.path().empty()) return;
    args.insert(args.begin(), {BuildDir() + "/simhost/tarvos-simhost", "--root",
                               root_.path()});
    pid_ = StartProgram(args);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      // Another program's plugin held the port and ours gave up: again.
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        pid_ = StartProgram(args);
        continue;
      }
      auto c = client::ConnectTcp("127.0.0.1", 5193, &error_, 2000);
      if (c && Ours(*c)) {
        ready_ = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  ~SimhostProcess() { StopProgram(pid_); }
  SimhostProcess(const SimhostProcess&) = delete;
  SimhostProcess& operator=(const SimhostProcess&) = delete;
  bool ready() const { return ready_; }
  pid_t pid() const { return pid_; }
  const std::string& error() const { return error_; }

 private:
  bool Ours(client::Connection& c) {
    client::RequestBatch b;
    b.AddRead(0x3E00, 256);
    if (!c.Exchange(b, &error_)) return false;
    std::string folder(reinterpret_cast<const char*>(b.Data(0)), 255);
    folder.resize(folder.find('\0') == std::string::npos ? 255
                                                         : folder.find('\0'));
    return folder.rfind(root_.path(), 0) == 0;
  }

  ScratchDir root_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string error_;
};

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_SUPPORT_RUNNING_SIMHOST_H_
