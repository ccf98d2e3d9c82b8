// The few socket calls of the control server, on POSIX sockets or Winsock.
// Descriptors are held as intptr_t (-1: none), which fits both a POSIX
// descriptor and a Winsock SOCKET. The wake-up channel is a pipe on POSIX
// and a connected loopback socket pair on Windows, which has no pipes that
// WSAPoll can wait on.
#ifndef TARVOS_SIMHOST_CONTROL_CONTROL_SOCKET_H_
#define TARVOS_SIMHOST_CONTROL_CONTROL_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <poll.h>
#endif

namespace simhost {

using ControlFd = intptr_t;
inline constexpr ControlFd kNoControlFd = -1;

#if defined(_WIN32)
using ControlPollFd = WSAPOLLFD;
#else
using ControlPollFd = pollfd;
#endif
inline ControlPollFd PollEntry(ControlFd fd, short events) {
  ControlPollFd p{};
#if defined(_WIN32)
  p.fd = static_cast<SOCKET>(fd);
#else
  p.fd = static_cast<int>(fd);
#endif
  p.events = events;
  return p;
}

// Socket library start-up and clean-up (nothing on POSIX).
bool StartControlSockets();
void StopControlSockets();

// Waits for the entries; -1 on failure (an interrupted wait counts as 0).
int PollControl(ControlPollFd* fds, size_t count, int timeout_ms);
// A non-blocking listening socket on loopback TCP `port` (0: any), or on
// the Unix socket `unix_path` when it is not empty. -1 with `error` set.
ControlFd ListenControl(int port, const std::string& unix_path, int* bound_port,
                        std::string* error);
// The next pending connection, non-blocking; -1 when none is waiting.
ControlFd AcceptControl(ControlFd listener);
// Received or sent bytes; 0 when the peer closed; -1 when it failed; -2
// when nothing could be done without blocking.
long ReceiveControl(ControlFd fd, char* buffer, size_t size);
long SendControl(ControlFd fd, const char* data, size_t size);
void CloseControl(ControlFd fd);
// The wake-up channel: `read_end` becomes readable after WakeControl.
bool MakeWakeChannel(ControlFd* read_end, ControlFd* write_end,
                     std::string* error);
void WakeControl(ControlFd write_end);
void DrainWake(ControlFd read_end);
// Removes the Unix socket file at `path` (nothing on Windows).
void RemoveControlSocketFile(const std::string& path);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_CONTROL_CONTROL_SOCKET_H_
