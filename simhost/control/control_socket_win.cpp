#include <winsock2.h>
#include <ws2tcpip.h>

#include "simhost/control/control_socket.h"

namespace simhost {
namespace {

SOCKET Native(ControlFd fd) { return static_cast<SOCKET>(fd); }

std::string SocketError(const std::string& what) {
  return what + ": socket error " + std::to_string(WSAGetLastError());
}

bool SetNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

bool Blocked() {
  const int e = WSAGetLastError();
  return e == WSAEWOULDBLOCK || e == WSAEINTR;
}

}  // namespace

bool StartControlSockets() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopControlSockets() { WSACleanup(); }

int PollControl(ControlPollFd* fds, size_t count, int timeout_ms) {
  return WSAPoll(fds, static_cast<ULONG>(count), timeout_ms);
}

ControlFd ListenControl(int port, const std::string& unix_path, int* bound_port,
                        std::string* error) {
  if (!unix_path.empty()) {
    *error = "Unix sockets are not offered on Windows; give a port";
    return kNoControlFd;
  }
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  BOOL on = TRUE;
  if (s != INVALID_SOCKET) {
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
               reinterpret_cast<const char*>(&on), sizeof on);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never other hosts
  int len = sizeof addr;
  if (s == INVALID_SOCKET ||
      bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(s, 8) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      !SetNonBlocking(s)) {
    *error = SocketError("cannot listen on 127.0.0.1:" + std::to_string(port));
    if (s != INVALID_SOCKET) closesocket(s);
    return kNoControlFd;
  }
  *bound_port = ntohs(addr.sin_port);
  return static_cast<ControlFd>(s);
}

ControlFd AcceptControl(ControlFd listener) {
  SOCKET s = accept(Native(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNoControlFd;
  SetNonBlocking(s);
  return static_cast<ControlFd>(s);
}

long ReceiveControl(ControlFd fd, char* buffer, size_t size) {
  int n = recv(Native(fd), buffer, static_cast<int>(size), 0);
  if (n == SOCKET_ERROR) return Blocked() ? -2 : -1;
  return n;
}

long SendControl(ControlFd fd, const char* data, size_t size) {
  int n = send(Native(fd), data, static_cast<int>(size), 0);
  if (n == SOCKET_ERROR) return Blocked() ? -2 : -1;
  return n;
}

void CloseControl(ControlFd fd) {
  if (fd != kNoControlFd) closesocket(Native(fd));
}

bool MakeWakeChannel(ControlFd* read_end, ControlFd* write_end,
                     std::string* error) {
  // A connected pair over loopback: the listener is closed at once.
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  SOCKET writer = INVALID_SOCKET, reader = INVALID_SOCKET;
  if (listener != INVALID_SOCKET &&
      bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      listen(listener, 1) == 0 &&
      getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    writer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (writer != INVALID_SOCKET &&
        connect(writer, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      reader = accept(listener, nullptr, nullptr);
    }
  }
  if (listener != INVALID_SOCKET) closesocket(listener);
  if (reader == INVALID_SOCKET) {
    *error = SocketError("cannot create the control wake channel");
    if (writer != INVALID_SOCKET) closesocket(writer);
    return false;
  }
  SetNonBlocking(reader);
  SetNonBlocking(writer);
  *read_end = static_cast<ControlFd>(reader);
  *write_end = static_cast<ControlFd>(writer);
  return true;
}

void WakeControl(ControlFd write_end) {
  char byte = 1;
  // A full buffer already holds a wake-up; nothing is lost.
  send(Native(write_end), &byte, 1, 0);
}

void DrainWake(ControlFd read_end) {
  char buf[64];
  while (recv(Native(read_end), buf, sizeof buf, 0) > 0) {
  }
}

void RemoveControlSocketFile(const std::string&) {}

}  // namespace simhost
