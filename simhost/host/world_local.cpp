// Local coordinates: a flat-earth projection around a reference point.
// x points east, y up (metres above sea level), z south, all in metres, as
// the simulator's local frame is oriented.
#include <cmath>
#include <numbers>

#include "XPLMGraphics.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

constexpr double kEarthRadius = 6371000.0;  // metres
constexpr double kRadPerDeg = std::numbers::pi / 180.0;

double Lookup(const Host::State& s, const char* name) REQUIRES(s.mu) {
  auto it = s.by_name.find(name);
  return it != s.by_name.end() && it->second->alive ? it->second->scalar : 0;
}

void Store(Host::State& s, const char* name, double value) REQUIRES(s.mu) {
  auto it = s.by_name.find(name);
  if (it != s.by_name.end() && it->second->alive) it->second->scalar = value;
}

}  // namespace

void WorldToLocal(const Host::State& s, double lat, double lon, double alt,
                  double* x, double* y, double* z) REQUIRES(s.mu) {
  double scale = std::cos(s.reference_latitude * kRadPerDeg);
  double east = (lon - s.reference_longitude) * kRadPerDeg * kEarthRadius;
  double north = (lat - s.reference_latitude) * kRadPerDeg * kEarthRadius;
  if (x != nullptr) *x = east * scale;
  if (y != nullptr) *y = alt;
  if (z != nullptr) *z = -north;
}

void LocalToWorld(const Host::State& s, double x, double y, double z,
                  double* lat, double* lon, double* alt) REQUIRES(s.mu) {
  double scale = std::cos(s.reference_latitude * kRadPerDeg);
  if (scale < 1e-9) scale = 1e-9;  // a reference at a pole: keep finite
  if (lat != nullptr) {
    *lat = s.reference_latitude - z / kEarthRadius / kRadPerDeg;
  }
  if (lon != nullptr) {
    *lon = s.reference_longitude + x / scale / kEarthRadius / kRadPerDeg;
  }
  if (alt != nullptr) *alt = y;
}

void SyncWorldFromLocal(Host::State& s) REQUIRES(s.mu) {
  double lat, lon, alt;
  LocalToWorld(s, Lookup(s, "sim/flightmodel/position/local_x"),
               Lookup(s, "sim/flightmodel/position/local_y"),
               Lookup(s, "sim/flightmodel/position/local_z"), &lat, &lon, &alt);
  Store(s, "sim/flightmodel/position/latitude", lat);
  Store(s, "sim/flightmodel/position/longitude", lon);
  Store(s, "sim/flightmodel/position/elevation", alt);
}

}  // namespace simhost

void XPLMWorldToLocal(double inLatitude, double inLongitude, double inAltitude,
                      double* outX, double* outY, double* outZ) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::WorldToLocal(s, inLatitude, inLongitude, inAltitude, outX, outY,
                        outZ);
}

void XPLMLocalToWorld(double inX, double inY, double inZ, double* outLatitude,
                      double* outLongitude, double* outAltitude) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::LocalToWorld(s, inX, inY, inZ, outLatitude, outLongitude,
                        outAltitude);
}
