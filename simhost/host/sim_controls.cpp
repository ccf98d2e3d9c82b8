// The simulator's own controls as the stand-in answers them: the pause key
// toggles pause (the clock and the flight stand still while it is set).
// Failures and the pushback plugin's status are plain datarefs; the
// `failures` control command lists the failed elements.
#include "XPLMUtilities.h"
#include "simhost/host/host_state.h"

namespace simhost {

void OnSimulationKey(Host::State& s, int key) {
  if (key != xplm_key_pause) return;
  auto it = s.by_name.find("sim/time/paused");
  if (it == s.by_name.end() || !it->second->alive) return;
  it->second->scalar = it->second->scalar != 0 ? 0 : 1;
}

}  // namespace simhost
