// The TARNET connection to the plugin: connects and reconnects with
// back-off, subscribes the gateway's ranges (changes only, every frame or
// every n ms), hands every update to the gateway and carries the writes
// waiting there to the plugin.
//
// Threads: one thread of its own owns the session; the status line reads
// connected() from another.
#ifndef TARVOS_MQTT_PLUGIN_LINK_H_
#define TARVOS_MQTT_PLUGIN_LINK_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "client/session.h"
#include "mqtt/gateway.h"

namespace tarvos::mqtt {

struct PluginOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 5193;
  uint16_t every_ms = 0;  // 0: every frame
  // Reconnection back-off: first and longest pause between tries.
  int first_retry_ms = 1000;
  int longest_retry_ms = 5000;
  // Longest wait for an update before waiting writes are looked at.
  int write_poll_ms = 20;
};

class PluginLink {
 public:
  using LogFn = std::function<void(const std::string& line)>;

  PluginLink(PluginOptions options, Gateway& gateway, LogFn log);
  ~PluginLink();
  PluginLink(const PluginLink&) = delete;
  PluginLink& operator=(const PluginLink&) = delete;

  void Start();
  void Stop();  // safe twice
  bool connected() const { return connected_.load(); }

 private:
  void Run();
  // Serves one session until it fails or Stop.
  void Serve(client::Session& session);
  bool SendWrites(client::Session& session, std::string* error);
  // Sleeps up to `ms`, less when stopped.
  void Pause(int ms);

  const PluginOptions options_;
  Gateway& gateway_;
  const LogFn log_;
  std::thread thread_;
  // Read by the status line and Stop from other threads.
  std::atomic<bool> running_{false};
  std::atomic<bool> connected_{false};
  std::mutex pause_mu_;
  std::condition_variable pause_cv_;  // Stop wakes a pause
};

}  // namespace tarvos::mqtt

#endif  // TARVOS_MQTT_PLUGIN_LINK_H_
