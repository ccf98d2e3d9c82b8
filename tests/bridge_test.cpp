// The bridge between a local endpoint and the plugin's TCP server, with the
// plugin enabled in the stand-in host and both on this machine: local
// clients talk to the bridge's endpoint, the bridge to the plugin's port.
#include "bridge/bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bridge/forward.h"
#include "client/connection.h"
#include "tests/support/raw_local.h"
#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

using bridge::ApplyReply;
using bridge::Group;
using bridge::PlanBatch;
using bridge::RequestFrame;

// A batch of `count` reads of `size` bytes each, walking the offset space.
Buf Reads(int count, uint32_t size) {
  Buf b;
  for (int i = 0; i < count; ++i) {
    Buf r = ReadRecord((static_cast<uint32_t>(i) * size) % 0xF000, size,
                       0x1000 + static_cast<uint32_t>(i));
    b.insert(b.end(), r.begin(), r.end());
  }
  Buf end = End();
  b.insert(b.end(), end.begin(), end.end());
  return b;
}

TEST(BridgeForwardTest, PlansWholeRecordsIntoFramesThatFit) {
  Buf small = Cat({ReadRecord(0x3304, 4), WriteRecord(0x66C0, {1, 2}), End()});
  bridge::Plan p = PlanBatch(small.data(), small.size());
  EXPECT_TRUE(p.complete);
  ASSERT_EQ(p.groups.size(), 1u);
  EXPECT_EQ(p.groups[0].begin, 0u);
  EXPECT_EQ(p.groups[0].end, small.size() - 4);
  Buf frame = RequestFrame(small.data(), p.groups[0]);
  EXPECT_EQ(frame, Frame(small));

  // 60 reads of 1000 bytes: two frames, cut between records, each within
  // the server's buffer.
  Buf big = Reads(60, 1000);
  p = PlanBatch(big.data(), big.size());
  EXPECT_TRUE(p.complete);
  ASSERT_EQ(p.groups.size(), 2u);
  EXPECT_EQ(p.groups[0].end, p.groups[1].begin);
  EXPECT_EQ(p.groups[0].end % 1016, 0u);
  EXPECT_EQ(p.groups[1].end, big.size() - 4);
  for (const Group& g : p.groups) {
    EXPECT_LE(g.end - g.begin + 4, bridge::kMaxFrameRecords);
  }

  EXPECT_TRUE(PlanBatch(End().data(), 4).groups.empty());
}

TEST(BridgeForwardTest, StopsWhereThePluginWouldAndZeroesTheId) {
  struct Case {
    const char* what;
    Buf batch;
    size_t forwarded;  // record bytes forwarded before the stop
    size_t zeroed_at;  // where the id was zeroed, or SIZE_MAX
  };
  const Buf read = ReadRecord(0x3304, 4);
  Buf too_long;  // a read whose data runs past the batch
  PutU32(too_long, 1);
  PutU32(too_long, 0);
  PutU32(too_long, 100);
  PutU32(too_long, 0);
  const Case cases[] = {
      {"invalid id", Cat({read, Buf{7, 0, 0, 0}, WriteRecord(0x66C0, {5})}),
       read.size(), read.size()},
      {"record past the batch", Cat({read, too_long}), read.size(),
       read.size()},
      {"no terminating id", read, read.size(), SIZE_MAX},
      {"record too large for any frame",
       Cat({read, ReadRecord(0, 32760), End()}), read.size(), read.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Buf b = c.batch;
    bridge::Plan p = PlanBatch(b.data(), b.size());
    EXPECT_FALSE(p.complete);
    ASSERT_EQ(p.groups.size(), 1u);
    EXPECT_EQ(p.groups[0].end, c.forwarded);
    if (c.zeroed_at != SIZE_MAX) {
      EXPECT_EQ(LoadU32(b.data() + c.zeroed_at), 0u);
    }
  }
}

TEST(BridgeForwardTest, ReplyMustMatchItsRequest) {
  Buf batch = Cat({ReadRecord(0x3304, 4), End()});
  const Group g{0, batch.size() - 4};
  Buf served = batch;
  served[16] = 0x04;
  served[19] = 0x50;
  const Buf good = Frame(served, 2);
  struct Bad {
    const char* what;
    Buf reply;
  };
  Buf wrong_type = good;
  wrong_type[0] = 1;
  Buf wrong_trailer = good;
  wrong_trailer.back() = 0;
  Buf wrong_inner_length = good;
  wrong_inner_length[good.size() - 4] ^= 1;
  Buf no_end = good;
  no_end[4 + g.end] = 1;
  const Bad bad[] = {
      {"type 1", wrong_type},
      {"trailer", wrong_trailer},
      {"second length", wrong_inner_length},
      {"no zero id at the end", no_end},
      {"short", Buf(good.begin(), good.end() - 1)},
      {"another batch's reply", Frame(Cat({ReadRecord(0x3304, 8), End()}), 2)},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    Buf copy = batch;
    EXPECT_FALSE(ApplyReply(b.reply.data(), b.reply.size(), copy.data(), g));
    EXPECT_EQ(copy, batch);
  }
  ASSERT_TRUE(ApplyReply(good.data(), good.size(), batch.data(), g));
  EXPECT_EQ(batch, served);
}

class BridgeTest : public TransportFixture {
 protected:
  void StartBridge() {
    StartServers();
    bridge::BridgeOptions o;
    o.port = port_;
    o.endpoint = endpoint_ + "-bridge";
    o.first_retry_ms = 20;
    o.longest_retry_ms = 100;
    bridge_ =
        std::make_unique<bridge::Bridge>(o, [this](const std::string& line) {
          std::lock_guard<std::mutex> hold(log_mu_);
          log_ += line + "\n";
        });
    std::string error;
    ASSERT_TRUE(bridge_->Start(&error)) << error;
    ASSERT_TRUE(WaitUntil([&] { return bridge_->Stats().connected; }));
  }
  void TearDown() override {
    if (bridge_) bridge_->Stop();
    TransportFixture::TearDown();
  }
  std::string BridgeEndpoint() const { return endpoint_ + "-bridge"; }
  std::string BridgeLog() {
    std::lock_guard<std::mutex> hold(log_mu_);
    return log_;
  }

  std::unique_ptr<bridge::Bridge> bridge_;
  std::mutex log_mu_;
  std::string log_;
};

TEST_F(BridgeTest, LocalClientReadsAndWritesThroughTheBridge) {
  StartBridge();
  std::string error;
  auto c = client::ConnectLocal(BridgeEndpoint(), &error);
  ASSERT_TRUE(c) << error;
  client::RequestBatch batch;
  batch.AddWriteU16(0x66C0, 0xBEEF);
  size_t version = batch.AddRead(0x3304, 4);
  size_t loads = batch.AddRead(0x3308, 4);
  size_t back = batch.AddRead(0x66C0, 2);
  ASSERT_TRUE(c->Exchange(batch, &error)) << error;
  EXPECT_EQ(batch.U32(version), 0x50000004u);
  EXPECT_EQ(batch.U32(loads), U32(0x3308));
  EXPECT_EQ(batch.U16(back), 0xBEEF);
  EXPECT_EQ(U16(0x66C0), 0xBEEF);
  EXPECT_GE(bridge_->Stats().forwarded, 1u);
}

TEST_F(BridgeTest, LargeBatchesAreSplitAndJoinedBackByteForByte) {
  StartBridge();
  // 0x7F00 bytes, what one local message of a Windows client carries, and
  // one of 60 KB that needs two frames.
  for (size_t total : {size_t{0x7F00}, size_t{60 * 1016 + 4}}) {
    SCOPED_TRACE(total);
    const int count = static_cast<int>((total - 4) / 1016);
    Buf batch = Reads(count, 1000);
    batch.resize(total, 0);
    Buf direct = batch;
    ASSERT_EQ(RawLocalRequest(BridgeEndpoint(), &batch), 1);
    ASSERT_EQ(RawLocalRequest(endpoint_, &direct), 1);
    EXPECT_TRUE(batch == direct) << "served bytes differ";
    // The client bytes of every record are as sent.
    EXPECT_EQ(LoadU32(batch.data() + 12), 0x1000u);
  }
}

TEST_F(BridgeTest, RefusesWhatThePluginRefusesBeforeSendingIt) {
  StartBridge();
  Buf bad = Cat(
      {WriteRecord(0x66C0, {7}), Buf{9, 0, 0, 0}, WriteRecord(0x66C2, {8})});
  EXPECT_EQ(RawLocalRequest(BridgeEndpoint(), &bad), 0);
  EXPECT_EQ(Bytes(0x66C0, 1), Buf{7});  // the record before it went
  EXPECT_EQ(Bytes(0x66C2, 1), Buf{0});  // the one after did not
  EXPECT_EQ(LoadU32(bad.data() + 13), 0u);
  EXPECT_EQ(RawLocalRequestForNothing(BridgeEndpoint()), 0);
  // Still serving, on the same connection.
  Buf ok = Cat({ReadRecord(0x3304, 4), End()});
  EXPECT_EQ(RawLocalRequest(BridgeEndpoint(), &ok), 1);
  EXPECT_EQ(bridge_->Stats().connects, 1u);
}

TEST_F(BridgeTest, PluginDisabledAndEnabledWhileTheBridgeRuns) {
  StartBridge();
  Buf batch = Cat({ReadRecord(0x3304, 4), End()});
  ASSERT_EQ(RawLocalRequest(BridgeEndpoint(), &batch), 1);
  Disable();
  // Answered 0, and at once: never past a client's own time-out.
  for (int i = 0; i < 3; ++i) {
    Buf b = Cat({ReadRecord(0x3304, 4), End()});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RawLocalRequest(BridgeEndpoint(), &b), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(2));
  }
  EXPECT_FALSE(bridge_->Stats().connected);
  // Back on the same port, as a fixed port is; the bridge reconnects on
  // its own.
  SetTcpServerPort(port_);
  Enable();
  Frames(1);  // the deferred start: servers up again
  ASSERT_TRUE(WaitUntil([&] { return bridge_->Stats().connected; }, 10000));
  Buf again = Cat({ReadRecord(0x3304, 4), End()});
  EXPECT_EQ(RawLocalRequest(BridgeEndpoint(), &again), 1);
  EXPECT_EQ(bridge_->Stats().connects, 2u);
  EXPECT_NE(BridgeLog().find("connection lost"), std::string::npos)
      << BridgeLog();
}

TEST_F(BridgeTest, TwoLocalClientsAtOnceShareOneConnection) {
  StartBridge();
  std::atomic<int> failures{0};
  auto run = [&](uint32_t offset) {
    std::string error;
    auto c = client::ConnectLocal(BridgeEndpoint(), &error);
    if (!c) {
      failures.fetch_add(1);
      return;
    }
    for (uint16_t i = 0; i < 100; ++i) {
      client::RequestBatch b;
      b.AddWriteU16(offset, i);
      size_t back = b.AddRead(offset, 2);
      if (!c->Exchange(b, &error) || b.U16(back) != i) failures.fetch_add(1);
    }
  };
  std::thread a(run, 0x66C0);
  std::thread b(run, 0x66C4);
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(bridge_->Stats().connects, 1u);
}

// A server whose replies do not match their requests: each one is answered
// 0 to the local client and the bridge reconnects.
TEST_F(BridgeTest, MismatchedRepliesAnswerZeroAndReconnect) {
  StartServers();
  OtherListener server(0, true);
  ASSERT_TRUE(server.ok());
  bridge::BridgeOptions o;
  o.port = server.port();
  o.endpoint = BridgeEndpoint();
  o.first_retry_ms = 20;
  o.reply_timeout_ms = 500;
  bridge::Bridge b(o, [](const std::string&) {});
  std::string error;
  ASSERT_TRUE(b.Start(&error)) << error;
  const Buf area = Cat({ReadRecord(0x3304, 4), End()});
  const Buf request = Frame(area);
  Buf good = request;
  good[0] = 2;
  // What each connection answers to its first request.
  Buf wrong_trailer = good;
  wrong_trailer.back() = 0;
  Buf wrong_length = good;
  wrong_length[2] += 4;
  const struct {
    const char* what;
    Buf reply;
    int answer;
  } cases[] = {
      {"wrong trailer", wrong_trailer, 0},
      {"wrong length", wrong_length, 0},
      {"closed mid-reply", Buf(good.begin(), good.begin() + 5), 0},
      {"matching reply", good, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<RawTcp> peer = server.Accept();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(WaitUntil([&] { return b.Stats().connected; }));
    std::thread serve([&] {
      if (peer->Receive(request.size()) == request) peer->Send(c.reply);
      if (c.answer == 0) peer->Close();
    });
    Buf batch = area;
    EXPECT_EQ(RawLocalRequest(BridgeEndpoint(), &batch), c.answer);
    serve.join();
    if (c.answer == 1) {
      EXPECT_EQ(batch, Buf(good.begin() + 4, good.end() - 4));
    }
  }
  EXPECT_EQ(b.Stats().connects, 4u);
  b.Stop();
}

TEST_F(BridgeTest, EndpointAlreadyOfferedIsReported) {
  StartServers();
  bridge::BridgeOptions o;
  o.port = port_;
  o.endpoint = endpoint_;  // the plugin's own
  bridge::Bridge b(o, [](const std::string&) {});
  std::string error;
  EXPECT_FALSE(b.Start(&error));
  EXPECT_NE(error.find("cannot offer"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarvos::testing
