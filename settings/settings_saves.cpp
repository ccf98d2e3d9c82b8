#include "settings/settings_saves.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

#include "settings/ini_file.h"
#include "settings/settings.h"

namespace tarvos {

Lock SettingsFileLock;

namespace {

struct PendingSave {
  const char* section;  // static texts: the callers' key tables
  const char* key;
  std::string value;
};

struct SaveQueue {
  std::mutex mu;
  std::deque<PendingSave> saves;  // guarded by mu
  // Whether `saves` may be non-empty; lets the transports skip the locks
  // after every write record. Set under mu before the save is visible.
  std::atomic<bool> pending{false};
};

// Never destroyed: a transport thread may flush while the library unloads.
SaveQueue& Queue() {
  static SaveQueue* queue = new SaveQueue;
  return *queue;
}

// Section names and keys compare as the file compares them: without regard
// to letter case.
bool SameName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

}  // namespace

void QueueSettingSave(const char* section, const char* key, std::string value) {
  SaveQueue& q = Queue();
  std::lock_guard<std::mutex> hold(q.mu);
  for (PendingSave& save : q.saves) {
    if (SameName(save.section, section) && SameName(save.key, key)) {
      save.value = std::move(value);
      return;
    }
  }
  q.saves.push_back(PendingSave{section, key, std::move(value)});
  q.pending.store(true);
}

void FlushSettingSaves() {
  SaveQueue& q = Queue();
  if (!q.pending.load()) return;
  // The file lock is held across taking a save and writing it, so saves
  // flushed by two threads still reach the file in the order they were
  // queued.
  LockGuard<Lock> file(SettingsFileLock);
  const std::string path = SettingsFilePath();
  for (;;) {
    PendingSave save;
    {
      std::lock_guard<std::mutex> hold(q.mu);
      if (q.saves.empty()) {
        q.pending.store(false);
        return;
      }
      save = std::move(q.saves.front());
      q.saves.pop_front();
    }
    // A failure is reported by the file code; the setting in memory stays.
    WriteIniValue(path, save.section, save.key, save.value);
  }
}

int PendingSettingSaves() {
  SaveQueue& q = Queue();
  std::lock_guard<std::mutex> hold(q.mu);
  return static_cast<int>(q.saves.size());
}

}  // namespace tarvos
