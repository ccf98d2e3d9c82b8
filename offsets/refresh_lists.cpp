#include "offsets/refresh_lists.h"

#include "offsets/autopilot.h"
#include "offsets/controls.h"
#include "offsets/engines.h"
#include "offsets/position.h"
#include "offsets/radio.h"
#include "offsets/reference_tables.h"
#include "offsets/scaled_rows.h"
#include "offsets/weather.h"

namespace tarvos {
namespace {

// Scaled<0xNNNN> is the plain row at 0xNNNN of the offset catalogue: one
// scaled read of one dataref, converted as the row says. The other entries
// are converters with logic of their own.

// Every frame: position, attitude, speeds and the fast engine and needle
// values.
constexpr Converter kListA[] = {
    ConvertGroundElevation,         // 0x0020
    ConvertVerticalSpeed,           // 0x02C8, 0x0842, 0x030C
    Scaled<0x02B8>,                 // true airspeed
    Scaled<0x02BC>,                 // indicated airspeed
    ConvertLatitude,                // 0x0560
    ConvertLongitude,               // 0x0568
    ConvertAltitude,                // 0x0570
    ConvertPitch,                   // 0x0578
    ConvertBank,                    // 0x057C
    ConvertHeading,                 // 0x0580
    ConvertThrottle<1>,             // 0x088C with 0x3330
    ConvertN2<1>,                   // 0x0896 with 0x2008, 0x2018
    ConvertN1<1>,                   // 0x0898 with 0x2000
    ConvertManifoldPressure<1>,     // 0x08C0 with 0x37E8
    ConvertVibration<1>,            // 0x08D4
    ConvertThrottle<2>,             // 0x0924 with 0x3332
    ConvertN2<2>,                   // 0x092E with 0x2108, 0x2118
    ConvertN1<2>,                   // 0x0930 with 0x2100
    ConvertManifoldPressure<2>,     // 0x0958 with 0x3728
    ConvertVibration<2>,            // 0x096C
    ConvertThrottle<3>,             // 0x09BC with 0x3334
    ConvertManifoldPressure<3>,     // 0x09F0
    ConvertThrottle<4>,             // 0x0A54 with 0x3336
    ConvertManifoldPressure<4>,     // 0x0A88
    ConvertNeedle<0x0C48, 0x2AAC>,  // NAV1 localizer needle
    ConvertNeedle<0x0C49, 0x2AB0>,  // NAV1 glide slope needle
    ConvertNeedle<0x0C59, 0x2AB4>,  // NAV2 lateral needle
    ConvertNeedle<0x0C6E, 0x2AB8>,  // NAV2 vertical needle
    ConvertWindSpeed,               // 0x0E90
    ConvertWindDirection,           // 0x0E92
    Scaled<0x2400>,                 // propeller rpm, engine 1
    Scaled<0x2500>,                 // propeller rpm, engine 2
    ConvertFlightDirectorPitch,     // 0x2EE8
    ConvertFlightDirectorRoll,      // 0x2EF0
    Scaled<0x3080>,                 // roll acceleration
    Scaled<0x3088>,                 // yaw acceleration
    Scaled<0x30A8>,                 // pitch rate
    Scaled<0x30B0>,                 // roll rate
    Scaled<0x30B8>,                 // yaw rate
    Scaled<0x30A0>,                 // vertical velocity
    Scaled<0x31A0>,                 // vertical speed, ft/s
    Scaled<0x31E4>,                 // radio altitude
    ConvertIndicatedAltitude,       // 0x3324
    AdvanceRefreshCounter,          // 0x337E
};

// Every 3rd frame: ground speed, yoke, trims, flap handle.
constexpr Converter kListB[] = {
    Scaled<0x02B4>,             // ground speed
    ConvertYokeRoll,            // 0x0BB6
    Scaled<0x0BC0>,             // elevator trim
    ConvertElevatorTrimCopies,  // 0x0BC2 with 0x2E98
    Scaled<0x0BE0>,             // flap handle
};

// Every 7th frame: autopilot speed and modes, engines running, slats, flaps.
constexpr Converter kListC[] = {
    ConvertAutothrottleHold,  // 0x07DC
    ConvertSpeedTargets,      // 0x07E2 with 0x07E8
    ConvertMachHold,          // 0x07E4
    ConvertApproachHold,      // 0x0800
    ConvertAutothrottleArm,   // 0x0810

    ConvertMixture<1>,  // 0x0890
    ConvertRunning<1>,  // 0x0894
    ConvertMixture<2>,  // 0x0928
    ConvertRunning<2>,  // 0x092C

    Scaled<0x30E8>,        // slats
    Scaled<0x30EA>,        //
    Scaled<0x30EC>,        //
    Scaled<0x30EE>,        //
    Scaled<0x30F0>,        // flap deflections
    Scaled<0x30F2>,        //
    Scaled<0x30F4>,        //
    Scaled<0x30F6>,        //
    ConvertOverrideFlags,  // 0x310A
};

// Every 13th frame: local time, altimeter, magnetos, spoilers, DME,
// temperatures, trims.
constexpr Converter kListD[] = {
    ConvertLocalTime,        // 0x0238-0x023A, 0x0C20
    Scaled<0x0330>,          // altimeter setting
    ConvertAutopilotMaster,  // 0x07BC

    ConvertStarter<1>,            // 0x0506 with 0x0892
    ConvertHydraulicPressure<1>,  // 0x08D8
    ConvertStarter<2>,            // 0x0507 with 0x092A
    ConvertHydraulicPressure<2>,  // 0x0970

    ConvertWingLeveller,         // 0x07C0
    ConvertSpoilers,             // 0x0BCC, 0x0BD0
    Scaled<0x0BD4>,              // spoiler ratio
    Scaled<0x0BD8>,              // spoiler ratio
    ConvertDme<0x0C29, 0x0300>,  // NAV1 DME
    ConvertDme<0x0C33, 0x0306>,  // NAV2 DME
    Scaled<0x0C4B>,              // NAV1 from/to
    Scaled<0x0C5B>,              // NAV2 from/to
    Scaled<0x0C4C>,              // NAV1 CDI
    Scaled<0x0C6F>,              // NAV2 CDI
    Scaled<0x0E8C>,              // outside air temperature
    ConvertSurfaceWindSpeed,     // 0x0F72 with 0x04D8, 0x0EF0
    Scaled<0x11D0>,              // outside air temperature
    Scaled<0x2EA0>,              // elevator trim
    Scaled<0x2EB0>,              // aileron trim
    Scaled<0x2EC0>,              // rudder trim
    ConvertFlightDirector,       // 0x2EE0
    Scaled<0x6F00>,              // nose-wheel speed
};

// Callback E: NAV1/COM1/ADF1, time zone, electrics, pushback.
constexpr Converter kListE[] = {
    ConvertNav1Search,      // 0x085C ... 0x087C
    ConvertBcd4<0x0350>,    // NAV1
    ConvertBcd4<0x311E>,    // NAV1 standby
    ConvertZuluTime,        // 0x023B-0x023C
    ConvertTimeZoneOffset,  // 0x0246
    Scaled<0x0274>,         // frame period
    Scaled<0x029C>,         // pitot heat
    ConvertBcd3<0x034C>,    // ADF1
    ConvertBcd4<0x034E>,    // COM1
    ConvertBcd4<0x311A>,    // COM1 standby
    ConvertNav1Present,     // 0x07A0
    ConvertNav1Flags,       // 0x0C4A, 0x0C4D
    ConvertNav1Identity,    // 0x3000, 0x3006
    ConvertGenerators,      // 0x3101
    ConvertBattery,         // 0x3102
    Scaled<0x3103>,         // avionics
    ConvertFuelPumps,       // 0x3104
    ConvertPushback,        // 0x31F0 with 0x31F4
    ConvertRadioFlagsNav1,  // 0x3300
};

// Every 31st frame: NAV2/COM2/ADF2, transponder, pause, simulation rate.
constexpr Converter kListF[] = {
    ConvertNav2Search,      // 0x0844 ... 0x0868
    ConvertPaused,          // 0x0262 with 0x0264
    ConvertBcd4<0x02D4>,    // ADF2
    ConvertBcd4<0x3118>,    // COM2
    ConvertBcd4<0x311C>,    // COM2 standby
    ConvertBcd4<0x0352>,    // NAV2
    ConvertBcd4<0x3120>,    // NAV2 standby
    ConvertNav2Present,     // 0x07A4
    Scaled<0x0808>,         // yaw damper
    Scaled<0x0C1A>,         // simulation rate
    ConvertNav2Flags,       // 0x0C5A, 0x0C70
    Scaled<0x2F80>,         // auto-brake setting
    Scaled<0x0BC8>,         // parking brake
    ConvertNav2Identity,    // 0x301F, 0x3025
    ConvertRadioFlagsNav2,  // 0x3300
    Scaled<0x6D8C>,         // transponder mode
    Scaled<0x6D88>,         // wipers
    ConvertBcd4<0x0354>,    // transponder code
    Scaled<0x6DA9>,         // APU switch
};

// Every 59th frame: ADF identifiers, carburettor heat, fuel, clouds.
constexpr Converter kListG[] = {
    ConvertAdfIdent<0x02DC>,        // ADF2 identifier
    ConvertCarburettorHeat<1>,      // 0x08B2
    ConvertCarburettorHeat<2>,      // 0x094A
    ConvertCarburettorHeat<3>,      // 0x09E2
    ConvertCarburettorHeat<4>,      // 0x0A7A
    ConvertTankLevel<0x0B74>,       // centre
    ConvertTankLevel<0x0B7C>,       // left main
    ConvertTankLevel<0x0B94>,       // right main
    ConvertNavTypeCode<0x0C52, 0>,  // NAV1 station kind
    ConvertNavTypeCode<0x0C62, 1>,  // NAV2 station kind
    Scaled<0x0E8A>,                 // visibility
    Scaled<0x0E9A>,                 // upper cloud tops
    Scaled<0x0E9C>,                 // upper cloud base
    ConvertUpperCloudCover,         // 0x0E9E
    Scaled<0x0EA2>,                 // lower cloud tops
    Scaled<0x0EA4>,                 // lower cloud base
    ConvertLowerCloudCover,         // 0x0EA6
    ConvertAdfIdent<0x303E>,        // ADF1 identifier
    Scaled<0x6DA8>,                 // runway friction
    Scaled<0x6DAF>,                 // thunderstorms
    ConvertSurfaceWindDirection,    // 0x0F74 with 0x04DA, 0x0EF2
    Scaled<0x6F0B>,                 // left surface anti-ice
    Scaled<0x6F0C>,                 // right surface anti-ice
};

// Every 157th frame: wind layers, vacuum, total weight.
constexpr Converter kListH[] = {
    ConvertVacuum,                 // 0x0B18
    ConvertUpperWindLayer,         // 0x0F5C ... 0x0F62
    ConvertMiddleWindLayerLimits,  // 0x0F64, 0x0F66
    ConvertMiddleWindLayer,        // 0x0F68 ... 0x0F6E
    ConvertSurfaceWindLayer,       // 0x0F70, 0x0F76, 0x0F78
    Scaled<0x30C0>,                // total weight
};

// Every 313th frame: date, magnetic variation, sea-level weather, zero-fuel
// weight, then the bindings to the x737 and pushback plugins.
constexpr Converter kListI[] = {
    ConvertDayOfYear,             // 0x023E
    Scaled<0x02A0>,               // magnetic variation
    Scaled<0x0EC0>,               // sea-level temperature
    ConvertSeaLevelPressure,      // 0x0EC6 with 0x34A0
    Scaled<0x0F48>,               // sea-level pressure
    Scaled<0x04C8>,               // dew point
    ConvertRainLevel,             // 0x04CB
    ConvertPrecipitationType,     // 0x04CC
    ConvertOilQuantity<1>,        // 0x08D0
    ConvertHydraulicQuantity<1>,  // 0x08DC
    ConvertOilQuantity<2>,        // 0x0968
    ConvertHydraulicQuantity<2>,  // 0x0974
    ConvertZeroFuelWeight,        // 0x3BFC
    RefreshLateBindings,          // always last
};

// Once per user-aircraft load: fuel tank capacities, never-exceed speed,
// engine type, number of engines.
constexpr Converter kAircraftLoad[] = {
    ConvertTankCapacities,    // 0x0B78 ... 0x0BA8, 0x0AF4
    ConvertNeverExceedSpeed,  // 0x02C4
    ConvertEngineType,        // 0x0609
    ConvertEngineCount,       // 0x0AEC
};

// Empty lists hold one null entry (a zero-length array is not allowed);
// they are handed out empty.
template <size_t N>
std::span<const Converter> AsList(const Converter (&list)[N]) {
  if (N == 1 && list[0] == nullptr) return {};
  return std::span<const Converter>(list, N);
}

}  // namespace

std::span<const Converter> RefreshList(RefreshCallback callback) {
  switch (callback) {
    case RefreshCallback::kA:
      return AsList(kListA);
    case RefreshCallback::kB:
      return AsList(kListB);
    case RefreshCallback::kC:
      return AsList(kListC);
    case RefreshCallback::kD:
      return AsList(kListD);
    case RefreshCallback::kE:
      return AsList(kListE);
    case RefreshCallback::kF:
      return AsList(kListF);
    case RefreshCallback::kG:
      return AsList(kListG);
    case RefreshCallback::kH:
      return AsList(kListH);
    case RefreshCallback::kI:
      return AsList(kListI);
  }
  return {};
}

std::span<const Converter> AircraftLoadList() { return AsList(kAircraftLoad); }

}  // namespace tarvos
