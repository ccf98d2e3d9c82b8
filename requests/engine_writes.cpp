// Write handlers for the engine levers and switches of up to four engines,
// the fuel tank levels and the zero-fuel weight.
//
// Ratios reach the simulator inside its range: the 16-bit lever encodings
// reach +-8.0, so throttles are clamped to -1 ... 1 and mixtures to 0 ... 1.
// A tank level is written to the one m_fuel element that the published
// level of that offset shows, as the exact inverse of the published
// conversion.
//
// Threads: run on a transport thread with OffsetLock held; they call the
// host's getters, setters and commands from that thread.
#include "requests/engine_writes.h"

#include <algorithm>
#include <atomic>
#include <span>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "offsets/coding.h"
#include "offsets/convert.h"
#include "offsets/engines.h"
#include "offsets/offset_block.h"
#include "offsets/reference_tables.h"
#include "requests/write_handlers.h"

namespace tarvos {
namespace {

// Simulator variables (VariablesAccessMemBlock).
constexpr uint32_t kOverrideThrottles = 0x0023;
constexpr uint32_t kEmptyWeight = 0x0034;
constexpr uint32_t kIgnitersOn = 0x0039;
constexpr uint32_t kPropMode = 0x003A;

// Engine number (1 to 4) of an engine-block field at `offset` whose
// engine 1 field is `first`.
int EngineOf(uint32_t offset, uint32_t first) {
  return static_cast<int>((offset - first) / kEngineBlockStride) + 1;
}

// Each engine's five commands start here in CommandBlock: magnetos off,
// right, left, both, then the starter.
constexpr int kMagnetoCommands[4] = {0, 5, 15, 20};
// Starter buttons of engines 1 to 4.
int StarterButton(int e) { return e + 1; }

// Starter buttons a client pressed, by engine (bit e - 1).
std::atomic<unsigned> g_held_starters{0};

void PressStarter(int e) {
  XPLMCommandButtonPress(StarterButton(e));
  g_held_starters.fetch_or(1u << (e - 1));
}
void ReleaseStarter(int e) {
  XPLMCommandButtonRelease(StarterButton(e));
  g_held_starters.fetch_and(~(1u << (e - 1)));
}

void SetElementF(XPLMDataRef ref, int index, double v) {
  float f = HeldAsFloat(v);
  XPLMSetDatavf(ref, &f, index, 1);
}
void SetElementI(XPLMDataRef ref, int index, int v) {
  XPLMSetDatavi(ref, &v, index, 1);
}

uint8_t EngineType() REQUIRES(OffsetLock) { return OffsetBlock[0x0609]; }

// 0x088C + 0x98 (e - 1): throttle lever, forward x 16384, reverse x -4096.
void WriteThrottleLever(uint32_t offset, const uint8_t* v) {
  const int e = EngineOf(offset, 0x088C);
  const int16_t lever = LoadS16(v);
  const int mode = lever >= 0 ? 1 : 3;
  const double t =
      std::clamp(lever >= 0 ? lever * 6.103515625e-05 : lever * -0.000244140625,
                 -1.0, 1.0);
  SetElementI(VariablesAccessMemBlock[kPropMode], e - 1, mode);
  if (e <= 2 && XPLMGetDatai(VariablesAccessMemBlock[kOverrideThrottles])) {
    SetElementF(VariablesAccessMemBlock[offset], e - 1, t);
  } else {
    SetElementF(DataRefMemBlock[offset], e - 1, t);
  }
}

// 0x0890 + ...: mixture lever, x 16384.
void WriteMixture(uint32_t offset, const uint8_t* v) {
  const int e = EngineOf(offset, 0x0890);
  SetElementF(DataRefMemBlock[offset], e - 1,
              std::clamp(LoadU16(v) * 6.103515625e-05, 0.0, 1.0));
}

// 0x0892 + ...: starter switch. Piston engines: 0 to 3 set the magnetos,
// 4 holds the starter. Jets and turboprops: 1 holds the starter with the
// igniters on.
void WriteStarterSwitch(uint32_t offset, const uint8_t* v)
    REQUIRES(OffsetLock) {
  const int e = EngineOf(offset, 0x0892);
  const uint16_t value = LoadU16(v);
  const uint8_t type = EngineType();
  if (type == 0) {
    if (value <= 3)
      XPLMCommandOnce(CommandBlock[kMagnetoCommands[e - 1] + value]);
    if (value == 4) {
      PressStarter(e);
    } else {
      ReleaseStarter(e);
    }
  } else if (type == 1 || type == 5) {
    const int g = value == 1 ? 1 : 0;
    if (g) {
      PressStarter(e);
    } else {
      ReleaseStarter(e);
    }
    SetElementI(VariablesAccessMemBlock[kIgnitersOn], e - 1, g);
  }
}

// 0x089A + ...: throttle itself, forward x 16384, reverse x 4096.
void WriteDirectThrottle(uint32_t offset, const uint8_t* v) {
  const int e = EngineOf(offset, 0x089A);
  const int16_t value = LoadS16(v);
  const double t = value > 0 ? value * 6.103515625e-05 : value * 0.000244140625;
  SetElementF(DataRefMemBlock[offset], e - 1, std::clamp(t, -1.0, 1.0));
}

// 0x08B2 + ...: carburettor heat.
void WriteCarburettorHeat(uint32_t offset, const uint8_t* v) {
  const int e = EngineOf(offset, 0x08B2);
  SetElementF(DataRefMemBlock[offset], e - 1, LoadU16(v));
}

// 0x0B74, 0x0B7C, 0x0B94: tank level as fraction x 2^23 of the capacity
// 4 bytes on.
void WriteTankLevel(uint32_t offset, const uint8_t* v) REQUIRES(OffsetLock) {
  const int element = LevelElement(offset, RememberedTankCount());
  if (element < 0) return;
  const uint32_t capacity = LoadU32(OffsetBlock + offset + 4);
  SetElementF(DataRefMemBlock[offset], element,
              DecodeTankLevel(LoadU32(v), capacity));
}

// 0x3590, 0x3594: mixture switches of engines 1 and 2.
void WriteMixtureSwitch(uint32_t offset, const uint8_t* v) {
  SetElementF(DataRefMemBlock[offset], (offset - 0x3590) / 4,
              LoadU32(v) != 0 ? 1.0 : 0.0);
}

// 0x3BFC: zero-fuel weight, pounds x 256; the payload is what it adds to
// the empty weight, and a weight at or below the empty weight changes
// nothing.
void WriteZeroFuelWeight(uint32_t, const uint8_t* v) {
  const double w = LoadU32(v) * 0.00390625 * 0.45359237 -
                   XPLMGetDataf(VariablesAccessMemBlock[kEmptyWeight]);
  if (w > 0) XPLMSetDataf(DataRefMemBlock[0x3BFC], HeldAsFloat(w));
}

// 0x6D8E, 0x6D8F: igniters of engines 1 and 2.
void WriteIgniter(uint32_t offset, const uint8_t* v) {
  SetElementI(DataRefMemBlock[offset], static_cast<int>(offset - 0x6D8E), v[0]);
}

constexpr WriteTest kAlways = WriteTest::kAlways;
constexpr WriteTest kOnChange = WriteTest::kOnChange;

// Engines 1 to 4: throttle lever, mixture, starter switch, throttle,
// carburettor heat; then fuel, mixture switches, weight and igniters.
constexpr WriteHandler kHandlers[] = {
    {0x088C, 2, kOnChange, WriteThrottleLever},
    {0x0890, 2, kAlways, WriteMixture},
    {0x0892, 2, kOnChange, WriteStarterSwitch},
    {0x089A, 2, kAlways, WriteDirectThrottle},
    {0x08B2, 2, kOnChange, WriteCarburettorHeat},
    {0x0924, 2, kOnChange, WriteThrottleLever},
    {0x0928, 2, kAlways, WriteMixture},
    {0x092A, 2, kOnChange, WriteStarterSwitch},
    {0x0932, 2, kAlways, WriteDirectThrottle},
    {0x094A, 2, kOnChange, WriteCarburettorHeat},
    {0x09BC, 2, kOnChange, WriteThrottleLever},
    {0x09C0, 2, kAlways, WriteMixture},
    {0x09C2, 2, kOnChange, WriteStarterSwitch},
    {0x09CA, 2, kAlways, WriteDirectThrottle},
    {0x09E2, 2, kOnChange, WriteCarburettorHeat},
    {0x0A54, 2, kOnChange, WriteThrottleLever},
    {0x0A58, 2, kAlways, WriteMixture},
    {0x0A5A, 2, kOnChange, WriteStarterSwitch},
    {0x0A62, 2, kAlways, WriteDirectThrottle},
    {0x0A7A, 2, kOnChange, WriteCarburettorHeat},
    {0x0B74, 4, kOnChange, WriteTankLevel},
    {0x0B7C, 4, kOnChange, WriteTankLevel},
    {0x0B94, 4, kOnChange, WriteTankLevel},
    {0x3590, 4, kOnChange, WriteMixtureSwitch},
    {0x3594, 4, kOnChange, WriteMixtureSwitch},
    {0x3BFC, 4, kOnChange, WriteZeroFuelWeight},
    {0x6D8E, 1, kOnChange, WriteIgniter},
    {0x6D8F, 1, kOnChange, WriteIgniter},
};

}  // namespace

std::span<const WriteHandler> EngineWriteHandlers() { return kHandlers; }

void ReleaseHeldStarterButtons() {
  unsigned held = g_held_starters.exchange(0);
  for (int e = 1; e <= 4; ++e) {
    if (held & (1u << (e - 1))) XPLMCommandButtonRelease(StarterButton(e));
  }
}

}  // namespace tarvos
