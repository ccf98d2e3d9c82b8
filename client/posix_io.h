// Blocking reads and writes with a deadline, shared by the POSIX
// connections.
#ifndef TARVOS_CLIENT_POSIX_IO_H_
#define TARVOS_CLIENT_POSIX_IO_H_

#include <cstddef>
#include <string>

namespace tarvos::client {

// Writes all bytes; false (with `error`) on failure or time-out.
bool WriteAll(int fd, const void* data, size_t size, int timeout_ms,
              std::string* error);
// Reads exactly `size` bytes; false on failure, time-out or closed peer.
bool ReadExactly(int fd, void* data, size_t size, int timeout_ms,
                 std::string* error);
// Waits until fd is readable/writable; false on time-out.
bool WaitFor(int fd, bool for_write, int timeout_ms);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_POSIX_IO_H_
