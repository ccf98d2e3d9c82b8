#include "requests/read_items.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "XPLMDataAccess.h"
#include "base/thread_annotations.h"
#include "offsets/convert.h"
#include "offsets/engines.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "offsets/x737_slots.h"

namespace tarvos {
namespace {

// --- Host reads through the handle tables
// -------------------------------------

float F(uint32_t slot) { return XPLMGetDataf(DataRefMemBlock[slot]); }
double D(uint32_t slot) { return XPLMGetDatad(DataRefMemBlock[slot]); }
int I(uint32_t slot) { return XPLMGetDatai(DataRefMemBlock[slot]); }
float VF(uint32_t slot, int element) {
  float v = 0;
  XPLMGetDatavf(DataRefMemBlock[slot], &v, element, 1);
  return v;
}
int VI(uint32_t slot, int element) {
  int v = 0;
  XPLMGetDatavi(DataRefMemBlock[slot], &v, element, 1);
  return v;
}
int VarI(uint32_t slot) { return XPLMGetDatai(VariablesAccessMemBlock[slot]); }
float VarF(uint32_t slot) {
  return XPLMGetDataf(VariablesAccessMemBlock[slot]);
}
bool X737() { return X737Active.load(std::memory_order_relaxed) != 0; }

// Slots of other variables.
constexpr uint32_t kHasJoystick = 0x0025;

// Slots of datarefs read for several items.
constexpr uint32_t kAutopilotState = 0x07C0;
constexpr uint32_t kElevation = 0x0020;
constexpr uint32_t kYAgl = 0x31E4;
constexpr uint32_t kPsi = 0x0580;
constexpr uint32_t kMagVar = 0x02A0;

// --- Stores into OffsetBlock (caller holds OffsetLock) ---------------------

void Put8(uint32_t offset, uint8_t v) REQUIRES(OffsetLock) {
  StoreU8(OffsetBlock + offset, v);
}
void Put16(uint32_t offset, uint16_t v) REQUIRES(OffsetLock) {
  StoreU16(OffsetBlock + offset, v);
}
void Put32(uint32_t offset, uint32_t v) REQUIRES(OffsetLock) {
  StoreU32(OffsetBlock + offset, v);
}
void Trunc16(uint32_t offset, double v) REQUIRES(OffsetLock) {
  StoreTrunc16(OffsetBlock + offset, v);
}
void Trunc32(uint32_t offset, double v) REQUIRES(OffsetLock) {
  StoreTrunc32(OffsetBlock + offset, v);
}
void PutF64(uint32_t offset, double v) REQUIRES(OffsetLock) {
  StoreF64(OffsetBlock + offset, v);
}

// --- Read-time items
// ------------------------------------------------------------

// 0x0366: on ground, 1 below one metre above the ground.
void OnGround(uint32_t) REQUIRES(OffsetLock) {
  Put16(0x0366, F(kYAgl) < 1.0f ? 1 : 0);
}
// 0x036C: stall warning.
void StallWarning(uint32_t) REQUIRES(OffsetLock) {
  Put8(0x036C, Low8(I(0x036C)));
}
// 0x036E: turn coordinator ball.
void SlipBall(uint32_t) REQUIRES(OffsetLock) {
  StoreTrunc8(OffsetBlock + 0x036E, F(0x036E) * -30.0);
}
// 0x07C4: NAV1 lock (localizer); both arm bits together read as 0x300.
void Nav1Lock(uint32_t) REQUIRES(OffsetLock) {
  if (X737()) return Put32(0x07C4, static_cast<uint32_t>(VarI(x737::kVorLoc)));
  uint32_t m = static_cast<uint32_t>(I(kAutopilotState)) & 0x300;
  Put32(0x07C4, m == 0x300 ? 0x300 : (m != 0 ? 1 : 0));
}
// 0x07C8: heading hold.
void HeadingHold(uint32_t) REQUIRES(OffsetLock) {
  if (X737()) return Put32(0x07C8, static_cast<uint32_t>(VarI(x737::kHdg)));
  Put32(0x07C8, (I(0x07C8) & 2) ? 1 : 0);
}
// 0x07CC: autopilot heading, degrees x 65536/360.
void HeadingBug(uint32_t) REQUIRES(OffsetLock) {
  double v = X737() ? VarF(x737::kHdgMagnetic) : F(0x07CC);
  Trunc16(0x07CC, v * 182.04444444);
}
// 0x07D0: altitude hold; both bits together read as 0x4020.
void AltitudeHold(uint32_t) REQUIRES(OffsetLock) {
  if (X737()) return Put32(0x07D0, static_cast<uint32_t>(VarI(x737::kAltHold)));
  uint32_t m = static_cast<uint32_t>(I(0x07D0)) & 0x4020;
  Put32(0x07D0, m == 0x4020 ? 0x4020 : (m != 0 ? 1 : 0));
}
// 0x07D4: autopilot altitude, feet to metres x 65536.
void AltitudeBug(uint32_t) REQUIRES(OffsetLock) {
  Trunc32(0x07D4, F(0x07D4) * 19975.3728);
}
// 0x07EC: vertical speed hold.
void VerticalSpeedHold(uint32_t) REQUIRES(OffsetLock) {
  if (X737()) {
    // VS is read only when VS_arm is clear.
    bool on = VarI(x737::kVsArm) != 0 || VarI(x737::kVs) != 0;
    return Put32(0x07EC, on ? 1 : 0);
  }
  Put32(0x07EC, (I(0x07EC) & 0x10) ? 1 : 0);
}
// 0x07F2: autopilot vertical speed, feet per minute.
void VerticalSpeedBug(uint32_t) REQUIRES(OffsetLock) {
  double v = X737() ? VarF(x737::kVsVvi) : F(0x07F2);
  Trunc16(0x07F2, v);
}
// 0x0B4C: ground altitude, metres.
void GroundAltitude(uint32_t) REQUIRES(OffsetLock) {
  Trunc16(0x0B4C, D(kElevation) - F(kYAgl));
}
// 0x0BAC, 0x0BAE, 0x0BB0: inner, middle and outer marker.
void Marker(uint32_t offset) REQUIRES(OffsetLock) {
  Put16(offset, Low16(I(offset)));
}
// 0x0BB2 with 0x3328: yoke pitch input, only with a joystick.
void YokePitch(uint32_t) REQUIRES(OffsetLock) {
  if (Low8(VarI(kHasJoystick)) == 0) return;
  int64_t v = TruncToInt(F(0x0BB2) * 16383.0);
  Put16(0x0BB2, Low16(v));
  Put16(0x3328, Low16(v));
}
// 0x0BB4: elevator deflection.
void Elevator(uint32_t) REQUIRES(OffsetLock) {
  Trunc16(0x0BB4, F(0x0BB4) * -1090.866667);
}
// 0x0BB8 with 0x2EA8: aileron deflection.
void Aileron(uint32_t) REQUIRES(OffsetLock) {
  double v = F(0x0BB8);
  PutF64(0x2EA8, v * -0.17453292);
  Trunc16(0x0BB8, v * -546.1);
}
// 0x0BBA with 0x332C: rudder pedal input, only with a joystick.
void YokeHeading(uint32_t) REQUIRES(OffsetLock) {
  if (Low8(VarI(kHasJoystick)) == 0) return;
  int64_t v = TruncToInt(F(0x0BBA) * 16383.0);
  Put16(0x0BBA, Low16(v));
  Put16(0x332C, Low16(v));
}
// 0x0BBC with 0x2EB8: rudder deflection.
void Rudder(uint32_t) REQUIRES(OffsetLock) {
  double v = F(0x0BBC);
  PutF64(0x2EB8, v * 0.17453292);
  Trunc16(0x0BBC, v * 546.1);
}
// 0x0BDC: flap request.
void FlapRequest(uint32_t) REQUIRES(OffsetLock) {
  Trunc32(0x0BDC, F(0x0BDC) * 16383.0);
}
// 0x0BE4: right flap deflection.
void RightFlap(uint32_t) REQUIRES(OffsetLock) {
  Trunc32(0x0BE4, F(0x0BE4) * 409.575);
}
// 0x0BE8: gear handle, 0 or 16383.
void GearHandle(uint32_t) REQUIRES(OffsetLock) {
  Put32(0x0BE8, Low32(static_cast<int64_t>(I(0x0BE8)) * 16383));
}
// 0x0BEC, 0x0BF0, 0x0BF4: nose, right and left gear position.
void GearPosition(uint32_t offset) REQUIRES(OffsetLock) {
  int element = offset == 0x0BEC ? 0 : (offset == 0x0BF0 ? 2 : 1);
  Trunc32(offset, VF(offset, element) * 16383.0);
}
// 0x0C4E and 0x0C5E: OBS of NAV1 and NAV2, whole degrees.
void Obs(uint32_t offset) REQUIRES(OffsetLock) {
  Put16(offset, Low16(RoundHalfAway(F(offset))));
}
// 0x0C50 and 0x0C60: radial of NAV1 and NAV2, degrees x 65536/360.
void Radial(uint32_t offset) REQUIRES(OffsetLock) {
  double v = static_cast<double>(F(kPsi)) + F(offset) + F(kMagVar) + 180.0;
  Trunc16(offset, v * 182.04444444444);
}
// 0x0C56 and 0x0C5C: magnetic bearing to NAV1 and NAV2, 0 to 359.
void Bearing(uint32_t offset) REQUIRES(OffsetLock) {
  double v = static_cast<double>(F(offset)) + F(kMagVar);
  if (v < 0) v += 360.0;
  Trunc16(offset, v);
}
// 0x11BA: G force, 625 = 1 g.
void GForce(uint32_t) REQUIRES(OffsetLock) {
  Trunc16(0x11BA, (F(0x11BA) * 0.1019367991845056 + 1.0) * 625.0);
}
// 0x11BE: angle of attack indicator, 32767 at zero or below, 0 at 100.
// Computed in single precision, as clients calibrated against it.
void AngleOfAttack(uint32_t) REQUIRES(OffsetLock) {
  float alpha = F(0x11BE);
  if (alpha < 0) return Put16(0x11BE, 32767);
  float v = (alpha - 100.0f) * 0.01f * 32767.0f * -1.0f;
  Put16(0x11BE, Low16(TruncToInt(v)));
}
// 0x11C6: Mach x 20480.
void Mach(uint32_t) REQUIRES(OffsetLock) {
  Trunc16(0x11C6, F(0x11C6) * 20480.0);
}
// 0x2ED0 and 0x2ED8: angle of attack and sideslip, radians.
void AngleRadians(uint32_t offset) REQUIRES(OffsetLock) {
  PutF64(offset, F(offset) * 0.017453292);
}
// 0x2F70 and 0x2F78: pitch and bank, degrees.
void AttitudeDegrees(uint32_t offset) REQUIRES(OffsetLock) {
  PutF64(offset, F(offset));
}
// 0x3060: lateral acceleration, ft/s^2.
void SideAcceleration(uint32_t) REQUIRES(OffsetLock) {
  PutF64(0x3060, F(0x3060) * 9.8062 * 3.280839);
}
// 0x3068: vertical acceleration less gravity, ft/s^2.
void NormalAcceleration(uint32_t) REQUIRES(OffsetLock) {
  PutF64(0x3068, (F(0x3068) - 1.0) * 9.8062 * 3.280839);
}
// 0x3070: longitudinal acceleration, ft/s^2.
void AxialAcceleration(uint32_t) REQUIRES(OffsetLock) {
  PutF64(0x3070, F(0x3070) * 9.8062 * -3.280839);
}
// 0x3078: pitch acceleration, rad/s^2.
void PitchAcceleration(uint32_t) REQUIRES(OffsetLock) {
  PutF64(0x3078, F(0x3078) * 0.017453292);
}
// 0x3090: horizontal speed, ft/s.
void HorizontalSpeed(uint32_t) REQUIRES(OffsetLock) {
  double vx = F(0x3090);
  double vz = F(0x3098);
  PutF64(0x3090, std::sqrt(vx * vx + vz * vz) * 3.280839);
}
// 0x3098: velocity along the local z axis, ft/s.
void VelocityZ(uint32_t) REQUIRES(OffsetLock) {
  PutF64(0x3098, F(0x3098) * 3.280839);
}
// 0x3590 and 0x3594: mixture of engines 1 and 2, whole units.
void MixtureRatio(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc32(offset, VF(offset, offset == 0x3590 ? 0 : 1));
}
// 0x6D8A: nose-wheel steering angle x 100.
void NoseWheelSteering(uint32_t) REQUIRES(OffsetLock) {
  Trunc16(0x6D8A, VF(0x6D8A, 0) * 100.0);
}

// --- Engine items: engine e reads element e-1; blocks lie 0x98 apart --------

constexpr uint32_t kEngineStride = 0x98;
int EngineElement(uint32_t offset, uint32_t engine1) {
  return static_cast<int>((offset - engine1) / kEngineStride);
}

// Fuel flow, pounds per hour x 7936.6 scale (0x08A0 + 0x98 n).
void FuelFlow(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc16(offset, VF(offset, EngineElement(offset, 0x08A0)) * 7936.6);
}
// Oil temperature (0x08B8 + 0x98 n).
void OilTemperature(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc16(offset,
          OilTemperatureCelsius(VF(offset, EngineElement(offset, 0x08B8))) *
              117.02857);
}
// Oil pressure (0x08BA + 0x98 n).
void OilPressure(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc16(offset, VF(offset, EngineElement(offset, 0x08BA)) * 297.891);
}
// EPR (0x08BC + 0x98 n).
void Epr(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc16(offset, VF(offset, EngineElement(offset, 0x08BC)) * 10240.0);
}
// EGT (0x08BE + 0x98 n).
void Egt(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc16(offset,
          EgtCelsius(VF(offset, EngineElement(offset, 0x08BE))) * 19.051);
}
// Fuel flow as a double (0x0918 + 0x98 n).
void FuelFlowDouble(uint32_t offset) REQUIRES(OffsetLock) {
  PutF64(offset, VF(offset, EngineElement(offset, 0x0918)) * 7936.6);
}
// Mixture of engines 3 and 4 (0x09C0, 0x0A58).
void Mixture(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc16(offset, VF(offset, EngineElement(offset, 0x0890)) * 16384.0);
}
// Ignition of engines 3 and 4 (0x09C2, 0x0A5A).
void Ignition(uint32_t offset) REQUIRES(OffsetLock) {
  Put16(offset, Low16(VI(offset, EngineElement(offset, 0x0892))));
}
// Running flag of engines 3 and 4 (0x09C4, 0x0A5C).
void Running(uint32_t offset) REQUIRES(OffsetLock) {
  Put16(offset, Low16(VI(offset, EngineElement(offset, 0x0894))));
}
// N2 of engines 3 and 4 (0x09C6, 0x0A5E); 0 when not turning.
void N2(uint32_t offset) REQUIRES(OffsetLock) {
  float v = VF(offset, EngineElement(offset, 0x0896));
  Trunc16(offset, v <= 0 ? 0.0 : v * 163.84);
}
// N1 of engines 3 and 4 (0x09C8, 0x0A60).
void N1(uint32_t offset) REQUIRES(OffsetLock) {
  Trunc16(offset, VF(offset, EngineElement(offset, 0x0898)) * 163.84);
}

// --- The map
// -------------------------------------------------------------------

struct Row {
  uint16_t offset;
  uint8_t size;
  ReadItemRefresh refresh;
};

// Read-time items. A paired item appears under both of its offsets with the
// same function; the walk advances by the size of the one requested.
constexpr Row kReadTimeItems[] = {
    {0x0366, 2, OnGround},
    {0x036C, 1, StallWarning},
    {0x036E, 1, SlipBall},
    {0x07C4, 4, Nav1Lock},
    {0x07C8, 4, HeadingHold},
    {0x07CC, 2, HeadingBug},
    {0x07D0, 4, AltitudeHold},
    {0x07D4, 4, AltitudeBug},
    {0x07EC, 4, VerticalSpeedHold},
    {0x07F2, 2, VerticalSpeedBug},
    {0x0B4C, 2, GroundAltitude},
    {0x0BAC, 2, Marker},
    {0x0BAE, 2, Marker},
    {0x0BB0, 2, Marker},
    {0x0BB2, 2, YokePitch},
    {0x0BB4, 2, Elevator},
    {0x0BB8, 2, Aileron},
    {0x0BBA, 2, YokeHeading},
    {0x0BBC, 2, Rudder},
    {0x0BDC, 4, FlapRequest},
    {0x0BE4, 4, RightFlap},
    {0x0BE8, 4, GearHandle},
    {0x0BEC, 4, GearPosition},
    {0x0BF0, 4, GearPosition},
    {0x0BF4, 4, GearPosition},
    {0x0C4E, 2, Obs},
    {0x0C50, 2, Radial},
    {0x0C56, 2, Bearing},
    {0x0C5C, 2, Bearing},
    {0x0C5E, 2, Obs},
    {0x0C60, 2, Radial},
    {0x11BA, 2, GForce},
    {0x11BE, 2, AngleOfAttack},
    {0x11C6, 2, Mach},
    {0x2EA8, 8, Aileron},
    {0x2EB8, 8, Rudder},
    {0x2ED0, 8, AngleRadians},
    {0x2ED8, 8, AngleRadians},
    {0x2F70, 8, AttitudeDegrees},
    {0x2F78, 8, AttitudeDegrees},
    {0x3060, 8, SideAcceleration},
    {0x3068, 8, NormalAcceleration},
    {0x3070, 8, AxialAcceleration},
    {0x3078, 8, PitchAcceleration},
    {0x3090, 8, HorizontalSpeed},
    {0x3098, 8, VelocityZ},
    {0x3328, 2, YokePitch},
    {0x332C, 2, YokeHeading},
    {0x3590, 4, MixtureRatio},
    {0x3594, 4, MixtureRatio},
    {0x6D8A, 2, NoseWheelSteering},
};

// Engine items: first engine's offset, engines covered, size, function.
struct EngineRow {
  uint16_t engine1_offset;
  uint8_t first_engine;  // 1, or 3 for the items of engines 3 and 4 only
  uint8_t size;
  ReadItemRefresh refresh;
};
constexpr EngineRow kEngineItems[] = {
    {0x08A0, 1, 2, FuelFlow},    {0x08B8, 1, 2, OilTemperature},
    {0x08BA, 1, 2, OilPressure}, {0x08BC, 1, 2, Epr},
    {0x08BE, 1, 2, Egt},         {0x0918, 1, 8, FuelFlowDouble},
    {0x0890, 3, 2, Mixture},     {0x0892, 3, 2, Ignition},
    {0x0894, 3, 2, Running},     {0x0896, 3, 2, N2},
    {0x0898, 3, 2, N1},
};

// Maintained items by size: kept current by the flight-loop refresh, the
// write handlers or other subsystems; the walk only steps over them.
constexpr uint16_t kMaintained1[] = {
    0x023A, 0x023C, 0x029C, 0x04CB, 0x04CC, 0x0609, 0x0C48, 0x0C49, 0x0C4A,
    0x0C4B, 0x0C4C, 0x0C4D, 0x0C58, 0x0C59, 0x0C5A, 0x0C5B, 0x0C6E, 0x0C6F,
    0x0C70, 0x2F80, 0x3101, 0x3102, 0x3103, 0x3104, 0x310A, 0x3122, 0x3123,
    0x6D88, 0x6D8C, 0x6DA8, 0x6DA9, 0x6DAF, 0x6F02, 0x6F0B, 0x6F0C,
};
constexpr uint16_t kMaintained2[] = {
    0x0239, 0x023B, 0x023E, 0x0240, 0x0246, 0x0262, 0x0264, 0x0274, 0x029D,
    0x02A0, 0x0300, 0x0306, 0x0330, 0x034C, 0x034E, 0x0350, 0x0352, 0x0354,
    0x04C8, 0x04D2, 0x04D4, 0x04D8, 0x04DA, 0x05DC, 0x07CE, 0x07E0, 0x07E2,
    0x07F0, 0x0840, 0x088C, 0x0890, 0x0892, 0x0894, 0x0896, 0x0898, 0x08B2,
    0x08C0, 0x0924, 0x0928, 0x092A, 0x092C, 0x092E, 0x0930, 0x094A, 0x0958,
    0x09BC, 0x09E2, 0x09F0, 0x0A54, 0x0A7A, 0x0A88, 0x0AEC, 0x0BB6, 0x0BC0,
    0x0BC2, 0x0BC8, 0x0C1A, 0x0E8A, 0x0E8C, 0x0E90, 0x0E92, 0x0E9A, 0x0E9C,
    0x0E9E, 0x0EA2, 0x0EA4, 0x0EA6, 0x0EC0, 0x0EC6, 0x0F48, 0x0F50, 0x0F52,
    0x0F54, 0x11D0, 0x3300, 0x332A, 0x337E, 0x6F00,
};
// Runs of 2-byte maintained items at every even offset, inclusive.
constexpr uint16_t kMaintained2Runs[][2] = {
    {0x0F5C, 0x0F78},
    {0x30E8, 0x30F6},
    {0x3118, 0x3120},
};
constexpr uint16_t kMaintained3[] = {0x0238};
constexpr uint16_t kMaintained4[] = {
    0x0020, 0x02B4, 0x02B8, 0x02BC, 0x02C4, 0x02C8, 0x030C, 0x0570, 0x0574,
    0x0578, 0x057C, 0x0580, 0x07A0, 0x07A4, 0x07BC, 0x07C0, 0x07D8, 0x07DC,
    0x07E4, 0x07E8, 0x0800, 0x0804, 0x0808, 0x080C, 0x0810, 0x08D0, 0x08D4,
    0x08D8, 0x08DC, 0x0968, 0x096C, 0x0970, 0x0974, 0x0B74, 0x0BCC, 0x0BD0,
    0x0BD4, 0x0BD8, 0x0BE0, 0x0C52, 0x0C62, 0x2EE0, 0x31E4, 0x31F0, 0x31F4,
    0x3304, 0x3308, 0x3324, 0x3BFC, 0x6DA4,
};
constexpr uint16_t kMaintained5[] = {0x0C29, 0x0C33};
constexpr uint16_t kMaintained6[] = {0x02DC, 0x3000, 0x301F, 0x303E};
constexpr uint16_t kMaintained8[] = {
    0x0560, 0x0568, 0x0B18, 0x0C66, 0x2400, 0x2500, 0x2EA0,
    0x2EB0, 0x2EC0, 0x2EE8, 0x2EF0, 0x3080, 0x3088, 0x30A0,
    0x30A8, 0x30B0, 0x30B8, 0x30C0, 0x31A0, 0x34A0,
};
// Longer maintained items: offset and size.
constexpr uint16_t kMaintainedLong[][2] = {
    {0x07F4, 12}, {0x0266, 14}, {0x08C2, 14}, {0x3006, 25},
    {0x3025, 25}, {0x0ECA, 34}, {0x0276, 38}, {0x0778, 40},
};

// Offset -> 1 + index into `items`, 0 where no item starts.
class ReadItemMap {
 public:
  ReadItemMap() : index_(kOffsetSpaceSize, 0) {
    items_.reserve(512);
    for (uint16_t o : kMaintained1) Add(o, 1, nullptr);
    for (uint16_t o : kMaintained2) Add(o, 2, nullptr);
    for (const auto& run : kMaintained2Runs) {
      for (uint32_t o = run[0]; o <= run[1]; o += 2) Add(o, 2, nullptr);
    }
    for (uint16_t o : kMaintained3) Add(o, 3, nullptr);
    for (uint16_t o : kMaintained4) Add(o, 4, nullptr);
    for (uint16_t o : kMaintained5) Add(o, 5, nullptr);
    for (uint16_t o : kMaintained6) Add(o, 6, nullptr);
    for (uint16_t o : kMaintained8) Add(o, 8, nullptr);
    for (const auto& m : kMaintainedLong) Add(m[0], m[1], nullptr);
    // Read-time items last: where an offset appears in both lists, the
    // recomputed item wins.
    for (const EngineRow& e : kEngineItems) {
      for (uint32_t engine = e.first_engine; engine <= 4; ++engine) {
        Add(e.engine1_offset + kEngineStride * (engine - 1), e.size, e.refresh);
      }
    }
    for (const Row& r : kReadTimeItems) Add(r.offset, r.size, r.refresh);
  }

  const ReadItem* Find(uint32_t offset) const {
    if (offset >= kOffsetSpaceSize) return nullptr;
    uint16_t slot = index_[offset];
    return slot == 0 ? nullptr : &items_[slot - 1];
  }

 private:
  void Add(uint32_t offset, uint32_t size, ReadItemRefresh refresh) {
    uint16_t& slot = index_[offset];
    if (slot != 0) {
      items_[slot - 1] = ReadItem{size, refresh};
      return;
    }
    items_.push_back(ReadItem{size, refresh});
    slot = static_cast<uint16_t>(items_.size());
  }

  std::vector<uint16_t> index_;
  std::vector<ReadItem> items_;
};

}  // namespace

const ReadItem* FindReadItem(uint32_t offset) {
  // Built on first use (thread-safe static initialisation) and never freed:
  // a transport thread may still be reading while the library unloads.
  static const ReadItemMap* map = new ReadItemMap();
  return map->Find(offset);
}

}  // namespace tarvos
