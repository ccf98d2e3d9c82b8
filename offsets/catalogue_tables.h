// The per-domain tables of the offset catalogue, gathered by
// CatalogueDomains(). A domain that publishes offsets adds its table here
// and to the list in catalogue.cpp.
#ifndef TARVOS_OFFSETS_CATALOGUE_TABLES_H_
#define TARVOS_OFFSETS_CATALOGUE_TABLES_H_

#include "offsets/catalogue.h"

namespace tarvos {

// Shorthands for the tables.
namespace catalogue_rows {
inline constexpr Access kR = Access::kRead;
inline constexpr Access kRW = Access::kReadWrite;
inline constexpr Access kW = Access::kWrite;
using enum Encoding;
using enum Source;
inline constexpr Accessor kFloat = Accessor::kFloat;
inline constexpr Accessor kDouble = Accessor::kDouble;
inline constexpr Accessor kInt = Accessor::kInt;
inline constexpr Accessor kFloatElement = Accessor::kFloatElement;
inline constexpr Accessor kIntElement = Accessor::kIntElement;
// 2^32, 2^64 and the turn in their units.
inline constexpr double kTwo32 = 4294967296.0;
inline constexpr double kTwo64 = 18446744073709551616.0;
inline constexpr double kPerTurn16 = 360.0 / 65536.0;
inline constexpr double kPerTurn32 = 360.0 / kTwo32;
}  // namespace catalogue_rows

CatalogueDomain IdentityCatalogue();
CatalogueDomain PositionCatalogue();
CatalogueDomain SpeedCatalogue();
CatalogueDomain ClockCatalogue();
CatalogueDomain AircraftStateCatalogue();
CatalogueDomain AutopilotCatalogue();
CatalogueDomain ControlsCatalogue();
CatalogueDomain SystemsCatalogue();
CatalogueDomain MessageCatalogue();
CatalogueDomain NavigationCatalogue();
CatalogueDomain EngineCatalogue();
CatalogueDomain WeatherCatalogue();
CatalogueDomain SettingsCatalogue();
CatalogueDomain SimulationControlCatalogue();
CatalogueDomain TrafficCatalogue();

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_CATALOGUE_TABLES_H_
