// The state between the plugin and the broker: the names published, their
// latest values as text, what goes out to the broker next, and the writes
// that come back on set topics.
//
// Outgoing messages are conflated: each topic has at most one message
// waiting (its latest value), in the order the values changed, so a broker
// that is slow or away costs neither memory nor the plugin side anything,
// and nothing current is lost. Errors on the error topic are kept up to
// kMaxErrorsWaiting, the oldest dropped. Writes waiting for the plugin are
// conflated by name the same way.
//
// Threads: every public method takes `mu_`; the plugin thread calls the
// Plugin* and update/write methods, the broker thread the Broker*/OnSet/
// TakeMessages ones. `wake` (given at construction) is called after
// anything was queued for the broker, outside the lock.
#ifndef TARVOS_MQTT_GATEWAY_H_
#define TARVOS_MQTT_GATEWAY_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/locks.h"
#include "base/thread_annotations.h"
#include "client/session.h"
#include "offsets/catalogue.h"

namespace tarvos::mqtt {

inline constexpr size_t kMaxErrorsWaiting = 64;
// The TARNET limits of one connection the subscriptions must fit in.
inline constexpr size_t kMaxSubscriptions = 16;
inline constexpr size_t kMaxConnectionBytes = 32768;

struct GatewayOptions {
  std::string prefix = "tarvos";
  std::vector<std::string> publish;   // name patterns
  std::vector<std::string> writable;  // name patterns; empty: none
};

struct Message {
  std::string topic;
  std::string payload;
  bool retain = false;
};

struct Write {
  std::string name;
  uint32_t offset = 0;
  std::vector<uint8_t> bytes;
};

struct GatewayStats {
  size_t names = 0;
  uint64_t published = 0;  // messages handed to the broker side
  uint64_t writes = 0;     // writes handed to the plugin side
  uint64_t refused = 0;    // set messages answered on the error topic
  uint64_t errors_dropped = 0;
};

class Gateway {
 public:
  // Null with the reason when a pattern matches nothing, the prefix is
  // unusable or the names do not fit one TARNET connection.
  static std::unique_ptr<Gateway> Create(const GatewayOptions& options,
                                         std::function<void()> wake,
                                         std::string* error);

  // The ranges to subscribe: the names' bytes, neighbours merged, within
  // kMaxSubscriptions subscriptions of the server's limits.
  std::vector<client::Range> Ranges() const;
  size_t Subscriptions() const { return subscriptions_; }
  const std::string& Prefix() const { return options_.prefix; }

  // --- plugin side
  // A new TARNET connection with its subscriptions: the next whole
  // snapshot is published again in full and then the status "online".
  void PluginUp();
  // The connection is gone: status "offline"; writes still waiting are
  // refused with "plugin not connected".
  void PluginDown();
  void TakeUpdate(const client::Update& update);
  // Writes waiting, oldest first; the waiting list is emptied.
  std::vector<Write> TakeWrites();
  void WriteFailed(const Write& write, const std::string& reason);

  // --- broker side
  // A new broker connection: every value known and the status go out again.
  void BrokerUp();
  // A message on a set topic.
  void OnSet(std::string_view topic, std::string_view payload);
  // Moves up to `max` waiting messages to `out` (appended); false when none
  // was waiting.
  bool TakeMessages(size_t max, std::vector<Message>* out);

  GatewayStats Stats() const;
  bool PluginConnected() const;

 private:
  struct Item {
    CatalogueItem item;
    std::string topic;
    std::string latest;     // text of the latest value; "" until known
    std::string published;  // text last handed to the broker side
    bool known = false;
    bool waiting = false;  // in outbox_
  };
  // A subscribed range and the items inside it.
  struct Span {
    client::Range range;
    std::vector<size_t> items;
  };
  // Index of the status in outbox_ (items are 0 .. items_.size() - 1).
  size_t StatusIndex() const REQUIRES(mu_) { return items_.size(); }

  Gateway(const GatewayOptions& options, std::function<void()> wake)
      : options_(options), wake_(std::move(wake)) {}
  bool Build(std::string* error);
  void Queue(size_t index) REQUIRES(mu_);
  void QueueStatus(bool online) REQUIRES(mu_);
  void Refuse(const std::string& name, const std::string& reason) REQUIRES(mu_);
  // The reason a set of `name` to `text` is refused, or "" with `write`
  // filled.
  std::string CheckSet(const std::string& name, const std::string& text,
                       Write* write) REQUIRES(mu_);

  const GatewayOptions options_;
  const std::function<void()> wake_;
  // Fixed after Create, read without the lock.
  std::vector<Span> spans_;
  std::unordered_map<uint32_t, size_t> span_at_;  // range offset -> span
  std::unordered_map<std::string, CatalogueItem> writable_;
  size_t subscriptions_ = 0;

  mutable Lock mu_;
  std::vector<Item> items_ GUARDED_BY(mu_);
  std::deque<size_t> outbox_ GUARDED_BY(mu_);  // items_ indices, StatusIndex
  bool status_waiting_ GUARDED_BY(mu_) = false;
  bool online_ GUARDED_BY(mu_) = false;
  bool plugin_up_ GUARDED_BY(mu_) = false;
  bool snapshot_due_ GUARDED_BY(mu_) = false;  // first update after PluginUp
  std::deque<Message> errors_ GUARDED_BY(mu_);
  std::vector<Write> writes_ GUARDED_BY(mu_);
  GatewayStats stats_ GUARDED_BY(mu_);
};

}  // namespace tarvos::mqtt

#endif  // TARVOS_MQTT_GATEWAY_H_
