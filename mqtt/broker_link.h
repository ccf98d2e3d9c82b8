// The connection to the MQTT broker, through libmosquitto: connects and
// reconnects with back-off, leaves "offline" as its last will on the status
// topic, publishes what the gateway has waiting, and hands set messages to
// the gateway.
//
// Threads: one thread of our own runs every libmosquitto call for this
// client (the library's network loop driven by hand: mosquitto_socket,
// mosquitto_loop_read/write/misc), so the library is never entered from two
// threads. Others reach it only through the gateway and Wake.
#ifndef TARVOS_MQTT_BROKER_LINK_H_
#define TARVOS_MQTT_BROKER_LINK_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "mqtt/gateway.h"
#include "mqtt/wait.h"

struct mosquitto;
struct mosquitto_message;

namespace tarvos::mqtt {

struct BrokerOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 1883;
  std::string client_id;  // empty: the library makes one up
  std::string username;
  std::string password;
  std::string ca_file;  // TLS with this CA when not empty
  int qos = 0;
  int keepalive_s = 30;
  // Reconnection back-off: first and longest pause between tries.
  int first_retry_ms = 1000;
  int longest_retry_ms = 5000;
};

class BrokerLink {
 public:
  using LogFn = std::function<void(const std::string& line)>;

  BrokerLink(BrokerOptions options, Gateway& gateway, LogFn log);
  ~BrokerLink();
  BrokerLink(const BrokerLink&) = delete;
  BrokerLink& operator=(const BrokerLink&) = delete;

  // Sets the client up (TLS, credentials, will) and starts the thread;
  // false with the reason when the library refuses the settings.
  bool Start(std::string* error);
  // Publishes "offline", disconnects and ends the thread; safe twice.
  void Stop();
  // Something is waiting in the gateway (any thread).
  void Wake() { wakeup_.Signal(); }
  bool connected() const { return connected_.load(); }

 private:
  void Run();
  // Serves one connection until it fails or Stop; true when the broker
  // accepted it.
  bool Serve();
  void PublishWaiting();
  void SayGoodbye();
  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m);
  static void OnPublish(mosquitto*, void* self, int mid);

  const BrokerOptions options_;
  Gateway& gateway_;
  const LogFn log_;
  Wakeup wakeup_;
  mosquitto* mosq_ = nullptr;  // used by the thread only (and Start)
  std::thread thread_;
  // Read by other threads for the status line and Stop.
  std::atomic<bool> running_{false};
  std::atomic<bool> connected_{false};
  // The thread's own: messages handed to the library and not yet sent
  // (QoS 0) or acknowledged (QoS 1); publishing pauses above a limit, so the
  // library's queue stays small and waiting values conflate in the gateway.
  int outstanding_ = 0;
  bool refused_ = false;  // the broker answered the last connect with an error
};

}  // namespace tarvos::mqtt

#endif  // TARVOS_MQTT_BROKER_LINK_H_
