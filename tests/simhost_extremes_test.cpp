// The stand-in host keeps working when the plugin writes values far outside
// what a cockpit shows: found by fuzzing the write handlers against
// extreme dataref values (a Mach target scaled by a huge speed of sound
// reached the x737 panel as 1e14, which the panel turned into an int).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "XPLMDataAccess.h"
#include "simhost/host/host.h"

namespace simhost {
namespace {

TEST(SimhostExtremesTest, X737PanelTakesFloatWritesOfAnySize) {
  Host& host = Host::Get();
  host.Reset();
  host.AddPlugin("bs.x737.plugin");
  const float kValues[] = {1e14f, -3e38f,
                           std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(), 250.0f};
  XPLMDataRef spd = XPLMFindDataRef("x737/systems/athr/MCPSPD_spd");
  XPLMDataRef hdg = XPLMFindDataRef("x737/systems/afds/HDG_magnhdg");
  ASSERT_NE(spd, nullptr);
  ASSERT_NE(hdg, nullptr);
  for (float v : kValues) {
    SCOPED_TRACE(v);
    XPLMSetDataf(spd, v);
    XPLMSetDataf(hdg, v);
    // The MCP window mirrors what was dialled, whatever it is.
    const float shown = host.GetFloat("x737/systems/athr/MCPSPD_spdkias");
    if (std::isnan(v)) {
      EXPECT_TRUE(std::isnan(shown));
    } else {
      EXPECT_EQ(shown, v);
    }
  }
  // The switches still work after it.
  XPLMSetDatai(XPLMFindDataRef("x737/systems/afds/CMD_A"), 1);
  EXPECT_EQ(host.GetInt("x737/systems/afds/APengaged"), 1);
  std::error_code ec;
  std::filesystem::remove_all(host.SystemPath(), ec);
}

}  // namespace
}  // namespace simhost
