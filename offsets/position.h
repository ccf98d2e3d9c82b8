// Position, attitude, speed, weight and clock offsets: their encodings and
// the flight-loop converters that publish them.
//
// Every row, with its encoding, unit, scale and callback, is in the offset
// catalogue (offsets/catalogue_position.cpp, and the generated
// docs/offsets.md); the plain rows there also carry their conversion.
//
// Threads: the converters run on the simulator's main thread. They read
// their datarefs without any lock and store with FieldBatch: try-acquire as
// a rule, blocking for 0x0560 to 0x0583 and 0x3324.
#ifndef TARVOS_OFFSETS_POSITION_H_
#define TARVOS_OFFSETS_POSITION_H_

#include <cstdint>

namespace tarvos {

// --- Encodings (pure; shared with tests and the write side) ----------------

// Degrees to the 64-bit fixed-point latitude and longitude fields.
int64_t EncodeLatitude(double degrees);
int64_t EncodeLongitude(double degrees);
// Elevation in metres split into the whole metres (floor) and the unsigned
// fraction of a metre x 2^32.
struct AltitudeFields {
  uint32_t fraction;
  int32_t whole;
};
AltitudeFields EncodeAltitude(double metres);
// Pitch and bank (sign inverted) and heading (unsigned, modulo 2^32).
uint32_t EncodePitchOrBank(float degrees);
uint32_t EncodeHeading(float degrees);

// Hour, minute and second of a simulator time in seconds.
struct ClockFields {
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
  char text[9];  // "hh:mm:ss" and a zero byte
};
ClockFields EncodeClock(float seconds);
// Local minus zulu hour, times 60, in 16 bits.
uint16_t EncodeTimeZoneMinutes(float local_seconds, float zulu_seconds);

// --- Flight-loop converters, named by what they publish ---------------------
// (The plain rows, one scaled read of one dataref each, have no function of
// their own: their catalogue rows carry the conversion; see
// offsets/scaled_rows.h.)

// Callback A.
void ConvertGroundElevation();    // 0x0020
void ConvertVerticalSpeed();      // 0x02C8, 0x0842, 0x030C
void ConvertLatitude();           // 0x0560 (blocking)
void ConvertLongitude();          // 0x0568 (blocking)
void ConvertAltitude();           // 0x0570 with 0x0574 (blocking)
void ConvertPitch();              // 0x0578 (blocking)
void ConvertBank();               // 0x057C (blocking)
void ConvertHeading();            // 0x0580 (blocking)
void ConvertIndicatedAltitude();  // 0x3324 (blocking)
void AdvanceRefreshCounter();     // 0x337E
// Callback B.
// Callback D.
void ConvertLocalTime();  // 0x0238 to 0x023A with 0x0C20
// Callback E.
void ConvertZuluTime();        // 0x023B, 0x023C
void ConvertTimeZoneOffset();  // 0x0246
// Callback F.
void ConvertPaused();  // 0x0262 with 0x0264
// Callback I.
void ConvertDayOfYear();       // 0x023E
void ConvertZeroFuelWeight();  // 0x3BFC
// Once per aircraft load (blocking: it is not refreshed again until the
// next load, so it must not be skipped).
void ConvertNeverExceedSpeed();  // 0x02C4

// The counter published at 0x337E (for tests).
uint16_t RefreshCounterValue();

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_POSITION_H_
