#include "simhost/host.h"

#include <gtest/gtest.h>

namespace simhost {
namespace {

TEST(SimhostDatarefs, DefaultPositionIsParkedOnRunway) {
  Host& host = Host::Get();
  host.Reset();
  XPLMDataRef lat = XPLMFindDataRef("sim/flightmodel/position/latitude");
  ASSERT_NE(lat, nullptr);
  EXPECT_DOUBLE_EQ(XPLMGetDatad(lat), 47.46);
}

}  // namespace
}  // namespace simhost
