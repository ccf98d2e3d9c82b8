// The TCP server end to end on loopback, with the plugin enabled in the
// stand-in host.
#include <gtest/gtest.h>

#include <memory>

#include "base/trace_log.h"
#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

class TcpServerTest : public TransportFixture {};

struct ExchangeCase {
  const char* name;
  Buf request;
  Buf reply;
};

// Worked examples: each request on a fresh connection, the reply byte for
// byte.
TEST_F(TcpServerTest, AnswersFramesByteForByte) {
  StartServers();
  Buf read = ReadRecord(0x3304, 4, 0x01020304);
  Buf served = read;
  served[16] = 0x04;
  served[17] = 0x00;
  served[18] = 0x00;
  served[19] = 0x50;
  const std::vector<ExchangeCase> cases = {
      {"read 0x3304", Frame(Cat({read, End()})),
       Frame(Cat({served, End()}), 2)},
      {"empty batch", Frame(End()), Frame(End(), 2)},
      {"invalid id", Frame(Cat({read, Buf{9, 0, 0, 0}, End()})), Buf{0}},
      {"protected write", Frame(Cat({WriteRecord(0x3304, {1}), End()})),
       Frame(Cat({WriteRecord(0x3304, {1}), End()}), 2)},
      // Records beyond the record area (len) end the walk.
      {"batch past len", Frame(read), Buf{0}},
  };
  for (const ExchangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    RawTcp tcp(port_);
    ASSERT_TRUE(tcp.connected());
    ASSERT_TRUE(tcp.Send(c.request));
    EXPECT_EQ(tcp.Receive(c.reply.size(), 10000), c.reply);
    EXPECT_TRUE(tcp.Receive(1, 50).empty());  // and nothing after it
  }
  EXPECT_EQ(U32(0x3304), 0x50000004u);
}

TEST_F(TcpServerTest, ServesManyFramesOnOneConnection) {
  StartServers();
  RawTcp tcp(port_);
  for (uint8_t i = 0; i < 20; ++i) {
    Buf frame = Frame(Cat({WriteRecord(0x66C0, {i}), End()}));
    ASSERT_TRUE(tcp.Send(frame));
    Buf reply = tcp.Receive(frame.size());
    frame[0] = 2;
    ASSERT_EQ(reply, frame);
    EXPECT_EQ(Bytes(0x66C0, 1), Buf{i});
  }
}

// End to end, a frame sent in two pieces is served once its trailer is in.
// Whether the pieces reach the server apart or together is up to the
// network stack; frame_test.cpp covers every split exactly.
TEST_F(TcpServerTest, ServesAFrameSentInTwoPieces) {
  StartServers();
  RawTcp tcp(port_);
  ASSERT_TRUE(tcp.connected());
  Buf frame = Frame(Cat({ReadRecord(0x3304, 4), End()}));
  Buf reply = frame;
  reply[0] = 2;
  reply[20] = 0x04;
  reply[23] = 0x50;
  ASSERT_TRUE(tcp.Send(Buf(frame.begin(), frame.begin() + 8)));
  EXPECT_TRUE(tcp.Receive(1, 50).empty());  // nothing before the trailer
  ASSERT_TRUE(tcp.Send(Buf(frame.begin() + 8, frame.end())));
  EXPECT_EQ(tcp.Receive(reply.size(), 10000), reply);
}

TEST_F(TcpServerTest, ClosesAConnectionWhoseFrameCannotFit) {
  StartServers();
  RawTcp tcp(port_);
  // len 40000: 8 + len exceeds the 32,767-byte buffer; the server keeps
  // receiving until the buffer is full, then gives the connection up.
  Buf big(33000, 0);
  big[0] = 1;
  StoreU16(big.data() + 2, 40000);
  ASSERT_TRUE(tcp.Send(big));
  EXPECT_TRUE(tcp.PeerClosed());
  // The server goes on.
  RawTcp next(port_);
  ASSERT_TRUE(next.Send(Frame(End())));
  EXPECT_EQ(next.Receive(12), Frame(End(), 2));
}

TEST_F(TcpServerTest, TurnsTheNinthClientAwayAndAdmitsOneAfterALeave) {
  StartServers();
  std::vector<std::unique_ptr<RawTcp>> clients;
  for (int i = 0; i < 8; ++i) {
    clients.push_back(std::make_unique<RawTcp>(port_));
    ASSERT_TRUE(clients.back()->connected());
    // Served, so it was accepted (not just queued).
    ASSERT_TRUE(clients.back()->Send(Frame(End())));
    ASSERT_EQ(clients.back()->Receive(12).size(), 12u);
  }
  ASSERT_TRUE(WaitForLog("TARNET->Maximum of clients reached 8\n"));
  // The listening socket stays open: the ninth is accepted and closed.
  RawTcp ninth(port_);
  EXPECT_TRUE(ninth.connected());
  EXPECT_TRUE(ninth.PeerClosed());

  clients[3].reset();  // not the most recent one
  ASSERT_TRUE(WaitForLog("TARNET->Release OK\n", 3000));
  RawTcp late(port_);
  ASSERT_TRUE(late.connected());
  ASSERT_TRUE(late.Send(Frame(End())));
  EXPECT_EQ(late.Receive(12), Frame(End(), 2));
  // Every earlier client is still served.
  for (auto& c : clients) {
    if (!c) continue;
    ASSERT_TRUE(c->Send(Frame(End())));
    EXPECT_EQ(c->Receive(12).size(), 12u);
  }
}

TEST_F(TcpServerTest, DisableClosesEveryClientAndEndsEveryThread) {
  StartServers();
  std::vector<std::unique_ptr<RawTcp>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(std::make_unique<RawTcp>(port_));
    ASSERT_TRUE(clients.back()->Send(Frame(End())));
    ASSERT_EQ(clients.back()->Receive(12).size(), 12u);
  }
  clients[1].reset();  // one leaves before the shutdown
  ASSERT_TRUE(WaitForLog("SocketI->Closing Client No: 01\n"));
  // The listener is back in accept() (not in its short pause after one).
  ASSERT_TRUE(WaitUntil([&] {
    std::string log = StatusLogText();
    size_t fourth = log.find("TARNET->Client Creating thread No. 4 OK\n");
    return fourth != std::string::npos &&
           log.find("TARNET->Waiting for clients.....", fourth) !=
               std::string::npos;
  }));
  // One client is half-way through a frame.
  ASSERT_TRUE(clients[2]->Send(Buf{1, 0, 40, 0, 0, 0, 0, 0, 1}));
  Disable();
  for (auto& c : clients) {
    if (c) {
      EXPECT_TRUE(c->PeerClosed(1000));
    }
  }
  EXPECT_EQ(TcpServerBoundPort(), 0);
  RawTcp after(port_);
  EXPECT_FALSE(after.connected());
  std::string log = StatusLogText();
  EXPECT_NE(log.find("TARNET->Client accept failed\n"), std::string::npos);
  EXPECT_NE(log.find("TARNET->Closing Client threads count = 3\n"),
            std::string::npos);
  EXPECT_NE(log.find("TARNET->Closed Socket serve thread!\n"),
            std::string::npos);
  // Enable again: a fresh listener serves.
  Enable();
  Frames(1);
  ASSERT_TRUE(WaitUntil([] { return TcpServerBoundPort() != 0; }));
  RawTcp again(TcpServerBoundPort());
  ASSERT_TRUE(again.Send(Frame(End())));
  EXPECT_EQ(again.Receive(12), Frame(End(), 2));
}

TEST_F(TcpServerTest, WritesTheListenerAndClientLines) {
  StartServers();
  {
    RawTcp tcp(port_);
    ASSERT_TRUE(tcp.Send(Frame(End())));
    ASSERT_EQ(tcp.Receive(12).size(), 12u);
  }
  ASSERT_TRUE(WaitForLog("SocketI->Closing Client No: 00\n"));
  // Back in accept() after the first client: a second waiting line.
  ASSERT_TRUE(WaitUntil([&] {
    std::string log = StatusLogText();
    size_t first = log.find("TARNET->Waiting for clients.....");
    return first != std::string::npos &&
           log.find("TARNET->Waiting for clients.....", first + 1) !=
               std::string::npos;
  }));
  Disable();
  std::string log = StatusLogText();
  const char* lines[] = {
      "The Winsock 2.2 dll was found okay\n",
      "TARNET->Map \"tcp\" to protocol number OK\n",
      "TARNET->Bind OK\n",
      "TARNET->Listen OK\n",
      "TARNET->Socket Thread Init OK\n",
      "TARNET->Waiting for clients.....0\n",
      "SocketI->Client No: = 00\n",
      "TARNET->Client Creating thread No. 1 OK\n",
      "SocketI->Closing Client No: 00\n",
      "TARNET->Client accept failed\n",
      "TARNET->Closed Socket serve thread!\n",
  };
  size_t at = 0;
  for (const char* line : lines) {
    // The client's lines interleave with the listener's; each listener line
    // must still come in order.
    size_t found = log.find(line);
    EXPECT_NE(found, std::string::npos) << line;
    if (std::string(line).rfind("TARNET", 0) == 0 &&
        found != std::string::npos) {
      EXPECT_GE(found, at) << line;
      at = found;
    }
  }
  EXPECT_NE(log.find("TARNET->Socket creation "), std::string::npos);
}

TEST_F(TcpServerTest, TracesWithTheStarMarker) {
  StartServers();
  SetReadTracing(true);
  const std::string req = NextRequestLabel();
  RawTcp tcp(port_);
  ASSERT_TRUE(tcp.Send(Frame(Cat({ReadRecord(0x3304, 4), End()}))));
  ASSERT_EQ(tcp.Receive(32).size(), 32u);
  SetReadTracing(false);
  std::string trace = TraceLogText();
  EXPECT_NE(trace.find(" " + req +
                       " READ  Offset: 3304 Bytes: 004 value: 04 00 00 50 \n"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("\n*"), std::string::npos) << trace;
}

// Garbage of every kind on many connections: nothing crashes, the server
// keeps serving.
TEST_F(TcpServerTest, SurvivesGarbage) {
  StartServers();
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<uint8_t>(seed >> 16);
  };
  for (int round = 0; round < 30; ++round) {
    RawTcp tcp(port_);
    Buf junk(1 + next() * 4);
    for (uint8_t& b : junk) b = next();
    if (round % 3 == 0) {
      junk[0] = 1;
      junk[1] = 0;
    }
    tcp.Send(junk);
    if (round % 2 == 0) {
      // A well-formed frame whose records lie about their sizes.
      Buf area =
          Cat({Buf{1, 0, 0, 0, 0xF0, 0xFF, 0, 0, 0xFF, 0x7F, 0, 0}, End()});
      tcp.Send(Frame(area));
    }
  }
  RawTcp tcp(port_);
  ASSERT_TRUE(tcp.Send(Frame(End())));
  EXPECT_EQ(tcp.Receive(12), Frame(End(), 2));
}

// Pushed updates through the platform's sockets: a subscriber gets its
// answer and then an update per frame; one that never reads blocks its own
// sender only, and Disable still closes both.
TEST_F(TcpServerTest, PushesUpdatesAndClosesStuckSubscribersAtDisable) {
  StartServers();
  auto subscribe = [](uint32_t id, uint32_t ranges, uint32_t size) {
    Buf area;
    PutU32(area, id);
    PutU32(area, 0);  // every frame, no flags
    PutU32(area, ranges);
    for (uint32_t i = 0; i < ranges; ++i) {
      PutU32(area, i * size);
      PutU32(area, size);
    }
    return Frame(area, 3);
  };
  RawTcp reader(port_);
  RawTcp stuck(port_);
  ASSERT_TRUE(reader.Send(subscribe(9, 1, 4)));
  ASSERT_TRUE(stuck.Send(subscribe(1, 256, 64)));
  EXPECT_EQ(reader.Receive(16),
            (Buf{4, 0, 8, 0, 9, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0xDE, 0xFA}));
  ASSERT_EQ(stuck.Receive(16).size(), 16u);
  Poke(0, {1, 2, 3, 4});
  for (uint32_t seq = 1; seq <= 3; ++seq) {
    Frames(1);
    const Buf update = reader.Receive(8 + 24 + 6 + 4);
    ASSERT_EQ(update.size(), 42u);
    EXPECT_EQ(update[0], 5);
    EXPECT_EQ(LoadU32(update.data() + 4), 9u);
    EXPECT_EQ(LoadU32(update.data() + 8), seq);
    EXPECT_EQ(Buf(update.begin() + 34, update.begin() + 38), (Buf{1, 2, 3, 4}));
  }
  Frames(600);  // about 10 MB for the one that never reads
  Disable();
  while (!stuck.Receive(1 << 16, 500).empty()) {
  }
  EXPECT_TRUE(stuck.PeerClosed(1000));
  while (!reader.Receive(1 << 16, 200).empty()) {
  }
  EXPECT_TRUE(reader.PeerClosed(1000));
}

}  // namespace
}  // namespace tarvos::testing
