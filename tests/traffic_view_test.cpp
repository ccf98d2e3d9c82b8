// `tarvos-client watch --traffic`: the real program reads the traffic table
// and the user's position from the plugin and lists the aircraft in use,
// nearest first.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/transport_harness.h"
#include "traffic/traffic_thread.h"

namespace tarvos::testing {
namespace {

class TrafficViewTest : public TransportFixture {
 protected:
  void SetUp() override {
    TransportFixture::SetUp();
    const char* dir = std::getenv("TARVOS_BUILD_DIR");
    tool_ = std::string(dir != nullptr ? dir : ".") + "/client/tarvos-client";
    if (::access(tool_.c_str(), X_OK) != 0) {
      GTEST_SKIP() << "tarvos-client not built";
    }
  }

  int Tool(const std::string& args, std::string* out) {
    std::string command =
        tool_ + " --port " + std::to_string(port_) + " " + args + " 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string tool_;
};

TEST_F(TrafficViewTest, ListsTheAircraftInUseNearestFirst) {
  simhost::Host& h = host();
  h.SetAircraft({{"User.acf", "/a/User.acf"},
                 {"Far_Jet.acf", "/a/f.acf"},
                 {"Near_Prop.acf", "/a/n.acf"},
                 {"Mid_Turboprop_Long.acf", "/a/m.acf"}});
  h.SetDouble("sim/flightmodel/position/latitude", 46.5);
  h.SetDouble("sim/flightmodel/position/longitude", 7.5);
  auto plane = [&](int n, double lat, double lon, double el, float psi,
                   float vx, float vz) {
    const std::string p =
        "sim/multiplayer/position/plane" + std::to_string(n) + "_";
    h.SetDouble(p + "lat", lat);
    h.SetDouble(p + "lon", lon);
    h.SetDouble(p + "el", el);
    h.SetFloat(p + "psi", psi);
    h.SetFloat(p + "v_x", vx);
    h.SetFloat(p + "v_z", vz);
  };
  plane(1, 46.5, 9.5, 3048.0, 90, 0, -200);  // east, 82.7 nm
  plane(2, 46.6, 7.5, 304.8, 180, 30, 40);   // north, 6 nm
  plane(3, 46.5, 7.2, 1524.0, 0, 0, 100);    // west, about 12 nm
  StartServers();
  Frames(90);  // the position is refreshed after half a second
  ASSERT_TRUE(WaitUntil(
      [] {
        KickTrafficCycle();
        return TrafficSlotsInUse() == 3 && NearestTrafficOffset() == 0xF0A8;
      },
      20000));
  std::string out;
  ASSERT_EQ(Tool("watch --poll --traffic --count 1", &out), 0) << out;
  EXPECT_EQ(out,
            "ID           MODEL            DIST nm  BRG  ALT ft   GS kt\n"
            "-682         Near_Prop.acf        6.0  000    1000      97\n"
            "-681         Mid_Turboprop_L     12.4  270    5000     194\n"
            "-683         Far_Jet.acf         82.7  089   10000     388\n");

  // Nobody else: one line says so.
  h.SetAircraft({{"User.acf", "/a/User.acf"}});
  h.SendMessageToPlugin(0, 105, nullptr);
  ASSERT_TRUE(WaitUntil(
      [] {
        KickTrafficCycle();
        return TrafficSlotsInUse() == 0;
      },
      20000));
  out.clear();
  ASSERT_EQ(Tool("watch --poll --traffic --count 1", &out), 0) << out;
  EXPECT_EQ(out, "no traffic\n");
}

}  // namespace
}  // namespace tarvos::testing
