#include "simhost/control/control_server.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "simhost/control/control_commands.h"
#include "simhost/control/control_socket.h"

namespace simhost {
namespace {

// A client that does not read its answers is dropped when this much is
// waiting to be sent to it.
constexpr size_t kMaxPendingOutput = 1 << 20;
constexpr int kPollTimeoutMs = 200;

struct Client {
  ControlFd fd = kNoControlFd;
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
  std::string unix_path;
  long port = 0;
  if (where.rfind("unix:", 0) == 0) {
    unix_path = where.substr(5);
    if (unix_path.empty()) {
      *error = "bad Unix socket path ''";
      return false;
    }
  } else {
    char* end = nullptr;
    errno = 0;
    port = std::strtol(where.c_str(), &end, 10);
    if (where.empty() || errno != 0 || *end != '\0' || port < 0 ||
        port > 65535) {
      *error = "bad control port '" + where + "' (0 to 65535, or unix:PATH)";
      return false;
    }
  }
  if (!StartControlSockets()) {
    *error = "cannot start the socket library";
    return false;
  }
  int bound_port = 0;
  ControlFd fd =
      ListenControl(static_cast<int>(port), unix_path, &bound_port, error);
  if (fd == kNoControlFd) {
    StopControlSockets();
    return false;
  }
  ControlFd wake_read = kNoControlFd, wake_write = kNoControlFd;
  if (!MakeWakeChannel(&wake_read, &wake_write, error)) {
    CloseControl(fd);
    StopControlSockets();
    return false;
  }
  unix_path_ = unix_path;
  port_ = bound_port;
  listen_fd_ = fd;
  wake_read_ = wake_read;
  wake_write_ = wake_write;
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
  const bool started = listen_fd_ != kNoControlFd;
  for (ControlFd* fd : {&listen_fd_, &wake_read_, &wake_write_}) {
    CloseControl(*fd);
    *fd = kNoControlFd;
  }
  if (!unix_path_.empty()) {
    RemoveControlSocketFile(unix_path_);
    unix_path_.clear();
  }
  if (started) StopControlSockets();
  port_ = 0;
}

void ControlServer::Wake() {
  if (wake_write_ == kNoControlFd) return;
  WakeControl(wake_write_);
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
    CloseControl(clients[id].fd);
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
    std::vector<ControlPollFd> fds;
    std::vector<uint64_t> ids;
    fds.push_back(PollEntry(wake_read_, POLLIN));
    fds.push_back(PollEntry(listen_fd_, POLLIN));
    for (auto& [id, c] : clients) {
      short events = c.eof ? 0 : POLLIN;
      if (!c.output.empty()) events |= POLLOUT;
      fds.push_back(PollEntry(c.fd, events));
      ids.push_back(id);
    }
    if (PollControl(fds.data(), fds.size(), kPollTimeoutMs) < 0) {
      break;  // cannot wait any more: end the channel, not the program
    }
    if (fds[0].revents & POLLIN) {
      DrainWake(wake_read_);
    }
    if (fds[1].revents & POLLIN) {
      ControlFd fd;
      while ((fd = AcceptControl(listen_fd_)) != kNoControlFd) {
        if (clients.size() >= static_cast<size_t>(kMaxControlClients)) {
          static const char kBusy[] = "error too many control connections\n";
          SendControl(fd, kBusy, sizeof(kBusy) - 1);
          CloseControl(fd);
          continue;
        }
        clients[next_id++].fd = fd;
      }
    }
    std::deque<Line> lines;
    for (size_t i = 0; i < ids.size(); ++i) {
      const ControlPollFd& p = fds[i + 2];
      Client& c = clients[ids[i]];
      bool gone = (p.revents & (POLLERR | POLLNVAL)) != 0;
      if (!gone && !c.eof && (p.revents & (POLLIN | POLLHUP))) {
        char buf[4096];
        long n = ReceiveControl(c.fd, buf, sizeof(buf));
        if (n == 0) {
          // The client is done sending: answer what it sent in full, then
          // close. An unfinished last line is never run.
          c.eof = true;
          c.input.clear();
        } else if (n == -1) {
          gone = true;
        } else if (n > 0) {
          for (long k = 0; k < n; ++k) {
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
        long n = SendControl(c.fd, c.output.data(), c.output.size());
        if (n > 0) {
          c.output.erase(0, static_cast<size_t>(n));
        } else if (n == -1) {
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
      SendControl(c.fd, c.output.data(), c.output.size());
    }
    CloseControl(c.fd);
  }
}

}  // namespace simhost
