// Position, attitude, speed, weight and clock offsets: their encodings and
// the flight-loop converters that publish them.
//
// clang-format off
//   Offset  Size Encoding                      Source / formula              By
//   0x0020  4    s32 m x 256                   max(elevation - y_agl, 0)     A
//   0x0238  3    u8 hour, minute, second       local_time_sec               D
//   0x023B  2    u8 hour, minute (zulu)        zulu_time_sec                E
//   0x023E  2    u16 day of year from 1        local_date_days + 1          I
//   0x0246  2    s16 minutes                   (local h - zulu h) x 60      E
//   0x0262  2    u16                           paused (also at 0x0264)      F
//   0x0274  2    u16                           frame period x 32768         E
//   0x02A0  2    s16                           magnetic variation x -182.04 I
//   0x02B4  4    s32 m/s x 65536               groundspeed                  B
//   0x02B8  4    s32 kt x 128                  TAS x 248.812                A
//   0x02BC  4    s32 kt x 128, >= 0            IAS x 128                    A
//   0x02C4  4    s32 kt x 128                  Vne x 128                    load
//   0x02C8  4    s32 m/s x 256                 vh_ind x 256                 A
//   0x030C  4    s32 m/s x 256                 as 0x02C8, airborne only     A
//   0x0560  8    s64                           latitude x 4.773e14          A
//   0x0568  8    s64                           longitude x 5.124e16         A
//   0x0570  4    u32 fraction of a metre x 2^32 of elevation                A
//   0x0574  4    s32 whole metres              floor(elevation)             A
//   0x0578  4    s32                           theta x -2^32/360            A
//   0x057C  4    s32                           phi x -2^32/360              A
//   0x0580  4    u32                           psi x 2^32/360 mod 2^32      A
//   0x0842  2    s16 m/min, positive down      vh_ind x -60                 A
//   0x0C1A  2    u16                           sim_speed x 256              F
//   0x0C20  9    text "hh:mm:ss"               local time                   D
//   0x3080  8    f64 rad/s^2                   P_dot x 0.017453292          A
//   0x3088  8    f64 rad/s^2                   R_dot x 0.017453292          A
//   0x30A0  8    f64 ft/s                      local_vy x 3.280839          A
//   0x30A8  8    f64                           Qrad (0x30B0 Prad, 0x30B8 R) A
//   0x30C0  8    f64 lb                        m_total x 2.2046             H
//   0x31A0  8    f64 ft/s                      vh_ind_fpm / 60              A
//   0x31E4  4    s32 m x 65536                 y_agl x 65536                A
//   0x3324  4    s32 ft, or m when u16 0x0C18 = 2                           A
//   0x337E  2    u16                           runs of callback A, wrapping A
//   0x3BFC  4    s32 lb x 256                  (m_fixed + m_empty) x 564.38 I
// clang-format on
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

// Callback A.
void ConvertGroundElevation();    // 0x0020
void ConvertVerticalSpeed();      // 0x02C8, 0x0842, 0x030C
void ConvertTrueAirspeed();       // 0x02B8
void ConvertIndicatedAirspeed();  // 0x02BC
void ConvertLatitude();           // 0x0560 (blocking)
void ConvertLongitude();          // 0x0568 (blocking)
void ConvertAltitude();           // 0x0570 with 0x0574 (blocking)
void ConvertPitch();              // 0x0578 (blocking)
void ConvertBank();               // 0x057C (blocking)
void ConvertHeading();            // 0x0580 (blocking)
void ConvertRollAcceleration();   // 0x3080
void ConvertYawAcceleration();    // 0x3088
void ConvertPitchRate();          // 0x30A8
void ConvertRollRate();           // 0x30B0
void ConvertYawRate();            // 0x30B8
void ConvertVerticalVelocity();   // 0x30A0
void ConvertVerticalSpeedFps();   // 0x31A0
void ConvertRadioAltitude();      // 0x31E4
void ConvertIndicatedAltitude();  // 0x3324 (blocking)
void AdvanceRefreshCounter();     // 0x337E
// Callback B.
void ConvertGroundSpeed();  // 0x02B4
// Callback D.
void ConvertLocalTime();  // 0x0238 to 0x023A with 0x0C20
// Callback E.
void ConvertZuluTime();        // 0x023B, 0x023C
void ConvertTimeZoneOffset();  // 0x0246
void ConvertFramePeriod();     // 0x0274
// Callback F.
void ConvertPaused();   // 0x0262 with 0x0264
void ConvertSimRate();  // 0x0C1A
// Callback H.
void ConvertTotalWeight();  // 0x30C0
// Callback I.
void ConvertDayOfYear();          // 0x023E
void ConvertMagneticVariation();  // 0x02A0
void ConvertZeroFuelWeight();     // 0x3BFC
// Once per aircraft load (blocking: it is not refreshed again until the
// next load, so it must not be skipped).
void ConvertNeverExceedSpeed();  // 0x02C4

// The counter published at 0x337E (for tests).
uint16_t RefreshCounterValue();

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_POSITION_H_
