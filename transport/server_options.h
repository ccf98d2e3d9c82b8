// Where the two transports listen. The defaults are what clients expect
// (TCP port 5193 on every local address, local endpoint "FS98MAIN"); tests
// and benchmarks override them because several simulators, or several test
// processes, may run on one machine at once. Set before the servers start.
#ifndef TARVOS_TRANSPORT_SERVER_OPTIONS_H_
#define TARVOS_TRANSPORT_SERVER_OPTIONS_H_

#include <cstdint>
#include <string>

#include "transport/access_policy.h"

namespace tarvos {

inline constexpr uint16_t kDefaultTcpPort = 5193;
inline constexpr const char* kDefaultIpcEndpointName = "FS98MAIN";

// TCP port to listen on; 0 picks a free port (see TcpServerBoundPort).
void SetTcpServerPort(uint16_t port);
// Listen on 127.0.0.1 only instead of every local address (unless the
// access policy names a listen address of its own).
void SetTcpServerLoopbackOnly(bool loopback_only);
// Who may connect (access_policy.h); set at Enable from TARVOS.ini, taken
// by the listener when it starts.
void SetTcpAccessPolicy(const TcpAccessPolicy& policy);
TcpAccessPolicy CurrentTcpAccessPolicy();
// The port the running listener is bound to; 0 while none is bound.
uint16_t TcpServerBoundPort();
// Shuts the listening socket down under the running listener, as a failing
// network stack would, leaving the run flag set: for tests of the recovery.
// False when no listening socket is open.
bool BreakTcpListeningSocketForTesting();

// Name of the local endpoint (on Linux an abstract Unix socket name).
void SetIpcEndpointName(const std::string& name);
std::string IpcEndpointName();
// True once the running local server has its endpoint open.
bool IpcServerListening();

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_SERVER_OPTIONS_H_
