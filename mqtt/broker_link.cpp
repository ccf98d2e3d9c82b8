// Every libmosquitto call of a client happens on its BrokerLink's thread:
// the library's network loop is driven here by hand, with our own wake-up
// beside the socket, so that other threads never enter the library.
#include "mqtt/broker_link.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "mqtt/topics.h"

namespace tarvos::mqtt {
namespace {

// Messages handed to the library and not yet sent or acknowledged, above
// which publishing waits for the broker.
constexpr int kMaxOutstanding = 1000;
// Messages taken from the gateway at a time.
constexpr size_t kBatch = 256;
// A broker that has not answered a connect within this long is tried again.
constexpr auto kConnectTimeout = std::chrono::seconds(10);
// Longest sleep in the loop: keep-alive pings are due every few seconds.
constexpr int kLoopMs = 500;

// The library's global set-up, once per process.
void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string Reason(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
  return mosquitto_strerror(rc);
}

}  // namespace

BrokerLink::BrokerLink(BrokerOptions options, Gateway& gateway, LogFn log)
    : options_(std::move(options)), gateway_(gateway), log_(std::move(log)) {}

BrokerLink::~BrokerLink() {
  Stop();
  if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

bool BrokerLink::Start(std::string* error) {
  InitLibrary();
  const char* id =
      options_.client_id.empty() ? nullptr : options_.client_id.c_str();
  mosq_ = mosquitto_new(id, true, this);
  if (mosq_ == nullptr) {
    *error = "cannot make an MQTT client: " + std::string(std::strerror(errno));
    return false;
  }
  mosquitto_connect_callback_set(mosq_, &BrokerLink::OnConnect);
  mosquitto_message_callback_set(mosq_, &BrokerLink::OnMessage);
  mosquitto_publish_callback_set(mosq_, &BrokerLink::OnPublish);
  const std::string status = StatusTopic(gateway_.Prefix());
  int rc = mosquitto_will_set(mosq_, status.c_str(), 7, "offline", options_.qos,
                              true);
  if (rc == MOSQ_ERR_SUCCESS && !options_.username.empty()) {
    rc = mosquitto_username_pw_set(mosq_, options_.username.c_str(),
                                   options_.password.c_str());
  }
  if (rc == MOSQ_ERR_SUCCESS && !options_.ca_file.empty()) {
    rc = mosquitto_tls_set(mosq_, options_.ca_file.c_str(), nullptr, nullptr,
                           nullptr, nullptr);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    *error = "the MQTT library refused the settings: " + Reason(rc);
    return false;
  }
  running_.store(true);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void BrokerLink::Stop() {
  if (!running_.exchange(false)) return;
  wakeup_.Signal();
  if (thread_.joinable()) thread_.join();
}

void BrokerLink::OnConnect(mosquitto* mosq, void* self, int rc) {
  auto* link = static_cast<BrokerLink*>(self);
  if (rc != 0) {
    if (!link->refused_) {
      link->log_("the broker refused the connection: " +
                 std::string(mosquitto_connack_string(rc)));
    }
    link->refused_ = true;
    return;
  }
  link->refused_ = false;
  link->outstanding_ = 0;
  const std::string filter = SetFilter(link->gateway_.Prefix());
  mosquitto_subscribe(mosq, nullptr, filter.c_str(), link->options_.qos);
  link->gateway_.BrokerUp();
  link->connected_.store(true);
  link->log_("connected to the broker " + link->options_.host + ":" +
             std::to_string(link->options_.port));
}

void BrokerLink::OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
  auto* link = static_cast<BrokerLink*>(self);
  if (m->topic == nullptr || m->payloadlen < 0) return;
  link->gateway_.OnSet(m->topic,
                       std::string_view(static_cast<const char*>(m->payload),
                                        static_cast<size_t>(m->payloadlen)));
}

void BrokerLink::OnPublish(mosquitto*, void* self, int) {
  auto* link = static_cast<BrokerLink*>(self);
  link->outstanding_ = std::max(0, link->outstanding_ - 1);
}

void BrokerLink::PublishWaiting() {
  std::vector<Message> messages;
  while (outstanding_ < kMaxOutstanding) {
    messages.clear();
    const size_t room =
        std::min(kBatch, static_cast<size_t>(kMaxOutstanding - outstanding_));
    if (!gateway_.TakeMessages(room, &messages)) return;
    for (const Message& m : messages) {
      const int rc = mosquitto_publish(
          mosq_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()),
          m.payload.data(), options_.qos, m.retain);
      if (rc == MOSQ_ERR_SUCCESS) ++outstanding_;
    }
  }
}

bool BrokerLink::Serve() {
  const auto started = std::chrono::steady_clock::now();
  bool accepted = false;
  while (running_.load()) {
    if (connected_.load()) {
      accepted = true;
      PublishWaiting();
    } else if (std::chrono::steady_clock::now() - started > kConnectTimeout) {
      log_("the broker did not answer the connection within 10 s");
      break;
    }
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) break;
    const Readiness ready =
        WaitFor(fd, mosquitto_want_write(mosq_), wakeup_, kLoopMs);
    int rc = MOSQ_ERR_SUCCESS;
    if (ready.readable) rc = mosquitto_loop_read(mosq_, 1);
    if (rc == MOSQ_ERR_SUCCESS && ready.writable) {
      rc = mosquitto_loop_write(mosq_, 1);
    }
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(mosq_);
    if (rc != MOSQ_ERR_SUCCESS) {
      if (accepted || connected_.load()) {
        log_("lost the broker: " + Reason(rc));
      }
      break;
    }
  }
  if (!running_.load() && connected_.load()) SayGoodbye();
  connected_.store(false);
  mosquitto_disconnect(mosq_);
  return accepted;
}

// A clean disconnect does not send the will: say "offline" first, and give
// the message a moment to leave.
void BrokerLink::SayGoodbye() {
  const std::string status = StatusTopic(gateway_.Prefix());
  mosquitto_publish(mosq_, nullptr, status.c_str(), 7, "offline", options_.qos,
                    true);
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
  while (std::chrono::steady_clock::now() < end) {
    const bool pending =
        mosquitto_want_write(mosq_) || (options_.qos > 0 && outstanding_ > 0);
    if (!pending) break;
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) break;
    const Readiness ready =
        WaitFor(fd, mosquitto_want_write(mosq_), wakeup_, 50);
    int rc = MOSQ_ERR_SUCCESS;
    if (ready.readable) rc = mosquitto_loop_read(mosq_, 1);
    if (rc == MOSQ_ERR_SUCCESS && ready.writable) {
      rc = mosquitto_loop_write(mosq_, 1);
    }
    if (rc != MOSQ_ERR_SUCCESS) break;
  }
}

void BrokerLink::Run() {
  int delay_ms = options_.first_retry_ms;
  bool first = true;
  bool said_unreachable = false;
  while (running_.load()) {
    const int rc =
        first ? mosquitto_connect_async(mosq_, options_.host.c_str(),
                                        options_.port, options_.keepalive_s)
              : mosquitto_reconnect_async(mosq_);
    first = false;
    if (rc == MOSQ_ERR_SUCCESS && Serve()) {
      delay_ms = options_.first_retry_ms;
      said_unreachable = false;
    } else if (!said_unreachable) {
      log_("cannot reach the broker " + options_.host + ":" +
           std::to_string(options_.port) +
           (rc == MOSQ_ERR_SUCCESS ? "" : ": " + Reason(rc)) +
           "; trying again");
      said_unreachable = true;
    }
    // Back-off: an interruptible pause, doubling up to the longest.
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(delay_ms);
    while (running_.load() && std::chrono::steady_clock::now() < end) {
      WaitFor(-1, false, wakeup_, 100);
    }
    delay_ms = std::min(delay_ms * 2, options_.longest_retry_ms);
  }
}

}  // namespace tarvos::mqtt
