// Radio and navigation offsets: the radio stack (COM, NAV, ADF, transponder)
// as BCD, the NAV receivers' needles, flags and DME read-outs, and for each
// NAV receiver the identity and position of the station it is tuned to,
// looked up in the host's navaid database.
//
// Every row, with its encoding, unit, scale and callback, is in the offset
// catalogue (offsets/catalogue_radio.cpp and the generated docs/offsets.md).
//
//   Offsets                    What                              By
//   0x034E 0x3118 0x311A 0x311C COM1, COM2 and standbys, BCD4     E, F
//   0x0350 0x0352 0x311E 0x3120 NAV1, NAV2 and standbys, BCD4     E, F
//   0x034C 0x02D4 0x0354        ADF1 (BCD3), ADF2, transponder    E, F
//   0x0C48/0x2AAC ...           needles, s8 and float, dots x 50.9 A
//   0x0C29/0x0300, 0x0C33/0x0306 DME text "12.3" and tenths        D
//   0x0C4A 0x0C4D, 0x0C5A 0x0C70 tuned and receiver flag bytes     E, F
//   0x085C... 0x0874..., 0x0858... 0x084C... station positions    E, F
//   0x0870 0x0872, 0x0844 0x0846 localizer course, glide slope    E, F
//   0x3000 0x3006, 0x301F 0x3025 station identifier and name      E, F
//   0x3300                      radio flags word (kept between runs) E, F
//   0x303E 0x02DC               ADF identifiers                   G
//
// Threads: the converters run on the simulator's main thread; the navaid
// search state and the flags word are touched only there. Datarefs and the
// navaid database are read without any lock; stores take OffsetLock with a
// try-acquire and are skipped when it is busy.
#ifndef TARVOS_OFFSETS_RADIO_H_
#define TARVOS_OFFSETS_RADIO_H_

#include <cstdint>

#include "XPLMNavigation.h"

namespace tarvos {

// --- Encodings (pure; shared with tests and the write side) ----------------

// The last four (three) decimal digits of `v`, one per nibble, most
// significant first: 12280 -> 0x2280, 345 -> 0x0345. A negative value
// counts from the digits of its magnitude.
uint16_t EncodeBcd4(int64_t v);
uint16_t EncodeBcd3(int64_t v);
// A BCD word as a number, or -1 when a nibble is above 9 (not a frequency).
int32_t DecodeBcd4(uint16_t bcd);

// The DME read-out of a distance in nautical miles: "12.3" below 100,
// "123." from 100, "999." from 1000 (clamped), and the distance in tenths
// (saturating at 65535). A negative or undefined distance shows 0.
struct DmeFields {
  char text[5];  // four characters and a zero byte
  uint16_t tenths;
};
DmeFields EncodeDme(double nm);

// Station positions as the plugin stores them: rounded, the low 32 bits.
uint32_t EncodeStationLatitude(float degrees);
uint32_t EncodeStationLongitude(float degrees);
uint32_t EncodeStationHeight(float metres);
// Localizer course (heading x 65536/360 + 0x8000) when `type` is an ILS or
// a localizer, else 0.
uint16_t EncodeLocalizerCourse(XPLMNavType type, float heading);
// Glide slope angle (slope x -65536/360) when `type` is a glide slope,
// else 0.
uint16_t EncodeGlideSlopeAngle(XPLMNavType type, float slope_degrees);

// `kind`: the navaid types one search found (4 VOR, 8 ILS, 0x10
// localizer, 0x20 glide slope).
// 0x0C4A / 0x0C5A: 0x80, plus 0x02 for an ILS or localizer.
uint8_t EncodeTunedFlags(int kind);
// 0x0C4D / 0x0C70: 0 without a station; else bit 0 has DME, bit 3 the
// receiver's nav_type is 0, bit 5 always, bit 6 ILS or glide slope, bit 7
// ILS or localizer.
uint8_t EncodeReceiverFlags(int kind, int has_dme, int nav_type);
// 0x0C52 / 0x0C62: 10000 for nav_type 3, 256 for 4 to 6, else 0.
int32_t EncodeNavTypeCode(int nav_type);

// The radio flags word 0x3300 after a run for `receiver` (1 or 2):
// `nav_type` holds elements 0 to 3 of the host's nav_type array. Updates
// `word` and returns the value to store.
uint16_t UpdateRadioFlags(uint16_t* word, int receiver, const int nav_type[4],
                          int has_dme, int kind);

// An ADF identifier: the five bytes read, then the character '0'.
void EncodeAdfIdent(const uint8_t read[5], uint8_t out[6]);

// --- The navaid search -------------------------------------------------------

// What the host's navaid-info call reports for one navaid.
struct NavaidInfo {
  XPLMNavType type = xplm_Nav_Unknown;
  float latitude = 0, longitude = 0, height = 0, heading = 0;
  char id[32] = {};
  char name[256] = {};
};

// The answers of the host's navaid calls for one receiver: the station on
// the frequency, its glide slope, and its localizer (or the ILS itself).
struct NavaidAnswer {
  bool found = false;        // a VOR or ILS on the frequency
  NavaidInfo station;        // as read for it
  bool glide_slope = false;  // an ILS's glide slope was found
  NavaidInfo slope;          // as read for it (when found)
  int course_type = 0;       // 0x10 or 8: the type searched last for the
                             // localizer (an ILS only)
  NavaidInfo course;         // the info as it stands after that search
};

// Asks the host for the VOR or ILS on `frequency` nearest the position and,
// for an ILS, its glide slope and localizer. Main thread.
NavaidAnswer SearchNavaids(int frequency, float latitude, float longitude);

// Whether E and F keep the answer of the last search while the receiver's
// frequency is unchanged and the aircraft has moved less than 0.1 nm (on by
// default), and the number of fresh searches made so far (for tests and
// benchmarks).
void SetNavaidAnswerCache(bool enabled);
uint64_t NavaidSearchCount();

// --- Flight-loop converters, in the order of their callbacks ----------------

// Callback A: needle deflections, the s8 field with its float copy.
template <uint16_t kByte, uint16_t kFloat>
void ConvertNeedle();
// Callback D: DME text with its distance in tenths.
template <uint16_t kText, uint16_t kTenths>
void ConvertDme();
// Callbacks E and F: a BCD4 (BCD3) frequency or code from the integer
// dataref of the offset's slot.
template <uint16_t kOffset>
void ConvertBcd4();
template <uint16_t kOffset>
void ConvertBcd3();
// Callback E (NAV1) and F (NAV2).
void ConvertNav1Search();      // 0x085C ... 0x087C
void ConvertNav2Search();      // 0x0844 ... 0x0868
void ConvertNav1Present();     // 0x07A0
void ConvertNav2Present();     // 0x07A4
void ConvertNav1Flags();       // 0x0C4A, 0x0C4D
void ConvertNav2Flags();       // 0x0C5A, 0x0C70
void ConvertNav1Identity();    // 0x3000, 0x3006
void ConvertNav2Identity();    // 0x301F, 0x3025
void ConvertRadioFlagsNav1();  // 0x3300
void ConvertRadioFlagsNav2();  // 0x3300
// Callback G.
template <uint16_t kOffset>
void ConvertAdfIdent();  // 0x303E, 0x02DC
template <uint16_t kOffset, int kElement>
void ConvertNavTypeCode();  // 0x0C52, 0x0C62

// The shared bodies of the templates above.
void RefreshNeedle(uint16_t byte_offset, uint16_t float_offset);
void RefreshDme(uint16_t text_offset, uint16_t tenths_offset);
void RefreshBcd(uint16_t offset, bool three_digits);
void RefreshAdfIdent(uint16_t offset);
void RefreshNavTypeCode(uint16_t offset, int element);

template <uint16_t kByte, uint16_t kFloat>
void ConvertNeedle() {
  RefreshNeedle(kByte, kFloat);
}
template <uint16_t kText, uint16_t kTenths>
void ConvertDme() {
  RefreshDme(kText, kTenths);
}
template <uint16_t kOffset>
void ConvertBcd4() {
  RefreshBcd(kOffset, false);
}
template <uint16_t kOffset>
void ConvertBcd3() {
  RefreshBcd(kOffset, true);
}
template <uint16_t kOffset>
void ConvertAdfIdent() {
  RefreshAdfIdent(kOffset);
}
template <uint16_t kOffset, int kElement>
void ConvertNavTypeCode() {
  RefreshNavTypeCode(kOffset, kElement);
}

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_RADIO_H_
