// The local IPC server end to end: a Unix-domain endpoint and batches in
// POSIX shared memory, with the plugin enabled in the stand-in host.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "base/trace_log.h"
#include "client/connection.h"
#include "offsets/offset_block.h"
#include "tests/transport_harness.h"
#include "transport/servers.h"

namespace tarvos::testing {
namespace {

// A raw connection to the endpoint, speaking the message format directly.
class RawLocal {
 public:
  explicit RawLocal(const std::string& endpoint) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::memcpy(a.sun_path + 1, endpoint.data(), endpoint.size());
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                           endpoint.size());
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), len) == 0;
  }
  ~RawLocal() { Close(); }
  bool connected() const { return connected_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool SendRaw(const Buf& b) {
    return ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(b.size());
  }
  bool SendName(const std::string& name) {
    Buf m;
    PutU16(m, static_cast<uint16_t>(name.size()));
    m.insert(m.end(), name.begin(), name.end());
    return SendRaw(m);
  }
  // The one-byte answer, or -1 when none came (closed or time-out).
  int Answer(int ms = 3000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return -1;
    uint8_t b;
    return ::recv(fd_, &b, 1, 0) == 1 ? b : -1;
  }
  // True when the server closed the connection within `ms` without sending
  // anything more; false for a connection that stays open and silent, or
  // one that sends. A server closing before it read what this side sent
  // shows as a reset rather than an end of stream; both are a close.
  bool Closed(int ms = 3000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    uint8_t b;
    ssize_t got = ::recv(fd_, &b, 1, MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno == ECONNRESET);
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

// A shared-memory object holding a batch, removed with the test.
class SharedBatch {
 public:
  SharedBatch(const std::string& name, const Buf& content) : name_(name) {
    int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(content.size())), 0);
    if (!content.empty()) {
      EXPECT_EQ(::pwrite(fd, content.data(), content.size(), 0),
                static_cast<ssize_t>(content.size()));
    }
    ::close(fd);
  }
  ~SharedBatch() { ::shm_unlink(name_.c_str()); }
  Buf Content() {
    int fd = ::shm_open(name_.c_str(), O_RDONLY, 0);
    struct stat info;
    ::fstat(fd, &info);
    Buf b(static_cast<size_t>(info.st_size));
    if (!b.empty()) {
      EXPECT_GT(::pread(fd, b.data(), b.size(), 0), 0);
    }
    ::close(fd);
    return b;
  }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

class IpcServerTest : public TransportFixture {
 protected:
  std::string ShmName(const std::string& tag) {
    return "/tarvos-ipc-test-" + std::to_string(::getpid()) + "-" + tag;
  }
  int32_t Requests() {
    LockGuard<RecursiveLock> hold(OffsetLock);
    return RequestCount;
  }
};

struct IpcCase {
  const char* name;
  Buf batch;
  Buf served;
  int answer;
};

TEST_F(IpcServerTest, ServesBatchesInPlace) {
  StartServers();
  Buf read = ReadRecord(0x3304, 4, 0xCAFEF00D);
  Buf served = read;
  served[16] = 0x04;
  served[19] = 0x50;
  const std::vector<IpcCase> cases = {
      {"read 0x3304", Cat({read, End()}), Cat({served, End()}), 1},
      {"empty batch", End(), End(), 1},
      {"read, id 7, write",
       Cat({read, Buf{7, 0, 0, 0}, WriteRecord(0x66C0, {5})}),
       Cat({served, End(), WriteRecord(0x66C0, {5})}), 0},
      {"protected write", Cat({WriteRecord(0x3304, {1}), End()}),
       Cat({WriteRecord(0x3304, {1}), End()}), 1},
  };
  RawLocal local(endpoint_);
  ASSERT_TRUE(local.connected());
  int32_t before = Requests();
  for (const IpcCase& c : cases) {
    SCOPED_TRACE(c.name);
    SharedBatch batch(ShmName("case"), c.batch);
    ASSERT_TRUE(local.SendName(batch.name()));
    EXPECT_EQ(local.Answer(), c.answer);
    EXPECT_EQ(batch.Content(), c.served);
  }
  EXPECT_EQ(Requests(), before + static_cast<int32_t>(cases.size()));
  EXPECT_EQ(Bytes(0x66C0, 1), Buf{0});
  EXPECT_EQ(U32(0x3304), 0x50000004u);
}

TEST_F(IpcServerTest, AnswersZeroToBadRequestsAndGoesOn) {
  StartServers();
  SharedBatch empty(ShmName("empty"), Buf{});
  SharedBatch tiny(ShmName("tiny"), Buf{1, 0});
  struct Bad {
    const char* what;
    std::string name;
  };
  const std::vector<Bad> bad = {
      {"no such object", ShmName("missing")},
      {"no leading slash", "tarvos-no-slash"},
      {"inner slash", "/a/b"},
      {"slash only", "/"},
      {"object of size 0", empty.name()},
      {"object shorter than an id", tiny.name()},
      {"embedded zero", std::string("/x\0y", 4)},
  };
  RawLocal local(endpoint_);
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    ASSERT_TRUE(local.SendName(b.name));
    EXPECT_EQ(local.Answer(), 0);
  }
  EXPECT_EQ(tiny.Content(), (Buf{1, 0}));

  // Broken framing: a zero or oversized length is answered 0 and the
  // connection is dropped.
  for (uint16_t length : {uint16_t{0}, uint16_t{300}}) {
    RawLocal broken(endpoint_);
    Buf m;
    PutU16(m, length);
    ASSERT_TRUE(broken.SendRaw(m));
    EXPECT_EQ(broken.Answer(), 0);
    EXPECT_TRUE(broken.Closed());
  }
  // A client half-way through a message gets nothing and stays connected;
  // then it leaves.
  {
    RawLocal half(endpoint_);
    ASSERT_TRUE(half.SendRaw(Buf{20, 0, '/', 'a'}));
    EXPECT_FALSE(half.Closed(100));
  }
  // Still serving, also on the first connection.
  SharedBatch ok(ShmName("ok"), End());
  ASSERT_TRUE(local.SendName(ok.name()));
  EXPECT_EQ(local.Answer(), 1);
}

// The tune value throttles every request before any work: one that names
// no batch waits as long as one that is served.
TEST_F(IpcServerTest, TuneValueDelaysFoundAndMissingBatchesAlike) {
  StartServers();
  TuneValue.store(20);
  SharedBatch found(ShmName("tuned"), End());
  RawLocal local(endpoint_);
  ASSERT_TRUE(local.connected());
  const struct {
    const char* what;
    std::string name;
    int answer;
  } requests[] = {
      {"missing batch", ShmName("tuned-missing"), 0},
      {"found batch", found.name(), 1},
  };
  for (const auto& r : requests) {
    SCOPED_TRACE(r.what);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(local.SendName(r.name));
    EXPECT_EQ(local.Answer(), r.answer);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(20));
  }
  TuneValue.store(0);
}

TEST_F(IpcServerTest, ClientLibraryReadsAndWrites) {
  StartServers();
  std::string error;
  auto c = client::ConnectLocal(endpoint_, &error);
  ASSERT_TRUE(c) << error;
  client::RequestBatch batch;
  batch.AddWriteU16(0x66C0, 0xBEEF);
  size_t version = batch.AddRead(0x3304, 4);
  size_t text = batch.AddRead(0x6F03, 8);
  size_t back = batch.AddRead(0x66C0, 2);
  ASSERT_TRUE(c->Exchange(batch, &error)) << error;
  EXPECT_EQ(batch.U32(version), 0x50000004u);
  EXPECT_EQ(batch.Text(text), "1.0.0.0");
  EXPECT_EQ(batch.U16(back), 0xBEEF);
}

TEST_F(IpcServerTest, TracesWithTheSpaceMarker) {
  StartServers();
  SetReadTracing(true);
  const std::string req = NextRequestLabel();
  SharedBatch batch(ShmName("trace"), Cat({ReadRecord(0x3304, 4), End()}));
  RawLocal local(endpoint_);
  ASSERT_TRUE(local.SendName(batch.name()));
  ASSERT_EQ(local.Answer(), 1);
  SetReadTracing(false);
  std::string trace = TraceLogText();
  EXPECT_NE(trace.find(" " + req +
                       " READ  Offset: 3304 Bytes: 004 value: 04 00 00 50 \n"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("\n 0"), std::string::npos) << trace;
}

TEST_F(IpcServerTest, DisableWithClientsConnectedEndsTheThread) {
  StartServers();
  RawLocal a(endpoint_);
  RawLocal b(endpoint_);
  ASSERT_TRUE(b.SendRaw(Buf{10, 0, '/'}));  // half a message
  Disable();
  EXPECT_FALSE(IpcServerListening());
  EXPECT_TRUE(a.Closed());
  EXPECT_TRUE(b.Closed());
  RawLocal after(endpoint_);
  EXPECT_FALSE(after.connected());
  std::string log = StatusLogText();
  const char* lines[] = {
      "Start QIRAMain Thread!\n",
      "Create QIRAMain Window OK!\n",
      "Register QIRAMain Call message OK!\n",
      "Waiting for messages!\n",
      "TARVOS->Closing Window\n",
      "TARVOS->Closed QIRAMain Thread!\n",
  };
  size_t at = 0;
  for (const char* line : lines) {
    size_t found = log.find(line, at);
    EXPECT_NE(found, std::string::npos) << line;
    if (found != std::string::npos) at = found;
  }
}

TEST_F(IpcServerTest, EndpointTakenByAnotherServerServesNothing) {
  // Someone else holds the name: the thread runs, reports no window, and
  // still shuts down cleanly.
  int squatter = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path + 1, endpoint_.data(), endpoint_.size());
  socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 +
                                         endpoint_.size());
  ASSERT_EQ(::bind(squatter, reinterpret_cast<sockaddr*>(&a), len), 0);
  StartAndEnable();
  ASSERT_TRUE(WaitForLog("Waiting for messages!\n"));
  EXPECT_FALSE(LogHas("Create QIRAMain Window OK!\n"));
  Disable();
  EXPECT_TRUE(LogHas("TARVOS->Closed QIRAMain Thread!\n"));
  ::close(squatter);
}

// Stopping servers that never ran (twice) leaves nothing listening, and
// they start and serve afterwards as if nothing had happened.
TEST_F(IpcServerTest, StopWithoutStartIsHarmless) {
  StopIpcServer();
  StopTcpServer();
  StopIpcServer();
  StopTcpServer();
  EXPECT_FALSE(IpcServerListening());
  EXPECT_EQ(TcpServerBoundPort(), 0);
  RawLocal early(endpoint_);
  EXPECT_FALSE(early.connected());

  StartServers();
  SharedBatch ok(ShmName("ok"), End());
  RawLocal local(endpoint_);
  ASSERT_TRUE(local.SendName(ok.name()));
  EXPECT_EQ(local.Answer(), 1);
  RawTcp tcp(port_);
  ASSERT_TRUE(tcp.Send(Frame(End())));
  EXPECT_EQ(tcp.Receive(12), Frame(End(), 2));
}

}  // namespace
}  // namespace tarvos::testing
