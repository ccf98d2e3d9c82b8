// The nine periodic refresh callbacks A to I.
#ifndef TARVOS_OFFSETS_REFRESH_SCHEDULER_H_
#define TARVOS_OFFSETS_REFRESH_SCHEDULER_H_

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

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_REFRESH_SCHEDULER_H_
