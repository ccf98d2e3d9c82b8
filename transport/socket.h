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
#include <string>

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
// Makes the address a listening socket binds to its own for as long as it
// is open: no other socket, of this program or another, may bind the same
// port beside it (so no other program can take connections meant for the
// simulator). Call before BindSocket; false when the platform refused it.
//   POSIX: SO_REUSEADDR. There it only lets a new listener bind while
//     connections of an earlier one linger in TIME_WAIT; a port with a
//     listening socket can never be bound by another socket (SO_REUSEPORT,
//     which would allow that, is never set).
//   Windows: SO_EXCLUSIVEADDRUSE, and never SO_REUSEADDR (which there lets
//     any other socket bind the same port and steal its connections).
bool SetExclusiveAddressUse(SocketHandle s);
// Binds to `address` (host byte order, e.g. INADDR_ANY = 0) and `port`
// (0 = any free port) and listens with `backlog`.
bool BindSocket(SocketHandle s, uint32_t address, uint16_t port);
// Listens with `backlog`. The socket is left non-blocking: AcceptConnection
// waits for connections itself, so a connection reset while it was queued
// can never leave the listener blocked.
bool ListenSocket(SocketHandle s, int backlog);
// The local port a bound socket got (0 on failure).
uint16_t SocketLocalPort(SocketHandle s);

// Outcome of AcceptConnection.
enum class AcceptStatus {
  kAccepted,  // `socket` is a new connection from `peer_address`
  kNone,      // no connection within the time-out
  kRetry,     // a passing failure (descriptors or memory short): try later
  kFailed,    // the listening socket is broken or was shut down
};
struct AcceptResult {
  AcceptStatus status = AcceptStatus::kNone;
  SocketHandle socket = kInvalidSocket;
  uint32_t peer_address = 0;  // IPv4, host byte order
  int error = 0;              // the system's error number of kRetry, kFailed
};
// Waits up to `timeout_ms` (-1: without limit) for the next connection on a
// listening socket and accepts it. ShutdownSocket on the listener from
// another thread ends the wait with kFailed.
AcceptResult AcceptConnection(SocketHandle listener, int timeout_ms);

// Gives up a receive after `ms` milliseconds without data (0: never).
bool SetReceiveTimeout(SocketHandle s, uint32_t ms);
// ReceiveSome's result when the receive time-out passed without data.
inline constexpr long kReceiveTimedOut = -2;
// Receives at most `size` bytes; 0 when the connection closed, -1 when it
// failed, kReceiveTimedOut after the receive time-out.
long ReceiveSome(SocketHandle s, void* buffer, size_t size);
// Sends all bytes; false when the connection failed.
bool SendAll(SocketHandle s, const void* data, size_t size);

// Stops the receive direction (wakes a blocked Receive with 0).
void ShutdownReceive(SocketHandle s);
// Stops both directions (wakes a blocked Accept or Receive).
void ShutdownSocket(SocketHandle s);
void CloseSocket(SocketHandle s);

// The system's text for a socket error number.
std::string SocketErrorText(int error);

// Fault seam for tests and the stand-in host. When a hook is set, every
// AcceptConnection, ReceiveSome and SendAll asks it first; a non-zero
// result (a system error number: errno on POSIX, a WSA code on Windows)
// makes the call fail as the platform call would have failed with it: an
// accepted connection is dropped and the error classified as accept
// errors are, a receive returns -1, a send false. With no hook set (the
// plugin in a simulator) the cost is one atomic load per call.
enum class SocketCall { kAccept, kReceive, kSend };
using SocketFaultHook = int (*)(SocketCall call);
void SetSocketFaultHook(SocketFaultHook hook);
// The hook's answer for `call`, or 0 without a hook (for the platform
// files).
int InjectedSocketError(SocketCall call);

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_SOCKET_H_
