// tarvos-simhost: runs a plugin binary on the stand-in simulator.
//
// Exit status: 0 after a normal run, 1 when the start script failed or the
// snapshot could not be written, 2 for
// bad arguments, a plugin that cannot be loaded or a control channel that
// cannot be opened.
#include <cstdio>
#include <string>

#include "simhost/host/widget_snapshot.h"
#include "simhost/program/control_session.h"
#include "simhost/program/simulator.h"
#include "simhost/program/status_reporter.h"
#include "tarvos_version.h"

int main(int argc, char** argv) {
  const std::string program = argc > 0 ? argv[0] : "tarvos-simhost";
  simhost::SimulatorOptions options;
  std::string error;
  switch (simhost::ParseSimulatorOptions(argc, argv, &options, &error)) {
    case simhost::ParseResult::kHelp:
      std::fputs(simhost::SimulatorUsage(program).c_str(), stdout);
      return 0;
    case simhost::ParseResult::kVersion:
      std::puts("tarvos-simhost " TARVOS_VERSION);
      return 0;
    case simhost::ParseResult::kError:
      std::fprintf(stderr, "%s: %s\n%s", program.c_str(), error.c_str(),
                   simhost::SimulatorUsage(program).c_str());
      return 2;
    case simhost::ParseResult::kRun:
      break;
  }

  simhost::Simulator simulator(options);
  if (!simulator.Load(&error)) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
    return 2;
  }
  simhost::ControlSession session;
  if (!session.Attach(&simulator, &error)) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
    return 2;
  }
  const std::string& control = simulator.options().control;
  std::string control_path =
      control.rfind("unix:", 0) == 0 ? control.substr(5) : std::string();
  simhost::StatusReporter::Attach(
      &simulator, simhost::SocketCensus(session.control_port(), control_path),
      [&session] {
        const simhost::flight::FlightModel& f = session.flight();
        std::string name = simhost::flight::PhaseName(f.phase());
        // Standing still where it is ("flight off") is not flying a phase.
        bool held = !f.flying() && f.phase() != simhost::flight::Phase::kParked;
        return held ? name + " (held)" : name;
      });
  // The windows still exist when the run ends: they go at XPluginStop.
  const std::string snapshot = simulator.options().snapshot;
  bool snapshot_failed = false;
  if (!snapshot.empty()) {
    simulator.AddStopTask([&] {
      std::string why;
      if (!simhost::WriteWidgetSnapshot(snapshot, &why)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), why.c_str());
        snapshot_failed = true;
      }
    });
  }
  simhost::StopOnSignals(&simulator);
  simulator.Run();
  return session.failed() || snapshot_failed ? 1 : 0;
}
