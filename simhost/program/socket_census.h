// What the operating system shows of the loaded plugin's clients: the
// connections open on the listening sockets of this process. The host
// cannot see the plugin's own counters, so it counts sockets instead.
//
// Threads: main thread only (the census keeps per-connection history).
#ifndef TARVOS_SIMHOST_SOCKET_CENSUS_H_
#define TARVOS_SIMHOST_SOCKET_CENSUS_H_

#include <cstdint>
#include <map>
#include <string>

namespace simhost {

struct SocketCounts {
  int tcp_clients = 0;    // established connections on our TCP listeners
  int local_clients = 0;  // connections accepted on our Unix listeners
  // Data-carrying TCP segments received on those connections since the
  // census began (open and since-closed ones); a batch usually arrives in
  // one, a large one in several. Not known without TCP_INFO.
  uint64_t tcp_segments_in = 0;
  bool tcp_segments_known = false;
};

class SocketCensus {
 public:
  // Listeners to leave out (the control channel): a TCP port (0 for none)
  // and a Unix socket path (empty for none).
  SocketCensus(int exclude_tcp_port, std::string exclude_unix_path)
      : exclude_tcp_port_(exclude_tcp_port),
        exclude_unix_path_(std::move(exclude_unix_path)) {}

  // Looks at the process's sockets now. Cheap enough for once a second.
  SocketCounts Sample();

 private:
  int exclude_tcp_port_;
  std::string exclude_unix_path_;
  // Segments last seen per open connection (socket inode), and the total of
  // connections that have gone since.
  std::map<uint64_t, uint64_t> segments_by_inode_;
  uint64_t segments_of_closed_ = 0;
};

}  // namespace simhost

#endif  // TARVOS_SIMHOST_SOCKET_CENSUS_H_
