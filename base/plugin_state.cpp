#include "base/plugin_state.h"

namespace tarvos {

std::atomic<int32_t> StartGate{0};
std::atomic<int32_t> CrashFlag{0};
std::atomic<int32_t> CrashHoldCount{-1};
std::atomic<int32_t> AircraftLoadCount{0};
std::atomic<int32_t> AircraftListChanged{0};

}  // namespace tarvos
