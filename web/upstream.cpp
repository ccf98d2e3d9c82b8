#include "web/upstream.h"

#include <algorithm>
#include <chrono>

namespace tarvos::web {
namespace {

// Updates that may wait for the hub's thread at once; beyond them a frame
// is left out (the next one carries every value anyway).
constexpr int kMaxUpdatesInFlight = 8;
constexpr int kConnectTimeoutMs = 2000;
// How long the thread waits for an update before it looks for reads and
// writes to run.
constexpr int kPollMs = 5;

}  // namespace

UpstreamLink::UpstreamLink(std::string host, uint16_t port, Post post,
                           Events events)
    : host_(std::move(host)),
      port_(port),
      post_(std::move(post)),
      events_(std::move(events)) {}

UpstreamLink::~UpstreamLink() { Stop(); }

void UpstreamLink::Start() {
  thread_ = std::thread([this] { Run(); });
}

void UpstreamLink::Stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void UpstreamLink::Want(const std::vector<client::Range>& ranges) {
  std::lock_guard<std::mutex> lock(mu_);
  want_ = ranges;
  want_changed_ = true;
}

void UpstreamLink::Exchange(std::shared_ptr<client::RequestBatch> batch,
                            Done done) {
  std::lock_guard<std::mutex> lock(mu_);
  jobs_.push_back({std::move(batch), std::move(done)});
}

std::string UpstreamLink::last_error() const {
  std::lock_guard<std::mutex> lock(mu_);
  return last_error_;
}

void UpstreamLink::Finish(Job& job, const std::string& error) {
  post_([done = std::move(job.done), error] { done(error); });
}

void UpstreamLink::Lost(const std::string& why) {
  session_.reset();
  ids_.clear();
  pending_ = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    last_error_ = why;
  }
  if (connected_.exchange(false)) {
    post_([state = events_.state, why] { state(false, why); });
  }
}

bool UpstreamLink::Resubscribe(const std::vector<client::Range>& ranges,
                               std::string* error) {
  std::vector<uint32_t> ids;
  if (!ranges.empty() &&
      !client::SubscribeRanges(*session_, 1, ranges, {0, false}, &ids, error)) {
    return false;
  }
  for (uint32_t old : ids_) {
    if (std::find(ids.begin(), ids.end(), old) != ids.end()) continue;
    if (!session_->Unsubscribe(old, error)) return false;
  }
  ids_ = std::move(ids);
  pending_ = false;
  return true;
}

void UpstreamLink::Gather(client::Update& u) {
  if (std::find(ids_.begin(), ids_.end(), u.id) == ids_.end()) return;
  if (pending_ && u.frame != gathered_.frame) Flush();
  if (!pending_) {
    gathered_.id = 0;
    gathered_.seq = u.seq;
    gathered_.frame = u.frame;
    gathered_.time = u.time;
    gathered_.records.clear();
    reported_.clear();
    pending_ = true;
  }
  for (client::UpdateRecord& r : u.records) {
    gathered_.records.push_back(std::move(r));
  }
  if (std::find(reported_.begin(), reported_.end(), u.id) == reported_.end()) {
    reported_.push_back(u.id);
  }
  if (reported_.size() >= ids_.size()) Flush();
}

void UpstreamLink::Flush() {
  pending_ = false;
  if (in_flight_.load() >= kMaxUpdatesInFlight) {
    dropped_.fetch_add(1);
    return;
  }
  in_flight_.fetch_add(1);
  auto update = std::make_shared<client::Update>(std::move(gathered_));
  gathered_ = client::Update();
  post_([this, update] {
    in_flight_.fetch_sub(1);
    events_.update(*update);
  });
}

void UpstreamLink::Run() {
  auto pause = std::chrono::seconds(1);
  for (;;) {
    std::deque<Job> jobs;
    bool resubscribe = false;
    std::vector<client::Range> ranges;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (stop_) break;
      jobs.swap(jobs_);
      if (want_changed_ && session_) {
        ranges = want_;
        want_changed_ = false;
        resubscribe = true;
      }
    }
    if (!session_) {
      for (Job& job : jobs) Finish(job, "not connected to the plugin");
      std::string error;
      auto s = client::ConnectSession(host_, port_, &error, kConnectTimeoutMs);
      if (!s) {
        {
          std::lock_guard<std::mutex> lock(mu_);
          last_error_ = error;
        }
        std::unique_lock<std::mutex> lock(mu_);
        wake_.wait_for(lock, pause, [this] { return stop_; });
        pause = std::min(pause * 2, std::chrono::seconds(5));
        continue;
      }
      session_ = std::move(s);
      pause = std::chrono::seconds(1);
      {
        std::lock_guard<std::mutex> lock(mu_);
        last_error_.clear();
        want_changed_ = true;  // subscribe what is wanted, afresh
      }
      connected_.store(true);
      post_([state = events_.state] { state(true, ""); });
      continue;
    }
    std::string error;
    if (resubscribe && !Resubscribe(ranges, &error)) {
      for (Job& job : jobs) Finish(job, error);
      Lost(error);
      continue;
    }
    bool failed = false;
    for (Job& job : jobs) {
      if (failed) {
        Finish(job, error);
      } else if (session_->Exchange(*job.batch, &error)) {
        Finish(job, "");
      } else {
        failed = true;
        Finish(job, error);
      }
    }
    if (failed) {
      Lost(error);
      continue;
    }
    client::Update u;
    if (session_->NextUpdate(&u, kPollMs, &error)) {
      Gather(u);
    } else if (!error.empty()) {
      Lost(error);
    }
  }
  session_.reset();
}

}  // namespace tarvos::web
