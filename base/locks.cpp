#include "base/locks.h"

#include <atomic>

namespace tarvos {

RecursiveLock OffsetLock;
Lock TraceLock;
Lock AircraftModelLock;
Lock TrafficLock;

namespace {
// Read by worker threads that may check it while Enable or Disable runs.
std::atomic<bool> g_locks_created{false};
}  // namespace

void RecursiveLock::Acquire() {
  const std::thread::id me = std::this_thread::get_id();
  if (owner_.load(std::memory_order_relaxed) == me) {
    ++depth_;  // re-entered: never waits
    return;
  }
  if (me == priority_.load(std::memory_order_relaxed)) {
    if (!mu_.try_lock()) {
      priority_waiting_.store(1);
      mu_.lock();
      priority_waiting_.store(0);
      priority_waiting_.notify_all();
    }
  } else {
    // Threads already past this point when the priority thread starts to
    // wait go first; each holds the lock for one short step.
    while (priority_waiting_.load() != 0) priority_waiting_.wait(1);
    mu_.lock();
  }
  owner_.store(me, std::memory_order_relaxed);
  depth_ = 1;
}

bool RecursiveLock::TryAcquire() {
  const std::thread::id me = std::this_thread::get_id();
  if (owner_.load(std::memory_order_relaxed) == me) {
    ++depth_;
    return true;
  }
  if (!mu_.try_lock()) return false;
  owner_.store(me, std::memory_order_relaxed);
  depth_ = 1;
  return true;
}

void RecursiveLock::Release() {
  if (--depth_ != 0) return;
  owner_.store(std::thread::id(), std::memory_order_relaxed);
  mu_.unlock();
}

void CreateLocks() {
  OffsetLock.SetPriorityThread(std::this_thread::get_id());
  g_locks_created.store(true);
}
void DestroyLocks() { g_locks_created.store(false); }
bool LocksCreated() { return g_locks_created.load(); }

}  // namespace tarvos
