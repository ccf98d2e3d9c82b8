#include "offsets/trace_sources.h"

#include <atomic>

#include "XPLMDataAccess.h"
#include "base/trace_log.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"

namespace tarvos {
namespace {

// Variable slot of sim/time/total_running_time_sec.
constexpr uint32_t kRunningTimeSlot = 0x0033;

// OffsetBlock read without the lock, which is how the trace has always shown
// the bytes of a record it was not given.
const uint8_t* UnlockedOffsetBytes(uint32_t offset) NO_THREAD_SAFETY_ANALYSIS {
  return OffsetBlock + offset;
}

// Read without OffsetLock: the entry is written after the lock is released.
// An atomic read (the count is changed atomically too), so a batch counted
// at the same moment on another thread gives this number or the next one.
int32_t UnlockedRequestCount() NO_THREAD_SAFETY_ANALYSIS {
  return std::atomic_ref<int32_t>(RequestCount).load(std::memory_order_relaxed);
}

double RunningTime() {
  return static_cast<double>(
      XPLMGetDataf(VariablesAccessMemBlock[kRunningTimeSlot]));
}

}  // namespace

void ConnectTraceToOffsets() {
  TraceSources sources;
  sources.offset_bytes = UnlockedOffsetBytes;
  sources.space_size = kOffsetSpaceSize;
  sources.request_number = UnlockedRequestCount;
  sources.running_time = RunningTime;
  SetTraceSources(sources);
}

}  // namespace tarvos
