#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "mqtt/wait.h"

namespace tarvos::mqtt {

Wakeup::Wakeup() {
  int fds[2];
  if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
    read_fd_ = fds[0];
    write_fd_ = fds[1];
  }
}

Wakeup::~Wakeup() {
  if (read_fd_ >= 0) close(read_fd_);
  if (write_fd_ >= 0) close(write_fd_);
}

void Wakeup::Signal() {
  const char one = 1;
  // A full pipe already holds a wake-up.
  if (write_fd_ >= 0 && write(write_fd_, &one, 1) < 0) return;
}

void Wakeup::Drain() {
  char buf[256];
  while (read_fd_ >= 0 && read(read_fd_, buf, sizeof buf) > 0) {
  }
}

Readiness WaitFor(int socket, bool want_write, Wakeup& wakeup, int timeout_ms) {
  pollfd fds[2] = {
      {wakeup.read_fd_, POLLIN, 0},
      {socket, static_cast<short>(POLLIN | (want_write ? POLLOUT : 0)), 0}};
  const nfds_t n = socket >= 0 ? 2 : 1;
  Readiness r;
  if (poll(fds, n, timeout_ms) <= 0) return r;
  if (fds[0].revents != 0) wakeup.Drain();
  if (n == 2) {
    // An error or hang-up shows in the next read.
    r.readable = (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    r.writable = (fds[1].revents & POLLOUT) != 0;
  }
  return r;
}

}  // namespace tarvos::mqtt
