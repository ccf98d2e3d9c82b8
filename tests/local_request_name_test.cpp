// The name in a local request message must be exactly what its length field
// says: a name with a NUL inside is refused, never served under the part
// before the NUL.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

class LocalRequestNameTest : public TransportFixture {
 protected:
  void TearDown() override {
    if (fd_ >= 0) ::close(fd_);
    if (!shm_.empty()) ::shm_unlink(shm_.c_str());
    TransportFixture::TearDown();
  }
  // The endpoint and a batch reading the protocol version.
  void Prepare() {
    StartServers();
    shm_ = "/tarvos-name-test-" + std::to_string(::getpid());
    const Buf batch = Cat({ReadRecord(0x3304, 4), End()});
    int shm = ::shm_open(shm_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(shm, 0);
    ASSERT_EQ(::pwrite(shm, batch.data(), batch.size(), 0),
              static_cast<ssize_t>(batch.size()));
    ::close(shm);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + 1, endpoint_.data(), endpoint_.size());
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                            1 + endpoint_.size());
    ASSERT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&a), len), 0);
  }
  // Sends `name` with its full length; the one-byte answer or -1.
  int Request(const std::string& name) {
    Buf m;
    PutU16(m, static_cast<uint16_t>(name.size()));
    m.insert(m.end(), name.begin(), name.end());
    if (::send(fd_, m.data(), m.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(m.size())) {
      return -1;
    }
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return -1;
    uint8_t b;
    return ::recv(fd_, &b, 1, 0) == 1 ? b : -1;
  }
  uint32_t Served() {
    int shm = ::shm_open(shm_.c_str(), O_RDONLY, 0);
    uint8_t data[4] = {};
    EXPECT_EQ(::pread(shm, data, 4, 16), 4);
    ::close(shm);
    return LoadU32(data);
  }

  std::string shm_;
  int fd_ = -1;
};

TEST_F(LocalRequestNameTest, NameWithANulInsideIsRefused) {
  Prepare();
  for (const std::string& bad :
       {shm_ + std::string(1, '\0') + "junk", shm_ + std::string(1, '\0'),
        std::string("/\0", 2) + shm_.substr(1)}) {
    SCOPED_TRACE(bad.size());
    EXPECT_EQ(Request(bad), 0);
    EXPECT_EQ(Served(), 0u);  // the batch under the shorter name untouched
  }
  // The connection goes on, and the exact name is served.
  EXPECT_EQ(Request(shm_), 1);
  EXPECT_EQ(Served(), 0x50000004u);
}

}  // namespace
}  // namespace tarvos::testing
