// A browser's side of tarvos-web for tests and benchmarks: a WebSocket
// client taking text messages with a time-out, and one-shot HTTP requests.
#ifndef TARVOS_TESTS_SUPPORT_WEB_CLIENT_H_
#define TARVOS_TESTS_SUPPORT_WEB_CLIENT_H_

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

namespace tarvos::testing {

class WebSocketClient {
 public:
  WebSocketClient() : ws_(io_) {}

  // Opens ws://127.0.0.1:port`target`. `origin` is sent when not empty;
  // `receive_buffer` (bytes) when not 0 caps the socket's receive buffer
  // (a client that does not read then fills the server's queue soon).
  // False with the HTTP status of a refused upgrade in `status`.
  bool Open(uint16_t port, const std::string& target = "/ws",
            const std::string& origin = "", int* status = nullptr,
            int receive_buffer = 0) {
    namespace beast = boost::beast;
    namespace websocket = beast::websocket;
    boost::asio::ip::tcp::endpoint at(
        boost::asio::ip::make_address("127.0.0.1"), port);
    beast::error_code ec;
    auto& socket = beast::get_lowest_layer(ws_).socket();
    socket.open(at.protocol(), ec);
    if (receive_buffer > 0) {
      socket.set_option(
          boost::asio::socket_base::receive_buffer_size(receive_buffer), ec);
    }
    socket.connect(at, ec);
    if (ec) return false;
    ws_.set_option(websocket::stream_base::decorator(
        [origin](websocket::request_type& req) {
          if (!origin.empty()) req.set(beast::http::field::origin, origin);
        }));
    websocket::response_type res;
    ws_.handshake(res, "127.0.0.1:" + std::to_string(port), target, ec);
    if (status != nullptr) {
      *status = ec ? RefusedStatus(port, target, origin) : 101;
    }
    return !ec;
  }

  void Send(const std::string& text) {
    boost::beast::error_code ec;
    ws_.text(true);
    ws_.write(boost::asio::buffer(text), ec);
  }
  void Send(const nlohmann::json& j) { Send(j.dump()); }

  // The next text message, waiting up to `ms`; "" when none came (or the
  // connection closed: closed() then says so).
  std::string Next(int ms) {
    if (closed_) return "";
    if (!reading_) {
      reading_ = true;
      done_ = false;
      ws_.async_read(buffer_, [this](boost::beast::error_code ec, size_t) {
        done_ = true;
        if (ec) closed_ = true;
      });
    }
    io_.restart();
    io_.run_for(std::chrono::milliseconds(ms));
    if (!done_) return "";
    reading_ = false;
    std::string text = boost::beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    return closed_ ? "" : text;
  }
  nlohmann::json NextJson(int ms) {
    std::string text = Next(ms);
    if (text.empty()) return nullptr;
    return nlohmann::json::parse(text, nullptr, false);
  }
  // The next message whose op is `op` (others skipped) within `ms`.
  nlohmann::json NextOp(const std::string& op, int ms) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(
              deadline - std::chrono::steady_clock::now())
              .count());
      nlohmann::json j = NextJson(left > 0 ? left : 1);
      if (j.is_object() && j.value("op", "") == op) return j;
      if (closed_) break;
    }
    return nullptr;
  }
  bool closed() const { return closed_; }

 private:
  // The status a refused upgrade is answered with (the handshake does not
  // keep it): the same request again, as plain HTTP.
  static int RefusedStatus(uint16_t port, const std::string& target,
                           const std::string& origin) {
    namespace beast = boost::beast;
    namespace http = beast::http;
    boost::asio::io_context io;
    beast::tcp_stream stream(io);
    beast::error_code ec;
    stream.socket().connect({boost::asio::ip::make_address("127.0.0.1"), port},
                            ec);
    if (ec) return 0;
    http::request<http::empty_body> req{http::verb::get, target, 11};
    req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    req.set(http::field::connection, "Upgrade");
    req.set(http::field::upgrade, "websocket");
    req.set(http::field::sec_websocket_version, "13");
    req.set(http::field::sec_websocket_key, "dGhlIHNhbXBsZSBub25jZQ==");
    if (!origin.empty()) req.set(http::field::origin, origin);
    http::write(stream, req, ec);
    beast::flat_buffer buffer;
    http::response<http::string_body> res;
    http::read(stream, buffer, res, ec);
    return ec ? 0 : static_cast<int>(res.result_int());
  }

  boost::asio::io_context io_;
  boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
  boost::beast::flat_buffer buffer_;
  bool reading_ = false;
  bool done_ = false;
  bool closed_ = false;
};

struct HttpAnswer {
  int status = 0;  // 0: no answer
  std::string body;
  std::string content_type;
  nlohmann::json Json() const {
    return nlohmann::json::parse(body, nullptr, false);
  }
};

// One HTTP request to 127.0.0.1:port.
inline HttpAnswer HttpRequest(uint16_t port, const std::string& method,
                              const std::string& target,
                              const std::string& body = "",
                              const std::string& authorization = "",
                              const std::string& origin = "") {
  namespace beast = boost::beast;
  namespace http = beast::http;
  HttpAnswer answer;
  boost::asio::io_context io;
  beast::tcp_stream stream(io);
  beast::error_code ec;
  stream.socket().connect({boost::asio::ip::make_address("127.0.0.1"), port},
                          ec);
  if (ec) return answer;
  http::request<http::string_body> req{http::string_to_verb(method), target,
                                       11};
  req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
  if (!authorization.empty())
    req.set(http::field::authorization, authorization);
  if (!origin.empty()) req.set(http::field::origin, origin);
  req.body() = body;
  req.prepare_payload();
  http::write(stream, req, ec);
  if (ec) return answer;
  beast::flat_buffer buffer;
  http::response<http::string_body> res;
  http::read(stream, buffer, res, ec);
  if (ec) return answer;
  answer.status = static_cast<int>(res.result_int());
  answer.body = res.body();
  answer.content_type = std::string(res[http::field::content_type]);
  return answer;
}

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_SUPPORT_WEB_CLIENT_H_
