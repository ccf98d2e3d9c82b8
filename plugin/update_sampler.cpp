#include "plugin/update_sampler.h"

#include "XPLMProcessing.h"
#include "transport/subscriptions.h"

namespace tarvos {
namespace {

uint32_t g_frame = 0;  // main thread only

}  // namespace

float UpdateSamplerCallback(float, float, int, void*) {
  try {
    ++g_frame;
    SampleSubscriptions(g_frame, static_cast<double>(XPLMGetElapsedTime()));
  } catch (...) {
    // Never unwind into the simulator.
  }
  return -1.0f;
}

void RegisterUpdateSampler() {
  g_frame = 0;
  XPLMUnregisterFlightLoopCallback(UpdateSamplerCallback, nullptr);
  XPLMRegisterFlightLoopCallback(UpdateSamplerCallback, -1.0f, nullptr);
}

void UnregisterUpdateSampler() {
  XPLMUnregisterFlightLoopCallback(UpdateSamplerCallback, nullptr);
}

uint32_t SampledFrameCount() { return g_frame; }

}  // namespace tarvos
