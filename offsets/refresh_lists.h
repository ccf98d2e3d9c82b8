// What each periodic refresh callback does, in order: one list of
// converters per callback. The scheduler only runs these lists; a new
// domain publishes its offsets by adding its converters here, at the place
// the callback's order of work gives them.
#ifndef TARVOS_OFFSETS_REFRESH_LISTS_H_
#define TARVOS_OFFSETS_REFRESH_LISTS_H_

#include <span>

namespace tarvos {

// A converter reads its datarefs, converts and stores its offset(s) under
// the flight-loop locking rule. Main thread only.
using Converter = void (*)();

enum class RefreshCallback { kA, kB, kC, kD, kE, kF, kG, kH, kI };

// The converters of one callback, in their order of work.
std::span<const Converter> RefreshList(RefreshCallback callback);
// The conversions run once per user-aircraft load, in order.
std::span<const Converter> AircraftLoadList();

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_REFRESH_LISTS_H_
