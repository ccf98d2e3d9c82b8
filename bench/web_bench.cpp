// tarvos-web's cost, measured against the real plugin in the stand-in and
// the real program: the time the gateway adds between a TARNET update and
// its WebSocket message, with 1 and with 50 browsers subscribed to 100
// values every frame, against the same updates read straight from TARNET
// in the same run; and the gateway's CPU for the 50, against the stand-in
// simulator's own in the same window.
//
// Usage: web_bench [seconds per measurement]   (TARVOS_BUILD_DIR: the build)
//
// Measured here (2 cores shared with other builds, RelWithDebInfo, 15 s):
//   browsers  p50 ms  p99 ms  p99/goal(0.5 ms)
//   1          0.097   0.419   0.84
//   50         0.288   0.867   1.73   (the 50th message of a frame leaves
//                                      after 49 others on the same thread)
//   CPU for 50 x 100 values at 60 Hz: 2.7 % of a core (0.11 of the 25 %
//   goal), 1.9 times the stand-in simulator's own with the plugin.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/session.h"
#include "tests/support/running_simhost.h"
#include "web/value_codec.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// Arrival times of frames, by frame number, from any thread.
class Arrivals {
 public:
  void Add(uint32_t frame, double t) {
    std::lock_guard<std::mutex> lock(mu_);
    times_[frame].push_back(t);
  }
  std::map<uint32_t, std::vector<double>> Take() {
    std::lock_guard<std::mutex> lock(mu_);
    return std::move(times_);
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    times_.clear();
  }

 private:
  std::mutex mu_;
  std::map<uint32_t, std::vector<double>> times_;
};

class Browser : public std::enable_shared_from_this<Browser> {
 public:
  Browser(asio::io_context& io, Arrivals* arrivals)
      : ws_(io), arrivals_(arrivals) {}
  bool Open(uint16_t port, const std::vector<std::string>& names) {
    beast::error_code ec;
    beast::get_lowest_layer(ws_).socket().connect(
        {asio::ip::make_address("127.0.0.1"), port}, ec);
    if (ec) return false;
    ws_.handshake("127.0.0.1", "/ws", ec);
    if (ec) return false;
    nlohmann::json sub = {{"op", "subscribe"}, {"id", 1}, {"names", names}};
    ws_.write(asio::buffer(sub.dump()), ec);
    return !ec;
  }
  void Read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec,
                                                        size_t) {
      if (ec) return;
      const double now = Seconds(Clock::now());
      auto data = self->buffer_.cdata();
      std::string_view text(static_cast<const char*>(data.data()), data.size());
      size_t at = text.find("\"frame\":");
      if (at != std::string_view::npos && text.find("\"update\"") < at) {
        self->arrivals_->Add(static_cast<uint32_t>(std::strtoul(
                                 text.data() + at + 8, nullptr, 10)),
                             now);
      }
      self->buffer_.consume(self->buffer_.size());
      self->Read();
    });
  }

 private:
  websocket::stream<beast::tcp_stream> ws_;
  beast::flat_buffer buffer_;
  Arrivals* arrivals_;
};

// User and system CPU seconds of a process so far.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(text.substr(close + 2));
  std::string field;
  double utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stod(field);
    if (i == 15) stime = std::stod(field);
  }
  return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * v.size()))];
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const std::string build = tarvos::testing::BuildDir();
  if (build.empty()) {
    std::fprintf(stderr,
                 "web_bench: set TARVOS_BUILD_DIR to the build folder\n");
    return 2;
  }
  // 100 values every frame: the first hundred readable items.
  std::vector<std::string> names;
  for (const auto& n : tarvos::web::AllItems()) {
    if (n.item.row->access == tarvos::Access::kWrite) continue;
    names.push_back(n.name);
    if (names.size() == 100) break;
  }

  tarvos::testing::SimhostProcess sim(
      {"--duration", std::to_string(seconds * 2 + 60)});
  if (!sim.ready()) {
    std::fprintf(stderr, "web_bench: the stand-in did not start: %s\n",
                 sim.error().c_str());
    return 1;
  }
  const uint16_t port = 15294;
  pid_t web =
      tarvos::testing::StartProgram({build + "/web/tarvos-web", "--listen",
                                     "127.0.0.1:" + std::to_string(port)});
  std::this_thread::sleep_for(std::chrono::seconds(2));

  // The same updates straight from TARNET.
  Arrivals direct, gateway;
  std::string error;
  auto session = tarvos::client::ConnectSession("127.0.0.1", 5193, &error);
  tarvos::client::NamedSubscription straight(names, &error);
  if (!session || !straight.Subscribe(*session, 1, {0, false}, &error)) {
    std::fprintf(stderr, "web_bench: %s\n", error.c_str());
    tarvos::testing::StopProgram(web);
    return 1;
  }
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    tarvos::client::Update u;
    std::string e;
    while (!stop.load()) {
      if (session->NextUpdate(&u, 100, &e))
        direct.Add(u.frame, Seconds(Clock::now()));
    }
  });

  std::printf("tarvos-web, 100 values every frame, %d s per measurement\n",
              seconds);
  std::printf("%-10s %8s %10s %10s %10s %10s %12s\n", "browsers", "updates",
              "p50 ms", "p99 ms", "max ms", "p99/goal", "p99/frame");
  double cpu_share = 0, sim_share = 0;
  for (int count : {1, 50}) {
    asio::io_context io;
    std::vector<std::shared_ptr<Browser>> browsers;
    for (int i = 0; i < count; ++i) {
      auto b = std::make_shared<Browser>(io, &gateway);
      if (!b->Open(port, names)) {
        std::fprintf(stderr, "web_bench: browser %d could not connect\n", i);
        stop = true;
        reader.join();
        tarvos::testing::StopProgram(web);
        return 1;
      }
      b->Read();
      browsers.push_back(b);
    }
    std::thread loop([&] { io.run(); });
    std::this_thread::sleep_for(std::chrono::seconds(2));  // warm up
    direct.Clear();
    gateway.Clear();
    const double web_cpu = CpuSeconds(web);
    const double sim_cpu = CpuSeconds(sim.pid());
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall =
        std::chrono::duration<double>(Clock::now() - start).count();
    if (count == 50) {
      cpu_share = (CpuSeconds(web) - web_cpu) / wall;
      sim_share = (CpuSeconds(sim.pid()) - sim_cpu) / wall;
    }
    auto d = direct.Take();
    auto g = gateway.Take();
    std::vector<double> added;
    for (const auto& [frame, times] : g) {
      auto it = d.find(frame);
      if (it == d.end()) continue;
      for (double t : times) added.push_back((t - it->second.front()) * 1000.0);
    }
    io.stop();
    loop.join();
    const double p99 = Percentile(added, 0.99);
    std::printf(
        "%-10d %8zu %10.3f %10.3f %10.3f %10.2f %12.3f\n", count, added.size(),
        Percentile(added, 0.5), p99,
        added.empty() ? 0 : *std::max_element(added.begin(), added.end()),
        p99 / 0.5, p99 / (1000.0 / 60));
  }
  std::printf(
      "gateway CPU, 50 browsers x 100 values at 60 Hz: %.1f %% of a core "
      "(goal 25 %%; %.2f of the goal); the stand-in simulator with the "
      "plugin in the same window: %.1f %% (gateway/simulator %.2f)\n",
      cpu_share * 100, cpu_share / 0.25, sim_share * 100,
      sim_share > 0 ? cpu_share / sim_share : 0);
  stop = true;
  reader.join();
  tarvos::testing::StopProgram(web);
  return 0;
}
