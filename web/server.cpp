#include "web/server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "tarvos_version.h"
#include "web/panel_files.h"
#include "web/value_codec.h"

namespace tarvos::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// A socket's send buffer: small enough that a browser which does not read
// fills it soon and its queue here shows it.
constexpr int kSendBufferBytes = 128 * 1024;

struct Server::Shared {
  asio::io_context& io;
  Hub& hub;
  Upstream& upstream;
  ServerOptions options;
  std::optional<tcp::acceptor> acceptor;
  std::optional<asio::steady_timer> rate_timer;
  size_t connections = 0;
  uint64_t last_updates = 0;
  double updates_per_second = 0;
};

namespace {

using Shared = Server::Shared;

// Counts a connection for as long as it lives.
class Slot {
 public:
  explicit Slot(std::shared_ptr<Shared> s) : s_(std::move(s)) {
    ++s_->connections;
  }
  ~Slot() { --s_->connections; }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  Shared& shared() { return *s_; }

 private:
  std::shared_ptr<Shared> s_;
};

std::string_view View(beast::string_view s) { return {s.data(), s.size()}; }

std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

const char* ContentType(const std::string& path) {
  auto ends = [&](const char* ext) {
    const size_t n = std::char_traits<char>::length(ext);
    return path.size() >= n && path.compare(path.size() - n, n, ext) == 0;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".js") || ends(".mjs")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".svg")) return "image/svg+xml";
  if (ends(".png")) return "image/png";
  if (ends(".json")) return "application/json";
  if (ends(".ico")) return "image/x-icon";
  if (ends(".txt")) return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

Response MakeResponse(const Request& req, http::status status, const char* type,
                      std::string body) {
  Response res{status, req.version()};
  res.set(http::field::server, "tarvos-web");
  res.set(http::field::content_type, type);
  res.set(http::field::cache_control, "no-cache");
  res.keep_alive(req.keep_alive());
  res.body() = std::move(body);
  res.prepare_payload();
  return res;
}

Response JsonResponse(const Request& req, int status, std::string body) {
  return MakeResponse(req, static_cast<http::status>(status),
                      "application/json", std::move(body));
}

Response JsonError(const Request& req, int status, const std::string& error) {
  return JsonResponse(req, status, Dump(json{{"error", error}}));
}

// A panel file: from --panel DIR when given, else built in. False when
// there is no such file.
bool PanelFileText(const Shared& s, std::string path, std::string* body) {
  if (path.empty() || path.back() == '/') path += "index.html";
  if (path.find('\\') != std::string::npos ||
      path.find('\0') != std::string::npos) {
    return false;
  }
  for (size_t at = 0; at <= path.size();) {
    size_t slash = path.find('/', at);
    std::string part = path.substr(
        at, slash == std::string::npos ? std::string::npos : slash - at);
    if (part == ".." || part == ".") return false;
    if (slash == std::string::npos) break;
    at = slash + 1;
  }
  if (!s.options.panel_dir.empty()) {
    std::filesystem::path file =
        std::filesystem::path(s.options.panel_dir) / path;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    *body = text.str();
    return static_cast<bool>(in);
  }
  for (size_t i = 0; i < kPanelFileCount; ++i) {
    if (path == kPanelFiles[i].path) {
      body->assign(reinterpret_cast<const char*>(kPanelFiles[i].data),
                   kPanelFiles[i].size);
      return true;
    }
  }
  return false;
}

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  std::string name;
  std::istringstream in(list);
  while (std::getline(in, name, ',')) {
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

// --- WebSocket ---------------------------------------------------------------

class WsSession : public std::enable_shared_from_this<WsSession> {
 public:
  WsSession(tcp::socket socket, std::unique_ptr<Slot> slot, bool may_write)
      : ws_(std::move(socket)),
        slot_(std::move(slot)),
        hub_(slot_->shared().hub),
        may_write_(may_write) {}

  void Run(Request req) {
    ws_.set_option(
        websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(
        websocket::stream_base::decorator([](websocket::response_type& res) {
          res.set(http::field::server, "tarvos-web");
        }));
    // Longer messages are read in parts and thrown away (OnRead), so that
    // the connection stays open.
    ws_.read_message_max(0);
    ws_.async_accept(req, [self = shared_from_this()](beast::error_code ec) {
      self->OnAccept(ec);
    });
  }

 private:
  Hub& hub() { return hub_; }

  void OnAccept(beast::error_code ec) {
    if (ec) return;
    std::weak_ptr<WsSession> weak = shared_from_this();
    id_ = hub().AddClient(
        [weak](std::string message) {
          if (auto self = weak.lock()) self->Queue(std::move(message));
        },
        may_write_);
    DoRead();
  }

  void DoRead() {
    ws_.async_read_some(
        in_, 16384, [self = shared_from_this()](beast::error_code ec, size_t) {
          self->OnRead(ec);
        });
  }

  void OnRead(beast::error_code ec) {
    if (ec || closed_) {
      Close();
      return;
    }
    if (in_.size() > kMaxMessageBytes) {
      oversized_ = true;
      in_.consume(in_.size());
    }
    if (ws_.is_message_done()) {
      if (oversized_) {
        hub().OnOversized(id_);
      } else if (!ws_.got_text()) {
        Queue(
            "{\"op\":\"error\",\"id\":null,\"error\":\"messages are JSON "
            "text, not binary\"}");
      } else {
        auto data = in_.cdata();
        hub().OnMessage(id_,
                        std::string_view(static_cast<const char*>(data.data()),
                                         data.size()));
      }
      in_.consume(in_.size());
      oversized_ = false;
    }
    if (!closed_) DoRead();
  }

  void Queue(std::string message) {
    if (closed_) return;
    queued_bytes_ += message.size();
    out_.push_back(std::move(message));
    if (queued_bytes_ > kMaxQueuedBytes || out_.size() > kMaxQueuedMessages) {
      // It does not read: let it go rather than hold the others' memory.
      Drop();
      return;
    }
    if (out_.size() == 1) DoWrite();
  }

  void DoWrite() {
    ws_.text(true);
    ws_.async_write(asio::buffer(out_.front()),
                    [self = shared_from_this()](beast::error_code ec, size_t) {
                      self->OnWrite(ec);
                    });
  }

  void OnWrite(beast::error_code ec) {
    if (ec || closed_) {
      Drop();
      return;
    }
    queued_bytes_ -= out_.front().size();
    out_.pop_front();
    if (!out_.empty()) DoWrite();
  }

  // Closes the socket and lets the browser go: out of the hub (on a later
  // turn of the loop, never from inside the hub's own calls) and out of
  // the connection count, its queue freed, whether or not the operations
  // still pending on the stream end at once.
  void Drop() {
    if (closed_) return;
    closed_ = true;
    beast::error_code ec;
    beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both,
                                                   ec);
    beast::get_lowest_layer(ws_).close();
    std::deque<std::string>().swap(out_);
    queued_bytes_ = 0;
    asio::post(ws_.get_executor(),
               [self = shared_from_this()] { self->Close(); });
  }

  void Close() {
    closed_ = true;
    if (id_ != 0) {
      hub_.RemoveClient(id_);
      id_ = 0;
    }
    slot_.reset();
    beast::error_code ec;
    beast::get_lowest_layer(ws_).socket().close(ec);
  }

  websocket::stream<beast::tcp_stream> ws_;
  std::unique_ptr<Slot> slot_;
  Hub& hub_;
  bool may_write_;
  uint64_t id_ = 0;
  beast::flat_buffer in_;
  bool oversized_ = false;
  bool closed_ = false;
  std::deque<std::string> out_;
  size_t queued_bytes_ = 0;
};

// --- HTTP --------------------------------------------------------------------

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, std::unique_ptr<Slot> slot)
      : stream_(std::move(socket)), slot_(std::move(slot)) {}

  void Run() { DoRead(); }

 private:
  Shared& shared() { return slot_->shared(); }

  void DoRead() {
    parser_.emplace();
    parser_->body_limit(kMaxMessageBytes);
    stream_.expires_after(std::chrono::seconds(30));
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) {
                       self->OnRead(ec);
                     });
  }

  void OnRead(beast::error_code ec) {
    if (ec == http::error::body_limit) {
      Request req;
      req.version(11);
      req.keep_alive(false);
      Send(JsonError(req, 413, "request body over 64 KB"));
      return;
    }
    if (ec) {
      stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
      return;
    }
    Request req = parser_->release();
    Handle(std::move(req));
  }

  // Refuses a request that the tokens or the origin rules do not let in;
  // true when refused.
  bool Refused(const Request& req, Grant* grant) {
    const ServerOptions& o = shared().options;
    std::string_view origin = View(req[http::field::origin]);
    std::string_view host = View(req[http::field::host]);
    if (!o.tokens.enabled() && !IsLoopbackHost(host)) {
      Send(JsonError(req, 403,
                     "this gateway answers only to localhost without tokens"));
      return true;
    }
    if (!o.origins.Allows(origin, host)) {
      Send(JsonError(req, 403,
                     "requests from " + std::string(origin) +
                         " are not allowed (start with --origin to allow it)"));
      return true;
    }
    *grant = o.tokens.Check(RequestToken(View(req[http::field::authorization]),
                                         View(req.target())));
    if (*grant == Grant::kNone) {
      Send(JsonError(req, 401,
                     "a valid token is needed (Authorization: Bearer TOKEN "
                     "or ?token=TOKEN)"));
      return true;
    }
    return false;
  }

  void Handle(Request req) {
    const std::string target(View(req.target()));
    const std::string path(TargetPath(target));
    Grant grant = Grant::kNone;
    if (path == "/ws") {
      if (!websocket::is_upgrade(req)) {
        Send(JsonError(req, 426, "/ws takes a WebSocket"));
        return;
      }
      if (Refused(req, &grant)) return;
      stream_.expires_never();
      auto ws = std::make_shared<WsSession>(
          stream_.release_socket(), std::move(slot_), grant == Grant::kWrite);
      ws->Run(std::move(req));
      return;
    }
    if (path.rfind("/api/", 0) == 0) {
      if (Refused(req, &grant)) return;
      Api(std::move(req), path, target, grant);
      return;
    }
    if (req.method() != http::verb::get && req.method() != http::verb::head) {
      Send(MakeResponse(req, http::status::method_not_allowed,
                        "text/plain; charset=utf-8", "GET only\n"));
      return;
    }
    std::string file = path.substr(1), body;
    if (!PanelFileText(shared(), file, &body)) {
      Send(MakeResponse(req, http::status::not_found,
                        "text/plain; charset=utf-8", "no such file\n"));
      return;
    }
    if (file.empty() || file.back() == '/') file += "index.html";
    Response res =
        MakeResponse(req, http::status::ok, ContentType(file), std::move(body));
    if (req.method() == http::verb::head) {
      // The headers of the GET, without its body.
      const std::string length = std::to_string(res.body().size());
      res.body().clear();
      res.set(http::field::content_length, length);
    }
    Send(std::move(res));
  }

  void Api(Request req, const std::string& path, const std::string& target,
           Grant grant) {
    Shared& s = shared();
    auto answer = [self = shared_from_this(), req](int status,
                                                   const std::string& text) {
      if (status == 200) {
        self->Send(JsonResponse(req, 200, text));
      } else {
        self->Send(JsonError(req, status, text));
      }
    };
    const bool get = req.method() == http::verb::get;
    if (path == "/api/status" && get) {
      json status = {{"connected", s.upstream.connected()},
                     {"plugin", s.options.plugin},
                     {"clients", s.hub.clients()},
                     {"connections", s.connections},
                     {"updates_per_second", s.updates_per_second},
                     {"version", TARVOS_VERSION}};
      if (!s.upstream.connected() && s.options.upstream_error) {
        status["error"] = s.options.upstream_error();
      }
      Send(JsonResponse(req, 200, Dump(status)));
    } else if (path == "/api/catalogue" && get) {
      json rows = CatalogueRows(QueryValue(target, "pattern"));
      Send(JsonResponse(req, 200, Dump(json{{"rows", rows}})));
    } else if (path == "/api/values" && get) {
      s.hub.ReadValues(SplitNames(QueryValue(target, "names")), answer);
    } else if (path == "/api/values" && req.method() == http::verb::post) {
      if (grant != Grant::kWrite) {
        answer(403, "not allowed: this token may only read");
        return;
      }
      json values;
      try {
        values = json::parse(req.body());
      } catch (const json::exception& e) {
        std::string what = e.what();
        size_t at = what.find("] ");
        answer(400, "malformed JSON: " +
                        (at == std::string::npos ? what : what.substr(at + 2)));
        return;
      }
      s.hub.WriteValues(values, answer);
    } else if (path == "/api/status" || path == "/api/catalogue" ||
               path == "/api/values") {
      answer(405,
             std::string(req.method_string()) + " is not taken by " + path);
    } else {
      answer(404, "no such API: " + path + " (catalogue, values, status)");
    }
  }

  void Send(Response res) {
    auto sp = std::make_shared<Response>(std::move(res));
    const bool close = sp->need_eof();
    http::async_write(
        stream_, *sp,
        [self = shared_from_this(), sp, close](beast::error_code ec, size_t) {
          if (ec) return;
          if (close) {
            self->stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
            return;
          }
          self->DoRead();
        });
  }

  beast::tcp_stream stream_;
  std::unique_ptr<Slot> slot_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

void Accept(std::shared_ptr<Shared> s) {
  s->acceptor->async_accept([s](beast::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) {
      if (s->connections >= kMaxConnections) {
        // Told in words, then closed.
        const std::string body =
            "{\"error\":\"too many connections (64 at most)\"}";
        auto text = std::make_shared<std::string>(
            "HTTP/1.1 503 Service Unavailable\r\nContent-Type: "
            "application/json\r\nConnection: close\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\n\r\n" + body);
        auto sock = std::make_shared<tcp::socket>(std::move(socket));
        asio::async_write(*sock, asio::buffer(*text),
                          [sock, text](beast::error_code e, size_t) {
                            sock->shutdown(tcp::socket::shutdown_both, e);
                          });
      } else {
        beast::error_code e;
        socket.set_option(asio::socket_base::send_buffer_size(kSendBufferBytes),
                          e);
        socket.set_option(tcp::no_delay(true), e);
        std::make_shared<HttpSession>(std::move(socket),
                                      std::make_unique<Slot>(s))
            ->Run();
      }
    }
    Accept(s);
  });
}

void TickRate(std::shared_ptr<Shared> s) {
  s->rate_timer->expires_after(std::chrono::seconds(1));
  s->rate_timer->async_wait([s](beast::error_code ec) {
    if (ec) return;
    const uint64_t now = s->hub.updates();
    s->updates_per_second = static_cast<double>(now - s->last_updates);
    s->last_updates = now;
    TickRate(s);
  });
}

}  // namespace

Server::Server(asio::io_context& io, Hub& hub, Upstream& upstream,
               ServerOptions options)
    : shared_(std::make_shared<Shared>(
          Shared{io, hub, upstream, std::move(options), {}, {}, 0, 0, 0})) {}

Server::~Server() {
  beast::error_code ec;
  if (shared_->acceptor) shared_->acceptor->close(ec);
  if (shared_->rate_timer) shared_->rate_timer->cancel();
}

bool Server::Listen(std::string* error) {
  beast::error_code ec;
  auto address =
      asio::ip::make_address(shared_->options.listen_host == "localhost"
                                 ? "127.0.0.1"
                                 : shared_->options.listen_host,
                             ec);
  if (ec) {
    *error = "'" + shared_->options.listen_host + "' is not an IP address";
    return false;
  }
  tcp::endpoint endpoint(address, shared_->options.listen_port);
  auto& acceptor = shared_->acceptor.emplace(shared_->io);
  if (acceptor.open(endpoint.protocol(), ec) ||
#ifndef _WIN32
      // (On Windows this would let a second program take the port.)
      acceptor.set_option(asio::socket_base::reuse_address(true), ec) ||
#endif
      acceptor.bind(endpoint, ec) ||
      acceptor.listen(asio::socket_base::max_listen_connections, ec)) {
    *error = "cannot listen on " + shared_->options.listen_host + ":" +
             std::to_string(shared_->options.listen_port) + ": " + ec.message();
    return false;
  }
  Accept(shared_);
  shared_->rate_timer.emplace(shared_->io);
  TickRate(shared_);
  return true;
}

uint16_t Server::port() const {
  beast::error_code ec;
  return shared_->acceptor ? shared_->acceptor->local_endpoint(ec).port() : 0;
}

}  // namespace tarvos::web
