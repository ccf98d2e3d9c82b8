// Who may use the TCP server: the [TARVOS NETWORK ACCESS] section of
// TARVOS.ini, its value syntax, and each key's effect on real connections
// (clients on 127.0.0.2 and 127.0.0.1 stand for two machines).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "tests/transport_harness.h"
#include "transport/access_policy.h"

namespace tarvos::testing {
namespace {

constexpr uint32_t kHostA = 0x7F000001;  // 127.0.0.1
constexpr uint32_t kHostB = 0x7F000002;  // 127.0.0.2

TEST(AccessPolicyParse, AddressesAndLists) {
  struct Case {
    const char* text;
    bool ok;
    bool everyone;
    std::vector<AddressPrefix> prefixes;
  };
  const Case cases[] = {
      {"all", true, true, {}},
      {"ALL", true, true, {}},
      {"none", true, false, {}},
      {"  ", true, true, {}},  // empty: the key's default (here: everyone)
      {"127.0.0.1", true, false, {{0x7F000001, 0xFFFFFFFF}}},
      {"192.168.1.77/24", true, false, {{0xC0A80100, 0xFFFFFF00}}},
      {"10.0.0.0/8, 127.0.0.2  172.16.0.0/12",
       true,
       false,
       {{0x0A000000, 0xFF000000},
        {0x7F000002, 0xFFFFFFFF},
        {0xAC100000, 0xFFF00000}}},
      {"0.0.0.0/0", true, false, {{0, 0}}},
      {"192.168.1", false, false, {}},
      {"192.168.1.256", false, false, {}},
      {"192.168.1.1/33", false, false, {}},
      {"192.168.1.1/", false, false, {}},
      {"1.2.3.4,,5.6.7.8", false, false, {}},
      {",1.2.3.4", false, false, {}},
      {"1.2.3.4,", false, false, {}},
      {"host.example", false, false, {}},
      {"1.2.3.4 all", false, false, {}},
      {"0001.2.3.4", false, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    AddressSet set{true, {{1, 1}}};
    ASSERT_EQ(ParseAddressSet(c.text, true, &set), c.ok);
    if (!c.ok) {
      EXPECT_EQ(set.prefixes.size(), 1u);  // untouched
      continue;
    }
    EXPECT_EQ(set.everyone, c.everyone);
    ASSERT_EQ(set.prefixes.size(), c.prefixes.size());
    for (size_t i = 0; i < c.prefixes.size(); ++i) {
      EXPECT_EQ(set.prefixes[i].address, c.prefixes[i].address);
      EXPECT_EQ(set.prefixes[i].mask, c.prefixes[i].mask);
    }
  }
  AddressSet lan;
  ASSERT_TRUE(ParseAddressSet("192.168.1.0/24 10.1.2.3", false, &lan));
  EXPECT_TRUE(lan.Contains(0xC0A801FE));
  EXPECT_FALSE(lan.Contains(0xC0A802FE));
  EXPECT_TRUE(lan.Contains(0x0A010203));
  EXPECT_FALSE(lan.Contains(0x0A010204));
  AddressSet nobody;
  ASSERT_TRUE(ParseAddressSet("", false, &nobody));
  EXPECT_FALSE(nobody.Contains(kHostA));
}

TEST(AccessPolicyParse, ListenAddressAndIdleTimeout) {
  std::optional<uint32_t> address = 5;
  EXPECT_TRUE(ParseListenAddress("0.0.0.0", &address));
  EXPECT_EQ(address, std::nullopt);
  EXPECT_TRUE(ParseListenAddress(" 127.0.0.2 ", &address));
  EXPECT_EQ(address, kHostB);
  EXPECT_TRUE(ParseListenAddress("", &address));
  EXPECT_EQ(address, std::nullopt);
  for (const char* bad : {"localhost", "127.0.0.1/8", "::1", "1.2.3.4.5"}) {
    EXPECT_FALSE(ParseListenAddress(bad, &address)) << bad;
  }

  struct Case {
    const char* text;
    bool ok;
    uint32_t seconds;
  };
  const Case cases[] = {
      {"0", true, 0},    {"30", true, 30},    {"86400", true, 86400},
      {"", true, 0},     {"86401", false, 0}, {"-1", false, 0},
      {"10s", false, 0}, {"1.5", false, 0},   {"999999999999", false, 0}};
  for (const Case& c : cases) {
    uint32_t seconds = 77;
    EXPECT_EQ(ParseIdleTimeout(c.text, &seconds), c.ok) << c.text;
    EXPECT_EQ(seconds, c.ok ? c.seconds : 77u) << c.text;
  }
  EXPECT_EQ(FormatIpv4Address(0xC0A80114), "192.168.1.20");
}

// A loopback client from a chosen source address.
class Client {
 public:
  Client(uint32_t from, uint32_t to, uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(from);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(to);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Client() { ::close(fd_); }
  bool connected() const { return connected_; }
  // The reply to `frame`, empty when the connection closed first.
  Buf Exchange(const Buf& frame, size_t reply_size) {
    if (::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) < 0) return {};
    return Receive(reply_size, 5000);
  }
  Buf Receive(size_t n, int ms) {
    Buf out;
    while (out.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, ms) <= 0) break;
      uint8_t buf[256];
      ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
      if (got <= 0) break;
      out.insert(out.end(), buf, buf + got);
    }
    return out;
  }
  // True when the server closed the connection within `ms`.
  bool Closed(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    uint8_t b;
    return ::recv(fd_, &b, 1, MSG_PEEK) <= 0;
  }
  bool Served() { return Exchange(Frame(End()), 12) == Frame(End(), 2); }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

class AccessControlTest : public TransportFixture {
 protected:
  // The access section on top of the default file, then the servers.
  void StartWith(const std::string& section_lines) {
    std::ofstream ini(SystemFile("TARVOS.ini"), std::ios::trunc);
    ini << "TARVOS Version 1.0.0.0 ini file\n\n[TARVOS NETWORK ACCESS]\n"
        << section_lines;
    ini.close();
    StartServers();
  }
  int LogCount(const std::string& line) {
    const std::string log = StatusLogText();
    int n = 0;
    for (size_t at = log.find(line); at != std::string::npos;
         at = log.find(line, at + 1)) {
      ++n;
    }
    return n;
  }
};

TEST_F(AccessControlTest, ListenAddressChoosesTheInterface) {
  StartWith("Listen address = 127.0.0.2\n");
  Client there(kHostA, kHostB, port_);
  ASSERT_TRUE(there.connected());
  EXPECT_TRUE(there.Served());
  Client elsewhere(kHostA, kHostA, port_);
  EXPECT_FALSE(elsewhere.connected());
}

TEST_F(AccessControlTest, OtherAddressesAreClosedAtOnceAndTakeNoPlace) {
  StartWith("Allowed clients = 127.0.0.2, 10.0.0.0/8\n");
  // A client retrying from a refused address: closed each time, one line.
  for (int i = 0; i < 5; ++i) {
    Client refused(kHostA, kHostA, port_);
    ASSERT_TRUE(refused.connected());
    EXPECT_TRUE(refused.Exchange(Frame(End()), 12).empty());
  }
  ASSERT_TRUE(WaitForLog("TARNET->Client 127.0.0.1 not allowed"));
  EXPECT_EQ(LogCount("TARNET->Client 127.0.0.1 not allowed, connection "
                     "closed\n"),
            1);
  // None of them took a place: eight admitted clients fit.
  std::vector<std::unique_ptr<Client>> admitted;
  for (int i = 0; i < 8; ++i) {
    admitted.push_back(std::make_unique<Client>(kHostB, kHostA, port_));
    ASSERT_TRUE(admitted.back()->Served()) << i;
  }
  ASSERT_TRUE(WaitForLog("TARNET->Maximum of clients reached 8\n"));
  // While full, a refused address is still refused (not merely turned away)
  // and the line is not repeated within the minute.
  Client refused(kHostA, kHostA, port_);
  EXPECT_TRUE(refused.Closed(5000));
  EXPECT_EQ(LogCount("not allowed"), 1);
}

TEST_F(AccessControlTest, ReadOnlyClientsReadButTheirWritesAreSkipped) {
  StartWith("Read-only clients = 127.0.0.1\n");
  Poke(0x66C0, {0x11, 0x22});
  const Buf frame = Frame(
      Cat({WriteRecord(0x66C0, {0xAA, 0xBB}), ReadRecord(0x66C0, 2), End()}));
  for (int connection = 0; connection < 2; ++connection) {
    Client reader(kHostA, kHostA, port_);
    Buf reply = reader.Exchange(frame, frame.size());
    ASSERT_EQ(reply.size(), frame.size());
    EXPECT_EQ(reply[0], 2);  // the batch result stays 1
    // The read shows the value the write did not change.
    EXPECT_EQ(Buf(reply.end() - 10, reply.end() - 8), (Buf{0x11, 0x22}));
    EXPECT_EQ(Bytes(0x66C0, 2), (Buf{0x11, 0x22}));
  }
  EXPECT_TRUE(WaitUntil([&] { return LogCount("may only read") == 2; }));
  EXPECT_NE(StatusLogText().find(
                "(127.0.0.1) may only read, its writes are skipped\n"),
            std::string::npos);
  // Another address writes as before.
  Client writer(kHostB, kHostA, port_);
  EXPECT_EQ(writer.Exchange(frame, frame.size()).size(), frame.size());
  EXPECT_EQ(Bytes(0x66C0, 2), (Buf{0xAA, 0xBB}));
  EXPECT_EQ(LogCount("may only read"), 2);
}

TEST_F(AccessControlTest, SilentConnectionsAreClosedAfterTheIdleTimeout) {
  StartWith("Idle timeout seconds = 1\n");
  // A client that only listens to its pushed updates is not idle.
  Client subscriber(kHostA, kHostA, port_);
  Buf subscribe;
  for (uint32_t word : {7u, 0u, 1u, 0x3304u, 4u}) PutU32(subscribe, word);
  ASSERT_EQ(subscriber.Exchange(Frame(subscribe, 3), 16).size(), 16u);
  Client client(kHostA, kHostA, port_);
  ASSERT_TRUE(client.Served());
  EXPECT_TRUE(client.Closed(10000));
  EXPECT_TRUE(WaitForLog("sent nothing for 1 s, closing\n"));
  EXPECT_FALSE(subscriber.Closed(1500));
  // The server goes on.
  Client next(kHostA, kHostA, port_);
  EXPECT_TRUE(next.Served());
}

TEST_F(AccessControlTest, MalformedValuesAreReportedOnceAndTheDefaultsUsed) {
  StartWith(
      "Listen address = localhost\n"
      "Allowed clients = 192.168.1\n"
      "Read-only clients = everyone\n"
      "Idle timeout seconds = 5 minutes\n");
  const char* lines[] = {
      "TARVOS->TARVOS.ini: \"Listen address = localhost\" is not valid, "
      "using 0.0.0.0\n",
      "TARVOS->TARVOS.ini: \"Allowed clients = 192.168.1\" is not valid, "
      "using all\n",
      "TARVOS->TARVOS.ini: \"Read-only clients = everyone\" is not valid, "
      "using none\n",
      "TARVOS->TARVOS.ini: \"Idle timeout seconds = 5 minutes\" is not "
      "valid, using 0\n",
  };
  const std::string log = StatusLogText();
  for (const char* line : lines) {
    EXPECT_EQ(LogCount(line), 1) << line << log;
    EXPECT_LT(log.find("TARNETServer Enable !\n"), log.find(line));
    EXPECT_GT(log.find("TARVOS->Reading TARVOSOffsets.cfg\n"), log.find(line));
  }
  const TcpAccessPolicy policy = LoadedAccessPolicy();
  EXPECT_EQ(policy.listen_address, std::nullopt);
  EXPECT_TRUE(policy.allowed.everyone);
  EXPECT_FALSE(policy.read_only.Contains(kHostA));
  EXPECT_EQ(policy.idle_timeout_seconds, 0u);
  // The defaults in action: this client is admitted and may write.
  Client client(kHostA, kHostA, port_);
  const Buf frame = Frame(Cat({WriteRecord(0x66C0, {7}), End()}));
  EXPECT_EQ(client.Exchange(frame, frame.size()).size(), frame.size());
  EXPECT_EQ(Bytes(0x66C0, 1), Buf{7});
  // A second enable reads the file again and reports again, once.
  Disable();
  Enable();
  for (const char* line : lines) EXPECT_EQ(LogCount(line), 2) << line;
}

}  // namespace
}  // namespace tarvos::testing
