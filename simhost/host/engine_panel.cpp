// The engine panel as the simulator answers it: the magneto commands move
// an engine's magneto switch. Starter buttons are followed by the flight's
// engine model (it asks the host which buttons are held).
#include <string>

#include "simhost/host/host_state.h"

namespace simhost {

void OnEngineCommand(Host::State& s, const std::string& name) {
  static const std::string kPrefix = "sim/magnetos/magnetos_";
  if (name.rfind(kPrefix, 0) != 0) return;
  const std::string rest = name.substr(kPrefix.size());  // "both_1"
  const size_t us = rest.rfind('_');
  if (us == std::string::npos || us + 2 != rest.size()) return;
  const int engine = rest[us + 1] - '1';
  const std::string position = rest.substr(0, us);
  int value = -1;
  if (position == "off") value = 0;
  if (position == "right") value = 1;
  if (position == "left") value = 2;
  if (position == "both") value = 3;
  if (value < 0 || engine < 0 || engine > 7) return;
  auto it = s.by_name.find("sim/cockpit/engine/ignition_on");
  if (it == s.by_name.end() || !it->second->alive) return;
  std::vector<int>& ints = it->second->ints;
  if (static_cast<size_t>(engine) < ints.size()) ints[engine] = value;
}

}  // namespace simhost
