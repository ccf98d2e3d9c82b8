// The traffic thread and its slot threads: every multiplayer aircraft the
// host flies is published as a traffic record and an attitude record, and
// the table header at 0xF000 names the nearest one.
//
// Threads: Start and Stop run on the main thread (DeferredStart, Disable).
// The traffic thread waits for StartGate, starts one slot thread per other
// aircraft, follows the aircraft count (AircraftListChanged) and publishes
// the header every cycle (about 200 ms). Each slot thread reads its plane's
// multiplayer datarefs and publishes its two records every cycle. No thread
// here ever holds two of AircraftModelLock, OffsetLock and TrafficLock at
// once. Stop ends every slot thread, then the traffic thread, before it
// returns.
#ifndef TARVOS_TRAFFIC_TRAFFIC_THREAD_H_
#define TARVOS_TRAFFIC_TRAFFIC_THREAD_H_

#include <cstdint>

namespace tarvos {

// Sets the run flag and starts the thread. Returns false, with the run flag
// cleared, when the thread could not be created; also false when it is
// already running (nothing is started twice).
bool StartTrafficThread();

// Clears the run flag, sleeps 100 ms and waits for the thread to end (it
// ends its slot threads first). Does nothing when no thread runs.
void StopTrafficThread();

bool TrafficThreadRunning();

// The offset of the traffic record of the nearest aircraft with a position
// nearer than 1000 km, or 0. The first of equally near aircraft wins.
// Aircraft without position datarefs (from the 20th on) are never chosen.
uint16_t NearestTrafficOffset();

// Slots in use, as the traffic thread last left them.
int TrafficSlotsInUse();
// Slot threads started and not yet ended (0 once Stop has returned).
int TrafficSlotThreadsAlive();
// Cycles the traffic thread has completed since it was started.
uint64_t TrafficCyclesDone();

// Wakes the traffic thread and every slot thread for their next cycle at
// once instead of at the end of their 200 ms sleep. For tests and
// benchmarks that wait for a cycle; harmless at any time.
void KickTrafficCycle();

}  // namespace tarvos

#endif  // TARVOS_TRAFFIC_TRAFFIC_THREAD_H_
