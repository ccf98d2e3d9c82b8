#include "simhost/control/control_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "simhost/control/control_commands.h"

namespace simhost {
namespace {

// A client that does not read its answers is dropped when this much is
// waiting to be sent to it.
constexpr size_t kMaxPendingOutput = 1 << 20;
constexpr int kPollTimeoutMs = 200;

void SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

struct Client {
  int fd = -1;
  std::string input;      // bytes after the last line end
  bool overlong = false;  // dropping the rest of a too-long line
  std::string output;     // answers not yet sent
  int owed = 0;           // lines queued and not yet answered
  bool eof = false;       // the client sent all it will send
};

}  // namespace

bool ControlServer::Start(const std::string& where, std::string* error) {
  if (thread_.joinable()) {
    *error = "the control channel is already running";
    return false;
  }
  int fd = -1;
  if (where.rfind("unix:", 0) == 0) {
    std::string path = where.substr(5);
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof(addr.sun_path)) {
      *error = "bad Unix socket path '" + path + "'";
      return false;
    }
    // A socket left behind by an earlier run would block the bind; any
    // other kind of file is not ours to remove.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
      unlink(path.c_str());
    }
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    if (fd < 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(fd, 8) != 0) {
      *error = SystemError("cannot listen on " + path);
      if (fd >= 0) close(fd);
      return false;
    }
    unix_path_ = path;
    port_ = 0;
  } else {
    char* end = nullptr;
    errno = 0;
    long port = std::strtol(where.c_str(), &end, 10);
    if (where.empty() || errno != 0 || *end != '\0' || port < 0 ||
        port > 65535) {
      *error = "bad control port '" + where + "' (0 to 65535, or unix:PATH)";
      return false;
    }
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never other hosts
    socklen_t len = sizeof(addr);
    if (fd < 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      *error = SystemError("cannot listen on 127.0.0.1:" + where);
      if (fd >= 0) close(fd);
      return false;
    }
    port_ = ntohs(addr.sin_port);
  }
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = SystemError("cannot create the control wake pipe");
    close(fd);
    return false;
  }
  SetNonBlocking(fd);
  listen_fd_ = fd;
  wake_read_ = pipe_fds[0];
  wake_write_ = pipe_fds[1];
  stop_.store(false);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void ControlServer::Stop() {
  if (thread_.joinable()) {
    stop_.store(true);
    Wake();
    thread_.join();
  }
  for (int* fd : {&listen_fd_, &wake_read_, &wake_write_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  if (!unix_path_.empty()) {
    unlink(unix_path_.c_str());
    unix_path_.clear();
  }
  port_ = 0;
}

void ControlServer::Wake() {
  if (wake_write_ < 0) return;
  char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost.
  ssize_t ignored = write(wake_write_, &byte, 1);
  (void)ignored;
}

int ControlServer::Poll(
    const std::function<std::string(const std::string&)>& execute) {
  std::deque<Line> lines;
  {
    ControlLock lock(&mu_);
    lines.swap(lines_);
  }
  if (lines.empty()) return 0;
  std::deque<Answer> answers;
  for (Line& line : lines) {
    std::string answer =
        line.answer.empty() ? execute(line.text) : std::move(line.answer);
    // Empty answers go back too: the server counts what it is owed.
    answers.push_back({line.client, std::move(answer)});
  }
  {
    ControlLock lock(&mu_);
    for (Answer& a : answers) answers_.push_back(std::move(a));
  }
  Wake();
  return static_cast<int>(lines.size());
}

void ControlServer::Serve() {
  std::map<uint64_t, Client> clients;
  uint64_t next_id = 1;
  auto drop = [&clients](uint64_t id) {
    close(clients[id].fd);
    clients.erase(id);
  };
  while (!stop_.load()) {
    // Answers from the main thread go to their clients' output.
    {
      std::deque<Answer> answers;
      {
        ControlLock lock(&mu_);
        answers.swap(answers_);
      }
      for (Answer& a : answers) {
        auto it = clients.find(a.client);
        if (it == clients.end()) continue;  // gone before its answer
        --it->second.owed;
        if (!a.text.empty()) it->second.output += a.text + "\n";
      }
    }
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids;
    fds.push_back({wake_read_, POLLIN, 0});
    fds.push_back({listen_fd_, POLLIN, 0});
    for (auto& [id, c] : clients) {
      short events = c.eof ? 0 : POLLIN;
      if (!c.output.empty()) events |= POLLOUT;
      fds.push_back({c.fd, events, 0});
      ids.push_back(id);
    }
    if (poll(fds.data(), fds.size(), kPollTimeoutMs) < 0) {
      if (errno == EINTR) continue;
      break;  // cannot wait any more: end the channel, not the program
    }
    if (fds[0].revents & POLLIN) {
      char buf[64];
      while (read(wake_read_, buf, sizeof(buf)) > 0) {
      }
    }
    if (fds[1].revents & POLLIN) {
      int fd;
      while ((fd = accept4(listen_fd_, nullptr, nullptr,
                           SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0) {
        if (clients.size() >= static_cast<size_t>(kMaxControlClients)) {
          static const char kBusy[] = "error too many control connections\n";
          ssize_t ignored = send(fd, kBusy, sizeof(kBusy) - 1, MSG_NOSIGNAL);
          (void)ignored;
          close(fd);
          continue;
        }
        clients[next_id++].fd = fd;
      }
    }
    std::deque<Line> lines;
    for (size_t i = 0; i < ids.size(); ++i) {
      const pollfd& p = fds[i + 2];
      Client& c = clients[ids[i]];
      bool gone = (p.revents & (POLLERR | POLLNVAL)) != 0;
      if (!gone && !c.eof && (p.revents & (POLLIN | POLLHUP))) {
        char buf[4096];
        ssize_t n = recv(c.fd, buf, sizeof(buf), 0);
        if (n == 0) {
          // The client is done sending: answer what it sent in full, then
          // close. An unfinished last line is never run.
          c.eof = true;
          c.input.clear();
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          gone = true;
        } else if (n > 0) {
          for (ssize_t k = 0; k < n; ++k) {
            char ch = buf[k];
            if (ch == '\n') {
              if (c.overlong) {
                c.overlong = false;
              } else {
                lines.push_back({ids[i], std::move(c.input), ""});
                ++c.owed;
              }
              c.input.clear();
            } else if (!c.overlong) {
              c.input += ch;
              // One byte more is allowed for a "\r" before the line end.
              if (c.input.size() > kMaxControlLineLength + 1) {
                c.overlong = true;
                c.input.clear();
                lines.push_back({ids[i], "",
                                 "error line too long (at most " +
                                     std::to_string(kMaxControlLineLength) +
                                     " bytes)"});
                ++c.owed;
              }
            }
          }
        }
      }
      if (!gone && (p.revents & POLLOUT) && !c.output.empty()) {
        ssize_t n = send(c.fd, c.output.data(), c.output.size(), MSG_NOSIGNAL);
        if (n > 0) {
          c.output.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          gone = true;
        }
      }
      if (c.output.size() > kMaxPendingOutput) gone = true;
      if (c.eof && c.owed == 0 && c.output.empty()) gone = true;
      // Closed both ways: nobody will read what it is still owed.
      if (c.eof && (p.revents & POLLHUP)) gone = true;
      if (gone) drop(ids[i]);
    }
    if (!lines.empty()) {
      ControlLock lock(&mu_);
      for (Line& l : lines) lines_.push_back(std::move(l));
    }
  }
  // Last answers (the "ok bye" of a quit) go out before the sockets close.
  std::deque<Answer> answers;
  {
    ControlLock lock(&mu_);
    answers.swap(answers_);
  }
  for (Answer& a : answers) {
    auto it = clients.find(a.client);
    if (it != clients.end() && !a.text.empty()) {
      it->second.output += a.text + "\n";
    }
  }
  for (auto& [id, c] : clients) {
    if (!c.output.empty()) {
      ssize_t ignored =
          send(c.fd, c.output.data(), c.output.size(), MSG_NOSIGNAL);
      (void)ignored;
    }
    close(c.fd);
  }
}

}  // namespace simhost
