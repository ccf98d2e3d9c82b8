// Write handlers for position, attitude and velocity.
//
// clang-format off
//   Offset  Size  Value                          Test       Action
//   0x0558  4     u32 knots                      Always     velocity along heading
//   0x055C  4     -                              -          accepted, no action
//   0x0560  8     latitude, 32.32 fixed point    Always     relocate
//   0x0564  4     latitude integer part          Always     relocate
//   0x0568  8     longitude, 32.32 fixed point   Always     relocate
//   0x056C  4     longitude integer part         Always     relocate
//   0x0570  4     altitude fraction              -          accepted, no action
//   0x0574  4     s32 metres                     Always     relocate to value + 3
//   0x0578  4     s32 pitch (sign inverted)      On change  attitude change
//   0x057C  4     s32 bank (sign inverted)       On change  attitude change
//   0x0580  4     u32 heading                    On change  attitude change
//   0x3090  8     f64 ft/s                       Always     velocity along heading
//   0x6D90  8     f64 latitude degrees           Always     relocate
//   0x6D94  4     upper half of 0x6D90           Always     relocate
//   0x6D98  8     f64 longitude degrees          Always     relocate
//   0x6D9C  4     upper half of 0x6D98           Always     relocate
//   0x6DA0  4     s32 feet                       Always     relocate
// clang-format on
//
// Threads: run on a transport thread with OffsetLock held; they call the
// host's getters and setters from that thread.
#include <cmath>
#include <cstring>
#include <span>

#include "XPLMDataAccess.h"
#include "XPLMGraphics.h"
#include "offsets/coding.h"
#include "offsets/convert.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/attitude.h"
#include "requests/write_handlers.h"

namespace tarvos {
namespace {

constexpr double kTwoPowMinus32 = 2.3283064365386963e-10;
constexpr double kLatitudeDegreesPerUnit = 8.998425275576774e-06;
constexpr double kAngleDegreesPerUnit = 8.381903171539307e-08;  // 360/2^32

// Slots: primary handles (read) by offset, second handles (write) and
// variables in VariablesAccessMemBlock.
constexpr uint32_t kLatitude = 0x0560;
constexpr uint32_t kLongitude = 0x0568;
constexpr uint32_t kElevation = 0x0570;
constexpr uint32_t kLocalX = 0x0560;
constexpr uint32_t kLocalY = 0x0568;
constexpr uint32_t kLocalZ = 0x0570;
constexpr uint32_t kQuaternion = 0x0578;
constexpr uint32_t kVelocityX = 0x0035;
constexpr uint32_t kVelocityY = 0x0036;
constexpr uint32_t kVelocityZ = 0x0037;
// local_ax, local_ay, local_az, P, Q, R.
constexpr uint32_t kMotionChanges[] = {0x0085, 0x0086, 0x0087,
                                       0x0088, 0x0089, 0x008A};

double CurrentLatitude() { return XPLMGetDatad(DataRefMemBlock[kLatitude]); }
double CurrentLongitude() { return XPLMGetDatad(DataRefMemBlock[kLongitude]); }

// Moves the aircraft through its local coordinates.
void Relocate(double latitude, double longitude, double altitude_m) {
  double x = 0, y = 0, z = 0;
  XPLMWorldToLocal(latitude, longitude, altitude_m, &x, &y, &z);
  XPLMSetDatad(VariablesAccessMemBlock[kLocalX], x);
  XPLMSetDatad(VariablesAccessMemBlock[kLocalY], y);
  XPLMSetDatad(VariablesAccessMemBlock[kLocalZ], z);
}

Quaternion ReadQuaternion() {
  float q[4] = {0, 0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    XPLMGetDatavf(VariablesAccessMemBlock[kQuaternion], &q[k], k, 1);
  }
  return Quaternion{q[0], q[1], q[2], q[3]};
}

void ZeroMotionChanges() {
  for (uint32_t slot : kMotionChanges) {
    XPLMSetDataf(VariablesAccessMemBlock[slot], 0.0f);
  }
}

enum class Axis { kHeading, kPitch, kRoll };

// Replaces one angle of the current attitude, writes the quaternion back and
// stops the rotation the old attitude was carrying.
void ChangeAttitude(Axis axis, double degrees) {
  EulerDegrees e = EulerFromQuaternion(ReadQuaternion());
  switch (axis) {
    case Axis::kHeading:
      e.heading = degrees;
      break;
    case Axis::kPitch:
      e.pitch = degrees;
      break;
    case Axis::kRoll:
      e.roll = degrees;
      break;
  }
  Quaternion q = QuaternionFromEuler(e);
  float out[4] = {HeldAsFloat(q.w), HeldAsFloat(q.x), HeldAsFloat(q.y),
                  HeldAsFloat(q.z)};
  for (int k = 0; k < 4; ++k) {
    XPLMSetDatavf(VariablesAccessMemBlock[kQuaternion], &out[k], k, 1);
  }
  ZeroMotionChanges();
}

// Sets the horizontal velocity to `mps` along the current true heading.
// Local x points east and z south, so the direction angle is heading - 90.
void SetVelocityAlongHeading(double mps, bool vy_last) {
  double heading = EulerFromQuaternion(ReadQuaternion()).heading;
  double a = (heading - 90.0) * kRadiansPerDegree;
  float vx = HeldAsFloat(mps * std::cos(a));
  float vz = HeldAsFloat(mps * std::sin(a));
  XPLMSetDataf(VariablesAccessMemBlock[kVelocityX], vx);
  if (vy_last) {
    XPLMSetDataf(VariablesAccessMemBlock[kVelocityZ], vz);
    XPLMSetDataf(VariablesAccessMemBlock[kVelocityY], 0.0f);
  } else {
    XPLMSetDataf(VariablesAccessMemBlock[kVelocityY], 0.0f);
    XPLMSetDataf(VariablesAccessMemBlock[kVelocityZ], vz);
  }
}

// 32.32 fixed point: high 4 bytes signed integer part, low 4 bytes an
// unsigned fraction.
double DecodeFixed(const uint8_t* v) {
  return LoadS32(v + 4) + LoadU32(v) * kTwoPowMinus32;
}

// 0x0558: ground speed in knots, as whole metres per second.
void WriteSpeedKnots(uint32_t, const uint8_t* v) {
  double mps = static_cast<double>(TruncToInt(LoadU32(v) * 0.5144445));
  SetVelocityAlongHeading(mps, /*vy_last=*/false);
}

// 0x0560: latitude.
void WriteLatitude(uint32_t, const uint8_t* v) {
  Relocate(DecodeFixed(v) * kLatitudeDegreesPerUnit, CurrentLongitude(),
           XPLMGetDatad(DataRefMemBlock[kElevation]) + 100.0);
}

// 0x0564: latitude, whole units only (fraction 0).
void WriteLatitudeHigh(uint32_t, const uint8_t* v) {
  Relocate(LoadS32(v) * kLatitudeDegreesPerUnit, CurrentLongitude(),
           XPLMGetDatad(DataRefMemBlock[kElevation]) + 100.0);
}

// 0x0568: longitude.
void WriteLongitude(uint32_t, const uint8_t* v) {
  Relocate(CurrentLatitude(), DecodeFixed(v) * kAngleDegreesPerUnit,
           XPLMGetDatad(DataRefMemBlock[kElevation]) + 100.0);
}

// 0x056C: longitude, whole units only.
void WriteLongitudeHigh(uint32_t, const uint8_t* v) {
  Relocate(CurrentLatitude(), LoadS32(v) * kAngleDegreesPerUnit,
           XPLMGetDatad(DataRefMemBlock[kElevation]) + 100.0);
}

// 0x0574: altitude in whole metres; placed 3 m higher.
void WriteAltitude(uint32_t, const uint8_t* v) {
  Relocate(CurrentLatitude(), CurrentLongitude(),
           static_cast<double>(LoadS32(v)) + 3);
}

// 0x0578: pitch, nose up negative.
void WritePitch(uint32_t, const uint8_t* v) {
  ChangeAttitude(Axis::kPitch, LoadS32(v) * -kAngleDegreesPerUnit);
}

// 0x057C: bank.
void WriteBank(uint32_t, const uint8_t* v) {
  ChangeAttitude(Axis::kRoll, LoadS32(v) * -kAngleDegreesPerUnit);
}

// 0x0580: true heading.
void WriteHeading(uint32_t, const uint8_t* v) {
  ChangeAttitude(Axis::kHeading, LoadU32(v) * kAngleDegreesPerUnit);
}

// 0x3090: horizontal speed in feet per second.
void WriteSpeedFps(uint32_t, const uint8_t* v) {
  double fps = LoadF64(v);
  if (!std::isfinite(fps)) return;  // never hand NaN to the flight model
  SetVelocityAlongHeading(fps * 0.3048, /*vy_last=*/true);
  ZeroMotionChanges();
}

void RelocateToLatitudeDegrees(double latitude) {
  if (!std::isfinite(latitude)) return;
  Relocate(latitude, CurrentLongitude(),
           XPLMGetDataf(DataRefMemBlock[kElevation]));
}

void RelocateToLongitudeDegrees(double longitude) {
  if (!std::isfinite(longitude)) return;
  Relocate(CurrentLatitude(), longitude,
           XPLMGetDataf(DataRefMemBlock[kElevation]));
}

// The double at `base` with its upper half taken from the client and its
// lower half from the bytes OffsetBlock holds now.
double CombineUpperHalf(uint32_t base, const uint8_t* upper)
    REQUIRES(OffsetLock) {
  uint8_t bytes[8];
  std::memcpy(bytes, OffsetBlock + base, 4);
  std::memcpy(bytes + 4, upper, 4);
  return LoadF64(bytes);
}

// 0x6D90: latitude in degrees.
void WriteLatitudeDegrees(uint32_t, const uint8_t* v) {
  RelocateToLatitudeDegrees(LoadF64(v));
}

// 0x6D94: upper half of the latitude double.
void WriteLatitudeDegreesHigh(uint32_t, const uint8_t* v) REQUIRES(OffsetLock) {
  RelocateToLatitudeDegrees(CombineUpperHalf(0x6D90, v));
}

// 0x6D98: longitude in degrees.
void WriteLongitudeDegrees(uint32_t, const uint8_t* v) {
  RelocateToLongitudeDegrees(LoadF64(v));
}

// 0x6D9C: upper half of the longitude double.
void WriteLongitudeDegreesHigh(uint32_t, const uint8_t* v)
    REQUIRES(OffsetLock) {
  RelocateToLongitudeDegrees(CombineUpperHalf(0x6D98, v));
}

// 0x6DA0: altitude in feet.
void WriteAltitudeFeet(uint32_t, const uint8_t* v) {
  Relocate(CurrentLatitude(), CurrentLongitude(), LoadS32(v) * 0.3048);
}

constexpr WriteTest kAlways = WriteTest::kAlways;
constexpr WriteTest kOnChange = WriteTest::kOnChange;

constexpr WriteHandler kHandlers[] = {
    {0x0558, 4, kAlways, WriteSpeedKnots},
    {0x055C, 4, kAlways, nullptr},
    {0x0560, 8, kAlways, WriteLatitude},
    {0x0564, 4, kAlways, WriteLatitudeHigh},
    {0x0568, 8, kAlways, WriteLongitude},
    {0x056C, 4, kAlways, WriteLongitudeHigh},
    {0x0570, 4, kAlways, nullptr},
    {0x0574, 4, kAlways, WriteAltitude},
    {0x0578, 4, kOnChange, WritePitch},
    {0x057C, 4, kOnChange, WriteBank},
    {0x0580, 4, kOnChange, WriteHeading},
    {0x3090, 8, kAlways, WriteSpeedFps},
    {0x6D90, 8, kAlways, WriteLatitudeDegrees},
    {0x6D94, 4, kAlways, WriteLatitudeDegreesHigh},
    {0x6D98, 8, kAlways, WriteLongitudeDegrees},
    {0x6D9C, 4, kAlways, WriteLongitudeDegreesHigh},
    {0x6DA0, 4, kAlways, WriteAltitudeFeet},
};

}  // namespace

std::span<const WriteHandler> PositionWriteHandlers() { return kHandlers; }

}  // namespace tarvos
