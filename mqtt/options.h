// The command line of tarvos-mqtt, parsed into the parts' options.
#ifndef TARVOS_MQTT_OPTIONS_H_
#define TARVOS_MQTT_OPTIONS_H_

#include <cstdint>
#include <string>

#include "mqtt/broker_link.h"
#include "mqtt/gateway.h"
#include "mqtt/plugin_link.h"

namespace tarvos::mqtt {

struct Options {
  BrokerOptions broker;
  PluginOptions plugin;
  GatewayOptions gateway;
  std::string log = "tarvos-mqtt.log";
  bool quiet = false;
};

// "host", "host:port", "[v6 address]:port"; the port stays as given when
// there is none. False with the reason for a bad port or brackets.
bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port,
                   std::string* error);

// "frame" (0) or whole milliseconds, 1 to 65535.
bool ParseEvery(const std::string& text, uint16_t* every_ms,
                std::string* error);

// Parses the command line. Returns -1 to go on, or the exit code: 0 after
// --help or --version, 2 after a bad command line (the message printed).
int ParseCommandLine(int argc, char** argv, Options* options);

}  // namespace tarvos::mqtt

#endif  // TARVOS_MQTT_OPTIONS_H_
