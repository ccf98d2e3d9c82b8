// The autopilot panels as the simulator and the x737 aircraft answer them:
// what a write of the autopilot state word, a mode key stroke or an
// autopilot command does, and how the x737's panel datarefs follow a write.
#include <string>

#include "simhost/host/host_state.h"

namespace simhost {
namespace {

const std::string kStateWord = "sim/cockpit/autopilot/autopilot_state";

// Bits the simulator takes as written instead of as button presses: NAV
// engaged and glide slope engaged.
constexpr int kWrittenOver = 0x200 | 0x800;

Dataref* Named(Host::State& s, const std::string& name) REQUIRES(s.mu) {
  auto it = s.by_name.find(name);
  return it == s.by_name.end() || !it->second->alive ? nullptr : it->second;
}

int IntOf(Host::State& s, const std::string& name) REQUIRES(s.mu) {
  Dataref* d = Named(s, name);
  return d == nullptr ? 0 : static_cast<int>(d->scalar);
}

void SetInt(Host::State& s, const std::string& name, int v) REQUIRES(s.mu) {
  if (Dataref* d = Named(s, name)) d->scalar = v;
}

// A mode of the state word switched on or off through its own bits:
// `engage` is set when the mode is off, all its bits cleared when it is on.
void ToggleMode(Host::State& s, int bits, int engage) REQUIRES(s.mu) {
  Dataref* d = Named(s, kStateWord);
  if (d == nullptr) return;
  int state = static_cast<int>(d->scalar);
  d->scalar = (state & bits) != 0 ? (state & ~bits) : (state | engage);
}

}  // namespace

int AutopilotStateAfterWrite(int old_state, int written) {
  return ((old_state ^ written) & ~kWrittenOver) | (written & kWrittenOver);
}

bool IsAutopilotStateWord(const std::string& name) {
  return name == kStateWord;
}

void OnAutopilotKey(Host::State& s, int key) {
  switch (key) {
    case 12:  // heading hold
      return ToggleMode(s, 0x2, 0x2);
    case 15:  // NAV: arm, or drop armed and engaged
      return ToggleMode(s, 0x100 | 0x200, 0x100);
    case 16:  // altitude hold: engage, or drop armed and engaged
      return ToggleMode(s, 0x20 | 0x4000, 0x4000);
    case 17:  // vertical speed
      return ToggleMode(s, 0x10, 0x10);
    default:
      return;
  }
}

void OnAutopilotCommand(Host::State& s, const std::string& name) {
  if (name == "sim/autopilot/approach") {
    // Arms localizer and glide slope, or drops the approach.
    ToggleMode(s, 0x100 | 0x200 | 0x400 | 0x800, 0x100 | 0x400);
  } else if (name == "sim/autopilot/back_course") {
    ToggleMode(s, 0x100 | 0x200, 0x100);
  }
}

void OnX737PanelWrite(Host::State& s, const Dataref& d) {
  const std::string& n = d.name;
  if (n.rfind("x737/", 0) != 0) return;
  // Only the int datarefs are read as switches; a float one (a speed the
  // plugin wrote) may hold any value, far outside an int.
  const int v = d.kind == DataType::kInt ? static_cast<int>(d.scalar) : 0;
  const std::string afds = "x737/systems/afds/";
  const std::string athr = "x737/systems/athr/";
  if (n == afds + "CMD_A" || n == afds + "CMD_B") {
    // Either command channel engages the autopilot.
    SetInt(s, afds + "APengaged",
           IntOf(s, afds + "CMD_A") != 0 || IntOf(s, afds + "CMD_B") != 0);
  } else if (n == afds + "APengaged" && v == 0) {
    SetInt(s, afds + "CMD_A", 0);
    SetInt(s, afds + "CMD_B", 0);
  } else if (n == afds + "HDG" && v != 0) {
    SetInt(s, afds + "VORLOC", 0);  // one lateral mode at a time
  } else if (n == afds + "VORLOC" && v != 0) {
    SetInt(s, afds + "HDG", 0);
  } else if (n == afds + "APP") {
    SetInt(s, afds + "VORLOC", v != 0 ? 1 : 0);
    if (v != 0) SetInt(s, afds + "HDG", 0);
  } else if (n == afds + "ALTHLD" && v != 0) {
    SetInt(s, afds + "VS", 0);  // one vertical mode at a time
    SetInt(s, afds + "VS_arm", 0);
  } else if (n == afds + "VS" && v != 0) {
    SetInt(s, afds + "ALTHLD", 0);
  } else if (n == afds + "fdA_status" || n == afds + "fdB_status") {
    SetInt(s, afds + "fd_master",
           IntOf(s, afds + "fdA_status") != 0 ||
               IntOf(s, afds + "fdB_status") != 0);
  } else if (n == athr + "MCPSPD_spd") {
    // The MCP window shows what was dialled, in its current unit.
    const bool mach = IntOf(s, athr + "MCPSPD_ismach") != 0;
    if (Dataref* target =
            Named(s, athr + (mach ? "MCPSPD_spdmach" : "MCPSPD_spdkias"))) {
      target->scalar = static_cast<float>(d.scalar);
    }
  }
}

}  // namespace simhost
