#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

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
  // A listener is re-created on the same port while connections accepted
  // from its predecessor may linger in TIME_WAIT.
  int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  return s;
}

bool BindSocket(SocketHandle s, uint32_t address, uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(port);
  return ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool ListenSocket(SocketHandle s, int backlog) {
  return ::listen(s, backlog) == 0;
}

uint16_t SocketLocalPort(SocketHandle s) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return 0;
  }
  return ntohs(addr.sin_port);
}

SocketHandle AcceptSocket(SocketHandle listener) {
  for (;;) {
    int s = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (s >= 0) {
      // Replies are single small writes; do not hold them back.
      int on = 1;
      ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      return s;
    }
    // A connection that was reset before we took it is not a server failure.
    if (errno == EINTR || errno == ECONNABORTED) continue;
    return kInvalidSocket;
  }
}

long ReceiveSome(SocketHandle s, void* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::recv(s, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool SendAll(SocketHandle s, const void* data, size_t size) {
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

}  // namespace tarvos
