// The four process-wide locks and a scoped guard.
//
// Threads: OffsetLock is taken by the simulator's main thread (flight-loop
// refresh, mostly with TryAcquire), the message-window thread, the TCP client
// threads and the traffic threads. No code path holds two of the four locks
// at once (re-entering OffsetLock aside), so there is no lock order to keep.
//
// The locks are static objects that live as long as the library. Create and
// Destroy mark the window in which they may be used (Enable to Disable); the
// mutexes themselves are never torn down, so a late caller cannot touch freed
// memory.
#ifndef TARVOS_BASE_LOCKS_H_
#define TARVOS_BASE_LOCKS_H_

#include <atomic>
#include <mutex>
#include <thread>

#include "base/thread_annotations.h"

namespace tarvos {

// A plain mutual-exclusion lock with try-acquire.
class CAPABILITY("mutex") Lock {
 public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire() ACQUIRE() { mu_.lock(); }
  bool TryAcquire() TRY_ACQUIRE(true) { return mu_.try_lock(); }
  void Release() RELEASE() { mu_.unlock(); }

 private:
  std::mutex mu_;
};

// Re-entrant: the owning thread may acquire it again and must release it as
// often as it acquired it.
//
// One thread may be given precedence (SetPriorityThread): while it waits in
// Acquire, other threads that come to Acquire step aside until it has the
// lock. A mutex lets the thread that just released it take it again before
// a woken waiter runs, so without this a transport serving a long batch,
// record after record, could keep the simulator's flight loop waiting for
// the whole batch instead of one record.
class CAPABILITY("mutex") RecursiveLock {
 public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void Acquire() ACQUIRE();
  bool TryAcquire() TRY_ACQUIRE(true);
  void Release() RELEASE();

  // The thread whose blocking acquires go first (none by default).
  void SetPriorityThread(std::thread::id id) { priority_.store(id); }
  // True while the priority thread waits in Acquire.
  bool PriorityWaiting() const { return priority_waiting_.load() != 0; }

 private:
  // Re-entry is counted here rather than by a recursive mutex, since the
  // owner has to be known to let it past the priority thread anyway.
  std::mutex mu_;
  // The thread that holds mu_ and how often; written by that thread only.
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;
  std::atomic<std::thread::id> priority_{};
  // 1 while the priority thread waits for mu_.
  std::atomic<int> priority_waiting_{0};
};

// Holds a lock for the lifetime of the guard (blocking acquire).
template <typename L>
class SCOPED_CAPABILITY LockGuard {
 public:
  explicit LockGuard(L& lock) ACQUIRE(lock) : lock_(lock) { lock_.Acquire(); }
  ~LockGuard() RELEASE() { lock_.Release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  L& lock_;
};

// Guards OffsetBlock and RequestCount.
extern RecursiveLock OffsetLock;
// Serialises TraceLog entries and the tracing switches.
extern Lock TraceLock;
// Guards the multiplayer aircraft model table.
extern Lock AircraftModelLock;
// Guards the traffic distance table.
extern Lock TrafficLock;

// Called by Enable (order OffsetLock, TraceLock, AircraftModelLock,
// TrafficLock; the calling thread, the simulator's main thread, is given
// precedence on OffsetLock) and Disable (OffsetLock, TraceLock, TrafficLock,
// AircraftModelLock) once every worker thread has ended.
void CreateLocks();
void DestroyLocks();
// True between CreateLocks and DestroyLocks.
bool LocksCreated();

}  // namespace tarvos

#endif  // TARVOS_BASE_LOCKS_H_
