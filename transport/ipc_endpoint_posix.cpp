// POSIX endpoint of the local IPC server: a Unix-domain stream socket (in
// the abstract namespace on Linux, so no file is left behind and every
// client finds it by name alone), and batches in POSIX shared memory.
//
// Threads: Open, Run and Close run on the server thread. Quit writes one
// byte to a pipe made at construction, which Run polls with the sockets.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "offsets/coding.h"
#include "transport/ipc_endpoint.h"

namespace tarvos {
namespace {

// Local connections served at once; further ones are closed on arrival.
constexpr size_t kMaxLocalConnections = 64;
// Bytes of a batch that are served: larger objects are served up to here.
constexpr size_t kMaxLocalBatchSize = 1 << 20;
constexpr size_t kMessageHeaderSize = 2;

void SetNonBlockingCloseOnExec(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// Builds the socket address of `name`; returns its length (0 if too long).
socklen_t EndpointAddress(const std::string& name, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
#if defined(__linux__)
  // Abstract namespace: sun_path[0] is 0 and the name follows.
  if (name.size() + 1 > sizeof addr->sun_path) return 0;
  std::memcpy(addr->sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                name.size());
#else
  std::string path = "/tmp/" + name;
  if (path.size() + 1 > sizeof addr->sun_path) return 0;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return static_cast<socklen_t>(sizeof *addr);
#endif
}

// A connected local client and the part of its current message received.
struct LocalConnection {
  int fd = -1;
  uint8_t message[kMessageHeaderSize + kMaxBatchNameLength] = {};
  size_t received = 0;
};

class PosixIpcEndpoint : public IpcEndpoint {
 public:
  PosixIpcEndpoint(int quit_read, int quit_write)
      : quit_read_(quit_read), quit_write_(quit_write) {}
  ~PosixIpcEndpoint() override {
    Close();
    ::close(quit_read_);
    ::close(quit_write_);
  }

  OpenSteps Open(const std::string& name) override {
    OpenSteps steps;
    listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener_ < 0) return steps;
    SetNonBlockingCloseOnExec(listener_);
    steps.class_registered = true;
    sockaddr_un addr;
    socklen_t len = EndpointAddress(name, &addr);
#if !defined(__linux__)
    if (len != 0) ::unlink(addr.sun_path);
#endif
    if (len == 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::listen(listener_, 16) != 0) {
      ::close(listener_);
      listener_ = -1;
      return steps;
    }
#if !defined(__linux__)
    path_ = addr.sun_path;
#endif
    steps.window_created = true;
    steps.message_registered = true;
    return steps;
  }

  void Run(const ServeFn& serve) override {
    std::vector<pollfd> fds;
    for (;;) {
      fds.clear();
      fds.push_back({quit_read_, POLLIN, 0});
      if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
      for (const LocalConnection& c : connections_) {
        fds.push_back({c.fd, POLLIN, 0});
      }
      int ready = ::poll(fds.data(), fds.size(), -1);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return;  // the loop's error ends it, as a failing message loop does
      }
      if (fds[0].revents != 0) return;  // quit
      size_t first_connection = 1;
      if (listener_ >= 0) {
        first_connection = 2;
        if (fds[1].revents & POLLIN) AcceptConnections();
      }
      // Walk back to front so that dropping a connection keeps indices of
      // those not yet visited valid.
      for (size_t i = fds.size(); i-- > first_connection;) {
        if (fds[i].revents == 0) continue;
        size_t index = i - first_connection;
        if (!ReadFrom(connections_[index], serve)) {
          ::close(connections_[index].fd);
          connections_.erase(connections_.begin() +
                             static_cast<std::ptrdiff_t>(index));
        }
      }
    }
  }

  void Quit() override {
    char byte = 1;
    // The pipe is non-blocking: a full pipe already holds a quit request.
    [[maybe_unused]] ssize_t n = ::write(quit_write_, &byte, 1);
  }

  void Close() override {
    for (LocalConnection& c : connections_) ::close(c.fd);
    connections_.clear();
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
#if !defined(__linux__)
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
#endif
  }

 private:
  void AcceptConnections() {
    for (;;) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;  // EAGAIN: none left; other errors: try next poll
      if (connections_.size() >= kMaxLocalConnections) {
        ::close(fd);
        continue;
      }
      SetNonBlockingCloseOnExec(fd);
      LocalConnection c;
      c.fd = fd;
      connections_.push_back(c);
    }
  }

  // Reads what is there and serves every complete message in it. False when
  // the connection is to be dropped (closed by the peer, error, bad length).
  bool ReadFrom(LocalConnection& c, const ServeFn& serve) {
    ssize_t n =
        ::recv(c.fd, c.message + c.received, sizeof c.message - c.received, 0);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    c.received += static_cast<size_t>(n);
    while (c.received >= kMessageHeaderSize) {
      const size_t length = LoadU16(c.message);
      if (length == 0 || length > kMaxBatchNameLength) {
        // Framing is lost: answer 0 and give the connection up.
        Answer(c, 0);
        return false;
      }
      const size_t whole = kMessageHeaderSize + length;
      if (c.received < whole) break;  // the rest comes with a later read
      // The name is handed on with its length: one with a NUL inside must
      // be refused, not served under the part before the NUL.
      const std::string_view name(
          reinterpret_cast<const char*>(c.message + kMessageHeaderSize),
          length);
      int result = serve(name);
      if (!Answer(c, static_cast<uint8_t>(result == 1 ? 1 : 0))) return false;
      // A client may send its next message before reading this answer.
      std::memmove(c.message, c.message + whole, c.received - whole);
      c.received -= whole;
    }
    return true;
  }

  static bool Answer(const LocalConnection& c, uint8_t result) {
    // One byte into an empty-enough socket buffer; a client that never
    // reads its answers and fills the buffer is dropped instead of stalling
    // every other local client.
    ssize_t n = ::send(c.fd, &result, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n == 1;
  }

  int quit_read_;
  int quit_write_;
  int listener_ = -1;
  std::vector<LocalConnection> connections_;
#if !defined(__linux__)
  std::string path_;
#endif
};

// A shared-memory batch, served from a private copy: a client that shrinks
// or removes its object while the request runs cannot make the simulator
// fault on a vanished page, as it could with a mapping.
class PosixNamedBatch : public NamedBatch {
 public:
  explicit PosixNamedBatch(int fd) : fd_(fd) {}
  ~PosixNamedBatch() override { ::close(fd_); }

  bool Map(uint8_t** data, size_t* size) override {
    // One read of up to the limit tells the size too: no stat needed.
    std::vector<uint8_t>& copy = Copy();
    if (copy.size() < kMaxLocalBatchSize) copy.resize(kMaxLocalBatchSize);
    ssize_t n = ::pread(fd_, copy.data(), kMaxLocalBatchSize, 0);
    if (n <= 0) return false;
    size_ = static_cast<size_t>(n);
    *data = copy.data();
    *size = size_;
    return true;
  }

  void Finish(size_t used) override {
    if (used > size_) used = size_;
    // Only bytes that were read are written back. A client that shrank its
    // object meanwhile gets it extended back to what it sent; nothing else
    // is touched.
    size_t done = 0;
    while (done < used) {
      ssize_t n = ::pwrite(fd_, Copy().data() + done, used - done,
                           static_cast<off_t>(done));
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

 private:
  // The copy buffer, kept by the server thread from request to request so
  // that serving does not allocate.
  static std::vector<uint8_t>& Copy() {
    thread_local std::vector<uint8_t> copy;
    return copy;
  }

  int fd_;
  size_t size_ = 0;  // bytes of the batch in Copy()
};

// A POSIX shared-memory name: "/" followed by 1 to 254 characters, none of
// them "/" or NUL. The length is the message's: a NUL inside means that the
// length and the name disagree, and the request is malformed.
bool AcceptableBatchName(std::string_view name) {
  if (name.size() < 2 || name.size() > kMaxBatchNameLength || name[0] != '/') {
    return false;
  }
  const std::string_view rest = name.substr(1);
  return rest.find('/') == std::string_view::npos &&
         rest.find('\0') == std::string_view::npos;
}

}  // namespace

std::unique_ptr<IpcEndpoint> IpcEndpoint::Make() {
  int fds[2];
  if (::pipe(fds) != 0) return nullptr;
  SetNonBlockingCloseOnExec(fds[0]);
  SetNonBlockingCloseOnExec(fds[1]);
  return std::make_unique<PosixIpcEndpoint>(fds[0], fds[1]);
}

std::unique_ptr<NamedBatch> NamedBatch::Open(std::string_view name) {
  if (!AcceptableBatchName(name)) return nullptr;
  const std::string terminated(name);
  int fd = ::shm_open(terminated.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixNamedBatch>(fd);
}

}  // namespace tarvos
