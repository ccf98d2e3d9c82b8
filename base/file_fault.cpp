#include <atomic>

#include "base/file_access.h"

namespace tarvos {
namespace {

std::atomic<FileWriteFaultHook> g_hook{nullptr};

}  // namespace

void SetFileWriteFaultHook(FileWriteFaultHook hook) {
  g_hook.store(hook, std::memory_order_release);
}

int InjectedFileWriteError(const std::string& path) {
  const FileWriteFaultHook hook = g_hook.load(std::memory_order_acquire);
  return hook != nullptr ? hook(path) : 0;
}

}  // namespace tarvos
