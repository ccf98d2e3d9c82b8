// The message-window server end to end on Windows: the hidden window, the
// registered message, global atoms and named file mappings, as a client
// program uses them, with the plugin enabled in the stand-in host.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "base/trace_log.h"
#include "client/connection.h"
#include "offsets/offset_block.h"
#include "tests/transport_harness.h"
#include "transport/servers.h"

namespace tarvos::testing {
namespace {

constexpr char kMessageName[] = "FsasmLib:IPC";

// A named mapping of this process holding a batch, with its atom; both go
// with the object.
class Mapping {
 public:
  Mapping(const std::string& name, const Buf& content, size_t size = 0x8000)
      : name_(name) {
    handle_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                 0, static_cast<DWORD>(size), name.c_str());
    EXPECT_NE(handle_, nullptr);
    view_ =
        static_cast<uint8_t*>(MapViewOfFile(handle_, FILE_MAP_WRITE, 0, 0, 0));
    EXPECT_NE(view_, nullptr);
    EXPECT_LE(content.size(), size);
    if (view_ != nullptr && !content.empty() && content.size() <= size) {
      std::memcpy(view_, content.data(), content.size());
    }
  }
  ~Mapping() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  Buf Content(size_t n) const { return Buf(view_, view_ + n); }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  HANDLE handle_ = nullptr;
  uint8_t* view_ = nullptr;
};

// A global atom for the life of the object.
class Atom {
 public:
  explicit Atom(const std::string& name)
      : atom_(GlobalAddAtomA(name.c_str())) {}
  ~Atom() {
    if (atom_ != 0) GlobalDeleteAtom(atom_);
  }
  ATOM get() const { return atom_; }

 private:
  ATOM atom_;
};

class WindowServerTest : public TransportFixture {
 protected:
  HWND Window() { return FindWindowA(endpoint_.c_str(), nullptr); }
  std::string MappingName(const std::string& tag) {
    return "FsasmLib:IPC:test:" + std::to_string(GetCurrentProcessId()) + ":" +
           tag;
  }
  // Sends the request message naming `name`; the message's result, or -1
  // when the window did not answer.
  int Request(const std::string& name) {
    Atom atom(name);
    if (atom.get() == 0) return -1;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(Window(), RegisterWindowMessageA(kMessageName),
                            atom.get(), 0, SMTO_BLOCK, 5000, &result) == 0) {
      return -1;
    }
    return static_cast<int>(result);
  }
  int32_t Requests() {
    LockGuard<RecursiveLock> hold(OffsetLock);
    return RequestCount;
  }
};

TEST_F(WindowServerTest, ServesBatchesInPlace) {
  StartServers();
  ASSERT_NE(Window(), nullptr);
  Buf read = ReadRecord(0x3304, 4, 0xCAFEF00D);
  Buf served = read;
  served[16] = 0x04;
  served[19] = 0x50;
  const struct {
    const char* name;
    Buf batch;
    Buf served;
    int answer;
  } cases[] = {
      {"read 0x3304", Cat({read, End()}), Cat({served, End()}), 1},
      {"first id 0", End(), End(), 1},
      {"read, id 7, write",
       Cat({read, Buf{7, 0, 0, 0}, WriteRecord(0x66C0, {5})}),
       Cat({served, End(), WriteRecord(0x66C0, {5})}), 0},
      {"protected write", Cat({WriteRecord(0x3304, {1}), End()}),
       Cat({WriteRecord(0x3304, {1}), End()}), 1},
  };
  const int32_t before = Requests();
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Mapping batch(MappingName(std::to_string(n++)), c.batch);
    EXPECT_EQ(Request(batch.name()), c.answer);
    EXPECT_EQ(batch.Content(c.served.size()), c.served);
  }
  EXPECT_EQ(Requests(), before + n);
  EXPECT_EQ(Bytes(0x66C0, 1), Buf{0});
  EXPECT_EQ(U32(0x3304), 0x50000004u);
}

TEST_F(WindowServerTest, SizeZeroReadTracesWithNoValue) {
  StartServers();
  SetReadTracing(true);
  Mapping batch(MappingName("zero"), Cat({ReadRecord(0x3304, 0), End()}));
  EXPECT_EQ(Request(batch.name()), 1);
  SetReadTracing(false);
  const std::string trace = TraceLogText();
  EXPECT_NE(trace.find(" Req: 000001 READ  Offset: 3304 Bytes: 000"),
            std::string::npos)
      << trace;
}

TEST_F(WindowServerTest, RefusesWhatNamesNoBatchAndKeepsServing) {
  StartServers();
  // One page: a record reaching past it is refused, not read beyond.
  Buf header;
  PutU32(header, 1);
  PutU32(header, 0x0000);
  PutU32(header, 8192);
  PutU32(header, 0);
  Mapping small(MappingName("small"), header, 4096);
  const struct {
    const char* what;
    std::string name;
  } bad[] = {
      {"atom naming no mapping", MappingName("missing")},
      {"record past the view", small.name()},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.what);
    EXPECT_EQ(Request(b.name), 0);
  }
  // An atom whose name is longer than any batch name is refused whole.
  EXPECT_EQ(Request(std::string(255, 'x')), 0);
  Mapping ok(MappingName("ok"), End());
  EXPECT_EQ(Request(ok.name()), 1);
}

TEST_F(WindowServerTest, OtherMessagesGetTheDefaultHandling) {
  StartServers();
  char title[64] = {};
  DWORD_PTR length = 0;
  ASSERT_NE(SendMessageTimeoutA(Window(), WM_GETTEXT, sizeof title,
                                reinterpret_cast<LPARAM>(title), SMTO_BLOCK,
                                5000, &length),
            0);
  EXPECT_EQ(std::string(title, length), endpoint_);
  DWORD_PTR result = 7;
  ASSERT_NE(SendMessageTimeoutA(Window(), WM_USER + 17, 1, 2, SMTO_BLOCK, 5000,
                                &result),
            0);
  EXPECT_EQ(result, 0u);
}

// The tune value throttles every request before any work: one that names
// no batch waits as long as one that is served.
TEST_F(WindowServerTest, TuneValueDelaysFoundAndMissingBatchesAlike) {
  StartServers();
  TuneValue.store(20);
  Mapping found(MappingName("tuned"), End());
  const struct {
    const char* what;
    std::string name;
    int answer;
  } requests[] = {
      {"missing batch", MappingName("tuned-missing"), 0},
      {"found batch", found.name(), 1},
  };
  for (const auto& r : requests) {
    SCOPED_TRACE(r.what);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Request(r.name), r.answer);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(20));
  }
  TuneValue.store(0);
}

TEST_F(WindowServerTest, ClientHandshakeReadsAndWrites) {
  StartServers();
  const Buf protected_before = Bytes(0x330A, 2);
  std::string error;
  auto c = client::ConnectLocal(endpoint_, &error);
  ASSERT_TRUE(c) << error;
  // The handshake's version write went to a write-protected offset.
  EXPECT_EQ(Bytes(0x330A, 2), protected_before);
  client::RequestBatch batch;
  batch.AddWriteU16(0x66C0, 0xBEEF);
  size_t version = batch.AddRead(0x3304, 4);
  size_t loads = batch.AddRead(0x3308, 4);
  size_t back = batch.AddRead(0x66C0, 2);
  ASSERT_TRUE(c->Exchange(batch, &error)) << error;
  EXPECT_EQ(batch.U32(version), 0x50000004u);
  EXPECT_EQ(batch.U32(loads) & 0xFFFF0000u, 0xFADE0000u);
  EXPECT_EQ(batch.U16(back), 0xBEEF);

  client::RequestBatch too_big;
  too_big.AddRead(0x0000, 0x7F00);
  EXPECT_FALSE(c->Exchange(too_big, &error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;

  std::string none;
  EXPECT_FALSE(client::ConnectLocal("tarvos-no-such-window", &none));
  EXPECT_NE(none.find("no simulator"), std::string::npos) << none;
}

// Disable while a client keeps sending requests: the thread ends, Disable
// returns, and the client's later requests fail at once instead of hanging.
TEST_F(WindowServerTest, DisableWithALocalClientMidRequestEndsCleanly) {
  StartServers();
  TuneValue.store(5);
  std::atomic<bool> stop{false};
  std::atomic<int> served{0};
  std::thread client([&] {
    Mapping batch(MappingName("busy"), Cat({ReadRecord(0x3304, 4), End()}));
    while (!stop.load()) {
      if (Request(batch.name()) == 1) served.fetch_add(1);
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return served.load() > 3; }));
  Disable();
  EXPECT_FALSE(IpcServerListening());
  EXPECT_EQ(Window(), nullptr);
  stop.store(true);
  client.join();
  TuneValue.store(0);
  const std::string log = StatusLogText();
  size_t at = 0;
  for (const char* line :
       {"Start QIRAMain Thread!\n", "Create QIRAMain Window OK!\n",
        "Register QIRAMain Call message OK!\n", "Waiting for messages!\n",
        "TARVOS->Closing Window\n", "TARVOS->Closed QIRAMain Thread!\n"}) {
    size_t found = log.find(line, at);
    EXPECT_NE(found, std::string::npos) << line;
    if (found != std::string::npos) at = found;
  }
}

}  // namespace
}  // namespace tarvos::testing
