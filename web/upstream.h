// The gateway's one TARNET connection to the plugin, on a thread of its
// own: it subscribes the ranges the hub wants (every frame, in as many
// subscriptions as the plugin's limits need), runs reads and writes, hands
// every frame's update on as one, and when the plugin goes away connects
// again with a growing pause (1 s up to 5 s) and subscribes again.
//
// Everything it reports goes through `post`, which runs it on the hub's
// thread; it never waits for that thread, and drops updates (never
// anything else) while too many are still waiting there.
#ifndef TARVOS_WEB_UPSTREAM_H_
#define TARVOS_WEB_UPSTREAM_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/session.h"
#include "web/hub.h"

namespace tarvos::web {

class UpstreamLink : public Upstream {
 public:
  using Post = std::function<void(std::function<void()>)>;
  struct Events {
    std::function<void(const client::Update&)> update;
    std::function<void(bool connected, const std::string& why)> state;
  };
  UpstreamLink(std::string host, uint16_t port, Post post, Events events);
  ~UpstreamLink() override;
  UpstreamLink(const UpstreamLink&) = delete;
  UpstreamLink& operator=(const UpstreamLink&) = delete;

  void Start();
  void Stop();

  void Want(const std::vector<client::Range>& ranges) override;
  void Exchange(std::shared_ptr<client::RequestBatch> batch,
                Done done) override;
  bool connected() const override { return connected_.load(); }
  // Why the last connection attempt failed or the connection ended.
  std::string last_error() const;
  // Updates dropped because the hub's thread was behind.
  uint64_t dropped() const { return dropped_.load(); }

 private:
  struct Job {
    std::shared_ptr<client::RequestBatch> batch;
    Done done;
  };
  void Run();
  void Lost(const std::string& why);
  bool Resubscribe(const std::vector<client::Range>& ranges,
                   std::string* error);
  void Gather(client::Update& u);
  void Flush();
  void Finish(Job& job, const std::string& error);

  const std::string host_;
  const uint16_t port_;
  Post post_;
  Events events_;

  mutable std::mutex mu_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool want_changed_ = false;
  std::vector<client::Range> want_;
  std::deque<Job> jobs_;
  std::string last_error_;

  std::atomic<bool> connected_{false};
  std::atomic<int> in_flight_{0};
  std::atomic<uint64_t> dropped_{0};
  std::thread thread_;

  // The thread's own.
  std::unique_ptr<client::Session> session_;
  std::vector<uint32_t> ids_;
  bool pending_ = false;
  client::Update gathered_;
  std::vector<uint32_t> reported_;
};

}  // namespace tarvos::web

#endif  // TARVOS_WEB_UPSTREAM_H_
