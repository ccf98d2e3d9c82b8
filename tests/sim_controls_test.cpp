// The stand-in simulator's own controls: the pause key, the joystick
// buttons beyond the first 32, the failure slots and the `failures` and
// `snapshot` commands, without the plugin.
#include <gtest/gtest.h>

#include <string>

#include "XPLMDataAccess.h"
#include "XPLMUtilities.h"
#include "XPStandardWidgets.h"
#include "XPWidgets.h"
#include "simhost/control/control_commands.h"
#include "simhost/host/host.h"
#include "simhost/host/widget_snapshot.h"

namespace {

using simhost::Host;

class SimControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { Host::Get().Reset(); }
  Host& host() { return Host::Get(); }
  simhost::ControlExecutor exec_{nullptr};
};

// Each press of the pause key flips pause; the clock stops while paused.
TEST_F(SimControlsTest, PauseKeyTogglesPauseAndStopsTheClock) {
  const int kSteps[] = {1, 0, 1, 0};
  for (int paused : kSteps) {
    XPLMCommandKeyStroke(xplm_key_pause);
    EXPECT_EQ(host().GetInt("sim/time/paused"), paused);
    const float before = host().GetFloat("sim/time/zulu_time_sec");
    host().StepFrames(60);
    const float after = host().GetFloat("sim/time/zulu_time_sec");
    if (paused) {
      EXPECT_FLOAT_EQ(after, before);
    } else {
      EXPECT_GT(after, before);
    }
  }
  // Other keys leave pause alone.
  XPLMCommandKeyStroke(12);
  EXPECT_EQ(host().GetInt("sim/time/paused"), 0);
}

TEST_F(SimControlsTest, ButtonsPastThirtyOneAreHeldUntilReleased) {
  for (int button : {2, 31, 32, 84}) {
    SCOPED_TRACE(button);
    XPLMCommandButtonPress(button);
    EXPECT_TRUE(host().ButtonHeld(button));
    XPLMCommandButtonRelease(button);
    EXPECT_FALSE(host().ButtonHeld(button));
  }
}

TEST_F(SimControlsTest, FailureSlotsHoldEveryElementThePluginWrites) {
  XPLMDataRef failures = XPLMFindDataRef("sim/operation/failures/failures");
  ASSERT_NE(failures, nullptr);
  EXPECT_GE(XPLMGetDatavi(failures, nullptr, 0, 0), 564);
  // Read-only to plugins on 12.1; the simulator itself still fails them.
  host().SetIntElement("sim/operation/failures/failures", 563, 5);
  host().SetIntElement("sim/operation/failures/failures", 19, 5);
  EXPECT_EQ(exec_.Execute("failures"), "ok 2 of 667 19:5 563:5");
  EXPECT_EQ(exec_.Execute("failures now").rfind("error", 0), 0u);
}

// The picture holds what a user sees: visible windows and their visible
// widgets, hidden ones left out.
TEST_F(SimControlsTest, SnapshotShowsVisibleWindowsOnly) {
  EXPECT_EQ(simhost::WidgetSnapshotSvg().find("<text"), std::string::npos);
  XPWidgetID shown = XPCreateWidget(100, 400, 300, 200, 1, "Shown window", 1,
                                    nullptr, xpWidgetClass_MainWindow);
  XPCreateWidget(110, 380, 200, 360, 1, "Visible caption", 0, shown,
                 xpWidgetClass_Caption);
  XPCreateWidget(110, 340, 200, 320, 0, "Hidden caption", 0, shown,
                 xpWidgetClass_Caption);
  XPWidgetID hidden = XPCreateWidget(500, 400, 600, 300, 0, "Hidden window", 1,
                                     nullptr, xpWidgetClass_MainWindow);
  XPCreateWidget(510, 380, 590, 360, 1, "Inside hidden", 0, hidden,
                 xpWidgetClass_Button);
  const std::string svg = simhost::WidgetSnapshotSvg();
  EXPECT_NE(svg.find(">Shown window<"), std::string::npos);
  EXPECT_NE(svg.find(">Visible caption<"), std::string::npos);
  EXPECT_EQ(svg.find("Hidden caption"), std::string::npos);
  EXPECT_EQ(svg.find("Hidden window"), std::string::npos);
  EXPECT_EQ(svg.find("Inside hidden"), std::string::npos);
  // Texts are escaped for XML.
  XPSetWidgetDescriptor(shown, "A<B & \"C\"");
  EXPECT_NE(simhost::WidgetSnapshotSvg().find(">A&lt;B &amp; &quot;C&quot;<"),
            std::string::npos);
}

}  // namespace
