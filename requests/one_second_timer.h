// The one-second timer: a flight-loop callback run once per second that
// counts down the plugin's timed states.
//
// Threads: runs on the simulator's main thread, like XPluginReceiveMessage,
// which restarts the crash countdown. The countdowns are atomics; only the
// store into OffsetBlock takes OffsetLock.
#ifndef TARVOS_REQUESTS_ONE_SECOND_TIMER_H_
#define TARVOS_REQUESTS_ONE_SECOND_TIMER_H_

#include <atomic>
#include <cstdint>

namespace tarvos {

// Runs of the timer left before the crash flag at 0x0840 is cleared after a
// crash notification.
inline constexpr int32_t kCrashHoldRuns = 5;

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

// One step of a countdown: above 0 it is decreased and fires on reaching 0;
// 0 on entry fires at once; a fired countdown becomes -1 (idle). Returns
// true when it fired.
bool StepCountdown(std::atomic<int32_t>& count);

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_ONE_SECOND_TIMER_H_
