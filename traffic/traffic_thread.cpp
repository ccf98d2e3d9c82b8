#include "traffic/traffic_thread.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "plugin/plugin_state.h"
#include "plugin/status_log.h"

namespace tarvos {
namespace {

// Polling period of the start gate and of the run flag.
constexpr auto kGatePoll = std::chrono::milliseconds(10);
constexpr auto kRunPoll = std::chrono::milliseconds(5);
// Grace period Disable gives the thread before waiting for it.
constexpr auto kStopGrace = std::chrono::milliseconds(100);

// Cleared by Disable, polled by the thread: atomic because two threads use
// it without a lock.
std::atomic<bool> g_run{false};
// Owned by the main thread (Start and Stop only). Never destroyed, so that
// an unload or process exit with the thread still joinable cannot end the
// process from a static destructor.
std::thread& TrafficThread() {
  static std::thread* thread = new std::thread();
  return *thread;
}

// Slot threads in use; none until the traffic records are published.
constexpr int kSlotsInUse = 0;

void TrafficMain() {
  try {
    while (g_run.load() && StartGate.load() != 0) {
      std::this_thread::sleep_for(kGatePoll);
    }
    while (g_run.load()) std::this_thread::sleep_for(kRunPoll);
    StatusLine("TARVOS->%02i ATC Threads active......\n", kSlotsInUse);
    StatusLine("Done\n");
  } catch (...) {
    // A worker thread must never take the simulator down.
  }
}

}  // namespace

bool StartTrafficThread() {
  if (TrafficThread().joinable()) return false;
  g_run.store(true);
  try {
    TrafficThread() = std::thread(TrafficMain);
  } catch (const std::system_error&) {
    g_run.store(false);
    return false;
  }
  return true;
}

void StopTrafficThread() {
  if (!TrafficThread().joinable()) return;
  g_run.store(false);
  std::this_thread::sleep_for(kStopGrace);
  TrafficThread().join();
}

bool TrafficThreadRunning() { return TrafficThread().joinable(); }

}  // namespace tarvos
