// The few socket calls the TCP connection needs, behind one small seam so
// that the connection itself is the same on POSIX and on Winsock.
#ifndef TARVOS_CLIENT_NET_IO_H_
#define TARVOS_CLIENT_NET_IO_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvos::client {

// A connected stream socket: a descriptor on POSIX, a SOCKET on Windows.
using NetSocket = intptr_t;
inline constexpr NetSocket kNoSocket = -1;

// Resolves `host` and connects to `port` with TCP_NODELAY, giving up after
// `timeout_ms` per address. kNoSocket with a friendly message on failure.
NetSocket DialTcp(const std::string& host, uint16_t port, int timeout_ms,
                  std::string* error);
// Sends all bytes; false (with `error`) on failure or time-out.
bool SendAll(NetSocket s, const void* data, size_t size, int timeout_ms,
             std::string* error);
// Receives exactly `size` bytes; false on failure, time-out or closed peer.
bool ReceiveExactly(NetSocket s, void* data, size_t size, int timeout_ms,
                    std::string* error);
void CloseSocket(NetSocket s);

// The message for a refused connection, the same on every platform.
inline constexpr const char* kRefusedMessage =
    "connection refused (is the simulator running with the plugin enabled?)";

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_NET_IO_H_
