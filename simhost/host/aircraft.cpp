// The aircraft list: the user's aircraft (index 0) and the multiplayer
// aircraft the host flies.
#include "XPLMPlanes.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// Buffer sizes the host API promises for XPLMGetNthAircraftModel.
constexpr size_t kFileNameSize = 256;
constexpr size_t kPathSize = 512;

}  // namespace

// One user aircraft, nobody else flying. Its path lies in the system folder.
void DefineDefaultAircraft(Host::State& s) REQUIRES(s.mu) {
  const std::string file = "Twin_Piston.acf";
  s.aircraft = {{file, s.system_path + "Aircraft/Twin Piston/" + file}};
  s.active_aircraft = 1;
}

void Host::SetAircraft(std::vector<Aircraft> aircraft, int active) {
  simhost::HostLock lock(state_->mu);
  int count = static_cast<int>(aircraft.size());
  state_->aircraft = std::move(aircraft);
  state_->active_aircraft = active < 0 || active > count ? count : active;
}

std::vector<Aircraft> Host::GetAircraft() const {
  simhost::HostLock lock(state_->mu);
  return state_->aircraft;
}

}  // namespace simhost

// Nobody has taken control of the other aircraft: the controller is
// XPLM_NO_PLUGIN_ID.
void XPLMCountAircraft(int* outTotalAircraft, int* outActiveAircraft,
                       XPLMPluginID* outController) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  if (outTotalAircraft != nullptr) {
    *outTotalAircraft = static_cast<int>(s.aircraft.size());
  }
  if (outActiveAircraft != nullptr) *outActiveAircraft = s.active_aircraft;
  if (outController != nullptr) *outController = XPLM_NO_PLUGIN_ID;
}

// An index outside the list gives two empty strings.
void XPLMGetNthAircraftModel(int inIndex, char* outFileName, char* outPath) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::Aircraft aircraft;
  if (inIndex >= 0 && static_cast<size_t>(inIndex) < s.aircraft.size()) {
    aircraft = s.aircraft[inIndex];
  }
  simhost::CopyBounded(aircraft.file_name, outFileName, simhost::kFileNameSize);
  simhost::CopyBounded(aircraft.path, outPath, simhost::kPathSize);
}
