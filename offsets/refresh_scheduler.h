// The nine periodic refresh callbacks A to I.
//
// Threads: everything here runs on the simulator's main thread (Enable,
// Disable, flight loop, message 102). The callbacks take OffsetLock only
// through their converters, mostly with a try-acquire.
//
//   Callback  First call  Later calls            User offset group
//   A         0.5 s       every frame            1
//   B         0.5 s       every 3rd frame        none
//   C         0.6 s       every 7th frame        2
//   D         0.5 s       every 13th frame       3
//   E         1.0 s       0.5 s once, then 31st  4
//   F         1.0 s       every 31st frame       5
//   G         1.0 s       every 59th frame       6
//   H         1.0 s       every 157th frame      7
//   I         1.0 s       every 313th frame      8
#ifndef TARVOS_OFFSETS_REFRESH_SCHEDULER_H_
#define TARVOS_OFFSETS_REFRESH_SCHEDULER_H_

#include "XPLMProcessing.h"

namespace tarvos {

// Called by XPluginEnable before scheduling: sets the first-run flag of
// callback E (and any other per-enable refresh state).
void PrepareRefreshForEnable();
// Registers A to I in that order with their first intervals.
void RegisterRefreshCallbacks();
// Unregisters in the order A, B, C, D, E, F, H, I, G.
void UnregisterRefreshCallbacks();
// The four once-per-aircraft-load conversions, in order: fuel tank
// capacities, never-exceed speed, engine type, number of engines.
void RunAircraftLoadConversions();
// The aircraft-load conversions, then the work of every callback A to I
// (its list and its user offsets) once, in that order: run before the
// servers start, so that a client's first read answers with the
// simulator's values instead of the zeros of a fresh block.
void RunEveryRefreshOnce();

// The callbacks themselves, for tests and benchmarks that drive one run.
float RefreshCallbackA(float, float, int, void*);
float RefreshCallbackB(float, float, int, void*);
float RefreshCallbackC(float, float, int, void*);
float RefreshCallbackD(float, float, int, void*);
float RefreshCallbackE(float, float, int, void*);
float RefreshCallbackF(float, float, int, void*);
float RefreshCallbackG(float, float, int, void*);
float RefreshCallbackH(float, float, int, void*);
float RefreshCallbackI(float, float, int, void*);

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_REFRESH_SCHEDULER_H_
