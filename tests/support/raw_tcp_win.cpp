#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>

#include "tests/support/raw_tcp.h"

namespace tarvos::testing {
namespace {

SOCKET Native(intptr_t s) { return static_cast<SOCKET>(s); }

// Winsock stays started for the test process: the plugin's own start-up
// and clean-up come and go with its Enable and Disable.
void StartWinsockOnce() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

}  // namespace

RawTcp::RawTcp(uint16_t port) {
  StartWinsockOnce();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  s_ = s == INVALID_SOCKET ? -1 : static_cast<intptr_t>(s);
  if (s_ < 0) return;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connected_ = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
             sizeof on);
}

std::unique_ptr<RawTcp> RawTcp::Adopt(intptr_t socket) {
  std::unique_ptr<RawTcp> c(new RawTcp());
  c->s_ = socket;
  c->connected_ = socket >= 0;
  return c;
}

void RawTcp::Close() {
  if (s_ >= 0) closesocket(Native(s_));
  s_ = -1;
}

bool RawTcp::Send(const Buf& b) {
  return send(Native(s_), reinterpret_cast<const char*>(b.data()),
              static_cast<int>(b.size()), 0) == static_cast<int>(b.size());
}

Buf RawTcp::Receive(size_t n, int ms) {
  Buf out;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (out.size() < n) {
    int left =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                             end - std::chrono::steady_clock::now())
                             .count());
    if (left < 0) break;
    WSAPOLLFD p{};
    p.fd = Native(s_);
    p.events = POLLIN;
    if (WSAPoll(&p, 1, left) <= 0) break;
    char buf[4096];
    int got = recv(Native(s_), buf,
                   static_cast<int>(std::min(sizeof buf, n - out.size())), 0);
    if (got <= 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

bool RawTcp::PeerClosed(int ms) {
  WSAPOLLFD p{};
  p.fd = Native(s_);
  p.events = POLLIN;
  if (WSAPoll(&p, 1, ms) <= 0) return false;
  char b;
  return recv(Native(s_), &b, 1, MSG_PEEK) <= 0;
}

OtherListener::OtherListener(uint16_t port, bool loopback_only, Reuse reuse) {
  StartWinsockOnce();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  // Windows has no separate port-reuse option: address reuse is the one
  // that would let a second socket share a port.
  if (reuse != Reuse::kNone) {
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
               sizeof on);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(loopback_only ? INADDR_LOOPBACK : INADDR_ANY);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(s, 4) != 0) {
    closesocket(s);
    return;
  }
  s_ = static_cast<intptr_t>(s);
}

uint16_t OtherListener::port() const {
  sockaddr_in a{};
  int len = sizeof a;
  if (getsockname(Native(s_), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    return 0;
  }
  return ntohs(a.sin_port);
}

std::unique_ptr<RawTcp> OtherListener::Accept(int ms) {
  WSAPOLLFD p{};
  p.fd = Native(s_);
  p.events = POLLIN;
  if (WSAPoll(&p, 1, ms) <= 0) return nullptr;
  SOCKET c = accept(Native(s_), nullptr, nullptr);
  if (c == INVALID_SOCKET) return nullptr;
  return RawTcp::Adopt(static_cast<intptr_t>(c));
}

void OtherListener::Close() {
  if (s_ >= 0) closesocket(Native(s_));
  s_ = -1;
}

uint16_t FreeLoopbackPort() { return OtherListener(0, true).port(); }

}  // namespace tarvos::testing
