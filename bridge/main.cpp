// tarvos-bridge: lets local client programs on this computer reach a
// simulator with the plugin on another computer, unmodified. It offers the
// local transport here ("FS98MAIN") and forwards every batch over TCP to
// the plugin's network server there.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bridge/bridge.h"
#include "client/program_output.h"
#include "tarvos_version.h"

namespace {

std::atomic<bool> g_stop{false};
extern "C" void OnSignal(int) { g_stop.store(true); }

struct Options {
  tarvos::bridge::BridgeOptions bridge;
  std::string log = "tarvos-bridge.log";
  bool quiet = false;
};

// The command line into `o`: an exit code when the program is done with it
// (--help, --version, a usage error), -1 when it should run.
int Parse(int argc, char** argv, Options* o) {
  CLI::App app(
      "tarvos-bridge: offers the local endpoint on this computer and "
      "forwards every batch over TCP to the plugin on the simulator's "
      "computer",
      "tarvos-bridge");
  app.set_version_flag("--version", "tarvos-bridge " TARVOS_VERSION);
  app.add_option("--host", o->bridge.host, "the simulator's computer")
      ->capture_default_str();
  app.add_option("--port", o->bridge.port, "its TCP server port")
      ->check(CLI::Range(1, 65535))
      ->capture_default_str();
  app.add_option("--endpoint", o->bridge.endpoint,
                 "local endpoint to offer here")
      ->check([](const std::string& s) {
        return s.empty() ? std::string("--endpoint needs a name")
                         : std::string();
      })
      ->capture_default_str();
  app.add_option("--log", o->log, "log file")->capture_default_str();
  app.add_flag("--quiet", o->quiet, "no status line");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr,
                 "tarvos-bridge: %s\nRun with --help for more information.\n",
                 e.what());
    return 2;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const int done = Parse(argc, argv, &o);
  if (done >= 0) return done;
  std::string error;
  tarvos::client::LogFile log_file(o.log);
  auto log = [&](const std::string& line) { log_file.Line(line); };
  tarvos::bridge::Bridge bridge(o.bridge, log);
  if (!bridge.Start(&error)) {
    std::fprintf(stderr, "tarvos-bridge: %s\n", error.c_str());
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  tarvos::client::StatusLine status(o.quiet);
  while (!g_stop.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (!status.shown()) continue;
    const tarvos::bridge::BridgeStats s = bridge.Stats();
    char line[256];
    std::snprintf(
        line, sizeof line,
        "%-13s %s:%u | requests %llu (%llu answered 0) | last round "
        "trip %.2f ms",
        s.connected ? "connected" : "disconnected", o.bridge.host.c_str(),
        o.bridge.port, static_cast<unsigned long long>(s.forwarded),
        static_cast<unsigned long long>(s.answered_zero), s.last_round_trip_ms);
    status.Show(line);
  }
  bridge.Stop();
  return 0;
}
