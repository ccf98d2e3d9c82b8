// Every write handler and converter against a host whose datarefs hold
// values the fuzzer chose (NaN, infinities, extremes and raw bit patterns
// included), with the x737 and pushback plugins present or absent.
//
// Input:
//   byte 0      flags: bit 0 x737 loaded, bit 1 pushback loaded, bit 2 run
//               every periodic converter (callbacks A to I) before the
//               batch, bit 3 run the aircraft-load conversions, bit 4 run
//               the converters again after the batch, bit 5 run the
//               message window's frame callback and the one-second timer
//               after the batch, bit 7 the rest after
//               the dataref section is a raw batch (else a list of steps)
//   byte 1      number of dataref assignments n (each: 2 bytes dataref
//               index, 1 byte element, 1 byte value selector, and 8 raw
//               value bytes when the selector asks for them)
//   the rest    a raw batch, or steps: 1 byte kind, 2 bytes choosing a
//               writable offset (or a catalogue item), then the value bytes
//               the step needs; built into one batch and served
//
// The batch is served as a transport serves it; the plugin is enabled but
// no frame is stepped, so no worker thread exists and every run is on this
// thread.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "offsets/catalogue.h"
#include "offsets/coding.h"
#include "offsets/refresh_lists.h"
#include "requests/message_window.h"
#include "requests/one_second_timer.h"
#include "requests/write_handlers.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/request_batch.h"

namespace {

using simhost::DataType;

constexpr char kX737[] = "bs.x737.plugin";
constexpr char kPushback[] = "GoodWay.XPushBack";

struct Dataref {
  std::string name;
  DataType kind;
  int size;  // elements (bytes for byte arrays)
};

struct Writable {
  uint16_t offset;
  uint8_t size;
};

struct World {
  std::vector<Dataref> datarefs;
  std::vector<Writable> writables;
  std::vector<std::pair<uint16_t, uint16_t>> items;  // catalogue reads
  bool x737 = false;
  bool pushback = false;
};

World& TheWorld() {
  static World* world = [] {
    auto* w = new World;
    // Enabled but no frame stepped: the worker threads are never started.
    tarvos::testing::BootLinkedPlugin(/*enable=*/true);
    simhost::Host& host = simhost::Host::Get();
    // The plugins' own datarefs belong to the list too.
    host.AddPlugin(kX737);
    host.AddPlugin(kPushback);
    for (auto& [name, kind] : host.Datarefs()) {
      w->datarefs.push_back({name, kind, host.ArraySize(name)});
    }
    host.RemovePlugin(kX737);
    host.RemovePlugin(kPushback);
    for (uint32_t o = 0; o < 0x10000; ++o) {
      if (const tarvos::WriteHandler* h = tarvos::FindWriteHandler(o)) {
        w->writables.push_back({h->offset, h->size});
      }
    }
    tarvos::ForEachCatalogueItem([&](const tarvos::CatalogueItem& item) {
      w->items.emplace_back(static_cast<uint16_t>(item.offset), item.row->size);
    });
    return w;
  }();
  return *world;
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint64_t U64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t{U8()} << (8 * i);
    return v;
  }
  std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> out;
    while (n-- > 0 && !empty()) out.push_back(U8());
    return out;
  }
  std::vector<uint8_t> Rest() { return Bytes(size_ - at_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

double ChooseValue(Input& in) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  static const double kSpecial[] = {
      std::numeric_limits<double>::quiet_NaN(),
      kInf,
      -kInf,
      std::numeric_limits<double>::max(),
      std::numeric_limits<double>::lowest(),
      std::numeric_limits<double>::denorm_min(),
      std::numeric_limits<float>::max(),
      -std::numeric_limits<float>::max(),
      2147483647.0,
      -2147483648.0,
      4294967296.0,
      9.3e18,
      -9.3e18,
      1e300,
      -1.0,
      0.0,
      -0.0,
      0.5,
      90.0,
      -90.0,
      180.0,
      -180.0,
      360.0,
      65536.0,
  };
  constexpr size_t kCount = sizeof kSpecial / sizeof kSpecial[0];
  const uint8_t selector = in.U8();
  if (selector < kCount) return kSpecial[selector];
  if (selector < 128) return static_cast<double>(selector) - 100.0;
  const uint64_t bits = in.U64();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// The value as the host's float store holds it: out of float range becomes
// an infinity of the same sign (the conversion itself would be undefined).
float ToFloat(double v) {
  if (std::isnan(v)) return std::numeric_limits<float>::quiet_NaN();
  if (v > std::numeric_limits<float>::max()) {
    return std::numeric_limits<float>::infinity();
  }
  if (v < std::numeric_limits<float>::lowest()) {
    return -std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(v);
}

int ToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

void Assign(simhost::Host& host, const Dataref& d, int element, double v,
            Input& in) {
  const int index = d.size > 0 ? element % d.size : 0;
  switch (d.kind) {
    case DataType::kInt:
      host.SetInt(d.name, ToInt(v));
      break;
    case DataType::kFloat:
      host.SetFloat(d.name, ToFloat(v));
      break;
    case DataType::kDouble:
      host.SetDouble(d.name, v);
      break;
    case DataType::kIntArray:
      host.SetIntElement(d.name, index, ToInt(v));
      break;
    case DataType::kFloatArray:
      host.SetFloatElement(d.name, index, ToFloat(v));
      break;
    case DataType::kBytes: {
      std::vector<uint8_t> b = in.Bytes(static_cast<size_t>(element) % 64);
      host.SetBytes(d.name, std::string(b.begin(), b.end()));
      break;
    }
  }
}

void SetPlugin(simhost::Host& host, const char* signature, bool want,
               bool& have) {
  if (want == have) return;
  if (want) {
    host.AddPlugin(signature);
  } else {
    host.RemovePlugin(signature);
  }
  have = want;
}

void RunConverters() {
  using tarvos::RefreshCallback;
  for (RefreshCallback c :
       {RefreshCallback::kA, RefreshCallback::kB, RefreshCallback::kC,
        RefreshCallback::kD, RefreshCallback::kE, RefreshCallback::kF,
        RefreshCallback::kG, RefreshCallback::kH, RefreshCallback::kI}) {
    for (tarvos::Converter convert : tarvos::RefreshList(c)) convert();
  }
}

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  const size_t at = b.size();
  b.resize(at + 4);
  tarvos::StoreU32(b.data() + at, v);
}

// Steps into one batch: mostly writes the handler table knows, so that the
// fuzzer reaches the handlers instead of the record walk's refusals.
std::vector<uint8_t> BuildBatch(Input& in, const World& w) {
  std::vector<uint8_t> batch;
  while (!in.empty() && batch.size() < 8192) {
    const uint8_t kind = in.U8();
    const uint16_t pick = in.U16();
    switch (kind % 4) {
      case 0:    // a whole item
      case 1: {  // an item cut short or run long (size in the low bits)
        const Writable& h = w.writables[pick % w.writables.size()];
        size_t size = h.size;
        if (kind % 4 == 1) size = (kind >> 2) % (2 * h.size + 1);
        PutU32(batch, tarvos::kRecordWrite);
        PutU32(batch, h.offset);
        PutU32(batch, static_cast<uint32_t>(size));
        std::vector<uint8_t> v = in.Bytes(size);
        v.resize(size, 0);
        batch.insert(batch.end(), v.begin(), v.end());
        break;
      }
      case 2: {  // a read of a catalogue item
        const auto& [offset, size] = w.items[pick % w.items.size()];
        PutU32(batch,
               (kind & 4) ? tarvos::kRecordWideRead : tarvos::kRecordRead);
        PutU32(batch, offset);
        PutU32(batch, size);
        PutU32(batch, 0);
        if (kind & 4) PutU32(batch, 0);
        batch.resize(batch.size() + size, 0);
        break;
      }
      case 3: {  // a write of a double or float into an item
        const Writable& h = w.writables[pick % w.writables.size()];
        const double v = ChooseValue(in);
        std::vector<uint8_t> bytes(h.size, 0);
        if (h.size >= 8) {
          std::memcpy(bytes.data(), &v, 8);
        } else if (h.size >= 4) {
          const float f = ToFloat(v);
          std::memcpy(bytes.data(), &f, 4);
        } else {
          const int32_t i = ToInt(v);
          std::memcpy(bytes.data(), &i, h.size);
        }
        PutU32(batch, tarvos::kRecordWrite);
        PutU32(batch, h.offset);
        PutU32(batch, h.size);
        batch.insert(batch.end(), bytes.begin(), bytes.end());
        break;
      }
    }
  }
  PutU32(batch, tarvos::kRecordEnd);
  return batch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = TheWorld();
  simhost::Host& host = simhost::Host::Get();
  Input in(data, size);
  const uint8_t flags = in.U8();
  SetPlugin(host, kX737, (flags & 1) != 0, w.x737);
  SetPlugin(host, kPushback, (flags & 2) != 0, w.pushback);

  const int assignments = in.U8();
  for (int i = 0; i < assignments && !in.empty(); ++i) {
    const Dataref& d = w.datarefs[in.U16() % w.datarefs.size()];
    const int element = in.U8();
    Assign(host, d, element, ChooseValue(in), in);
  }
  if (flags & 4) RunConverters();
  if (flags & 8) {
    for (tarvos::Converter convert : tarvos::AircraftLoadList()) convert();
  }

  // An exact-size heap copy, so that AddressSanitizer sees any access past
  // the batch.
  std::vector<uint8_t> batch = (flags & 0x80) ? in.Rest() : BuildBatch(in, w);
  tarvos::BatchResult r =
      tarvos::ServeRequestBatch(batch.data(), batch.size(), '*');
  if (r.used_length > batch.size()) __builtin_trap();
  if (r.result != 0 && r.result != 1) __builtin_trap();
  if (flags & 0x10) RunConverters();
  if (flags & 0x20) {
    // What the main thread does with the requests the handlers recorded.
    tarvos::MessageWindowFrame(0.016f, 0.016f, 1, nullptr);
    tarvos::StepMessageWindowTime();
    tarvos::OneSecondTimer(1.0f, 1.0f, 1, nullptr);
  }

  // The host records every set call, command and key the handlers make;
  // drop them so that memory stays flat over millions of runs.
  host.TakeSetRecords();
  host.TakeCommands();
  host.TakeInputs();
  host.TakeHostErrors();
  return 0;
}
