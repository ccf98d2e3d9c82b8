// The MQTT side of the catalogue: which topic a name is published under,
// which name a set topic addresses, and what a set payload may hold.
//
//   attitude.heading   ->  <prefix>/attitude/heading
//   traffic.3.latitude ->  <prefix>/traffic/3/latitude  (the record a level)
//   <prefix>/set/autopilot/heading  ->  autopilot.heading
//   <prefix>/status    retained "online" / "offline"
//   <prefix>/error     "NAME: reason in words"
//
// The first level of every catalogue name differs from "set", "status" and
// "error", so value topics never collide with these.
#ifndef TARVOS_MQTT_TOPICS_H_
#define TARVOS_MQTT_TOPICS_H_

#include <string>
#include <string_view>

namespace tarvos::mqtt {

// Longest set payload taken: the longest text field with room to spare.
inline constexpr size_t kMaxSetPayload = 256;

// Whether `prefix` can stand before a topic: not empty, no wildcard ('+',
// '#'), no NUL, not starting or ending with '/'.
bool ValidPrefix(const std::string& prefix);

// "<prefix>/" + the name with its dots as levels.
std::string ValueTopic(const std::string& prefix, std::string_view name);
std::string StatusTopic(const std::string& prefix);
std::string ErrorTopic(const std::string& prefix);
// The filter that takes every set topic: "<prefix>/set/#".
std::string SetFilter(const std::string& prefix);

// The name a set topic addresses, levels joined by dots; false when the
// topic has no name after "<prefix>/set/".
bool NameOfSetTopic(const std::string& prefix, std::string_view topic,
                    std::string* name);

// The value text of a set payload: surrounding blanks and line ends
// dropped. False (with the reason in words) when it is longer than
// kMaxSetPayload or holds anything but printable ASCII.
bool SetPayloadText(std::string_view payload, std::string* text,
                    std::string* reason);

}  // namespace tarvos::mqtt

#endif  // TARVOS_MQTT_TOPICS_H_
