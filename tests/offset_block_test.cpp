// The offset space: the constants stored by start, the copy helpers and
// their locking.
#include "offsets/offset_block.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

using ByteVector = std::vector<uint8_t>;

class OffsetBlockTest : public testing::PluginFixture {};

TEST_F(OffsetBlockTest, ConstantsReadAsTheirExactBytesAfterStart) {
  Start();
  struct Case {
    uint32_t offset;
    ByteVector bytes;
  };
  const Case cases[] = {
      {0x0240, {0xDA, 0x07}},
      {0x3304, {0x04, 0x00, 0x00, 0x50}},
      // (0x3308, the start counter, counts the starts since load: below)
      {0x6F03, {'1', '.', '0', '.', '0', '.', '0', 0}},
      {0x6F02, {0}},  // the version starts at 0x6F03 exactly
      {0x6FFF, {0x01}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(this->Bytes(c.offset, static_cast<uint32_t>(c.bytes.size())),
              c.bytes)
        << std::hex << c.offset;
  }
}

TEST_F(OffsetBlockTest, SystemPathIsStoredZeroTerminated) {
  Start();
  const std::string path = host().SystemPath();
  const ByteVector field = this->Bytes(0x3E00, 256);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(field.data())), path);
  EXPECT_EQ(field[255], 0);
}

TEST_F(OffsetBlockTest, LongSystemPathIsCutTo255Characters) {
  const std::string folder = "/nonexistent/" + std::string(300, 'x') + "/";
  host().SetSystemPath(folder);
  Start();  // the logs cannot be opened there; start goes on
  const ByteVector field = this->Bytes(0x3E00, 256);
  EXPECT_EQ(std::string(field.begin(), field.begin() + 255),
            folder.substr(0, 255));
  EXPECT_EQ(field[255], 0);
  EXPECT_EQ(U16(0x3F00), 0);  // nothing spilled past the field
}

// The counter lives as long as the library: earlier starts in this process
// count too.
TEST_F(OffsetBlockTest, StartCounterGrowsByEightPerStart) {
  Start();
  const uint32_t first = U32(0x3308);
  EXPECT_EQ(first & 0xFFFF0000u, 0xFADE0000u);
  EXPECT_GE(first, 0xFADE0008u);
  EXPECT_EQ(first % 8, 0u);
  Stop();
  Start();
  EXPECT_EQ(U32(0x3308), first + 8);
}

TEST_F(OffsetBlockTest, StartClearsTheBlockAndMarksEveryByteOrdinary) {
  Poke(0x1000, {1, 2, 3});
  OffsetKindMap[0x1000] = kOffsetWriteProtected;
  Start();
  EXPECT_EQ(this->Bytes(0x1000, 3), ByteVector(3, 0));
  EXPECT_FALSE(IsWriteProtected(0x1000));
}

#ifdef NDEBUG
// Internal callers use fixed ranges; a wrong one must still stay inside the
// block (debug builds assert instead).
TEST(OffsetBlockCopy, RangesPastTheEndAreClampedToTheSpace) {
  const uint8_t in[4] = {1, 2, 3, 4};
  Publish(0xFFFE, in, sizeof in);
  Publish(0x10000, in, sizeof in);
  uint8_t out[4] = {9, 9, 9, 9};
  Fetch(0xFFFE, out, sizeof out);
  EXPECT_EQ(ByteVector(out, out + 4), (ByteVector{1, 2, 0, 0}));
  EXPECT_FALSE(IsWriteProtected(0x10000 + 0x3304));
}
#endif

TEST(OffsetBlockCopy, TryPublishSkipsWhileAnotherThreadHoldsTheLock) {
  const uint8_t value = 0x5A;
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    OffsetLock.Acquire();
    held = true;
    while (!release) std::this_thread::yield();
    OffsetLock.Release();
  });
  while (!held) std::this_thread::yield();
  EXPECT_FALSE(TryPublish(0x2000, &value, 1));
  release = true;
  holder.join();
  EXPECT_TRUE(TryPublish(0x2000, &value, 1));
  uint8_t out = 0;
  Fetch(0x2000, &out, 1);
  EXPECT_EQ(out, 0x5A);
}

// Publishing while already holding OffsetLock is what the write handlers do
// under a transport's hold; the analysis is told that this is deliberate.
bool PublishTwiceUnderHold() NO_THREAD_SAFETY_ANALYSIS {
  LockGuard<RecursiveLock> outer(OffsetLock);
  const uint8_t value = 1;
  Publish(0x2001, &value, 1);  // takes the lock again on this thread
  return TryPublish(0x2002, &value, 1);
}

TEST(OffsetBlockCopy, OffsetLockIsReentrantForItsOwner) {
  EXPECT_TRUE(PublishTwiceUnderHold());
}

// A worker serving record after record releases the lock and takes it again
// at once. While the flight loop's blocking store waits, the worker may
// finish the step it is in, and take no other: it counts the steps it
// starts while the priority thread is waiting. (Counting from outside
// would also count the steps made while the priority thread itself was
// preempted before it started to wait.)
TEST(RecursiveLockPrecedence, PriorityThreadWaitsForOneStepOfABusyWorker) {
  RecursiveLock lock;
  lock.SetPriorityThread(std::this_thread::get_id());
  std::atomic<long> steps{0};
  std::atomic<int> while_waiting{0};
  std::atomic<int> work{0};  // a step's own work while it holds the lock
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    while (!stop) {
      lock.Acquire();
      steps.fetch_add(1);
      if (lock.PriorityWaiting()) while_waiting.fetch_add(1);
      for (int i = 0; i < 200; ++i)
        work.fetch_add(1, std::memory_order_relaxed);
      lock.Release();
    }
  });
  for (int round = 0; round < 50; ++round) {
    while (steps.load() < 100 * (round + 1)) std::this_thread::yield();
    lock.Acquire();
    const int during = while_waiting.exchange(0);
    lock.Release();
    EXPECT_LE(during, 1) << "round " << round;
  }
  stop = true;
  worker.join();
}

void HoldAndReenter(RecursiveLock& lock,
                    std::atomic<bool>& held) NO_THREAD_SAFETY_ANALYSIS {
  lock.Acquire();
  held = true;
  // Long enough for the priority thread to be waiting.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  lock.Acquire();
  lock.Release();
  lock.Release();
}

// A worker that holds the lock and takes it again while the priority thread
// waits must not step aside for it: that would wait for itself.
TEST(RecursiveLockPrecedence, OwnerReentersWhileThePriorityThreadWaits) {
  RecursiveLock lock;
  lock.SetPriorityThread(std::this_thread::get_id());
  std::atomic<bool> held{false};
  std::thread worker([&] { HoldAndReenter(lock, held); });
  while (!held) std::this_thread::yield();
  lock.Acquire();
  lock.Release();
  worker.join();
}

}  // namespace
}  // namespace tarvos
