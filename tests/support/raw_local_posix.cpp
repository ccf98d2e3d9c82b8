#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>

#include "offsets/coding.h"
#include "tests/support/raw_local.h"

namespace tarvos::testing {
namespace {

std::string NewName() {
  static std::atomic<int> serial{0};
  return "/tarvos-raw-" + std::to_string(::getpid()) + "-" +
         std::to_string(serial.fetch_add(1));
}

// Sends the name and waits for the one-byte answer.
int Ask(const std::string& endpoint, const std::string& name) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path + 1, endpoint.data(), endpoint.size());
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                          endpoint.size());
  int answer = -1;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0) {
    std::vector<uint8_t> m(2 + name.size());
    StoreU16(m.data(), static_cast<uint16_t>(name.size()));
    std::memcpy(m.data() + 2, name.data(), name.size());
    pollfd p{fd, POLLIN, 0};
    uint8_t b = 0;
    if (::send(fd, m.data(), m.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(m.size()) &&
        ::poll(&p, 1, 10000) == 1 && ::recv(fd, &b, 1, 0) == 1) {
      answer = b;
    }
  }
  ::close(fd);
  return answer;
}

}  // namespace

int RawLocalRequest(const std::string& endpoint, std::vector<uint8_t>* batch) {
  const std::string name = NewName();
  int shm = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (shm < 0) return -1;
  int answer = -1;
  if (::pwrite(shm, batch->data(), batch->size(), 0) ==
      static_cast<ssize_t>(batch->size())) {
    answer = Ask(endpoint, name);
    if (::pread(shm, batch->data(), batch->size(), 0) !=
        static_cast<ssize_t>(batch->size())) {
      answer = -1;
    }
  }
  ::close(shm);
  ::shm_unlink(name.c_str());
  return answer;
}

int RawLocalRequestForNothing(const std::string& endpoint) {
  return Ask(endpoint, NewName());
}

}  // namespace tarvos::testing
