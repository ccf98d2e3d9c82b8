// The offset catalogue against what the plugin really does: its rows are
// well formed, every byte a converter stores lies in a row that says it is
// refreshed that way and every such row is refreshed, every write handler
// lies in a writable row, and the committed reference and JSON are what the
// code generates.
#include "offsets/catalogue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/locks.h"
#include "client/named_field.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "offsets/refresh_lists.h"
#include "requests/read_items.h"
#include "requests/write_handlers.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos::testing {
namespace {

std::vector<CatalogueItem> AllItems() {
  std::vector<CatalogueItem> items;
  ForEachCatalogueItem([&](const CatalogueItem& i) { items.push_back(i); });
  return items;
}

// The items covering each byte of the offset space.
std::vector<std::vector<CatalogueItem>> ItemsByByte() {
  std::vector<std::vector<CatalogueItem>> by_byte(kOffsetSpaceSize);
  for (const CatalogueItem& item : AllItems()) {
    for (uint32_t b = item.offset; b < item.offset + item.row->size; ++b) {
      if (b < kOffsetSpaceSize) by_byte[b].push_back(item);
    }
  }
  return by_byte;
}

std::string Hex4(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04X", v);
  return buf;
}

TEST(CatalogueRows, AreWellFormedAndOverlapOnlyAsAliases) {
  std::set<std::string> names;
  for (const CatalogueDomain& d : CatalogueDomains()) {
    uint32_t previous = 0;
    for (const OffsetRow& r : d.rows) {
      SCOPED_TRACE(r.name);
      EXPECT_GE(r.offset, previous) << "rows of a domain in offset order";
      previous = r.offset;
      EXPECT_GT(r.size, 0);
      EXPECT_GE(r.repeat, 1);
      uint32_t last = r.offset + uint32_t{r.stride} * (r.repeat - 1u) + r.size;
      EXPECT_LE(last, kOffsetSpaceSize) << "inside the offset space";
      EXPECT_NE(r.scale, 0.0);
      EXPECT_NE(r.summary[0], '\0');
      // A table's records do not overlap each other, and its name numbers
      // them; a single item has no '#'.
      const bool numbered = std::strchr(r.name, '#') != nullptr;
      EXPECT_EQ(numbered, r.repeat > 1);
      if (r.repeat > 1) {
        EXPECT_GE(r.stride, r.size);
      }
      for (const char* p = r.name; *p != '\0'; ++p) {
        EXPECT_TRUE((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') ||
                    *p == '.' || *p == '_' || *p == '#')
            << "name character '" << *p << "'";
      }
      // Fixed sizes of the fixed-width encodings.
      static const std::map<Encoding, uint16_t> kSizes = {
          {Encoding::kU8, 1},        {Encoding::kS8, 1},
          {Encoding::kU16, 2},       {Encoding::kS16, 2},
          {Encoding::kAngle16, 2},   {Encoding::kBcd4, 2},
          {Encoding::kBcd3, 2},      {Encoding::kU32, 4},
          {Encoding::kS32, 4},       {Encoding::kF32, 4},
          {Encoding::kAngle32, 4},   {Encoding::kAngleS32, 4},
          {Encoding::kU64, 8},       {Encoding::kS64, 8},
          {Encoding::kF64, 8},       {Encoding::kLatitude, 8},
          {Encoding::kLongitude, 8}, {Encoding::kFixed3232, 8}};
      // A plain row's conversion: from a refresh callback into a number.
      if (r.read.accessor != Accessor::kNone) {
        EXPECT_TRUE(r.source >= Source::kCallbackA &&
                    r.source <= Source::kCallbackI);
        EXPECT_TRUE(IsNumeric(r.encoding) && r.encoding != Encoding::kBcd4 &&
                    r.encoding != Encoding::kBcd3 && r.repeat == 1 &&
                    r.alias_of == kNoAlias);
      }
      auto it = kSizes.find(r.encoding);
      if (it != kSizes.end()) {
        EXPECT_EQ(r.size, it->second);
      }
    }
  }
  for (const CatalogueItem& item : AllItems()) {
    EXPECT_TRUE(names.insert(client::ItemFullName(item)).second)
        << "duplicate name " << client::ItemFullName(item);
  }

  // Overlaps: only between an alias and the row it names.
  auto by_byte = ItemsByByte();
  for (uint32_t b = 0; b < kOffsetSpaceSize; ++b) {
    const auto& here = by_byte[b];
    for (size_t i = 0; i < here.size(); ++i) {
      for (size_t j = i + 1; j < here.size(); ++j) {
        const OffsetRow& x = *here[i].row;
        const OffsetRow& y = *here[j].row;
        bool alias =
            x.alias_of == here[j].offset || y.alias_of == here[i].offset;
        EXPECT_TRUE(alias) << x.name << " and " << y.name << " overlap at "
                           << Hex4(b);
      }
    }
  }
  // An alias names a row that exists.
  for (const CatalogueItem& item : AllItems()) {
    if (item.row->alias_of == kNoAlias) continue;
    bool found = false;
    for (const CatalogueItem& other : AllItems()) {
      found |=
          other.offset == item.row->alias_of && other.row->alias_of == kNoAlias;
    }
    EXPECT_TRUE(found) << item.row->name << " is an alias of a missing row";
  }
}

// --- Coverage: every stored byte has its row, every row its converter -------

// Which refresh path stored a byte.
enum class Path { kA, kB, kC, kD, kE, kF, kG, kH, kI, kLoad, kRead };

Source SourceOf(Path p) {
  switch (p) {
    case Path::kA:
      return Source::kCallbackA;
    case Path::kB:
      return Source::kCallbackB;
    case Path::kC:
      return Source::kCallbackC;
    case Path::kD:
      return Source::kCallbackD;
    case Path::kE:
      return Source::kCallbackE;
    case Path::kF:
      return Source::kCallbackF;
    case Path::kG:
      return Source::kCallbackG;
    case Path::kH:
      return Source::kCallbackH;
    case Path::kI:
      return Source::kCallbackI;
    case Path::kLoad:
      return Source::kAircraftLoad;
    case Path::kRead:
      return Source::kReadTime;
  }
  return Source::kNone;
}

bool IsRefreshed(Source s) {
  return (s >= Source::kCallbackA && s <= Source::kCallbackI) ||
         s == Source::kReadTime || s == Source::kAircraftLoad;
}

// A distinctive value per dataref, element and set: set 0 large and
// positive, set 1 small, so that thresholds (on the ground below 1 m, a
// joystick present, a negative angle of attack) fall both ways.
uint32_t NameHash(const std::string& name) {
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
  return h;
}
double Distinctive(const std::string& name, int element, int set) {
  uint32_t h = NameHash(name) + 7919u * static_cast<uint32_t>(element);
  if (set == 0) return 10.0 + (h % 9000) / 100.0;  // 10 ... 100
  return 0.25 + (h % 50) / 100.0;                  // 0.25 ... 0.75
}

// Datarefs whose meaning needs values of their own: clock times of whole
// hours, and every autopilot mode bit on and then off.
struct Override {
  const char* name;
  double value[2];
};
constexpr Override kOverrides[] = {
    {"sim/time/local_time_sec", {50000, 8000}},
    {"sim/time/zulu_time_sec", {45000, 3700}},
    {"sim/cockpit/autopilot/autopilot_state", {0x4336, 0}},
    // Receivers tuned to the stand-in's ILS and VOR, then the other way
    // round, so that every station field is found; every nav_type element
    // a VOR, then an ILS.
    {"sim/cockpit/radios/nav1_freq_hz", {11030, 11680}},
    {"sim/cockpit/radios/nav2_freq_hz", {11680, 11030}},
    {"sim/cockpit/radios/nav_type", {3, 4}},
    {"sim/weather/visibility_reported_m", {16093, 800}},
    // A jet's starter flags, and tank counts that fill every capacity.
    {"sim/aircraft/prop/acf_en_type", {5, 0}},
    {"sim/aircraft/overflow/acf_num_tanks", {7, 3}},
    // Spoilers armed, then half out.
    {"sim/flightmodel/controls/sbrkrqst", {-0.5, 0.5}},
};

// Client-owned offsets get distinctive bytes too, so that the converters
// that read them (the precipitation type) store values that change; so does
// the wind layer's base, which the refresh keeps as a client wrote it.
void DriveClientRows(int set) {
  LockGuard<RecursiveLock> hold(OffsetLock);
  ForEachCatalogueItem([&](const CatalogueItem& item) {
    if (item.row->source != Source::kClient) return;
    std::memset(OffsetBlock + item.offset, set == 0 ? 0x11 : 0, item.row->size);
  });
  StoreS16(OffsetBlock + 0x0F66, set == 0 ? 300 : 0);
}

void DriveHost(simhost::Host& host, int set) {
  DriveClientRows(set);
  for (const auto& [name, type] : host.Datarefs()) {
    int n = host.ArraySize(name);
    bool overridden = false;
    for (const Override& o : kOverrides) {
      if (name != o.name) continue;
      if (type == simhost::DataType::kIntArray) {
        for (int e = 0; e < n; ++e) {
          host.SetIntElement(name, e, static_cast<int>(o.value[set]));
        }
      } else {
        host.SetDouble(name, o.value[set]);
      }
      overridden = true;
    }
    if (overridden) continue;
    switch (type) {
      case simhost::DataType::kInt:
        host.SetInt(name,
                    set == 0 ? static_cast<int>(Distinctive(name, 0, 0)) : 1);
        break;
      case simhost::DataType::kFloat:
        host.SetFloat(name, static_cast<float>(Distinctive(name, 0, set)));
        break;
      case simhost::DataType::kDouble:
        // Positions: above the floats, so that elevation less height above
        // the ground stays positive.
        host.SetDouble(name,
                       100.0 * (set == 0 ? 2 : 1) + Distinctive(name, 0, set));
        break;
      case simhost::DataType::kIntArray:
        for (int e = 0; e < n; ++e) {
          host.SetIntElement(
              name, e,
              set == 0 ? static_cast<int>(Distinctive(name, e, 0)) : 1);
        }
        break;
      case simhost::DataType::kFloatArray:
        for (int e = 0; e < n; ++e) {
          host.SetFloatElement(name, e,
                               static_cast<float>(Distinctive(name, e, set)));
        }
        break;
      case simhost::DataType::kBytes:
        host.SetBytes(name,
                      std::string(static_cast<size_t>(n), set ? 'b' : 'a'));
        break;
    }
  }
}

class CatalogueCoverageTest : public PluginFixture {
 protected:
  std::vector<uint8_t> Snapshot() {
    LockGuard<RecursiveLock> hold(OffsetLock);
    return std::vector<uint8_t>(OffsetBlock, OffsetBlock + kOffsetSpaceSize);
  }

  // Runs `step`, then records every changed byte as stored by `path`.
  void Record(Path path, const std::function<void()>& step) {
    std::vector<uint8_t> before = Snapshot();
    step();
    std::vector<uint8_t> after = Snapshot();
    for (uint32_t b = 0; b < kOffsetSpaceSize; ++b) {
      if (before[b] != after[b]) changed_[b].insert(path);
    }
  }

  void RunEveryPath() {
    const RefreshCallback callbacks[] = {
        RefreshCallback::kA, RefreshCallback::kB, RefreshCallback::kC,
        RefreshCallback::kD, RefreshCallback::kE, RefreshCallback::kF,
        RefreshCallback::kG, RefreshCallback::kH, RefreshCallback::kI};
    for (int k = 0; k < 9; ++k) {
      Record(static_cast<Path>(k), [&] {
        for (Converter c : RefreshList(callbacks[k])) c();
      });
    }
    Record(Path::kLoad, [] {
      for (Converter c : AircraftLoadList()) c();
    });
    Record(Path::kRead, [] {
      LockGuard<RecursiveLock> hold(OffsetLock);
      for (uint32_t o = 0; o < kOffsetSpaceSize; ++o) {
        const ReadItem* item = FindReadItem(o);
        if (item != nullptr && item->refresh != nullptr) item->refresh(o);
      }
    });
  }

  std::map<uint32_t, std::set<Path>> changed_;
};

TEST_F(CatalogueCoverageTest, EveryStoredByteHasItsRowAndEveryRowIsStored) {
  // An older host, where the thunderstorm reference behind 0x6DAF exists.
  host().UseOlderHost();
  Start();
  Enable();  // locks exist; no frame runs, so only this test stores
  // Set 0 without the x737 plugin; set 1 with it, so that the rows it
  // alone publishes are stored too (the first run of callback I binds it).
  DriveHost(host(), 0);
  RunEveryPath();
  host().AddPlugin("bs.x737.plugin");
  DriveHost(host(), 1);
  RunEveryPath();
  RunEveryPath();

  auto by_byte = ItemsByByte();
  // Bytes stored without a row saying so: a converter without its row.
  for (const auto& [b, paths] : changed_) {
    for (Path p : paths) {
      bool described = false;
      for (const CatalogueItem& item : by_byte[b]) {
        described |= item.row->source == SourceOf(p);
      }
      EXPECT_TRUE(described)
          << Hex4(b) << " is stored by " << SourceName(SourceOf(p))
          << " but no row of that source covers it";
    }
  }
  // Refreshed rows whose bytes never changed: a row without its converter.
  for (const CatalogueItem& item : AllItems()) {
    if (!IsRefreshed(item.row->source)) continue;
    // Stored when its bytes, or those of a copy stored with it, changed:
    // a value a client wrote may come back unchanged, its copy does not.
    auto changed_by_source = [&](uint32_t offset, uint32_t size) {
      bool found = false;
      for (uint32_t b = offset; b < offset + size; ++b) {
        auto it = changed_.find(b);
        if (it == changed_.end()) continue;
        for (Path p : it->second) found |= SourceOf(p) == item.row->source;
      }
      return found;
    };
    bool stored = changed_by_source(item.offset, item.row->size);
    for (const CatalogueItem& copy : AllItems()) {
      if (copy.row->alias_of == item.offset && !stored) {
        stored = changed_by_source(copy.offset, copy.row->size);
      }
    }
    EXPECT_TRUE(stored) << client::ItemFullName(item) << " at "
                        << Hex4(item.offset) << " ("
                        << SourceName(item.row->source) << ") is never stored";
  }
}

TEST_F(CatalogueCoverageTest, ReadTimeItemsHaveReadTimeRows) {
  auto by_byte = ItemsByByte();
  for (uint32_t o = 0; o < kOffsetSpaceSize; ++o) {
    const ReadItem* item = FindReadItem(o);
    if (item == nullptr || item->refresh == nullptr) continue;
    bool found = false;
    for (const CatalogueItem& c : by_byte[o]) {
      found |= c.offset == o && c.row->source == Source::kReadTime;
    }
    EXPECT_TRUE(found) << "read-time item at " << Hex4(o) << " has no row";
  }
}

// Start, Enable and the host notifications store only what their rows say.
TEST_F(CatalogueCoverageTest, StartEnableAndNotificationsStoreTheirRows) {
  auto by_byte = ItemsByByte();
  auto check = [&](const std::vector<uint8_t>& before,
                   const std::vector<uint8_t>& after,
                   std::set<Source> sources) {
    std::set<const OffsetRow*> stored;
    for (uint32_t b = 0; b < kOffsetSpaceSize; ++b) {
      if (before[b] == after[b]) continue;
      bool described = false;
      for (const CatalogueItem& item : by_byte[b]) {
        if (sources.count(item.row->source) == 0) continue;
        described = true;
        stored.insert(item.row);
      }
      EXPECT_TRUE(described) << Hex4(b) << " changed without a row";
    }
    return stored;
  };
  auto rows_of = [](Source s) {
    std::set<const OffsetRow*> rows;
    for (const CatalogueItem& item : AllItems()) {
      if (item.row->source == s) rows.insert(item.row);
    }
    return rows;
  };

  std::vector<uint8_t> zero(kOffsetSpaceSize, 0);
  Start();
  std::vector<uint8_t> started(OffsetBlock, OffsetBlock + kOffsetSpaceSize);
  EXPECT_EQ(check(zero, started, {Source::kConstant}),
            rows_of(Source::kConstant));
  Enable();
  std::vector<uint8_t> enabled = Snapshot();
  EXPECT_EQ(check(started, enabled, {Source::kSettings}),
            rows_of(Source::kSettings));

  host().SetAircraft({{"Twin.acf", "/aircraft/Twin/Twin.acf"}});
  host().SendMessageToPlugin(0, 102, nullptr);  // user aircraft loaded
  host().SendMessageToPlugin(0, 101, nullptr);  // crash
  std::vector<uint8_t> notified = Snapshot();
  std::set<const OffsetRow*> stored =
      check(enabled, notified, {Source::kLifecycle, Source::kAircraftLoad});
  for (const OffsetRow* r : rows_of(Source::kLifecycle)) {
    EXPECT_EQ(stored.count(r), 1u) << r->name << " not stored by its event";
  }
}

TEST(CatalogueWrites, EveryHandlerLiesInAWritableRowAndEveryWritableRowActs) {
  auto by_byte = ItemsByByte();
  std::set<uint32_t> handled;
  for (uint32_t o = 0; o < kOffsetSpaceSize; ++o) {
    const WriteHandler* h = FindWriteHandler(o);
    if (h == nullptr) continue;
    handled.insert(o);
    bool inside = false;
    for (const CatalogueItem& item : by_byte[o]) {
      inside |= item.row->access != Access::kRead &&
                o + h->size <= item.offset + item.row->size;
    }
    EXPECT_TRUE(inside) << "handler at " << Hex4(o)
                        << " lies in no writable row";
  }
  for (const CatalogueItem& item : AllItems()) {
    if (item.row->access == Access::kRead) continue;
    // Client-owned rows are plain stores: the bytes are kept as written.
    if (item.row->source == Source::kClient) continue;
    EXPECT_EQ(handled.count(item.offset), 1u)
        << client::ItemFullName(item) << " is writable but has no handler";
  }
}

// --- The generated files
// ------------------------------------------------------

std::string SourceFile(const std::string& relative) {
  return std::string(TARVOS_SOURCE_DIR) + "/" + relative;
}

// The first line where two texts differ, for a short failure message.
std::string FirstDifference(const std::string& committed,
                            const std::string& generated) {
  size_t at = 0, line = 1;
  while (at < committed.size() && at < generated.size() &&
         committed[at] == generated[at]) {
    if (committed[at] == '\n') ++line;
    ++at;
  }
  auto line_at = [&](const std::string& s) {
    size_t begin = s.rfind('\n', at == 0 ? 0 : at - 1);
    begin = begin == std::string::npos || at == 0 ? 0 : begin + 1;
    return s.substr(begin, s.find('\n', begin) - begin);
  };
  return "line " + std::to_string(line) +
         "\n  committed: " + line_at(committed) +
         "\n  generated: " + line_at(generated);
}

TEST(CatalogueFiles, CommittedReferenceAndJsonAreWhatTheCodeGenerates) {
  const struct {
    const char* path;
    std::string generated;
  } files[] = {
      {"docs/offsets.md", client::DescribeMarkdown()},
      {"client/python/tarvos_client/offsets.json", client::DescribeJson()}};
  for (const auto& f : files) {
    std::string committed = ReadFileText(SourceFile(f.path));
    EXPECT_TRUE(committed == f.generated)
        << f.path << " differs from the catalogue at "
        << FirstDifference(committed, f.generated)
        << "\n(regenerate it with scripts/generate-reference.sh)";
  }
}

}  // namespace
}  // namespace tarvos::testing
