// tarvos-mqtt's path from a TARNET update to a subscriber, through a real
// Mosquitto started here, against a bare publish-to-subscribe round trip
// through the same broker in the same run.
//
// The load: 300 four-byte catalogue names, every one changing every frame,
// 60 frames a second. The stand-in's flight does not change 300 values a
// frame, so the updates are made here, exactly as the session hands them
// to the gateway (client::Update, one per frame, every range); the gateway
// and the broker link are tarvos-mqtt's own. Latency runs from the update
// handed to the gateway (where PluginLink puts it the moment it has read
// it) to the subscriber's callback; for the bare baseline from the start of
// the frame's 300 publishes. Both count the burst: the 300th message of a
// frame waits for the 299 before it.
//
// Then the gateway side as fast as it goes (frames back to back) for the
// messages a second it sustains, and its CPU at 60 Hz: the process's CPU
// less the subscriber's thread and the bare publisher's work; and the
// broker's CPU (from /proc) for the cost of a message there.
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "client/named_field.h"
#include "client/plain_value.h"
#include "mqtt/broker_link.h"
#include "mqtt/gateway.h"
#include "mqtt/topics.h"
#include "offsets/coding.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kTopics = 300;
constexpr int kHz = 60;
constexpr int kFrames = 1200;  // twenty seconds

double Now() {
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

double ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec +
         u.ru_stime.tv_usec * 1e-6;
}

// CPU seconds of another process so far (/proc/PID/stat, fields 14 and 15).
double ProcessCpuOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)),
                   std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;
  double user = 0, system = 0;
  fields >> user >> system;
  return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

uint16_t FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

// The value of every name at frame f is f + 1 in its unit.
std::string FrameValue(int f) { return std::to_string(f + 1); }

// 300 numeric names that do not overlap and show whole numbers up to 5000
// exactly (angles, taken modulo 360, do not).
std::vector<tarvos::CatalogueItem> Names() {
  std::vector<tarvos::CatalogueItem> out;
  std::vector<bool> taken(65536, false);
  tarvos::ForEachCatalogueItem([&](const tarvos::CatalogueItem& item) {
    const tarvos::OffsetRow& r = *item.row;
    if (out.size() == kTopics || !tarvos::IsNumeric(r.encoding) ||
        r.encoding == tarvos::Encoding::kAngle16 ||
        r.encoding == tarvos::Encoding::kAngle32 ||
        r.encoding == tarvos::Encoding::kAngleS32) {
      return;
    }
    for (int v : {1, 2, 3, 4999, 5000}) {
      std::vector<uint8_t> bytes;
      if (!tarvos::client::EncodeItemValue(item, std::to_string(v), &bytes)
               .empty() ||
          std::strtod(
              tarvos::client::PlainItemValue(item, bytes.data()).c_str(),
              nullptr) != v) {
        return;
      }
    }
    for (uint32_t b = item.offset; b < item.offset + r.size; ++b) {
      if (taken[b]) return;
    }
    for (uint32_t b = item.offset; b < item.offset + r.size; ++b)
      taken[b] = true;
    out.push_back(item);
  });
  return out;
}

struct Latencies {
  std::mutex mu;
  std::vector<double> us;
  std::vector<double> frame_start;  // per frame, seconds
  size_t received = 0;
};

struct Phase {
  std::string prefix;
  std::unordered_map<std::string, const tarvos::CatalogueItem*> items;  // ours
  Latencies lat;
};

// The subscriber: every message under bench/, matched to its frame.
struct Subscriber {
  mosquitto* mosq = nullptr;
  Phase* phases[2] = {nullptr, nullptr};  // guarded by phase_mu
  std::mutex phase_mu;
  std::atomic<double> cpu{0};  // the callback thread's CPU seconds

  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* s = static_cast<Subscriber*>(self);
    const double at = Now();
    s->cpu.store(ThreadCpu());
    std::lock_guard<std::mutex> hold(s->phase_mu);
    if (m->retain) return;
    const std::string topic = m->topic;
    Phase* p = nullptr;
    for (Phase* candidate : s->phases) {
      if (candidate != nullptr && topic.rfind(candidate->prefix, 0) == 0) {
        p = candidate;
      }
    }
    if (p == nullptr) return;
    const std::string payload(static_cast<const char*>(m->payload),
                              static_cast<size_t>(m->payloadlen));
    long frame = -1;
    auto found = p->items.find(topic);
    if (found != p->items.end()) {
      frame = std::lround(std::strtod(payload.c_str(), nullptr)) - 1;
    } else if (p->items.empty()) {
      frame = std::strtol(payload.c_str(), nullptr, 10);
    }
    std::lock_guard<std::mutex> hold_lat(p->lat.mu);
    ++p->lat.received;
    if (frame >= 0 && static_cast<size_t>(frame) < p->lat.frame_start.size() &&
        p->lat.frame_start[frame] > 0) {
      p->lat.us.push_back((at - p->lat.frame_start[frame]) * 1e6);
    }
  }
};

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * v.size()))];
}

void Paced(int frames, int hz, const std::function<void(int)>& frame) {
  const auto start = Clock::now();
  for (int f = 0; f < frames; ++f) {
    std::this_thread::sleep_until(
        start + std::chrono::microseconds(1000000LL * f / hz));
    frame(f);
  }
}

void Settle(Latencies& lat, size_t expected) {
  for (int i = 0; i < 100; ++i) {
    {
      std::lock_guard<std::mutex> hold(lat.mu);
      if (lat.received >= expected) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

int main() {
  const uint16_t port = FreePort();
  char dir[] = "/tmp/tarvos-mqtt-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  const std::string conf = std::string(dir) + "/mosquitto.conf";
  std::ofstream(conf) << "listener " << port
                      << " 127.0.0.1\nallow_anonymous true\n";
  const pid_t broker = fork();
  if (broker == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  mosquitto_lib_init();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  Subscriber sub;
  sub.mosq = mosquitto_new(nullptr, true, &sub);
  mosquitto_message_callback_set(sub.mosq, &Subscriber::OnMessage);
  for (int i = 0;
       i < 50 && mosquitto_connect(sub.mosq, "127.0.0.1", port, 30) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  mosquitto_subscribe(sub.mosq, nullptr, "bench/#", 0);
  mosquitto_loop_start(sub.mosq);

  // --- Bare: a plain client publishing the 300 topics every frame, on this
  // thread with no loop thread of the library's, so that each publish goes
  // straight to the socket: the quickest way the library has.
  Phase bare;
  bare.prefix = "bench/bare/";
  bare.lat.frame_start.assign(kFrames, 0);
  mosquitto* pub = mosquitto_new(nullptr, true, nullptr);
  mosquitto_connect(pub, "127.0.0.1", port, 30);
  for (int i = 0; i < 10; ++i) mosquitto_loop(pub, 10, 1);  // the CONNACK
  std::vector<std::string> bare_topics;
  for (size_t i = 0; i < kTopics; ++i) {
    bare_topics.push_back(bare.prefix + std::to_string(i));
  }

  // --- Ours: the gateway and broker link of tarvos-mqtt.
  const std::vector<tarvos::CatalogueItem> names = Names();
  tarvos::mqtt::GatewayOptions go;
  go.prefix = "bench/ours";
  for (const auto& item : names) {
    go.publish.push_back(tarvos::client::ItemFullName(item));
  }
  tarvos::mqtt::BrokerLink* link_ptr = nullptr;
  std::string error;
  auto gateway = tarvos::mqtt::Gateway::Create(
      go,
      [&] {
        if (link_ptr) link_ptr->Wake();
      },
      &error);
  if (!gateway) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  Phase ours;
  ours.prefix = "bench/ours/";
  for (const auto& item : names) {
    ours.items[tarvos::mqtt::ValueTopic(
        "bench/ours", tarvos::client::ItemFullName(item))] = &item;
  }
  ours.lat.frame_start.assign(kFrames, 0);
  tarvos::mqtt::BrokerOptions bo;
  bo.port = port;
  tarvos::mqtt::BrokerLink link(bo, *gateway, [](const std::string&) {});
  link_ptr = &link;
  if (!link.Start(&error)) return 1;
  for (int i = 0; i < 100 && !link.connected(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  gateway->PluginUp();
  std::vector<uint8_t> image(65536, 0);
  const std::vector<tarvos::client::Range> ranges = gateway->Ranges();
  auto update_for = [&](int f, uint32_t seq) {
    const std::string value = FrameValue(f % 5000);
    for (const auto& item : names) {
      std::vector<uint8_t> bytes;
      tarvos::client::EncodeItemValue(item, value, &bytes);
      std::copy(bytes.begin(), bytes.end(), image.begin() + item.offset);
    }
    tarvos::client::Update u;
    u.id = 1;
    u.seq = seq;
    for (const auto& r : ranges) {
      u.records.push_back(
          {r.offset, std::vector<uint8_t>(image.begin() + r.offset,
                                          image.begin() + r.offset + r.size)});
    }
    return u;
  };
  // A first snapshot, not measured.
  gateway->TakeUpdate(update_for(kFrames + 100, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  {
    std::lock_guard<std::mutex> hold(sub.phase_mu);
    sub.phases[0] = &bare;
    sub.phases[1] = &ours;
  }

  // Both at 60 Hz, half a frame apart, so that whatever else the machine
  // does falls on both alike.
  const double cpu0 = ProcessCpu(), sub_cpu0 = sub.cpu.load(), wall0 = Now();
  const double broker_cpu0 = ProcessCpuOf(broker);
  double bare_cpu = 0;
  Paced(2 * kFrames, 2 * kHz, [&](int tick) {
    const int f = tick / 2;
    if (tick % 2 == 0) {
      const double cpu_before = ThreadCpu();
      const std::string payload = std::to_string(f);
      {
        std::lock_guard<std::mutex> hold(bare.lat.mu);
        bare.lat.frame_start[f] = Now();
      }
      for (const std::string& t : bare_topics) {
        mosquitto_publish(pub, nullptr, t.c_str(),
                          static_cast<int>(payload.size()), payload.data(), 0,
                          true);
      }
      mosquitto_loop(pub, 0, 1);  // whatever did not fit the socket
      bare_cpu += ThreadCpu() - cpu_before;
      return;
    }
    tarvos::client::Update u = update_for(f, static_cast<uint32_t>(f + 2));
    {
      std::lock_guard<std::mutex> hold(ours.lat.mu);
      ours.lat.frame_start[f] = Now();
    }
    gateway->TakeUpdate(u);
  });
  Settle(bare.lat, kTopics * kFrames);
  Settle(ours.lat, names.size() * kFrames);
  const double wall = Now() - wall0;
  const double broker_cpu = ProcessCpuOf(broker) - broker_cpu0;
  // The process less the subscriber's thread and the bare publisher.
  const double gateway_cpu =
      (ProcessCpu() - cpu0) - (sub.cpu.load() - sub_cpu0) - bare_cpu;
  mosquitto_disconnect(pub);
  mosquitto_destroy(pub);

  // --- As fast as it goes: frames back to back for three seconds.
  Phase flat;
  flat.prefix = "bench/ours/";
  flat.items = ours.items;
  {
    std::lock_guard<std::mutex> hold(sub.phase_mu);
    sub.phases[0] = nullptr;
    sub.phases[1] = &flat;
  }
  const double t0 = Now();
  int frames = 0;
  while (Now() - t0 < 3.0) {
    gateway->TakeUpdate(update_for(kFrames + 200 + frames,
                                   static_cast<uint32_t>(frames + 1000)));
    ++frames;
    if (frames % 8 == 0) std::this_thread::yield();
  }
  const double offered_s = Now() - t0;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  size_t delivered = 0;
  {
    std::lock_guard<std::mutex> hold(flat.lat.mu);
    delivered = flat.lat.received;
  }
  {
    std::lock_guard<std::mutex> hold(sub.phase_mu);
    sub.phases[1] = nullptr;
  }
  link.Stop();
  mosquitto_disconnect(sub.mosq);
  mosquitto_loop_stop(sub.mosq, true);
  mosquitto_destroy(sub.mosq);
  kill(broker, SIGTERM);
  waitpid(broker, nullptr, 0);
  std::remove(conf.c_str());
  rmdir(dir);

  const double bp50 = Percentile(bare.lat.us, 0.5),
               bp99 = Percentile(bare.lat.us, 0.99);
  const double op50 = Percentile(ours.lat.us, 0.5),
               op99 = Percentile(ours.lat.us, 0.99);
  std::printf("%zu topics x %d Hz, %d frames, QoS 0, retained\n", names.size(),
              kHz, kFrames);
  std::printf(
      "bare publish->subscribe   p50 %8.1f us  p99 %8.1f us  (%zu of %zu "
      "messages)\n",
      bp50, bp99, bare.lat.us.size(), kTopics * kFrames);
  std::printf(
      "tarvos-mqtt update->sub   p50 %8.1f us  p99 %8.1f us  (%zu of %zu "
      "messages)\n",
      op50, op99, ours.lat.us.size(), names.size() * kFrames);
  std::printf("ratio                     p50 %8.2f x   p99 %8.2f x\n",
              op50 / bp50, op99 / bp99);
  std::printf(
      "gateway side CPU at %d Hz: %.1f %% of one core (%.0f messages/s)\n", kHz,
      100.0 * gateway_cpu / wall, ours.lat.us.size() / wall);
  std::printf(
      "broker CPU with both (%.0f messages/s in and out): %.1f %% of one "
      "core, %.1f us a message\n",
      (bare.lat.us.size() + ours.lat.us.size()) / wall,
      100.0 * broker_cpu / wall,
      1e6 * broker_cpu / (bare.lat.us.size() + ours.lat.us.size()));
  std::printf(
      "back to back: %.0f messages/s offered, %.0f/s delivered to the "
      "subscriber\n",
      frames * names.size() / offered_s, delivered / offered_s);
  return 0;
}
