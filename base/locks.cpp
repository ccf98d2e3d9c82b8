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

void CreateLocks() { g_locks_created.store(true); }
void DestroyLocks() { g_locks_created.store(false); }
bool LocksCreated() { return g_locks_created.load(); }

}  // namespace tarvos
