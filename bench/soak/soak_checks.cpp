#include "bench/soak/soak_checks.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tarvos::soak {
namespace {

uint32_t Low(int64_t v) { return static_cast<uint32_t>(v); }
uint32_t High(int64_t v) {
  return static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32);
}

// Entries of a /proc folder, "." and ".." left out; -1 when it cannot be
// opened. The descriptor the listing itself uses is not counted.
int CountEntries(const char* path) {
  DIR* dir = ::opendir(path);
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) {
      continue;
    }
    ++count;
  }
  ::closedir(dir);
  return count;
}

}  // namespace

void PublishedValues::Publish(int64_t value) {
  std::lock_guard<std::mutex> hold(mu_);
  if (!values_.insert(value).second) return;
  low_halves_.insert(Low(value));
  high_halves_.insert(High(value));
}

PublishedValues::Verdict PublishedValues::Classify(int64_t value) const {
  std::lock_guard<std::mutex> hold(mu_);
  if (values_.count(value) != 0) return Verdict::kPublished;
  if (low_halves_.count(Low(value)) != 0 &&
      high_halves_.count(High(value)) != 0) {
    return Verdict::kTorn;
  }
  return Verdict::kUnknown;
}

size_t PublishedValues::size() const {
  std::lock_guard<std::mutex> hold(mu_);
  return values_.size();
}

namespace {
uint64_t PairKey(int64_t a, int64_t b) {
  const uint64_t x = static_cast<uint64_t>(a) * 0x9E3779B97F4A7C15ull;
  return x ^ (static_cast<uint64_t>(b) + 0x7F4A7C159E3779B9ull + (x << 6) +
              (x >> 2));
}
}  // namespace

void PublishedPairs::Publish(int64_t latitude, int64_t longitude) {
  std::lock_guard<std::mutex> hold(mu_);
  pairs_.insert(PairKey(latitude, longitude));
}

bool PublishedPairs::Contains(int64_t latitude, int64_t longitude) const {
  std::lock_guard<std::mutex> hold(mu_);
  return pairs_.count(PairKey(latitude, longitude)) != 0;
}

std::string UpdateOrder::Next(uint32_t seq, uint32_t frame) {
  std::string wrong;
  if (seq <= seq_) {
    wrong = "seq " + std::to_string(seq) + " after " + std::to_string(seq_);
  } else if (frame < frame_) {
    wrong =
        "frame " + std::to_string(frame) + " after " + std::to_string(frame_);
  }
  seq_ = seq;
  frame_ = frame;
  return wrong;
}

const char* VerdictName(PublishedValues::Verdict verdict) {
  switch (verdict) {
    case PublishedValues::Verdict::kPublished:
      return "published";
    case PublishedValues::Verdict::kTorn:
      return "torn (halves of two published values)";
    case PublishedValues::Verdict::kUnknown:
      return "never published";
  }
  return "?";
}

bool ProtocolAnswerOk(const uint8_t* b) {
  return b[0] == 0x04 && b[1] == 0x00 && b[2] == 0x00 && b[3] == 0x50;
}

void FrameShare::Add(double frame_seconds, double plugin_seconds,
                     double preempted_seconds) {
  ++frames_;
  worst_plugin_ = std::max(worst_plugin_, plugin_seconds);
  if (frame_seconds > longest_) {
    longest_ = frame_seconds;
    plugin_in_longest_ = plugin_seconds;
    preempted_in_longest_ = preempted_seconds;
  }
}

double RunQueueSeconds() {
  std::FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
  if (f == nullptr) return -1;
  unsigned long long running = 0, waiting = 0;
  const int n = std::fscanf(f, "%llu %llu", &running, &waiting);
  std::fclose(f);
  return n == 2 ? static_cast<double>(waiting) * 1e-9 : -1;
}

double PreemptedSince(double start) {
  return start < 0 ? 0 : RunQueueSeconds() - start;
}

Census Census::Take() {
  Census c;
  const int fds = CountEntries("/proc/self/fd");
  c.descriptors = fds < 0 ? -1 : fds - 1;  // the listing's own descriptor
  c.threads = CountEntries("/proc/self/task");
  return c;
}

std::string Census::Text() const {
  return std::to_string(descriptors) + " descriptors, " +
         std::to_string(threads) + " threads";
}

}  // namespace tarvos::soak
