#include "mqtt/options.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <fstream>

#include "client/name_glob.h"
#include "client/watch_preset.h"
#include "tarvos_version.h"

namespace tarvos::mqtt {
namespace {

bool ParsePort(const std::string& text, uint16_t* port) {
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (v < 1 || v > 65535) return false;
  *port = static_cast<uint16_t>(v);
  return true;
}

// The first line of a file, without its line end.
bool ReadFirstLine(const std::string& path, std::string* line) {
  std::ifstream in(path);
  if (!in) return false;
  std::getline(in, *line);
  while (!line->empty() && (line->back() == '\r' || line->back() == '\n')) {
    line->pop_back();
  }
  return true;
}

}  // namespace

bool ParseHostPort(const std::string& text, std::string* host, uint16_t* port,
                   std::string* error) {
  std::string rest;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close == 1) {
      *error = "'" + text + "': an address in brackets needs its ']'";
      return false;
    }
    *host = text.substr(1, close - 1);
    rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') {
      *error = "'" + text + "': only ':PORT' may follow ']'";
      return false;
    }
  } else {
    const size_t colon = text.find(':');
    if (colon != std::string::npos &&
        text.find(':', colon + 1) != std::string::npos) {
      *host = text;  // an IPv6 address without a port
      return true;
    }
    *host = text.substr(0, colon);
    if (colon != std::string::npos) rest = text.substr(colon);
  }
  if (host->empty()) {
    *error = "'" + text + "' names no host";
    return false;
  }
  if (!rest.empty() && !ParsePort(rest.substr(1), port)) {
    *error = "'" + text + "': the port must be a number from 1 to 65535";
    return false;
  }
  return true;
}

bool ParseEvery(const std::string& text, uint16_t* every_ms,
                std::string* error) {
  if (text == "frame") {
    *every_ms = 0;
    return true;
  }
  if (!ParsePort(text, every_ms)) {
    *error = "--every takes 'frame' or milliseconds from 1 to 65535";
    return false;
  }
  return true;
}

int ParseCommandLine(int argc, char** argv, Options* o) {
  CLI::App app{
      "tarvos-mqtt: publishes the plugin's values by name on an MQTT broker "
      "and takes writes back",
      "tarvos-mqtt"};
  app.set_version_flag("--version",
                       std::string("tarvos-mqtt ") + TARVOS_VERSION);
  std::string broker, plugin = "127.0.0.1:5193", publish, writable,
                      every = "frame", password_file;
  app.add_option("--broker", broker,
                 "the broker, HOST[:PORT] (port 1883, 8883 with --tls)")
      ->required();
  app.add_option("--plugin", plugin, "the plugin's TARNET server, HOST[:PORT]")
      ->capture_default_str();
  app.add_option("--publish", publish,
                 "names to publish, comma-separated patterns with '*' "
                 "(default: the names of 'tarvos-client watch')");
  app.add_option("--every", every,
                 "publish at most every frame or every MS milliseconds")
      ->capture_default_str();
  app.add_option("--writable", writable,
                 "names that may be written on <prefix>/set/..., patterns as "
                 "--publish (default: none)");
  app.add_option("--prefix", o->gateway.prefix, "the topics' first level(s)")
      ->capture_default_str();
  app.add_option("--qos", o->broker.qos, "MQTT quality of service, 0 or 1")
      ->check(CLI::Range(0, 1))
      ->capture_default_str();
  app.add_option("--client-id", o->broker.client_id,
                 "MQTT client id (default: one made up)");
  auto* user =
      app.add_option("--username", o->broker.username, "MQTT user name");
  app.add_option("--password-file", password_file,
                 "file whose first line is the MQTT password")
      ->needs(user)
      ->check(CLI::ExistingFile);
  app.add_option("--tls", o->broker.ca_file,
                 "connect with TLS, checking the broker against this CA file")
      ->check(CLI::ExistingFile);
  app.add_option("--log", o->log, "log file")->capture_default_str();
  app.add_flag("--quiet", o->quiet, "no status line");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }
  std::string error;
  auto bad = [&](const std::string& message) {
    std::fprintf(stderr, "tarvos-mqtt: %s\n", message.c_str());
    return 2;
  };
  o->broker.port = o->broker.ca_file.empty() ? 1883 : 8883;
  if (!ParseHostPort(broker, &o->broker.host, &o->broker.port, &error) ||
      !ParseHostPort(plugin, &o->plugin.host, &o->plugin.port, &error) ||
      !ParseEvery(every, &o->plugin.every_ms, &error)) {
    return bad(error);
  }
  if (!password_file.empty() &&
      !ReadFirstLine(password_file, &o->broker.password)) {
    return bad("cannot read the password file " + password_file);
  }
  if (publish.empty()) {
    for (const client::PresetRow& row : client::PresetRows()) {
      o->gateway.publish.push_back(row.name);
    }
  } else {
    o->gateway.publish = client::SplitPatterns(publish);
  }
  o->gateway.writable = client::SplitPatterns(writable);
  return -1;
}

}  // namespace tarvos::mqtt
