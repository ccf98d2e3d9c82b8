// The traffic thread, started by DeferredStart and stopped by Disable.
//
// Threads: Start and Stop run on the main thread; the thread itself waits
// for StartGate and then runs until its run flag is cleared. It currently
// only keeps that shape: publishing the traffic records of the multiplayer
// aircraft (slot threads, table header, nearest aircraft) is still to be
// built on top of it.
#ifndef TARVOS_TRAFFIC_TRAFFIC_THREAD_H_
#define TARVOS_TRAFFIC_TRAFFIC_THREAD_H_

namespace tarvos {

// Sets the run flag and starts the thread. Returns false, with the run flag
// cleared, when the thread could not be created; also false when it is
// already running (nothing is started twice).
bool StartTrafficThread();

// Clears the run flag, sleeps 100 ms and waits for the thread to end. Does
// nothing when no thread runs.
void StopTrafficThread();

bool TrafficThreadRunning();

}  // namespace tarvos

#endif  // TARVOS_TRAFFIC_TRAFFIC_THREAD_H_
