// Push subscriptions end to end on loopback, with the plugin enabled in the
// stand-in host and frames stepped one at a time by the test (the test
// thread is the simulator's main thread).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>

#include "plugin/update_sampler.h"
#include "tests/fault_harness.h"
#include "tests/transport_harness.h"
#include "transport/frame.h"
#include "transport/subscription_wire.h"

namespace tarvos::testing {
namespace {

struct Range {
  uint32_t offset;
  uint32_t size;
};

Buf SubscribeArea(uint32_t id, const std::vector<Range>& ranges,
                  uint16_t every = 0, uint16_t flags = 0) {
  Buf b;
  PutU32(b, id);
  PutU16(b, every);
  PutU16(b, flags);
  PutU16(b, static_cast<uint16_t>(ranges.size()));
  PutU16(b, 0);
  for (const Range& r : ranges) {
    PutU32(b, r.offset);
    PutU32(b, r.size);
  }
  return b;
}
Buf Subscribe(uint32_t id, const std::vector<Range>& ranges, uint16_t every = 0,
              uint16_t flags = 0) {
  return Frame(SubscribeArea(id, ranges, every, flags), kFrameTypeSubscribe);
}
Buf Unsubscribe(uint32_t id) {
  Buf area;
  PutU32(area, id);
  return Frame(area, kFrameTypeUnsubscribe);
}

struct Update {
  uint32_t id = 0, seq = 0, frame = 0;
  double time = 0;
  std::map<uint32_t, Buf> records;  // by offset
  std::vector<uint32_t> order;
};

// One frame the server sent: its type and its record area.
struct ServerFrame {
  uint16_t type = 0;
  Buf area;
};

class SubscriptionTest : public TransportFixture {
 protected:
  // The next frame on `tcp`, or nothing within `ms`.
  static std::optional<ServerFrame> Next(RawTcp& tcp, int ms = 3000) {
    Buf head = tcp.Receive(4, ms);
    if (head.size() < 4) return std::nullopt;
    const uint16_t len = LoadU16(head.data() + 2);
    Buf rest = tcp.Receive(len + 4u, ms);
    if (rest.size() != len + 4u) return std::nullopt;
    EXPECT_EQ(LoadU16(rest.data() + len), len);
    EXPECT_EQ(LoadU16(rest.data() + len + 2), 0xFADE);
    return ServerFrame{LoadU16(head.data()), Buf(rest.begin(), rest.end() - 4)};
  }
  static Update Decode(const ServerFrame& f) {
    Update u;
    const uint8_t* p = f.area.data();
    u.id = LoadU32(p);
    u.seq = LoadU32(p + 4);
    u.frame = LoadU32(p + 8);
    u.time = LoadF64(p + 12);
    const uint16_t count = LoadU16(p + 20);
    size_t at = kUpdateHeaderSize;
    for (uint16_t i = 0; i < count; ++i) {
      const uint32_t offset = LoadU32(p + at);
      const uint16_t size = LoadU16(p + at + 4);
      u.records[offset] = Buf(p + at + 6, p + at + 6 + size);
      u.order.push_back(offset);
      at += 6u + size;
    }
    EXPECT_EQ(at, f.area.size());
    return u;
  }
  // The answer that must come next (updates may not precede it here:
  // nothing is subscribed yet or no frame was stepped).
  static std::pair<uint32_t, uint32_t> Answer(RawTcp& tcp) {
    std::optional<ServerFrame> f = Next(tcp);
    if (!f || f->type != kFrameTypeAnswer || f->area.size() != 8) {
      ADD_FAILURE() << "no answer";
      return {0, 0xFFFFFFFF};
    }
    return {LoadU32(f->area.data()), LoadU32(f->area.data() + 4)};
  }
  std::optional<Update> NextUpdate(RawTcp& tcp, int ms = 3000) {
    std::optional<ServerFrame> f = Next(tcp, ms);
    if (!f) return std::nullopt;
    EXPECT_EQ(f->type, kFrameTypeUpdate);
    return Decode(*f);
  }
  // Reads whatever is left; true when the server closed the connection.
  static bool DrainedAndClosed(RawTcp& tcp) {
    while (!tcp.Receive(1 << 16, 500).empty()) {
    }
    return tcp.PeerClosed(100);
  }
  // Subscribes and expects status 0.
  void SubscribeOk(RawTcp& tcp, uint32_t id, const std::vector<Range>& ranges,
                   uint16_t every = 0, uint16_t flags = 0) {
    ASSERT_TRUE(tcp.Send(Subscribe(id, ranges, every, flags)));
    EXPECT_EQ(Answer(tcp), std::make_pair(id, 0u));
  }
};

// Every frame: one update a frame, seq and frame each +1, with the bytes the
// offset block held at the end of that frame, including another client's
// write to a free offset.
TEST_F(SubscriptionTest, EveryFrameGivesOneUpdatePerFrameFromThatFrame) {
  StartServers();
  RawTcp tcp(port_);
  RawTcp writer(port_);
  SubscribeOk(tcp, 7, {{0x3304, 4}, {0x66F8, 4}, {0x0560, 8}});
  uint32_t first_frame = 0;
  for (uint32_t i = 0; i < 30; ++i) {
    const Buf value = {static_cast<uint8_t>(i), 0x5A, 0, 1};
    Buf write = Frame(Cat({WriteRecord(0x66F8, value), End()}));
    ASSERT_TRUE(writer.Send(write));
    ASSERT_EQ(writer.Receive(write.size()).size(), write.size());
    Frames(1);
    std::optional<Update> u = NextUpdate(tcp);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->id, 7u);
    EXPECT_EQ(u->seq, i + 1);
    if (i == 0) first_frame = u->frame;
    EXPECT_EQ(u->frame, first_frame + i);
    EXPECT_EQ(u->order, (std::vector<uint32_t>{0x3304, 0x66F8, 0x0560}));
    EXPECT_EQ(u->records[0x66F8], value);
    EXPECT_EQ(u->records[0x3304], Bytes(0x3304, 4));
    EXPECT_EQ(u->records[0x0560], Bytes(0x0560, 8));
  }
  EXPECT_FALSE(NextUpdate(tcp, 100));  // nothing without a frame
}

// Changes only: the whole snapshot, then nothing while nothing changes, then
// only the range that changed, still whole.
TEST_F(SubscriptionTest, ChangesOnlySendsTheSnapshotThenOnlyWhatChanged) {
  StartServers();
  RawTcp tcp(port_);
  SubscribeOk(tcp, 1, {{0x3304, 4}, {0x66F8, 8}}, 0, kSubscribeChangesOnly);
  Frames(1);
  std::optional<Update> snapshot = NextUpdate(tcp);
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->seq, 1u);
  EXPECT_EQ(snapshot->records.size(), 2u);
  Frames(100);
  EXPECT_FALSE(NextUpdate(tcp, 200));
  Poke(0x66FC, {9});
  Frames(1);
  std::optional<Update> change = NextUpdate(tcp);
  ASSERT_TRUE(change);
  EXPECT_EQ(change->seq, 2u);
  ASSERT_EQ(change->order, std::vector<uint32_t>{0x66F8});
  EXPECT_EQ(change->records[0x66F8], (Buf{0, 0, 0, 0, 9, 0, 0, 0}));
}

// Every 100 ms of host time at 60 frames a second: 10 updates a second.
TEST_F(SubscriptionTest, APeriodFollowsTheHostClock) {
  StartServers();
  RawTcp tcp(port_);
  SubscribeOk(tcp, 3, {{0x3304, 4}}, 100);
  // Stepped faster than the sender runs: updates made count in seq.
  Frames(120);
  uint32_t last_seq = 0;
  while (std::optional<Update> u = NextUpdate(tcp, 300)) {
    EXPECT_GT(u->seq, last_seq);
    last_seq = u->seq;
  }
  EXPECT_GE(last_seq, 19u);
  EXPECT_LE(last_seq, 21u);
}

// Frames sent back to back in one piece are each answered, in order; a
// replacement starts again at seq 1 with its own ranges, and after the
// answer to an unsubscribe no update of it follows.
TEST_F(SubscriptionTest, FramesBackToBackAreAnsweredInOrder) {
  StartServers();
  RawTcp tcp(port_);
  const Buf read = Frame(Cat({ReadRecord(0x3304, 4), End()}));
  ASSERT_TRUE(tcp.Send(Cat({read, Subscribe(5, {{0x3304, 4}}), read})));
  std::vector<uint16_t> types;
  for (int i = 0; i < 3; ++i) {
    std::optional<ServerFrame> f = Next(tcp);
    ASSERT_TRUE(f);
    types.push_back(f->type);
  }
  EXPECT_EQ(types, (std::vector<uint16_t>{kFrameTypeReply, kFrameTypeAnswer,
                                          kFrameTypeReply}));
  for (uint32_t seq = 1; seq <= 3; ++seq) {
    Frames(1);
    std::optional<Update> u = NextUpdate(tcp);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->seq, seq);
  }
  SubscribeOk(tcp, 5, {{0x66F8, 2}});
  for (uint32_t seq = 1; seq <= 2; ++seq) {
    Frames(1);
    std::optional<Update> u = NextUpdate(tcp);
    ASSERT_TRUE(u);
    EXPECT_EQ(u->seq, seq);
    EXPECT_EQ(u->order, std::vector<uint32_t>{0x66F8});
  }
  Frames(1);  // an update on its way while the unsubscribe arrives
  ASSERT_TRUE(tcp.Send(Unsubscribe(5)));
  std::optional<ServerFrame> f = Next(tcp);
  while (f && f->type == kFrameTypeUpdate) f = Next(tcp);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->type, kFrameTypeAnswer);
  Frames(3);
  ASSERT_TRUE(tcp.Send(read));
  f = Next(tcp);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->type, kFrameTypeReply);
}

// Every malformed or refused subscribe and unsubscribe is answered with its
// status and changes nothing: the live subscription still runs and requests
// are still served.
TEST_F(SubscriptionTest, BadSubscriptionsAreAnsweredAndChangeNothing) {
  StartServers();
  RawTcp tcp(port_);
  SubscribeOk(tcp, 1, {{0x3304, 4}});
  Buf short_area = {1, 0};
  Buf reserved = SubscribeArea(2, {{0x3304, 4}});
  reserved[10] = 1;
  Buf long_area = SubscribeArea(2, {{0x3304, 4}});
  long_area.push_back(0);
  Buf unsub_long = {1, 0, 0, 0, 0};
  struct Case {
    const char* name;
    Buf frame;
    uint32_t id, status;
  };
  const std::vector<Case> cases = {
      {"short area", Frame(short_area, 3), 0, 1},
      {"id 0", Subscribe(0, {{0x3304, 4}}), 0, 1},
      {"count 0", Subscribe(2, {}), 2, 1},
      {"count 257", Subscribe(2, std::vector<Range>(257, {0, 1})), 2, 1},
      {"flag bit 1", Subscribe(2, {{0x3304, 4}}, 0, 2), 2, 1},
      {"reserved word", Frame(reserved, 3), 2, 1},
      {"area longer than its count", Frame(long_area, 3), 2, 1},
      {"size 0", Subscribe(2, {{0x3304, 0}}), 2, 3},
      {"past the space", Subscribe(2, {{0xFFFF, 2}}), 2, 3},
      {"offset wraps", Subscribe(2, {{0xFFFFFFFF, 2}}), 2, 3},
      {"16,385 bytes", Subscribe(2, {{0, 16384}, {0, 1}}), 2, 4},
      {"unknown id", Unsubscribe(99), 99, 5},
      {"unsubscribe too long", Frame(unsub_long, 6), 1, 1},
      {"unsubscribe of id 0", Unsubscribe(0), 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(tcp.Send(c.frame));
    EXPECT_EQ(Answer(tcp), std::make_pair(c.id, c.status));
  }
  // Per connection: 16 subscriptions, 32,768 bytes.
  for (uint32_t id = 2; id <= 16; ++id) SubscribeOk(tcp, id, {{0x66F8, 1}});
  ASSERT_TRUE(tcp.Send(Subscribe(17, {{0x66F8, 1}})));
  EXPECT_EQ(Answer(tcp), std::make_pair(17u, 2u));
  SubscribeOk(tcp, 2, {{0, 16384}});
  ASSERT_TRUE(tcp.Send(Subscribe(3, {{0, 16384}})));
  EXPECT_EQ(Answer(tcp), std::make_pair(3u, 4u));
  // Replacing one keeps within the bound: its bytes take the old ones' place.
  SubscribeOk(tcp, 2, {{0, 16000}});
  // Subscription 1 still runs, the connection still serves requests.
  Frames(1);
  bool saw_one = false;
  for (int i = 0; i < 16; ++i) {
    std::optional<Update> u = NextUpdate(tcp);
    ASSERT_TRUE(u);
    saw_one |= u->id == 1;
  }
  EXPECT_TRUE(saw_one);
  const Buf read = Frame(Cat({ReadRecord(0x3304, 4), End()}));
  ASSERT_TRUE(tcp.Send(read));
  std::optional<ServerFrame> reply = Next(tcp);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->type, kFrameTypeReply);
}

// A client that reads nothing while hundreds of frames pass: the frames are
// not held up, and afterwards it gets the latest values with seq jumping;
// changes-only loses no change. The largest subscription, 16,384 bytes in
// 256 ranges, arrives whole in one update.
TEST_F(SubscriptionTest, AClientThatStopsReadingGetsTheLatestAfterwards) {
  StartServers();
  RawTcp tcp(port_);
  std::vector<Range> big;
  for (uint32_t i = 0; i < 256; ++i) big.push_back({0x4000 + i * 64, 64});
  SubscribeOk(tcp, 1, big);
  SubscribeOk(tcp, 2, {{0x66F8, 4}, {0x3304, 4}}, 0, kSubscribeChangesOnly);
  // About 25 MB of updates: more than the socket buffers hold.
  const int kFrames = 1500;
  const Buf poked = {0x11, 0x22, 0x33, 0x44};
  for (int i = 0; i < kFrames; ++i) {
    if (i == 5) Poke(0x66F8, poked);
    Frames(1);
  }
  std::map<uint32_t, Update> last;
  std::map<uint32_t, Buf> held;  // what subscription 2 told the client
  uint32_t updates_of_1 = 0;
  while (std::optional<Update> u = NextUpdate(tcp, 500)) {
    if (u->id == 1) {
      ++updates_of_1;
      EXPECT_EQ(u->records.size(), 256u);
    } else {
      for (const auto& [offset, bytes] : u->records) held[offset] = bytes;
    }
    if (last.count(u->id)) {
      EXPECT_GT(u->seq, last[u->id].seq);
      EXPECT_GE(u->frame, last[u->id].frame);
    }
    last[u->id] = *u;
  }
  EXPECT_LT(updates_of_1, static_cast<uint32_t>(kFrames));  // some replaced
  EXPECT_EQ(last[1].seq, static_cast<uint32_t>(kFrames));
  EXPECT_EQ(last[1].frame, SampledFrameCount());
  EXPECT_EQ(last[1].records[0x4000 + 255 * 64], Bytes(0x4000 + 255 * 64, 64));
  EXPECT_EQ(held[0x66F8], poked);
  EXPECT_EQ(held[0x3304], Bytes(0x3304, 4));
}

// Disable with a subscriber whose sender is stuck on a full socket: the
// connection closes and no thread of it is left.
TEST_F(SubscriptionTest, DisableWithStuckSubscribersEndsEveryThread) {
  const int threads_before = CountThreads();
  StartServers();
  RawTcp tcp(port_);
  RawTcp idle(port_);
  std::vector<Range> big;
  for (uint32_t i = 0; i < 256; ++i) big.push_back({i * 64, 64});
  SubscribeOk(tcp, 1, big);
  SubscribeOk(idle, 1, {{0x3304, 4}});
  Frames(600);
  Disable();
  EXPECT_TRUE(DrainedAndClosed(tcp));
  EXPECT_TRUE(DrainedAndClosed(idle));
  EXPECT_TRUE(WaitUntil([&] { return CountThreads() <= threads_before; }));
}

}  // namespace
}  // namespace tarvos::testing
