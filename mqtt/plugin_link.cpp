#include "mqtt/plugin_link.h"

#include <algorithm>
#include <chrono>

#include "client/batch.h"

namespace tarvos::mqtt {

PluginLink::PluginLink(PluginOptions options, Gateway& gateway, LogFn log)
    : options_(std::move(options)), gateway_(gateway), log_(std::move(log)) {}

PluginLink::~PluginLink() { Stop(); }

void PluginLink::Start() {
  running_.store(true);
  thread_ = std::thread([this] { Run(); });
}

void PluginLink::Stop() {
  {
    std::lock_guard<std::mutex> hold(pause_mu_);
    if (!running_.exchange(false)) return;
  }
  pause_cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PluginLink::Pause(int ms) {
  std::unique_lock<std::mutex> hold(pause_mu_);
  pause_cv_.wait_for(hold, std::chrono::milliseconds(ms),
                     [this] { return !running_.load(); });
}

bool PluginLink::SendWrites(client::Session& session, std::string* error) {
  std::vector<Write> writes = gateway_.TakeWrites();
  if (writes.empty()) return true;
  client::RequestBatch batch;
  for (const Write& w : writes) batch.AddWrite(w.offset, w.bytes);
  if (session.Exchange(batch, error)) return true;
  for (const Write& w : writes) {
    gateway_.WriteFailed(
        w, "plugin not connected (the write was lost: " + *error + ")");
  }
  return false;
}

void PluginLink::Serve(client::Session& session) {
  std::string error;
  client::Update update;
  while (running_.load()) {
    if (!SendWrites(session, &error)) break;
    if (session.NextUpdate(&update, options_.write_poll_ms, &error)) {
      gateway_.TakeUpdate(update);
    } else if (!error.empty()) {
      break;
    }
  }
  if (running_.load()) log_("lost the plugin: " + error);
}

void PluginLink::Run() {
  int delay_ms = options_.first_retry_ms;
  std::string last_error;
  const std::string where = options_.host + ":" + std::to_string(options_.port);
  while (running_.load()) {
    std::string error;
    std::unique_ptr<client::Session> session =
        client::ConnectSession(options_.host, options_.port, &error, 2000);
    std::vector<uint32_t> ids;
    if (session != nullptr &&
        client::SubscribeRanges(
            *session, 1, gateway_.Ranges(),
            {.every_ms = options_.every_ms, .changes_only = true}, &ids,
            &error)) {
      log_("connected to the plugin at " + where + " (" +
           std::to_string(ids.size()) + " subscriptions)");
      last_error.clear();
      delay_ms = options_.first_retry_ms;
      gateway_.PluginUp();
      connected_.store(true);
      Serve(*session);
      connected_.store(false);
      gateway_.PluginDown();
    } else if (error != last_error) {
      // Said once for as long as it stays the same.
      log_("cannot reach the plugin at " + where + ": " + error +
           "; trying again");
      last_error = error;
    }
    session.reset();
    Pause(delay_ms);
    delay_ms = std::min(delay_ms * 2, options_.longest_retry_ms);
  }
}

}  // namespace tarvos::mqtt
