// The preset view of `tarvos-client watch`, built from catalogue names:
// known dataref values in the stand-in host, published by the plugin, read by
// the real program with its output in a pipe (one block per poll, no escape
// codes).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

class WatchPresetTest : public TransportFixture {
 protected:
  void SetUp() override {
    TransportFixture::SetUp();
    tool_ = std::string(std::getenv("TARVOS_BUILD_DIR")
                            ? std::getenv("TARVOS_BUILD_DIR")
                            : ".") +
            "/client/tarvos-client";
    if (::access(tool_.c_str(), X_OK) != 0) {
      GTEST_SKIP() << "tarvos-client not built";
    }
    StartServers();
    Frames(90);  // the refresh callbacks begin after half a second
    simhost::Host& h = host();
    h.SetDouble("sim/flightmodel/position/latitude", 46.5);
    h.SetDouble("sim/flightmodel/position/longitude", -7.25);
    h.SetDouble("sim/flightmodel/position/elevation", 1000.5);
    h.SetFloat("sim/flightmodel/position/psi", 270);
    h.SetFloat("sim/flightmodel/position/indicated_airspeed", 126);
    h.SetFloat("sim/flightmodel/position/true_airspeed", 50);  // m/s
    h.SetFloat("sim/flightmodel/position/groundspeed", 50);    // m/s
    h.SetFloat("sim/flightmodel/position/vh_ind", 5.08f);      // m/s
    // Heading hold, both altitude-hold bits.
    h.SetInt("sim/cockpit/autopilot/autopilot_state", 0x2 | 0x4020 | 0x1);
    h.SetInt("sim/cockpit/autopilot/autopilot_mode", 2);  // engaged
    h.SetFloat("sim/cockpit/autopilot/airspeed", 250);
    h.SetFloat("sim/weather/sigma", 1);
    h.SetFloat("sim/weather/speed_sound_ms", 340.29f);
    h.SetFloat("sim/cockpit/autopilot/heading_mag", 90);
    h.SetFloat("sim/cockpit/autopilot/altitude", 5000);
    h.SetFloat("sim/cockpit/autopilot/vertical_velocity", -700);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_FF_", 0, 0.1f);  // kg/s
    h.SetFloatElement("sim/flightmodel/engine/ENGN_EGT_c", 0, 600);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_oil_temp_c", 0, 80);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_oil_press_psi", 0, 45);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_EPR", 0, 1.25f);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_N1_", 0, 85.5f);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_N2_", 0, 95.25f);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_N1_", 1, 40);
    h.SetFloatElement("sim/flightmodel/engine/ENGN_N2_", 1, 60);
    // Flaps half out, spoilers a quarter out, the parking brake off.
    h.SetFloat("sim/cockpit2/controls/flap_handle_deploy_ratio", 0.5f);
    h.SetFloat("sim/flightmodel/controls/sbrkrqst", 0.25f);
    h.SetFloat("sim/flightmodel/controls/parkbrake", 0);
    // Two tanks of 100 kg with 90 kg in each: the capacities come with the
    // aircraft.
    h.SetAircraft({{"Twin.acf", "/aircraft/Twin/Twin.acf"}});
    h.SendMessageToPlugin(0, 102, nullptr);
    h.SetFloat("sim/time/local_time_sec", 45309);  // 12:35:09
    h.SetInt("sim/time/local_date_days", 171);
    // Enough frames for the slowest refresh (the date, every 313th frame);
    // almost no time passes, so the clock stays where it was set.
    Frames(320, 1e-6f);
  }

  // Runs the tool against the fixture's server; exit code and stdout.
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

TEST_F(WatchPresetTest, DecodesEveryPresetRow) {
  std::string out;
  ASSERT_EQ(Tool("watch --poll --count 1", &out), 0) << out;
  EXPECT_EQ(out,
            "latitude          46.500000 deg\n"
            "longitude         -7.250000 deg\n"
            "altitude          3282 ft\n"
            "heading (true)    270.000000 deg\n"
            "IAS               126.0 kt\n"
            "TAS               97.2 kt\n"
            "ground speed      97.2 kt\n"
            "vertical speed    1000 ft/min\n"
            "COM1              118.10 MHz\n"
            "COM2              121.90 MHz\n"
            "NAV1              110.30 MHz\n"
            "NAV1 ident        ISNQ\n"
            "NAV1 DME          00.6\n"
            "NAV2              116.80 MHz\n"
            "NAV2 ident        SEA\n"
            "NAV2 DME          02.5\n"
            "ADF1              362 kHz\n"
            "transponder       1200\n"
            "AP master         1\n"
            "flight director   1\n"
            "AP NAV1 hold      0\n"
            "AP heading hold   1\n"
            "AP heading        90.0 deg\n"
            "AP altitude hold  16416\n"
            "AP altitude       5000.000 ft\n"
            "AP V/S hold       0\n"
            "AP V/S            -700 ft/min\n"
            "AP speed hold     1\n"
            "AP airspeed       250 kt\n"
            "AP Mach           0.3800\n"
            "eng 1 N1          85.5 %\n"
            "eng 1 N2          95.2 %\n"
            "eng 2 N1          40.0 %\n"
            "eng 2 N2          60.0 %\n"
            "eng 1 fuel flow   793.66 lb/h\n"
            "eng 1 EGT         600 C\n"
            "eng 1 oil temp    80.0 C\n"
            "eng 1 oil press   45.0 psi\n"
            "eng 1 EPR         1.250\n"
            "flaps             0.500\n"
            "gear handle       16383\n"
            "spoilers          7695\n"
            "parking brake     0.0000\n"
            "fuel centre       0.0000 %\n"
            "fuel left main    90.0784 %\n"
            "fuel right main   90.0784 %\n"
            "temperature       14.2 C\n"
            "sea level press   1013 hPa\n"
            "wind              5 kt\n"
            "wind from (true)  270.0 deg\n"
            "visibility        9.99 mi\n"
            "local time        12:35:09\n"
            "day of year       172\n");
}

TEST_F(WatchPresetTest, RawShowsTheSameOffsetsAsBytes) {
  std::string out;
  ASSERT_EQ(Tool("watch --poll --raw --count 1", &out), 0) << out;
  // Rows worked out by hand from the published encodings.
  struct Row {
    const char* line;
  };
  const Row kRows[] = {
      {"altitude          0x0570  00 00 00 80 E8 03 00 00\n"},
      {"heading (true)    0x0580  00 00 00 C0\n"},
      {"IAS               0x02BC  00 3F 00 00\n"},
      {"AP altitude hold  0x07D0  20 40 00 00\n"},
      {"AP V/S            0x07F2  44 FD\n"},
      {"local time        0x0C20  31 32 3A 33 35 3A 30 39 00\n"},
      {"day of year       0x023E  AC 00\n"},
  };
  for (const Row& r : kRows) {
    EXPECT_NE(out.find(r.line), std::string::npos) << r.line << out;
  }
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

// Names from the catalogue: decoded reads with units, writes encoded through
// the same scale, and the errors a user sees for a bad name or value.
TEST_F(WatchPresetTest, ReadsAndWritesByName) {
  std::string out;
  ASSERT_EQ(Tool("read position.latitude attitude.heading 0x3304:u32", &out), 0)
      << out;
  EXPECT_EQ(out,
            "position.latitude  46.500000 deg\n"
            "attitude.heading   270.000000 deg\n"
            "0x3304:u32         1342177284\n");
  out.clear();
  ASSERT_EQ(Tool("write client.altitude_units=2", &out), 0) << out;
  EXPECT_EQ(U16(0x0C18), 2);

  const struct {
    const char* args;
    const char* message;
  } kRefused[] = {
      {"read position.lattitude",
       "unknown field 'position.lattitude' (closest: position.latitude"},
      {"read engine.1", "'engine.1' is not a field name; it starts"},
      {"write client.altitude_units=70000",
       "70000 is out of range for client.altitude_units (0 to 65535)"},
      {"write client.altitude_units=-5",
       "-5 is out of range for client.altitude_units (0 to 65535)"},
      {"write clock.local_hour=3", "clock.local_hour is read-only"},
  };
  for (const auto& r : kRefused) {
    out.clear();
    EXPECT_EQ(Tool(r.args, &out), 2) << r.args;
    EXPECT_NE(out.find(r.message), std::string::npos) << r.args << ": " << out;
  }
  EXPECT_EQ(U16(0x0C18), 2) << "a refused value writes nothing";
}

// Off a terminal every poll is its own block: no screen control, a blank
// line between blocks.
TEST_F(WatchPresetTest, PipedPollsAreSeparateBlocks) {
  std::string out;
  ASSERT_EQ(Tool("watch --poll --count 2 --interval 10", &out), 0) << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
  size_t gap = out.find("\n\nlatitude ");
  ASSERT_NE(gap, std::string::npos) << out;
  EXPECT_EQ(out.substr(0, gap + 1), out.substr(gap + 2));
  out.clear();
  // Explicit fields keep their own view; --raw shows their bytes.
  ASSERT_EQ(Tool("watch --poll --count 1 --raw 0x0238:u8 0x023E:u16", &out), 0);
  EXPECT_EQ(out, "0x0238:u8   0C\n0x023E:u16  AC00\n");
}

}  // namespace
}  // namespace tarvos::testing
