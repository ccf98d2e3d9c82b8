// The TCP listener keeps its port: while full it turns further clients away
// without closing the listening socket, and a listening socket that fails
// (or a port taken by another program at start) is opened again instead of
// ending network service.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "client/connection.h"
#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

int CountOf(const std::string& text, const std::string& line) {
  int n = 0;
  for (size_t at = text.find(line); at != std::string::npos;
       at = text.find(line, at + 1)) {
    ++n;
  }
  return n;
}

class TcpListenerTest : public TransportFixture {
 protected:
  // A client that has been served once, so it holds one of the places.
  std::unique_ptr<RawTcp> ServedClient() {
    auto c = std::make_unique<RawTcp>(port_);
    EXPECT_TRUE(c->connected());
    EXPECT_TRUE(c->Send(Frame(End())));
    EXPECT_EQ(c->Receive(12), Frame(End(), 2));
    return c;
  }
  bool Served(RawTcp& c) {
    return c.Send(Frame(End())) && c.Receive(12) == Frame(End(), 2);
  }
  int LogCount(const std::string& line) {
    return CountOf(StatusLogText(), line);
  }
};

TEST_F(TcpListenerTest, FullServerKeepsThePortAndTurnsFurtherClientsAway) {
  StartServers();
  std::vector<std::unique_ptr<RawTcp>> clients;
  for (int i = 0; i < 8; ++i) clients.push_back(ServedClient());
  ASSERT_TRUE(WaitForLog("TARNET->Maximum of clients reached 8\n"));

  // Nobody can bind the port beside the full server, whatever the options.
  using Reuse = OtherListener::Reuse;
  struct Squatter {
    bool loopback_only;
    Reuse reuse;
  };
  for (const Squatter& s :
       {Squatter{true, Reuse::kNone}, Squatter{true, Reuse::kAddress},
        Squatter{true, Reuse::kPort}, Squatter{false, Reuse::kAddress},
        Squatter{false, Reuse::kPort}}) {
    SCOPED_TRACE(static_cast<int>(s.reuse));
    OtherListener squatter(port_, s.loopback_only, s.reuse);
    EXPECT_FALSE(squatter.ok());
  }

  // Further clients reach the plugin, which closes them at once; the
  // server logs that it is full once, not once per client turned away.
  for (int i = 0; i < 3; ++i) {
    RawTcp extra(port_);
    ASSERT_TRUE(extra.connected());
    extra.Send(Frame(End()));
    EXPECT_TRUE(extra.PeerClosed(5000));
  }
  EXPECT_EQ(LogCount("TARNET->Maximum of clients reached"), 1);
  EXPECT_EQ(TcpServerBoundPort(), port_);

  // The library's diagnosis says why.
  std::string error;
  auto library = client::ConnectTcp("127.0.0.1", port_, &error);
  ASSERT_TRUE(library) << error;
  client::RequestBatch batch;
  batch.AddRead(0x3304, 4);
  EXPECT_FALSE(library->Exchange(batch, &error));
  EXPECT_NE(error.find("full"), std::string::npos) << error;

  // A place frees up: the next client is served, the others still are.
  clients[2].reset();
  ASSERT_TRUE(WaitForLog("TARNET->Release OK\n"));
  clients[2] = ServedClient();
  for (auto& c : clients) EXPECT_TRUE(Served(*c));

  // Full again: one more line.
  ASSERT_TRUE(WaitUntil(
      [&] { return LogCount("TARNET->Maximum of clients reached 8\n") == 2; }));
}

TEST_F(TcpListenerTest, ListeningSocketThatFailsIsOpenedAgainOnItsPort) {
  StartServers();
  auto before = ServedClient();
  // Breaks the listening socket under the listener, the run flag still set:
  // its accept fails as on a real socket error.
  ASSERT_TRUE(BreakTcpListeningSocketForTesting());
  ASSERT_TRUE(WaitForLog("TARNET->Listening socket open again on port " +
                         std::to_string(port_) + "\n"));
  ASSERT_TRUE(WaitUntil([&] { return TcpServerBoundPort() == port_; }));
  std::string log = StatusLogText();
  EXPECT_NE(log.find("TARNET->Client accept failed\n"), std::string::npos);
  EXPECT_NE(log.find("TARNET->Listening socket failed ("), std::string::npos);

  RawTcp after(port_);
  EXPECT_TRUE(Served(after));
  EXPECT_TRUE(Served(*before));  // connected clients were kept
  // A normal shutdown afterwards.
  Disable();
  EXPECT_NE(StatusLogText().find("TARNET->Closed Socket serve thread!\n"),
            std::string::npos);
}

TEST_F(TcpListenerTest, PortTakenAtStartIsBoundOnceItIsFree) {
  const uint16_t port = FreeLoopbackPort();
  OtherListener other(port, true);
  ASSERT_TRUE(other.ok());
  SetTcpServerPort(port);
  StartAndEnable();
  ASSERT_TRUE(WaitForLog("TARNET->Bind failed\n"));
  EXPECT_EQ(TcpServerBoundPort(), 0);
  other.Close();  // the other program goes away
  ASSERT_TRUE(WaitUntil([&] { return TcpServerBoundPort() == port; }, 10000));
  EXPECT_TRUE(WaitForLog("TARNET->Socket Thread Init OK\n"));
  RawTcp client(port);
  EXPECT_TRUE(Served(client));
}

TEST_F(TcpListenerTest, DisableEndsAListenerStillWaitingForItsPort) {
  const uint16_t port = FreeLoopbackPort();
  OtherListener other(port, true);
  ASSERT_TRUE(other.ok());
  SetTcpServerPort(port);
  StartAndEnable();
  ASSERT_TRUE(WaitForLog("TARNET->Opening the listening socket again in "));
  Disable();  // returns only once the listener has ended
  other.Close();
  const std::string log = StatusLogText();
  EXPECT_NE(log.find("TARNET->Closed Socket serve thread!\n"),
            std::string::npos);
  EXPECT_EQ(log.find("TARNET->Socket Thread Init OK\n"), std::string::npos);
  EXPECT_EQ(TcpServerBoundPort(), 0);
}

}  // namespace
}  // namespace tarvos::testing
