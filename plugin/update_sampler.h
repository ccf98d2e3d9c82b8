// The end-of-frame sampling of push subscriptions: one flight-loop callback
// that runs every frame after the refresh callbacks and hands the frame's
// number and the host's elapsed time to SampleSubscriptions.
//
// Threads: main thread only (Enable, Disable, flight loop).
#ifndef TARVOS_PLUGIN_UPDATE_SAMPLER_H_
#define TARVOS_PLUGIN_UPDATE_SAMPLER_H_

#include <cstdint>

namespace tarvos {

// Registered last by Enable, so that the host, which calls its flight-loop
// callbacks in the order they were registered, runs it after every refresh
// callback of the frame. Frames are counted from 1 after each Enable.
void RegisterUpdateSampler();
void UnregisterUpdateSampler();

// The callback itself, for tests and benchmarks.
float UpdateSamplerCallback(float, float, int, void*);
// Frames counted since the last Enable.
uint32_t SampledFrameCount();

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_UPDATE_SAMPLER_H_
