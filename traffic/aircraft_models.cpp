#include "traffic/aircraft_models.h"

#include <cstring>

#include "XPLMPlanes.h"

namespace tarvos {

AircraftModelEntry AircraftModelTable[kAircraftModelEntries];
std::atomic<int32_t> AircraftTotalCount{0};
std::atomic<int32_t> AircraftActiveCount{0};
std::atomic<XPLMPluginID> AircraftControllerId{0};

namespace {

void RefreshLocked() REQUIRES(AircraftModelLock) {
  int total = 0;
  int active = 0;
  XPLMPluginID controller = 0;
  XPLMCountAircraft(&total, &active, &controller);
  AircraftTotalCount.store(total);
  AircraftActiveCount.store(active);
  AircraftControllerId.store(controller);

  for (AircraftModelEntry& entry : AircraftModelTable) {
    entry.file_name[0] = '\0';
    entry.path[0] = '\0';
  }
  // The host's count is not trusted to fit the table.
  int last = active - 1;
  if (last > kAircraftModelEntries - 1) last = kAircraftModelEntries - 1;
  for (int aircraft = 1; aircraft <= last; ++aircraft) {
    AircraftModelEntry& entry = AircraftModelTable[aircraft];
    XPLMGetNthAircraftModel(aircraft, entry.file_name, entry.path);
    entry.file_name[kModelFileNameSize - 1] = '\0';
    entry.path[kModelPathSize - 1] = '\0';
  }
}

}  // namespace

void RefreshAircraftModelTable() {
  LockGuard<Lock> hold(AircraftModelLock);
  RefreshLocked();
}

// No worker thread exists when DeferredStart calls this, so nothing can
// contend for the table.
void RefreshAircraftModelTableUnlocked() NO_THREAD_SAFETY_ANALYSIS {
  RefreshLocked();
}

void CopyAircraftModelName(int aircraft, char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  if (aircraft < 0 || aircraft >= kAircraftModelEntries) return;
  LockGuard<Lock> hold(AircraftModelLock);
  const char* name = AircraftModelTable[aircraft].file_name;
  const size_t length = strnlen(name, kModelFileNameSize);
  const size_t copy = length < size - 1 ? length : size - 1;
  std::memcpy(out, name, copy);
  out[copy] = '\0';
}

}  // namespace tarvos
