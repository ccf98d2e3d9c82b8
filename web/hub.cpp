#include "web/hub.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "client/named_field.h"
#include "transport/subscription_wire.h"
#include "web/value_codec.h"

namespace tarvos::web {
namespace {

using nlohmann::json;

constexpr uint32_t kSpace = client::kOffsetSpaceSize;
// Touching ranges are merged up to this size, so that the merged set keeps
// within the plugin's per-subscription bytes however it is split.
constexpr uint32_t kMergedRangeBytes = 4096;
constexpr uint32_t kMaxEveryMs = 3600000;

std::string Number(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

// "parse error at line 1, column 5: ..." without the library's tag.
std::string ParseErrorText(const std::string& what) {
  size_t at = what.find("] ");
  return at == std::string::npos ? what : what.substr(at + 2);
}

}  // namespace

std::vector<client::Range> MergeRanges(std::vector<client::Range> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const client::Range& a, const client::Range& b) {
              return a.offset < b.offset ||
                     (a.offset == b.offset && a.size > b.size);
            });
  std::vector<client::Range> out;
  for (client::Range r : ranges) {
    if (r.size == 0 || r.offset >= kSpace) continue;
    r.size = std::min(r.size, kSpace - r.offset);
    if (!out.empty()) {
      client::Range& last = out.back();
      const uint32_t end = last.offset + last.size;
      if (r.offset + r.size <= end) continue;  // inside the last one
      if (r.offset < end) {                    // overlaps: keep the rest
        r.size -= end - r.offset;
        r.offset = end;
      }
      if (r.offset == end && last.size + r.size <= kMergedRangeBytes) {
        last.size += r.size;
        continue;
      }
    }
    out.push_back(r);
  }
  return out;
}

std::string CheckUpstreamLimits(const std::vector<client::Range>& ranges) {
  size_t total = 0;
  for (const client::Range& r : ranges) total += r.size;
  const size_t parts = client::SplitForSubscriptions(ranges).size();
  if (total > kMaxConnectionSubscribedBytes) {
    return "the subscriptions of all browsers together would need " +
           std::to_string(total) + " bytes of the plugin's " +
           std::to_string(kMaxConnectionSubscribedBytes) +
           ": subscribe to fewer names";
  }
  if (parts > kMaxSubscriptionsPerConnection) {
    return "the subscriptions of all browsers together would need " +
           std::to_string(parts) + " subscriptions of the plugin's " +
           std::to_string(kMaxSubscriptionsPerConnection) +
           ": subscribe to fewer names";
  }
  return "";
}

Hub::Hub(Upstream* upstream)
    : upstream_(upstream),
      mirror_(kSpace, 0),
      known_(kSpace, 0),
      wanted_(kSpace, 0),
      fragments_(AllItems().size()),
      fragment_stamp_(AllItems().size(), ~uint64_t{0}) {}

uint64_t Hub::AddClient(Send send, bool may_write) {
  const uint64_t id = next_client_++;
  clients_[id] = Client{std::move(send), may_write, {}};
  return id;
}

void Hub::RemoveClient(uint64_t client) {
  auto it = clients_.find(client);
  if (it == clients_.end()) return;
  const bool had = !it->second.subscriptions.empty();
  clients_.erase(it);
  if (had) Remerge();
}

void Hub::Reply(Client& c, const std::string& message) { c.send(message); }

void Hub::Error(Client& c, const std::string& id, const std::string& error) {
  Reply(c,
        "{\"op\":\"error\",\"id\":" + id + ",\"error\":" + Dump(error) + "}");
}

void Hub::OnOversized(uint64_t client) {
  auto it = clients_.find(client);
  if (it == clients_.end()) return;
  Error(it->second, "null",
        "message over 64 KB (" + std::to_string(kMaxMessageBytes) +
            " bytes at most): not read");
}

void Hub::OnMessage(uint64_t client, std::string_view text) {
  auto it = clients_.find(client);
  if (it == clients_.end()) return;
  Client& c = it->second;
  if (text.size() > kMaxMessageBytes) {
    OnOversized(client);
    return;
  }
  json m;
  try {
    m = json::parse(text);
  } catch (const json::exception& e) {
    Error(c, "null", "malformed JSON: " + ParseErrorText(e.what()));
    return;
  }
  if (!m.is_object()) {
    Error(c, "null", "a message is a JSON object with an \"op\"");
    return;
  }
  std::string id = "null";
  if (auto i = m.find("id"); i != m.end()) {
    if (!i->is_number() && !i->is_string() && !i->is_null()) {
      Error(c, "null", "id is a number or a string");
      return;
    }
    id = Dump(*i);
  }
  auto op = m.find("op");
  if (op == m.end() || !op->is_string()) {
    Error(c, id,
          "a message needs an \"op\" (subscribe, unsubscribe, write, "
          "describe)");
    return;
  }
  const std::string& name = op->get_ref<const std::string&>();
  if (name == "subscribe") {
    Subscribe(c, id, m);
  } else if (name == "unsubscribe") {
    auto s = c.subscriptions.find(id);
    if (s == c.subscriptions.end()) {
      Error(c, id, "no subscription has the id " + id);
      return;
    }
    c.subscriptions.erase(s);
    Remerge();
    Reply(c, "{\"op\":\"unsubscribed\",\"id\":" + id + "}");
  } else if (name == "write") {
    Write(client, c, id, m);
  } else if (name == "describe") {
    std::string pattern;
    if (auto p = m.find("pattern"); p != m.end()) {
      if (!p->is_string()) {
        Error(c, id, "pattern is a string (a name with '*' wildcards)");
        return;
      }
      pattern = p->get<std::string>();
    }
    Reply(c, "{\"op\":\"catalogue\",\"id\":" + id +
                 ",\"rows\":" + Dump(CatalogueRows(pattern)) + "}");
  } else {
    Error(c, id,
          "unknown op " + Dump(*op) +
              " (subscribe, unsubscribe, write or describe)");
  }
}

void Hub::Subscribe(Client& c, const std::string& id, const json& m) {
  if (id == "null") {
    Error(c, id, "a subscription needs an id");
    return;
  }
  auto names = m.find("names");
  if (names == m.end() || !names->is_array() || names->empty()) {
    Error(c, id, "names is a list of names (globs with '*' allowed)");
    return;
  }
  std::vector<std::string> list;
  for (const json& n : *names) {
    if (!n.is_string()) {
      Error(c, id, "names is a list of names, not " + Dump(n));
      return;
    }
    list.push_back(n.get<std::string>());
  }
  Subscription s;
  s.id = id;
  if (auto e = m.find("every"); e != m.end()) {
    if (e->is_string() && e->get<std::string>() == "frame") {
      s.every_ms = 0;
    } else if (e->is_number() && e->get<double>() >= 1 &&
               e->get<double>() <= kMaxEveryMs) {
      s.every_ms = static_cast<uint32_t>(e->get<double>());
    } else {
      Error(c, id,
            "every is \"frame\" or a number of milliseconds (1 to " +
                std::to_string(kMaxEveryMs) + ")");
      return;
    }
  }
  if (auto ch = m.find("changes"); ch != m.end()) {
    if (!ch->is_boolean()) {
      Error(c, id, "changes is true or false");
      return;
    }
    s.changes = ch->get<bool>();
  }
  if (std::string error = ResolveNames(list, &s.items); !error.empty()) {
    Error(c, id, error);
    return;
  }
  const bool replaces = c.subscriptions.count(id) != 0;
  if (!replaces && c.subscriptions.size() >= kMaxClientSubscriptions) {
    Error(c, id,
          "a connection has at most " +
              std::to_string(kMaxClientSubscriptions) +
              " subscriptions: unsubscribe one first");
    return;
  }
  if (std::string error = Remerge(&s, &c, &id); !error.empty()) {
    Error(c, id, error);
    return;
  }
  size_t bytes = 0;
  json matched = json::array();
  for (uint32_t i : s.items) {
    bytes += AllItems()[i].item.row->size;
    matched.push_back(AllItems()[i].name);
  }
  if (s.changes) s.last.assign(bytes, 0);
  c.subscriptions[id] = std::move(s);
  Remerge();
  Reply(c, "{\"op\":\"subscribed\",\"id\":" + id +
               ",\"names\":" + Dump(matched) + "}");
}

std::string Hub::Remerge(const Subscription* proposed, const Client* owner,
                         const std::string* replaced) {
  std::vector<client::Range> ranges;
  auto add = [&](const Subscription& s) {
    for (uint32_t i : s.items) {
      const CatalogueItem& item = AllItems()[i].item;
      ranges.push_back({item.offset, item.row->size});
    }
  };
  for (const auto& [cid, c] : clients_) {
    for (const auto& [sid, s] : c.subscriptions) {
      if (proposed != nullptr && &c == owner && sid == *replaced) continue;
      add(s);
    }
  }
  if (proposed != nullptr) {
    add(*proposed);
    return CheckUpstreamLimits(MergeRanges(std::move(ranges)));
  }
  ranges = MergeRanges(std::move(ranges));
  std::vector<uint8_t> wanted(kSpace, 0);
  for (const client::Range& r : ranges) {
    std::fill_n(wanted.begin() + r.offset, r.size, 1);
  }
  // Bytes no longer subscribed go stale: a later subscriber waits for a
  // fresh value rather than being sent an old one as its first.
  for (uint32_t b = 0; b < kSpace; ++b) {
    if (!wanted[b]) known_[b] = 0;
  }
  wanted_ = std::move(wanted);
  const bool changed =
      ranges.size() != ranges_.size() ||
      !std::equal(ranges.begin(), ranges.end(), ranges_.begin(),
                  [](const client::Range& a, const client::Range& b) {
                    return a.offset == b.offset && a.size == b.size;
                  });
  ranges_ = std::move(ranges);
  if (changed) upstream_->Want(ranges_);
  return "";
}

void Hub::OnUpdate(const client::Update& update) {
  ++updates_;
  for (const client::UpdateRecord& r : update.records) {
    const size_t n = r.bytes.size();
    for (size_t k = 0; k < n && r.offset + k < kSpace; ++k) {
      const size_t b = r.offset + k;
      if (!wanted_[b]) continue;
      mirror_[b] = r.bytes[k];
      known_[b] = 1;
    }
  }
  for (auto& [cid, c] : clients_) {
    for (auto& [sid, s] : c.subscriptions) Fan(c, s, update);
  }
}

void Hub::OnUpstreamLost() {
  std::fill(known_.begin(), known_.end(), 0);
  for (auto& [cid, c] : clients_) {
    for (auto& [sid, s] : c.subscriptions) s.ready = false;
  }
}

const std::string& Hub::Fragment(uint32_t item) {
  if (fragment_stamp_[item] != updates_) {
    const NamedItem& n = AllItems()[item];
    std::string& f = fragments_[item];
    f.assign(1, '"');
    f += n.name;
    f += "\":";
    f += ValueJson(n.item, &mirror_[n.item.offset]);
    fragment_stamp_[item] = updates_;
  }
  return fragments_[item];
}

void Hub::Fan(Client& c, Subscription& s, const client::Update& update) {
  if (!s.ready) {
    for (uint32_t i : s.items) {
      const CatalogueItem& item = AllItems()[i].item;
      for (uint32_t b = 0; b < item.row->size; ++b) {
        if (!known_[item.offset + b]) return;
      }
    }
    s.ready = true;
  }
  if (s.every_ms != 0) {
    const double every = s.every_ms / 1000.0;
    if (s.seq > 0 && update.time + 0.0005 < s.next_due &&
        update.time + every >= s.next_due) {
      return;
    }
    // On schedule, or started afresh after a gap or a reset of the clock.
    const bool on_time = s.seq > 0 && update.time < s.next_due + every &&
                         update.time + every >= s.next_due;
    s.next_due = on_time ? s.next_due + every : update.time + every;
  }
  std::string msg;
  msg.reserve(64 + s.items.size() * 32);
  msg += "{\"op\":\"update\",\"id\":";
  msg += s.id;
  msg += ",\"seq\":";
  msg += std::to_string(s.seq + 1);
  msg += ",\"frame\":";
  msg += std::to_string(update.frame);
  msg += ",\"time\":";
  msg += std::isfinite(update.time) ? Number(update.time) : "null";
  msg += ",\"values\":{";
  bool any = false;
  size_t at = 0;
  for (uint32_t i : s.items) {
    const CatalogueItem& item = AllItems()[i].item;
    const uint8_t* now = &mirror_[item.offset];
    const uint32_t size = item.row->size;
    if (s.changes) {
      const bool same = s.seq > 0 && std::memcmp(now, &s.last[at], size) == 0;
      std::memcpy(&s.last[at], now, size);
      at += size;
      if (same) continue;
    }
    if (any) msg += ',';
    msg += Fragment(i);
    any = true;
  }
  // Nothing changed: nothing to send.
  if (s.changes && !any) return;
  msg += "}}";
  ++s.seq;
  Reply(c, msg);
}

void Hub::Write(uint64_t client, Client& c, const std::string& id,
                const json& m) {
  if (!c.may_write) {
    Error(c, id, "not allowed: this connection's token may only read");
    return;
  }
  auto values = m.find("values");
  if (values == m.end()) {
    Error(c, id, "a write needs \"values\": {\"name\": value, ...}");
    return;
  }
  auto batch = std::make_shared<client::RequestBatch>();
  int status = 0;
  if (std::string error = EncodeWrites(*values, true, batch.get(), &status);
      !error.empty()) {
    Error(c, id, error);
    return;
  }
  upstream_->Exchange(batch, [this, client, id](const std::string& error) {
    auto it = clients_.find(client);
    if (it == clients_.end()) return;
    if (!error.empty()) {
      Error(it->second, id, "the write did not reach the plugin: " + error);
    } else {
      Reply(it->second, "{\"op\":\"written\",\"id\":" + id + "}");
    }
  });
}

std::string Hub::EncodeWrites(const json& values, bool may_write,
                              client::RequestBatch* batch, int* status) {
  *status = 400;
  if (!may_write) {
    *status = 403;
    return "not allowed: this token may only read";
  }
  if (!values.is_object() || values.empty()) {
    return "values is an object of names and values: {\"name\": value}";
  }
  for (const auto& [name, value] : values.items()) {
    CatalogueItem item;
    if (std::string error = client::ResolveName(name, &item); !error.empty()) {
      *status = 404;
      return error;
    }
    if (std::string refusal = client::WriteRefusal(item); !refusal.empty()) {
      *status = 403;
      return refusal;
    }
    std::vector<uint8_t> bytes;
    if (std::string error = EncodeJsonValue(item, value, &bytes);
        !error.empty()) {
      return error;
    }
    batch->AddWrite(item.offset, bytes);
    if (batch->RecordAreaSize() > client::kMaxRecordArea) {
      *status = 413;
      return "too many values for one write";
    }
  }
  if (!upstream_->connected()) {
    *status = 503;
    return "not connected to the plugin";
  }
  return "";
}

void Hub::ReadValues(const std::vector<std::string>& names, ReadDone done) {
  if (names.empty()) {
    done(400, "names=a,b lists the names to read");
    return;
  }
  std::vector<uint32_t> items;
  if (std::string error = ResolveNames(names, &items); !error.empty()) {
    done(404, error);
    return;
  }
  auto batch = std::make_shared<client::RequestBatch>();
  for (uint32_t i : items) {
    const CatalogueItem& item = AllItems()[i].item;
    batch->AddRead(item.offset, item.row->size);
    if (batch->RecordAreaSize() > client::kMaxRecordArea) {
      done(413, "too many names for one read");
      return;
    }
  }
  if (!upstream_->connected()) {
    done(503, "not connected to the plugin");
    return;
  }
  upstream_->Exchange(batch, [batch, items, done](const std::string& error) {
    if (!error.empty()) {
      done(503, "the read did not reach the plugin: " + error);
      return;
    }
    std::string body = "{\"values\":{";
    for (size_t k = 0; k < items.size(); ++k) {
      const NamedItem& n = AllItems()[items[k]];
      if (k > 0) body += ',';
      body += '"' + n.name + "\":" + ValueJson(n.item, batch->Data(k));
    }
    body += "}}";
    done(200, body);
  });
}

void Hub::WriteValues(const json& values, ReadDone done) {
  auto batch = std::make_shared<client::RequestBatch>();
  int status = 0;
  if (std::string error = EncodeWrites(values, true, batch.get(), &status);
      !error.empty()) {
    done(status, error);
    return;
  }
  json names = json::array();
  for (const auto& [name, value] : values.items()) names.push_back(name);
  upstream_->Exchange(batch, [names, done](const std::string& error) {
    if (!error.empty()) {
      done(503, "the write did not reach the plugin: " + error);
    } else {
      done(200, "{\"written\":" + Dump(names) + "}");
    }
  });
}

}  // namespace tarvos::web
