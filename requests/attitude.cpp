#include "requests/attitude.h"

#include <algorithm>
#include <cmath>

namespace tarvos {

EulerDegrees EulerFromQuaternion(const Quaternion& q) {
  const double w = q.w, x = q.x, y = q.y, z = q.z;
  EulerDegrees e;
  e.heading = std::atan2(2 * (x * y + w * z), w * w + x * x - y * y - z * z) *
              kDegreesPerRadian;
  // A quaternion read back in single precision may be slightly off unit
  // length; outside [-1, 1] asin gives NaN, which would be written back into
  // the simulator's attitude.
  double s = std::clamp(2 * (w * y - x * z), -1.0, 1.0);
  e.pitch = std::asin(s) * kDegreesPerRadian;
  e.roll = std::atan2(2 * (w * x + y * z), w * w - x * x - y * y + z * z) *
           kDegreesPerRadian;
  return e;
}

Quaternion QuaternionFromEuler(const EulerDegrees& e) {
  const double psi = e.heading * kRadiansPerDegree * 0.5;
  const double theta = e.pitch * kRadiansPerDegree * 0.5;
  const double phi = e.roll * kRadiansPerDegree * 0.5;
  const double cpsi = std::cos(psi), spsi = std::sin(psi);
  const double ctheta = std::cos(theta), stheta = std::sin(theta);
  const double cphi = std::cos(phi), sphi = std::sin(phi);
  Quaternion q;
  q.w = cpsi * ctheta * cphi + spsi * stheta * sphi;
  q.x = cpsi * ctheta * sphi - spsi * stheta * cphi;
  q.y = cpsi * stheta * cphi + spsi * ctheta * sphi;
  q.z = spsi * ctheta * cphi - cpsi * stheta * sphi;
  return q;
}

}  // namespace tarvos
