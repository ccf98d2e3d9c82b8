#include "web/access.h"

#include <algorithm>
#include <cctype>

namespace tarvos::web {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 &&
        HexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else if (s[i] == '+') {
      out += ' ';
    } else {
      out += s[i];
    }
  }
  return out;
}

// Constant time in the token's length, so that timing does not tell how
// much of a guess was right.
bool SameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i)
    diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// The host of a Host header, without its port and brackets.
std::string HostName(std::string_view host) {
  host = Trim(host);
  if (!host.empty() && host.front() == '[') {
    size_t close = host.find(']');
    return Lower(host.substr(
        1, close == std::string_view::npos ? host.npos : close - 1));
  }
  size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && host.find(':') == colon)
    host = host.substr(0, colon);
  return Lower(host);
}

bool IsLoopbackName(const std::string& name) {
  if (name == "localhost" || name == "::1") return true;
  if (name.size() > 10 && name.compare(name.size() - 10, 10, ".localhost") == 0)
    return true;
  // 127.0.0.0/8 as a dotted quad.
  if (name.rfind("127.", 0) != 0) return false;
  int dots = 0;
  for (char c : name) {
    if (c == '.') {
      ++dots;
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return dots == 3;
}

// "scheme://host[:port]" lower-cased, without a trailing '/'; empty when
// it is not one.
std::string NormalOrigin(std::string_view url) {
  url = Trim(url);
  while (!url.empty() && url.back() == '/') url.remove_suffix(1);
  size_t sep = url.find("://");
  if (sep == std::string_view::npos || sep == 0 || sep + 3 >= url.size())
    return "";
  if (url.find('/', sep + 3) != std::string_view::npos) return "";
  return Lower(url);
}

}  // namespace

std::string Tokens::Parse(std::string_view text) {
  enabled_ = true;
  size_t line_no = 0;
  while (!text.empty()) {
    ++line_no;
    size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    size_t space = line.find_first_of(" \t");
    if (space == std::string_view::npos) {
      return "line " + std::to_string(line_no) +
             ": a token and then read or write";
    }
    std::string_view token = line.substr(0, space);
    std::string_view grant = Trim(line.substr(space));
    Grant g = Grant::kNone;
    if (grant == "read") {
      g = Grant::kRead;
    } else if (grant == "write") {
      g = Grant::kWrite;
    } else {
      return "line " + std::to_string(line_no) + ": '" + std::string(grant) +
             "' is neither read nor write";
    }
    tokens_[std::string(token)] = g;
  }
  return "";
}

Grant Tokens::Check(std::string_view token) const {
  if (!enabled_) return Grant::kWrite;
  Grant found = Grant::kNone;
  for (const auto& [t, g] : tokens_) {
    if (SameToken(t, token)) found = g;
  }
  return found;
}

std::string_view TargetPath(std::string_view target) {
  return target.substr(0, target.find('?'));
}

std::string QueryValue(std::string_view target, std::string_view key,
                       bool* found) {
  if (found != nullptr) *found = false;
  size_t q = target.find('?');
  if (q == std::string_view::npos) return "";
  std::string_view query = target.substr(q + 1);
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view()
                                          : query.substr(amp + 1);
    size_t eq = pair.find('=');
    if (PercentDecode(pair.substr(0, eq)) != key) continue;
    if (found != nullptr) *found = true;
    return eq == std::string_view::npos ? ""
                                        : PercentDecode(pair.substr(eq + 1));
  }
  return "";
}

std::string RequestToken(std::string_view authorization,
                         std::string_view target) {
  std::string_view a = Trim(authorization);
  if (a.size() > 7 && Lower(a.substr(0, 7)) == "bearer ")
    return std::string(Trim(a.substr(7)));
  return QueryValue(target, "token");
}

bool Origins::Add(std::string_view url) {
  std::string o = NormalOrigin(url);
  if (o.empty()) return false;
  extra_.push_back(o);
  return true;
}

bool Origins::Allows(std::string_view origin, std::string_view host) const {
  if (Trim(origin).empty()) return true;
  std::string o = NormalOrigin(origin);
  if (o.empty()) return false;  // "null" and anything else not a site
  std::string h = Lower(Trim(host));
  if (!h.empty() && (o == "http://" + h || o == "https://" + h)) return true;
  return std::find(extra_.begin(), extra_.end(), o) != extra_.end();
}

bool IsLoopbackAddress(std::string_view address) {
  return IsLoopbackName(HostName(address));
}

bool IsLoopbackHost(std::string_view host) {
  return IsLoopbackName(HostName(host));
}

}  // namespace tarvos::web
