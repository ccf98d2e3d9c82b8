#include "tests/support/control_line.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace tarvos::testing {

ControlLine::~ControlLine() {
  if (fd_ >= 0) close(fd_);
}

bool ControlLine::Connect(const std::string& path) {
  if (fd_ >= 0) close(fd_);
  fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd_ < 0) return false;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.size() >= sizeof a.sun_path) return false;
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

std::string ControlLine::Ask(const std::string& command) {
  if (fd_ < 0) return "";
  const std::string line = command + "\n";
  size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = write(fd_, line.data() + sent, line.size() - sent);
    if (n <= 0) return "";
    sent += static_cast<size_t>(n);
  }
  std::string answer;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fd_, buf, sizeof buf);
    if (n <= 0) return answer;
    for (ssize_t i = 0; i < n; ++i) {
      // One answer per command: nothing follows its line end.
      if (buf[i] == '\n') return answer;
      answer += buf[i];
    }
  }
}

}  // namespace tarvos::testing
