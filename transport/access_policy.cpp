#include "transport/access_policy.h"

#include <cstdio>
#include <utility>

namespace tarvos {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (Lower(text[i]) != word[i]) return false;
  }
  return true;
}

// A decimal number of 1 to `max_digits` digits, at most `max`.
bool ParseDecimal(std::string_view text, size_t max_digits, uint32_t max,
                  uint32_t* out) {
  if (text.empty() || text.size() > max_digits) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value > max) return false;
  *out = value;
  return true;
}

bool ParsePrefix(std::string_view text, AddressPrefix* out) {
  const size_t slash = text.find('/');
  uint32_t address = 0;
  if (!ParseIpv4Address(text.substr(0, slash), &address)) return false;
  uint32_t length = 32;
  if (slash != std::string_view::npos &&
      !ParseDecimal(text.substr(slash + 1), 2, 32, &length)) {
    return false;
  }
  const uint32_t mask = length == 0 ? 0 : ~uint32_t{0} << (32 - length);
  *out = AddressPrefix{address & mask, mask};
  return true;
}

}  // namespace

bool AddressSet::Contains(uint32_t peer) const {
  if (everyone) return true;
  for (const AddressPrefix& prefix : prefixes) {
    if (prefix.Contains(peer)) return true;
  }
  return false;
}

bool ParseIpv4Address(std::string_view text, uint32_t* address) {
  uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t dot = part < 3 ? text.find('.') : std::string_view::npos;
    if (part < 3 && dot == std::string_view::npos) return false;
    uint32_t byte = 0;
    if (!ParseDecimal(text.substr(0, dot), 3, 255, &byte)) return false;
    value = value << 8 | byte;
    text = part < 3 ? text.substr(dot + 1) : std::string_view();
  }
  *address = value;
  return true;
}

bool ParseListenAddress(std::string_view text, std::optional<uint32_t>* out) {
  text = Trim(text);
  if (text.empty()) {
    *out = std::nullopt;
    return true;
  }
  uint32_t address = 0;
  if (!ParseIpv4Address(text, &address)) return false;
  // 0.0.0.0 is every local address, which is also the default.
  *out = address == 0 ? std::nullopt : std::optional<uint32_t>(address);
  return true;
}

bool ParseAddressSet(std::string_view text, bool empty_means_everyone,
                     AddressSet* out) {
  text = Trim(text);
  if (text.empty()) {
    *out = AddressSet{empty_means_everyone, {}};
    return true;
  }
  if (IsWord(text, "all")) {
    *out = AddressSet{true, {}};
    return true;
  }
  if (IsWord(text, "none")) {
    *out = AddressSet{false, {}};
    return true;
  }
  AddressSet set;
  while (!text.empty()) {
    size_t end = 0;
    while (end < text.size() && text[end] != ',' && !IsBlank(text[end])) ++end;
    const std::string_view item = text.substr(0, end);
    AddressPrefix prefix;
    // An empty item can only be a leading comma.
    if (item.empty() || !ParsePrefix(item, &prefix)) return false;
    set.prefixes.push_back(prefix);
    // Separators: any run of blanks with at most one comma among them.
    text.remove_prefix(end);
    bool comma = false;
    while (!text.empty() && (IsBlank(text.front()) || text.front() == ',')) {
      if (text.front() == ',') {
        if (comma) return false;  // an empty item ("a,,b")
        comma = true;
      }
      text.remove_prefix(1);
    }
    if (comma && text.empty()) return false;  // a trailing comma
  }
  *out = std::move(set);
  return true;
}

bool ParseIdleTimeout(std::string_view text, uint32_t* seconds) {
  text = Trim(text);
  if (text.empty()) {
    *seconds = 0;
    return true;
  }
  return ParseDecimal(text, 5, kMaxIdleTimeoutSeconds, seconds);
}

std::string FormatIpv4Address(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24,
                (address >> 16) & 0xFF, (address >> 8) & 0xFF, address & 0xFF);
  return text;
}

}  // namespace tarvos
