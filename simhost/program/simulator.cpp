// The real-time run loop of tarvos-simhost.
#include "simhost/program/simulator.h"

#include <signal.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "XPLMPlugin.h"

namespace simhost {
namespace {

using Clock = std::chrono::steady_clock;

// When the loop falls this many frames behind (a slow plugin, a stopped
// debugger) it starts counting afresh instead of racing to catch up.
constexpr int kMaxFramesBehind = 5;

Simulator* signal_target = nullptr;

void OnStopSignal(int) {
  if (signal_target != nullptr) signal_target->RequestStop();
}

}  // namespace

Simulator::Simulator(SimulatorOptions options) : options_(std::move(options)) {}

Simulator::~Simulator() {
  if (signal_target == this) signal_target = nullptr;
  // The plugin stays mapped until the process ends, as in the simulator: it
  // keeps a few process-lifetime objects (server state, lookup maps) that it
  // never frees, and unmapping it first would only turn them into leaks.
}

bool Simulator::Load(std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path root = fs::absolute(options_.root, ec);
  if (!ec) fs::create_directories(root / "Resources" / "plugins", ec);
  if (ec || !fs::is_directory(root)) {
    *error = "cannot create the simulator folder " + options_.root;
    return false;
  }
  Host& host = Host::Get();
  host.SetSystemPath(root.string());
  if (options_.older_host) host.UseOlderHost();
  host.SetFahrenheitAircraft(options_.fahrenheit);
  std::string acf = "Twin_Piston.acf";
  host.SetAircraft({{acf, (root / "Aircraft" / "Twin Piston" / acf).string()}});

  if (options_.plugin_path.empty()) options_.plugin_path = DefaultPluginPath();
  PluginEntryPoints entry;
  if (!LoadPluginBinary(options_.plugin_path, &entry, error, &plugin_handle_)) {
    return false;
  }
  host.AttachPlugin(entry);
  return true;
}

void Simulator::Run() {
  Host& host = Host::Get();
  host.StartPlugin();
  host.EnablePlugin();
  host.SendMessageToPlugin(XPLM_PLUGIN_XPLANE, XPLM_MSG_PLANE_LOADED,
                           nullptr);  // parameter 0: the user's aircraft
  for (auto& task : start_tasks_) task();
  RunLoop();
  for (auto& task : stop_tasks_) task();
  host.DisablePlugin();
  host.StopPlugin();
}

void Simulator::RunLoop() {
  Host& host = Host::Get();
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / options_.fps));
  const auto start = Clock::now();
  auto last = start;
  auto next = start + period;
  while (!stop_.load(std::memory_order_relaxed)) {
    std::this_thread::sleep_until(next);
    auto now = Clock::now();
    if (!step_gate_ || step_gate_()) {
      host.StepFrame(std::chrono::duration<float>(now - last).count());
    }
    last = now;
    for (auto& task : frame_tasks_) task();
    if (options_.duration >= 0 &&
        std::chrono::duration<double>(now - start).count() >=
            options_.duration) {
      break;
    }
    next += period;
    if (now - next > kMaxFramesBehind * period) next = now + period;
  }
}

void Simulator::AddFrameTask(std::function<void()> task) {
  frame_tasks_.push_back(std::move(task));
}

void Simulator::AddStartTask(std::function<void()> task) {
  start_tasks_.push_back(std::move(task));
}

void Simulator::AddStopTask(std::function<void()> task) {
  stop_tasks_.push_back(std::move(task));
}

void StopOnSignals(Simulator* simulator) {
  signal_target = simulator;
#if defined(_WIN32)
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#else
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

}  // namespace simhost
