// Engine and fuel offsets published by the periodic refresh and at aircraft
// load: four engine blocks 0x98 bytes apart (engine n at 0x088C +
// 0x98 x (n - 1)), the starter and magneto state with its flag bytes at
// 0x0506, the engine type, the tank capacities and levels, vacuum. Engines
// 1 and 2 are refreshed here more completely than 3 and 4, whose other
// fields are read-time items. The rows are in catalogue_engines.cpp.
//
// Threads: main thread only (flight-loop and aircraft-load converters);
// datarefs are read without a lock, each value stored under one hold of
// OffsetLock.
#ifndef TARVOS_OFFSETS_ENGINES_H_
#define TARVOS_OFFSETS_ENGINES_H_

#include <cstdint>

namespace tarvos {

inline constexpr uint32_t kEngineBlock = 0x088C;
inline constexpr uint32_t kEngineBlockStride = 0x98;
// Engine e's (1 to 4) field at engine 1's offset `offset`.
constexpr uint32_t EngineField(uint32_t offset, int e) {
  return offset + kEngineBlockStride * static_cast<uint32_t>(e - 1);
}

// The engine type code clients see at 0x0609 for the simulator's engine
// type (0 piston, 1 jet, 4 rocket, 5 turboprop).
uint8_t EngineTypeCode(int acf_en_type);

// An engine's exhaust gas and oil temperatures in degrees Celsius: the
// simulator keeps them in Celsius or Fahrenheit as the aircraft says (a
// host without the aircraft's flags keeps Celsius).
double EgtCelsius(double host_value);
double OilTemperatureCelsius(double host_value);

// Starter and magneto state of one engine on one run of callback D.
struct StarterState {
  uint16_t state;  // the engine's 0x0892 field
  uint8_t flags;   // its byte at 0x0506
};
// `type_code` from 0x0609, `ignition` the magneto switch, `duration` the
// starter duration now and `remembered` at the previous run, `flags` the
// flag byte as it is.
StarterState NextStarterState(uint8_t type_code, int ignition, float duration,
                              float remembered, uint8_t flags);

// Kilograms of fuel to the published US gallons (the kilograms taken as
// pounds by x 2.205, then gallons of 6.676 lb).
inline constexpr double kKgToPounds = 2.205;
inline constexpr double kPoundsToGallons = 0.14979029358897544;
// Tank capacities in gallons at 0x0B90, 0x0B88, 0x0B80, 0x0B78, 0x0B98,
// 0x0BA0, 0x0BA8 (this order) from the total fuel (kg), the tank count and
// the nine tank ratios. Counts of 8 or more, or below 1, give all zeros.
struct TankCapacities {
  uint32_t gallons[7];
};
inline constexpr uint32_t kCapacityOffsets[7] = {0x0B90, 0x0B88, 0x0B80, 0x0B78,
                                                 0x0B98, 0x0BA0, 0x0BA8};
TankCapacities ComputeTankCapacities(double total_kg, int tank_count,
                                     const float ratios[9]);
// The tank count as remembered for the levels (10 or more counts as 9).
int RememberedTankCount();
// The m_fuel element a level offset (0x0B74, 0x0B7C or 0x0B94) shows for
// `tank_count` tanks, or -1 when it shows none.
int LevelElement(uint32_t level_offset, int tank_count);
// The level (fraction x 2^23) of `kg` in a tank of `capacity` gallons; 0
// for capacity 0.
uint32_t EncodeTankLevel(double kg, uint32_t capacity);
// The exact inverse: the kilograms a written level stands for.
double DecodeTankLevel(uint32_t level, uint32_t capacity);

// Callback A, per engine, in the order of work.
template <int E>
void ConvertThrottle();  // 0x088C (+ copy at 0x3330)
template <int E>
void ConvertN2();  // 0x0896 with its f64 copies (engines 1, 2)
template <int E>
void ConvertN1();  // 0x0898 with its f64 copy (engines 1, 2)
template <int E>
void ConvertManifoldPressure();  // 0x08C0 (engines 1, 2: + f64)
template <int E>
void ConvertVibration();  // 0x08D4 (engines 1, 2)
// Callback C (engines 1, 2).
template <int E>
void ConvertMixture();  // 0x0890
template <int E>
void ConvertRunning();  // 0x0894
// Callback D (engines 1, 2).
template <int E>
void ConvertStarter();  // 0x0506 + E - 1 with 0x0892
template <int E>
void ConvertHydraulicPressure();  // 0x08D8
// Callback G.
template <int E>
void ConvertCarburettorHeat();  // 0x08B2 (engines 1 to 4)
template <uint32_t kLevel>
void ConvertTankLevel();  // 0x0B74, 0x0B7C, 0x0B94
// Callback H.
void ConvertVacuum();  // 0x0B18
// Callback I (engines 1, 2).
template <int E>
void ConvertOilQuantity();  // 0x08D0
template <int E>
void ConvertHydraulicQuantity();  // 0x08DC
// Aircraft load.
void ConvertTankCapacities();  // 0x0B78 ... 0x0BA8 and 0x0AF4
void ConvertEngineType();      // 0x0609
void ConvertEngineCount();     // 0x0AEC

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_ENGINES_H_
