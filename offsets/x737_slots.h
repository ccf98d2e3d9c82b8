// The x737 aircraft plugin's autopilot datarefs: their slots in
// VariablesAccessMemBlock, as the reference tables look them up (the
// slot of each name is fixed by its place in that table). Used by the
// refresh, the read-time items and the write handlers alike.
#ifndef TARVOS_OFFSETS_X737_SLOTS_H_
#define TARVOS_OFFSETS_X737_SLOTS_H_

#include <cstdint>

namespace tarvos::x737 {

inline constexpr uint32_t kCmdA = 0x0041;
inline constexpr uint32_t kCmdB = 0x0042;
inline constexpr uint32_t kHdg = 0x0043;
inline constexpr uint32_t kHdgMagnetic = 0x0044;
inline constexpr uint32_t kAltHold = 0x0045;
inline constexpr uint32_t kAltTarget = 0x0046;
inline constexpr uint32_t kVsArm = 0x0047;
inline constexpr uint32_t kVs = 0x0048;
inline constexpr uint32_t kVsVvi = 0x0049;
inline constexpr uint32_t kApEngaged = 0x004A;
inline constexpr uint32_t kFdMaster = 0x004C;
inline constexpr uint32_t kFdA = 0x004D;
inline constexpr uint32_t kFdB = 0x004E;
inline constexpr uint32_t kApPitch = 0x004F;
inline constexpr uint32_t kApRoll = 0x0050;
inline constexpr uint32_t kAthrArmed = 0x0053;
inline constexpr uint32_t kApp = 0x0055;
inline constexpr uint32_t kVorLoc = 0x0056;
inline constexpr uint32_t kSpdMach = 0x0057;
inline constexpr uint32_t kSpdMode = 0x0058;
inline constexpr uint32_t kSpdKias = 0x0059;
inline constexpr uint32_t kSpd = 0x005A;
inline constexpr uint32_t kIsMach = 0x005B;

}  // namespace tarvos::x737

#endif  // TARVOS_OFFSETS_X737_SLOTS_H_
