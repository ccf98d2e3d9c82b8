// AI aircraft for the scripted flight: multiplayer planes circling the
// field at different radii, heights and speeds, published through the
// host's `sim/multiplayer/position/planeN_*` datarefs.
//
// Threads: main thread only.
#ifndef TARVOS_SIMHOST_FLIGHT_TRAFFIC_H_
#define TARVOS_SIMHOST_FLIGHT_TRAFFIC_H_

#include <string>

namespace simhost::flight {

class Traffic {
 public:
  // The host publishes multiplayer datarefs for planes 1 to 19.
  static constexpr int kMaxPlanes = 19;
  // Other aircraft the host can fly: the ones from the 20th on are in the
  // aircraft list only, without datarefs, as in the simulator.
  static constexpr int kMaxAircraft = 96;

  // Defines the datarefs of all planes (zeros) and publishes `count`
  // planes. Does not notify the plugin: at start it reads the list itself.
  void Install(int count);

  // Changes the number of AI planes (0 to kMaxAircraft): updates the host's
  // aircraft list and tells the plugin that the count changed. Planes that
  // leave have their datarefs zeroed.
  void SetCount(int count);
  int count() const { return count_; }

  // Advances the traffic by `dt` seconds of simulated time (none while the
  // simulator is paused) and moves every active plane there.
  void Advance(double dt);

  // Model file name of AI plane `n` (1-based).
  static std::string ModelFileName(int n);

 private:
  void PublishAircraftList();
  void ZeroPlane(int n);

  int count_ = 0;
  double time_ = 0;  // simulated seconds the traffic has flown
};

}  // namespace simhost::flight

#endif  // TARVOS_SIMHOST_FLIGHT_TRAFFIC_H_
