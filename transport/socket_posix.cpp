#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transport/socket.h"

namespace tarvos {

const SocketHandle kInvalidSocket = -1;

SocketLibraryStatus StartSocketLibrary() { return {0, true}; }
void CleanupSocketLibrary() {}

bool LookupTcpProtocol(int* protocol) {
  protoent entry;
  protoent* found = nullptr;
  char buffer[1024];
  if (getprotobyname_r("tcp", &entry, buffer, sizeof buffer, &found) == 0 &&
      found != nullptr) {
    *protocol = found->p_proto;
    return true;
  }
  // Minimal systems (containers) often ship without a protocol database;
  // the number of TCP is fixed, so network service does not depend on it.
  *protocol = IPPROTO_TCP;
  return true;
}

SocketHandle CreateStreamSocket(int protocol) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, protocol);
  if (s < 0) return kInvalidSocket;
  return s;
}

bool SetExclusiveAddressUse(SocketHandle s) {
  // On POSIX systems SO_REUSEADDR never lets a second socket bind a port
  // that is being listened on; it lets a re-opened listener bind while
  // connections accepted by its predecessor linger in TIME_WAIT. SO_REUSEPORT
  // (which would let another socket share the port) is never set.
  int on = 1;
  return ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool BindSocket(SocketHandle s, uint32_t address, uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(port);
  return ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool ListenSocket(SocketHandle s, int backlog) {
  if (::listen(s, backlog) != 0) return false;
  const int flags = ::fcntl(s, F_GETFL);
  return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

uint16_t SocketLocalPort(SocketHandle s) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return 0;
  }
  return ntohs(addr.sin_port);
}

namespace {

// Errors of accept() that belong to the connection being taken (it failed
// or was reset before we took it), not to the listener: take the next one.
bool ConnectionError(int error) {
  switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EPROTO:
    case ENOPROTOOPT:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case EPERM:  // a firewall rule refused this connection
#if defined(ENONET)
    case ENONET:
#endif
      return true;
    default:
      return false;
  }
}

// Shortages that pass: the listener is fine, accepting must wait.
bool PassingError(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS ||
         error == ENOMEM;
}

}  // namespace

AcceptResult AcceptConnection(SocketHandle listener, int timeout_ms) {
  AcceptResult result;
  pollfd p{listener, POLLIN, 0};
  const int ready = ::poll(&p, 1, timeout_ms);
  if (ready == 0) return result;  // kNone
  if (ready < 0) {
    if (errno == EINTR) return result;
    result.status = AcceptStatus::kFailed;
    result.error = errno;
    return result;
  }
  // Ready, or hung up / in error: accept() tells which.
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  const int s = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &len,
                          SOCK_CLOEXEC);
  int error = s < 0 ? errno : 0;
  if (s >= 0) {
    // An injected failure: the connection taken is dropped, as one that
    // failed under accept() would be.
    error = InjectedSocketError(SocketCall::kAccept);
    if (error != 0) ::close(s);
  }
  if (error != 0) {
    if (ConnectionError(error)) return result;  // kNone: wait for the next
    result.status =
        PassingError(error) ? AcceptStatus::kRetry : AcceptStatus::kFailed;
    result.error = error;
    return result;
  }
  // Replies are single small writes; do not hold them back.
  int on = 1;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  result.status = AcceptStatus::kAccepted;
  result.socket = s;
  result.peer_address =
      peer.sin_family == AF_INET ? ntohl(peer.sin_addr.s_addr) : 0;
  return result;
}

bool SetReceiveTimeout(SocketHandle s, uint32_t ms) {
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(ms / 1000);
  limit.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  return ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

long ReceiveSome(SocketHandle s, void* buffer, size_t size) {
  if (const int error = InjectedSocketError(SocketCall::kReceive)) {
    errno = error;
    return -1;
  }
  for (;;) {
    ssize_t n = ::recv(s, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return kReceiveTimedOut;
    }
    return static_cast<long>(n);
  }
}

bool SendAll(SocketHandle s, const void* data, size_t size) {
  if (const int error = InjectedSocketError(SocketCall::kSend)) {
    errno = error;
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    // MSG_NOSIGNAL: a client that went away must not raise SIGPIPE in the
    // simulator's process.
    ssize_t n = ::send(s, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void ShutdownReceive(SocketHandle s) { ::shutdown(s, SHUT_RD); }
void ShutdownSocket(SocketHandle s) { ::shutdown(s, SHUT_RDWR); }
void CloseSocket(SocketHandle s) { ::close(s); }

std::string SocketErrorText(int error) { return std::strerror(error); }

}  // namespace tarvos
