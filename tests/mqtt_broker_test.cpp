// tarvos-mqtt as a cockpit meets it: a real Mosquitto started here on a
// free port, the real plugin flying in tarvos-simhost, the real tarvos-mqtt
// program between them, and a subscriber of our own on the broker.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "client/batch.h"
#include "client/connection.h"
#include "client/named_field.h"
#include "client/plain_value.h"
#include "tests/support/control_line.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr char kMosquitto[] = "/usr/sbin/mosquitto";

std::string BuildDir() {
  const char* dir = std::getenv("TARVOS_BUILD_DIR");
  return dir != nullptr ? dir : "";
}

// Polls `done` every 50 ms for up to `seconds`.
bool Eventually(double seconds, const std::function<bool()>& done) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
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

// A program of ours or the broker, its output in `log` (or discarded).
class Child {
 public:
  Child() = default;
  ~Child() { Stop(SIGKILL); }
  void Start(std::vector<std::string> args, const std::string& log = "") {
    pid_ = fork();
    if (pid_ != 0) return;
    int out = open(log.empty() ? "/dev/null" : log.c_str(),
                   O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // Its exit code, or -1 when it did not exit by itself.
  int Stop(int signal = SIGTERM) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
};

struct Received {
  std::string topic;
  std::string payload;
  bool retained;
};

// A subscriber to everything under tarvos/, keeping what arrives.
class Subscriber {
 public:
  explicit Subscriber(uint16_t port) {
    mosq_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
      if (rc == 0) mosquitto_subscribe(m, nullptr, "tarvos/#", 1);
    });
    mosquitto_message_callback_set(
        mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
          auto* s = static_cast<Subscriber*>(self);
          std::lock_guard<std::mutex> hold(s->mu_);
          s->got_.push_back({m->topic,
                             std::string(static_cast<const char*>(m->payload),
                                         static_cast<size_t>(m->payloadlen)),
                             m->retain});
        });
    mosquitto_connect(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
  }
  ~Subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
  }
  void Publish(const std::string& topic, const std::string& payload) {
    mosquitto_publish(mosq_, nullptr, topic.c_str(),
                      static_cast<int>(payload.size()), payload.data(), 1,
                      false);
  }
  std::vector<Received> Got() {
    std::lock_guard<std::mutex> hold(mu_);
    return got_;
  }
  // Payloads that arrived on `topic`, first to last.
  std::vector<std::string> On(const std::string& topic,
                              bool live_only = false) {
    std::vector<std::string> out;
    for (const Received& r : Got()) {
      if (r.topic == topic && !(live_only && r.retained)) {
        out.push_back(r.payload);
      }
    }
    return out;
  }
  std::string Last(const std::string& topic) {
    std::vector<std::string> all = On(topic);
    return all.empty() ? "" : all.back();
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(mu_);
    got_.clear();
  }

 private:
  mosquitto* mosq_ = nullptr;
  std::mutex mu_;
  std::vector<Received> got_;
};

// The whole set-up: broker, stand-in with the plugin, tarvos-mqtt.
class Cockpit {
 public:
  Cockpit() {
    std::string pattern =
        (fs::temp_directory_path() / "tarvos-mqtt-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) root_ = pattern;
    mosquitto_lib_init();
  }
  ~Cockpit() {
    mqtt_.Stop(SIGKILL);
    sim_.Stop(SIGKILL);
    broker_.Stop(SIGKILL);
    // A sanitizer build reports what it finds in tarvos-mqtt as it happens.
    std::ifstream in(root_ + "/tarvos-mqtt.out");
    const std::string out(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(out.find("Sanitizer"), std::string::npos) << out;
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }
  uint16_t port() const { return port_; }
  const std::string& root() const { return root_; }
  tarvos::testing::ControlLine& control() { return control_; }
  tarvos::client::Connection& tcp() { return *tcp_; }

  bool StartBroker() {
    if (port_ == 0) port_ = FreePort();
    std::ofstream(root_ + "/mosquitto.conf")
        << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n";
    broker_.Start({kMosquitto, "-c", root_ + "/mosquitto.conf"},
                  root_ + "/mosquitto.out");
    return Eventually(10, [&] {
      mosquitto* m = mosquitto_new(nullptr, true, nullptr);
      const bool up = mosquitto_connect(m, "127.0.0.1", port_, 5) == 0;
      mosquitto_destroy(m);
      return up;
    });
  }
  void StopBroker() { broker_.Stop(); }

  // The stand-in with the plugin, once no other plugin holds the port;
  // true when the plugin answering on it is this one. Other tests of the
  // real plugin (of other builds too) take the port for seconds at a time:
  // started again until it is ours.
  bool StartSimhost() {
    const std::string control = root_ + "/control";
    for (int attempt = 0; attempt < 5; ++attempt) {
      Eventually(20, [] {
        std::string e;
        return tarvos::client::ConnectTcp("127.0.0.1", 5193, &e, 500) ==
               nullptr;
      });
      sim_.Start({BuildDir() + "/simhost/tarvos-simhost", "--root", root_,
                  "--plugin", BuildDir() + "/TARVOS/64/lin.xpl", "--control",
                  "unix:" + control});
      if (Eventually(20, [&] { return control_.Connect(control); }) &&
          Eventually(10, [&] { return Ours(); })) {
        return true;
      }
      sim_.Stop(SIGKILL);
    }
    return false;
  }

  void StartMqtt(std::vector<std::string> extra) {
    std::vector<std::string> args = {BuildDir() + "/mqtt/tarvos-mqtt",
                                     "--broker",
                                     "127.0.0.1:" + std::to_string(port_),
                                     "--quiet",
                                     "--log",
                                     root_ + "/tarvos-mqtt.log"};
    args.insert(args.end(), extra.begin(), extra.end());
    mqtt_.Start(args, root_ + "/tarvos-mqtt.out");
  }
  void KillMqtt() { mqtt_.Stop(SIGKILL); }
  int StopMqtt() { return mqtt_.Stop(SIGTERM); }

  // A catalogue name's value as the plugin has it now, as tarvos-mqtt
  // would publish it.
  std::string ValueNow(const std::string& name) {
    tarvos::CatalogueItem item;
    EXPECT_EQ(tarvos::client::ResolveName(name, &item), "");
    tarvos::client::RequestBatch b;
    b.AddRead(item.offset, item.row->size);
    std::string e;
    EXPECT_TRUE(tcp_->Exchange(b, &e)) << e;
    return tarvos::client::PlainItemValue(item, b.Data(0));
  }
  bool Ours() {
    std::string e;
    tcp_ = tarvos::client::ConnectTcp("127.0.0.1", 5193, &e, 2000);
    if (tcp_ == nullptr) return false;
    tarvos::client::RequestBatch b;
    b.AddRead(0x3E00, 256);
    if (!tcp_->Exchange(b, &e)) return false;
    std::string folder(reinterpret_cast<const char*>(b.Data(0)));
    return folder.rfind(root_, 0) == 0;
  }
  std::string Log() {
    std::ifstream in(root_ + "/tarvos-mqtt.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string root_;
  uint16_t port_ = 0;
  Child broker_, sim_, mqtt_;
  tarvos::testing::ControlLine control_;
  std::unique_ptr<tarvos::client::Connection> tcp_;
};

#define SKIP_WITHOUT_MOSQUITTO()                       \
  if (!fs::exists(kMosquitto)) {                       \
    GTEST_SKIP() << kMosquitto << " is not installed"; \
  }

const std::vector<std::string> kArgs = {
    "--publish", "position.*,plugin.protocol_version,autopilot.heading",
    "--writable", "autopilot.heading,autopilot.vertical_speed"};

// Values under their topics follow the flight, retained for whoever comes
// late; a constant goes out once; writes come through where allowed and
// are refused in words otherwise.
TEST(MqttOnBroker, PublishesTheFlightAndTakesWritesWhereAllowed) {
  SKIP_WITHOUT_MOSQUITTO();
  Cockpit c;
  ASSERT_TRUE(c.StartBroker());
  ASSERT_TRUE(c.StartSimhost());
  Subscriber early(c.port());
  c.StartMqtt(kArgs);
  ASSERT_TRUE(Eventually(20, [&] {
    return early.Last("tarvos/status") == "online";
  })) << c.Log();

  // The aircraft moves: its longitude changes, and what arrives is what
  // the plugin has.
  const std::string lon = "tarvos/position/longitude";
  ASSERT_TRUE(Eventually(20, [&] {
    std::vector<std::string> v = early.On(lon);
    return std::set<std::string>(v.begin(), v.end()).size() >= 3;
  }));
  EXPECT_NEAR(std::stod(early.Last(lon)),
              std::stod(c.ValueNow("position.longitude")), 1e-4);

  // The protocol version never changes: one message in all.
  const std::string version = "tarvos/plugin/protocol_version";
  EXPECT_EQ(early.On(version),
            std::vector<std::string>{c.ValueNow("plugin.protocol_version")});

  // A subscriber that comes late gets every value and the status retained.
  Subscriber late(c.port());
  ASSERT_TRUE(Eventually(5, [&] {
    return !late.On(version).empty() && !late.On(lon).empty() &&
           late.Last("tarvos/status") == "online";
  }));
  for (const Received& r : late.Got()) {
    if (r.topic == version) {
      EXPECT_TRUE(r.retained);
    }
  }

  // Writes: a writable name reaches the simulator (and comes back on its
  // topic); others are refused on the error topic.
  early.Publish("tarvos/set/autopilot/heading", "123");
  EXPECT_TRUE(Eventually(10, [&] {
    return c.ValueNow("autopilot.heading") == "123.0" &&
           early.Last("tarvos/autopilot/heading") == "123.0";
  })) << c.ValueNow("autopilot.heading");
  early.Publish("tarvos/set/autopilot/altitude", "5000");
  early.Publish("tarvos/set/autopilot/vertical_speed", "40000");
  ASSERT_TRUE(
      Eventually(10, [&] { return early.On("tarvos/error").size() >= 2; }));
  const std::vector<std::string> errors = early.On("tarvos/error");
  EXPECT_EQ(errors[0],
            "autopilot.altitude: not writable here (not in --writable)");
  EXPECT_EQ(errors[1],
            "autopilot.vertical_speed: 40000 is out of range (-32768 to "
            "32767 ft/min)");
  EXPECT_NE(c.ValueNow("autopilot.vertical_speed"), "40000");

  // Stopped, it says "offline" itself and exits cleanly.
  EXPECT_EQ(c.StopMqtt(), 0);
  EXPECT_TRUE(
      Eventually(5, [&] { return early.Last("tarvos/status") == "offline"; }));
}

// The broker restarted with nothing kept, and the plugin disabled and
// enabled: each time everything is back, fresh, without restarting
// tarvos-mqtt. Killed, it leaves "offline" as its will. At QoS 1, whose
// acknowledgements pace what tarvos-mqtt hands the library.
TEST(MqttOnBroker, ComesBackAfterBrokerAndPluginRestartsAndLeavesItsWill) {
  SKIP_WITHOUT_MOSQUITTO();
  Cockpit c;
  ASSERT_TRUE(c.StartBroker());
  ASSERT_TRUE(c.StartSimhost());
  std::vector<std::string> args = kArgs;
  args.insert(args.end(), {"--qos", "1"});
  c.StartMqtt(args);
  const std::string lon = "tarvos/position/longitude";
  const std::string version = "tarvos/plugin/protocol_version";
  {
    Subscriber first(c.port());
    ASSERT_TRUE(Eventually(20, [&] {
      return first.Last("tarvos/status") == "online" && !first.On(lon).empty();
    })) << c.Log();
  }

  c.StopBroker();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(c.StartBroker());
  Subscriber sub(c.port());
  // This broker kept nothing: what is retained now was published again.
  EXPECT_TRUE(Eventually(20, [&] {
    return sub.Last("tarvos/status") == "online" && !sub.On(version).empty() &&
           sub.On(lon, true).size() >= 2;
  })) << c.Log();

  sub.Clear();
  ASSERT_EQ(c.control().Ask("plugin tarvos disable").rfind("ok", 0), 0u);
  EXPECT_TRUE(
      Eventually(10, [&] { return sub.Last("tarvos/status") == "offline"; }));
  ASSERT_EQ(c.control().Ask("plugin tarvos enable").rfind("ok", 0), 0u);
  // Back within the first pauses of the back-off, with every value (the
  // constant too) and then "online".
  EXPECT_TRUE(Eventually(15, [&] {
    return sub.Last("tarvos/status") == "online" && !sub.On(version).empty();
  })) << c.Log();
  const size_t before = sub.On(lon, true).size();
  EXPECT_TRUE(
      Eventually(10, [&] { return sub.On(lon, true).size() >= before + 2; }));

  c.KillMqtt();
  EXPECT_TRUE(
      Eventually(10, [&] { return sub.Last("tarvos/status") == "offline"; }));
}

}  // namespace
