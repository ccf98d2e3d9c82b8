// Process-wide state of the plugin core: the start gate, the crash flag and
// the aircraft notifications.
//
// Threads: written by the entry points and flight-loop callbacks on the
// simulator's main thread; StartGate and AircraftListChanged are also read
// (and the latter cleared) by the traffic thread. Every field is atomic so
// that those cross-thread reads need no lock; the offsets derived from them
// are published under OffsetLock.
#ifndef TARVOS_BASE_PLUGIN_STATE_H_
#define TARVOS_BASE_PLUGIN_STATE_H_

#include <atomic>
#include <cstdint>

namespace tarvos {

// The plugin's version string, published at 0x6F03 and in both logs.
inline constexpr const char kPluginVersion[] = "1.0.0.0";

// 1 from XPluginStart until the first DeferredStart after the library was
// loaded; the traffic thread waits for it to read 0. Never set again after
// that first run, so a Disable/Enable cycle leaves the gate open.
extern std::atomic<int32_t> StartGate;

// 1 from a crash notification until the one-second timer clears it; mirrors
// offset 0x0840.
extern std::atomic<int32_t> CrashFlag;
// Runs of the one-second timer left before CrashFlag is cleared; -1 idle.
extern std::atomic<int32_t> CrashHoldCount;

// User-aircraft load notifications since the last XPluginEnable; its low 16
// bits are published at 0x32FC.
extern std::atomic<int32_t> AircraftLoadCount;

// Set when the aircraft model table was refreshed after the number of
// aircraft changed; read and cleared by the traffic thread.
extern std::atomic<int32_t> AircraftListChanged;

// Offsets written by the lifecycle (wire values: never change them).
inline constexpr uint32_t kCrashFlagOffset = 0x0840;          // u16
inline constexpr uint32_t kAircraftLoadCountOffset = 0x32FC;  // u16
inline constexpr uint32_t kUserAircraftPathOffset = 0x3C00;   // 256 bytes
inline constexpr uint32_t kUserAircraftFileOffset = 0x3D00;   // 256 bytes

}  // namespace tarvos

#endif  // TARVOS_BASE_PLUGIN_STATE_H_
