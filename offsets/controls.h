// Flight-control and aircraft-system offsets published by the periodic
// refresh: yoke roll, the trims and their f64 copies, flaps and slats,
// spoilers, the override flags byte, the electrical and fuel-pump switches
// and the pushback state. The plain rows (one scaled read each) are refreshed
// from the catalogue (catalogue_controls.cpp); these are the ones with logic
// of their own.
//
// Threads: main thread only (flight-loop converters); datarefs are read
// without a lock, each value stored under one try-acquire of OffsetLock.
#ifndef TARVOS_OFFSETS_CONTROLS_H_
#define TARVOS_OFFSETS_CONTROLS_H_

#include <cstdint>

namespace tarvos {

// 0x0BD0: the spoiler handle for a speed-brake request `request` (negative:
// armed): 4800 armed, request x 11583 + 4800 from just above 0.07 to 1,
// else 0.
int32_t SpoilerHandlePosition(float request);
// 0x0BCC: 1 while the spoilers are armed (a negative request), else 0.
int32_t SpoilersArmed(float request);
// 0x31F0: the published pushback state for the pushback plugin's status:
// 0 -> 3 (no pushback), 1 -> 0, 2 -> 2, 3 -> 1, anything else 0.
int32_t PushbackState(int status);
// 0x310A: bit 0 of each override value, pitch to bit 0, roll to bit 1,
// heading to bit 2, throttles to bit 3.
uint8_t OverrideFlags(int pitch, int roll, int heading, int throttles);

// Callback B.
void ConvertYokeRoll();            // 0x0BB6, only with a joystick
void ConvertElevatorTrimCopies();  // 0x0BC2 and 0x2E98, one reading
// Callback C.
void ConvertOverrideFlags();  // 0x310A
// Callback D.
void ConvertSpoilers();  // 0x0BCC and 0x0BD0
// Callback E.
void ConvertGenerators();  // 0x3101
void ConvertBattery();     // 0x3102, the x737's bus when active
void ConvertFuelPumps();   // 0x3104
void ConvertPushback();    // 0x31F0 with 0x31F4

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_CONTROLS_H_
