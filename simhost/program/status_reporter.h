// Keeps the status line (simhost/program/status_line.h) on a terminal:
// rewritten in place with "\r" at most once a second of wall time, cleared when
// the run ends. Writes nothing when stdout is not a terminal.
//
// Threads: runs as frame and stop tasks on the simulator's main thread.
#ifndef TARVOS_SIMHOST_STATUS_REPORTER_H_
#define TARVOS_SIMHOST_STATUS_REPORTER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "simhost/program/simulator.h"
#include "simhost/program/socket_census.h"

namespace simhost {

class StatusReporter {
 public:
  // `phase` names the flight phase now (empty for none); it must stay
  // callable for the run. Does nothing unless stdout is a terminal.
  static void Attach(Simulator* simulator, SocketCensus census,
                     std::function<std::string()> phase);
};

}  // namespace simhost

#endif  // TARVOS_SIMHOST_STATUS_REPORTER_H_
