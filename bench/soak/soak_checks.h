// The checks the soak program makes while it runs, kept apart from the
// program so that a unit test can feed them the faults they must catch.
//
// Threads: PublishedValues is filled by the main thread and consulted by
// every client thread; the other checks are used by one thread at a time.
#ifndef TARVOS_BENCH_SOAK_SOAK_CHECKS_H_
#define TARVOS_BENCH_SOAK_SOAK_CHECKS_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_set>

namespace tarvos::soak {

// Every value of one 64-bit offset the flight published (latitude or
// longitude, as the plugin encodes them), and their two 32-bit halves, so
// that a read can be told apart as published, torn (the halves of two
// different published values) or simply unknown.
class PublishedValues {
 public:
  enum class Verdict { kPublished, kTorn, kUnknown };

  void Publish(int64_t value);
  Verdict Classify(int64_t value) const;
  size_t size() const;

 private:
  mutable std::mutex mu_;
  std::unordered_set<int64_t> values_;
  std::unordered_set<uint32_t> low_halves_;
  std::unordered_set<uint32_t> high_halves_;
};

const char* VerdictName(PublishedValues::Verdict verdict);

// The latitude and longitude the flight published together in each frame,
// so that a pushed update can be checked to hold both from the same frame.
class PublishedPairs {
 public:
  void Publish(int64_t latitude, int64_t longitude);
  bool Contains(int64_t latitude, int64_t longitude) const;

 private:
  mutable std::mutex mu_;
  std::unordered_set<uint64_t> pairs_;  // a hash of both
};

// One subscription's updates on one connection: seq only grows and frame
// numbers never go back. Each call returns an empty string or what is
// wrong.
class UpdateOrder {
 public:
  std::string Next(uint32_t seq, uint32_t frame);

 private:
  uint32_t seq_ = 0;
  uint32_t frame_ = 0;
};

// The worked example: 0x3304 reads 0x50000004, i.e. bytes 04 00 00 50.
inline constexpr uint32_t kProtocolOffset = 0x3304;
bool ProtocolAnswerOk(const uint8_t* four_bytes);

// Frame times: each frame's length (from its start to the next frame's
// start, the simulator's own work and its wait included) and the plugin's
// time in it. The check is the plugin's share of the longest frame: a
// plugin that blocks the flight loop makes the longest frame its own.
class FrameShare {
 public:
  // plugin_seconds leaves out preempted_seconds, the time the scheduler
  // kept the main thread off the CPU while it was in the plugin.
  void Add(double frame_seconds, double plugin_seconds,
           double preempted_seconds = 0);
  double longest_frame() const { return longest_; }
  // The plugin's time in the longest frame over that frame's length.
  double share_of_longest() const {
    return longest_ > 0 ? plugin_in_longest_ / longest_ : 0;
  }
  double plugin_in_longest() const { return plugin_in_longest_; }
  double preempted_in_longest() const { return preempted_in_longest_; }
  double worst_plugin() const { return worst_plugin_; }
  bool Within(double bound) const { return share_of_longest() <= bound; }
  long frames() const { return frames_; }

 private:
  double longest_ = 0;
  double plugin_in_longest_ = 0;
  double preempted_in_longest_ = 0;
  double worst_plugin_ = 0;
  long frames_ = 0;
};

// Seconds the calling thread has spent runnable but waiting for a CPU
// (the scheduler's run-queue delay, /proc/thread-self/schedstat), or -1
// where the kernel does not keep it. A frame's plugin time has this taken
// out: on a machine with fewer cores than busy threads the main thread is
// preempted by the soak's own clients, which is not the plugin blocking the
// flight loop, while waiting on a lock still counts.
double RunQueueSeconds();
// Run-queue time since start (a RunQueueSeconds reading); 0 where unknown.
double PreemptedSince(double start);

// Open descriptors and threads of this process (/proc/self/fd and
// /proc/self/task; -1 where they cannot be read).
struct Census {
  int descriptors = -1;
  int threads = -1;
  static Census Take();
  std::string Text() const;
};

}  // namespace tarvos::soak

#endif  // TARVOS_BENCH_SOAK_SOAK_CHECKS_H_
