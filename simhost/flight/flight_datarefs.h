// The datarefs the scripted flight drives, and a writer that remembers what
// the flight last wrote so that it can tell its own values from writes made
// by the plugin or by the control channel.
//
// Threads: main thread only (the host's frame hook and the control
// channel's executor run there). The host's setters it calls are
// thread-safe; a plugin write that lands between the flight's read and its
// write of the same frame is overwritten, as a frame of a real simulator
// would.
#ifndef TARVOS_SIMHOST_FLIGHT_DATAREFS_H_
#define TARVOS_SIMHOST_FLIGHT_DATAREFS_H_

#include <string>
#include <unordered_map>

namespace simhost::flight {

// Engines and tanks of the flown aircraft: a twin jet with three tanks.
inline constexpr int kEngineCount = 2;
inline constexpr int kEngineArraySize = 8;
inline constexpr int kTankCount = 3;
inline constexpr float kFuelCapacityKg = 6000.0f;
inline constexpr float kEmptyWeightKg = 20000.0f;
inline constexpr float kPayloadKg = 3000.0f;

// Defines every dataref the flight writes, with the values of an aircraft
// sitting on the field with a fresh start of the day. A dataref that the
// host already defines keeps its handle and only gets the value, so handles
// the plugin looked up stay valid.
void DefineFlightDatarefs();
// Then, for the piston aircraft: one piston engine (magnetos off, engine
// stopped), two wing tanks, its weights.
void DefinePistonDatarefs();
inline constexpr float kPistonFuelCapacityKg = 150.0f;
inline constexpr float kPistonEmptyWeightKg = 750.0f;

class OwnedDatarefs {
 public:
  void Int(const std::string& name, int value);
  void Float(const std::string& name, float value);
  void Double(const std::string& name, double value);
  void IntElement(const std::string& name, int index, int value);
  void FloatElement(const std::string& name, int index, float value);

  // Write only when `value` differs from what this writer last wrote, so
  // that a value set by someone else sticks until the flight's own value
  // changes (selected altitude, flap handle and the like).
  void IntOnChange(const std::string& name, int value);
  void FloatOnChange(const std::string& name, float value);

  // True when the host now holds something other than what this writer
  // last wrote (false for names never written here).
  bool IntChanged(const std::string& name) const;
  bool FloatChanged(const std::string& name) const;
  bool DoubleChanged(const std::string& name) const;
  bool FloatElementChanged(const std::string& name, int index) const;

  // Forget everything written, e.g. after a restart of the flight.
  void Clear() { last_.clear(); }

 private:
  static std::string ElementKey(const std::string& name, int index);
  bool Known(const std::string& key, double* value) const;

  std::unordered_map<std::string, double> last_;
};

}  // namespace simhost::flight

#endif  // TARVOS_SIMHOST_FLIGHT_DATAREFS_H_
