// Linux: /proc/self/fd names the process's socket inodes; /proc/net/tcp,
// tcp6 and unix give their state and addresses; TCP_INFO on our own
// descriptor gives the segment counters.
#include <dirent.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "simhost/socket_census.h"

namespace simhost {
namespace {

constexpr int kTcpEstablished = 0x01;
constexpr int kTcpListen = 0x0A;
constexpr unsigned long kUnixAcceptConnections = 0x00010000;  // __SO_ACCEPTCON
constexpr int kUnixConnected = 3;                             // SS_CONNECTED

// Socket inode -> descriptor, for the sockets this process holds.
std::map<uint64_t, int> OwnSockets() {
  std::map<uint64_t, int> out;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return out;
  while (dirent* e = readdir(dir)) {
    char target[64];
    std::string path = std::string("/proc/self/fd/") + e->d_name;
    ssize_t n = readlink(path.c_str(), target, sizeof(target) - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    unsigned long long inode = 0;
    if (std::sscanf(target, "socket:[%llu]", &inode) == 1) {
      out[inode] = std::atoi(e->d_name);
    }
  }
  closedir(dir);
  return out;
}

struct TcpEntry {
  int local_port;
  int state;
  uint64_t inode;
};

// Rows of /proc/net/tcp or tcp6 (the header line skipped).
std::vector<TcpEntry> ReadTcpTable(const char* path) {
  std::vector<TcpEntry> out;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retr, uid, timeout;
    uint64_t inode = 0;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >>
          retr >> uid >> timeout >> inode)) {
      continue;
    }
    size_t colon = local.rfind(':');
    if (colon == std::string::npos) continue;
    out.push_back(
        {static_cast<int>(std::strtol(local.c_str() + colon + 1, nullptr, 16)),
         static_cast<int>(std::strtol(state.c_str(), nullptr, 16)), inode});
  }
  return out;
}

struct UnixEntry {
  unsigned long flags;
  int state;
  uint64_t inode;
  std::string path;  // "@name" for the abstract namespace
};

std::vector<UnixEntry> ReadUnixTable() {
  std::vector<UnixEntry> out;
  std::ifstream in("/proc/net/unix");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string num, refs, protocol, flags, type, state;
    uint64_t inode = 0;
    if (!(fields >> num >> refs >> protocol >> flags >> type >> state >>
          inode)) {
      continue;
    }
    UnixEntry e{std::strtoul(flags.c_str(), nullptr, 16),
                static_cast<int>(std::strtol(state.c_str(), nullptr, 16)),
                inode,
                {}};
    fields >> e.path;
    out.push_back(e);
  }
  return out;
}

// Data segments received on `fd`, checked to still be socket `inode` (the
// plugin's threads may close and reuse descriptors at any time).
bool DataSegmentsIn(int fd, uint64_t inode, uint64_t* segments) {
  tcp_info info{};
  socklen_t len = sizeof(info);
  if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_ino != inode) return false;
  if (len <
      offsetof(tcp_info, tcpi_data_segs_in) + sizeof(info.tcpi_data_segs_in)) {
    return false;
  }
  *segments = info.tcpi_data_segs_in;
  return true;
}

}  // namespace

SocketCounts SocketCensus::Sample() {
  SocketCounts counts;
  std::map<uint64_t, int> own = OwnSockets();

  std::vector<TcpEntry> tcp = ReadTcpTable("/proc/net/tcp");
  std::vector<TcpEntry> tcp6 = ReadTcpTable("/proc/net/tcp6");
  tcp.insert(tcp.end(), tcp6.begin(), tcp6.end());
  std::set<int> ports;
  for (const TcpEntry& e : tcp) {
    if (e.state == kTcpListen && own.count(e.inode) &&
        e.local_port != exclude_tcp_port_) {
      ports.insert(e.local_port);
    }
  }
  std::map<uint64_t, uint64_t> seen;
  bool all_known = true;
  for (const TcpEntry& e : tcp) {
    auto fd = own.find(e.inode);
    if (e.state != kTcpEstablished || fd == own.end() ||
        !ports.count(e.local_port)) {
      continue;
    }
    ++counts.tcp_clients;
    uint64_t segments = 0;
    if (DataSegmentsIn(fd->second, e.inode, &segments)) {
      seen[e.inode] = segments;
    } else {
      // Keep what was last seen so the connection is not taken for closed.
      auto last = segments_by_inode_.find(e.inode);
      if (last != segments_by_inode_.end()) seen[e.inode] = last->second;
      all_known = false;
    }
  }
  for (const auto& [inode, segments] : segments_by_inode_) {
    if (!seen.count(inode)) segments_of_closed_ += segments;
  }
  segments_by_inode_ = std::move(seen);
  counts.tcp_segments_known = all_known;
  counts.tcp_segments_in = segments_of_closed_;
  for (const auto& [inode, segments] : segments_by_inode_) {
    counts.tcp_segments_in += segments;
  }

  std::vector<UnixEntry> unix_sockets = ReadUnixTable();
  std::set<std::string> names;
  for (const UnixEntry& e : unix_sockets) {
    if ((e.flags & kUnixAcceptConnections) && own.count(e.inode) &&
        !e.path.empty() && e.path != exclude_unix_path_) {
      names.insert(e.path);
    }
  }
  for (const UnixEntry& e : unix_sockets) {
    if (e.state == kUnixConnected && !(e.flags & kUnixAcceptConnections) &&
        own.count(e.inode) && names.count(e.path)) {
      ++counts.local_clients;
    }
  }
  return counts;
}

}  // namespace simhost
