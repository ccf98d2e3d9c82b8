#include "client/name_glob.h"

#include "client/named_field.h"

namespace tarvos::client {

bool GlobMatches(std::string_view pattern, std::string_view text) {
  // Greedy with one backtrack point: linear in practice, never
  // exponential however many stars the pattern has.
  size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (p < pattern.size() && pattern[p] == text[n]) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> SplitPatterns(const std::string& list) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= list.size()) {
    size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    std::string part = list.substr(at, comma - at);
    const size_t first = part.find_first_not_of(" \t");
    if (first != std::string::npos) {
      part = part.substr(first, part.find_last_not_of(" \t") - first + 1);
      out.push_back(part);
    }
    at = comma + 1;
  }
  return out;
}

std::vector<CatalogueItem> ItemsMatching(
    const std::vector<std::string>& patterns, std::string* error) {
  error->clear();
  std::vector<CatalogueItem> items;
  std::vector<bool> used(patterns.size(), false);
  ForEachCatalogueItem([&](const CatalogueItem& item) {
    const std::string name = ItemFullName(item);
    bool chosen = false;
    for (size_t i = 0; i < patterns.size(); ++i) {
      if (GlobMatches(patterns[i], name)) {
        used[i] = true;
        chosen = true;
      }
    }
    if (chosen) items.push_back(item);
  });
  for (size_t i = 0; i < patterns.size(); ++i) {
    if (used[i]) continue;
    if (patterns[i].find('*') == std::string::npos) {
      CatalogueItem unused;
      *error = ResolveName(patterns[i], &unused);
    } else {
      *error = "'" + patterns[i] + "' matches no field name";
    }
    items.clear();
    return items;
  }
  return items;
}

}  // namespace tarvos::client
