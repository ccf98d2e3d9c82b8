#include "tests/support/linked_plugin.h"

#include "XPLMDefs.h"
#include "base/file_access.h"
#include "simhost/host/faults.h"
#include "transport/socket.h"

extern "C" {
int XPluginStart(char* name, char* signature, char* description);
void XPluginStop(void);
int XPluginEnable(void);
void XPluginDisable(void);
void XPluginReceiveMessage(XPLMPluginID from, int message, void* param);
}

namespace tarvos::testing {
namespace {

int SocketFault(SocketCall call) {
  switch (call) {
    case SocketCall::kAccept:
      return simhost::InjectedSocketError(simhost::SocketCallKind::kAccept);
    case SocketCall::kReceive:
      return simhost::InjectedSocketError(simhost::SocketCallKind::kReceive);
    case SocketCall::kSend:
      return simhost::InjectedSocketError(simhost::SocketCallKind::kSend);
  }
  return 0;
}

int FileWriteFault(const std::string& path) {
  return simhost::InjectedFileWriteError(path);
}

}  // namespace

simhost::PluginEntryPoints LinkedPluginEntryPoints() {
  simhost::PluginEntryPoints entry;
  entry.start = &XPluginStart;
  entry.stop = &XPluginStop;
  entry.enable = &XPluginEnable;
  entry.disable = &XPluginDisable;
  entry.receive_message = &XPluginReceiveMessage;
  return entry;
}

void BootLinkedPlugin(bool enable) {
  simhost::Host& host = simhost::Host::Get();
  host.Reset();
  host.AttachPlugin(LinkedPluginEntryPoints());
  host.StartPlugin();
  if (enable) host.EnablePlugin();
}

void ConnectFaultSeams() {
  SetSocketFaultHook(&SocketFault);
  SetFileWriteFaultHook(&FileWriteFault);
  simhost::SetPluginFaultSeamsConnected(true);
}

}  // namespace tarvos::testing
