// A browser's WebSocket messages to the gateway, dispatched as the server
// dispatches them but without sockets, with updates from the plugin in
// between. The input is cut into messages at newlines; a line that is
// exactly "!" delivers a frame of every subscribed range (its bytes taken
// from the input so far) instead.
//
// Checked throughout: every reply and update is one valid JSON object with
// an "op"; the merged ranges asked of the plugin are sorted, disjoint,
// inside the offset space and within the plugin's limits of one
// connection.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "web/hub.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

class Upstream : public tarvos::web::Upstream {
 public:
  void Want(const std::vector<tarvos::client::Range>& ranges) override {
    uint32_t end = 0;
    for (const auto& r : ranges) {
      Check(r.size > 0 && r.offset >= end && r.offset + r.size <= 65536);
      end = r.offset + r.size;
    }
    Check(tarvos::web::CheckUpstreamLimits(ranges).empty());
    want = ranges;
  }
  void Exchange(std::shared_ptr<tarvos::client::RequestBatch> batch,
                Done done) override {
    Check(batch->RecordAreaSize() <= tarvos::client::kMaxRecordArea);
    done("");
  }
  bool connected() const override { return true; }
  std::vector<tarvos::client::Range> want;
};

void CheckReply(const std::string& m) {
  auto j = nlohmann::json::parse(m, nullptr, false);
  Check(!j.is_discarded() && j.is_object() && j.contains("op"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Upstream up;
  tarvos::web::Hub hub(&up);
  const uint64_t writer = hub.AddClient(CheckReply, true);
  const uint64_t reader = hub.AddClient(CheckReply, false);
  std::string_view input(reinterpret_cast<const char*>(data), size);
  uint32_t frame = 0;
  size_t at = 0;
  bool to_reader = false;
  while (at <= input.size()) {
    size_t end = input.find('\n', at);
    if (end == std::string_view::npos) end = input.size();
    std::string_view line = input.substr(at, end - at);
    if (line == "!") {
      tarvos::client::Update u;
      u.frame = ++frame;
      u.time = frame / 60.0;
      for (const auto& r : up.want) {
        tarvos::client::UpdateRecord rec{r.offset,
                                         std::vector<uint8_t>(r.size, 0)};
        for (uint32_t k = 0; k < r.size && k < at; ++k) {
          rec.bytes[k] = data[(r.offset + k + frame) % at];
        }
        u.records.push_back(std::move(rec));
      }
      hub.OnUpdate(u);
    } else {
      hub.OnMessage(to_reader ? reader : writer, line);
      to_reader = !to_reader;
    }
    at = end + 1;
  }
  hub.RemoveClient(writer);
  hub.RemoveClient(reader);
  Check(up.want.empty());
  return 0;
}
