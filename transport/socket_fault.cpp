#include <atomic>

#include "transport/socket.h"

namespace tarvos {
namespace {

std::atomic<SocketFaultHook> g_hook{nullptr};

}  // namespace

void SetSocketFaultHook(SocketFaultHook hook) {
  g_hook.store(hook, std::memory_order_release);
}

int InjectedSocketError(SocketCall call) {
  const SocketFaultHook hook = g_hook.load(std::memory_order_acquire);
  return hook != nullptr ? hook(call) : 0;
}

}  // namespace tarvos
