// The TCP connection: one request frame out, one reply frame (or the single
// byte 0 of a rejected batch) back.
#include <cstring>

#include "client/connection.h"
#include "client/net_io.h"
#include "offsets/coding.h"

namespace tarvos::client {
namespace {

class TcpConnection : public Connection {
 public:
  TcpConnection(NetSocket s, int timeout_ms) : s_(s), timeout_ms_(timeout_ms) {}
  ~TcpConnection() override { CloseSocket(s_); }

  bool Exchange(RequestBatch& batch, std::string* error) override {
    if (batch.RecordAreaSize() > kMaxRecordArea) {
      *error = "batch too large for one frame (at most " +
               std::to_string(kMaxRecordArea) + " bytes of records)";
      return false;
    }
    std::vector<uint8_t> frame = batch.Frame();
    if (!SendAll(s_, frame.data(), frame.size(), timeout_ms_, error)) {
      return Unanswered(error);
    }
    // A rejected batch is answered with the single byte 0; a served one
    // starts with the type word 2.
    uint8_t head[4];
    if (!ReceiveExactly(s_, head, 1, timeout_ms_, error)) {
      return Unanswered(error);
    }
    answered_ = true;
    if (head[0] == 0) {
      return Fail(AcceptReplyFrame(batch, head, 1), error);
    }
    if (!ReceiveExactly(s_, head + 1, 3, timeout_ms_, error)) return false;
    const size_t len = LoadU16(head + 2);
    frame.assign(8 + len, 0);
    std::memcpy(frame.data(), head, 4);
    if (!ReceiveExactly(s_, frame.data() + 4, len + 4, timeout_ms_, error)) {
      return false;
    }
    return Fail(AcceptReplyFrame(batch, frame.data(), frame.size()), error);
  }

 private:
  // The server accepts every connection and closes at once those it cannot
  // serve: when it already has its eight clients, or when its settings do
  // not admit this client's address. A connection closed before anything
  // was ever answered on it is one of those.
  bool Unanswered(std::string* error) const {
    if (answered_ || error->rfind("timed out", 0) == 0) return false;
    *error =
        "the server closed the connection without answering: it is full "
        "(8 clients connected already) or does not admit this client";
    return false;
  }

  static bool Fail(const std::string& message, std::string* error) {
    if (message.empty()) return true;
    *error = message;
    return false;
  }

  NetSocket s_;
  int timeout_ms_;
  bool answered_ = false;  // some exchange got an answer
};

}  // namespace

std::unique_ptr<Connection> ConnectTcp(const std::string& host, uint16_t port,
                                       std::string* error, int timeout_ms) {
  NetSocket s = DialTcp(host, port, timeout_ms, error);
  if (s == kNoSocket) return nullptr;
  return std::make_unique<TcpConnection>(s, timeout_ms);
}

}  // namespace tarvos::client
