// A small portability layer over stream sockets for the TCP server: POSIX
// sockets here, Winsock 2.2 behind the same functions on Windows.
//
// Threads: the functions are thread-safe as the platform calls are. Waking a
// thread blocked in Accept or Receive is done with ShutdownSocket from
// another thread; only the owning thread closes a socket, so a descriptor is
// never reused while another thread still blocks on it.
#ifndef TARVOS_TRANSPORT_SOCKET_H_
#define TARVOS_TRANSPORT_SOCKET_H_

#include <cstddef>
#include <cstdint>

namespace tarvos {

#if defined(_WIN32)
using SocketHandle = uintptr_t;
#else
using SocketHandle = int;
#endif
extern const SocketHandle kInvalidSocket;

// Socket library start-up (Winsock 2.2) and clean-up. On POSIX start-up
// always succeeds with version 2.2 and clean-up does nothing.
struct SocketLibraryStatus {
  int error = 0;            // non-zero: start-up failed with this code
  bool version_ok = false;  // the library offers version 2.2
};
SocketLibraryStatus StartSocketLibrary();
void CleanupSocketLibrary();

// Protocol number of "tcp"; false when the protocol database lacks it.
bool LookupTcpProtocol(int* protocol);

// An IPv4 stream socket; kInvalidSocket on failure.
SocketHandle CreateStreamSocket(int protocol);
// Binds to `address` (host byte order, e.g. INADDR_ANY = 0) and `port`
// (0 = any free port) and listens with `backlog`.
bool BindSocket(SocketHandle s, uint32_t address, uint16_t port);
bool ListenSocket(SocketHandle s, int backlog);
// The local port a bound socket got (0 on failure).
uint16_t SocketLocalPort(SocketHandle s);

// Blocks for the next connection; kInvalidSocket when accepting failed or
// the listening socket was shut down.
SocketHandle AcceptSocket(SocketHandle listener);
// Receives at most `size` bytes; <= 0 when the connection closed or failed.
long ReceiveSome(SocketHandle s, void* buffer, size_t size);
// Sends all bytes; false when the connection failed.
bool SendAll(SocketHandle s, const void* data, size_t size);

// Stops the receive direction (wakes a blocked Receive with 0).
void ShutdownReceive(SocketHandle s);
// Stops both directions (wakes a blocked Accept or Receive).
void ShutdownSocket(SocketHandle s);
void CloseSocket(SocketHandle s);

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_SOCKET_H_
