// Linux: /proc/self/fd names the process's socket inodes; /proc/net/tcp,
// tcp6 and unix give their state and addresses; the kernel's socket
// diagnostics (netlink) give the segment counters.
#include <dirent.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include "simhost/program/socket_census.h"

namespace simhost {
namespace {

constexpr int kTcpEstablished = 0x01;
constexpr int kTcpListen = 0x0A;
constexpr unsigned long kUnixAcceptConnections = 0x00010000;  // __SO_ACCEPTCON
constexpr int kUnixConnected = 3;                             // SS_CONNECTED

// Inodes of the sockets this process holds.
std::set<uint64_t> OwnSockets() {
  std::set<uint64_t> out;
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
      out.insert(inode);
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

// Takes the data-segments-in counter from the attributes after one socket
// row of a diagnostics answer.
void StoreSegments(const inet_diag_msg* row, size_t attributes_size,
                   std::map<uint64_t, uint64_t>* out) {
  constexpr size_t kNeeded = offsetof(tcp_info, tcpi_data_segs_in) +
                             sizeof(tcp_info::tcpi_data_segs_in);
  const char* at = reinterpret_cast<const char*>(row + 1);
  while (attributes_size >= sizeof(rtattr)) {
    const auto* a = reinterpret_cast<const rtattr*>(at);
    if (a->rta_len < sizeof(rtattr) || a->rta_len > attributes_size) return;
    size_t payload = a->rta_len - RTA_LENGTH(0);
    if (a->rta_type == INET_DIAG_INFO && payload >= kNeeded) {
      tcp_info info{};
      std::memcpy(&info, RTA_DATA(a), std::min(sizeof(info), payload));
      (*out)[row->idiag_inode] = info.tcpi_data_segs_in;
    }
    size_t step = std::min<size_t>(RTA_ALIGN(a->rta_len), attributes_size);
    at += step;
    attributes_size -= step;
  }
}

// Data segments received per established TCP socket, by socket inode, from
// the kernel's socket diagnostics. Nothing here touches a descriptor: the
// plugin's threads close and reuse theirs at any time.
std::map<uint64_t, uint64_t> TcpSegmentsByInode() {
  std::map<uint64_t, uint64_t> out;
  int nl = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (nl < 0) return out;
  for (uint8_t family : {uint8_t{AF_INET}, uint8_t{AF_INET6}}) {
    struct {
      nlmsghdr header;
      inet_diag_req_v2 request;
    } query{};
    query.header.nlmsg_len = sizeof(query);
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    query.request.sdiag_family = family;
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = 1u << kTcpEstablished;
    query.request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(nl, &query, sizeof(query), 0,
               reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel)) < 0) {
      continue;
    }
    alignas(nlmsghdr) char buffer[32768];
    bool done = false;
    while (!done) {
      ssize_t received = recv(nl, buffer, sizeof(buffer), 0);
      if (received <= 0) break;
      // Netlink's iteration macros compare signed with unsigned lengths;
      // the same walk with sizes kept unsigned.
      size_t left = static_cast<size_t>(received);
      const char* at = buffer;
      while (!done && left >= sizeof(nlmsghdr)) {
        const auto* h = reinterpret_cast<const nlmsghdr*>(at);
        if (h->nlmsg_len < sizeof(nlmsghdr) || h->nlmsg_len > left) break;
        if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
          done = true;
          break;
        }
        if (h->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
          const auto* row = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
          StoreSegments(row, h->nlmsg_len - NLMSG_LENGTH(sizeof(*row)), &out);
        }
        size_t step = std::min<size_t>(NLMSG_ALIGN(h->nlmsg_len), left);
        at += step;
        left -= step;
      }
    }
  }
  close(nl);
  return out;
}

}  // namespace

SocketCounts SocketCensus::Sample() {
  SocketCounts counts;
  std::set<uint64_t> own = OwnSockets();

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
  std::map<uint64_t, uint64_t> diagnosed = TcpSegmentsByInode();
  std::map<uint64_t, uint64_t> seen;
  bool all_known = true;
  for (const TcpEntry& e : tcp) {
    if (e.state != kTcpEstablished || !own.count(e.inode) ||
        !ports.count(e.local_port)) {
      continue;
    }
    ++counts.tcp_clients;
    auto segments = diagnosed.find(e.inode);
    if (segments != diagnosed.end()) {
      seen[e.inode] = segments->second;
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
