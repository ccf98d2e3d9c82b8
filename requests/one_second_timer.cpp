#include "requests/one_second_timer.h"

#include "XPLMProcessing.h"
#include "base/plugin_state.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"

namespace tarvos {
namespace {

// Runs left before the control overrides are released; -1 idle. Atomic
// because the control write handlers (transport threads) re-arm it.
std::atomic<int32_t> g_override_watchdog{-1};

// Control-override watchdog: when it fires the joystick and throttle
// overrides are released. The overrides and their watchdog come with the
// flight-control write handling; until then nothing is overridden.
void ReleaseControlOverrides() {}

// On-screen message window: counts down the display time of the client's
// message and removes the window when it runs out. Filled in with the
// message window itself.
void StepMessageWindow() {}

void ClearCrashFlag() {
  CrashFlag.store(0);
  uint8_t value[2];
  StoreU16(value, 0);
  Publish(kCrashFlagOffset, value, sizeof value);
}

}  // namespace

bool StepCountdown(std::atomic<int32_t>& count) {
  int32_t value = count.load();
  if (value < 0) return false;
  if (value > 0) {
    --value;
    count.store(value);
    if (value > 0) return false;
  }
  count.store(-1);
  return true;
}

float OneSecondTimer(float, float, int, void*) {
  try {
    if (StepCountdown(g_override_watchdog)) ReleaseControlOverrides();
    if (StepCountdown(CrashHoldCount)) ClearCrashFlag();
    StepMessageWindow();
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

void RegisterOneSecondTimer() {
  XPLMRegisterFlightLoopCallback(OneSecondTimer, 1.0f, nullptr);
}

void UnregisterOneSecondTimer() {
  XPLMUnregisterFlightLoopCallback(OneSecondTimer, nullptr);
}

}  // namespace tarvos
