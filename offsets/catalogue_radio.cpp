// Catalogue rows of the radio stack and the navigation receivers: BCD
// frequencies and codes, needles, flags, DME read-outs, the tuned station's
// identity and position (offsets/radio.h), the marker lights, course
// selectors and bearings recomputed when read (requests/read_items.cpp),
// and the altimeter setting.
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

// COM and NAV frequencies: the four BCD digits are the MHz without the
// leading 1 (2280 is 122.80 MHz).
constexpr double kMhzPerDigit = 0.01;
constexpr double kMhzBias = 100;
// Needles: dots x 50.9.
constexpr double kDotsPerUnit = 1.0 / 50.9;
// Station latitude x 10001750 / 90, longitude x 2^32 / 360.
constexpr double kStationLatitude = 90.0 / 10001750.0;
constexpr double kStationLongitude = 360.0 / kTwo32;
// hPa x 16, refreshed from inHg.
constexpr double kInHgToStored = 541.820591696;

// clang-format off
constexpr OffsetRow kRadio[] = {
    Row(0x02D4, 2, kBcd4, kRW, kCallbackF, "radio.adf2.frequency", "kHz", 1,
        "ADF2 frequency"),
    Row(0x02DC, 6, kText, kR, kCallbackG, "radio.adf2.ident", "", 1,
        "ADF2 station identifier: five bytes, then the character '0'"),
    Row(0x0300, 2, kU16, kR, kCallbackD, "radio.nav1.dme_distance", "nm", 0.1,
        "NAV1 DME distance (0 below zero, at most 6553.5)"),
    Row(0x0306, 2, kU16, kR, kCallbackD, "radio.nav2.dme_distance", "nm", 0.1,
        "NAV2 DME distance (0 below zero, at most 6553.5)"),
    Row(0x0330, 2, kU16, kRW, kCallbackD, "altimeter.setting", "hPa",
        1.0 / 16, "Altimeter setting")
        .Reads(kFloat, 0x0330, kInHgToStored),
    Row(0x034C, 2, kBcd3, kRW, kCallbackE, "radio.adf1.frequency", "kHz", 1,
        "ADF1 frequency (three digits)"),
    Row(0x034E, 2, kBcd4, kRW, kCallbackE, "radio.com1.frequency", "MHz",
        kMhzPerDigit, "COM1 frequency").Bias(kMhzBias),
    Row(0x0350, 2, kBcd4, kRW, kCallbackE, "radio.nav1.frequency", "MHz",
        kMhzPerDigit, "NAV1 frequency").Bias(kMhzBias),
    Row(0x0352, 2, kBcd4, kRW, kCallbackF, "radio.nav2.frequency", "MHz",
        kMhzPerDigit, "NAV2 frequency").Bias(kMhzBias),
    Row(0x0354, 2, kBcd4, kRW, kCallbackF, "radio.transponder.code", "", 1,
        "Transponder code"),
    Row(0x07A0, 4, kS32, kR, kCallbackE, "radio.nav1.fitted", "", 1,
        "Always 1: the aircraft has NAV1"),
    Row(0x07A4, 4, kS32, kR, kCallbackF, "radio.nav2.fitted", "", 1,
        "Always 1: the aircraft has NAV2"),
    Row(0x0844, 2, kU16, kR, kCallbackF, "radio.nav2.localizer_course", "", 1,
        "NAV2 localizer course: degrees x 65536/360 + 0x8000, 16 bits"),
    Row(0x0846, 2, kS16, kR, kCallbackF, "radio.nav2.glide_slope_angle", "deg",
        -kPerTurn16, "NAV2 glide slope angle"),
    Row(0x084C, 4, kS32, kR, kCallbackF, "radio.nav2.localizer_latitude",
        "deg", kStationLatitude, "NAV2 localizer (or VOR) latitude"),
    Row(0x0850, 4, kS32, kR, kCallbackF, "radio.nav2.localizer_longitude",
        "deg", kStationLongitude, "NAV2 localizer (or VOR) longitude"),
    Row(0x0854, 4, kS32, kR, kCallbackF, "radio.nav2.localizer_height", "m",
        1, "NAV2 localizer (or VOR) elevation"),
    Row(0x0858, 4, kS32, kR, kCallbackF, "radio.nav2.glide_slope_latitude",
        "deg", kStationLatitude, "NAV2 glide slope (or VOR) latitude"),
    Row(0x085C, 4, kS32, kR, kCallbackE, "radio.nav1.glide_slope_latitude",
        "deg", kStationLatitude, "NAV1 glide slope (or VOR) latitude"),
    Row(0x0860, 4, kS32, kR, kCallbackF, "radio.nav2.glide_slope_longitude",
        "deg", kStationLongitude, "NAV2 glide slope (or VOR) longitude"),
    Row(0x0864, 4, kS32, kR, kCallbackE, "radio.nav1.glide_slope_longitude",
        "deg", kStationLongitude, "NAV1 glide slope (or VOR) longitude"),
    Row(0x0868, 4, kS32, kR, kCallbackF, "radio.nav2.glide_slope_height", "m",
        1, "NAV2 glide slope (or VOR) elevation"),
    Row(0x086C, 4, kS32, kR, kCallbackE, "radio.nav1.glide_slope_height", "m",
        1, "NAV1 glide slope (or VOR) elevation"),
    Row(0x0870, 2, kU16, kR, kCallbackE, "radio.nav1.localizer_course", "", 1,
        "NAV1 localizer course: degrees x 65536/360 + 0x8000, 16 bits"),
    Row(0x0872, 2, kS16, kR, kCallbackE, "radio.nav1.glide_slope_angle", "deg",
        -kPerTurn16, "NAV1 glide slope angle"),
    Row(0x0874, 4, kS32, kR, kCallbackE, "radio.nav1.localizer_latitude",
        "deg", kStationLatitude, "NAV1 localizer (or VOR) latitude"),
    Row(0x0878, 4, kS32, kR, kCallbackE, "radio.nav1.localizer_longitude",
        "deg", kStationLongitude, "NAV1 localizer (or VOR) longitude"),
    Row(0x087C, 4, kS32, kR, kCallbackE, "radio.nav1.localizer_height", "m",
        1, "NAV1 localizer (or VOR) elevation"),
    Row(0x0BAC, 2, kU16, kR, kReadTime, "navigation.marker.inner", "", 1,
        "Inner marker lit"),
    Row(0x0BAE, 2, kU16, kR, kReadTime, "navigation.marker.middle", "", 1,
        "Middle marker lit"),
    Row(0x0BB0, 2, kU16, kR, kReadTime, "navigation.marker.outer", "", 1,
        "Outer marker lit"),
    Row(0x0C29, 5, kText, kR, kCallbackD, "radio.nav1.dme_text", "", 1,
        "NAV1 DME read-out: \"12.3\" below 100 nm, \"123.\" above, \"999.\" "
        "at most"),
    Row(0x0C33, 5, kText, kR, kCallbackD, "radio.nav2.dme_text", "", 1,
        "NAV2 DME read-out, as NAV1's"),
    Row(0x0C48, 1, kS8, kR, kCallbackA, "radio.nav1.localizer_needle", "dots",
        kDotsPerUnit, "NAV1 lateral needle, right positive"),
    Row(0x0C49, 1, kS8, kR, kCallbackA, "radio.nav1.glide_slope_needle",
        "dots", kDotsPerUnit, "NAV1 vertical needle, up positive"),
    Row(0x0C4A, 1, kBits, kR, kCallbackE, "radio.nav1.tuned_flags", "", 1,
        "0x80, plus 0x02 when NAV1 is tuned to an ILS"),
    Row(0x0C4B, 1, kU8, kR, kCallbackD, "radio.nav1.to_from", "", 1,
        "NAV1 to/from flag: 0 off, 1 to, 2 from")
        .Reads(kInt, 0x0C4B, 1),
    Row(0x0C4C, 1, kU8, kR, kCallbackD, "radio.nav1.cdi", "", 1,
        "1 while NAV1's lateral needle is alive")
        .Reads(kInt, 0x0C4C, 1),
    Row(0x0C4D, 1, kBits, kR, kCallbackE, "radio.nav1.receiver_flags", "", 1,
        "NAV1 station: 0 none; else 0x20, 0x01 DME, 0x08 no type, 0x40 ILS or "
        "glide slope, 0x80 ILS or localizer"),
    Row(0x0C4E, 2, kU16, kRW, kReadTime, "radio.nav1.obs", "deg", 1,
        "NAV1 course selector, whole degrees"),
    Row(0x0C50, 2, kAngle16, kR, kReadTime, "radio.nav1.radial", "deg",
        kPerTurn16, "Radial of NAV1's station the aircraft is on"),
    Row(0x0C52, 4, kS32, kR, kCallbackG, "radio.nav1.station_kind", "", 1,
        "NAV1 station: 10000 VOR, 256 ILS, 0 none"),
    Row(0x0C56, 2, kS16, kR, kReadTime, "radio.nav1.bearing", "deg", 1,
        "Magnetic bearing to NAV1's station, 0 to 359"),
    Row(0x0C59, 1, kS8, kR, kCallbackA, "radio.nav2.lateral_needle", "dots",
        kDotsPerUnit, "NAV2 lateral needle, right positive"),
    Row(0x0C5A, 1, kBits, kR, kCallbackF, "radio.nav2.tuned_flags", "", 1,
        "0x80, plus 0x02 when NAV2 is tuned to an ILS"),
    Row(0x0C5B, 1, kU8, kR, kCallbackD, "radio.nav2.to_from", "", 1,
        "NAV2 to/from flag: 0 off, 1 to, 2 from")
        .Reads(kInt, 0x0C5B, 1),
    Row(0x0C5C, 2, kS16, kR, kReadTime, "radio.nav2.bearing", "deg", 1,
        "Magnetic bearing to NAV2's station, 0 to 359"),
    Row(0x0C5E, 2, kU16, kRW, kReadTime, "radio.nav2.obs", "deg", 1,
        "NAV2 course selector, whole degrees"),
    Row(0x0C60, 2, kAngle16, kR, kReadTime, "radio.nav2.radial", "deg",
        kPerTurn16, "Radial of NAV2's station the aircraft is on"),
    Row(0x0C62, 4, kS32, kR, kCallbackG, "radio.nav2.station_kind", "", 1,
        "NAV2 station: 10000 VOR, 256 ILS, 0 none"),
    Row(0x0C6E, 1, kS8, kR, kCallbackA, "radio.nav2.vertical_needle", "dots",
        kDotsPerUnit, "NAV2 vertical needle, up positive"),
    Row(0x0C6F, 1, kU8, kR, kCallbackD, "radio.nav2.cdi", "", 1,
        "1 while NAV2's lateral needle is alive")
        .Reads(kInt, 0x0C6F, 1),
    Row(0x0C70, 1, kBits, kR, kCallbackF, "radio.nav2.receiver_flags", "", 1,
        "NAV2 station flags, as NAV1's"),
    Row(0x2AAC, 4, kF32, kR, kCallbackA, "radio.nav1.localizer_needle_f32",
        "dots", kDotsPerUnit, "NAV1 lateral needle (float)").Alias(0x0C48),
    Row(0x2AB0, 4, kF32, kR, kCallbackA, "radio.nav1.glide_slope_needle_f32",
        "dots", kDotsPerUnit, "NAV1 vertical needle (float)").Alias(0x0C49),
    Row(0x2AB4, 4, kF32, kR, kCallbackA, "radio.nav2.lateral_needle_f32",
        "dots", kDotsPerUnit, "NAV2 lateral needle (float)").Alias(0x0C59),
    Row(0x2AB8, 4, kF32, kR, kCallbackA, "radio.nav2.vertical_needle_f32",
        "dots", kDotsPerUnit, "NAV2 vertical needle (float)").Alias(0x0C6E),
    Row(0x3000, 6, kText, kR, kCallbackE, "radio.nav1.ident", "", 1,
        "NAV1 station identifier (\"0\" when none)"),
    Row(0x3006, 25, kText, kR, kCallbackE, "radio.nav1.name", "", 1,
        "NAV1 station name, first 25 bytes (\"0\" when none)"),
    Row(0x301F, 6, kText, kR, kCallbackF, "radio.nav2.ident", "", 1,
        "NAV2 station identifier (\"0\" when none)"),
    Row(0x3025, 25, kText, kR, kCallbackF, "radio.nav2.name", "", 1,
        "NAV2 station name, first 25 bytes (\"0\" when none)"),
    Row(0x303E, 6, kText, kR, kCallbackG, "radio.adf1.ident", "", 1,
        "ADF1 station identifier: five bytes, then the character '0'"),
    Row(0x3118, 2, kBcd4, kRW, kCallbackF, "radio.com2.frequency", "MHz",
        kMhzPerDigit, "COM2 frequency").Bias(kMhzBias),
    Row(0x311A, 2, kBcd4, kRW, kCallbackE, "radio.com1.standby", "MHz",
        kMhzPerDigit, "COM1 standby frequency").Bias(kMhzBias),
    Row(0x311C, 2, kBcd4, kRW, kCallbackF, "radio.com2.standby", "MHz",
        kMhzPerDigit, "COM2 standby frequency").Bias(kMhzBias),
    Row(0x311E, 2, kBcd4, kRW, kCallbackE, "radio.nav1.standby", "MHz",
        kMhzPerDigit, "NAV1 standby frequency").Bias(kMhzBias),
    Row(0x3120, 2, kBcd4, kRW, kCallbackF, "radio.nav2.standby", "MHz",
        kMhzPerDigit, "NAV2 standby frequency").Bias(kMhzBias),
    Row(0x3123, 1, kBits, kW, kNone, "radio.swap", "", 1,
        "Write to swap active and standby: 1 NAV2, 2 NAV1, 4 COM2, 8 COM1"),
    Row(0x3300, 2, kBits, kR, kCallbackE, "radio.flags", "", 1,
        "Radio flags: 0x02/0x04 NAV1/NAV2 tuned, 0x08 ADF, 0x10/0x20 DME, "
        "0x40/0x1000 ILS, 0x800 second ADF"),
    Row(0x3300, 2, kBits, kR, kCallbackF, "radio.flags_after_nav2", "", 1,
        "The radio flags word as stored after NAV2 (same bytes as "
        "radio.flags)").Alias(0x3300),
    Row(0x6D8C, 1, kU8, kRW, kCallbackF, "radio.transponder.mode", "", 1,
        "Transponder mode switch")
        .Reads(kInt, 0x6D8C, 1),
};
// clang-format on

}  // namespace

CatalogueDomain NavigationCatalogue() {
  return {"Radios and navigation", kRadio};
}

}  // namespace tarvos
