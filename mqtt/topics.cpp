#include "mqtt/topics.h"

#include <algorithm>

namespace tarvos::mqtt {

bool ValidPrefix(const std::string& prefix) {
  if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/') {
    return false;
  }
  return prefix.find_first_of(std::string("+#\0", 3)) == std::string::npos;
}

std::string ValueTopic(const std::string& prefix, std::string_view name) {
  std::string topic = prefix + "/";
  topic.append(name);
  std::replace(topic.begin() + static_cast<long>(prefix.size()) + 1,
               topic.end(), '.', '/');
  return topic;
}

std::string StatusTopic(const std::string& prefix) {
  return prefix + "/status";
}
std::string ErrorTopic(const std::string& prefix) { return prefix + "/error"; }
std::string SetFilter(const std::string& prefix) { return prefix + "/set/#"; }

bool NameOfSetTopic(const std::string& prefix, std::string_view topic,
                    std::string* name) {
  const std::string head = prefix + "/set/";
  if (topic.size() <= head.size() || topic.substr(0, head.size()) != head) {
    return false;
  }
  name->assign(topic.substr(head.size()));
  std::replace(name->begin(), name->end(), '/', '.');
  return true;
}

bool SetPayloadText(std::string_view payload, std::string* text,
                    std::string* reason) {
  if (payload.size() > kMaxSetPayload) {
    *reason = "value too long (" + std::to_string(payload.size()) +
              " bytes; at most " + std::to_string(kMaxSetPayload) + ")";
    return false;
  }
  const auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
  };
  while (!payload.empty() && blank(payload.front())) payload.remove_prefix(1);
  while (!payload.empty() && blank(payload.back())) payload.remove_suffix(1);
  for (char c : payload) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) {
      *reason = "the value holds bytes that are not printable text";
      return false;
    }
  }
  text->assign(payload);
  return true;
}

}  // namespace tarvos::mqtt
