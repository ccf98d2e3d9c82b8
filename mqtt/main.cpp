// tarvos-mqtt: the plugin's values by name on an MQTT broker, for
// microcontroller boards and cockpits of many computers. It takes one
// TARNET place, subscribes to the names it is told, publishes each value
// retained under its own topic and writes back what arrives on set topics.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "client/program_output.h"
#include "mqtt/broker_link.h"
#include "mqtt/gateway.h"
#include "mqtt/options.h"
#include "mqtt/plugin_link.h"

namespace {

std::atomic<bool> g_stop{false};
extern "C" void OnSignal(int) { g_stop.store(true); }

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvos;
  mqtt::Options o;
  const int parsed = mqtt::ParseCommandLine(argc, argv, &o);
  if (parsed >= 0) return parsed;
  client::LogFile log_file(o.log);
  auto log = [&](const std::string& line) { log_file.Line(line); };

  mqtt::BrokerLink* broker_ptr = nullptr;
  std::string error;
  std::unique_ptr<mqtt::Gateway> gateway = mqtt::Gateway::Create(
      o.gateway,
      [&broker_ptr] {
        if (broker_ptr != nullptr) broker_ptr->Wake();
      },
      &error);
  if (gateway == nullptr) {
    std::fprintf(stderr, "tarvos-mqtt: %s\n", error.c_str());
    return 2;
  }
  mqtt::BrokerLink broker(o.broker, *gateway, log);
  broker_ptr = &broker;
  mqtt::PluginLink plugin(o.plugin, *gateway, log);
  log("tarvos-mqtt started: " + std::to_string(gateway->Stats().names) +
      " names in " + std::to_string(gateway->Subscriptions()) +
      " subscriptions, broker " + o.broker.host + ":" +
      std::to_string(o.broker.port) + ", plugin " + o.plugin.host + ":" +
      std::to_string(o.plugin.port));
  if (!broker.Start(&error)) {
    std::fprintf(stderr, "tarvos-mqtt: %s\n", error.c_str());
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  plugin.Start();

  client::StatusLine status(o.quiet);
  uint64_t last_published = 0;
  auto last = std::chrono::steady_clock::now();
  while (!g_stop.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    if (!status.shown()) continue;
    const mqtt::GatewayStats s = gateway->Stats();
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - last).count();
    const double rate =
        seconds > 0 ? (s.published - last_published) / seconds : 0;
    last = now;
    last_published = s.published;
    char line[256];
    std::snprintf(line, sizeof line,
                  "broker %s | plugin %s | %zu names | published %llu "
                  "(%.0f/s) | writes %llu, refused %llu",
                  broker.connected() ? "connected" : "disconnected",
                  plugin.connected() ? "connected" : "disconnected", s.names,
                  static_cast<unsigned long long>(s.published), rate,
                  static_cast<unsigned long long>(s.writes),
                  static_cast<unsigned long long>(s.refused));
    status.Show(line);
  }
  plugin.Stop();
  broker.Stop();
  log("tarvos-mqtt stopped");
  return 0;
}
