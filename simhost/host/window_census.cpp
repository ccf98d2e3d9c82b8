// The screen of the stand-in: every visible plugin window is drawn once per
// frame, after the flight loops, as the simulator draws its windows, and
// the census tells what each window showed (the control channel's
// `windows`).
#include "simhost/host/host_state.h"

namespace simhost {

void Host::DrawVisibleWindows() {
  std::vector<XPLMWindowID> visible;
  {
    HostLock lock(state_->mu);
    for (const auto& [id, window] : state_->windows) {
      if (window.info.visible) visible.push_back(id);
    }
  }
  // Tokens grow with every window made, so the map's order is creation
  // order. A draw may destroy a later window; DrawWindow skips it then.
  for (XPLMWindowID id : visible) DrawWindow(id);
}

std::vector<Host::WindowReport> Host::WindowCensus() const {
  HostLock lock(state_->mu);
  std::vector<WindowReport> out;
  for (const auto& [id, window] : state_->windows) {
    out.push_back({id, window.info, window.last_text});
  }
  return out;
}

}  // namespace simhost
