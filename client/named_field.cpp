#include "client/named_field.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "client/name_glob.h"
#include "client/plain_value.h"
#include "offsets/coding.h"

namespace tarvos::client {
namespace {

std::string Printf(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return buf;
}

std::vector<std::string> AllNames() {
  std::vector<std::string> names;
  ForEachCatalogueItem(
      [&](const CatalogueItem& item) { names.push_back(ItemFullName(item)); });
  return names;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::string JoinNames(const std::vector<std::string>& names, size_t limit) {
  std::string out;
  for (size_t i = 0; i < names.size() && i < limit; ++i) {
    if (i > 0) out += ", ";
    out += names[i];
  }
  if (names.size() > limit) out += ", ...";
  return out;
}

bool IsAngle(Encoding e) {
  return e == Encoding::kAngle16 || e == Encoding::kAngle32 ||
         e == Encoding::kAngleS32;
}
bool IsFloat(Encoding e) { return e == Encoding::kF32 || e == Encoding::kF64; }

// Text of a number: as many decimals as the row's scale resolves (floats:
// six significant digits).
std::string Number(const OffsetRow& row, double v) {
  if (IsFloat(row.encoding)) return Printf("%.6g", v);
  return Printf("%.*f", ScaleDecimals(row), v);
}

bool ParseDouble(const std::string& s, double* out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (errno == ERANGE || end == s.c_str() || *end != '\0' || !std::isfinite(v))
    return false;
  *out = v;
  return true;
}

void StoreRaw(const OffsetRow& row, double raw, uint8_t* out) {
  switch (row.encoding) {
    case Encoding::kF32:
      return StoreF32(out, static_cast<float>(raw));
    case Encoding::kF64:
      return StoreF64(out, raw);
    case Encoding::kBcd4:
    case Encoding::kBcd3: {
      uint32_t v = static_cast<uint32_t>(raw);
      uint16_t bcd = 0;
      for (int i = 0; i < 4; ++i) {
        bcd = static_cast<uint16_t>(bcd | ((v % 10) << (4 * i)));
        v /= 10;
      }
      return StoreU16(out, bcd);
    }
    case Encoding::kU64:
    case Encoding::kBits: {
      uint64_t v = raw >= 18446744073709551615.0 ? ~uint64_t{0}
                                                 : static_cast<uint64_t>(raw);
      for (uint32_t i = 0; i < row.size && i < 8; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
      return;
    }
    default: {
      // Signed and unsigned integers up to 64 bits: two's complement, low
      // bytes. raw lies inside the field's range (checked by the caller).
      int64_t v =
          raw >= 9223372036854775807.0 ? INT64_MAX : static_cast<int64_t>(raw);
      for (uint32_t i = 0; i < row.size && i < 8; ++i)
        out[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
      return;
    }
  }
}

// The range in the row's unit, low to high.
void ValueRange(const OffsetRow& row, double* lo, double* hi) {
  double min = 0, max = 0;
  RawRange(row, &min, &max);
  double a = min * row.scale + row.bias, b = max * row.scale + row.bias;
  *lo = std::min(a, b);
  *hi = std::max(a, b);
}

std::string Hex(uint32_t v, int digits) { return Printf("0x%0*X", digits, v); }

std::string Escape(const char* s) {
  std::string out;
  for (; *s != '\0'; ++s) {
    unsigned char c = static_cast<unsigned char>(*s);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += Printf("\\u%04x", c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string OffsetText(const OffsetRow& row) {
  std::string text = Hex(row.offset, 4);
  if (row.repeat > 1) {
    text += Printf(" (x%u, every %s)", row.repeat, Hex(row.stride, 2).c_str());
  }
  return text;
}

std::string ScaleText(const OffsetRow& row) {
  if (!IsNumeric(row.encoding) || row.encoding == Encoding::kBits) return "";
  std::string text = Printf("%.10g", row.scale);
  if (row.bias != 0) text += Printf(" %+g", row.bias);
  return text;
}

}  // namespace

std::string ItemFullName(const CatalogueItem& item) {
  char buf[kMaxItemName];
  size_t n = ItemName(item, buf);
  return std::string(buf, n);
}

std::string WriteRefusal(const CatalogueItem& item) {
  if (item.row->access != Access::kRead) return "";
  return ItemFullName(item) +
         " is read-only: the plugin overwrites it with the simulator's value";
}

std::string ResolveName(const std::string& name, CatalogueItem* item) {
  // Every item by its full name, built on first use.
  static const std::unordered_map<std::string, CatalogueItem> index = [] {
    std::unordered_map<std::string, CatalogueItem> map;
    ForEachCatalogueItem(
        [&](const CatalogueItem& i) { map.emplace(ItemFullName(i), i); });
    return map;
  }();
  auto found = index.find(name);
  if (found != index.end()) {
    *item = found->second;
    return "";
  }
  *item = CatalogueItem{};
  std::vector<std::string> names = AllNames();
  std::vector<std::string> starting;
  for (const std::string& n : names) {
    if (n.compare(0, name.size(), name) == 0) starting.push_back(n);
  }
  if (!name.empty() && !starting.empty()) {
    return "'" + name + "' is not a field name; it starts " +
           std::to_string(starting.size()) +
           " of them: " + JoinNames(starting, 8);
  }
  std::vector<std::pair<size_t, std::string>> scored;
  for (const std::string& n : names)
    scored.emplace_back(EditDistance(name, n), n);
  std::stable_sort(
      scored.begin(), scored.end(),
      [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> closest;
  for (size_t i = 0; i < scored.size() && i < 3; ++i)
    closest.push_back(scored[i].second);
  return "unknown field '" + name + "' (closest: " + JoinNames(closest, 3) +
         "; 'tarvos-client describe' lists them all)";
}

std::string FormatItemValue(const CatalogueItem& item, const uint8_t* bytes) {
  const OffsetRow& row = *item.row;
  if (row.encoding == Encoding::kText) {
    std::string text;
    for (uint32_t i = 0; i < row.size && bytes[i] != 0; ++i) {
      char c = static_cast<char>(bytes[i]);
      text += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? c : '?';
    }
    return text;
  }
  if (row.encoding == Encoding::kBits) {
    return Hex(static_cast<uint32_t>(LoadRaw(row, bytes)), 2 * row.size);
  }
  std::string text = Number(row, DecodeValue(row, bytes));
  if (row.unit[0] != '\0') text += std::string(" ") + row.unit;
  return text;
}

std::string FormatItemValueIn(const CatalogueItem& item, const uint8_t* bytes,
                              const char* unit) {
  struct Conversion {
    const char* from;
    const char* to;
    double factor;
    int decimals;
  };
  static constexpr Conversion kConversions[] = {
      {"m", "ft", 1.0 / 0.3048, 0},
      {"m/s", "kt", 3600.0 / 1852.0, 1},
      {"m/s", "ft/min", 60.0 / 0.3048, 0},
  };
  const OffsetRow& row = *item.row;
  for (const Conversion& c : kConversions) {
    if (std::strcmp(row.unit, c.from) != 0 || std::strcmp(unit, c.to) != 0)
      continue;
    return Printf("%.*f %s", c.decimals, DecodeValue(row, bytes) * c.factor,
                  c.to);
  }
  return FormatItemValue(item, bytes);
}

std::string EncodeItemValue(const CatalogueItem& item, const std::string& text,
                            std::vector<uint8_t>* bytes) {
  const OffsetRow& row = *item.row;
  const std::string name = ItemFullName(item);
  bytes->assign(row.size, 0);
  if (row.encoding == Encoding::kText) {
    // Zero-terminated within the field.
    if (text.size() + 1 > row.size) {
      return Printf(
          "text for %s is %u characters; the field holds at most "
          "%u",
          name.c_str(), static_cast<unsigned>(text.size()), row.size - 1u);
    }
    std::copy(text.begin(), text.end(), bytes->begin());
    return "";
  }
  double v = 0;
  if (!ParseDouble(text, &v)) {
    // Bit sets and plain integers may be given in hexadecimal.
    char* end = nullptr;
    errno = 0;
    unsigned long long u = std::strtoull(text.c_str(), &end, 16);
    bool hex = text.size() > 2 && text[0] == '0' &&
               (text[1] == 'x' || text[1] == 'X') && *end == '\0' && errno == 0;
    if (!hex) return "bad value '" + text + "' for " + name + " (a number)";
    v = static_cast<double>(u) * row.scale + row.bias;
  }
  if (IsAngle(row.encoding)) {
    // Modulo 360: unsigned angles into [0, 360), signed into [-180, 180).
    v = std::fmod(v, 360.0);
    if (v < 0) v += 360.0;
    if (row.encoding == Encoding::kAngleS32 && v >= 180.0) v -= 360.0;
    double raw = std::nearbyint((v - row.bias) / row.scale);
    // 360 itself may round up to a whole turn: that is 0.
    double turn = std::fabs(360.0 / row.scale);
    if (row.encoding != Encoding::kAngleS32 && raw >= turn) raw -= turn;
    if (row.encoding == Encoding::kAngleS32) {
      if (raw > 2147483647.0) raw -= turn;
      if (raw < -2147483648.0) raw += turn;
    }
    StoreRaw(row, raw, bytes->data());
    return "";
  }
  double raw = (v - row.bias) / row.scale;
  if (!IsFloat(row.encoding)) raw = std::nearbyint(raw);
  double min = 0, max = 0;
  RawRange(row, &min, &max);
  if (!(raw >= min && raw <= max)) {
    double lo = 0, hi = 0;
    ValueRange(row, &lo, &hi);
    std::string unit = row.unit[0] != '\0' ? std::string(" ") + row.unit : "";
    return text + " is out of range for " + name + " (" + Number(row, lo) +
           " to " + Number(row, hi) + unit + ")";
  }
  StoreRaw(row, raw, bytes->data());
  return "";
}

bool RowMatches(const OffsetRow& row, const std::string& pattern) {
  if (pattern.empty()) return true;
  const std::string name = row.name;
  if (pattern.find('*') == std::string::npos) {
    // '#' in a table's name matches any record number given in the pattern.
    if (name.find(pattern) != std::string::npos) return true;
    for (uint32_t k = 0; k < row.repeat; ++k) {
      CatalogueItem item{&row, row.offset + k * uint32_t{row.stride},
                         row.first_index + k};
      if (ItemFullName(item).find(pattern) != std::string::npos) return true;
    }
    return false;
  }
  // Glob with '*' only, over the whole name.
  return GlobMatches(pattern, name);
}

std::string DescribeTable(const std::string& pattern) {
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"OFFSET", "SIZE", "ENCODING", "UNIT", "SCALE", "ACCESS",
                   "SOURCE", "NAME", "SUMMARY"});
  for (const CatalogueDomain& d : CatalogueDomains()) {
    for (const OffsetRow& r : d.rows) {
      if (!RowMatches(r, pattern)) continue;
      cells.push_back({OffsetText(r), std::to_string(r.size),
                       EncodingName(r.encoding), r.unit, ScaleText(r),
                       AccessName(r.access), SourceName(r.source), r.name,
                       r.summary});
    }
  }
  if (cells.size() == 1) return "";
  std::vector<size_t> width(cells[0].size(), 0);
  for (const auto& line : cells) {
    for (size_t c = 0; c < line.size(); ++c)
      width[c] = std::max(width[c], line[c].size());
  }
  std::string out;
  for (const auto& line : cells) {
    for (size_t c = 0; c < line.size(); ++c) {
      out += line[c];
      if (c + 1 < line.size()) out.append(width[c] - line[c].size() + 2, ' ');
    }
    out += '\n';
  }
  return out;
}

std::string DescribeJson() {
  std::string out = "{\n  \"domains\": [";
  bool first_domain = true;
  for (const CatalogueDomain& d : CatalogueDomains()) {
    out += first_domain ? "\n" : ",\n";
    first_domain = false;
    out += "    {\n      \"title\": \"" + Escape(d.title) +
           "\",\n      \"rows\": [";
    bool first_row = true;
    for (const OffsetRow& r : d.rows) {
      out += first_row ? "\n" : ",\n";
      first_row = false;
      out += Printf(
          "        {\"offset\": %u, \"size\": %u, \"encoding\": \"%s\", "
          "\"name\": \"%s\", \"unit\": \"%s\", \"scale\": %.17g, "
          "\"bias\": %.17g, \"access\": \"%s\", \"source\": \"%s\", "
          "\"alias_of\": %s, \"repeat\": %u, \"stride\": %u, "
          "\"first_index\": %u, \"summary\": \"%s\"}",
          r.offset, r.size, EncodingName(r.encoding), Escape(r.name).c_str(),
          Escape(r.unit).c_str(), r.scale, r.bias, AccessName(r.access),
          SourceName(r.source),
          r.alias_of == kNoAlias ? "null" : std::to_string(r.alias_of).c_str(),
          r.repeat, r.stride, r.first_index, Escape(r.summary).c_str());
    }
    out += "\n      ]\n    }";
  }
  out += "\n  ]\n}\n";
  return out;
}

std::string DescribeMarkdown() {
  std::string out =
      "# Offset reference\n"
      "\n"
      "Generated from the plugin's offset catalogue by `tarvos-client "
      "describe --markdown`;\n"
      "do not edit (the test suite fails when this file differs from the "
      "code).\n"
      "\n"
      "Every value is little-endian. A field's value in its unit is\n"
      "`raw x scale + bias`, where raw is the stored number. A row marked\n"
      "(xN, every 0xS) is a table of N records S bytes apart; `#` in its "
      "name is\n"
      "the record's number.\n"
      "\n"
      "Access: `r` read (a write is overwritten by the next refresh), `rw`\n"
      "read and write (a write acts on the simulator, or is kept for a\n"
      "client-owned field), `w` write only.\n"
      "\n"
      "Source: `A` to `I` the refresh callbacks (A every frame, B every 3rd,\n"
      "C every 7th, D every 13th, E and F every 31st, G every 59th,\n"
      "H every 157th, I every 313th), `read` recomputed when read, `load`\n"
      "once per aircraft load, `const` at start, `event` on a simulator\n"
      "notification, `settings` from TARVOS.ini, `traffic` the traffic\n"
      "threads, `client` whatever a client wrote, `-` nothing publishes it.\n";
  for (const CatalogueDomain& d : CatalogueDomains()) {
    out += std::string("\n## ") + d.title + "\n\n";
    out +=
        "| Offset | Size | Encoding | Unit | Scale | Access | Source | Name "
        "| Summary |\n"
        "|---|---|---|---|---|---|---|---|---|\n";
    for (const OffsetRow& r : d.rows) {
      std::string summary = r.summary;
      if (r.alias_of != kNoAlias) {
        summary += " (same value as " + Hex(r.alias_of, 4) + ")";
      }
      out += "| " + OffsetText(r) + " | " + std::to_string(r.size) + " | " +
             EncodingName(r.encoding) + " | " + r.unit + " | " + ScaleText(r) +
             " | " + AccessName(r.access) + " | " + SourceName(r.source) +
             " | `" + r.name + "` | " + summary + " |\n";
    }
  }
  return out;
}

}  // namespace tarvos::client
