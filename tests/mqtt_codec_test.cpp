// tarvos-mqtt without a broker: values as the payloads boards parse, names
// as topics and back, and what a set message turns into (a write or the
// error in words), on the gateway that sits between plugin and broker.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/named_field.h"
#include "client/plain_value.h"
#include "mqtt/gateway.h"
#include "mqtt/options.h"
#include "mqtt/topics.h"
#include "offsets/catalogue.h"
#include "offsets/coding.h"

namespace tarvos::testing {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> b) {
  std::vector<uint8_t> out;
  for (int v : b) out.push_back(static_cast<uint8_t>(v));
  return out;
}

CatalogueItem Named(const std::string& name) {
  CatalogueItem item;
  EXPECT_EQ(client::ResolveName(name, &item), "") << name;
  return item;
}

constexpr OffsetRow kF32 = Row(0, 4, Encoding::kF32, Access::kRead,
                               Source::kClient, "t.f32", "", 1, "");
constexpr OffsetRow kU64 = Row(0, 8, Encoding::kU64, Access::kRead,
                               Source::kClient, "t.u64", "", 1, "");
constexpr OffsetRow kS8 = Row(0, 1, Encoding::kS8, Access::kRead,
                              Source::kClient, "t.s8", "kt", 0.01, "");
constexpr OffsetRow kEighths =
    Row(0, 1, Encoding::kS8, Access::kRead, Source::kClient, "t.eighths", "kt",
        1.0 / 128, "");
constexpr OffsetRow kBits = Row(0, 2, Encoding::kBits, Access::kRead,
                                Source::kClient, "t.bits", "", 1, "");
constexpr OffsetRow kBcd = Row(0, 2, Encoding::kBcd4, Access::kRead,
                               Source::kClient, "t.bcd", "MHz", 0.01, "")
                               .Bias(100);

std::vector<uint8_t> F32(float v) {
  std::vector<uint8_t> b(4);
  StoreF32(b.data(), v);
  return b;
}

// Every kind of encoding as bare decimal text: no unit, no exponent, no
// "-0", and integers that a double would round kept exact.
TEST(MqttPayload, EveryEncodingAsPlainDecimalText) {
  const struct {
    CatalogueItem item;
    std::vector<uint8_t> bytes;
    const char* text;
  } kCases[] = {
      {Named("position.latitude"), Bytes({0, 0, 0, 0, 0xAB, 0x4E, 0x4C, 0}),
       "45.000000"},
      {Named("position.longitude"),
       Bytes({0xC0, 0x82, 0x2D, 0xD8, 0x82, 0x2D, 0xD8, 0xFA}), "-7.250000"},
      {Named("position.altitude"), Bytes({0, 0, 0, 0x80, 0xE8, 3, 0, 0}),
       "1000.500000"},
      {Named("attitude.heading"), Bytes({0, 0, 0, 0xC0}), "270.000000"},
      {Named("autopilot.heading"), Bytes({0x00, 0x40}), "90.0"},
      {Named("speed.vertical"), Bytes({0x80, 0xFE, 0xFF, 0xFF}), "-1.5"},
      {Named("atc.flight_number"), Bytes({'L', 'H', ' ', '5', 0, 'x'}), "LH 5"},
      {{&kBcd, 0, 1}, Bytes({0x45, 0x23}), "123.45"},
      {{&kBits, 0, 1}, Bytes({0x00, 0x03}), "768"},
      {{&kS8, 0, 1}, Bytes({0xFF}), "-0.01"},
      {{&kEighths, 0, 1}, Bytes({0xFF}), "0.0"},  // -1/128 shows as 0.0
      {{&kS8, 0, 1}, Bytes({0x80}), "-1.28"},
      {{&kU64, 0, 1},
       Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
       "18446744073709551615"},
      {{&kF32, 0, 1}, F32(1.5e9f), "1500000000"},
      {{&kF32, 0, 1}, F32(0.000123f), "0.000123"},
      {{&kF32, 0, 1}, F32(-0.0f), "0"},
      {{&kF32, 0, 1}, F32(126.5f), "126.5"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.item.row->name);
    EXPECT_EQ(client::PlainItemValue(c.item, c.bytes.data()), c.text);
  }
}

// Every catalogue name is a valid topic of its own under the prefix, apart
// from the status, error and set topics, and its set topic names it again.
TEST(MqttTopics, EveryNameIsATopicAndItsSetTopicNamesItBack) {
  EXPECT_EQ(mqtt::ValueTopic("tarvos", "traffic.3.latitude"),
            "tarvos/traffic/3/latitude");
  size_t names = 0;
  ForEachCatalogueItem([&](const CatalogueItem& item) {
    ++names;
    const std::string name = client::ItemFullName(item);
    const std::string topic = mqtt::ValueTopic("home/sim", name);
    ASSERT_EQ(topic.find_first_of("+#"), std::string::npos) << topic;
    ASSERT_EQ(topic.find("//"), std::string::npos) << topic;
    ASSERT_NE(topic.back(), '/') << topic;
    const std::string first = name.substr(0, name.find('.'));
    ASSERT_TRUE(first != "set" && first != "status" && first != "error")
        << name;
    std::string back;
    ASSERT_TRUE(mqtt::NameOfSetTopic("home/sim",
                                     "home/sim/set/" + topic.substr(9), &back));
    ASSERT_EQ(back, name);
  });
  EXPECT_GT(names, 100u);
  std::string name;
  EXPECT_FALSE(mqtt::NameOfSetTopic("tarvos", "tarvos/set/", &name));
  EXPECT_FALSE(mqtt::NameOfSetTopic("tarvos", "tarvos/setx/a", &name));
  EXPECT_FALSE(mqtt::ValidPrefix("a/+"));
  EXPECT_FALSE(mqtt::ValidPrefix("/a"));
}

struct Fixture {
  std::unique_ptr<mqtt::Gateway> g;
  std::vector<mqtt::Message> Take() {
    std::vector<mqtt::Message> out;
    g->TakeMessages(10000, &out);
    return out;
  }
};

Fixture Make(std::vector<std::string> publish,
             std::vector<std::string> writable) {
  std::string error;
  mqtt::GatewayOptions o;
  o.publish = std::move(publish);
  o.writable = std::move(writable);
  Fixture f{mqtt::Gateway::Create(o, nullptr, &error)};
  EXPECT_NE(f.g, nullptr) << error;
  return f;
}

client::Update UpdateOf(const mqtt::Gateway& g, uint32_t seq, uint8_t fill) {
  client::Update u;
  u.id = 1;
  u.seq = seq;
  for (const client::Range& r : g.Ranges()) {
    u.records.push_back({r.offset, std::vector<uint8_t>(r.size, fill)});
  }
  return u;
}

// Neighbouring names share ranges; a whole snapshot goes out in full and
// then "online"; later updates only what changed; a new broker connection
// gets everything again.
TEST(MqttGateway, PublishesChangesOnlyAndEverythingAfterAReconnect) {
  Fixture f = Make({"engine.1.*"}, {});
  const size_t names = f.g->Stats().names;
  ASSERT_GT(names, 5u);
  EXPECT_LT(f.g->Ranges().size(), names);
  f.g->BrokerUp();
  std::vector<mqtt::Message> m = f.Take();
  ASSERT_EQ(m.size(), 1u);  // nothing known yet but the status
  EXPECT_EQ(m[0].topic + " " + m[0].payload, "tarvos/status offline");
  f.g->PluginUp();
  f.g->TakeUpdate(UpdateOf(*f.g, 1, 0));
  m = f.Take();
  ASSERT_EQ(m.size(), names + 1);
  EXPECT_EQ(m.back().topic + " " + m.back().payload, "tarvos/status online");
  EXPECT_TRUE(m.front().retain);
  f.g->TakeUpdate(UpdateOf(*f.g, 2, 0));
  EXPECT_TRUE(f.Take().empty()) << "unchanged values went out again";
  f.g->TakeUpdate(UpdateOf(*f.g, 3, 1));
  EXPECT_GT(f.Take().size(), 0u);
  f.g->BrokerUp();
  EXPECT_EQ(f.Take().size(), names + 1);
  // A plugin that came back sends its snapshot again in full; the status
  // waiting is the latest one only.
  f.g->PluginDown();
  f.g->PluginUp();
  f.g->TakeUpdate(UpdateOf(*f.g, 1, 1));
  m = f.Take();
  ASSERT_EQ(m.size(), names + 1);
  EXPECT_EQ(m.back().payload, "online");
}

// Every way a set message is refused, in words on the error topic, and a
// good one queued as a write of the field's bytes.
TEST(MqttGateway, SetMessagesBecomeWritesOrErrorsInWords) {
  Fixture f =
      Make({"autopilot.heading"},
           {"autopilot.heading", "autopilot.vertical_speed", "engine.1.egt"});
  const struct {
    const char* topic;
    std::string payload;
    const char* error;  // "" for a write
  } kCases[] = {
      {"tarvos/set/autopilot/heading", "90",
       "autopilot.heading: plugin not connected"},
      {"tarvos/set/no/such", "1", "no.such: unknown name"},
      {"tarvos/set/engine/1/egt", "1",
       "engine.1.egt: read-only (the plugin overwrites it with the "
       "simulator's value)"},
      {"tarvos/set/autopilot/altitude", "1",
       "autopilot.altitude: not writable here (not in --writable)"},
      {"tarvos/set/autopilot/vertical_speed", "40000",
       "autopilot.vertical_speed: 40000 is out of range (-32768 to 32767 "
       "ft/min)"},
      {"tarvos/set/autopilot/heading", "north",
       "autopilot.heading: bad value 'north' (a number)"},
      {"tarvos/set/autopilot/heading", std::string("9\0", 2),
       "autopilot.heading: the value holds bytes that are not printable text"},
      {"tarvos/set/autopilot/heading", std::string(300, '9'),
       "autopilot.heading: value too long (300 bytes; at most 256)"},
      {"tarvos/set/x", "1", "x: unknown name"},
  };
  for (const auto& c : kCases) {
    f.g->OnSet(c.topic, c.payload);
    std::vector<mqtt::Message> m = f.Take();
    ASSERT_EQ(m.size(), 1u) << c.topic;
    EXPECT_EQ(m[0].topic, "tarvos/error");
    EXPECT_FALSE(m[0].retain);
    EXPECT_EQ(m[0].payload, c.error);
  }
  f.g->OnSet("tarvos/set/" + std::string(5000, 'x'), "1");
  EXPECT_EQ(f.Take().size(), 1u);
  f.g->PluginUp();
  f.g->OnSet("tarvos/set/autopilot/heading", "45\n");
  f.g->OnSet("tarvos/set/autopilot/heading", " 90 ");  // replaces the 45
  EXPECT_TRUE(f.Take().empty());
  std::vector<mqtt::Write> w = f.g->TakeWrites();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].offset, 0x07CCu);
  EXPECT_EQ(w[0].bytes, Bytes({0x00, 0x40}));
  // Writes still waiting when the plugin goes are refused.
  f.g->OnSet("tarvos/set/autopilot/heading", "10");
  f.g->PluginDown();
  std::vector<mqtt::Message> m = f.Take();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].payload, "autopilot.heading: plugin not connected");
}

TEST(MqttOptions, HostAndPort) {
  std::string host, error;
  uint16_t port = 1883;
  EXPECT_TRUE(mqtt::ParseHostPort("broker.local", &host, &port, &error));
  EXPECT_EQ(host + ":" + std::to_string(port), "broker.local:1883");
  EXPECT_TRUE(mqtt::ParseHostPort("[::1]:1884", &host, &port, &error));
  EXPECT_EQ(host + ":" + std::to_string(port), "::1:1884");
  EXPECT_FALSE(mqtt::ParseHostPort("h:70000", &host, &port, &error));
  EXPECT_FALSE(mqtt::ParseHostPort(":1883", &host, &port, &error));
  uint16_t every = 1;
  EXPECT_TRUE(mqtt::ParseEvery("frame", &every, &error));
  EXPECT_EQ(every, 0);
  EXPECT_FALSE(mqtt::ParseEvery("0", &every, &error));
}

}  // namespace
}  // namespace tarvos::testing
