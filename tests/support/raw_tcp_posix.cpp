#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "tests/support/raw_tcp.h"

namespace tarvos::testing {
namespace {
int Fd(intptr_t s) { return static_cast<int>(s); }
}  // namespace

RawTcp::RawTcp(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  s_ = fd;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connected_ = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

std::unique_ptr<RawTcp> RawTcp::Adopt(intptr_t socket) {
  std::unique_ptr<RawTcp> c(new RawTcp());
  c->s_ = socket;
  c->connected_ = socket >= 0;
  return c;
}

void RawTcp::Close() {
  if (s_ >= 0) ::close(Fd(s_));
  s_ = -1;
}

bool RawTcp::Send(const Buf& b) {
  return ::send(Fd(s_), b.data(), b.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(b.size());
}

Buf RawTcp::Receive(size_t n, int ms) {
  Buf out;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (out.size() < n) {
    int left =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                             end - std::chrono::steady_clock::now())
                             .count());
    pollfd p{Fd(s_), POLLIN, 0};
    if (::poll(&p, 1, left) <= 0) break;
    uint8_t buf[4096];
    ssize_t got = ::recv(Fd(s_), buf, std::min(sizeof buf, n - out.size()), 0);
    if (got <= 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

bool RawTcp::PeerClosed(int ms) {
  pollfd p{Fd(s_), POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return false;
  uint8_t b;
  return ::recv(Fd(s_), &b, 1, MSG_PEEK) <= 0;
}

OtherListener::OtherListener(uint16_t port, bool loopback_only, Reuse reuse) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  if (reuse == Reuse::kAddress) {
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  } else if (reuse == Reuse::kPort) {
    ::setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(loopback_only ? INADDR_LOOPBACK : INADDR_ANY);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(s, 4) != 0) {
    ::close(s);
    return;
  }
  s_ = s;
}

uint16_t OtherListener::port() const {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(Fd(s_), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    return 0;
  }
  return ntohs(a.sin_port);
}

std::unique_ptr<RawTcp> OtherListener::Accept(int ms) {
  pollfd p{Fd(s_), POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return nullptr;
  int c = ::accept(Fd(s_), nullptr, nullptr);
  if (c < 0) return nullptr;
  return RawTcp::Adopt(c);
}

void OtherListener::Close() {
  if (s_ >= 0) ::close(Fd(s_));
  s_ = -1;
}

uint16_t FreeLoopbackPort() { return OtherListener(0, true).port(); }

}  // namespace tarvos::testing
