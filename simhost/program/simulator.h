// The tarvos-simhost program's simulator: loads a plugin binary, drives it
// through its lifecycle and runs the flight loop in real time.
//
// Threads: everything here runs on the program's main thread. RequestStop
// alone may be called from anywhere, including a signal handler.
#ifndef TARVOS_SIMHOST_SIMULATOR_H_
#define TARVOS_SIMHOST_SIMULATOR_H_

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "simhost/host/host.h"

namespace simhost {

struct SimulatorOptions {
  std::string root = "simroot";  // simulator folder; created when missing
  std::string plugin_path;       // empty: next to the program (see below)
  double fps = 60;               // flight loops per second
  double duration = -1;          // seconds to run; negative: until stopped
  bool fly = true;               // false: the aircraft stays parked
  bool piston = false;           // --aircraft piston: one piston engine
  std::string script;            // control commands run at start
  std::string control;           // control channel: TCP port or unix:PATH
  std::string snapshot;          // SVG of the open windows, drawn at the end
  bool older_host = false;       // --older-host: 11.55 rather than 12.1
  bool fahrenheit = false;       // --fahrenheit: engine temperatures in F
};

enum class ParseResult { kRun, kHelp, kVersion, kError };

// Parses the command line. kError comes with a message in `error`.
ParseResult ParseSimulatorOptions(int argc, char** argv,
                                  SimulatorOptions* options,
                                  std::string* error);
std::string SimulatorUsage(const std::string& program);

// "../TARVOS/64/lin.xpl" relative to the folder of the running program.
std::string DefaultPluginPath();

class Simulator {
 public:
  explicit Simulator(SimulatorOptions options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Prepares the simulator folder and loads the plugin; false with a
  // message when either fails.
  bool Load(std::string* error);

  // Start, Enable, the user-aircraft-loaded message, then the flight loop
  // until RequestStop or the end of the duration; then Disable and Stop.
  void Run();

  // Ends Run after the current frame. Async-signal-safe.
  void RequestStop() { stop_.store(true, std::memory_order_relaxed); }

  // Runs on the main thread once per frame, after the flight loop (for
  // polling added channels). Register before Run.
  void AddFrameTask(std::function<void()> task);
  // Runs once after the plugin is enabled and once before it is disabled.
  void AddStartTask(std::function<void()> task);
  void AddStopTask(std::function<void()> task);
  // Asked before every real-time frame; while it returns false the loop
  // keeps running its frame tasks but advances no time.
  void SetStepGate(std::function<bool()> gate) { step_gate_ = std::move(gate); }

  const SimulatorOptions& options() const { return options_; }

 private:
  void RunLoop();

  SimulatorOptions options_;
  void* plugin_handle_ = nullptr;
  // Set by RequestStop from a signal handler; read by the loop.
  std::atomic<bool> stop_{false};
  std::vector<std::function<void()>> frame_tasks_;
  std::vector<std::function<void()>> start_tasks_;
  std::vector<std::function<void()>> stop_tasks_;
  std::function<bool()> step_gate_;
};

// Routes SIGINT and SIGTERM to simulator->RequestStop().
void StopOnSignals(Simulator* simulator);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_SIMULATOR_H_
