// The multiplayer aircraft model table: model file name and path of every
// aircraft the host flies besides the user's.
//
// Threads: refreshed on the main thread (DeferredStart before any worker
// thread exists, without the lock; the aircraft-count notification under
// AircraftModelLock); read by the traffic slot threads under
// AircraftModelLock. The aircraft counts are atomics read by the traffic
// thread.
#ifndef TARVOS_TRAFFIC_AIRCRAFT_MODELS_H_
#define TARVOS_TRAFFIC_AIRCRAFT_MODELS_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "XPLMDefs.h"
#include "base/locks.h"

namespace tarvos {

// Entries indexed by aircraft number; entry 0 (the user's aircraft) unused.
inline constexpr int kAircraftModelEntries = 96;
inline constexpr size_t kModelFileNameSize = 256;
inline constexpr size_t kModelPathSize = 512;

struct AircraftModelEntry {
  char file_name[kModelFileNameSize];  // zero-terminated
  char path[kModelPathSize];           // zero-terminated
};

extern AircraftModelEntry AircraftModelTable[kAircraftModelEntries] GUARDED_BY(
    AircraftModelLock);

// The host's aircraft counts as last queried.
extern std::atomic<int32_t> AircraftTotalCount;
extern std::atomic<int32_t> AircraftActiveCount;
extern std::atomic<XPLMPluginID> AircraftControllerId;

// Queries the counts, clears every entry's first byte and fetches aircraft 1
// to active - 1 (at most kAircraftModelEntries - 1) into their entries.
// The Unlocked form is for DeferredStart, which runs while no worker thread
// exists.
void RefreshAircraftModelTable() EXCLUDES(AircraftModelLock);
void RefreshAircraftModelTableUnlocked();

// Copies the model file name of `aircraft` into `out` (at most `size` - 1
// characters, zero-terminated). An aircraft outside the table gives "".
void CopyAircraftModelName(int aircraft, char* out, size_t size)
    EXCLUDES(AircraftModelLock);

}  // namespace tarvos

#endif  // TARVOS_TRAFFIC_AIRCRAFT_MODELS_H_
