#include "requests/write_targets.h"

#include <atomic>
#include <vector>

#include "offsets/offset_block.h"

namespace tarvos {
namespace {

constexpr ReferenceTable R = ReferenceTable::kDataRef;
constexpr ReferenceTable V = ReferenceTable::kVariables;
constexpr uint8_t kI = kAccessInt;
constexpr uint8_t kF = kAccessFloat;
constexpr uint8_t kD = kAccessDouble;
constexpr uint8_t kVI = kAccessIntArray;
constexpr uint8_t kVF = kAccessFloatArray;

constexpr WriteTarget kTargets[] = {
    // Time and simulation.
    {0x023B, R, 0x023B, kF},  // zulu time
    {0x023C, R, 0x023B, kF},
    {0x023E, R, 0x023E, kI},   // local date
    {0x0C1A, R, 0x0C1A, kI},   // simulation rate
    {0x6DA4, R, 0x6DA4, kVI},  // failures
    {0x6DAA, R, 0x6DAA, kVI},

    // Radios.
    {0x02D4, R, 0x02D4, kI},
    {0x0330, R, 0x0330, kF},
    {0x034C, R, 0x034C, kI},
    {0x034E, R, 0x034E, kI},
    {0x0350, R, 0x0350, kI},
    {0x0352, R, 0x0352, kI},
    {0x0354, R, 0x0354, kI},
    {0x0C4E, R, 0x0C4E, kF},
    {0x0C5E, R, 0x0C5E, kF},
    {0x3118, R, 0x3118, kI},
    {0x311A, R, 0x311A, kI},
    {0x311C, R, 0x311C, kI},
    {0x311E, R, 0x311E, kI},
    {0x3120, R, 0x3120, kI},
    {0x3123, R, 0x0352, kI},  // the four swaps
    {0x3123, R, 0x3120, kI},
    {0x3123, R, 0x0350, kI},
    {0x3123, R, 0x311E, kI},
    {0x3123, R, 0x034E, kI},
    {0x3123, R, 0x311A, kI},
    {0x3123, R, 0x3118, kI},
    {0x3123, R, 0x311C, kI},
    {0x6D8C, R, 0x6D8C, kI},

    // Position and attitude: local coordinates, quaternion, velocities and
    // the accelerations and rates zeroed with them.
    {0x0558, V, 0x0035, kF},
    {0x0558, V, 0x0036, kF},
    {0x0558, V, 0x0037, kF},
    {0x0560, V, 0x0560, kD},
    {0x0560, V, 0x0568, kD},
    {0x0560, V, 0x0570, kD},
    {0x0564, V, 0x0560, kD},
    {0x0564, V, 0x0568, kD},
    {0x0564, V, 0x0570, kD},
    {0x0568, V, 0x0560, kD},
    {0x0568, V, 0x0568, kD},
    {0x0568, V, 0x0570, kD},
    {0x056C, V, 0x0560, kD},
    {0x056C, V, 0x0568, kD},
    {0x056C, V, 0x0570, kD},
    {0x0574, V, 0x0560, kD},
    {0x0574, V, 0x0568, kD},
    {0x0574, V, 0x0570, kD},
    {0x0578, V, 0x0578, kVF},
    {0x0578, V, 0x0085, kF},
    {0x0578, V, 0x0086, kF},
    {0x0578, V, 0x0087, kF},
    {0x0578, V, 0x0088, kF},
    {0x0578, V, 0x0089, kF},
    {0x0578, V, 0x008A, kF},
    {0x057C, V, 0x0578, kVF},
    {0x057C, V, 0x0085, kF},
    {0x057C, V, 0x0086, kF},
    {0x057C, V, 0x0087, kF},
    {0x057C, V, 0x0088, kF},
    {0x057C, V, 0x0089, kF},
    {0x057C, V, 0x008A, kF},
    {0x0580, V, 0x0578, kVF},
    {0x0580, V, 0x0085, kF},
    {0x0580, V, 0x0086, kF},
    {0x0580, V, 0x0087, kF},
    {0x0580, V, 0x0088, kF},
    {0x0580, V, 0x0089, kF},
    {0x0580, V, 0x008A, kF},
    {0x3090, V, 0x0035, kF},
    {0x3090, V, 0x0036, kF},
    {0x3090, V, 0x0037, kF},
    {0x3090, V, 0x0085, kF},
    {0x3090, V, 0x0086, kF},
    {0x3090, V, 0x0087, kF},
    {0x3090, V, 0x0088, kF},
    {0x3090, V, 0x0089, kF},
    {0x3090, V, 0x008A, kF},
    {0x6D90, V, 0x0560, kD},
    {0x6D90, V, 0x0568, kD},
    {0x6D90, V, 0x0570, kD},
    {0x6D94, V, 0x0560, kD},
    {0x6D94, V, 0x0568, kD},
    {0x6D94, V, 0x0570, kD},
    {0x6D98, V, 0x0560, kD},
    {0x6D98, V, 0x0568, kD},
    {0x6D98, V, 0x0570, kD},
    {0x6D9C, V, 0x0560, kD},
    {0x6D9C, V, 0x0568, kD},
    {0x6D9C, V, 0x0570, kD},
    {0x6DA0, V, 0x0560, kD},
    {0x6DA0, V, 0x0568, kD},
    {0x6DA0, V, 0x0570, kD},

    // Autopilot (the simulator's own; the x737 variants are not listed).
    {0x07BC, R, 0x07BC, kI},
    {0x07C0, R, 0x07C0, kI},  // the state word
    {0x07CC, R, 0x07CC, kF},
    {0x07D4, R, 0x07D4, kF},
    {0x07DC, R, 0x07C0, kI},
    {0x07E2, R, 0x07E2, kF},
    {0x07E4, R, 0x07C0, kI},
    {0x07E8, R, 0x07E2, kF},
    {0x07F2, R, 0x07F2, kF},
    {0x0808, R, 0x0808, kI},
    {0x2EE0, R, 0x2EE0, kI},

    // Weather.
    {0x04D2, R, 0x0EA6, kI},  // precipitation: cloud type, rain, temperature
    {0x04D2, R, 0x04CB, kF},
    {0x04D2, R, 0x0EC0, kF},
    {0x04D4, R, 0x04D4, kF},
    {0x0E8A, R, 0x0E8A, kF},
    {0x0E9A, R, 0x0E9A, kF},
    {0x0E9C, R, 0x0E9C, kF},
    {0x0E9E, R, 0x0E9E, kI},
    {0x0EA2, R, 0x0EA2, kF},
    {0x0EA4, R, 0x0EA4, kF},
    {0x0EA6, R, 0x0EA6, kI},
    {0x0F48, R, 0x0F48, kF},
    {0x0F5C, R, 0x0F5C, kF},
    {0x0F5E, R, 0x0F5E, kF},
    {0x0F60, R, 0x0F60, kF},
    {0x0F62, R, 0x0F62, kF},
    {0x0F68, R, 0x0F68, kF},
    {0x0F6A, R, 0x0F6A, kF},
    {0x0F6C, R, 0x0F6C, kF},
    {0x0F6E, R, 0x0F6E, kF},
    {0x0F72, R, 0x0F72, kF},
    {0x0F74, R, 0x0F74, kF},
    {0x0F76, R, 0x0F76, kF},
    {0x0F78, R, 0x0F78, kF},
    {0x6DA8, R, 0x6DA8, kF},
    {0x6DA9, R, 0x6DA8, kI},  // the float friction through the int setter
    {0x6DAF, R, 0x6DAF, kF},

    // Flight controls and aircraft systems.
    {0x029C, R, 0x029C, kI},
    {0x0BB2, R, 0x0BB2, kF},
    {0x0BB6, R, 0x0BB6, kF},
    {0x0BBA, R, 0x0BBA, kF},
    {0x0BC0, R, 0x0BC0, kF},
    {0x0BC8, R, 0x0BC8, kF},
    {0x0BCC, R, 0x0BCC, kF},
    {0x0BD0, R, 0x0BD0, kF},
    {0x0BDC, R, 0x0BDC, kF},
    {0x2EA0, R, 0x2EA0, kF},
    {0x2EB0, R, 0x2EB0, kF},
    {0x2EC0, R, 0x2EC0, kF},
    {0x2F80, R, 0x2F80, kI},
    {0x3101, R, 0x3101, kVI},
    {0x3102, R, 0x3102, kI},
    {0x3103, R, 0x3103, kI},
    {0x3104, R, 0x3104, kVI},
    {0x310A, V, 0x0020, kI},  // the four overrides
    {0x310A, V, 0x0021, kI},
    {0x310A, V, 0x0022, kI},
    {0x310A, V, 0x0023, kI},
    {0x6D88, R, 0x6D88, kI},
    {0x6F0B, R, 0x6F0B, kI},
    {0x6F0C, R, 0x6F0C, kI},

    // Engines 1 and 2 (engines 3 and 4 are added by the same stride).
    {0x088C, V, 0x003A, kVI},  // throttle lever: propeller mode, lever
    {0x088C, V, 0x088C, kVF},
    {0x088C, R, 0x088C, kVF},
    {0x0890, R, 0x0890, kVF},
    {0x0892, V, 0x0039, kVI},  // starter switch: igniters
    {0x089A, R, 0x089A, kVF},
    {0x08B2, R, 0x08B2, kVF},
    {0x0924, V, 0x003A, kVI},
    {0x0924, V, 0x0924, kVF},
    {0x0924, R, 0x0924, kVF},
    {0x0928, R, 0x0928, kVF},
    {0x092A, V, 0x0039, kVI},
    {0x0932, R, 0x0932, kVF},
    {0x094A, R, 0x094A, kVF},
    {0x09BC, V, 0x003A, kVI},
    {0x09BC, R, 0x09BC, kVF},
    {0x09C0, R, 0x09C0, kVF},
    {0x09C2, V, 0x0039, kVI},
    {0x09CA, R, 0x09CA, kVF},
    {0x09E2, R, 0x09E2, kVF},
    {0x0A54, V, 0x003A, kVI},
    {0x0A54, R, 0x0A54, kVF},
    {0x0A58, R, 0x0A58, kVF},
    {0x0A5A, V, 0x0039, kVI},
    {0x0A62, R, 0x0A62, kVF},
    {0x0A7A, R, 0x0A7A, kVF},
    {0x0B74, R, 0x0B74, kVF},  // fuel tanks
    {0x0B7C, R, 0x0B7C, kVF},
    {0x0B94, R, 0x0B94, kVF},
    {0x3590, R, 0x3590, kVF},
    {0x3594, R, 0x3594, kVF},
    {0x3BFC, R, 0x3BFC, kF},
    {0x6D8E, R, 0x6D8E, kVI},
    {0x6D8F, R, 0x6D8F, kVI},
};

constexpr uint16_t kWithoutReferences[] = {
    0x0240,                          // the year, kept in the offset space
    0x0262,                          // pause: the host's key
    0x07C4, 0x07C8, 0x07D0, 0x07EC,  // autopilot modes toggled by keys
    0x0800, 0x0804,                  // approach and back course commands
    0x0810,                          // autothrottle arm (x737 only)
    0x0BE8,                          // gear lever buttons
    0x3130, 0x313C, 0x3148, 0x3160,  // ATC texts, kept in the settings
    0x31F4,                          // the pushback plugin's status
};

std::atomic<bool> g_suppressed[kOffsetSpaceSize];

}  // namespace

std::span<const WriteTarget> WriteTargets() { return kTargets; }

std::span<const uint16_t> HandlersWithoutReferences() {
  return kWithoutReferences;
}

void SuppressHandler(uint16_t handler) {
  g_suppressed[handler].store(true, std::memory_order_relaxed);
}

void ClearSuppressedHandlers() {
  for (std::atomic<bool>& flag : g_suppressed) {
    flag.store(false, std::memory_order_relaxed);
  }
}

bool HandlerSuppressed(uint32_t handler) {
  return handler < kOffsetSpaceSize &&
         g_suppressed[handler].load(std::memory_order_relaxed);
}

}  // namespace tarvos
