// Write handlers that set the simulator's weather: precipitation, dew
// point, visibility, two cloud layers, sea-level pressure, three wind
// layers with turbulence and shear, runway friction and thunderstorms.
//
// Threads: run on a transport thread with OffsetLock held; they call the
// host's getters and setters from that thread.
#include <algorithm>
#include <cmath>
#include <span>

#include "XPLMDataAccess.h"
#include "offsets/coding.h"
#include "offsets/convert.h"
#include "offsets/reference_tables.h"
#include "offsets/weather.h"
#include "requests/write_handlers.h"

namespace tarvos {
namespace {

constexpr double kUnitsToDegrees = 0.0054931640625;  // 360 / 65536

XPLMDataRef Ref(uint32_t slot) { return DataRefMemBlock[slot]; }
void SetF(uint32_t slot, double v) { XPLMSetDataf(Ref(slot), HeldAsFloat(v)); }

// Slots of the datarefs the precipitation control writes.
constexpr uint32_t kRainPercent = 0x04CB;
constexpr uint32_t kSeaLevelTemperature = 0x0EC0;
constexpr uint32_t kLowerCloudType = 0x0EA6;

// 0x04D2: precipitation control: kind in the high byte, rate in the low.
void WritePrecipitation(uint32_t, const uint8_t* v) {
  const uint8_t rate = v[0];
  const uint8_t kind = v[1];
  // The simulator's rain is a fraction 0 to 1: rates 0 to 5 give the rain
  // levels 0 to 5 read back at 0x04CB, larger rates heavy rain.
  const double fraction = std::min(1.0, rate * 0.17);
  const double temperature = XPLMGetDataf(Ref(kSeaLevelTemperature));
  switch (kind) {
    case 0:
      XPLMSetDatai(Ref(kLowerCloudType), 3);
      SetF(kRainPercent, 0.0);
      return;
    case 1:  // rain: above freezing at sea level
      if (temperature < 0) SetF(kSeaLevelTemperature, 1.0);
      break;
    case 2:  // snow: below freezing
      if (temperature > 0) SetF(kSeaLevelTemperature, -1.0);
      break;
    default:
      return;
  }
  XPLMSetDatai(Ref(kLowerCloudType), 4);
  SetF(kRainPercent, fraction);
}

// 0x04D4: dew point at sea level, degrees C x 256.
void WriteDewPoint(uint32_t offset, const uint8_t* v) {
  SetF(offset, LoadS16(v) * 0.00390625);
}

// 0x0E8A: visibility, 1/100 statute mile.
void WriteVisibility(uint32_t offset, const uint8_t* v) {
  SetF(offset, LoadS16(v) * 16.0934);
}

// Cloud tops and bases in metres.
void WriteUnsigned(uint32_t offset, const uint8_t* v) {
  SetF(offset, LoadU16(v));
}

// Wind speeds in knots, to the host's unit.
void WriteWindSpeed(uint32_t offset, const uint8_t* v) {
  SetF(offset, HostWindFromKnots(LoadU16(v)));
}

// 0x0E9E, 0x0EA6: cloud cover of layers 2 and 0.
void WriteCloudCover(uint32_t offset, const uint8_t* v) {
  XPLMSetDatai(Ref(offset), CloudTypeOfCover(LoadU16(v)));
}

// 0x0F48: sea-level pressure, hPa x 16.
void WritePressure(uint32_t offset, const uint8_t* v) {
  SetF(offset, LoadU16(v) * 0.0625 * 0.02953);
}

// 0x0F5E, 0x0F6A: wind direction, 65536 to the turn.
void WriteWindDirection(uint32_t offset, const uint8_t* v) {
  SetF(offset, LoadU16(v) * kUnitsToDegrees);
}

// 0x0F74: surface wind direction, magnetic.
void WriteSurfaceWindDirection(uint32_t offset, const uint8_t* v) {
  double variation = XPLMGetDataf(Ref(0x02A0));
  SetF(offset, LoadU16(v) * kUnitsToDegrees - variation);
}

// Turbulence 0 to 255; larger values are ignored.
void WriteTurbulence(uint32_t offset, const uint8_t* v) {
  uint16_t value = LoadU16(v);
  if (value <= 255) SetF(offset, value * 0.03529411764705882);
}

// Wind shear 0 to 50 knots; larger values are ignored.
void WriteShear(uint32_t offset, const uint8_t* v) {
  uint16_t value = LoadU16(v);
  if (value <= 50) SetF(offset, value);
}

// 0x6DA8: runway friction 0, 1 or 2.
void WriteRunwayFriction(uint32_t offset, const uint8_t* v) {
  SetF(offset, v[0] <= 2 ? v[0] : 0.0);
}

// 0x6DA9: the same handle through the integer setter (the simulator's
// friction dataref is a float, so this has no effect there).
void WriteRunwayFrictionInteger(uint32_t, const uint8_t* v) {
  XPLMSetDatai(Ref(0x6DA8), v[0]);
}

// 0x6DAF: thunderstorms, percent.
void WriteThunderstorms(uint32_t offset, const uint8_t* v) {
  SetF(offset, v[0] * 0.01);
}

constexpr WriteTest kAlways = WriteTest::kAlways;
constexpr WriteTest kOnChange = WriteTest::kOnChange;

constexpr WriteHandler kHandlers[] = {
    {0x04D2, 2, kAlways, WritePrecipitation},
    {0x04D4, 2, kAlways, WriteDewPoint},
    {0x0E8A, 2, kOnChange, WriteVisibility},
    {0x0E9A, 2, kOnChange, WriteUnsigned},
    {0x0E9C, 2, kOnChange, WriteUnsigned},
    {0x0E9E, 2, kOnChange, WriteCloudCover},
    {0x0EA2, 2, kOnChange, WriteUnsigned},
    {0x0EA4, 2, kOnChange, WriteUnsigned},
    {0x0EA6, 2, kOnChange, WriteCloudCover},
    {0x0F48, 2, kOnChange, WritePressure},
    {0x0F5C, 2, kOnChange, WriteWindSpeed},
    {0x0F5E, 2, kOnChange, WriteWindDirection},
    {0x0F60, 2, kOnChange, WriteTurbulence},
    {0x0F62, 2, kOnChange, WriteShear},
    {0x0F68, 2, kOnChange, WriteWindSpeed},
    {0x0F6A, 2, kOnChange, WriteWindDirection},
    {0x0F6C, 2, kOnChange, WriteTurbulence},
    {0x0F6E, 2, kOnChange, WriteShear},
    {0x0F72, 2, kOnChange, WriteWindSpeed},
    {0x0F74, 2, kOnChange, WriteSurfaceWindDirection},
    {0x0F76, 2, kOnChange, WriteTurbulence},
    {0x0F78, 2, kOnChange, WriteShear},
    {0x6DA8, 1, kOnChange, WriteRunwayFriction},
    {0x6DA9, 1, kOnChange, WriteRunwayFrictionInteger},
    {0x6DAF, 1, kOnChange, WriteThunderstorms},
};

}  // namespace

std::span<const WriteHandler> WeatherWriteHandlers() { return kHandlers; }

}  // namespace tarvos
