// Who may use the gateway: the tokens of a tokens file, the origins a
// WebSocket upgrade may come from, and the listen addresses allowed
// without tokens.
#ifndef TARVOS_WEB_ACCESS_H_
#define TARVOS_WEB_ACCESS_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvos::web {

enum class Grant { kNone, kRead, kWrite };

class Tokens {
 public:
  // Parses a tokens file's text: lines "TOKEN read" or "TOKEN write";
  // blank lines and lines starting with '#' are ignored. Empty on success,
  // else the first bad line and why.
  std::string Parse(std::string_view text);
  bool enabled() const { return enabled_; }
  // What `token` may do. Without a tokens file everyone may write.
  Grant Check(std::string_view token) const;
  void Enable() { enabled_ = true; }

 private:
  bool enabled_ = false;
  std::map<std::string, Grant, std::less<>> tokens_;
};

// The token of a request: "Authorization: Bearer TOKEN", else the query's
// token=TOKEN (empty when neither is given).
std::string RequestToken(std::string_view authorization,
                         std::string_view target);

// The value of `key` in the query of `target` ("/ws?token=x&a=b"),
// percent-decoded; `found` says whether it was there.
std::string QueryValue(std::string_view target, std::string_view key,
                       bool* found = nullptr);
// The path of a target without its query.
std::string_view TargetPath(std::string_view target);

// Origins a browser's request may come from: the page's own (the Host it
// asked for, over http or https) and every --origin.
class Origins {
 public:
  // Adds an --origin URL ("http://tablet.local:8080"); false when it is not
  // scheme://host[:port].
  bool Add(std::string_view url);
  // Whether a request with this Origin header (empty when none was sent)
  // to this Host is let in. A request without an Origin comes from a
  // program, not a page of another site, and is let in.
  bool Allows(std::string_view origin, std::string_view host) const;

 private:
  std::vector<std::string> extra_;
};

// Whether a listen address is a loopback one (127.0.0.0/8, ::1,
// localhost).
bool IsLoopbackAddress(std::string_view address);
// Whether a Host header names this machine's loopback (localhost,
// 127.x.y.z, [::1], with or without a port): without tokens only such
// names are answered, so that a page of another site whose name was made
// to resolve to 127.0.0.1 cannot use the gateway.
bool IsLoopbackHost(std::string_view host);

}  // namespace tarvos::web

#endif  // TARVOS_WEB_ACCESS_H_
