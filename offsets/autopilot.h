// Autopilot and flight-director offsets published by the periodic refresh.
// Every value has two sources, the simulator's autopilot and, while the
// x737 aircraft plugin is active, that plugin's autopilot (which the x737
// drives instead of the simulator's); the source is chosen anew for every
// value on every run, so the offsets follow the plugin being loaded or
// unloaded. The rows are in the offset catalogue (catalogue_systems.cpp).
//
// Threads: main thread only (flight-loop converters); datarefs are read
// without a lock, each value stored under one try-acquire of OffsetLock.
#ifndef TARVOS_OFFSETS_AUTOPILOT_H_
#define TARVOS_OFFSETS_AUTOPILOT_H_

#include <cstdint>

namespace tarvos {

// The selected speed as the pair of fields a client reads: knots at 0x07E2
// and Mach x 65536 at 0x07E8. `has_*` is false for a field that needs the
// speed of sound and density when those are unusable (not positive and
// finite), so that no undefined conversion is stored.
struct SpeedPair {
  bool has_knots = false;
  bool has_mach = false;
  uint16_t knots = 0;
  uint32_t mach = 0;
};
// `v` is a Mach number when `is_mach`, else knots; `sigma` the density
// ratio and `sound_ms` the speed of sound in metres per second.
SpeedPair EncodeSpeedPair(double v, bool is_mach, double sigma,
                          double sound_ms);

// Speed of sound in knots as the conversions hold it (single precision),
// and whether it and sigma allow converting between knots and Mach.
double SoundKnots(double sound_ms);
bool SpeedConversionUsable(double sigma, double sound_knots);

// Callback A.
void ConvertFlightDirectorPitch();  // 0x2EE8
void ConvertFlightDirectorRoll();   // 0x2EF0
// Callback C.
void ConvertAutothrottleHold();  // 0x07DC
void ConvertSpeedTargets();      // 0x07E2 with 0x07E8
void ConvertMachHold();          // 0x07E4
void ConvertApproachHold();      // 0x0800
void ConvertAutothrottleArm();   // 0x0810 (x737 only)
// Callback D.
void ConvertAutopilotMaster();  // 0x07BC
void ConvertWingLeveller();     // 0x07C0
void ConvertFlightDirector();   // 0x2EE0

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_AUTOPILOT_H_
