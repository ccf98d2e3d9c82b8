#include "simhost/flight/flight_traffic.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "XPLMPlugin.h"
#include "simhost/flight/flight_field.h"
#include "simhost/host/host.h"

namespace simhost::flight {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;
constexpr double kGravity = 9.80665;

std::string PlaneRef(int n, const char* field) {
  return "sim/multiplayer/position/plane" + std::to_string(n) + "_" + field;
}

// The circuit flown by plane n (1-based): fixed per plane so that the
// traffic picture is the same on every run.
struct Circuit {
  double radius, height, speed, phase;
  int sense;  // +1 clockwise seen from above, -1 anticlockwise
};

Circuit CircuitOf(int n) {
  Circuit c;
  c.radius = 4000.0 + 1300.0 * (n - 1);
  c.height = 450.0 + 150.0 * ((n - 1) % 8);
  c.speed = 55.0 + 4.0 * ((n - 1) % 6);
  c.phase = 0.9 * n;
  c.sense = (n % 2 == 1) ? 1 : -1;
  return c;
}

}  // namespace

std::string Traffic::ModelFileName(int n) {
  static const char* const kModels[] = {
      "Traffic_Regional_Jet.acf", "Traffic_Turboprop.acf",
      "Traffic_Single_Prop.acf", "Traffic_Business_Jet.acf"};
  return kModels[(n - 1) % 4];
}

void Traffic::Install(int count) {
  Host& host = Host::Get();
  for (int n = 1; n <= kMaxPlanes; ++n) {
    for (const char* f : {"lat", "lon", "el", "x", "y", "z"}) {
      if (!host.IsDefined(PlaneRef(n, f))) host.DefineDouble(PlaneRef(n, f), 0);
    }
    for (const char* f : {"the", "phi", "psi", "v_x", "v_y", "v_z"}) {
      if (!host.IsDefined(PlaneRef(n, f))) host.DefineFloat(PlaneRef(n, f), 0);
    }
    ZeroPlane(n);
  }
  count_ = std::clamp(count, 0, kMaxAircraft);
  time_ = 0;
  PublishAircraftList();
  Advance(0);
}

void Traffic::SetCount(int count) {
  count = std::clamp(count, 0, kMaxAircraft);
  for (int n = count + 1; n <= std::min(count_, kMaxPlanes); ++n) ZeroPlane(n);
  count_ = count;
  PublishAircraftList();
  Advance(0);  // newcomers are in place before the plugin hears of them
  // The simulator only talks to enabled plugins.
  Host& host = Host::Get();
  if (host.PluginEnabled()) {
    host.SendMessageToPlugin(0, XPLM_MSG_AIRPLANE_COUNT_CHANGED, nullptr);
  }
}

void Traffic::PublishAircraftList() {
  Host& host = Host::Get();
  const std::string folder = host.SystemPath() + "Aircraft/";
  // The user's aircraft stays whatever the host has loaded.
  std::vector<Aircraft> list = host.GetAircraft();
  if (list.empty()) {
    list.push_back({"Twin_Jet.acf", folder + "Twin Jet/Twin_Jet.acf"});
  }
  list.resize(1);
  for (int n = 1; n <= count_; ++n) {
    list.push_back({ModelFileName(n), folder + "Traffic/" + ModelFileName(n)});
  }
  host.SetAircraft(std::move(list));
}

void Traffic::ZeroPlane(int n) {
  Host& host = Host::Get();
  for (const char* f : {"lat", "lon", "el", "x", "y", "z"}) {
    host.SetDouble(PlaneRef(n, f), 0);
  }
  for (const char* f : {"the", "phi", "psi", "v_x", "v_y", "v_z"}) {
    host.SetFloat(PlaneRef(n, f), 0);
  }
}

void Traffic::Advance(double dt) {
  time_ += dt;
  const double now = time_;
  Host& host = Host::Get();
  for (int n = 1; n <= std::min(count_, kMaxPlanes); ++n) {
    const Circuit c = CircuitOf(n);
    // Angle of the plane around the field, clockwise from north.
    double a = c.phase + c.sense * (c.speed / c.radius) * now;
    // A gentle climb and descent so vertical speed is not always zero.
    double wave = 0.02;
    double up = kFieldElevation + c.height + 60.0 * std::sin(wave * now + n);
    double vy = 60.0 * wave * std::cos(wave * now + n);
    FieldPoint p{c.radius * std::sin(a), c.radius * std::cos(a), up};
    double track = a / kRad + 90.0 * c.sense;
    double ve = c.speed * std::sin(track * kRad);
    double vn = c.speed * std::cos(track * kRad);
    GeoPoint g = ToGeo(p);
    LocalPoint l = ToLocal(p);
    LocalPoint v = LocalVelocity(p, ve, vn, vy);
    double bank =
        c.sense * std::atan(c.speed * c.speed / (c.radius * kGravity)) / kRad;
    double pitch = 2.0 + std::atan2(vy, c.speed) / kRad;
    host.SetDouble(PlaneRef(n, "lat"), g.latitude);
    host.SetDouble(PlaneRef(n, "lon"), g.longitude);
    host.SetDouble(PlaneRef(n, "el"), g.elevation);
    host.SetDouble(PlaneRef(n, "x"), l.x);
    host.SetDouble(PlaneRef(n, "y"), l.y);
    host.SetDouble(PlaneRef(n, "z"), l.z);
    host.SetFloat(PlaneRef(n, "psi"),
                  static_cast<float>(WrapDegrees360(track)));
    host.SetFloat(PlaneRef(n, "the"), static_cast<float>(pitch));
    host.SetFloat(PlaneRef(n, "phi"), static_cast<float>(bank));
    host.SetFloat(PlaneRef(n, "v_x"), static_cast<float>(v.x));
    host.SetFloat(PlaneRef(n, "v_y"), static_cast<float>(v.y));
    host.SetFloat(PlaneRef(n, "v_z"), static_cast<float>(v.z));
  }
}

}  // namespace simhost::flight
