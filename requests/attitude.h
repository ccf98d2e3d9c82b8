// Conversions between the simulator's attitude quaternion (w, x, y, z) and
// heading, pitch and roll in degrees, as the attitude writes use them.
#ifndef TARVOS_REQUESTS_ATTITUDE_H_
#define TARVOS_REQUESTS_ATTITUDE_H_

namespace tarvos {

struct Quaternion {
  double w, x, y, z;
};

struct EulerDegrees {
  double heading, pitch, roll;
};

// Degrees per radian and radians per degree, as single-precision values.
inline constexpr double kDegreesPerRadian = 57.295780181884766;
inline constexpr double kRadiansPerDegree = 0.01745329238474369;

EulerDegrees EulerFromQuaternion(const Quaternion& q);
Quaternion QuaternionFromEuler(const EulerDegrees& e);

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_ATTITUDE_H_
