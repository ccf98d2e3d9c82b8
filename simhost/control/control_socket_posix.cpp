#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "simhost/control/control_socket.h"

namespace simhost {
namespace {

void SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

bool StartControlSockets() { return true; }
void StopControlSockets() {}

int PollControl(ControlPollFd* fds, size_t count, int timeout_ms) {
  int n = poll(fds, count, timeout_ms);
  if (n < 0 && errno == EINTR) return 0;
  return n;
}

ControlFd ListenControl(int port, const std::string& unix_path, int* bound_port,
                        std::string* error) {
  int fd = -1;
  if (!unix_path.empty()) {
    sockaddr_un addr{};
    if (unix_path.size() >= sizeof(addr.sun_path)) {
      *error = "bad Unix socket path '" + unix_path + "'";
      return kNoControlFd;
    }
    // A socket left behind by an earlier run would block the bind; any
    // other kind of file is not ours to remove.
    struct stat st;
    if (lstat(unix_path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
      unlink(unix_path.c_str());
    }
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, unix_path.c_str(), unix_path.size());
    if (fd < 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(fd, 8) != 0) {
      *error = SystemError("cannot listen on " + unix_path);
      if (fd >= 0) close(fd);
      return kNoControlFd;
    }
    *bound_port = 0;
  } else {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never other hosts
    socklen_t len = sizeof(addr);
    if (fd < 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      *error =
          SystemError("cannot listen on 127.0.0.1:" + std::to_string(port));
      if (fd >= 0) close(fd);
      return kNoControlFd;
    }
    *bound_port = ntohs(addr.sin_port);
  }
  SetNonBlocking(fd);
  return fd;
}

ControlFd AcceptControl(ControlFd listener) {
  int fd = accept4(static_cast<int>(listener), nullptr, nullptr,
                   SOCK_CLOEXEC | SOCK_NONBLOCK);
  return fd < 0 ? kNoControlFd : fd;
}

long ReceiveControl(ControlFd fd, char* buffer, size_t size) {
  ssize_t n = recv(static_cast<int>(fd), buffer, size, 0);
  if (n < 0) return (errno == EAGAIN || errno == EINTR) ? -2 : -1;
  return static_cast<long>(n);
}

long SendControl(ControlFd fd, const char* data, size_t size) {
  ssize_t n = send(static_cast<int>(fd), data, size, MSG_NOSIGNAL);
  if (n < 0) return (errno == EAGAIN || errno == EINTR) ? -2 : -1;
  return static_cast<long>(n);
}

void CloseControl(ControlFd fd) {
  if (fd >= 0) close(static_cast<int>(fd));
}

bool MakeWakeChannel(ControlFd* read_end, ControlFd* write_end,
                     std::string* error) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = SystemError("cannot create the control wake pipe");
    return false;
  }
  *read_end = pipe_fds[0];
  *write_end = pipe_fds[1];
  return true;
}

void WakeControl(ControlFd write_end) {
  char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost.
  ssize_t ignored = write(static_cast<int>(write_end), &byte, 1);
  (void)ignored;
}

void DrainWake(ControlFd read_end) {
  char buf[64];
  while (read(static_cast<int>(read_end), buf, sizeof(buf)) > 0) {
  }
}

void RemoveControlSocketFile(const std::string& path) { unlink(path.c_str()); }

}  // namespace simhost
