// The main of every test program: GoogleTest's, plus the strict host's one
// check. A test during which the stand-in host recorded a host error (a call
// the simulator would refuse: see simhost::Host::HostErrors) fails, whatever
// it asserted itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "simhost/host/host.h"

namespace {

// Runs at the end of every test, before the result is printed: a failure
// added here counts against the test that just ran. Errors the test took
// itself (TakeHostErrors) are gone by then.
class HostErrorCheck : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    // One failure per kind of error, in the order first made: a thread
    // loop can make the same wrong call thousands of times.
    std::vector<std::pair<std::string, int>> kinds;
    for (const std::string& error : simhost::Host::Get().TakeHostErrors()) {
      auto same = std::find_if(kinds.begin(), kinds.end(),
                               [&](const auto& k) { return k.first == error; });
      if (same == kinds.end()) {
        kinds.emplace_back(error, 1);
      } else {
        ++same->second;
      }
    }
    for (const auto& [error, count] : kinds) {
      ADD_FAILURE() << "host error: " << error << " (" << count
                    << (count == 1 ? " time)" : " times)");
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Appended last, so it runs first among the end-of-test listeners.
  ::testing::UnitTest::GetInstance()->listeners().Append(new HostErrorCheck);
  return RUN_ALL_TESTS();
}
