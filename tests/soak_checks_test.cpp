// The soak's own checks must fail when they should: a torn 64-bit read, a
// wrong answer at 0x3304, a frame over the bound, a descriptor or thread
// left behind.
#include "bench/soak/soak_checks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "offsets/position.h"

namespace tarvos::soak {
namespace {

using Verdict = PublishedValues::Verdict;

// The halves of a 64-bit value as a reader that copied them at different
// times would see them: the low half of one, the high half of another.
int64_t Torn(int64_t low_from, int64_t high_from) {
  const uint64_t low = static_cast<uint64_t>(low_from) & 0xFFFFFFFFu;
  const uint64_t high =
      static_cast<uint64_t>(high_from) & ~uint64_t{0xFFFFFFFF};
  return static_cast<int64_t>(high | low);
}

TEST(SoakChecksTest, ATornLatitudeOrLongitudeIsCaught) {
  PublishedValues latitudes;
  // Two positions a frame or two apart whose high halves differ, as the
  // plugin encodes them.
  const int64_t a = EncodeLatitude(51.5);
  const int64_t b = EncodeLatitude(51.50002);
  ASSERT_NE(static_cast<uint64_t>(a) >> 32, static_cast<uint64_t>(b) >> 32);
  latitudes.Publish(a);
  latitudes.Publish(b);
  EXPECT_EQ(latitudes.Classify(a), Verdict::kPublished);
  EXPECT_EQ(latitudes.Classify(b), Verdict::kPublished);
  EXPECT_EQ(latitudes.Classify(Torn(a, b)), Verdict::kTorn);
  EXPECT_EQ(latitudes.Classify(Torn(b, a)), Verdict::kTorn);
  // A value nobody published is refused too, torn or not.
  EXPECT_EQ(latitudes.Classify(EncodeLatitude(-12.0)), Verdict::kUnknown);
  EXPECT_EQ(latitudes.size(), 2u);

  PublishedValues longitudes;
  longitudes.Publish(EncodeLongitude(-0.0000001));
  longitudes.Publish(EncodeLongitude(0.0000001));
  EXPECT_EQ(longitudes.Classify(
                Torn(EncodeLongitude(-0.0000001), EncodeLongitude(0.0000001))),
            Verdict::kTorn);
}

// A writer publishing while readers classify: every value read whole is
// published, whatever the interleaving.
TEST(SoakChecksTest, PublishedValuesServeReadersWhileTheFlightPublishes) {
  PublishedValues v;
  std::atomic<int64_t> last{0};
  v.Publish(0);
  std::thread writer([&] {
    for (int i = 1; i <= 20000; ++i) {
      const int64_t value = EncodeLatitude(i * 1e-4);
      v.Publish(value);
      last.store(value);
    }
  });
  int wrong = 0;
  for (int i = 0; i < 20000; ++i) {
    if (v.Classify(last.load()) != Verdict::kPublished) ++wrong;
  }
  writer.join();
  EXPECT_EQ(wrong, 0);
}

TEST(SoakChecksTest, TheWorkedExampleMustReadAsItsFourBytes) {
  const uint8_t good[] = {0x04, 0x00, 0x00, 0x50};
  const uint8_t big_endian[] = {0x50, 0x00, 0x00, 0x04};
  const uint8_t zero[] = {0, 0, 0, 0};
  EXPECT_TRUE(ProtocolAnswerOk(good));
  EXPECT_FALSE(ProtocolAnswerOk(big_endian));
  EXPECT_FALSE(ProtocolAnswerOk(zero));
}

TEST(SoakChecksTest, APluginThatMakesTheLongestFrameBreaksTheBound) {
  FrameShare share;
  for (int i = 0; i < 100; ++i) share.Add(1.0 / 60, 0.001);
  // A long frame the simulator made (the plugin's part is small) passes.
  share.Add(0.100, 0.002);
  EXPECT_TRUE(share.Within(0.5));
  EXPECT_NEAR(share.share_of_longest(), 0.02, 1e-9);
  // A longer one the plugin made does not.
  share.Add(0.200, 0.150);
  EXPECT_FALSE(share.Within(0.5));
  EXPECT_NEAR(share.share_of_longest(), 0.75, 1e-9);
  EXPECT_NEAR(share.worst_plugin(), 0.150, 1e-9);
  EXPECT_EQ(share.frames(), 102);
}

TEST(SoakChecksTest, ACensusSeesADescriptorAndAThreadLeftBehind) {
  // A sanitizer starts a helper thread of its own with the first thread a
  // program makes: one thread made and joined first keeps it out of the
  // count.
  std::thread([] {}).join();
  const Census before = Census::Take();
  ASSERT_GT(before.descriptors, 2);
  ASSERT_GE(before.threads, 1);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::atomic<bool> go{false};
  std::thread t([&] {
    while (!go.load()) std::this_thread::yield();
  });
  const Census during = Census::Take();
  EXPECT_EQ(during.descriptors, before.descriptors + 2);
  EXPECT_EQ(during.threads, before.threads + 1);
  go.store(true);
  t.join();
  ::close(fds[0]);
  ::close(fds[1]);
  const Census after = Census::Take();
  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.threads, before.threads);
}

}  // namespace
}  // namespace tarvos::soak
