#include "transport/servers.h"

// Placeholder until the transports land: no server threads.
namespace tarvos {

bool StartIpcServer() { return false; }
void StopIpcServer() {}
void PrepareTcpServerForEnable() {}
bool StartTcpServer() { return false; }
void StopTcpServer() {}

}  // namespace tarvos
