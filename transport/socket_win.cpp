// Winsock 2.2 behind the portable socket functions.
//
// Windows does not wake a thread blocked on a socket when another thread
// shuts it down (a listening socket in particular ignores shutdown), so the
// waits here are taken in short slices and end as soon as the socket was
// shut down: ShutdownSocket and ShutdownReceive mark the socket, and every
// slice looks at the mark. The receive time-out is kept here for the same
// reason.
//
// Threads: the marks and time-outs sit in one small table guarded by its own
// mutex; the Winsock calls are thread-safe.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which they need.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "transport/socket.h"

namespace tarvos {

const SocketHandle kInvalidSocket = static_cast<SocketHandle>(INVALID_SOCKET);

namespace {

// Length of one wait slice: how long a shut-down socket may keep its thread.
constexpr int kSliceMs = 50;

struct SocketNotes {
  bool shut_receive = false;
  uint32_t receive_timeout_ms = 0;  // 0: none
};

std::mutex& NotesMutex() {
  static std::mutex* mu = new std::mutex;
  return *mu;
}

// Guarded by NotesMutex(). Never destroyed: threads may still look at it
// while the library unloads.
std::unordered_map<SocketHandle, SocketNotes>& Notes() {
  static auto* notes = new std::unordered_map<SocketHandle, SocketNotes>;
  return *notes;
}

SocketNotes NotesOf(SocketHandle s) {
  std::lock_guard<std::mutex> hold(NotesMutex());
  auto it = Notes().find(s);
  return it == Notes().end() ? SocketNotes{} : it->second;
}

SOCKET Native(SocketHandle s) { return static_cast<SOCKET>(s); }

// Waits up to `timeout_ms` (-1: without limit) for `events` on `s` in
// slices. 1 ready, 0 timed out, -1 failed or shut down.
int WaitFor(SocketHandle s, short events, int timeout_ms) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (NotesOf(s).shut_receive) return -1;
    int slice = kSliceMs;
    if (timeout_ms >= 0) {
      const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
      if (spent >= timeout_ms) return 0;
      if (timeout_ms - spent < slice)
        slice = static_cast<int>(timeout_ms - spent);
    }
    WSAPOLLFD p{};
    p.fd = Native(s);
    p.events = events;
    const int ready = WSAPoll(&p, 1, slice);
    if (ready > 0) return 1;
    if (ready < 0) return -1;
  }
}

}  // namespace

SocketLibraryStatus StartSocketLibrary() {
  WSADATA data;
  const int error = WSAStartup(MAKEWORD(2, 2), &data);
  if (error != 0) return {error, false};
  return {0, LOBYTE(data.wVersion) == 2 && HIBYTE(data.wVersion) == 2};
}

void CleanupSocketLibrary() { WSACleanup(); }

bool LookupTcpProtocol(int* protocol) {
  const protoent* found = getprotobyname("tcp");
  if (found != nullptr) {
    *protocol = found->p_proto;
    return true;
  }
  // The number of TCP is fixed; service does not depend on the database.
  *protocol = IPPROTO_TCP;
  return true;
}

SocketHandle CreateStreamSocket(int protocol) {
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, protocol, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  return static_cast<SocketHandle>(s);
}

bool SetExclusiveAddressUse(SocketHandle s) {
  BOOL on = TRUE;
  return setsockopt(Native(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                    reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool BindSocket(SocketHandle s, uint32_t address, uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(port);
  return bind(Native(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool ListenSocket(SocketHandle s, int backlog) {
  if (listen(Native(s), backlog) != 0) return false;
  u_long non_blocking = 1;
  return ioctlsocket(Native(s), FIONBIO, &non_blocking) == 0;
}

uint16_t SocketLocalPort(SocketHandle s) {
  sockaddr_in addr{};
  int len = sizeof addr;
  if (getsockname(Native(s), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return 0;
  }
  return ntohs(addr.sin_port);
}

AcceptResult AcceptConnection(SocketHandle listener, int timeout_ms) {
  AcceptResult result;
  const int ready = WaitFor(listener, POLLRDNORM, timeout_ms);
  if (ready == 0) return result;  // kNone
  if (ready < 0) {
    result.status = AcceptStatus::kFailed;
    result.error = WSAGetLastError();
    return result;
  }
  sockaddr_in peer{};
  int len = sizeof peer;
  SOCKET s = accept(Native(listener), reinterpret_cast<sockaddr*>(&peer), &len);
  int error = s == INVALID_SOCKET ? WSAGetLastError() : 0;
  if (s != INVALID_SOCKET) {
    // An injected failure: the connection taken is dropped, as one that
    // failed under accept() would be.
    error = InjectedSocketError(SocketCall::kAccept);
    if (error != 0) closesocket(s);
  }
  if (error != 0) {
    switch (error) {
      case WSAEWOULDBLOCK:
      case WSAECONNRESET:
      case WSAEINTR:
        return result;  // kNone: the connection went away; wait for the next
      case WSAEMFILE:
      case WSAENOBUFS:
        result.status = AcceptStatus::kRetry;
        break;
      default:
        result.status = AcceptStatus::kFailed;
        break;
    }
    result.error = error;
    return result;
  }
  // An accepted socket inherits the listener's non-blocking mode.
  u_long blocking = 0;
  ioctlsocket(s, FIONBIO, &blocking);
  BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
             sizeof on);
  result.status = AcceptStatus::kAccepted;
  result.socket = static_cast<SocketHandle>(s);
  result.peer_address =
      peer.sin_family == AF_INET ? ntohl(peer.sin_addr.s_addr) : 0;
  return result;
}

bool SetReceiveTimeout(SocketHandle s, uint32_t ms) {
  std::lock_guard<std::mutex> hold(NotesMutex());
  Notes()[s].receive_timeout_ms = ms;
  return true;
}

long ReceiveSome(SocketHandle s, void* buffer, size_t size) {
  if (const int error = InjectedSocketError(SocketCall::kReceive)) {
    WSASetLastError(error);
    return -1;
  }
  const SocketNotes notes = NotesOf(s);
  const int timeout = notes.receive_timeout_ms == 0
                          ? -1
                          : static_cast<int>(notes.receive_timeout_ms);
  const int ready = WaitFor(s, POLLRDNORM, timeout);
  if (ready == 0) return kReceiveTimedOut;
  if (ready < 0) return NotesOf(s).shut_receive ? 0 : -1;
  const int chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  const int n = recv(Native(s), static_cast<char*>(buffer), chunk, 0);
  if (n == SOCKET_ERROR) return -1;
  return n;
}

bool SendAll(SocketHandle s, const void* data, size_t size) {
  if (const int error = InjectedSocketError(SocketCall::kSend)) {
    WSASetLastError(error);
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const int chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    const int n = send(Native(s), p, chunk, 0);
    if (n == SOCKET_ERROR || n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

// Marks the socket so that every wait on it ends, then shuts it down.
void MarkAndShutdown(SocketHandle s, int how) {
  {
    std::lock_guard<std::mutex> hold(NotesMutex());
    Notes()[s].shut_receive = true;
  }
  shutdown(Native(s), how);
}

}  // namespace

void ShutdownReceive(SocketHandle s) { MarkAndShutdown(s, SD_RECEIVE); }
void ShutdownSocket(SocketHandle s) { MarkAndShutdown(s, SD_BOTH); }

void CloseSocket(SocketHandle s) {
  {
    std::lock_guard<std::mutex> hold(NotesMutex());
    Notes().erase(s);
  }
  closesocket(Native(s));
}

std::string SocketErrorText(int error) {
  char text[256] = {0};
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  if (n == 0) {
    std::snprintf(text, sizeof text, "socket error %d", error);
    return text;
  }
  std::string out(text, n);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' ||
                          out.back() == ' ' || out.back() == '.')) {
    out.pop_back();
  }
  return out;
}

}  // namespace tarvos
