#include "simhost/program/control_session.h"

#include <cstdio>

#include "simhost/control/control_script.h"

namespace simhost {

ControlSession::~ControlSession() {
  server_.Stop();
  flight_.Uninstall();
}

bool ControlSession::Attach(Simulator* simulator, std::string* error) {
  simulator_ = simulator;
  const SimulatorOptions& options = simulator->options();
  flight::FlightModel::Options flight_options;
  flight_options.fly = options.fly;
  flight_options.piston = options.piston;
  flight_.Install(flight_options);
  executor_ = std::make_unique<ControlExecutor>(
      &flight_, static_cast<float>(1.0 / options.fps));
  if (!options.control.empty()) {
    if (!server_.Start(options.control, error)) return false;
    if (server_.port() != 0) {
      std::printf("control channel on 127.0.0.1:%d\n", server_.port());
    } else {
      std::printf("control channel on %s\n", options.control.c_str());
    }
    std::fflush(stdout);
  }
  // Real time stands still after `step` or `pause`.
  simulator->SetStepGate([this] { return executor_->running(); });
  simulator->AddStartTask([this] { RunScript(); });
  simulator->AddFrameTask([this] { PollControl(); });
  simulator->AddStopTask([this] { server_.Stop(); });
  return true;
}

void ControlSession::RunScript() {
  const std::string& script = simulator_->options().script;
  if (!script.empty()) {
    std::string error;
    if (!RunControlScript(script, executor_.get(), stdout, &error)) {
      std::fprintf(stderr, "tarvos-simhost: %s\n", error.c_str());
      failed_ = true;
      simulator_->RequestStop();
      return;
    }
  }
  if (executor_->quit_requested()) simulator_->RequestStop();
}

void ControlSession::PollControl() {
  server_.Poll(
      [this](const std::string& line) { return executor_->Execute(line); });
  if (executor_->quit_requested()) simulator_->RequestStop();
}

}  // namespace simhost
