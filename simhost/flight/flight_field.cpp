#include "simhost/flight/flight_field.h"

#include <algorithm>
#include <cmath>

#include "XPLMGraphics.h"
#include "simhost/host/host.h"

namespace simhost::flight {
namespace {

constexpr double kEarthRadius = 6371008.8;  // metres, mean radius
constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr double kMetresPerNm = 1852.0;
// Beyond this a receiver shows no station.
constexpr double kReceptionRangeNm = 60.0;
constexpr double kFullScaleDots = 2.5;

// Where the antennas stand, in the field's plane.
constexpr double kLocalizerEast = -kRunwayLength / 2 - 300.0;
constexpr double kGlideSlopeEast = kThresholdEast - 300.0;
constexpr double kGlideSlopeNorth = 150.0;

double Clamp(double v, double limit) { return std::clamp(v, -limit, limit); }

double BearingTo(double from_east, double from_north, double to_east,
                 double to_north) {
  return WrapDegrees360(std::atan2(to_east - from_east, to_north - from_north) /
                        kRad);
}

double SlantNm(const FieldPoint& a, double east, double north, double up) {
  double de = a.east - east, dn = a.north - north, du = a.up - up;
  return std::sqrt(de * de + dn * dn + du * du) / kMetresPerNm;
}

NavReading ReadVor(float obs_mag, const FieldPoint& aircraft) {
  NavReading r;
  r.nav_type = 3;
  r.has_dme = 1;
  r.dme_nm = static_cast<float>(SlantNm(aircraft, 0, 0, kFieldElevation));
  double to_station = BearingTo(aircraft.east, aircraft.north, 0, 0);
  r.bearing_true = static_cast<float>(to_station);
  double to_station_mag = WrapDegrees360(to_station - kMagneticVariation);
  double d = WrapDegrees180(to_station_mag - obs_mag);
  if (std::hypot(aircraft.east, aircraft.north) < 100.0) {
    // Overhead the station the receiver cannot tell to from from.
    r.fromto = 0;
    r.cdi = 0;
    return r;
  }
  r.cdi = 1;
  if (std::fabs(d) <= 90.0) {
    r.fromto = 1;
    r.hdef_dots = static_cast<float>(Clamp(d / 2.0, kFullScaleDots));
  } else {
    r.fromto = 2;
    double radial_off = WrapDegrees180(d - 180.0);
    r.hdef_dots = static_cast<float>(Clamp(-radial_off / 2.0, kFullScaleDots));
  }
  return r;
}

NavReading ReadIls(const FieldPoint& aircraft) {
  NavReading r;
  r.nav_type = 4;
  r.has_dme = 1;
  r.slope_degrees = static_cast<float>(kGlideSlopeDegrees);
  r.dme_nm = static_cast<float>(
      SlantNm(aircraft, kGlideSlopeEast, kGlideSlopeNorth, kFieldElevation));
  r.bearing_true = static_cast<float>(
      BearingTo(aircraft.east, aircraft.north, kLocalizerEast, 0));
  // Angle off the front course seen from the localizer antenna: positive
  // when the aircraft is north of the extended centreline.
  double along = aircraft.east - kLocalizerEast;
  double off = std::atan2(aircraft.north, along) / kRad;
  if (along <= 0 || std::fabs(off) > 35.0) return r;  // outside the sector
  r.cdi = 1;
  r.fromto = 1;
  // Flying the front course (west), north of the centreline means the course
  // lies to the left. One dot is one degree.
  r.hdef_dots = static_cast<float>(Clamp(-off, kFullScaleDots));
  double gs_along = aircraft.east - kGlideSlopeEast;
  if (gs_along > 0) {
    double elevation_angle =
        std::atan2(aircraft.up - kFieldElevation,
                   std::hypot(gs_along, aircraft.north - kGlideSlopeNorth)) /
        kRad;
    // One dot is 0.14 degrees; positive when the glide path is above.
    r.vdef_dots = static_cast<float>(
        Clamp((kGlideSlopeDegrees - elevation_angle) / 0.14, kFullScaleDots));
  }
  return r;
}

}  // namespace

GeoPoint ToGeo(const FieldPoint& p) {
  GeoPoint g;
  g.latitude = kFieldLatitude + p.north / (kEarthRadius * kRad);
  g.longitude = kFieldLongitude + p.east / (kEarthRadius * kRad *
                                            std::cos(kFieldLatitude * kRad));
  g.elevation = p.up;
  return g;
}

FieldPoint ToField(const GeoPoint& g) {
  FieldPoint p;
  p.north = (g.latitude - kFieldLatitude) * kEarthRadius * kRad;
  p.east = (g.longitude - kFieldLongitude) * kEarthRadius * kRad *
           std::cos(kFieldLatitude * kRad);
  p.up = g.elevation;
  return p;
}

LocalPoint ToLocal(const FieldPoint& p) {
  GeoPoint g = ToGeo(p);
  LocalPoint l;
  XPLMWorldToLocal(g.latitude, g.longitude, g.elevation, &l.x, &l.y, &l.z);
  return l;
}

FieldPoint FromLocal(const LocalPoint& l) {
  GeoPoint g;
  XPLMLocalToWorld(l.x, l.y, l.z, &g.latitude, &g.longitude, &g.elevation);
  return ToField(g);
}

LocalPoint LocalVelocity(const FieldPoint& at, double east, double north,
                         double up) {
  LocalPoint o = ToLocal(at);
  LocalPoint e = ToLocal({at.east + 1.0, at.north, at.up});
  LocalPoint n = ToLocal({at.east, at.north + 1.0, at.up});
  LocalPoint u = ToLocal({at.east, at.north, at.up + 1.0});
  LocalPoint v;
  v.x = east * (e.x - o.x) + north * (n.x - o.x) + up * (u.x - o.x);
  v.y = east * (e.y - o.y) + north * (n.y - o.y) + up * (u.y - o.y);
  v.z = east * (e.z - o.z) + north * (n.z - o.z) + up * (u.z - o.z);
  return v;
}

double WrapDegrees360(double degrees) {
  double r = std::fmod(degrees, 360.0);
  if (r < 0) r += 360.0;
  if (r >= 360.0) r = 0.0;  // fmod of a tiny negative can round up to 360
  return r;
}

double WrapDegrees180(double degrees) {
  double r = WrapDegrees360(degrees);
  return r > 180.0 ? r - 360.0 : r;
}

void InstallNavaids() {
  Host& host = Host::Get();
  auto add = [&host](XPLMNavType type, double east, double north, int freq,
                     float heading, const char* id, const char* name) {
    GeoPoint g = ToGeo({east, north, kFieldElevation});
    Navaid n;
    n.type = type;
    n.latitude = static_cast<float>(g.latitude);
    n.longitude = static_cast<float>(g.longitude);
    n.height = static_cast<float>(kFieldElevation);
    n.frequency = freq;
    n.heading = heading;
    n.id = id;
    n.name = name;
    host.AddNavaid(n);
  };
  const float course = static_cast<float>(kRunwayHeading);
  add(xplm_Nav_Airport, 0, 0, 0, 0, "XTRV", "TARVOS TEST FIELD");
  add(xplm_Nav_VOR, 0, 0, kVorFrequency, 0, "TRV", "TARVOS FIELD VOR-DME");
  add(xplm_Nav_DME, 0, 0, kVorFrequency, 0, "TRV", "TARVOS FIELD VOR-DME");
  add(xplm_Nav_ILS, kLocalizerEast, 0, kIlsFrequency, course, "ITRV",
      "TARVOS FIELD ILS RWY 27");
  add(xplm_Nav_GlideSlope, kGlideSlopeEast, kGlideSlopeNorth, kIlsFrequency,
      course, "ITRV", "TARVOS FIELD GS RWY 27");
  add(xplm_Nav_DME, kGlideSlopeEast, kGlideSlopeNorth, kIlsFrequency, 0, "ITRV",
      "TARVOS FIELD DME RWY 27");
  add(xplm_Nav_NDB, kOuterMarkerEast, 0, kNdbFrequency, 0, "TV",
      "TARVOS OUTER NDB");
  add(xplm_Nav_OuterMarker, kOuterMarkerEast, 0, 0, course, "TRV27",
      "TARVOS OM RWY 27");
  add(xplm_Nav_MiddleMarker, kMiddleMarkerEast, 0, 0, course, "TRV27",
      "TARVOS MM RWY 27");
}

NavReading ReadNavReceiver(int frequency, float obs_mag,
                           const FieldPoint& aircraft) {
  NavReading r;
  if (frequency == kVorFrequency) {
    r = ReadVor(obs_mag, aircraft);
  } else if (frequency == kIlsFrequency) {
    r = ReadIls(aircraft);
  } else {
    return r;
  }
  if (r.dme_nm > kReceptionRangeNm) return NavReading{};
  return r;
}

MarkerReading ReadMarkers(const FieldPoint& aircraft) {
  MarkerReading m;
  double height = aircraft.up - kFieldElevation;
  if (height <= 0 || std::fabs(aircraft.north) > 600.0) return m;
  // A fan marker's beam widens with height; roughly a 40-degree cone.
  double half_width = 0.35 * height + 50.0;
  if (std::fabs(aircraft.east - kOuterMarkerEast) < half_width) m.outer = 1;
  if (std::fabs(aircraft.east - kMiddleMarkerEast) < half_width) m.middle = 1;
  return m;
}

}  // namespace simhost::flight
