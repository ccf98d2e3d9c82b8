// Start and stop of the two client transports, called by the lifecycle.
#ifndef TARVOS_TRANSPORT_SERVERS_H_
#define TARVOS_TRANSPORT_SERVERS_H_

namespace tarvos {

// Local IPC server thread. Start returns false when the thread could not be
// created; Stop ends it (quit message, wait) and is a no-op when none runs.
bool StartIpcServer();
void StopIpcServer();

// TCP listener thread (port 5193), which owns up to eight client threads.
// PrepareTcpServerForEnable sets the client run flag and clears the
// connected-client count. Stop closes the listening socket, ends every client
// thread and waits for the listener; a no-op when none runs.
void PrepareTcpServerForEnable();
bool StartTcpServer();
void StopTcpServer();

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_SERVERS_H_
