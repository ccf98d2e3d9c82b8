// The one-second timer: a flight-loop callback run once per second that
// counts down the plugin's timed states.
//
// Threads: runs on the simulator's main thread, like XPluginReceiveMessage,
// which restarts the crash countdown. The override watchdog is re-armed by
// client writes on the transport threads while the timer counts it down, so
// every countdown steps with a compare-and-exchange: a re-arm that lands
// between the timer's read and its write makes the exchange fail and the
// timer retry with the new count, instead of overwriting it. The overrides
// are released and the crash flag stored under OffsetLock.
#ifndef TARVOS_REQUESTS_ONE_SECOND_TIMER_H_
#define TARVOS_REQUESTS_ONE_SECOND_TIMER_H_

#include <atomic>
#include <cstdint>

namespace tarvos {

// Runs of the timer left before the crash flag at 0x0840 is cleared after a
// crash notification.
inline constexpr int32_t kCrashHoldRuns = 5;
// Runs of the timer a write of the override flags keeps the overrides for.
inline constexpr int32_t kOverrideWatchdogRuns = 10;

// The flight-loop callback; returns 1.0 (run again in one second).
float OneSecondTimer(float since_last_call, float since_last_loop, int counter,
                     void* refcon);

// XPluginEnable: override watchdog due at the first run, crash countdown
// restarted with kCrashHoldRuns.
void PrepareOneSecondTimerForEnable();
// Re-arms the control-override watchdog: the overrides are released after
// `runs` further runs of the timer (the control write handlers call it).
void ArmOverrideWatchdog(int32_t runs);

// Registration with its first interval of 1.0 s, and its removal.
void RegisterOneSecondTimer();
void UnregisterOneSecondTimer();

// The watchdog's count: runs left, -1 idle (for tests).
int32_t OverrideWatchdogRunsLeft();

// One step of a countdown: above 0 it is decreased and fires on reaching 0;
// 0 on entry fires at once; a fired countdown becomes -1 (idle). Returns
// true when it fired. `Count` is std::atomic<int32_t> or anything with its
// load and compare_exchange_weak.
template <typename Count>
bool StepCountdownOn(Count& count) {
  int32_t value = count.load();
  for (;;) {
    if (value < 0) return false;
    // 1 reaches 0 and fires; 0 fires at once; either way it ends idle.
    const int32_t next = value > 1 ? value - 1 : -1;
    if (count.compare_exchange_weak(value, next)) return next < 0;
  }
}
bool StepCountdown(std::atomic<int32_t>& count);

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_ONE_SECOND_TIMER_H_
