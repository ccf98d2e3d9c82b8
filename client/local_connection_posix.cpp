// Local connection: the batch is written to a POSIX shared-memory object of
// this process, whose name is sent over the server's Unix-domain socket as
// a 16-bit little-endian length and the name; the answer is one byte, 1
// (served) or 0.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "client/connection.h"
#include "client/posix_io.h"
#include "offsets/coding.h"

namespace tarvos::client {
namespace {

class LocalConnection : public Connection {
 public:
  LocalConnection(int fd, int shm, std::string shm_name, int timeout_ms)
      : fd_(fd),
        shm_(shm),
        shm_name_(std::move(shm_name)),
        timeout_ms_(timeout_ms) {}
  ~LocalConnection() override {
    if (view_ != nullptr) ::munmap(view_, view_size_);
    ::close(fd_);
    ::close(shm_);
    ::shm_unlink(shm_name_.c_str());
  }

  bool Exchange(RequestBatch& batch, std::string* error) override {
    std::vector<uint8_t> area = batch.RecordArea();
    // The object is exactly the batch (the server serves what it holds); it
    // stays mapped between exchanges of the same size.
    if (!Resize(area.size())) {
      *error =
          std::string("cannot size the shared batch: ") + std::strerror(errno);
      return false;
    }
    std::memcpy(view_, area.data(), area.size());
    std::vector<uint8_t> message(2 + shm_name_.size());
    StoreU16(message.data(), static_cast<uint16_t>(shm_name_.size()));
    std::memcpy(message.data() + 2, shm_name_.data(), shm_name_.size());
    if (!WriteAll(fd_, message.data(), message.size(), timeout_ms_, error)) {
      return false;
    }
    uint8_t answer = 0;
    if (!ReadExactly(fd_, &answer, 1, timeout_ms_, error)) return false;
    if (answer != 1) {
      *error = "the server rejected the batch (invalid record)";
      return false;
    }
    batch.AcceptServed(static_cast<const uint8_t*>(view_), area.size());
    return true;
  }

 private:
  bool Resize(size_t size) {
    if (view_ != nullptr && size == view_size_) return true;
    if (view_ != nullptr) ::munmap(view_, view_size_);
    view_ = nullptr;
    if (::ftruncate(shm_, static_cast<off_t>(size)) != 0) return false;
    void* v =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, shm_, 0);
    if (v == MAP_FAILED) return false;
    view_ = v;
    view_size_ = size;
    return true;
  }

  int fd_;
  int shm_;
  void* view_ = nullptr;
  size_t view_size_ = 0;
  std::string shm_name_;
  int timeout_ms_;
};

}  // namespace

std::unique_ptr<Connection> ConnectLocal(const std::string& name,
                                         std::string* error, int timeout_ms) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  socklen_t len = 0;
#if defined(__linux__)
  if (name.size() + 1 > sizeof addr.sun_path) {
    *error = "local endpoint name too long";
    return nullptr;
  }
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  len =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
#else
  std::string path = "/tmp/" + name;
  if (path.size() + 1 > sizeof addr.sun_path) {
    *error = "local endpoint name too long";
    return nullptr;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  len = sizeof addr;
#endif
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("cannot create a socket: ") + std::strerror(errno);
    return nullptr;
  }
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
    int err = errno;
    ::close(fd);
    *error = "cannot reach the local endpoint '" + name + "': " +
             (err == ECONNREFUSED || err == ENOENT
                  ? std::string("no simulator with the plugin enabled is "
                                "running on this machine")
                  : std::string(std::strerror(err)));
    return nullptr;
  }
  static std::atomic<unsigned> serial{0};
  std::string shm_name = "/tarvos-client-" + std::to_string(::getpid()) + "-" +
                         std::to_string(serial.fetch_add(1));
  int shm =
      ::shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (shm < 0) {
    int err = errno;
    ::close(fd);
    *error =
        std::string("cannot create the shared batch: ") + std::strerror(err);
    return nullptr;
  }
  return std::make_unique<LocalConnection>(fd, shm, shm_name, timeout_ms);
}

}  // namespace tarvos::client
