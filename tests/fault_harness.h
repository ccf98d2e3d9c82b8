// Shared pieces of the lifecycle-under-load and fault tests: the process's
// thread and descriptor counts, and clients that keep reading and writing
// over both transports, reconnecting whenever the plugin drops them.
#ifndef TARVOS_TESTS_FAULT_HARNESS_H_
#define TARVOS_TESTS_FAULT_HARNESS_H_

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "client/batch.h"
#include "client/connection.h"
#include "transport/server_options.h"

namespace tarvos::testing {

// Entries of a /proc/self folder (the iteration's own descriptor aside, as
// it is there on every count).
inline int CountEntries(const char* folder) {
  std::error_code ec;
  int n = 0;
  for (std::filesystem::directory_iterator it(folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    ++n;
  }
  return n;
}
// Threads of the process. The first thread a process creates may start
// one of the runtime's own that stays (ThreadSanitizer's background
// thread): a thread started and joined before the first count leaves only
// the program's threads to change it.
inline int CountThreads() {
  static const bool warmed = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)warmed;
  return CountEntries("/proc/self/task");
}
inline int CountDescriptors() { return CountEntries("/proc/self/fd"); }

// Clients that read the version at 0x3304 (checked) and write a word of
// their own in the free area at 0x66C0, as fast as they are served, until
// Stop. A client the plugin drops (a Disable, an injected fault) connects
// again 5 ms later, to the port the TCP server listens on at that moment.
class LoadClients {
 public:
  LoadClients(int tcp_clients, int local_clients, std::string endpoint)
      : endpoint_(std::move(endpoint)),
        served_(static_cast<size_t>(tcp_clients + local_clients)) {
    for (int c = 0; c < tcp_clients + local_clients; ++c) {
      threads_.emplace_back([this, c, tcp = c < tcp_clients] { Run(c, tcp); });
    }
  }
  ~LoadClients() { Stop(); }
  LoadClients(const LoadClients&) = delete;
  LoadClients& operator=(const LoadClients&) = delete;

  int count() const { return static_cast<int>(served_.size()); }
  // Exchanges client `c` had answered.
  int served(int c) const { return served_[static_cast<size_t>(c)].load(); }
  std::vector<int> Snapshot() const {
    std::vector<int> out;
    for (const auto& n : served_) out.push_back(n.load());
    return out;
  }
  // True once every client was served more often than in `before`.
  bool AllServedSince(const std::vector<int>& before) const {
    for (size_t c = 0; c < served_.size(); ++c) {
      if (served_[c].load() <= before[c]) return false;
    }
    return true;
  }
  int wrong_answers() const { return wrong_.load(); }

  void Stop() {
    stop_ = true;
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  void Run(int c, bool tcp) {
    std::unique_ptr<client::Connection> connection;
    std::string error;
    for (uint16_t i = 0; !stop_.load(); ++i) {
      if (!connection) {
        const uint16_t port = TcpServerBoundPort();
        if (!tcp || port != 0) {
          connection = tcp ? client::ConnectTcp("127.0.0.1", port, &error, 500)
                           : client::ConnectLocal(endpoint_, &error, 500);
        }
        if (!connection) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          continue;
        }
      }
      client::RequestBatch batch;
      batch.AddWriteU16(static_cast<uint32_t>(0x66C0 + 2 * c), i);
      const size_t version = batch.AddRead(0x3304, 4);
      if (!connection->Exchange(batch, &error)) {
        connection.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      if (batch.U32(version) != 0x50000004u) wrong_.fetch_add(1);
      served_[static_cast<size_t>(c)].fetch_add(1);
    }
  }

  std::string endpoint_;
  std::vector<std::atomic<int>> served_;
  std::atomic<int> wrong_{0};
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_FAULT_HARNESS_H_
