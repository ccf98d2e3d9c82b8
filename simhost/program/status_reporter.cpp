#include "simhost/program/status_reporter.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define STDOUT_FILENO 1
#else
#include <unistd.h>
#endif

#include <cstdio>

#include "XPLMDataAccess.h"
#include "simhost/host/host.h"
#include "simhost/program/status_line.h"

namespace simhost {
namespace {

using Clock = std::chrono::steady_clock;

struct Reporter {
  SocketCensus census;
  std::function<std::string()> phase;
  Clock::time_point last_time = Clock::now();
  int64_t last_frame = 0;
  bool shown = false;

  void OnFrame() {
    auto now = Clock::now();
    double elapsed = std::chrono::duration<double>(now - last_time).count();
    if (elapsed < 1.0) return;
    Host& host = Host::Get();
    StatusSnapshot s;
    int64_t frame = host.FrameCount();
    s.frames_per_second = static_cast<double>(frame - last_frame) / elapsed;
    s.sim_seconds = host.ElapsedTime();
    s.phase = phase ? phase() : std::string();
    XPLMDataRef paused = XPLMFindDataRef("sim/time/paused");
    s.paused = paused != nullptr && XPLMGetDatai(paused) != 0;
    s.sockets = census.Sample();
    last_time = now;
    last_frame = frame;
    // Clear to the end of the line: the new text may be shorter.
    std::printf("\r%s\x1b[K", FormatStatusLine(s).c_str());
    std::fflush(stdout);
    shown = true;
  }
  void OnStop() {
    if (!shown) return;
    std::fputs("\r\x1b[K", stdout);
    std::fflush(stdout);
  }
};

}  // namespace

void StatusReporter::Attach(Simulator* simulator, SocketCensus census,
                            std::function<std::string()> phase) {
  if (isatty(STDOUT_FILENO) != 1) return;
  // Shared by the two tasks; lives as long as the simulator holds them.
  auto r =
      std::make_shared<Reporter>(Reporter{std::move(census), std::move(phase)});
  r->last_frame = Host::Get().FrameCount();
  simulator->AddFrameTask([r] { r->OnFrame(); });
  simulator->AddStopTask([r] { r->OnStop(); });
}

}  // namespace simhost
