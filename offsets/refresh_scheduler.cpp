#include "offsets/refresh_scheduler.h"

// Placeholder until the refresh callbacks land: nothing is scheduled.
namespace tarvos {

void PrepareRefreshForEnable() {}
void RegisterRefreshCallbacks() {}
void UnregisterRefreshCallbacks() {}
void RunAircraftLoadConversions() {}

}  // namespace tarvos
