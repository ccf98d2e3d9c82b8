// Write handlers of the simulator's clock and date, pause, simulation rate,
// pushback, equipment failures and the ATC identification texts.
//
// Wire layout (little-endian; each handler acts only when the written
// value differs from the one in OffsetBlock):
//   offset  size  value
//   0x023B  1     UTC hour, 0 to 23 (larger values are ignored)
//   0x023C  1     UTC minute, 0 to 59 (larger values are ignored)
//   0x023E  2     day of year from 1 (0 and days past 366 give day 1)
//   0x0240  2     year: kept in the offset space only
//   0x0262  1     pause: non-zero pauses, 0 runs (2-byte writes end at
//                 0x0263, which has no handler)
//   0x0C1A  2     simulation rate x 256 (the whole part is used)
//   0x31F4  4     pushback control for the pushback plugin
//   0x3130  12    ATC flight number   (at most 11 characters and a zero)
//   0x313C  12    ATC tail number     (at most 11 characters and a zero)
//   0x3148  24    ATC airline name    (at most 23 characters and a zero)
//   0x3160  24    ATC aircraft type   (at most 23 characters and a zero)
//   0x6DA4  4     failure bits 0 to 25 (kFailureElements), then button 84
//   0x6DAA  1     one value for every failure element 0 to 563
//
// Threads: run on a transport thread with OffsetLock held. The ATC texts
// are saved to TARVOS.ini by the transport after the lock is released
// (settings_saves.h).
#ifndef TARVOS_REQUESTS_SIMULATION_WRITES_H_
#define TARVOS_REQUESTS_SIMULATION_WRITES_H_

#include <cstdint>

namespace tarvos {

// Element of sim/operation/failures/failures that failure bit b (0 to 25)
// of 0x6DA4 stands for.
inline constexpr int kFailureBitCount = 26;
inline constexpr int kFailureElements[kFailureBitCount] = {
    19,  18,  356, 357, 212, 213, 220, 221, 252, 253, 228, 229, 332,
    333, 300, 301, 236, 237, 87,  88,  101, 102, 103, 91,  92,  93};
// The value a set bit writes (a failure that is present now).
inline constexpr int kFailurePresent = 5;
// The button pressed and released after the failure bits are written.
inline constexpr int kFailuresButton = 84;
// Elements 0 to kAllFailuresCount - 1 are written by 0x6DAA.
inline constexpr int kAllFailuresCount = 564;

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_SIMULATION_WRITES_H_
