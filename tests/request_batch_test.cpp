// The record walk shared by both transports, driven directly on buffers.
#include "transport/request_batch.h"

#include <gtest/gtest.h>

#include "base/trace_log.h"
#include "offsets/offset_block.h"
#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

class RequestBatchTest : public PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
  }
};

struct WalkCase {
  const char* name;
  Buf batch;
  Buf expected;  // the batch after the walk
  int result;
  size_t used;
};

// Families of batches whose effect is visible in the batch itself.
TEST_F(RequestBatchTest, WalksBatchesByteForByte) {
  const Buf kVersion = {0x04, 0x00, 0x00, 0x50};
  Buf read_3304 = ReadRecord(0x3304, 4);
  Buf read_3304_served = read_3304;
  std::copy(kVersion.begin(), kVersion.end(), read_3304_served.begin() + 16);
  // Wide read (id 4): 8 client bytes, data at byte 20.
  Buf wide = Cat({Buf{4, 0, 0, 0, 0x04, 0x33, 0, 0, 4, 0, 0, 0,
                      1, 2, 3, 4, 5,    6,    7, 8, 0, 0, 0, 0},
                  End()});
  Buf wide_served = wide;
  std::copy(kVersion.begin(), kVersion.end(), wide_served.begin() + 20);
  // Read at 0xFFFE of 4 bytes: two served, two left as the client sent them.
  Buf edge = ReadRecord(0xFFFE, 4);
  edge[18] = 0x77;
  edge[19] = 0x88;
  Buf edge_served = edge;
  edge_served[16] = 0;
  edge_served[17] = 0;
  Buf beyond = ReadRecord(0x12345, 2);
  beyond[16] = 0x11;
  beyond[17] = 0x22;
  // A read of 4000 bytes of which only 100 are in the batch.
  Buf truncated = ReadRecord(0x3304, 4000);
  truncated.resize(16 + 100);
  Buf truncated_zeroed = truncated;
  truncated_zeroed[0] = 0;
  Buf bad7 = {7, 0, 0, 0, 1, 2, 3, 4};
  Buf zeroed7 = {0, 0, 0, 0, 1, 2, 3, 4};

  const std::vector<WalkCase> cases = {
      {"read 0x3304", Cat({read_3304, End()}), Cat({read_3304_served, End()}),
       1, 24},
      {"empty batch", End(), End(), 1, 4},
      {"wide read", wide, wide_served, 1, 28},
      {"size-0 read", Cat({ReadRecord(0x3304, 0), End()}),
       Cat({ReadRecord(0x3304, 0), End()}), 1, 20},
      {"read, id 7, write", Cat({read_3304, bad7, WriteRecord(0x66C0, {9})}),
       Cat({read_3304_served, zeroed7, WriteRecord(0x66C0, {9})}), 0, 24},
      {"range past 0xFFFF", Cat({edge, End()}), Cat({edge_served, End()}), 1,
       24},
      {"offset beyond the space", Cat({beyond, End()}), Cat({beyond, End()}), 1,
       22},
      {"no terminating id", read_3304, read_3304_served, 0, 20},
      {"terminator cut short", Cat({read_3304, Buf{0, 0}}),
       Cat({read_3304_served, Buf{0, 0}}), 0, 22},
      {"header cut short", Buf{1, 0, 0, 0, 4, 0x33}, Buf{0, 0, 0, 0, 4, 0x33},
       0, 4},
      {"id cut short", Buf{1, 0}, Buf{1, 0}, 0, 2},
      {"wide read header cut short",
       Buf{4, 0, 0, 0, 0x04, 0x33, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4, 5, 6},
       Buf{0, 0, 0, 0, 0x04, 0x33, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4, 5, 6}, 0, 4},
      {"data area past the batch", truncated, truncated_zeroed, 0, 4},
      {"huge size",
       Cat({Buf{2, 0, 0, 0, 0, 0x50, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, End()}),
       Cat({Buf{0, 0, 0, 0, 0, 0x50, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, End()}), 0,
       4},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    Buf batch = c.batch;
    // Slack after the batch must stay untouched.
    Buf buffer = batch;
    buffer.insert(buffer.end(), 16, 0xEE);
    BatchResult r = ServeRequestBatch(buffer.data(), batch.size(), ' ');
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.used_length, c.used);
    Buf served(buffer.begin(), buffer.begin() + batch.size());
    Buf expected = c.expected;
    EXPECT_EQ(served, expected);
    EXPECT_EQ(Buf(buffer.end() - 16, buffer.end()), Buf(16, 0xEE));
  }
}

TEST_F(RequestBatchTest, WritesReachTheOffsetBlock) {
  Buf batch = Cat({WriteRecord(0x66C0, {1, 2, 3}), End()});
  BatchResult r = ServeRequestBatch(batch.data(), batch.size(), ' ');
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.used_length, batch.size());
  EXPECT_EQ(Bytes(0x66C0, 3), (Buf{1, 2, 3}));
}

TEST_F(RequestBatchTest, WriteProtectionLooksAtTheFirstByteOnly) {
  // 0x3304..0x330B are protected: a write starting there is dropped whole.
  Buf batch = Cat({WriteRecord(0x3304, {9, 9, 9, 9}), End()});
  EXPECT_EQ(ServeRequestBatch(batch.data(), batch.size(), ' ').result, 1);
  EXPECT_EQ(U32(0x3304), 0x50000004u);
  // Starting on the ordinary byte before it, the write covers it in full.
  batch = Cat({WriteRecord(0x3303, {1, 2, 3, 4, 5}), End()});
  EXPECT_EQ(ServeRequestBatch(batch.data(), batch.size(), ' ').result, 1);
  EXPECT_EQ(Bytes(0x3303, 5), (Buf{1, 2, 3, 4, 5}));
}

TEST_F(RequestBatchTest, WritePastTheEndStoresOnlyTheInsidePart) {
  Poke(0xFFFE, {0, 0});
  Buf batch = Cat({WriteRecord(0xFFFE, {0xAB, 0xCD, 0xEF, 0x12}), End()});
  BatchResult r = ServeRequestBatch(batch.data(), batch.size(), ' ');
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(Bytes(0xFFFE, 2), (Buf{0xAB, 0xCD}));
}

// Offsets at or above 0x10000 are outside the offset space: nothing is
// stored (not at the offset modulo 0x10000 either) and no handler runs.
TEST_F(RequestBatchTest, WritesAtOrAbove0x10000StoreNothing) {
  Poke(0x0000, {0x11, 0x22, 0x33});
  Poke(0x66C0, {0x44});
  host().TakeSetRecords();
  Buf batch = Cat({WriteRecord(0x10000, {1, 2, 3}), WriteRecord(0x166C0, {9}),
                   WriteRecord(0xFFFFFFFF, {7}), End()});
  BatchResult r = ServeRequestBatch(batch.data(), batch.size(), ' ');
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.used_length, batch.size());
  EXPECT_EQ(Bytes(0x0000, 3), (Buf{0x11, 0x22, 0x33}));
  EXPECT_EQ(Bytes(0x66C0, 1), Buf{0x44});
  EXPECT_EQ(Bytes(0xFFFF, 1), Buf{0});
  EXPECT_TRUE(host().TakeSetRecords().empty());
}

// A read of size 0 copies nothing and runs no read-time refresh: the host
// is not even asked for a value; the same read of 2 bytes refreshes.
TEST_F(RequestBatchTest, SizeZeroReadRunsNoRefresh) {
  host().SetFloat("sim/cockpit/autopilot/heading_mag", 90);
  Poke(0x07CC, {0x11, 0x22});
  int reads = 0;
  host().SetReadHook([&](const std::string&) { ++reads; });
  Buf empty = Cat({ReadRecord(0x07CC, 0), End()});
  EXPECT_EQ(ServeRequestBatch(empty.data(), empty.size(), ' ').result, 1);
  EXPECT_EQ(reads, 0);
  EXPECT_EQ(Bytes(0x07CC, 2), (Buf{0x11, 0x22}));

  Buf two = Cat({ReadRecord(0x07CC, 2), End()});
  EXPECT_EQ(ServeRequestBatch(two.data(), two.size(), ' ').result, 1);
  host().SetReadHook(nullptr);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(U16(0x07CC), 16383);
  EXPECT_EQ(Buf(two.begin() + 16, two.begin() + 18), (Buf{0xFF, 0x3F}));
}

TEST_F(RequestBatchTest, CountRequestAddsOne) {
  int32_t before;
  {
    LockGuard<RecursiveLock> hold(OffsetLock);
    before = RequestCount;
  }
  CountRequest();
  CountRequest();
  LockGuard<RecursiveLock> hold(OffsetLock);
  EXPECT_EQ(RequestCount, before + 2);
}

// Trace entries: reads and writes of both markers, an 18-byte read that
// wraps, a size-0 read, and a protected write that leaves no line.
TEST_F(RequestBatchTest, TraceEntriesMatchGoldenText) {
  Enable();
  SetReadTracing(true);
  SetWriteTracing(true);
  const std::string req = NextRequestLabel();
  CountRequest();
  Buf values(18);
  for (int i = 0; i < 18; ++i) values[i] = static_cast<uint8_t>(0xA0 + i);
  Buf batch = Cat({ReadRecord(0x3304, 4), WriteRecord(0x66C0, values),
                   ReadRecord(0x66C0, 18), ReadRecord(0x0240, 0),
                   WriteRecord(0x3304, {1}), End()});
  ASSERT_EQ(ServeRequestBatch(batch.data(), batch.size(), '*').result, 1);
  SetReadTracing(false);
  SetWriteTracing(false);

  const std::string pad(58, ' ');
  const std::string expected =
      std::string("*0000.00 ") + req +
      " READ  Offset: 3304 Bytes: 004 value: "
      "04 00 00 50 \n"
      "*0000.00 " +
      req +
      " WRITE Offset: 66C0 Bytes: 018 value: "
      "A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF \n" +
      pad + "B0 B1 \n" + "*0000.00 " + req +
      " READ  Offset: 66C0 Bytes: 018 value: "
      "A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF \n" +
      pad + "B0 B1 \n" + "*0000.00 " + req +
      " READ  Offset: 0240 Bytes: 000 value: \n";
  std::string trace = TraceLogText();
  EXPECT_NE(trace.find(expected), std::string::npos) << trace;
}

}  // namespace
}  // namespace tarvos::testing
