// The gateway's core: every browser's messages, their subscriptions merged
// into one set of ranges for the single upstream connection, and each
// update of that connection fanned out to the browsers as their own
// subscriptions ask (rate, changes only, their own seq).
//
// A Hub is used by one thread (the server's); it never waits. Upstream
// work (subscribing the merged ranges, reads and writes) is handed to an
// Upstream, whose answers come back on the same thread.
#ifndef TARVOS_WEB_HUB_H_
#define TARVOS_WEB_HUB_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "client/batch.h"
#include "client/session.h"

namespace tarvos::web {

// Limits of one browser connection.
inline constexpr size_t kMaxMessageBytes = 64 * 1024;
inline constexpr size_t kMaxClientSubscriptions = 16;

// The one connection to the plugin, as the hub sees it.
class Upstream {
 public:
  using Done = std::function<void(const std::string& error)>;
  virtual ~Upstream() = default;
  // The ranges every update should carry from now on (sorted, disjoint).
  virtual void Want(const std::vector<client::Range>& ranges) = 0;
  // Sends the batch; `done` is called on the hub's thread with "" or the
  // reason it failed.
  virtual void Exchange(std::shared_ptr<client::RequestBatch> batch,
                        Done done) = 0;
  virtual bool connected() const = 0;
};

// Whether a merged set of ranges fits the plugin's limits of one connection
// (subscriptions, bytes per subscription and per connection), split as
// SubscribeRanges splits it. Empty when it fits, else why not.
std::string CheckUpstreamLimits(const std::vector<client::Range>& ranges);

// Overlapping and touching ranges merged, sorted by offset.
std::vector<client::Range> MergeRanges(std::vector<client::Range> ranges);

class Hub {
 public:
  using Send = std::function<void(std::string message)>;
  explicit Hub(Upstream* upstream);

  // A browser; `send` takes every message for it. Returns its id.
  uint64_t AddClient(Send send, bool may_write);
  void RemoveClient(uint64_t client);
  size_t clients() const { return clients_.size(); }

  // One WebSocket text message from a browser. Replies go to its `send`.
  void OnMessage(uint64_t client, std::string_view text);
  // Tells a browser its message was too long (it is not read).
  void OnOversized(uint64_t client);

  // One update from the plugin: every merged range of one frame.
  void OnUpdate(const client::Update& update);
  // The upstream connection went away: the values known so far are stale.
  void OnUpstreamLost();

  // Reads `names` in one batch; `done` gets a JSON object of values or an
  // error (status, message).
  using ReadDone =
      std::function<void(int status, const std::string& body_or_error)>;
  void ReadValues(const std::vector<std::string>& names, ReadDone done);
  // Writes {"name": value, ...} in one batch, every value checked first.
  void WriteValues(const nlohmann::json& values, ReadDone done);

  // Updates taken from the plugin so far.
  uint64_t updates() const { return updates_; }

 private:
  struct Subscription {
    std::string id;               // the browser's id, as JSON text
    std::vector<uint32_t> items;  // indices into AllItems()
    uint32_t every_ms = 0;
    bool changes = false;
    uint32_t seq = 0;
    bool ready = false;  // every item's value known
    double next_due = 0;
    std::vector<uint8_t> last;  // the items' bytes as last sent
  };
  struct Client {
    Send send;
    bool may_write = false;
    std::map<std::string, Subscription> subscriptions;
  };

  void Reply(Client& c, const std::string& message);
  void Error(Client& c, const std::string& id, const std::string& error);
  void Subscribe(Client& c, const std::string& id, const nlohmann::json& m);
  void Write(uint64_t client, Client& c, const std::string& id,
             const nlohmann::json& m);
  // Recomputes the merged ranges; with `proposed`, checks them first and
  // returns why they do not fit (nothing changes then).
  std::string Remerge(const Subscription* proposed = nullptr,
                      const Client* owner = nullptr,
                      const std::string* replaced = nullptr);
  // Checks and encodes a {"name": value} object into a batch. Returns the
  // error message and sets `status` on failure.
  std::string EncodeWrites(const nlohmann::json& values, bool may_write,
                           client::RequestBatch* batch, int* status);
  // Sends one subscription its update of `update`, if it is due.
  void Fan(Client& c, Subscription& s, const client::Update& update);
  const std::string& Fragment(uint32_t item);

  Upstream* upstream_;
  std::map<uint64_t, Client> clients_;
  uint64_t next_client_ = 1;
  uint64_t updates_ = 0;
  // The latest bytes of the offset space and which of them are known
  // (carried by an update since they were subscribed).
  std::vector<uint8_t> mirror_;
  std::vector<uint8_t> known_;
  std::vector<uint8_t> wanted_;
  std::vector<client::Range> ranges_;
  // `"name":value` of an item for the update being fanned out, made once
  // for every browser that sends it.
  std::vector<std::string> fragments_;
  std::vector<uint64_t> fragment_stamp_;
};

}  // namespace tarvos::web

#endif  // TARVOS_WEB_HUB_H_
