// The TCP seam on Winsock 2.2. Winsock is started once, on the first
// connection, and stays started for the life of the process.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <string>

#include "client/net_io.h"

namespace tarvos::client {
namespace {

bool StartWinsock(std::string* error) {
  static std::once_flag once;
  static int started = -1;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (started != 0) {
    *error = "cannot start Winsock 2.2 (error " + std::to_string(started) + ")";
    return false;
  }
  return true;
}

SOCKET Native(NetSocket s) { return static_cast<SOCKET>(s); }

std::string ErrorText(int code) {
  char text[256] = {};
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' ||
                   text[n - 1] == '.' || text[n - 1] == ' ')) {
    text[--n] = '\0';
  }
  return n > 0 ? std::string(text) : "error " + std::to_string(code);
}

// True when `s` is ready for `events` within `timeout_ms`.
bool WaitFor(NetSocket s, short events, int timeout_ms) {
  WSAPOLLFD p{};
  p.fd = Native(s);
  p.events = events;
  return WSAPoll(&p, 1, timeout_ms) > 0;
}

}  // namespace

NetSocket DialTcp(const std::string& host, uint16_t port, int timeout_ms,
                  std::string* error) {
  if (!StartWinsock(error)) return kNoSocket;
  const std::string where = host + ":" + std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc =
      getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0) {
    *error = "cannot resolve host '" + host + "': " + ErrorText(rc);
    return kNoSocket;
  }
  std::string last = "no address";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) continue;
    // Non-blocking connect, so that an unreachable host times out instead
    // of hanging for minutes.
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    int err = 0;
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      err = WSAGetLastError();
    }
    if (err == WSAEWOULDBLOCK) {
      // A refused connect shows as an error event, not as writable.
      WSAPOLLFD p{};
      p.fd = s;
      p.events = POLLOUT;
      if (WSAPoll(&p, 1, timeout_ms) <= 0) {
        err = WSAETIMEDOUT;
      } else {
        int len = sizeof err;
        err = 0;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err),
                   &len);
        if (err == 0 && (p.revents & (POLLERR | POLLHUP)) != 0) {
          err = WSAECONNREFUSED;
        }
      }
    }
    if (err == 0) {
      u_long off = 0;
      ioctlsocket(s, FIONBIO, &off);
      BOOL nodelay = TRUE;
      setsockopt(s, IPPROTO_TCP, TCP_NODELAY,
                 reinterpret_cast<const char*>(&nodelay), sizeof nodelay);
      freeaddrinfo(found);
      return static_cast<NetSocket>(s);
    }
    last = err == WSAECONNREFUSED ? kRefusedMessage : ErrorText(err);
    closesocket(s);
  }
  freeaddrinfo(found);
  *error = "cannot connect to " + where + ": " + last;
  return kNoSocket;
}

bool SendAll(NetSocket s, const void* data, size_t size, int timeout_ms,
             std::string* error) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (!WaitFor(s, POLLOUT, timeout_ms)) {
      *error = "timed out sending to the server";
      return false;
    }
    int n = send(Native(s), p, static_cast<int>(size), 0);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
    if (n <= 0) {
      *error = "lost the connection: " + ErrorText(WSAGetLastError());
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReceiveExactly(NetSocket s, void* data, size_t size, int timeout_ms,
                    std::string* error) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    if (!WaitFor(s, POLLIN, timeout_ms)) {
      *error = "timed out waiting for the server's reply";
      return false;
    }
    int n = recv(Native(s), p, static_cast<int>(size), 0);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) continue;
    if (n == 0) {
      *error = "the server closed the connection";
      return false;
    }
    if (n < 0) {
      *error = "lost the connection: " + ErrorText(WSAGetLastError());
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void CloseSocket(NetSocket s) {
  if (s != kNoSocket) closesocket(Native(s));
}

}  // namespace tarvos::client
