#include "bridge/bridge.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <vector>

#include "bridge/forward.h"
#include "offsets/coding.h"

namespace tarvos::bridge {

Bridge::Bridge(BridgeOptions options, LogFn log)
    : options_(std::move(options)), log_(std::move(log)) {}

Bridge::~Bridge() { Stop(); }

bool Bridge::Start(std::string* error) {
  if (running_.exchange(true)) return true;
  endpoint_ = IpcEndpoint::Make();
  // The promise lives in the thread: Start may return (and its frame go)
  // while the thread is still inside set_value.
  std::promise<bool> offered;
  std::future<bool> offered_result = offered.get_future();
  endpoint_thread_ =
      std::thread([this, offered = std::move(offered)]() mutable {
        const IpcEndpoint::OpenSteps steps = endpoint_->Open(options_.endpoint);
        const bool ok = steps.class_registered && steps.window_created &&
                        steps.message_registered;
        offered.set_value(ok);
        if (ok) {
          endpoint_->Run([this](std::string_view name) { return Serve(name); });
        }
        endpoint_->Close();
      });
  if (!offered_result.get()) {
    endpoint_thread_.join();
    endpoint_.reset();
    running_.store(false);
    *error = "cannot offer the local endpoint '" + options_.endpoint +
             "': a simulator with the plugin, or another bridge, holds it on "
             "this computer (use --endpoint NAME for another name)";
    return false;
  }
  log_("offering the local endpoint '" + options_.endpoint +
       "', forwarding to " + options_.host + ":" +
       std::to_string(options_.port));
  connector_ = std::thread([this] { ConnectLoop(); });
  return true;
}

void Bridge::Stop() {
  if (!running_.exchange(false)) return;
  {
    std::lock_guard<std::mutex> hold(mu_);
    changed_.notify_all();
  }
  endpoint_->Quit();
  endpoint_thread_.join();
  connector_.join();
  std::lock_guard<std::mutex> hold(mu_);
  CloseSocket(socket_);
  socket_ = kNoSocket;
  stats_.connected = false;
  endpoint_.reset();
  log_("stopped");
}

BridgeStats Bridge::Stats() const {
  std::lock_guard<std::mutex> hold(mu_);
  return stats_;
}

void Bridge::ConnectLoop() {
  int pause_ms = options_.first_retry_ms;
  std::string last_error;
  std::unique_lock<std::mutex> lock(mu_);
  while (running_.load()) {
    if (socket_ != kNoSocket) {
      // Connected: wait until the connection is given up or we stop.
      changed_.wait(
          lock, [this] { return socket_ == kNoSocket || !running_.load(); });
      pause_ms = options_.first_retry_ms;
      continue;
    }
    lock.unlock();
    std::string error;
    NetSocket s = DialTcp(options_.host, options_.port, 2000, &error);
    lock.lock();
    if (s != kNoSocket) {
      if (!running_.load()) {
        CloseSocket(s);
        break;
      }
      socket_ = s;
      stats_.connected = true;
      ++stats_.connects;
      last_error.clear();
      log_("connected to " + options_.host + ":" +
           std::to_string(options_.port));
      continue;
    }
    if (error != last_error) log_(error + "; trying again");
    last_error = error;
    changed_.wait_for(lock, std::chrono::milliseconds(pause_ms),
                      [this] { return !running_.load(); });
    pause_ms = std::min(pause_ms * 2, options_.longest_retry_ms);
  }
}

void Bridge::Disconnect(NetSocket s, const std::string& why) {
  std::lock_guard<std::mutex> hold(mu_);
  if (socket_ == s) {
    CloseSocket(socket_);
    socket_ = kNoSocket;
    stats_.connected = false;
    log_("connection lost: " + why);
    changed_.notify_all();
  }
}

bool Bridge::ExchangeGroup(NetSocket s, uint8_t* batch, size_t begin,
                           size_t end, bool* rejected) {
  const Group group{begin, end};
  std::vector<uint8_t> frame = RequestFrame(batch, group);
  std::string error;
  if (!SendAll(s, frame.data(), frame.size(), options_.reply_timeout_ms,
               &error)) {
    Disconnect(s, error);
    return false;
  }
  // A batch the server refused is answered with the single byte 0; a served
  // one starts with the type word 2.
  std::vector<uint8_t> reply(frame.size());
  if (!ReceiveExactly(s, reply.data(), 1, options_.reply_timeout_ms, &error)) {
    Disconnect(s, error);
    return false;
  }
  if (reply[0] == 0) {
    *rejected = true;
    return true;
  }
  if (!ReceiveExactly(s, reply.data() + 1, 3, options_.reply_timeout_ms,
                      &error)) {
    Disconnect(s, error);
    return false;
  }
  // A reply of another length than the request cannot be told apart from
  // the next one: the stream is out of step and is given up.
  if (LoadU16(reply.data() + 2) + size_t{8} != reply.size()) {
    Disconnect(s, "a reply of the wrong length");
    return false;
  }
  if (!ReceiveExactly(s, reply.data() + 4, reply.size() - 4,
                      options_.reply_timeout_ms, &error)) {
    Disconnect(s, error);
    return false;
  }
  if (!ApplyReply(reply.data(), reply.size(), batch, group)) {
    Disconnect(s, "a reply that does not match its request");
    return false;
  }
  return true;
}

int Bridge::Serve(std::string_view batch_name) {
  NetSocket s;
  {
    std::lock_guard<std::mutex> hold(mu_);
    s = socket_;
  }
  auto count = [this](int answer, double ms, uint64_t frames) {
    std::lock_guard<std::mutex> hold(mu_);
    (answer == 1 ? stats_.forwarded : stats_.answered_zero) += 1;
    stats_.frames += frames;
    if (frames > 0) stats_.last_round_trip_ms = ms;
    return answer;
  };
  // Disconnected: answer at once rather than keep the client waiting.
  if (s == kNoSocket) return count(0, 0, 0);
  std::unique_ptr<NamedBatch> named = NamedBatch::Open(batch_name);
  uint8_t* data = nullptr;
  size_t size = 0;
  if (named == nullptr || !named->Map(&data, &size)) return count(0, 0, 0);
  const auto start = std::chrono::steady_clock::now();
  const Plan plan = PlanBatch(data, size);
  bool ok = plan.complete;
  uint64_t frames = 0;
  for (const Group& g : plan.groups) {
    bool rejected = false;
    ++frames;
    if (!ExchangeGroup(s, data, g.begin, g.end, &rejected)) {
      ok = false;
      break;
    }
    if (rejected) {
      ok = false;
      break;
    }
  }
  named->Finish(size);
  const double ms = std::chrono::duration<double, std::milli>(
                        std::chrono::steady_clock::now() - start)
                        .count();
  return count(ok ? 1 : 0, ms, frames);
}

}  // namespace tarvos::bridge
