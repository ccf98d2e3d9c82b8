#include "web/value_codec.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "client/named_field.h"

namespace tarvos::web {
namespace {

using nlohmann::json;

// The shortest text that reads back as the same number.
std::string Shortest(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}
std::string Shortest(float v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

const char* KindName(const json& v) {
  switch (v.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::boolean:
      return "true or false";
    case json::value_t::string:
      return "a string";
    case json::value_t::array:
      return "a list";
    case json::value_t::object:
      return "an object";
    default:
      return "a number";
  }
}

const std::unordered_map<std::string, uint32_t>& ItemsByName() {
  static const auto* map = [] {
    auto* m = new std::unordered_map<std::string, uint32_t>;
    const auto& all = AllItems();
    for (uint32_t i = 0; i < all.size(); ++i) m->emplace(all[i].name, i);
    return m;
  }();
  return *map;
}

}  // namespace

const std::vector<NamedItem>& AllItems() {
  static const auto* items = [] {
    auto* v = new std::vector<NamedItem>;
    ForEachCatalogueItem([&](const CatalogueItem& item) {
      v->push_back({item, client::ItemFullName(item)});
    });
    return v;
  }();
  return *items;
}

std::string ValueJson(const CatalogueItem& item, const uint8_t* bytes) {
  const OffsetRow& row = *item.row;
  if (row.encoding == Encoding::kText) {
    const void* end = std::memchr(bytes, 0, row.size);
    size_t n =
        end != nullptr ? static_cast<const uint8_t*>(end) - bytes : row.size;
    // Bytes that are not UTF-8 become U+FFFD rather than invalid JSON.
    return json(std::string(reinterpret_cast<const char*>(bytes), n))
        .dump(-1, ' ', false, json::error_handler_t::replace);
  }
  const double v = DecodeValue(row, bytes);
  if (!std::isfinite(v)) return "null";
  // A single-precision float in its own unit reads best at its own
  // precision (271.4, not 271.39999389648438).
  if (row.encoding == Encoding::kF32 && row.scale == 1.0 && row.bias == 0.0) {
    return Shortest(static_cast<float>(v));
  }
  return Shortest(v);
}

std::string EncodeJsonValue(const CatalogueItem& item, const json& value,
                            std::vector<uint8_t>* bytes) {
  const OffsetRow& row = *item.row;
  if (row.encoding == Encoding::kText) {
    if (!value.is_string()) {
      return client::ItemFullName(item) + " takes text, not " + KindName(value);
    }
    return client::EncodeItemValue(item, value.get<std::string>(), bytes);
  }
  double v = 0;
  if (value.is_number()) {
    v = value.get<double>();
  } else if (value.is_boolean()) {
    v = value.get<bool>() ? 1 : 0;
  } else {
    std::string unit =
        row.unit[0] != '\0' ? std::string(" in ") + row.unit : std::string();
    return client::ItemFullName(item) + " takes a number" + unit + ", not " +
           KindName(value);
  }
  return client::EncodeItemValue(item, Shortest(v), bytes);
}

std::string ResolveNames(const std::vector<std::string>& names,
                         std::vector<uint32_t>* items) {
  items->clear();
  const auto& all = AllItems();
  std::vector<bool> taken(all.size(), false);
  auto take = [&](uint32_t i) {
    if (!taken[i]) {
      taken[i] = true;
      items->push_back(i);
    }
  };
  for (const std::string& name : names) {
    if (name.find('*') != std::string::npos) {
      bool any = false;
      for (uint32_t i = 0; i < all.size(); ++i) {
        if (GlobMatches(name, all[i].name)) {
          take(i);
          any = true;
        }
      }
      if (!any) return "no name matches '" + name + "'";
      continue;
    }
    CatalogueItem item;
    std::string error = client::ResolveName(name, &item);
    if (!error.empty()) return error;
    auto it = ItemsByName().find(client::ItemFullName(item));
    if (it == ItemsByName().end()) return "unknown name '" + name + "'";
    take(it->second);
  }
  return "";
}

json CatalogueRows(const std::string& pattern) {
  json rows = json::array();
  const bool glob = pattern.find('*') != std::string::npos;
  for (const NamedItem& n : AllItems()) {
    const OffsetRow& row = *n.item.row;
    bool match = pattern.empty();
    if (!match && glob) {
      match = GlobMatches(pattern, n.name) || GlobMatches(pattern, row.name);
    } else if (!match) {
      match = n.name.find(pattern) != std::string::npos ||
              std::string_view(row.name).find(pattern) != std::string::npos;
    }
    if (!match) continue;
    rows.push_back({{"name", n.name},
                    {"offset", n.item.offset},
                    {"size", row.size},
                    {"encoding", EncodingName(row.encoding)},
                    {"unit", row.unit},
                    {"access", AccessName(row.access)},
                    {"summary", row.summary}});
  }
  return rows;
}

}  // namespace tarvos::web
