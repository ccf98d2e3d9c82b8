// Weather offsets published by the periodic refresh: temperatures,
// pressures, visibility, precipitation, clouds and the three wind layers,
// several of them stored at two or three offsets in one lock hold. The rows
// are in the offset catalogue (catalogue_weather.cpp); the plain ones
// convert through it, the converters here are the rest.
//
// Threads: main thread only (flight-loop converters); datarefs are read
// without a lock.
#ifndef TARVOS_OFFSETS_WEATHER_H_
#define TARVOS_OFFSETS_WEATHER_H_

#include <cstdint>

namespace tarvos {

// Rain level 0 to 5 of a rain fraction 0 to 1.
uint8_t RainLevel(float fraction);
// The cloud cover code of a simulator cloud type (1 to 4; others 0).
uint16_t CloudCoverCode(int type);
// The simulator's cloud type for a cover code a client writes.
int CloudTypeOfCover(uint16_t cover);

// The host's wind speeds are in metres per second (the simulator from
// version 12 on, whose names still say knots) rather than knots. Set at
// Enable; the conversions below follow it, for the offsets published and
// for the speeds clients write.
void SetWindSpeedsInMetresPerSecond(bool metres);
bool WindSpeedsInMetresPerSecond();
double WindKnotsFromHost(double value);
double HostWindFromKnots(double knots);

// Callback A.
void ConvertWindSpeed();      // 0x0E90
void ConvertWindDirection();  // 0x0E92
// Callback D.
void ConvertSurfaceWindSpeed();  // 0x0F72 with 0x04D8 and 0x0EF0
// Callback G.
void ConvertUpperCloudCover();       // 0x0E9E
void ConvertLowerCloudCover();       // 0x0EA6
void ConvertSurfaceWindDirection();  // 0x0F74 with 0x04DA and 0x0EF2
// Callback H: the wind layers, each value stored with its table copy.
void ConvertUpperWindLayer();  // 0x0F5C ... 0x0F62 with 0x0EDA ... 0x0EE0
void ConvertMiddleWindLayerLimits();  // 0x0F64, 0x0F66 with 0x0EE2, 0x0EE4
void ConvertMiddleWindLayer();   // 0x0F68 ... 0x0F6E with 0x0EE6 ... 0x0EEC
void ConvertSurfaceWindLayer();  // 0x0F70, 0x0F76, 0x0F78 with 0x0EEE ...
// Callback I.
void ConvertSeaLevelPressure();   // 0x0EC6 with 0x34A0
void ConvertRainLevel();          // 0x04CB
void ConvertPrecipitationType();  // 0x04CC

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_WEATHER_H_
