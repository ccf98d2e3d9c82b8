// Catalogue rows of the weather offsets (the converters in weather.cpp and
// the plain rows here, the write handlers in requests/weather_writes.cpp).
// Values stored at two or three offsets in one lock hold are aliases of
// the row that names the dataref.
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

constexpr double kPer256 = 1.0 / 256;
constexpr double kPer16 = 1.0 / 16;
constexpr double kCover = 1.0 / 65535;
constexpr double kTurbulence = 1.0 / 28.333333333333332;

// clang-format off
constexpr OffsetRow kWeather[] = {
    Row(0x04C8, 2, kS16, kR, kCallbackI, "weather.dew_point", "C", kPer256,
        "Dew point at sea level")
        .ReadsFloatFactor(kFloat, 0x04C8, 256),
    Row(0x04CB, 1, kU8, kR, kCallbackI, "weather.rain_level", "", 1,
        "Rain, 0 (none) to 5 (heavy)"),
    Row(0x04CC, 1, kU8, kR, kCallbackI, "weather.precipitation_type", "", 1,
        "0 none, 1 rain, 2 snow (by the sea-level temperature)"),
    Row(0x04D2, 2, kBits, kRW, kClient, "weather.precipitation_control", "",
        1, "Write: kind in the high byte (0 none, 1 rain, 2 snow), rate in "
        "the low byte (0 to 5, larger is heavy)"),
    Row(0x04D4, 2, kS16, kW, kNone, "weather.set_dew_point", "C", kPer256,
        "Write: dew point at sea level"),
    Row(0x04D8, 2, kS16, kR, kCallbackD, "weather.surface_wind.speed", "kt",
        1, "Surface wind speed"
        ", knots (from metres per second on the simulator 12 and later)").Alias(0x0F72),
    Row(0x04DA, 2, kAngle16, kR, kCallbackG, "weather.surface_wind.direction",
        "deg", kPerTurn16, "Surface wind direction, magnetic").Alias(0x0F74),
    Row(0x0E8A, 2, kU16, kRW, kCallbackG, "weather.visibility", "mi", 0.01,
        "Visibility, statute miles")
        .Reads(kFloat, 0x0E8A, 0.0621371192),
    Row(0x0E8C, 2, kS16, kR, kCallbackD, "weather.temperature", "C", kPer256,
        "Outside air temperature")
        .ReadsFloatFactor(kFloat, 0x0E8C, 256),
    Row(0x0E90, 2, kU16, kR, kCallbackA, "weather.wind.speed", "kt", 0.5,
        "Wind speed at the aircraft, knots (from metres per second on the simulator 12 and later)"),
    Row(0x0E92, 2, kAngle16, kR, kCallbackA, "weather.wind.direction", "deg",
        kPerTurn16, "Wind direction at the aircraft, true"),
    Row(0x0E9A, 2, kS16, kRW, kCallbackG, "weather.cloud.upper.top", "m", 1,
        "Upper cloud layer: tops above sea level")
        .Reads(kFloat, 0x0E9A, 1),
    Row(0x0E9C, 2, kS16, kRW, kCallbackG, "weather.cloud.upper.base", "m", 1,
        "Upper cloud layer: base above sea level")
        .Reads(kFloat, 0x0E9C, 1),
    Row(0x0E9E, 2, kU16, kRW, kCallbackG, "weather.cloud.upper.cover", "",
        kCover, "Upper cloud layer: cover, 0 clear to 1 overcast"),
    Row(0x0EA2, 2, kS16, kRW, kCallbackG, "weather.cloud.lower.top", "m", 1,
        "Lower cloud layer: tops above sea level")
        .Reads(kFloat, 0x0EA2, 1),
    Row(0x0EA4, 2, kS16, kRW, kCallbackG, "weather.cloud.lower.base", "m", 1,
        "Lower cloud layer: base above sea level")
        .Reads(kFloat, 0x0EA4, 1),
    Row(0x0EA6, 2, kU16, kRW, kCallbackG, "weather.cloud.lower.cover", "",
        kCover, "Lower cloud layer: cover, 0 clear to 1 overcast"),
    Row(0x0EC0, 2, kS16, kR, kCallbackI, "weather.sea_level_temperature", "C",
        kPer256, "Temperature at sea level")
        .ReadsFloatFactor(kFloat, 0x0EC0, 256),
    Row(0x0EC6, 2, kS16, kR, kCallbackI, "weather.sea_level_pressure", "hPa",
        kPer16, "Sea-level pressure"),
    Row(0x0EDA, 2, kS16, kR, kCallbackH, "weather.wind_table.upper.speed",
        "kt", 1, "Upper wind layer: speed, knots (from metres per second on the simulator 12 and later)")
        .Alias(0x0F5C),
    Row(0x0EDC, 2, kAngle16, kR, kCallbackH,
        "weather.wind_table.upper.direction", "deg", kPerTurn16,
        "Upper wind layer: direction, true").Alias(0x0F5E),
    Row(0x0EDE, 2, kS16, kR, kCallbackH,
        "weather.wind_table.upper.turbulence", "", kTurbulence,
        "Upper wind layer: turbulence, 0 to 9").Alias(0x0F60),
    Row(0x0EE0, 2, kS16, kR, kCallbackH, "weather.wind_table.upper.shear",
        "kt", 1, "Upper wind layer: shear").Alias(0x0F62),
    Row(0x0EE2, 2, kS16, kR, kCallbackH, "weather.wind_table.middle.top", "m",
        1, "Middle wind layer: top").Alias(0x0F64),
    Row(0x0EE4, 2, kS16, kR, kCallbackH, "weather.wind_table.middle.base",
        "m", 1, "Middle wind layer: base").Alias(0x0F66),
    Row(0x0EE6, 2, kS16, kR, kCallbackH, "weather.wind_table.middle.speed",
        "kt", 1, "Middle wind layer: speed, knots (from metres per second on the simulator 12 and later)")
        .Alias(0x0F68),
    Row(0x0EE8, 2, kAngle16, kR, kCallbackH,
        "weather.wind_table.middle.direction", "deg", kPerTurn16,
        "Middle wind layer: direction, true").Alias(0x0F6A),
    Row(0x0EEA, 2, kS16, kR, kCallbackH,
        "weather.wind_table.middle.turbulence", "", kTurbulence,
        "Middle wind layer: turbulence, 0 to 9").Alias(0x0F6C),
    Row(0x0EEC, 2, kS16, kR, kCallbackH, "weather.wind_table.middle.shear",
        "kt", 1, "Middle wind layer: shear").Alias(0x0F6E),
    Row(0x0EEE, 2, kS16, kR, kCallbackH, "weather.wind_table.surface.top",
        "m", 0.5, "Surface wind layer: top").Alias(0x0F70),
    Row(0x0EF0, 2, kS16, kR, kCallbackD, "weather.wind_table.surface.speed",
        "kt", 1, "Surface wind layer: speed, knots (from metres per second on the simulator 12 and later)")
        .Alias(0x0F72),
    Row(0x0EF2, 2, kAngle16, kR, kCallbackG,
        "weather.wind_table.surface.direction", "deg", kPerTurn16,
        "Surface wind layer: direction, magnetic").Alias(0x0F74),
    Row(0x0EF4, 2, kS16, kR, kCallbackH,
        "weather.wind_table.surface.turbulence", "", kTurbulence,
        "Surface wind layer: turbulence, 0 to 9").Alias(0x0F76),
    Row(0x0EF6, 2, kS16, kR, kCallbackH, "weather.wind_table.surface.shear",
        "kt", 1, "Surface wind layer: shear").Alias(0x0F78),
    Row(0x0F48, 2, kS16, kRW, kCallbackI, "weather.pressure", "hPa", kPer16,
        "Sea-level pressure; a write sets it")
        .Reads(kFloat, 0x0F48, 541.76).Rounded(),
    Row(0x0F5C, 2, kS16, kRW, kCallbackH, "weather.wind.upper.speed", "kt", 1,
        "Upper wind layer: speed, knots (from metres per second on the simulator 12 and later)"),
    Row(0x0F5E, 2, kAngle16, kRW, kCallbackH, "weather.wind.upper.direction",
        "deg", kPerTurn16, "Upper wind layer: direction, true"),
    Row(0x0F60, 2, kS16, kRW, kCallbackH, "weather.wind.upper.turbulence", "",
        kTurbulence, "Upper wind layer: turbulence, 0 to 9 (written 0 to "
        "255)"),
    Row(0x0F62, 2, kS16, kRW, kCallbackH, "weather.wind.upper.shear", "kt", 1,
        "Upper wind layer: shear (written 0 to 50)"),
    Row(0x0F64, 2, kS16, kR, kCallbackH, "weather.wind.middle.top", "m", 1,
        "Middle wind layer: top, symmetric to the base around its middle"),
    Row(0x0F66, 2, kS16, kR, kCallbackH, "weather.wind.middle.base", "m", 1,
        "Middle wind layer: base; a base a client wrote stays, and the top "
        "follows it symmetric around the layer's middle"),
    Row(0x0F68, 2, kS16, kRW, kCallbackH, "weather.wind.middle.speed", "kt", 1,
        "Middle wind layer: speed, knots (from metres per second on the simulator 12 and later)"),
    Row(0x0F6A, 2, kAngle16, kRW, kCallbackH, "weather.wind.middle.direction",
        "deg", kPerTurn16, "Middle wind layer: direction, true"),
    Row(0x0F6C, 2, kS16, kRW, kCallbackH, "weather.wind.middle.turbulence", "",
        kTurbulence, "Middle wind layer: turbulence, 0 to 9 (written 0 to "
        "255)"),
    Row(0x0F6E, 2, kS16, kRW, kCallbackH, "weather.wind.middle.shear", "kt", 1,
        "Middle wind layer: shear (written 0 to 50)"),
    Row(0x0F70, 2, kS16, kR, kCallbackH, "weather.wind.surface.top", "m", 0.5,
        "Surface wind layer: top"),
    Row(0x0F72, 2, kS16, kRW, kCallbackD, "weather.wind.surface.speed", "kt",
        1, "Surface wind layer: speed, knots (from metres per second on the simulator 12 and later)"),
    Row(0x0F74, 2, kAngle16, kRW, kCallbackG, "weather.wind.surface.direction",
        "deg", kPerTurn16, "Surface wind layer: direction, magnetic"),
    Row(0x0F76, 2, kS16, kRW, kCallbackH, "weather.wind.surface.turbulence",
        "", kTurbulence, "Surface wind layer: turbulence, 0 to 9 (written 0 "
        "to 255)"),
    Row(0x0F78, 2, kS16, kRW, kCallbackH, "weather.wind.surface.shear", "kt",
        1, "Surface wind layer: shear (written 0 to 50)"),
    Row(0x11D0, 2, kS16, kR, kCallbackD, "weather.temperature_at_aircraft",
        "C", kPer256, "Outside air temperature")
        .ReadsFloatFactor(kFloat, 0x11D0, 256),
    Row(0x34A0, 8, kF64, kR, kCallbackI, "weather.sea_level_pressure_f64",
        "hPa", 1, "Sea-level pressure (double)").Alias(0x0EC6),
    Row(0x6DA8, 1, kU8, kRW, kCallbackG, "weather.runway_friction", "", 1,
        "Runway friction: 0 dry, 1 wet, 2 icy")
        .Reads(kFloat, 0x6DA8, 1),
    Row(0x6DA9, 1, kU8, kW, kNone, "weather.runway_friction_integer", "", 1,
        "Write: runway friction through the integer setter, which the "
        "simulator's float dataref ignores (no effect); it does not set the "
        "APU switch").Alias(0x6DA9),
    Row(0x6DAF, 1, kU8, kRW, kCallbackG, "weather.thunderstorms", "%", 1,
        "Thunderstorm intensity; before the simulator 12 only (12 has no "
        "thunderstorm reference: reads 0, writes have no effect)")
        .ReadsFloatFactor(kFloat, 0x6DAF, 100),
};
// clang-format on

}  // namespace

CatalogueDomain WeatherCatalogue() { return {"Weather", kWeather}; }

}  // namespace tarvos
