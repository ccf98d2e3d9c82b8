// A TCP connection that also takes updates the server pushes: subscribe
// to ranges of the offset space, or to catalogue names, every frame, every
// n ms or on change only, and take the updates by polling the connection
// or on a thread of their own.
//
//   auto s = ConnectSession("127.0.0.1", 5193, &error);
//   NamedSubscription heading({"attitude.heading"}, &error);
//   heading.Subscribe(*s, 1, {.every_ms = 0}, &error);
//   Update u;
//   while (s->NextUpdate(&u, 1000, &error)) {
//     heading.Apply(u);
//     std::printf("%s\n", heading.Text(0).c_str());
//   }
//
// A server that predates pushed updates drops a subscribe without a word:
// Subscribe then fails after a second with kNoPushMessage, and a program
// goes on polling with Exchange.
//
// Threads: a session is used by one thread at a time; an UpdateThread
// takes it over for good.
#ifndef TARVOS_CLIENT_SESSION_H_
#define TARVOS_CLIENT_SESSION_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/connection.h"
#include "client/net_io.h"
#include "offsets/catalogue.h"

namespace tarvos::client {

struct Range {
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct UpdateRecord {
  uint32_t offset = 0;
  std::vector<uint8_t> bytes;
};

// One pushed update: everything in it comes from the same frame.
struct Update {
  uint32_t id = 0;
  uint32_t seq = 0;    // 1 first; a jump means updates were replaced
  uint32_t frame = 0;  // the plugin's frame count since it was enabled
  double time = 0;     // the simulator's elapsed seconds at that frame
  std::vector<UpdateRecord> records;
};

struct SubscribeOptions {
  uint16_t every_ms = 0;      // 0: every frame
  bool changes_only = false;  // after the first update, changed ranges only
};

// Per-connection limits of the server.
inline constexpr size_t kMaxRangesPerSubscription = 256;
inline constexpr size_t kMaxBytesPerSubscription = 16384;
// How long Subscribe waits for an answer before it takes the server for
// one without pushed updates.
inline constexpr int kSubscribeAnswerMs = 1000;
inline constexpr const char* kNoPushMessage =
    "the server does not push updates (no answer to a subscribe)";

// The words for an answer's status.
std::string SubscribeStatusText(uint32_t status);

class Session : public Connection {
 public:
  Session(NetSocket s, int timeout_ms) : s_(s), timeout_ms_(timeout_ms) {}
  ~Session() override;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // As Connection::Exchange; updates that arrive meanwhile are kept for
  // NextUpdate.
  bool Exchange(RequestBatch& batch, std::string* error) override;
  // Subscribes `ranges` as subscription `id` (a live id is replaced) and
  // waits for the answer. False with the reason in words.
  bool Subscribe(uint32_t id, const std::vector<Range>& ranges,
                 const SubscribeOptions& options, std::string* error);
  bool Unsubscribe(uint32_t id, std::string* error);
  // The next update, waiting up to `timeout_ms`. False with `error` empty
  // when none came in time, with a message when the connection failed.
  bool NextUpdate(Update* update, int timeout_ms, std::string* error);

 private:
  enum class Frame { kReply, kFailed, kAnswer, kUpdate };
  // Reads the next thing the server sends into `frame_`; the first byte is
  // waited for up to `first_ms`.
  bool ReadFrame(Frame* kind, int first_ms, std::string* error);
  bool WaitForAnswer(uint32_t id, uint32_t* status, int ms, std::string* error);
  // Keeps the update in frame_ for NextUpdate.
  void KeepUpdate();
  bool Unanswered(std::string* error) const;

  NetSocket s_;
  int timeout_ms_;
  bool answered_ = false;
  std::vector<uint8_t> frame_;
  std::deque<Update> queued_;
};

// Connects over TCP. Null with a friendly message on failure.
std::unique_ptr<Session> ConnectSession(const std::string& host, uint16_t port,
                                        std::string* error,
                                        int timeout_ms = kDefaultTimeoutMs);

// `ranges` split, in order, into as few subscriptions as the server's
// limits of ranges and bytes per subscription allow.
std::vector<std::vector<Range>> SplitForSubscriptions(
    const std::vector<Range>& ranges);

// Subscribes `ranges` in as many subscriptions (ids first_id, first_id + 1,
// ...) as the server's limits need; `ids` gets the ids used.
bool SubscribeRanges(Session& session, uint32_t first_id,
                     const std::vector<Range>& ranges,
                     const SubscribeOptions& options,
                     std::vector<uint32_t>* ids, std::string* error);

// Subscriptions by catalogue name: one range per name, split over as many
// subscriptions (ids id, id + 1, ...) as the server's limits need, and the
// latest value of every name as the updates tell it.
class NamedSubscription {
 public:
  // Resolves every name; on failure `error` says which and what is close.
  NamedSubscription(const std::vector<std::string>& names, std::string* error);

  bool Subscribe(Session& session, uint32_t first_id,
                 const SubscribeOptions& options, std::string* error);
  // Ids in use after Subscribe.
  const std::vector<uint32_t>& ids() const { return ids_; }

  // Takes in an update of one of its subscriptions; returns the indices of
  // the names it carried.
  std::vector<size_t> Apply(const Update& update);
  size_t size() const { return items_.size(); }
  const std::string& Name(size_t i) const { return names_[i]; }
  // The value in the row's unit, as tarvos-client prints it ("271.40 deg").
  std::string Text(size_t i) const;
  // The latest bytes of a name (zeros until an update carried it).
  const std::vector<uint8_t>& Bytes(size_t i) const { return bytes_[i]; }
  const CatalogueItem& Item(size_t i) const { return items_[i]; }

 private:
  std::vector<std::string> names_;
  std::vector<CatalogueItem> items_;
  std::vector<std::vector<uint8_t>> bytes_;
  std::vector<uint32_t> ids_;
};

// Takes a session over and hands every update to `on_update` on a thread of
// its own until it is destroyed or the connection fails (then `on_end` gets
// the message).
class UpdateThread {
 public:
  UpdateThread(std::unique_ptr<Session> session,
               std::function<void(const Update&)> on_update,
               std::function<void(const std::string&)> on_end = nullptr);
  ~UpdateThread();
  UpdateThread(const UpdateThread&) = delete;
  UpdateThread& operator=(const UpdateThread&) = delete;

 private:
  std::unique_ptr<Session> session_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_SESSION_H_
