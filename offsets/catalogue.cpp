#include "offsets/catalogue.h"

#include <cstring>

#include "offsets/catalogue_tables.h"
#include "offsets/coding.h"

namespace tarvos {

std::span<const CatalogueDomain> CatalogueDomains() {
  // Built on first use from the domain tables (thread-safe static
  // initialisation); the rows themselves are constant data.
  static const CatalogueDomain domains[] = {
      IdentityCatalogue(),      PositionCatalogue(),
      SpeedCatalogue(),         ClockCatalogue(),
      AircraftStateCatalogue(), AutopilotCatalogue(),
      ControlsCatalogue(),      SystemsCatalogue(),
      MessageCatalogue(),       NavigationCatalogue(),
      EngineCatalogue(),        WeatherCatalogue(),
      SettingsCatalogue(),      SimulationControlCatalogue(),
      TrafficCatalogue(),
  };
  return domains;
}

size_t ItemName(const CatalogueItem& item, char* out) {
  size_t n = 0;
  auto put = [&](char c) {
    if (n + 1 < kMaxItemName) out[n++] = c;
  };
  for (const char* p = item.row->name; *p != '\0'; ++p) {
    if (*p != '#') {
      put(*p);
      continue;
    }
    char digits[12];
    int d = 0;
    uint32_t v = item.index;
    do {
      digits[d++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0 && d < 12);
    while (d > 0) put(digits[--d]);
  }
  out[n] = '\0';
  return n;
}

CatalogueItem FindCatalogueItem(std::string_view name) {
  CatalogueItem found;
  ForEachCatalogueItem([&](const CatalogueItem& item) {
    if (found.row != nullptr) return;
    char buf[kMaxItemName];
    size_t n = ItemName(item, buf);
    if (std::string_view(buf, n) == name) found = item;
  });
  return found;
}

const OffsetRow* FindRowAt(uint32_t offset) {
  for (const CatalogueDomain& d : CatalogueDomains()) {
    for (const OffsetRow& r : d.rows) {
      if (r.offset == offset && r.repeat == 1 && r.alias_of == kNoAlias)
        return &r;
    }
  }
  return nullptr;
}

const char* EncodingName(Encoding e) {
  switch (e) {
    case Encoding::kU8:
      return "u8";
    case Encoding::kU16:
      return "u16";
    case Encoding::kU32:
      return "u32";
    case Encoding::kU64:
      return "u64";
    case Encoding::kS8:
      return "s8";
    case Encoding::kS16:
      return "s16";
    case Encoding::kS32:
      return "s32";
    case Encoding::kS64:
      return "s64";
    case Encoding::kF32:
      return "f32";
    case Encoding::kF64:
      return "f64";
    case Encoding::kBcd4:
      return "bcd4";
    case Encoding::kBcd3:
      return "bcd3";
    case Encoding::kText:
      return "text";
    case Encoding::kBits:
      return "bits";
    case Encoding::kLatitude:
      return "lat64";
    case Encoding::kLongitude:
      return "lon64";
    case Encoding::kFixed3232:
      return "fix32.32";
    case Encoding::kAngle16:
      return "angle16";
    case Encoding::kAngle32:
      return "angle32";
    case Encoding::kAngleS32:
      return "sangle32";
  }
  return "?";
}

const char* AccessName(Access a) {
  switch (a) {
    case Access::kRead:
      return "r";
    case Access::kReadWrite:
      return "rw";
    case Access::kWrite:
      return "w";
  }
  return "?";
}

const char* SourceName(Source s) {
  switch (s) {
    case Source::kCallbackA:
      return "A";
    case Source::kCallbackB:
      return "B";
    case Source::kCallbackC:
      return "C";
    case Source::kCallbackD:
      return "D";
    case Source::kCallbackE:
      return "E";
    case Source::kCallbackF:
      return "F";
    case Source::kCallbackG:
      return "G";
    case Source::kCallbackH:
      return "H";
    case Source::kCallbackI:
      return "I";
    case Source::kReadTime:
      return "read";
    case Source::kAircraftLoad:
      return "load";
    case Source::kConstant:
      return "const";
    case Source::kLifecycle:
      return "event";
    case Source::kSettings:
      return "settings";
    case Source::kTraffic:
      return "traffic";
    case Source::kClient:
      return "client";
    case Source::kNone:
      return "-";
  }
  return "?";
}

bool IsNumeric(Encoding e) { return e != Encoding::kText; }

namespace {

// The value of n BCD digits in the low bits of v; nibbles above 9 count as
// they are (the decoder never rejects what a client could send).
double BcdValue(uint32_t v, int digits) {
  double out = 0;
  for (int i = digits - 1; i >= 0; --i) out = out * 10 + ((v >> (4 * i)) & 15);
  return out;
}

uint64_t LoadLittle(const uint8_t* bytes, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n && i < 8; ++i) v |= uint64_t{bytes[i]} << (8 * i);
  return v;
}

}  // namespace

double LoadRaw(const OffsetRow& row, const uint8_t* bytes) {
  switch (row.encoding) {
    case Encoding::kU8:
      return LoadU8(bytes);
    case Encoding::kU16:
    case Encoding::kAngle16:
      return LoadU16(bytes);
    case Encoding::kU32:
    case Encoding::kAngle32:
      return LoadU32(bytes);
    case Encoding::kU64:
      return static_cast<double>(LoadU64(bytes));
    case Encoding::kS8:
      return LoadS8(bytes);
    case Encoding::kS16:
      return LoadS16(bytes);
    case Encoding::kS32:
    case Encoding::kAngleS32:
      return LoadS32(bytes);
    case Encoding::kS64:
    case Encoding::kLatitude:
    case Encoding::kLongitude:
    case Encoding::kFixed3232:
      return static_cast<double>(LoadS64(bytes));
    case Encoding::kF32:
      return LoadF32(bytes);
    case Encoding::kF64:
      return LoadF64(bytes);
    case Encoding::kBcd4:
      return BcdValue(LoadU16(bytes), 4);
    case Encoding::kBcd3:
      return BcdValue(LoadU16(bytes), 3);
    case Encoding::kBits:
      return static_cast<double>(LoadLittle(bytes, row.size));
    case Encoding::kText:
      return 0;
  }
  return 0;
}

double DecodeValue(const OffsetRow& row, const uint8_t* bytes) {
  return LoadRaw(row, bytes) * row.scale + row.bias;
}

void RawRange(const OffsetRow& row, double* min, double* max) {
  auto range = [&](double lo, double hi) {
    *min = lo;
    *max = hi;
  };
  switch (row.encoding) {
    case Encoding::kU8:
      return range(0, 255);
    case Encoding::kU16:
    case Encoding::kAngle16:
      return range(0, 65535);
    case Encoding::kU32:
    case Encoding::kAngle32:
      return range(0, 4294967295.0);
    case Encoding::kU64:
      return range(0, 18446744073709551615.0);
    case Encoding::kS8:
      return range(-128, 127);
    case Encoding::kS16:
      return range(-32768, 32767);
    case Encoding::kS32:
    case Encoding::kAngleS32:
      return range(-2147483648.0, 2147483647.0);
    case Encoding::kS64:
    case Encoding::kLatitude:
    case Encoding::kLongitude:
    case Encoding::kFixed3232:
      return range(-9223372036854775808.0, 9223372036854775807.0);
    case Encoding::kF32:
      return range(-3.4028234663852886e38, 3.4028234663852886e38);
    case Encoding::kF64:
      return range(-1.7976931348623157e308, 1.7976931348623157e308);
    case Encoding::kBcd4:
      return range(0, 9999);
    case Encoding::kBcd3:
      return range(0, 999);
    case Encoding::kBits:
      return range(0, row.size >= 8 ? 18446744073709551615.0
                                    : static_cast<double>(
                                          (uint64_t{1} << (8 * row.size)) - 1));
    case Encoding::kText:
      return range(0, 0);
  }
  range(0, 0);
}

}  // namespace tarvos
