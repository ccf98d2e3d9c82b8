// tarvos-mqtt's set path on arbitrary messages, as anyone on the broker
// may send them: the first byte says how long the topic is, the rest is the
// payload. Every message ends as one error or one write of exactly its
// field's size, and nothing waits beyond the gateway's bounds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mqtt/gateway.h"
#include "offsets/catalogue.h"

namespace {

tarvos::mqtt::Gateway& TheGateway() {
  static tarvos::mqtt::Gateway* g = [] {
    tarvos::mqtt::GatewayOptions o;
    o.publish = {"autopilot.*"};
    o.writable = {"*"};
    std::string error;
    auto made = tarvos::mqtt::Gateway::Create(o, nullptr, &error);
    if (made == nullptr) __builtin_trap();
    made->PluginUp();
    return made.release();
  }();
  return *g;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t topic_size = data[0] % size;
  const char* rest = reinterpret_cast<const char*>(data + 1);
  // The prefix as every real set message has it, then the fuzzed levels.
  const std::string topic = "tarvos/set/" + std::string(rest, topic_size);
  const std::string_view payload(rest + topic_size, size - 1 - topic_size);
  tarvos::mqtt::Gateway& g = TheGateway();
  g.OnSet(topic, payload);
  std::vector<tarvos::mqtt::Message> messages;
  g.TakeMessages(1000, &messages);
  const std::vector<tarvos::mqtt::Write> writes = g.TakeWrites();
  if (messages.size() + writes.size() != 1) __builtin_trap();
  for (const tarvos::mqtt::Write& w : writes) {
    const tarvos::CatalogueItem item = tarvos::FindCatalogueItem(w.name);
    if (item.row == nullptr || item.offset != w.offset ||
        w.bytes.size() != item.row->size ||
        item.row->access == tarvos::Access::kRead) {
      __builtin_trap();
    }
  }
  return 0;
}
