#include "mqtt/gateway.h"

#include <algorithm>

#include "client/name_glob.h"
#include "client/named_field.h"
#include "client/plain_value.h"
#include "mqtt/topics.h"

namespace tarvos::mqtt {
namespace {

// Neighbouring names closer than this are subscribed as one range: a
// record's header in an update costs 6 bytes, more than the gap.
constexpr uint32_t kMergeGap = 6;
// Merged ranges stay this small, so that they pack well into
// subscriptions of kMaxBytesPerSubscription.
constexpr uint32_t kMaxMergedRange = 1024;

using Guard = LockGuard<Lock>;

}  // namespace

std::unique_ptr<Gateway> Gateway::Create(const GatewayOptions& options,
                                         std::function<void()> wake,
                                         std::string* error) {
  std::unique_ptr<Gateway> g(new Gateway(options, std::move(wake)));
  if (!g->Build(error)) return nullptr;
  return g;
}

bool Gateway::Build(std::string* error) {
  if (!ValidPrefix(options_.prefix)) {
    *error = "the prefix '" + options_.prefix +
             "' is no topic prefix (not empty, no '+' or '#', no '/' at "
             "either end)";
    return false;
  }
  std::vector<CatalogueItem> chosen =
      client::ItemsMatching(options_.publish, error);
  if (chosen.empty()) {
    if (error->empty()) *error = "no names to publish";
    return false;
  }
  if (!options_.writable.empty()) {
    std::vector<CatalogueItem> writable =
        client::ItemsMatching(options_.writable, error);
    if (writable.empty()) {
      *error = "--writable: " + *error;
      return false;
    }
    for (const CatalogueItem& item : writable) {
      writable_.emplace(client::ItemFullName(item), item);
    }
  }
  Guard hold(mu_);
  for (const CatalogueItem& item : chosen) {
    Item state;
    state.item = item;
    state.topic = ValueTopic(options_.prefix, client::ItemFullName(item));
    items_.push_back(std::move(state));
  }
  stats_.names = items_.size();
  // Ranges in offset order, neighbours and overlaps (aliases) merged.
  std::vector<size_t> order(items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return chosen[a].offset < chosen[b].offset;
  });
  for (size_t i : order) {
    const uint32_t begin = chosen[i].offset;
    const uint32_t end = begin + chosen[i].row->size;
    if (!spans_.empty()) {
      client::Range& last = spans_.back().range;
      const uint32_t merged = std::max(end, last.offset + last.size);
      if (begin <= last.offset + last.size + kMergeGap &&
          merged - last.offset <= kMaxMergedRange) {
        last.size = merged - last.offset;
        spans_.back().items.push_back(i);
        continue;
      }
    }
    spans_.push_back({{begin, end - begin}, {i}});
  }
  size_t bytes = 0;
  for (size_t s = 0; s < spans_.size(); ++s) {
    span_at_[spans_[s].range.offset] = s;
    bytes += spans_[s].range.size;
  }
  subscriptions_ = client::SplitForSubscriptions(Ranges()).size();
  if (bytes > kMaxConnectionBytes || subscriptions_ > kMaxSubscriptions) {
    *error = "the " + std::to_string(items_.size()) + " names chosen need " +
             std::to_string(bytes) + " bytes in " +
             std::to_string(subscriptions_) +
             " subscriptions; one connection takes at most 32,768 bytes in "
             "16: choose fewer names";
    return false;
  }
  return true;
}

std::vector<client::Range> Gateway::Ranges() const {
  std::vector<client::Range> ranges;
  for (const Span& s : spans_) ranges.push_back(s.range);
  return ranges;
}

void Gateway::Queue(size_t index) {
  if (index == StatusIndex()) {
    if (status_waiting_) return;
    status_waiting_ = true;
  } else {
    if (items_[index].waiting) return;
    items_[index].waiting = true;
  }
  outbox_.push_back(index);
}

void Gateway::QueueStatus(bool online) {
  online_ = online;
  // The status goes after the values queued before it, so that "online"
  // follows the fresh values.
  if (status_waiting_) {
    outbox_.erase(std::find(outbox_.begin(), outbox_.end(), StatusIndex()));
    status_waiting_ = false;
  }
  Queue(StatusIndex());
}

void Gateway::PluginUp() {
  Guard hold(mu_);
  plugin_up_ = true;
  snapshot_due_ = true;
}

void Gateway::PluginDown() {
  std::vector<Write> lost;
  {
    Guard hold(mu_);
    plugin_up_ = false;
    snapshot_due_ = false;
    QueueStatus(false);
    lost.swap(writes_);
    for (const Write& w : lost) Refuse(w.name, "plugin not connected");
  }
  if (wake_) wake_();
}

void Gateway::TakeUpdate(const client::Update& update) {
  {
    Guard hold(mu_);
    // A subscription's first update is its whole snapshot: sent again in
    // full, whatever was published before.
    const bool whole = update.seq == 1;
    for (const client::UpdateRecord& r : update.records) {
      auto found = span_at_.find(r.offset);
      if (found == span_at_.end()) continue;
      const Span& span = spans_[found->second];
      if (r.bytes.size() != span.range.size) continue;
      for (size_t i : span.items) {
        Item& it = items_[i];
        it.latest = client::PlainItemValue(
            it.item, r.bytes.data() + (it.item.offset - span.range.offset));
        it.known = true;
        if (whole || it.latest != it.published) Queue(i);
      }
    }
    if (snapshot_due_) {
      snapshot_due_ = false;
      QueueStatus(true);
    }
  }
  if (wake_) wake_();
}

std::vector<Write> Gateway::TakeWrites() {
  Guard hold(mu_);
  std::vector<Write> out;
  out.swap(writes_);
  return out;
}

void Gateway::WriteFailed(const Write& write, const std::string& reason) {
  {
    Guard hold(mu_);
    Refuse(write.name, reason);
  }
  if (wake_) wake_();
}

void Gateway::BrokerUp() {
  Guard hold(mu_);
  // Retained state on the broker may be gone or stale: all of it again.
  outbox_.clear();
  status_waiting_ = false;
  for (size_t i = 0; i < items_.size(); ++i) {
    items_[i].waiting = false;
    if (items_[i].known) Queue(i);
  }
  Queue(StatusIndex());
}

void Gateway::Refuse(const std::string& name, const std::string& reason) {
  ++stats_.refused;
  if (errors_.size() == kMaxErrorsWaiting) {
    errors_.pop_front();
    ++stats_.errors_dropped;
  }
  errors_.push_back({ErrorTopic(options_.prefix), name + ": " + reason, false});
}

std::string Gateway::CheckSet(const std::string& name, const std::string& text,
                              Write* write) {
  if (name.size() >= kMaxItemName) return "unknown name";
  CatalogueItem item;
  auto found = writable_.find(name);
  if (found != writable_.end()) {
    item = found->second;
  } else {
    item = FindCatalogueItem(name);
    if (item.row == nullptr) return "unknown name";
  }
  if (item.row->access == Access::kRead) {
    return "read-only (the plugin overwrites it with the simulator's value)";
  }
  if (found == writable_.end()) return "not writable here (not in --writable)";
  std::string reason = client::EncodeItemValue(item, text, &write->bytes);
  if (!reason.empty()) {
    // The name leads the error message already.
    const std::string own = " for " + name;
    const size_t at = reason.find(own);
    if (at != std::string::npos) reason.erase(at, own.size());
    return reason;
  }
  if (!plugin_up_) return "plugin not connected";
  write->name = name;
  write->offset = item.offset;
  return "";
}

void Gateway::OnSet(std::string_view topic, std::string_view payload) {
  {
    Guard hold(mu_);
    std::string name, text, reason;
    if (!NameOfSetTopic(options_.prefix, topic, &name)) {
      Refuse(std::string(topic), "no field name after set/");
    } else if (!SetPayloadText(payload, &text, &reason)) {
      Refuse(name, reason);
    } else {
      Write write;
      reason = CheckSet(name, text, &write);
      if (!reason.empty()) {
        Refuse(name, reason);
      } else {
        ++stats_.writes;
        auto same =
            std::find_if(writes_.begin(), writes_.end(),
                         [&](const Write& w) { return w.name == name; });
        if (same != writes_.end()) {
          *same = std::move(write);
        } else {
          writes_.push_back(std::move(write));
        }
        return;
      }
    }
  }
  if (wake_) wake_();
}

bool Gateway::TakeMessages(size_t max, std::vector<Message>* out) {
  Guard hold(mu_);
  size_t taken = 0;
  while (taken < max && !errors_.empty()) {
    out->push_back(std::move(errors_.front()));
    errors_.pop_front();
    ++taken;
  }
  while (taken < max && !outbox_.empty()) {
    const size_t i = outbox_.front();
    outbox_.pop_front();
    if (i == StatusIndex()) {
      status_waiting_ = false;
      out->push_back(
          {StatusTopic(options_.prefix), online_ ? "online" : "offline", true});
    } else {
      Item& it = items_[i];
      it.waiting = false;
      it.published = it.latest;
      out->push_back({it.topic, it.latest, true});
    }
    ++taken;
  }
  stats_.published += taken;
  return taken > 0;
}

GatewayStats Gateway::Stats() const {
  Guard hold(mu_);
  return stats_;
}

bool Gateway::PluginConnected() const {
  Guard hold(mu_);
  return plugin_up_;
}

}  // namespace tarvos::mqtt
