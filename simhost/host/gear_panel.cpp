// The gear lever's buttons as the simulator answers them: button 52 raises
// the gear handle, 53 lowers it (the flight's gear follows the handle).
#include "simhost/host/host_state.h"

namespace simhost {

namespace {
constexpr char kGearHandle[] = "sim/cockpit/switches/gear_handle_status";
constexpr int kGearUpButton = 52;
constexpr int kGearDownButton = 53;
}  // namespace

void OnControlButton(Host::State& s, int button) {
  if (button != kGearUpButton && button != kGearDownButton) return;
  auto it = s.by_name.find(kGearHandle);
  if (it == s.by_name.end() || !it->second->alive) return;
  it->second->scalar = button == kGearDownButton ? 1 : 0;
}

}  // namespace simhost
