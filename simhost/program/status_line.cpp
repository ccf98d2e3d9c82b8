#include "simhost/program/status_line.h"

#include <cmath>
#include <cstdio>

namespace simhost {

std::string FormatStatusLine(const StatusSnapshot& s) {
  char buf[256];
  double fps = std::isfinite(s.frames_per_second) && s.frames_per_second > 0
                   ? s.frames_per_second
                   : 0.0;
  long long t = std::isfinite(s.sim_seconds) && s.sim_seconds > 0
                    ? static_cast<long long>(s.sim_seconds)
                    : 0;
  std::snprintf(buf, sizeof(buf), "fps %.1f | sim %02lld:%02lld:%02lld%s", fps,
                t / 3600, t / 60 % 60, t % 60, s.paused ? " paused" : "");
  std::string line = buf;
  if (!s.phase.empty()) line += " | phase " + s.phase;
  std::snprintf(buf, sizeof(buf), " | clients %d tcp %d local",
                s.sockets.tcp_clients, s.sockets.local_clients);
  line += buf;
  if (s.sockets.tcp_segments_known) {
    std::snprintf(buf, sizeof(buf), " | tcp data segments in %llu",
                  static_cast<unsigned long long>(s.sockets.tcp_segments_in));
    line += buf;
  }
  return line;
}

}  // namespace simhost
