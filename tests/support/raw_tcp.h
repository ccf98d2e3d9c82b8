// A raw loopback TCP connection with bounded waits, for byte-exact
// exchanges with the plugin's server; the same on POSIX and on Winsock.
#ifndef TARVOS_TESTS_SUPPORT_RAW_TCP_H_
#define TARVOS_TESTS_SUPPORT_RAW_TCP_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarvos::testing {

using Buf = std::vector<uint8_t>;

class RawTcp {
 public:
  explicit RawTcp(uint16_t port);
  // Takes over a connected socket (one accepted by OtherListener).
  static std::unique_ptr<RawTcp> Adopt(intptr_t socket);
  ~RawTcp() { Close(); }
  RawTcp(const RawTcp&) = delete;
  RawTcp& operator=(const RawTcp&) = delete;

  bool connected() const { return connected_; }
  void Close();
  bool Send(const Buf& b);
  // Reads until `n` bytes arrived, the peer closed, or `ms` passed.
  Buf Receive(size_t n, int ms = 3000);
  // True when the peer closed the connection within `ms`.
  bool PeerClosed(int ms = 3000);

 private:
  RawTcp() = default;
  intptr_t s_ = -1;
  bool connected_ = false;
};

// A listening socket of "another program" on `port` (0: any free port),
// bound to the loopback address or to every address, with the address-reuse
// options a program trying to take a port would set. Closed with the
// object; `ok()` is false when the bind or listen failed.
class OtherListener {
 public:
  enum class Reuse { kNone, kAddress, kPort };
  OtherListener(uint16_t port, bool loopback_only, Reuse reuse = Reuse::kNone);
  ~OtherListener() { Close(); }
  OtherListener(const OtherListener&) = delete;
  OtherListener& operator=(const OtherListener&) = delete;
  bool ok() const { return s_ >= 0; }
  uint16_t port() const;
  // The next connection, or null when none came within `ms`.
  std::unique_ptr<RawTcp> Accept(int ms = 5000);
  void Close();

 private:
  intptr_t s_ = -1;
};

// A free loopback port, found by binding port 0.
uint16_t FreeLoopbackPort();

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_SUPPORT_RAW_TCP_H_
