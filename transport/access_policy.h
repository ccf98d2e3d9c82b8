// Who may use the TCP server: the address it listens on, the client
// addresses it admits, the clients that may only read, and how long a
// connection may stay silent. Read from the [TARVOS NETWORK ACCESS] section
// of TARVOS.ini at Enable (settings.cpp) and handed to the TCP server before
// its listener starts. Every default keeps the server as open as it always
// was: all interfaces, every client, reads and writes, no time-out.
//
// Value syntax (the texts of the settings file):
//   address       dotted IPv4, four decimal parts 0..255: "192.168.1.20"
//   prefix        address "/" length 0..32: "192.168.1.0/24" (host bits
//                 beyond the length are ignored)
//   address list  "all", "none", or addresses and prefixes separated by
//                 commas and/or blanks: "127.0.0.1, 192.168.1.0/24"
//   idle timeout  whole seconds 0..86400; 0 means none
// An empty value is the key's default.
//
// Threads: plain values; the TCP server keeps its own copy.
#ifndef TARVOS_TRANSPORT_ACCESS_POLICY_H_
#define TARVOS_TRANSPORT_ACCESS_POLICY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvos {

inline constexpr uint32_t kMaxIdleTimeoutSeconds = 86400;

// An IPv4 prefix in host byte order; `mask` has the prefix's bits set.
struct AddressPrefix {
  uint32_t address = 0;
  uint32_t mask = 0;
  bool Contains(uint32_t peer) const { return (peer & mask) == address; }
};

// A set of client addresses: everyone, or the listed prefixes (none when
// the list is empty).
struct AddressSet {
  bool everyone = false;
  std::vector<AddressPrefix> prefixes;
  bool Contains(uint32_t peer) const;
};

struct TcpAccessPolicy {
  // Where to listen; none: every local address.
  std::optional<uint32_t> listen_address;
  AddressSet allowed{true, {}};
  AddressSet read_only{false, {}};
  // Seconds without any data after which a connection is closed; 0: never.
  uint32_t idle_timeout_seconds = 0;
};

// Parsers of the value texts; false (output untouched) when malformed.
bool ParseIpv4Address(std::string_view text, uint32_t* address);
bool ParseListenAddress(std::string_view text, std::optional<uint32_t>* out);
bool ParseAddressSet(std::string_view text, bool empty_means_everyone,
                     AddressSet* out);
bool ParseIdleTimeout(std::string_view text, uint32_t* seconds);

// "192.168.1.20" for an address in host byte order.
std::string FormatIpv4Address(uint32_t address);

}  // namespace tarvos

#endif  // TARVOS_TRANSPORT_ACCESS_POLICY_H_
