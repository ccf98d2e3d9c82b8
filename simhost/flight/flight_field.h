// The scripted flight's airfield: one runway, its ILS, a VOR and an NDB, and
// the flat-earth geometry the flight is flown in.
//
// The flight works in metres east and north of the field's reference point
// (the runway midpoint); over the 30 km the pattern spans, a local tangent
// plane is accurate to well under a metre, which is all a stand-in needs.
#ifndef TARVOS_SIMHOST_FLIGHT_FIELD_H_
#define TARVOS_SIMHOST_FLIGHT_FIELD_H_

#include <string>

namespace simhost::flight {

// Field reference point and runway 27 (true heading 270).
inline constexpr double kFieldLatitude = 46.5;
inline constexpr double kFieldLongitude = 7.5;
inline constexpr double kFieldElevation = 450.0;  // metres MSL
inline constexpr double kRunwayHeading = 270.0;   // degrees true
inline constexpr double kRunwayLength = 3000.0;   // metres
// The landing threshold of runway 27 is at the east end.
inline constexpr double kThresholdEast = kRunwayLength / 2;
inline constexpr double kGlideSlopeDegrees = 3.0;
inline constexpr double kMagneticVariation = 2.0;  // degrees, east positive

// Built-in radios, in the host's units (10 kHz for VOR/ILS, kHz for NDB).
inline constexpr int kIlsFrequency = 11030;  // 110.30 MHz, localizer 27
inline constexpr int kVorFrequency = 11360;  // 113.60 MHz, on the field
inline constexpr int kNdbFrequency = 345;    // 345 kHz, outer marker site
inline constexpr double kOuterMarkerEast = kThresholdEast + 7400.0;
inline constexpr double kMiddleMarkerEast = kThresholdEast + 1050.0;

// A point in the field's plane: metres east and north of the reference
// point, and metres above mean sea level.
struct FieldPoint {
  double east = 0, north = 0, up = kFieldElevation;
};

struct GeoPoint {
  double latitude = 0, longitude = 0, elevation = 0;
};

GeoPoint ToGeo(const FieldPoint& p);
FieldPoint ToField(const GeoPoint& g);

// A point in the host's local frame (XPLMWorldToLocal), metres.
struct LocalPoint {
  double x = 0, y = 0, z = 0;
};
LocalPoint ToLocal(const FieldPoint& p);
FieldPoint FromLocal(const LocalPoint& l);
// A velocity given as east, north and up components (m/s) expressed along
// the host's local axes at `at`. The axes are measured through the host's
// own conversion, so velocities agree with positions whatever its frame.
LocalPoint LocalVelocity(const FieldPoint& at, double east, double north,
                         double up);

// Degrees in [0, 360).
double WrapDegrees360(double degrees);
// Degrees in (-180, 180].
double WrapDegrees180(double degrees);

// Adds the field's navaids to the host's navaid database.
void InstallNavaids();

// What a NAV receiver tuned to `frequency` shows at `aircraft` with the
// course selector at `obs_mag` (degrees magnetic).
struct NavReading {
  int nav_type = 0;        // 0 nothing, 3 VOR, 4 ILS
  int fromto = 0;          // 0 flag, 1 to, 2 from
  int has_dme = 0;         // 1 when a DME is co-located
  float hdef_dots = 0;     // lateral needle, + = course is to the right
  float vdef_dots = 0;     // vertical needle, + = glide path is above
  float dme_nm = 0;        // slant distance, nautical miles
  float bearing_true = 0;  // bearing from the aircraft to the station
  float slope_degrees = 0;
  int cdi = 0;  // 1 while the lateral needle is alive
};
NavReading ReadNavReceiver(int frequency, float obs_mag,
                           const FieldPoint& aircraft);

// Marker beacons passed over, as 0/1 flags.
struct MarkerReading {
  int outer = 0, middle = 0, inner = 0;
};
MarkerReading ReadMarkers(const FieldPoint& aircraft);

}  // namespace simhost::flight

#endif  // TARVOS_SIMHOST_FLIGHT_FIELD_H_
