// The one-line status tarvos-simhost keeps at the bottom of a terminal:
// measured frame rate, simulated time, flight phase and what the operating
// system shows of the plugin's clients (simhost/program/socket_census.h).
#ifndef TARVOS_SIMHOST_STATUS_LINE_H_
#define TARVOS_SIMHOST_STATUS_LINE_H_

#include <string>

#include "simhost/program/socket_census.h"

namespace simhost {

struct StatusSnapshot {
  double frames_per_second = 0;  // measured over the last interval
  double sim_seconds = 0;        // simulated time since the start
  std::string phase;             // flight phase; empty when there is none
  bool paused = false;           // simulated time stands still
  SocketCounts sockets;
};

// The line without line control, e.g.
// "fps 60.0 | sim 00:02:03 | phase circuit | clients 1 tcp 0 local |
//  tcp data segments in 42". Parts that are not known are left out.
std::string FormatStatusLine(const StatusSnapshot& s);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_STATUS_LINE_H_
