// What tarvos-simhost adds around the loaded plugin: the scripted flight,
// the control channel and the start script, tied to the simulator's run
// loop (frame tasks, start tasks and the gate that pauses real time).
//
// Threads: main thread only; the control server keeps its own thread.
#ifndef TARVOS_SIMHOST_CONTROL_SESSION_H_
#define TARVOS_SIMHOST_CONTROL_SESSION_H_

#include <memory>
#include <string>

#include "simhost/control/control_commands.h"
#include "simhost/control/control_server.h"
#include "simhost/flight/flight_model.h"
#include "simhost/program/simulator.h"

namespace simhost {

class ControlSession {
 public:
  ControlSession() = default;
  ControlSession(const ControlSession&) = delete;
  ControlSession& operator=(const ControlSession&) = delete;
  ~ControlSession();

  // Installs the flight (parked when options().fly is false), opens the
  // control channel when options().control is set, and schedules the start
  // script. Call after Load and before Run. False with a message when the
  // channel cannot be opened.
  bool Attach(Simulator* simulator, std::string* error);

  // True when the start script failed (the run then stops at once).
  bool failed() const { return failed_; }
  int control_port() const { return server_.port(); }
  const flight::FlightModel& flight() const { return flight_; }

 private:
  void RunScript();
  void PollControl();

  Simulator* simulator_ = nullptr;
  flight::FlightModel flight_;
  std::unique_ptr<ControlExecutor> executor_;
  ControlServer server_;
  bool failed_ = false;
};

}  // namespace simhost

#endif  // TARVOS_SIMHOST_CONTROL_SESSION_H_
