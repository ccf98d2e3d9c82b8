// The gateway's HTTP and WebSocket server: the panel's files, the JSON API
// under /api/ and the WebSocket at /ws, all on one thread (the hub's).
//
// Every connection has its own queue of outgoing messages: one that does
// not read is closed when its queue passes kMaxQueuedBytes or
// kMaxQueuedMessages, and the others never wait for it.
#ifndef TARVOS_WEB_SERVER_H_
#define TARVOS_WEB_SERVER_H_

#include <boost/asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "web/access.h"
#include "web/hub.h"

namespace tarvos::web {

inline constexpr size_t kMaxConnections = 64;
inline constexpr size_t kMaxQueuedBytes = 1 << 20;
inline constexpr size_t kMaxQueuedMessages = 1024;

struct ServerOptions {
  std::string listen_host = "127.0.0.1";
  uint16_t listen_port = 5194;
  Tokens tokens;
  Origins origins;
  std::string panel_dir;  // empty: the files built into the program
  std::string plugin;     // "host:port", for the status
  // Why the upstream connection is down ("" when connected).
  std::function<std::string()> upstream_error;
};

class Server {
 public:
  Server(boost::asio::io_context& io, Hub& hub, Upstream& upstream,
         ServerOptions options);
  ~Server();
  // Opens the listening socket; false with the reason.
  bool Listen(std::string* error);
  // The port listened on (the one asked for, or the system's choice for 0).
  uint16_t port() const;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace tarvos::web

#endif  // TARVOS_WEB_SERVER_H_
