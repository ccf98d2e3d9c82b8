// The TCP seam on POSIX sockets.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/net_io.h"
#include "client/posix_io.h"

namespace tarvos::client {

NetSocket DialTcp(const std::string& host, uint16_t port, int timeout_ms,
                  std::string* error) {
  const std::string where = host + ":" + std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc =
      ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) {
    *error = "cannot resolve host '" + host + "': " + ::gai_strerror(rc);
    return kNoSocket;
  }
  std::string last = "no address";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    // Non-blocking connect, so that an unreachable host times out instead
    // of hanging for minutes.
    int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int c = ::connect(fd, a->ai_addr, a->ai_addrlen);
    int err = c == 0 ? 0 : errno;
    if (err == EINPROGRESS) {
      if (!WaitFor(fd, true, timeout_ms)) {
        err = ETIMEDOUT;
      } else {
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
      }
    }
    if (err == 0) {
      ::fcntl(fd, F_SETFL, flags);
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      ::freeaddrinfo(found);
      return fd;
    }
    last = err == ECONNREFUSED ? kRefusedMessage : std::strerror(err);
    ::close(fd);
  }
  ::freeaddrinfo(found);
  *error = "cannot connect to " + where + ": " + last;
  return kNoSocket;
}

bool SendAll(NetSocket s, const void* data, size_t size, int timeout_ms,
             std::string* error) {
  return WriteAll(static_cast<int>(s), data, size, timeout_ms, error);
}

bool ReceiveExactly(NetSocket s, void* data, size_t size, int timeout_ms,
                    std::string* error) {
  return ReadExactly(static_cast<int>(s), data, size, timeout_ms, error);
}

void CloseSocket(NetSocket s) {
  if (s != kNoSocket) ::close(static_cast<int>(s));
}

}  // namespace tarvos::client
