// The control channel's `windows`: what the plugin shows on the stand-in's
// screen.
#include <cstdio>
#include <string>

#include "simhost/control/control_commands.h"

namespace simhost {

// "ok 1 window; 1: 1,1060 to 1920,1040 visible "the text"": each window
// with its left, top, right and bottom and the text of its last draw.
std::string ControlExecutor::Windows(const Args& args) {
  if (args.size() != 1) return "error usage: windows";
  const std::vector<Host::WindowReport> census = Host::Get().WindowCensus();
  std::string out = "ok " + std::to_string(census.size()) +
                    (census.size() == 1 ? " window" : " windows");
  int n = 0;
  for (const Host::WindowReport& w : census) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "; %d: %d,%d to %d,%d %s", ++n, w.info.left,
                  w.info.top, w.info.right, w.info.bottom,
                  w.info.visible ? "visible" : "hidden");
    out += buf;
    out += " \"";
    // One answer line: control characters become spaces.
    for (char c : w.last_text) {
      out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    }
    out += "\"";
  }
  return out;
}

}  // namespace simhost
