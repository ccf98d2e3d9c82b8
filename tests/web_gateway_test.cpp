// tarvos-web as a browser meets it: the real program in front of the real
// plugin in the stand-in simulator, used over WebSocket and HTTP.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/control_line.h"
#include "tests/support/running_simhost.h"
#include "tests/support/web_client.h"

namespace {

using nlohmann::json;
using tarvos::testing::HttpRequest;
using tarvos::testing::WebSocketClient;
using Clock = std::chrono::steady_clock;

uint16_t FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  close(fd);
  return ntohs(a.sin_port);
}

std::string WebPath() {
  return tarvos::testing::BuildDir() + "/web/tarvos-web";
}

// The program, started on a free port; ready once it answers.
class Gateway {
 public:
  explicit Gateway(std::vector<std::string> args = {}) : port_(FreePort()) {
    args.insert(args.begin(),
                {WebPath(), "--listen", "127.0.0.1:" + std::to_string(port_)});
    pid_ = tarvos::testing::StartProgram(args, log_.path() + "/log");
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline &&
           HttpRequest(port_, "GET", "/").status == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  // It must still be running, and end cleanly when asked (a sanitizer's
  // report ends it otherwise).
  ~Gateway() {
    const int status = tarvos::testing::StopProgram(pid_);
    std::ifstream in(log_.path() + "/log");
    std::string log((std::istreambuf_iterator<char>(in)), {});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
  }
  uint16_t port() const { return port_; }
  json Status(const std::string& auth = "") {
    return HttpRequest(port_, "GET", "/api/status", "", auth).Json();
  }
  // Waits until the status says `connected` is `want`.
  bool WaitConnected(bool want, int seconds = 15) {
    auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
      json s = Status();
      if (s.is_object() && s.value("connected", !want) == want) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  tarvos::testing::ScratchDir log_;
  uint16_t port_;
  pid_t pid_ = -1;
};

// Sends a message and returns the first answer with this id that is not an
// update.
json Ask(WebSocketClient& ws, const json& message) {
  ws.Send(message);
  auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    json j = ws.NextJson(1000);
    if (j.is_object() && j.value("op", "") != "update" &&
        j["id"] == message.value("id", json())) {
      return j;
    }
    if (ws.closed()) break;
  }
  return nullptr;
}

std::string ErrorOf(WebSocketClient& ws, const json& message) {
  json j = Ask(ws, message);
  EXPECT_EQ(j.value("op", ""), "error") << j.dump();
  return j.value("error", "");
}

// A browser subscribes by names and globs, every frame and every 100 ms
// changes only, writes, describes, and is refused in words for every kind
// of bad message while its connection stays open; the HTTP API answers the
// same catalogue.
TEST(WebGateway, SubscribesWritesAndRefusesInWords) {
  tarvos::testing::SimhostProcess sim;
  ASSERT_TRUE(sim.ready()) << sim.error();
  Gateway web;
  ASSERT_TRUE(web.WaitConnected(true));
  WebSocketClient ws;
  ASSERT_TRUE(ws.Open(web.port()));

  json sub = Ask(ws, {{"op", "subscribe"},
                      {"id", 1},
                      {"names", {"attitude.heading", "position.*"}}});
  ASSERT_EQ(sub.value("op", ""), "subscribed") << sub.dump();
  std::vector<std::string> names = sub["names"];
  EXPECT_EQ(names.front(), "attitude.heading");
  EXPECT_GT(names.size(), 3u);
  for (size_t i = 1; i < names.size(); ++i) {
    EXPECT_EQ(names[i].rfind("position.", 0), 0u) << names[i];
  }
  // Every frame, complete, numbered from 1 on.
  json first = ws.NextOp("update", 5000);
  ASSERT_TRUE(first.is_object());
  EXPECT_EQ(first["id"], 1);
  EXPECT_EQ(first["seq"], 1);
  EXPECT_EQ(first["values"].size(), names.size());
  EXPECT_TRUE(first["values"]["attitude.heading"].is_number());
  json second = ws.NextOp("update", 2000);
  EXPECT_EQ(second["seq"], 2);
  EXPECT_GT(second["frame"].get<uint32_t>(), first["frame"].get<uint32_t>());

  // Every 100 ms of simulator time, changes only.
  json slow =
      Ask(ws, {{"op", "subscribe"},
               {"id", "slow"},
               {"names", {"sim.frame_counter", "plugin.protocol_version"}},
               {"every", 100},
               {"changes", true}});
  ASSERT_EQ(slow.value("op", ""), "subscribed") << slow.dump();
  std::vector<json> slow_updates;
  auto until = Clock::now() + std::chrono::milliseconds(1500);
  while (Clock::now() < until) {
    json j = ws.NextJson(100);
    if (j.is_object() && j["id"] == "slow") slow_updates.push_back(j);
  }
  ASSERT_GE(slow_updates.size(), 5u);
  EXPECT_LE(slow_updates.size(), 17u);
  EXPECT_EQ(slow_updates[0]["values"].size(), 2u) << "the first is complete";
  for (size_t i = 0; i < slow_updates.size(); ++i) {
    EXPECT_EQ(slow_updates[i]["seq"], i + 1);
    if (i > 0) {
      // The constant never changes, so it is never sent again.
      EXPECT_FALSE(
          slow_updates[i]["values"].contains("plugin.protocol_version"))
          << slow_updates[i].dump();
    }
  }
  EXPECT_EQ(Ask(ws, {{"op", "unsubscribe"}, {"id", 1}}).value("op", ""),
            "unsubscribed");

  // A write reaches the plugin; a read over HTTP sees it.
  EXPECT_EQ(
      Ask(ws,
          {{"op", "write"}, {"id", 7}, {"values", {{"autopilot.heading", 90}}}})
          .value("op", ""),
      "written");
  json read =
      HttpRequest(web.port(), "GET", "/api/values?names=autopilot.heading")
          .Json();
  EXPECT_NEAR(read["values"]["autopilot.heading"].get<double>(), 90, 0.01)
      << read.dump();
  json rows =
      Ask(ws, {{"op", "describe"}, {"id", 8}, {"pattern", "radio.com1.*"}});
  ASSERT_EQ(rows.value("op", ""), "catalogue");
  ASSERT_FALSE(rows["rows"].empty());
  for (const json& r : rows["rows"]) {
    EXPECT_EQ(r["name"].get<std::string>().rfind("radio.com1.", 0), 0u);
    for (const char* field :
         {"offset", "size", "encoding", "unit", "access", "summary"}) {
      EXPECT_TRUE(r.contains(field)) << field;
    }
  }

  // Refusals, each in words, the connection open after every one.
  EXPECT_NE(
      ErrorOf(ws,
              {{"op", "subscribe"}, {"id", 9}, {"names", {"attitude.headng"}}})
          .find("attitude.heading"),
      std::string::npos);
  EXPECT_NE(
      ErrorOf(ws, {{"op", "subscribe"}, {"id", 9}, {"names", {"nothing.*"}}})
          .find("nothing.*"),
      std::string::npos);
  EXPECT_NE(ErrorOf(ws, {{"op", "write"},
                         {"id", 10},
                         {"values", {{"autopilot.heading", "east"}}}})
                .find("takes a number"),
            std::string::npos);
  const std::string range =
      ErrorOf(ws, {{"op", "write"},
                   {"id", 11},
                   {"values", {{"autopilot.altitude", 1e12}}}});
  EXPECT_NE(range.find("out of range"), std::string::npos) << range;
  EXPECT_NE(range.find(" to "), std::string::npos) << range;
  EXPECT_NE(ErrorOf(ws, {{"op", "write"},
                         {"id", 12},
                         {"values", {{"aircraft.crashed", 1}}}})
                .find("read-only"),
            std::string::npos);
  ws.Send(std::string("{\"op\":\"subscribe\",\"id\":"));
  json bad = ws.NextOp("error", 5000);
  EXPECT_NE(bad.value("error", "").find("malformed JSON"), std::string::npos);
  ws.Send(std::string(70000, ' '));
  json big = ws.NextOp("error", 5000);
  EXPECT_NE(big.value("error", "").find("64 KB"), std::string::npos)
      << big.dump();
  EXPECT_NE(ErrorOf(ws, {{"op", "fly"}, {"id", 13}}).find("unknown op"),
            std::string::npos);
  for (int id = 100; id < 115; ++id) {
    ASSERT_EQ(
        Ask(ws, {{"op", "subscribe"}, {"id", id}, {"names", {"attitude.*"}}})
            .value("op", ""),
        "subscribed");
  }
  EXPECT_NE(
      ErrorOf(ws, {{"op", "subscribe"}, {"id", 115}, {"names", {"attitude.*"}}})
          .find("at most 16"),
      std::string::npos);
  EXPECT_EQ(Ask(ws, {{"op", "describe"}, {"id", 14}}).value("op", ""),
            "catalogue");
  EXPECT_FALSE(ws.closed());

  // The HTTP API.
  auto get = [&](const std::string& target) {
    return HttpRequest(web.port(), "GET", target);
  };
  auto page = get("/");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.content_type.rfind("text/html", 0), 0u);
  EXPECT_EQ(get("/no-such-file.js").status, 404);
  EXPECT_EQ(get("/../CMakeLists.txt").status, 404);
  json catalogue = get("/api/catalogue?pattern=radio.nav1.*").Json();
  EXPECT_FALSE(catalogue["rows"].empty());
  EXPECT_EQ(get("/api/values?names=attitude.headng").status, 404);
  EXPECT_EQ(get("/api/values").status, 400);
  EXPECT_EQ(get("/api/nothing").status, 404);
  EXPECT_EQ(HttpRequest(web.port(), "POST", "/api/values", "{bad").status, 400);
  EXPECT_EQ(
      HttpRequest(web.port(), "POST", "/api/values", std::string(70000, ' '))
          .status,
      413);
  auto written = HttpRequest(web.port(), "POST", "/api/values",
                             "{\"autopilot.heading\": 120}");
  EXPECT_EQ(written.status, 200) << written.body;
  EXPECT_EQ(HttpRequest(web.port(), "POST", "/api/values",
                        "{\"autopilot.heading\": \"west\"}")
                .status,
            400);
  json status = web.Status();
  EXPECT_EQ(status["connected"], true);
  EXPECT_EQ(status["clients"], 1);
}

// Tokens: a read token reads and may not write; without a valid one
// nothing but the page answers. Origins: another site's page is refused,
// the page's own origin, an --origin and a program without one are let in.
// Without tokens only a loopback address is listened on.
TEST(WebGateway, TokensOriginsAndLoopbackOnly) {
  const uint16_t port = FreePort();
  pid_t pid = tarvos::testing::StartProgram(
      {WebPath(), "--listen", "0.0.0.0:" + std::to_string(port)});
  int wait_status = 0;
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (waitpid(pid, &wait_status, WNOHANG) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(WIFEXITED(wait_status)) << "it must refuse at once";
  EXPECT_NE(WEXITSTATUS(wait_status), 0);

  tarvos::testing::ScratchDir dir;
  const std::string tokens = dir.path() + "/tokens";
  std::ofstream(tokens) << "# who may use it\nreader-1 read\nwriter-2 write\n";
  // A plugin address where none listens: refusals come before the plugin.
  Gateway web({"--tokens", tokens, "--origin", "http://tablet.local:8080",
               "--plugin", "127.0.0.1:1"});
  const uint16_t p = web.port();
  EXPECT_EQ(HttpRequest(p, "GET", "/").status, 200) << "the page needs none";
  EXPECT_EQ(HttpRequest(p, "GET", "/api/status").status, 401);
  EXPECT_EQ(HttpRequest(p, "GET", "/api/status", "", "Bearer wrong").status,
            401);
  json status = web.Status("Bearer reader-1");
  EXPECT_EQ(status["connected"], false);
  EXPECT_EQ(HttpRequest(p, "GET", "/api/status?token=reader-1").status, 200);
  EXPECT_EQ(HttpRequest(p, "POST", "/api/values?token=reader-1",
                        "{\"autopilot.heading\": 1}")
                .status,
            403);
  EXPECT_EQ(HttpRequest(p, "POST", "/api/values", "{\"autopilot.heading\": 1}",
                        "Bearer writer-2")
                .status,
            503);
  EXPECT_EQ(HttpRequest(p, "GET", "/api/status?token=reader-1", "", "",
                        "http://evil.example")
                .status,
            403);

  int code = 0;
  WebSocketClient none;
  EXPECT_FALSE(none.Open(p, "/ws", "", &code));
  EXPECT_EQ(code, 401);
  WebSocketClient evil;
  EXPECT_FALSE(
      evil.Open(p, "/ws?token=reader-1", "http://evil.example", &code));
  EXPECT_EQ(code, 403);
  WebSocketClient own;
  EXPECT_TRUE(own.Open(p, "/ws?token=reader-1",
                       "http://127.0.0.1:" + std::to_string(p)));
  WebSocketClient tablet;
  EXPECT_TRUE(tablet.Open(p, "/ws?token=writer-2", "http://tablet.local:8080"));
  WebSocketClient program;
  ASSERT_TRUE(program.Open(p, "/ws?token=reader-1"));
  EXPECT_NE(ErrorOf(program, {{"op", "write"},
                              {"id", 1},
                              {"values", {{"autopilot.heading", 5}}}})
                .find("not allowed"),
            std::string::npos);
  EXPECT_NE(ErrorOf(tablet, {{"op", "write"},
                             {"id", 2},
                             {"values", {{"autopilot.heading", 5}}}})
                .find("not connected"),
            std::string::npos);
}

// Fifty browsers at once each get every update in order while one that
// never reads is dropped; the connection limit refuses the sixty-fifth.
TEST(WebGateway, FiftyBrowsersAndOneThatNeverReads) {
  tarvos::testing::SimhostProcess sim;
  ASSERT_TRUE(sim.ready()) << sim.error();
  Gateway web;
  ASSERT_TRUE(web.WaitConnected(true));

  WebSocketClient stalled;
  ASSERT_TRUE(stalled.Open(web.port(), "/ws", "", nullptr, 4096));
  // The whole catalogue every frame, many times over: far more than it
  // takes in.
  for (int id = 1; id <= 16; ++id) {
    stalled.Send(json{{"op", "subscribe"}, {"id", id}, {"names", {"*"}}});
  }
  std::vector<std::unique_ptr<WebSocketClient>> clients;
  for (int i = 0; i < 50; ++i) {
    auto c = std::make_unique<WebSocketClient>();
    ASSERT_TRUE(c->Open(web.port())) << i;
    c->Send(json{{"op", "subscribe"},
                 {"id", i},
                 {"names", {"attitude.heading", "position.altitude"}}});
    clients.push_back(std::move(c));
  }
  auto deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline && web.Status()["clients"] != 50) {
    for (auto& c : clients) c->Next(1);
  }
  EXPECT_EQ(web.Status()["clients"], 50) << "the stalled one is dropped";
  // Every one of the fifty still gets updates, in order with no gap.
  std::vector<int> last(50, 0), count(50, 0);
  auto until = Clock::now() + std::chrono::seconds(2);
  while (Clock::now() < until) {
    for (int i = 0; i < 50; ++i) {
      for (json j = clients[i]->NextJson(1); j.is_object();
           j = clients[i]->NextJson(1)) {
        if (j.value("op", "") != "update") continue;
        const int seq = j["seq"];
        if (last[i] != 0) {
          EXPECT_EQ(seq, last[i] + 1) << i;
        }
        last[i] = seq;
        ++count[i];
      }
    }
  }
  for (int i = 0; i < 50; ++i) EXPECT_GT(count[i], 20) << i;

  // Fifty and fourteen more make the limit; one more is refused.
  std::vector<std::unique_ptr<WebSocketClient>> more;
  for (int i = 0; i < 14; ++i) {
    more.push_back(std::make_unique<WebSocketClient>());
    EXPECT_TRUE(more.back()->Open(web.port())) << i;
  }
  WebSocketClient over;
  int code = 0;
  EXPECT_FALSE(over.Open(web.port(), "/ws", "", &code));
  EXPECT_EQ(code, 503);
}

// The plugin disabled and enabled again in the simulator: updates stop,
// the status says so, and they resume by themselves, the browser doing
// nothing.
TEST(WebGateway, UpdatesResumeAfterThePluginIsDisabledAndEnabled) {
  tarvos::testing::ScratchDir dir;
  const std::string control = dir.path() + "/control";
  tarvos::testing::SimhostProcess sim(
      {"--duration", "120", "--control", "unix:" + control});
  ASSERT_TRUE(sim.ready()) << sim.error();
  tarvos::testing::ControlLine ctl;
  ASSERT_TRUE(ctl.Connect(control));
  Gateway web;
  ASSERT_TRUE(web.WaitConnected(true));
  WebSocketClient ws;
  ASSERT_TRUE(ws.Open(web.port()));
  ws.Send(json{
      {"op", "subscribe"}, {"id", "hdg"}, {"names", {"attitude.heading"}}});
  ASSERT_TRUE(ws.NextOp("update", 5000).is_object());

  EXPECT_EQ(ctl.Ask("plugin tarvos disable").rfind("ok", 0), 0u);
  EXPECT_TRUE(web.WaitConnected(false));
  while (ws.NextJson(300).is_object()) {
  }
  EXPECT_TRUE(ws.NextJson(1500).is_null()) << "no updates while it is away";
  int seq = 0;
  EXPECT_EQ(ctl.Ask("plugin tarvos enable").rfind("ok", 0), 0u);
  json again = ws.NextOp("update", 20000);
  ASSERT_TRUE(again.is_object()) << "updates resume";
  seq = again["seq"];
  EXPECT_GT(seq, 1);
  EXPECT_EQ(ws.NextOp("update", 2000)["seq"], seq + 1);
  EXPECT_EQ(web.Status()["connected"], true);
}

}  // namespace
