#include "client/posix_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace tarvos::client {

bool WaitFor(int fd, bool for_write, int timeout_ms) {
  pollfd p{fd, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
  for (;;) {
    int n = ::poll(&p, 1, timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

bool WriteAll(int fd, const void* data, size_t size, int timeout_ms,
              std::string* error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (!WaitFor(fd, true, timeout_ms)) {
      *error = "timed out sending to the server";
      return false;
    }
    ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      *error = std::string("lost the connection: ") + std::strerror(errno);
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadExactly(int fd, void* data, size_t size, int timeout_ms,
                 std::string* error) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    if (!WaitFor(fd, false, timeout_ms)) {
      *error = "timed out waiting for the server's reply";
      return false;
    }
    ssize_t n = ::recv(fd, p, size, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n == 0) {
      *error = "the server closed the connection";
      return false;
    }
    if (n < 0) {
      *error = std::string("lost the connection: ") + std::strerror(errno);
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace tarvos::client
