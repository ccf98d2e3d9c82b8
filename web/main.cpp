// tarvos-web: the simulator in a browser. One TARNET connection to the
// plugin, served to browsers by catalogue name over a WebSocket and a JSON
// API, with the cockpit panel at /.
#include <CLI/CLI.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "client/connection.h"
#include "tarvos_version.h"
#include "web/access.h"
#include "web/hub.h"
#include "web/server.h"
#include "web/upstream.h"

namespace {

// "host[:port]" into its parts; false when the port is not a number.
bool SplitHostPort(const std::string& text, uint16_t default_port,
                   std::string* host, uint16_t* port) {
  *host = text;
  *port = default_port;
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) return true;
  if (text.front() == '[') {  // [::1]:5193
    size_t close = text.find(']');
    if (close == std::string::npos) return false;
    *host = text.substr(1, close - 1);
    if (close + 1 == text.size()) return true;
    if (text[close + 1] != ':') return false;
    colon = close + 1;
  } else if (text.find(':') != colon) {
    return true;  // a bare IPv6 address
  } else {
    *host = text.substr(0, colon);
  }
  const std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  unsigned long p = std::stoul(digits);
  if (p > 65535) return false;
  *port = static_cast<uint16_t>(p);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "tarvos-web: the simulator in a browser. Serves the offset catalogue "
      "by name over a WebSocket (/ws) and a JSON API (/api/), and the "
      "cockpit panel at /, through one connection to the plugin."};
  std::string plugin = "127.0.0.1:5193";
  std::string listen = "127.0.0.1:5194";
  std::string tokens_file;
  std::vector<std::string> origins;
  std::string panel_dir;
  app.add_option("--plugin", plugin,
                 "The plugin's TARNET address, HOST[:PORT] (port 5193 when "
                 "not given)")
      ->capture_default_str();
  app.add_option("--listen", listen,
                 "Where browsers connect, ADDR:PORT; without --tokens only a "
                 "loopback address")
      ->capture_default_str();
  app.add_option("--tokens", tokens_file,
                 "File of access tokens, one a line: TOKEN read|write; every "
                 "API request and WebSocket then needs one");
  app.add_option("--origin", origins,
                 "Another origin whose pages may open the WebSocket "
                 "(scheme://host[:port]); repeatable");
  app.add_option("--panel", panel_dir,
                 "Serve the panel's files from this folder instead of the "
                 "copy built in")
      ->check(CLI::ExistingDirectory);
  app.set_version_flag("--version",
                       std::string("tarvos-web ") + TARVOS_VERSION);
  CLI11_PARSE(app, argc, argv);

  tarvos::web::ServerOptions options;
  std::string plugin_host;
  uint16_t plugin_port = 0;
  if (!SplitHostPort(plugin, tarvos::client::kDefaultPort, &plugin_host,
                     &plugin_port)) {
    std::fprintf(stderr, "tarvos-web: --plugin %s: not HOST[:PORT]\n",
                 plugin.c_str());
    return 2;
  }
  if (!SplitHostPort(listen, 5194, &options.listen_host,
                     &options.listen_port)) {
    std::fprintf(stderr, "tarvos-web: --listen %s: not ADDR:PORT\n",
                 listen.c_str());
    return 2;
  }
  if (!tokens_file.empty()) {
    std::ifstream in(tokens_file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "tarvos-web: cannot read the tokens file %s\n",
                   tokens_file.c_str());
      return 2;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (std::string error = options.tokens.Parse(text.str()); !error.empty()) {
      std::fprintf(stderr, "tarvos-web: %s: %s\n", tokens_file.c_str(),
                   error.c_str());
      return 2;
    }
  } else if (!tarvos::web::IsLoopbackAddress(options.listen_host)) {
    std::fprintf(stderr,
                 "tarvos-web: without --tokens it listens only on a loopback "
                 "address (127.0.0.1, ::1, localhost), not on %s: anyone on "
                 "the network could fly the aircraft. Give a tokens file to "
                 "listen there.\n",
                 options.listen_host.c_str());
    return 2;
  }
  for (const std::string& o : origins) {
    if (!options.origins.Add(o)) {
      std::fprintf(stderr,
                   "tarvos-web: --origin %s: not scheme://host[:port]\n",
                   o.c_str());
      return 2;
    }
  }
  options.panel_dir = panel_dir;
  options.plugin = plugin_host + ":" + std::to_string(plugin_port);

  boost::asio::io_context io(1);
  tarvos::web::Hub* hub_ptr = nullptr;
  tarvos::web::UpstreamLink upstream(
      plugin_host, plugin_port,
      [&io](std::function<void()> f) { boost::asio::post(io, std::move(f)); },
      {[&hub_ptr](const tarvos::client::Update& u) { hub_ptr->OnUpdate(u); },
       [&hub_ptr, where = options.plugin](bool connected,
                                          const std::string& why) {
         if (connected) {
           std::fprintf(stderr, "tarvos-web: connected to the plugin at %s\n",
                        where.c_str());
         } else {
           std::fprintf(stderr, "tarvos-web: lost the plugin: %s\n",
                        why.c_str());
           hub_ptr->OnUpstreamLost();
         }
       }});
  tarvos::web::Hub hub(&upstream);
  hub_ptr = &hub;
  options.upstream_error = [&upstream] { return upstream.last_error(); };
  tarvos::web::Server server(io, hub, upstream, std::move(options));
  std::string error;
  if (!server.Listen(&error)) {
    std::fprintf(stderr, "tarvos-web: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "tarvos-web: listening on port %u\n",
               static_cast<unsigned>(server.port()));
  std::fflush(stderr);
  upstream.Start();

  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait(
      [&io](const boost::system::error_code&, int) { io.stop(); });
  io.run();
  upstream.Stop();
  return 0;
}
