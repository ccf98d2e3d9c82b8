// The constant offsets stored once by XPluginStart.
//
// clang-format off
// | Offset | Size | Encoding        | Value                                     |
// |--------|------|-----------------|-------------------------------------------|
// | 0x0240 | 2    | u16             | 2010                                      |
// | 0x3304 | 4    | u32             | 0x50000004                                |
// | 0x3308 | 4    | u32             | start counter: 0xFADE0000 + 8 per start   |
// | 0x3E00 | 256  | zero-terminated | simulator system folder, <= 255 chars     |
// | 0x6F03 | 8    | ASCII + NUL     | plugin version "1.0.0.0"                  |
// | 0x6FFF | 1    | u8              | 1                                         |
// clang-format on
//
// Clients identify the plugin by these values: never change them.
#ifndef TARVOS_PLUGIN_CONSTANT_OFFSETS_H_
#define TARVOS_PLUGIN_CONSTANT_OFFSETS_H_

#include <cstdint>

namespace tarvos {

inline constexpr uint32_t kYearOffset = 0x0240;
inline constexpr uint16_t kYearValue = 2010;
inline constexpr uint32_t kHostVersionOffset = 0x3304;
inline constexpr uint32_t kHostVersionValue = 0x50000004;
inline constexpr uint32_t kStartCounterOffset = 0x3308;
inline constexpr uint32_t kStartCounterInitial = 0xFADE0000;
inline constexpr uint32_t kStartCounterStep = 8;
inline constexpr uint32_t kSystemPathOffset = 0x3E00;
inline constexpr uint32_t kSystemPathSize = 256;
inline constexpr uint32_t kVersionStringOffset = 0x6F03;
inline constexpr uint32_t kVersionStringSize = 8;
inline constexpr uint32_t kReadyFlagOffset = 0x6FFF;

// Advances the start counter and stores every constant offset (main thread,
// inside XPluginStart).
void StoreConstantOffsets();

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_CONSTANT_OFFSETS_H_
