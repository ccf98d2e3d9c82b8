// Push subscriptions of the TCP connections: what each connection has
// subscribed, the sampling of every due subscription at the end of a frame,
// and the pending updates its sender takes out.
//
// A connection owns one ConnectionSubscriptions. Its client thread installs
// and removes subscriptions; the simulator's main thread samples them once a
// frame (SampleSubscriptions), copying every due subscription's ranges out
// of OffsetBlock in one OffsetLock hold for all connections, so that
// everything one update carries comes from the same frame; the connection's
// sender thread takes the pending updates out as frames and sends them.
//
// Memory stays bounded by the subscribed bytes whatever the client does:
// each subscription keeps its newest sample and, for changes-only, the
// bytes last sent. A newer sample replaces an unsent one (the client sees
// seq jump); for changes-only it still carries every range that differs
// from what the client was last sent, so no change is lost.
//
// Threads and locks: each ConnectionSubscriptions has its own mutex, taken
// by the client thread, the sender and the main thread, never around a
// socket call. Lock order: the registry, then OffsetLock, then a
// connection's mutex.
#ifndef TARVOS_TRANSPORT_SUBSCRIPTIONS_H_
#define TARVOS_TRANSPORT_SUBSCRIPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base/locks.h"
#include "transport/subscription_wire.h"

namespace tarvos {

class ConnectionSubscriptions {
 public:
  ConnectionSubscriptions();
  ~ConnectionSubscriptions();
  ConnectionSubscriptions(const ConnectionSubscriptions&) = delete;
  ConnectionSubscriptions& operator=(const ConnectionSubscriptions&) = delete;

  // Client thread. Handles a subscribe area: on kDone the subscription is
  // installed (replacing a live one of the same id, whose pending update
  // is dropped) but not sampled until Arm. Anything else changes nothing.
  SubscriptionStatus Subscribe(const uint8_t* area, size_t len, uint32_t* id);
  // Client thread, once the answer is sent: the subscription `id` gets its
  // whole snapshot at the next frame end, then updates as it asked.
  void Arm(uint32_t id);
  // Client thread. Removes the subscription an unsubscribe area names.
  SubscriptionStatus Unsubscribe(const uint8_t* area, size_t len, uint32_t* id);
  // Removes the subscription `id`; false when there is none.
  bool Remove(uint32_t id);
  // Any subscription installed (such a connection is never idle).
  bool HasLive() const;
  // Subscribed bytes in all, for tests and the limits.
  uint32_t SubscribedBytes() const;

  // Main thread, from SampleSubscriptions. True when an update became
  // pending (the sender is to be woken).
  bool Sample(uint32_t frame, double time) REQUIRES(OffsetLock);
  // Sender: waits until an update is pending; false once Stop was called.
  bool WaitForUpdates();
  // Sender: replaces `out` with every pending update, one frame each, in
  // the order subscribed; empty when none is pending.
  void TakeUpdates(std::vector<uint8_t>* out);
  // Wakes the sender for good.
  void Stop();

 private:
  struct Subscription;
  mutable std::mutex mu_;
  std::vector<std::unique_ptr<Subscription>> subs_;  // guarded by mu_
  uint32_t bytes_ = 0;                               // guarded by mu_
  bool ready_ = false;                               // guarded by mu_
  bool stopped_ = false;                             // guarded by mu_
};

// The connections the main thread samples. A connection registers before
// its first subscribe and unregisters before it is destroyed; after
// UnregisterSubscriptions returns the sampler no longer touches it.
void RegisterSubscriptions(ConnectionSubscriptions* connection);
void UnregisterSubscriptions(ConnectionSubscriptions* connection);

// Main thread, at the end of every frame, after all the refresh work of
// that frame: samples every due subscription of every connection and wakes
// the senders that got an update. Costs one atomic load while nobody
// subscribes.
void SampleSubscriptions(uint32_t frame, double time) EXCLUDES(OffsetLock);

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_SUBSCRIPTIONS_H_
