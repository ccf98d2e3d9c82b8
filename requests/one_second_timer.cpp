#include "requests/one_second_timer.h"

#include "XPLMDataAccess.h"
#include "XPLMProcessing.h"
#include "base/locks.h"
#include "base/plugin_state.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/message_window.h"

namespace tarvos {
namespace {

// Runs left before the control overrides are released; -1 idle. Atomic
// because the control write handlers (transport threads) re-arm it.
std::atomic<int32_t> g_override_watchdog{-1};

// The pitch, roll, heading and throttle overrides (VariablesAccessMemBlock).
constexpr uint32_t kOverrides[4] = {0x0020, 0x0021, 0x0022, 0x0023};

// Control-override watchdog fired: the yoke and throttles go back to the
// simulator. Under OffsetLock, so that no override write is half done; a
// write that re-armed the watchdog after it fired keeps its overrides. The
// flight loop never waits for the lock: while a client request holds it the
// watchdog is set to fire again at the next run (unless a write re-armed it
// meanwhile).
void ReleaseControlOverrides() {
  if (!OffsetLock.TryAcquire()) {
    int32_t idle = -1;
    g_override_watchdog.compare_exchange_strong(idle, 0);
    return;
  }
  if (g_override_watchdog.load() < 0) {
    for (uint32_t slot : kOverrides) {
      XPLMSetDatai(VariablesAccessMemBlock[slot], 0);
    }
  }
  OffsetLock.Release();
}

void ClearCrashFlag() {
  CrashFlag.store(0);
  uint8_t value[2];
  StoreU16(value, 0);
  Publish(kCrashFlagOffset, value, sizeof value);
}

}  // namespace

bool StepCountdown(std::atomic<int32_t>& count) {
  return StepCountdownOn(count);
}

float OneSecondTimer(float, float, int, void*) {
  try {
    if (StepCountdown(g_override_watchdog)) ReleaseControlOverrides();
    if (StepCountdown(CrashHoldCount)) ClearCrashFlag();
    StepMessageWindowTime();
  } catch (...) {
    // Nothing here throws today; a callback must never let it reach the
    // host.
  }
  return 1.0f;
}

void PrepareOneSecondTimerForEnable() {
  g_override_watchdog.store(0);
  CrashHoldCount.store(kCrashHoldRuns);
}

void ArmOverrideWatchdog(int32_t runs) { g_override_watchdog.store(runs); }

int32_t OverrideWatchdogRunsLeft() { return g_override_watchdog.load(); }

void RegisterOneSecondTimer() {
  XPLMRegisterFlightLoopCallback(OneSecondTimer, 1.0f, nullptr);
}

void UnregisterOneSecondTimer() {
  XPLMUnregisterFlightLoopCallback(OneSecondTimer, nullptr);
}

}  // namespace tarvos
