// tarvos-bridge: lets local client programs on this computer reach a
// simulator with the plugin on another computer, unmodified. It offers the
// local transport here ("FS98MAIN") and forwards every batch over TCP to
// the plugin's network server there.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "bridge/bridge.h"
#include "client/program_output.h"

namespace {

std::atomic<bool> g_stop{false};
extern "C" void OnSignal(int) { g_stop.store(true); }

constexpr char kUsage[] =
    "usage: tarvos-bridge --host HOST [--port N] [--endpoint NAME] "
    "[--log FILE] [--quiet]\n"
    "  --host HOST      the simulator's computer (default 127.0.0.1)\n"
    "  --port N         its TCP server port (default 5193)\n"
    "  --endpoint NAME  local endpoint to offer here (default FS98MAIN)\n"
    "  --log FILE       log file (default tarvos-bridge.log)\n"
    "  --quiet          no status line\n";

struct Options {
  tarvos::bridge::BridgeOptions bridge;
  std::string log = "tarvos-bridge.log";
  bool quiet = false;
};

bool Parse(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = a + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--host") {
      if (!value(&o->bridge.host)) return false;
    } else if (a == "--port") {
      if (!value(&v)) return false;
      char* end = nullptr;
      long port = std::strtol(v.c_str(), &end, 10);
      if (end == v.c_str() || *end != '\0' || port < 1 || port > 65535) {
        *error = "--port needs a number from 1 to 65535";
        return false;
      }
      o->bridge.port = static_cast<uint16_t>(port);
    } else if (a == "--endpoint") {
      if (!value(&o->bridge.endpoint)) return false;
      if (o->bridge.endpoint.empty()) {
        *error = "--endpoint needs a name";
        return false;
      }
    } else if (a == "--log") {
      if (!value(&o->log)) return false;
    } else if (a == "--quiet") {
      o->quiet = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else {
      *error = "unknown option " + a;
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!Parse(argc, argv, &o, &error)) {
    std::fprintf(stderr, "tarvos-bridge: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
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
