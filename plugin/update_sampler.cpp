#include "plugin/update_sampler.h"

#include <atomic>

#include "XPLMProcessing.h"
#include "transport/subscriptions.h"

namespace tarvos {
namespace {

// Written by the main thread only; atomic since tests and benchmarks read
// it from other threads.
std::atomic<uint32_t> g_frame{0};

}  // namespace

float UpdateSamplerCallback(float, float, int, void*) {
  try {
    const uint32_t frame = g_frame.load(std::memory_order_relaxed) + 1;
    g_frame.store(frame, std::memory_order_relaxed);
    SampleSubscriptions(frame, static_cast<double>(XPLMGetElapsedTime()));
  } catch (...) {
    // Never unwind into the simulator.
  }
  return -1.0f;
}

void RegisterUpdateSampler() {
  g_frame.store(0, std::memory_order_relaxed);
  XPLMUnregisterFlightLoopCallback(UpdateSamplerCallback, nullptr);
  XPLMRegisterFlightLoopCallback(UpdateSamplerCallback, -1.0f, nullptr);
}

void UnregisterUpdateSampler() {
  XPLMUnregisterFlightLoopCallback(UpdateSamplerCallback, nullptr);
}

uint32_t SampledFrameCount() { return g_frame.load(std::memory_order_relaxed); }

}  // namespace tarvos
