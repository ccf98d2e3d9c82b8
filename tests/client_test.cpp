// The client library, the tarvos-client program and the Python client.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "client/batch.h"
#include "client/connection.h"
#include "client/field.h"
#include "client/named_field.h"
#include "client/session.h"
#include "client/watch.h"
#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

using client::Field;
using client::FieldType;

struct FieldCase {
  const char* text;
  bool ok;
  uint32_t offset;
  FieldType type;
  uint32_t size;
};

TEST(ClientField, ParsesFieldNames) {
  const FieldCase cases[] = {
      {"0x0560:s64", true, 0x0560, FieldType::kS64, 8},
      {"1344:u8", true, 1344, FieldType::kU8, 1},
      {"0x3E00:text", true, 0x3E00, FieldType::kText, 256},
      {"0x3E00:text16", true, 0x3E00, FieldType::kText, 16},
      {"0x034E:bcd", true, 0x034E, FieldType::kBcd, 2},
      {"0x0000:hex4", true, 0, FieldType::kHex, 4},
      {"0xFFFF:u8", true, 0xFFFF, FieldType::kU8, 1},
      {"0xFFFF:u16", false, 0, FieldType::kU8,
       0},  // runs past the offset space
      {"0x10000:u8", false, 0, FieldType::kU8, 0},
      {"0x0560", false, 0, FieldType::kU8, 0},
      {"0x0560:x", false, 0, FieldType::kU8, 0},
      {"0x0560:hex0", false, 0, FieldType::kU8, 0},
      {"zz:u8", false, 0, FieldType::kU8, 0},
      {"-1:u8", false, 0, FieldType::kU8, 0},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.text);
    Field f;
    std::string error = client::ParseField(c.text, &f);
    EXPECT_EQ(error.empty(), c.ok) << error;
    if (!c.ok || !error.empty()) continue;
    EXPECT_EQ(f.offset, c.offset);
    EXPECT_EQ(f.type, c.type);
    EXPECT_EQ(f.size, c.size);
  }
}

struct ValueCase {
  const char* assignment;
  Buf bytes;          // empty: rejected
  const char* shown;  // FormatValue of those bytes
};

TEST(ClientField, EncodesAndFormatsValues) {
  const ValueCase cases[] = {
      {"0x0BC0:s16=1000", {0xE8, 0x03}, "1000"},
      {"0x0BC0:s16=-1", {0xFF, 0xFF}, "-1"},
      {"0x0BC0:s16=-32768", {0x00, 0x80}, "-32768"},
      {"0x0BC0:s16=32768", {}, ""},
      {"0x0BC0:u8=255", {0xFF}, "255"},
      {"0x0BC0:u8=256", {}, ""},
      {"0x0BC0:u8=-1", {}, ""},
      {"0x0BC0:u32=0x50000004", {0x04, 0, 0, 0x50}, "1342177284"},
      {"0x0BC0:u64=18446744073709551615",
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       "18446744073709551615"},
      {"0x0BC0:f64=1.5", {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, "1.5"},
      {"0x0BC0:f32=-2", {0, 0, 0, 0xC0}, "-2"},
      {"0x0BC0:f32=abc", {}, ""},
      {"0x034E:bcd=2345", {0x45, 0x23}, "2345"},
      {"0x034E:bcd=12a4", {}, ""},
      {"0x034E:bcd=123", {}, ""},
      {"0x3E00:text4=AB", {'A', 'B', 0, 0}, "AB"},
      {"0x3E00:text2=ABC", {}, ""},
      {"0x0000:hex2=BEEF", {0xBE, 0xEF}, "BEEF"},
      {"0x0000:hex2=BEE", {}, ""},
      {"0x0BC0:s16", {}, ""},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.assignment);
    Field f;
    Buf bytes;
    std::string error = client::ParseAssignment(c.assignment, &f, &bytes);
    if (c.bytes.empty()) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(client::FormatValue(f, bytes.data()), c.shown);
  }
}

TEST(ClientBatch, BuildsTheWorkedExampleFrame) {
  client::RequestBatch batch;
  batch.AddRead(0x3304, 4);
  const Buf expected = {0x01, 0x00, 0x18, 0x00, 0x01, 0x00, 0x00, 0x00,
                        0x04, 0x33, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0xDE, 0xFA};
  EXPECT_EQ(batch.Frame(), expected);

  Buf reply = expected;
  reply[0] = 2;
  reply[20] = 0x04;
  reply[23] = 0x50;
  EXPECT_EQ(client::AcceptReplyFrame(batch, reply.data(), reply.size()), "");
  EXPECT_EQ(batch.U32(0), 0x50000004u);
  EXPECT_EQ(batch.U16(0), 0x0004u);  // narrower type: low bytes

  const uint8_t rejected[] = {0};
  EXPECT_NE(client::AcceptReplyFrame(batch, rejected, 1), "");
  reply[31] = 0;  // broken trailer
  EXPECT_NE(client::AcceptReplyFrame(batch, reply.data(), reply.size()), "");
}

TEST(ClientWatch, RendersAlignedLabelledLines) {
  std::vector<client::WatchField> fields(2);
  fields[0].label = "Version";
  ASSERT_EQ(client::ParseField("0x3304:u32", &fields[0].field), "");
  ASSERT_EQ(client::ParseField("0x0BC0:s16", &fields[1].field), "");
  client::RequestBatch batch;
  client::AddWatchReads(fields, batch);
  Buf area = batch.RecordArea();
  StoreU32(area.data() + 16, 0x50000004);
  StoreU16(area.data() + 20 + 16, 0xFC18);
  ASSERT_TRUE(batch.AcceptServed(area.data(), area.size()));
  EXPECT_EQ(client::RenderWatch(fields, batch),
            "Version     1342177284\n"
            "0x0BC0:s16  -1000\n");
}

// What one client library does with a write by name of each catalogue
// item: the refusal it gives, or "" when it sends the write.
using Refusals = std::map<std::string, std::string>;

Refusals CppRefusals() {
  Refusals out;
  ForEachCatalogueItem([&](const CatalogueItem& item) {
    out[client::ItemFullName(item)] = client::WriteRefusal(item);
  });
  return out;
}

Refusals PythonRefusals() {
  const std::string root = TARVOS_SOURCE_DIR;
  const std::string command = "cd " + root +
                              "/client/python && PYTHONPATH=. python3 " + root +
                              "/tests/support/write_refusals.py 2>&1";
  Refusals out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << text.substr(0, 2000);
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string outcome = line.substr(tab + 1);
    out[line.substr(0, tab)] = outcome == "(sent)" ? "" : outcome;
  }
  return out;
}

// Every client library refuses a write by name of exactly the items the
// catalogue marks read-only, in the same words, and sends the others.
TEST(ClientLibraries, RefuseWritesOfExactlyTheReadOnlyItems) {
  const bool python =
      std::system("python3 -c 'import sys' >/dev/null 2>&1") == 0;
  const struct {
    const char* library;
    std::function<Refusals()> refusals;
  } kLibraries[] = {
      {"C++ (tarvos-client)", CppRefusals},
      {"Python", python ? PythonRefusals : std::function<Refusals()>()},
  };
  for (const auto& lib : kLibraries) {
    SCOPED_TRACE(lib.library);
    if (!lib.refusals) continue;
    const Refusals got = lib.refusals();
    std::vector<std::string> wrong;
    size_t items = 0;
    ForEachCatalogueItem([&](const CatalogueItem& item) {
      ++items;
      const std::string name = client::ItemFullName(item);
      const std::string expected =
          item.row->access == Access::kRead
              ? name +
                    " is read-only: the plugin overwrites it with the "
                    "simulator's value"
              : "";
      auto it = got.find(name);
      if (it == got.end()) {
        wrong.push_back(name + ": not known");
      } else if (it->second != expected) {
        wrong.push_back(name + ": \"" + it->second + "\"");
      }
    });
    EXPECT_EQ(got.size(), items);
    EXPECT_TRUE(wrong.empty())
        << wrong.size() << " wrong, the first: " << wrong.front();
  }
  if (!python) GTEST_SKIP() << "python3 not available: Python not checked";
}

class ClientEndToEnd : public TransportFixture {
 protected:
  // Runs a command, returns its exit code and standard output.
  int Run(const std::string& command, std::string* out) {
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ToolPath() {
    const char* dir = std::getenv("TARVOS_BUILD_DIR");
    return std::string(dir ? dir : ".") + "/client/tarvos-client";
  }
};

TEST_F(ClientEndToEnd, TcpConnectionReadsAndWrites) {
  StartServers();
  std::string error;
  auto c = client::ConnectTcp("127.0.0.1", port_, &error);
  ASSERT_TRUE(c) << error;
  client::RequestBatch batch;
  batch.AddWriteF64(0x66C8, 2.25);
  size_t v = batch.AddRead(0x3304, 4);
  size_t d = batch.AddRead(0x66C8, 8);
  ASSERT_TRUE(c->Exchange(batch, &error)) << error;
  EXPECT_EQ(batch.U32(v), 0x50000004u);
  EXPECT_EQ(batch.F64(d), 2.25);
  // Too large for one frame: refused before sending.
  client::RequestBatch big;
  big.AddRead(0, 40000);
  EXPECT_FALSE(c->Exchange(big, &error));
}

TEST_F(ClientEndToEnd, ReportsAMissingServer) {
  std::string error;
  // A port nothing listens on: bind one, note it, close it.
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  EXPECT_FALSE(client::ConnectTcp("127.0.0.1", ntohs(a.sin_port), &error));
  EXPECT_NE(error.find("refused"), std::string::npos) << error;
  EXPECT_FALSE(client::ConnectLocal("tarvos-nobody-here", &error));
  EXPECT_NE(error.find("no simulator"), std::string::npos) << error;
}

TEST_F(ClientEndToEnd, CommandLineToolReadsWritesAndFails) {
  if (::access(ToolPath().c_str(), X_OK) != 0) {
    GTEST_SKIP() << "tarvos-client not built";
  }
  StartServers();
  const std::string tool = ToolPath() + " --port " + std::to_string(port_);
  std::string out;
  EXPECT_EQ(Run(tool + " write 0x66C0:s16=-1000", &out), 0) << out;
  out.clear();
  EXPECT_EQ(Run(tool + " read 0x3304:u32 0x66C0:s16 0x6F03:text8", &out), 0);
  EXPECT_EQ(out,
            "0x3304:u32    1342177284\n"
            "0x66C0:s16    -1000\n"
            "0x6F03:text8  1.0.0.0\n");
  out.clear();
  EXPECT_EQ(
      Run(ToolPath() + " --local --endpoint " + endpoint_ + " read 0x3304:hex4",
          &out),
      0);
  EXPECT_EQ(out, "0x3304:hex4  04000050\n");
  out.clear();
  EXPECT_EQ(
      Run(tool + " watch --poll --count 2 --interval 10 0x3304:u32", &out), 0);
  EXPECT_NE(out.find("1342177284"), std::string::npos);
  out.clear();
  EXPECT_EQ(Run(tool + " read 0x3304:q32", &out), 2);
  EXPECT_NE(out.find("unknown type"), std::string::npos) << out;
  out.clear();
  EXPECT_EQ(Run(tool + " frobnicate 0x3304:u32", &out), 2);
  out.clear();
  Disable();
  EXPECT_EQ(Run(tool + " read 0x3304:u32", &out), 1);
  EXPECT_NE(out.find("refused"), std::string::npos) << out;
}

// Subscriptions by name through the library (updates queued while a batch
// is exchanged on the same connection) and through tarvos-client, whose
// updates come as the test steps frames.
TEST_F(ClientEndToEnd, SubscribesByNameInTheLibraryAndTheTool) {
  StartServers();
  std::string error;
  auto session = client::ConnectSession("127.0.0.1", port_, &error);
  ASSERT_TRUE(session) << error;
  client::NamedSubscription named({"attitude.heading", "client.altitude_units"},
                                  &error);
  ASSERT_TRUE(error.empty()) << error;
  ASSERT_TRUE(named.Subscribe(*session, 1, {}, &error)) << error;
  Frames(1);
  // The update is on its way before the reply: it is kept for later.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  client::RequestBatch batch;
  size_t v = batch.AddRead(0x3304, 4);
  ASSERT_TRUE(session->Exchange(batch, &error)) << error;
  EXPECT_EQ(batch.U32(v), 0x50000004u);
  client::Update u;
  for (uint32_t seq = 1; seq <= 2; ++seq) {
    if (seq == 2) Frames(1);
    ASSERT_TRUE(session->NextUpdate(&u, 3000, &error)) << error;
    EXPECT_EQ(u.seq, seq);
    EXPECT_EQ(named.Apply(u), (std::vector<size_t>{0, 1}));
  }
  EXPECT_EQ(named.Bytes(0), Bytes(named.Item(0).offset, 4));
  EXPECT_FALSE(session->NextUpdate(&u, 100, &error));
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_FALSE(session->Subscribe(2, {{0xFFFF, 2}}, {}, &error));
  EXPECT_NE(error.find("outside the offset space"), std::string::npos) << error;

  if (::access(ToolPath().c_str(), X_OK) != 0) return;
  std::string out;
  std::atomic<int> rc{-1};
  std::thread tool([&] {
    rc = Run(ToolPath() + " --port " + std::to_string(port_) +
                 " subscribe --count 3 --changes attitude.heading 0x3304",
             &out);
  });
  // Frames until the tool has its three lines; the first one an unknown
  // name never gets.
  for (int i = 0; i < 2000 && rc == -1; ++i) {
    Frames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  tool.join();
  EXPECT_EQ(rc, 2) << out;  // 0x3304 is no catalogue name
  out.clear();
  std::thread again([&] {
    rc = Run(ToolPath() + " --port " + std::to_string(port_) +
                 " subscribe --count 3 attitude.heading",
             &out);
  });
  rc = -1;
  for (int i = 0; i < 2000 && rc == -1; ++i) {
    Frames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  again.join();
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out.rfind("seq 1  frame ", 0), 0u) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
  EXPECT_NE(out.find("attitude.heading "), std::string::npos) << out;
}

// A server that takes a subscribe without a word (one from before pushed
// updates): Subscribe gives up after a second, and the connection still
// carries batches.
TEST_F(ClientEndToEnd, SubscribeToAServerWithoutPushFailsInASecond) {
  OtherListener old_server(0, true);
  ASSERT_TRUE(old_server.ok());
  std::string error;
  auto session = client::ConnectSession("127.0.0.1", old_server.port(), &error);
  ASSERT_TRUE(session) << error;
  auto peer = old_server.Accept();
  ASSERT_TRUE(peer);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(session->Subscribe(1, {{0x3304, 4}}, {}, &error));
  EXPECT_EQ(error, client::kNoPushMessage);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(ClientEndToEnd, PythonClientTalksToBothServers) {
  if (std::system("python3 -c 'import sys' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3 not available";
  }
  StartServers();
  const std::string root = TARVOS_SOURCE_DIR;
  std::string out;
  int rc = Run("cd " + root + "/client/python && python3 selftest.py " +
                   std::to_string(port_) + " " + endpoint_,
               &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("ok"), std::string::npos) << out;
}

// The Python client's subscribe, while the test steps frames.
TEST_F(ClientEndToEnd, PythonClientSubscribes) {
  if (std::system("python3 -c 'import sys' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3 not available";
  }
  StartServers();
  std::string source = __FILE__;
  std::string root = source.substr(0, source.rfind("/tests/"));
  std::string out;
  std::atomic<int> rc{-1};
  std::thread python([&] {
    rc = Run("cd " + root + "/client/python && python3 selftest.py " +
                 std::to_string(port_) + " subscribe",
             &out);
  });
  for (int i = 0; i < 5000 && rc == -1; ++i) {
    Frames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  python.join();
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("ok"), std::string::npos) << out;
}

// pip installs the package with its catalogue, and the installed copy finds
// it (a copy of the folder, so the source tree stays clean).
TEST(PythonPackage, InstallsWithItsCatalogue) {
  const std::string python = "/usr/bin/python3";
  if (std::system((python + " -c 'import setuptools, wheel, pip' "
                            ">/dev/null 2>&1")
                      .c_str()) != 0) {
    GTEST_SKIP() << "no pip with setuptools and wheel";
  }
  const std::string root = TARVOS_SOURCE_DIR;
  char dir[] = "/tmp/tarvos-pip-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string tmp = dir;
  std::string command =
      "cp -r " + root + "/client/python " + tmp + "/src && cd " + tmp + " && " +
      python +
      " -m pip install -q --no-build-isolation --no-deps --no-index "
      "--target site ./src >/dev/null 2>&1 && cd / && PYTHONPATH=" +
      tmp + "/site " + python +
      " -c 'import tarvos_client as t; "
      "print(t.catalogue().field(\"engine.2.egt\").offset)'";
  FILE* p = ::popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[64] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, p);
  int status = ::pclose(p);
  std::system(("rm -rf " + tmp).c_str());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::string(buf, n), std::to_string(0x08BE + 0x98) + "\n");
}

}  // namespace
}  // namespace tarvos::testing
