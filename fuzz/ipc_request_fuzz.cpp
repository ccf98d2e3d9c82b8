// The local transport's request path on Linux, end to end in one process:
// request messages (a 16-bit name length, then the name) sent over the
// endpoint's Unix socket to the real server thread, which opens the named
// shared-memory batch, serves it and answers one byte.
//
// Input:
//   byte 0      flags: bit 0 no batch object exists, bit 1 the whole stream
//               goes out in one send (else one send per piece)
//   bytes 1-2   batch length L; the next L bytes are the batch object
//   the rest    pieces, each a kind byte and its bytes:
//                 0  a request naming the batch object
//                 1  a request with a length and name the fuzzer chose
//                 2  raw bytes (a length byte, then that many)
//                 3  the object's name with bytes appended, the length
//                    covering them (a NUL inside must be refused)
//
// Checked: every answer is 0 or 1 and there is at most one per 3 bytes sent
// (the shortest message), plus the 0 of a lost framing; the
// server answers and closes once the client stops sending (no hang); the
// object keeps its size (the served batch is written back in place).
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "offsets/offset_block.h"
#include "tests/support/linked_plugin.h"
#include "transport/server_options.h"
#include "transport/servers.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

struct Setup {
  std::string endpoint;
  std::string object;  // the shared-memory batch's name
};

const Setup& TheSetup() {
  static const Setup* setup = [] {
    auto* s = new Setup;
    s->endpoint = "tarvos-ipc-fuzz-" + std::to_string(::getpid());
    s->object = "/tarvos-ipc-fuzz-" + std::to_string(::getpid());
    // Enabled but no frame stepped: only the server started here runs.
    tarvos::testing::BootLinkedPlugin(/*enable=*/true);
    tarvos::SetIpcEndpointName(s->endpoint);
    Check(tarvos::StartIpcServer());
    for (int i = 0; i < 500 && !tarvos::IpcServerListening(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Check(tarvos::IpcServerListening());
    return s;
  }();
  return *setup;
}

int Connect(const std::string& endpoint) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  Check(fd >= 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path + 1, endpoint.data(), endpoint.size());
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                          endpoint.size());
  Check(::connect(fd, reinterpret_cast<sockaddr*>(&a), len) == 0);
  return fd;
}

void PutU16(std::vector<uint8_t>& b, size_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n =
        ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    // The server drops a connection whose framing is lost; the rest of the
    // stream then has nowhere to go.
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Setup& setup = TheSetup();
  size_t at = 0;
  auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  const uint8_t flags = byte();
  size_t length = byte();
  length |= size_t{byte()} << 8;
  if (length > size - at) length = size - at;

  const bool object = (flags & 1) == 0;
  if (object) {
    int shm =
        ::shm_open(setup.object.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    Check(shm >= 0);
    Check(::ftruncate(shm, static_cast<off_t>(length)) == 0);
    if (length > 0) {
      Check(::pwrite(shm, data + at, length, 0) ==
            static_cast<ssize_t>(length));
    }
    ::close(shm);
  } else {
    ::shm_unlink(setup.object.c_str());
  }
  at += length;

  std::vector<std::vector<uint8_t>> pieces;
  while (at < size) {
    std::vector<uint8_t> p;
    switch (byte() % 4) {
      case 0:
        PutU16(p, setup.object.size());
        p.insert(p.end(), setup.object.begin(), setup.object.end());
        break;
      case 1: {
        size_t n = byte();
        n |= size_t{byte()} << 8;
        PutU16(p, n);
        for (size_t i = 0; i < n && at < size && i < 300; ++i) {
          p.push_back(byte());
        }
        break;
      }
      case 2: {
        const size_t n = byte();
        for (size_t i = 0; i < n && at < size; ++i) p.push_back(byte());
        break;
      }
      case 3: {
        const size_t extra = byte() % 8;
        PutU16(p, setup.object.size() + extra);
        p.insert(p.end(), setup.object.begin(), setup.object.end());
        for (size_t i = 0; i < extra; ++i) p.push_back(byte());
        break;
      }
    }
    pieces.push_back(std::move(p));
  }

  const int fd = Connect(setup.endpoint);
  size_t sent = 0;
  for (const auto& p : pieces) sent += p.size();
  if (flags & 2) {
    std::vector<uint8_t> all;
    for (const auto& p : pieces) all.insert(all.end(), p.begin(), p.end());
    SendAll(fd, all);
  } else {
    for (const auto& p : pieces) SendAll(fd, p);
  }
  ::shutdown(fd, SHUT_WR);

  // The server answers what it can and closes once the stream ends. A
  // batch may set the request throttle (at most 20 ms a message).
  size_t answers = 0;
  const size_t most = sent / 3 + 1;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::seconds(5) +
                        std::chrono::milliseconds(25) * most;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    Check(std::chrono::steady_clock::now() < deadline);
    if (::poll(&p, 1, 1000) <= 0) continue;
    uint8_t got[512];
    ssize_t n = ::recv(fd, got, sizeof got, 0);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) Check(got[i] == 0 || got[i] == 1);
    answers += static_cast<size_t>(n);
  }
  ::close(fd);
  Check(answers <= most);

  if (object) {
    int shm = ::shm_open(setup.object.c_str(), O_RDONLY, 0);
    Check(shm >= 0);
    struct stat st {};
    Check(::fstat(shm, &st) == 0);
    Check(static_cast<size_t>(st.st_size) == length);
    ::close(shm);
  }
  // A batch may set the request throttle; keep every run quick.
  tarvos::TuneValue.store(0);
  return 0;
}
