#include "transport/subscriptions.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "requests/read_refresh.h"
#include "transport/frame.h"

namespace tarvos {

struct ConnectionSubscriptions::Subscription {
  uint32_t id = 0;
  uint16_t every_ms = 0;
  bool changes_only = false;
  // Set once the answer has been sent: only then is it sampled.
  bool armed = false;
  // The first sample has been made; the grid of `every_ms` starts there.
  bool sampled = false;
  // The sender has taken the whole first snapshot.
  bool snapshot_sent = false;
  bool pending = false;
  // The ranges have been checked for read-time items.
  bool refresh_checked = false;
  double due = 0;  // next due time on the grid, for every_ms > 0
  uint32_t seq = 0;
  uint32_t frame = 0;  // of the pending update
  double time = 0;
  // Some range holds read-time items (known after the first sample).
  bool any_refresh = false;
  uint32_t total = 0;
  struct Slot {
    uint32_t offset;
    uint32_t size;
    uint32_t pos;  // where its bytes lie in `latest` and `sent`
    bool refresh;  // walk RefreshForRead before the copy
    bool changed;  // changes-only: differs from what was sent
  };
  std::vector<Slot> slots;      // the ranges, in the order subscribed
  std::vector<uint8_t> latest;  // the newest sample
  std::vector<uint8_t> sent;    // changes-only: what the client holds
};

namespace {

// Subscriptions of every connection, for the sampler's quick way out.
std::atomic<uint32_t> g_live{0};

// Moves on whenever some sender has something to do; every sender waits on
// it, so that the main thread wakes them all with one call however many
// there are. A sender woken for another connection's update looks at its
// own and waits again.
std::atomic<uint32_t> g_wake_epoch{0};

void WakeSenders() {
  g_wake_epoch.fetch_add(1);
  g_wake_epoch.notify_all();
}

struct Registry {
  std::mutex mu;
  std::vector<ConnectionSubscriptions*> connections;  // guarded by mu
};

// Never destroyed: a connection thread may still unregister while the
// library is being unloaded.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

// Host time is a float sum of frame steps: a due time this close counts as
// reached, so that 100 ms at 60 frames a second lands on every sixth frame.
constexpr double kDueSlack = 1e-4;

}  // namespace

ConnectionSubscriptions::ConnectionSubscriptions() = default;

ConnectionSubscriptions::~ConnectionSubscriptions() {
  std::lock_guard<std::mutex> hold(mu_);
  g_live.fetch_sub(static_cast<uint32_t>(subs_.size()));
}

SubscriptionStatus ConnectionSubscriptions::Subscribe(const uint8_t* area,
                                                      size_t len,
                                                      uint32_t* id) {
  SubscribeRequest request;
  const SubscriptionStatus parsed = ParseSubscribe(area, len, &request);
  *id = request.id;
  if (parsed != SubscriptionStatus::kDone) return parsed;

  auto sub = std::make_unique<Subscription>();
  sub->id = request.id;
  sub->every_ms = request.every_ms;
  sub->changes_only = request.changes_only;
  sub->total = request.total_bytes;
  sub->slots.reserve(request.ranges.size());
  uint32_t at = 0;
  for (const SubscribedRange& range : request.ranges) {
    sub->slots.push_back({range.offset, range.size, at, false, false});
    at += range.size;
  }
  sub->latest.assign(sub->total, 0);
  if (sub->changes_only) sub->sent.assign(sub->total, 0);

  std::lock_guard<std::mutex> hold(mu_);
  auto live = std::find_if(subs_.begin(), subs_.end(),
                           [&](const auto& s) { return s->id == sub->id; });
  const bool replacing = live != subs_.end();
  if (!replacing && subs_.size() >= kMaxSubscriptionsPerConnection) {
    return SubscriptionStatus::kTooManySubscriptions;
  }
  const uint32_t others = bytes_ - (replacing ? (*live)->total : 0);
  if (others + sub->total > kMaxConnectionSubscribedBytes) {
    return SubscriptionStatus::kTooManyBytes;
  }
  bytes_ = others + sub->total;
  if (replacing) {
    *live = std::move(sub);  // its pending update goes with it
  } else {
    subs_.push_back(std::move(sub));
    g_live.fetch_add(1);
  }
  return SubscriptionStatus::kDone;
}

void ConnectionSubscriptions::Arm(uint32_t id) {
  std::lock_guard<std::mutex> hold(mu_);
  for (auto& sub : subs_) {
    if (sub->id == id) sub->armed = true;
  }
}

SubscriptionStatus ConnectionSubscriptions::Unsubscribe(const uint8_t* area,
                                                        size_t len,
                                                        uint32_t* id) {
  *id = FrameIdOf(area, len);
  if (len != 4 || *id == 0) return SubscriptionStatus::kMalformed;
  return Remove(*id) ? SubscriptionStatus::kDone
                     : SubscriptionStatus::kUnknownId;
}

bool ConnectionSubscriptions::Remove(uint32_t id) {
  std::lock_guard<std::mutex> hold(mu_);
  auto live = std::find_if(subs_.begin(), subs_.end(),
                           [&](const auto& s) { return s->id == id; });
  if (live == subs_.end()) return false;
  bytes_ -= (*live)->total;
  subs_.erase(live);
  g_live.fetch_sub(1);
  return true;
}

bool ConnectionSubscriptions::HasLive() const {
  std::lock_guard<std::mutex> hold(mu_);
  return !subs_.empty();
}

uint32_t ConnectionSubscriptions::SubscribedBytes() const {
  std::lock_guard<std::mutex> hold(mu_);
  return bytes_;
}

bool ConnectionSubscriptions::Sample(uint32_t frame, double time) {
  bool woke = false;
  std::lock_guard<std::mutex> hold(mu_);
  for (auto& owned : subs_) {
    Subscription& sub = *owned;
    if (!sub.armed) continue;
    if (sub.sampled && sub.every_ms != 0 && time + kDueSlack < sub.due) {
      continue;
    }
    if (sub.every_ms != 0) {
      // The next slot of the grid after this frame; missed ones are
      // skipped.
      const double period = sub.every_ms / 1000.0;
      sub.due = (std::floor((time + kDueSlack) / period) + 1) * period;
    }
    if (!sub.refresh_checked) {
      for (Subscription::Slot& slot : sub.slots) {
        slot.refresh = RangeHasReadTimeItems(slot.offset, slot.size);
        sub.any_refresh |= slot.refresh;
      }
      sub.refresh_checked = true;
    }
    sub.sampled = true;
    if (sub.any_refresh) {
      for (const Subscription::Slot& slot : sub.slots) {
        if (slot.refresh) RefreshForRead(slot.offset, slot.size);
      }
    }
    uint8_t* latest = sub.latest.data();
    for (const Subscription::Slot& slot : sub.slots) {
      std::memcpy(latest + slot.pos, OffsetBlock + slot.offset, slot.size);
    }
    bool any_change = false;
    if (sub.changes_only && sub.snapshot_sent) {
      const uint8_t* sent = sub.sent.data();
      for (Subscription::Slot& slot : sub.slots) {
        slot.changed =
            std::memcmp(latest + slot.pos, sent + slot.pos, slot.size) != 0;
        any_change |= slot.changed;
      }
    }
    sub.frame = frame;
    sub.time = time;
    if (!sub.snapshot_sent || !sub.changes_only || any_change) {
      // Counted whether or not it is sent: a client that fell behind sees
      // seq jump. Until the sender has taken one, every update is whole.
      ++sub.seq;
      sub.pending = true;
    } else {
      // Back to what the client holds: nothing is left to tell it.
      sub.pending = false;
    }
    woke |= sub.pending;
  }
  if (woke) ready_ = true;
  return woke;
}

bool ConnectionSubscriptions::WaitForUpdates() {
  for (;;) {
    // Read before the flags: a wake-up that comes after the check below
    // has moved the epoch on, so the wait returns at once.
    const uint32_t epoch = g_wake_epoch.load();
    {
      std::lock_guard<std::mutex> hold(mu_);
      if (ready_ || stopped_) return !stopped_;
    }
    g_wake_epoch.wait(epoch);
  }
}

void ConnectionSubscriptions::TakeUpdates(std::vector<uint8_t>* out) {
  out->clear();
  std::lock_guard<std::mutex> hold(mu_);
  ready_ = false;
  for (auto& owned : subs_) {
    Subscription& sub = *owned;
    if (!sub.pending) continue;
    const bool whole = !sub.changes_only || !sub.snapshot_sent;
    size_t records = 0;
    size_t data = 0;
    for (const Subscription::Slot& slot : sub.slots) {
      if (whole || slot.changed) {
        ++records;
        data += slot.size;
      }
    }
    const size_t frame_size = UpdateFrameSize(records, data);
    const size_t area = frame_size - kFrameOverhead;
    const size_t start = out->size();
    out->resize(start + frame_size);
    uint8_t* p = out->data() + start;
    StoreU16(p, kFrameTypeUpdate);
    StoreU16(p + 2, static_cast<uint16_t>(area));
    p += kFrameHeaderSize;
    StoreU32(p, sub.id);
    StoreU32(p + 4, sub.seq);
    StoreU32(p + 8, sub.frame);
    StoreF64(p + 12, sub.time);
    StoreU16(p + 20, static_cast<uint16_t>(records));
    StoreU16(p + 22, 0);
    p += kUpdateHeaderSize;
    for (Subscription::Slot& slot : sub.slots) {
      if (!whole && !slot.changed) continue;
      const uint8_t* bytes = sub.latest.data() + slot.pos;
      StoreU32(p, slot.offset);
      StoreU16(p + 4, static_cast<uint16_t>(slot.size));
      std::memcpy(p + kUpdateRecordHeaderSize, bytes, slot.size);
      p += kUpdateRecordHeaderSize + slot.size;
      if (sub.changes_only) {
        std::memcpy(sub.sent.data() + slot.pos, bytes, slot.size);
        slot.changed = false;
      }
    }
    StoreU16(p, static_cast<uint16_t>(area));
    StoreU16(p + 2, kFrameTrailer);
    sub.pending = false;
    sub.snapshot_sent = true;
  }
}

void ConnectionSubscriptions::Stop() {
  {
    std::lock_guard<std::mutex> hold(mu_);
    stopped_ = true;
  }
  WakeSenders();
}

void RegisterSubscriptions(ConnectionSubscriptions* connection) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mu);
  registry.connections.push_back(connection);
}

void UnregisterSubscriptions(ConnectionSubscriptions* connection) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mu);
  auto& list = registry.connections;
  list.erase(std::remove(list.begin(), list.end(), connection), list.end());
}

void SampleSubscriptions(uint32_t frame, double time) {
  if (g_live.load(std::memory_order_relaxed) == 0) return;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mu);
  bool woke = false;
  {
    LockGuard<RecursiveLock> offsets(OffsetLock);
    for (ConnectionSubscriptions* connection : registry.connections) {
      woke |= connection->Sample(frame, time);
    }
  }
  // Outside OffsetLock: a wake-up is a system call.
  if (woke) WakeSenders();
}

}  // namespace tarvos
