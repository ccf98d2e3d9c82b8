// The gateway's parts without sockets: values as JSON against the
// catalogue, names and globs, the merging of many browsers' subscriptions
// into one upstream set and the fan-out of its updates, and the token and
// origin rules.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "client/named_field.h"
#include "web/access.h"
#include "web/hub.h"
#include "web/value_codec.h"

namespace {

using nlohmann::json;
using tarvos::CatalogueItem;
using tarvos::Encoding;
namespace web = tarvos::web;

// Every writable item: a stored value goes out as JSON and comes back from
// that JSON as the same bytes, for every encoding the catalogue uses.
TEST(WebValueCodec, EveryEncodingRoundTripsThroughJson) {
  std::set<Encoding> seen;
  for (const web::NamedItem& n : web::AllItems()) {
    const CatalogueItem& item = n.item;
    if (!tarvos::client::WriteRefusal(item).empty()) continue;
    std::vector<uint8_t> stored(item.row->size, 0);
    switch (item.row->encoding) {
      case Encoding::kText:
        std::memcpy(stored.data(), "AB1",
                    std::min<size_t>(3, stored.size() - 1));
        break;
      case Encoding::kBcd4:
      case Encoding::kBcd3:
        stored[0] = 0x23;
        stored[1] = 0x01;
        break;
      case Encoding::kF32:
        std::memcpy(stored.data(), "\x00\x00\x88\x42", 4);  // 68.0
        break;
      case Encoding::kF64:
        std::memcpy(stored.data(), "\x00\x00\x00\x00\x00\x20\x51\x40", 8);
        break;
      default:
        stored[0] = 5;
    }
    const std::string text = web::ValueJson(item, stored.data());
    json value = json::parse(text, nullptr, false);
    ASSERT_FALSE(value.is_discarded()) << n.name << ": " << text;
    EXPECT_EQ(value.is_string(), item.row->encoding == Encoding::kText)
        << n.name;
    std::vector<uint8_t> back;
    std::string error = web::EncodeJsonValue(item, value, &back);
    if (!error.empty() && item.row->bias != 0) continue;  // 0 raw out of range
    EXPECT_EQ(error, "") << n.name << " " << text;
    EXPECT_EQ(back, stored) << n.name << " " << text;
    seen.insert(item.row->encoding);
  }
  for (Encoding e :
       {Encoding::kU8, Encoding::kU16, Encoding::kU32, Encoding::kS16,
        Encoding::kS32, Encoding::kF64, Encoding::kBcd4, Encoding::kText,
        Encoding::kAngle16, Encoding::kAngle32}) {
    EXPECT_TRUE(seen.count(e)) << tarvos::EncodingName(e);
  }
}

CatalogueItem Item(const std::string& name) {
  CatalogueItem item;
  EXPECT_EQ(tarvos::client::ResolveName(name, &item), "") << name;
  return item;
}

TEST(WebValueCodec, RefusesTheWrongKindOutOfRangeAndLongText) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(web::EncodeJsonValue(Item("autopilot.heading"), "east", &bytes),
            "autopilot.heading takes a number in deg, not a string");
  EXPECT_NE(
      web::EncodeJsonValue(Item("autopilot.heading"), json::array(), &bytes)
          .find("not a list"),
      std::string::npos);
  EXPECT_NE(
      web::EncodeJsonValue(Item("message.text"), 5, &bytes).find("takes text"),
      std::string::npos);
  const std::string range =
      web::EncodeJsonValue(Item("autopilot.altitude"), 1e15, &bytes);
  EXPECT_NE(range.find("out of range for autopilot.altitude ("),
            std::string::npos)
      << range;
  EXPECT_NE(web::EncodeJsonValue(Item("atc.flight_number"),
                                 std::string(40, 'x'), &bytes)
                .find("holds at most 11"),
            std::string::npos);
  // Angles go modulo a turn; true and false are 1 and 0.
  EXPECT_EQ(web::EncodeJsonValue(Item("autopilot.heading"), 450, &bytes), "");
  EXPECT_NEAR(
      json::parse(web::ValueJson(Item("autopilot.heading"), bytes.data()))
          .get<double>(),
      90, 0.01);
  EXPECT_EQ(web::EncodeJsonValue(Item("autopilot.heading"), true, &bytes), "");
  // Text that is not UTF-8 still makes valid JSON.
  uint8_t latin[12] = {'A', 0xE9, 'B', 0};
  EXPECT_FALSE(json::parse(web::ValueJson(Item("atc.flight_number"), latin),
                           nullptr, false)
                   .is_discarded());
}

TEST(WebValueCodec, ResolvesNamesAndGlobsOnceEachInOrder) {
  std::vector<uint32_t> items;
  ASSERT_EQ(web::ResolveNames({"attitude.heading", "position.*",
                               "attitude.heading", "engine.2.*"},
                              &items),
            "");
  const auto& all = web::AllItems();
  EXPECT_EQ(all[items[0]].name, "attitude.heading");
  std::set<uint32_t> unique(items.begin(), items.end());
  EXPECT_EQ(unique.size(), items.size());
  bool engine2 = false;
  for (size_t i = 1; i < items.size(); ++i) {
    const std::string& n = all[items[i]].name;
    EXPECT_TRUE(n.rfind("position.", 0) == 0 || n.rfind("engine.2.", 0) == 0)
        << n;
    engine2 |= n.rfind("engine.2.", 0) == 0;
  }
  EXPECT_TRUE(engine2) << "a glob over a table's record number";
  EXPECT_NE(
      web::ResolveNames({"attitude.headng"}, &items).find("attitude.heading"),
      std::string::npos);
  EXPECT_EQ(web::ResolveNames({"nothing.*"}, &items),
            "no name matches 'nothing.*'");
  EXPECT_TRUE(web::GlobMatches("*.frequency", "radio.com1.frequency"));
  EXPECT_FALSE(web::GlobMatches("radio.*.ident", "radio.com1.frequency"));
}

TEST(WebMerge, RangesMergeWithinThePluginsLimits) {
  auto merged =
      web::MergeRanges({{100, 4}, {0, 8}, {4, 8}, {101, 2}, {104, 4}, {0, 8}});
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].offset, 0u);
  EXPECT_EQ(merged[0].size, 12u);
  EXPECT_EQ(merged[1].offset, 100u);
  EXPECT_EQ(merged[1].size, 8u);
  // Touching runs stop growing at a size every subscription can hold.
  std::vector<tarvos::client::Range> run;
  for (uint32_t o = 0; o < 20000; o += 4) run.push_back({o, 4});
  for (const auto& r : web::MergeRanges(run)) EXPECT_LE(r.size, 4096u);
  EXPECT_EQ(web::CheckUpstreamLimits(web::MergeRanges(run)), "");
  run.clear();
  for (uint32_t o = 0; o < 40000; o += 4) run.push_back({o, 4});
  EXPECT_NE(web::CheckUpstreamLimits(web::MergeRanges(run)).find("40000 bytes"),
            std::string::npos);
  run.clear();
  for (uint32_t o = 0; o < 60000; o += 8) run.push_back({o, 1});
  EXPECT_NE(
      web::CheckUpstreamLimits(web::MergeRanges(run)).find("subscriptions"),
      std::string::npos);
}

// The hub's upstream, as a test sees it: what it was asked to subscribe,
// and batches it answers at once.
class FakeUpstream : public web::Upstream {
 public:
  void Want(const std::vector<tarvos::client::Range>& ranges) override {
    want = ranges;
  }
  void Exchange(std::shared_ptr<tarvos::client::RequestBatch>,
                Done done) override {
    ++exchanges;
    done("");
  }
  bool connected() const override { return true; }
  std::vector<tarvos::client::Range> want;
  int exchanges = 0;
};

// An update of the frame at `time` carrying every wanted range, with the
// bytes of `heading` (u32 at 0x0580) and everything else zero.
tarvos::client::Update Frame(const std::vector<tarvos::client::Range>& want,
                             uint32_t frame, double time, uint32_t heading) {
  tarvos::client::Update u;
  u.frame = frame;
  u.time = time;
  for (const auto& r : want) {
    tarvos::client::UpdateRecord rec{r.offset, std::vector<uint8_t>(r.size, 0)};
    for (uint32_t k = 0; k < 4; ++k) {
      if (0x0580 + k >= r.offset && 0x0580 + k < r.offset + r.size) {
        rec.bytes[0x0580 + k - r.offset] =
            static_cast<uint8_t>(heading >> (8 * k));
      }
    }
    u.records.push_back(rec);
  }
  return u;
}

TEST(WebHub, MergesSubscriptionsAndFansOutEachAsAsked) {
  FakeUpstream up;
  web::Hub hub(&up);
  std::vector<json> a, b;
  const uint64_t ca =
      hub.AddClient([&](std::string m) { a.push_back(json::parse(m)); }, true);
  const uint64_t cb =
      hub.AddClient([&](std::string m) { b.push_back(json::parse(m)); }, false);
  hub.OnMessage(ca,
                R"({"op":"subscribe","id":1,"names":["attitude.heading"]})");
  ASSERT_EQ(a.back()["op"], "subscribed");
  ASSERT_EQ(up.want.size(), 1u);
  hub.OnMessage(
      cb,
      R"({"op":"subscribe","id":"x","names":["attitude.heading","attitude.pitch"],"changes":true,"every":100})");
  ASSERT_EQ(b.back()["op"], "subscribed");
  size_t bytes = 0;
  for (const auto& r : up.want) bytes += r.size;
  EXPECT_EQ(bytes, 8u) << "the heading once, and the pitch";
  a.clear();
  b.clear();
  // Ten frames at 50 Hz, the heading changing on the sixth.
  for (uint32_t f = 1; f <= 10; ++f) {
    hub.OnUpdate(Frame(up.want, f, f * 0.02, f < 6 ? 1u << 30 : 1u << 31));
  }
  ASSERT_EQ(a.size(), 10u);
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i]["seq"], i + 1);
    EXPECT_EQ(a[i]["frame"], i + 1);
  }
  EXPECT_NEAR(a[0]["values"]["attitude.heading"].get<double>(), 90, 1e-9);
  EXPECT_NEAR(a[9]["values"]["attitude.heading"].get<double>(), 180, 1e-9);
  // Frames 1 and 6 are 100 ms apart; the first complete, then the change.
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0]["values"].size(), 2u);
  EXPECT_EQ(b[1]["seq"], 2);
  EXPECT_EQ(b[1]["values"].size(), 1u);
  EXPECT_EQ(b[1]["frame"], 6);

  // A name only a new subscription has waits for a fresh value: its first
  // update is complete.
  const auto before = up.want;
  hub.OnMessage(
      ca,
      R"({"op":"subscribe","id":2,"names":["attitude.heading","attitude.bank"]})");
  a.clear();
  hub.OnUpdate(Frame(before, 11, 0.22, 0));
  for (const json& m : a) EXPECT_NE(m["id"], 2) << m.dump();
  hub.OnUpdate(Frame(up.want, 12, 0.24, 0));
  EXPECT_EQ(a.back()["id"], 2);
  EXPECT_EQ(a.back()["values"].size(), 2u);

  // Read tokens may not write; unsubscribing and leaving shrink the set.
  hub.OnMessage(cb,
                R"({"op":"write","id":3,"values":{"autopilot.heading":5}})");
  EXPECT_NE(b.back()["error"].get<std::string>().find("not allowed"),
            std::string::npos);
  hub.OnMessage(ca,
                R"({"op":"write","id":4,"values":{"autopilot.heading":5}})");
  EXPECT_EQ(a.back()["op"], "written");
  EXPECT_EQ(up.exchanges, 1);
  hub.RemoveClient(cb);
  hub.OnMessage(ca, R"({"op":"unsubscribe","id":2})");
  EXPECT_EQ(a.back()["op"], "unsubscribed");
  bytes = 0;
  for (const auto& r : up.want) bytes += r.size;
  EXPECT_EQ(bytes, 4u);
  hub.OnMessage(ca, R"({"op":"unsubscribe","id":1})");
  EXPECT_TRUE(up.want.empty());
  // A browser's subscriptions that would pass the plugin's limits are
  // refused in words.
  hub.OnMessage(ca, R"({"op":"subscribe","id":5,"names":["*","*"]})");
  EXPECT_EQ(a.back()["op"], "subscribed");
  EXPECT_EQ(hub.clients(), 1u);
}

TEST(WebAccess, TokensAndOrigins) {
  web::Tokens tokens;
  EXPECT_EQ(tokens.Check("anything"), web::Grant::kWrite) << "without a file";
  EXPECT_EQ(tokens.Parse("# tokens\n\nr1 read\r\nw2\twrite\n"), "");
  EXPECT_EQ(tokens.Check("r1"), web::Grant::kRead);
  EXPECT_EQ(tokens.Check("w2"), web::Grant::kWrite);
  EXPECT_EQ(tokens.Check("r"), web::Grant::kNone);
  EXPECT_EQ(tokens.Check(""), web::Grant::kNone);
  web::Tokens bad;
  EXPECT_EQ(bad.Parse("ok read\nx admin\n"),
            "line 2: 'admin' is neither read nor write");
  EXPECT_EQ(bad.Parse("lonely\n"), "line 1: a token and then read or write");

  EXPECT_EQ(web::RequestToken("Bearer abc", "/ws?token=zzz"), "abc");
  EXPECT_EQ(web::RequestToken("", "/ws?a=1&token=a%2Bb"), "a+b");
  EXPECT_EQ(web::RequestToken("Basic xyz", "/ws"), "");

  web::Origins origins;
  EXPECT_TRUE(origins.Add("http://tablet.local:8080/"));
  EXPECT_FALSE(origins.Add("tablet.local"));
  EXPECT_TRUE(origins.Allows("", "127.0.0.1:5194")) << "a program sends none";
  EXPECT_TRUE(origins.Allows("http://127.0.0.1:5194", "127.0.0.1:5194"));
  EXPECT_TRUE(origins.Allows("HTTPS://LocalHost:5194", "localhost:5194"));
  EXPECT_TRUE(origins.Allows("http://tablet.local:8080", "10.0.0.2:5194"));
  EXPECT_FALSE(origins.Allows("http://127.0.0.1:9999", "127.0.0.1:5194"));
  EXPECT_FALSE(origins.Allows("http://evil.example", "127.0.0.1:5194"));
  EXPECT_FALSE(origins.Allows("null", "127.0.0.1:5194"));

  EXPECT_TRUE(web::IsLoopbackAddress("127.0.0.1"));
  EXPECT_TRUE(web::IsLoopbackAddress("::1"));
  EXPECT_TRUE(web::IsLoopbackAddress("localhost"));
  EXPECT_FALSE(web::IsLoopbackAddress("0.0.0.0"));
  EXPECT_FALSE(web::IsLoopbackAddress("192.168.1.2"));
  EXPECT_FALSE(web::IsLoopbackAddress("127.evil.example"));
  EXPECT_TRUE(web::IsLoopbackHost("[::1]:5194"));
  EXPECT_TRUE(web::IsLoopbackHost("127.0.0.1:5194"));
  EXPECT_FALSE(web::IsLoopbackHost("rebound.example:5194"));
}

}  // namespace
