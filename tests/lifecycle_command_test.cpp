// The plugin disabled and enabled from outside, as the simulator's plugin
// manager does it: the control channel's `plugin tarvos disable|enable`
// and the host API's XPLMDisablePlugin / XPLMEnablePlugin, cycled while
// clients of both transports keep the plugin busy.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "XPLMPlugin.h"
#include "simhost/control/control_commands.h"
#include "tests/fault_harness.h"
#include "tests/transport_harness.h"
#include "transport/server_options.h"

namespace tarvos {
namespace {

using testing::CountDescriptors;
using testing::CountThreads;
using testing::LoadClients;
using testing::WaitUntil;

int CountLines(const std::string& text, const std::string& line) {
  std::istringstream in(text);
  int n = 0;
  for (std::string l; std::getline(in, l);) n += l == line;
  return n;
}

class LifecycleCommandTest : public testing::TransportFixture {
 protected:
  std::string Run(const std::string& line) { return control_.Execute(line); }

  // Frames until `done`, so that the flight loop runs (and a deferred
  // start after an Enable) while the test waits.
  bool FramesUntil(const std::function<bool()>& done, int ms = 10000) {
    return WaitUntil(
        [&] {
          Frames(1);
          return done();
        },
        ms);
  }

  simhost::ControlExecutor control_{nullptr};
};

// Enable of an enabled plugin and Disable of a disabled one do nothing, on
// the control channel and through the host API alike.
TEST_F(LifecycleCommandTest, RepeatedEnableOrDisableDoesNothing) {
  EXPECT_EQ(Run("plugin tarvos enable"), "error the plugin is not started");
  Start();
  EXPECT_EQ(Run("plugin tarvos disable"),
            "ok plugin tarvos disabled (it was not enabled)");
  EXPECT_EQ(Run("plugin tarvos enable"), "ok plugin tarvos enabled");
  enabled_ = true;
  EXPECT_EQ(Run("plugin tarvos enable"),
            "ok plugin tarvos enabled (it was enabled)");
  EXPECT_EQ(XPLMEnablePlugin(XPLMGetMyID()), 1);
  EXPECT_EQ(XPLMIsPluginEnabled(XPLMGetMyID()), 1);
  Frames(1);
  EXPECT_EQ(CountLines(StatusLogText(), "TARVOS Enable !"), 1);

  EXPECT_EQ(Run("plugin tarvos disable"), "ok plugin tarvos disabled");
  EXPECT_EQ(XPLMIsPluginEnabled(XPLMGetMyID()), 0);
  XPLMDisablePlugin(XPLMGetMyID());
  EXPECT_EQ(Run("plugin tarvos disable"),
            "ok plugin tarvos disabled (it was not enabled)");
  enabled_ = false;
  EXPECT_EQ(CountLines(StatusLogText(), "TARVOS Disable !"), 1);
  EXPECT_EQ(Run("plugin tarvos"), "error usage: plugin tarvos enable|disable");
  EXPECT_EQ(Run("plugin tarvos on"),
            "error usage: plugin tarvos enable|disable");

  // Through the host API: Enable runs XPluginEnable once more.
  EXPECT_EQ(XPLMEnablePlugin(XPLMGetMyID()), 1);
  enabled_ = true;
  EXPECT_EQ(CountLines(StatusLogText(), "TARVOS Enable !"), 2);

  // Other plugins only change their flag.
  const XPLMPluginID x737 = host().AddPlugin("bs.x737.plugin");
  EXPECT_EQ(XPLMIsPluginEnabled(x737), 1);
  XPLMDisablePlugin(x737);
  EXPECT_EQ(XPLMIsPluginEnabled(x737), 0);
  EXPECT_EQ(XPLMEnablePlugin(x737), 1);
  EXPECT_EQ(XPLMIsPluginEnabled(x737), 1);
  EXPECT_EQ(XPLMEnablePlugin(12345), 0);
}

// Disable and Enable cycled while three TCP and two local clients keep
// the plugin busy: every Disable ends every thread and closes every
// descriptor the plugin had (the counts come back to those of the started,
// not enabled plugin), and after every Enable every client is served again.
TEST_F(LifecycleCommandTest, CyclesUnderLoadLeaveNoThreadOrDescriptor) {
  Start();
  const int threads_disabled = CountThreads();
  const int descriptors_disabled = CountDescriptors();
  constexpr int kCycles = 5;

  EXPECT_EQ(Run("plugin tarvos enable"), "ok plugin tarvos enabled");
  enabled_ = true;
  Frames(1);
  ASSERT_TRUE(WaitUntil([] { return TcpServerBoundPort() != 0; }));
  ASSERT_TRUE(WaitUntil([] { return IpcServerListening(); }));
  // The counts see the plugin's threads and descriptors.
  EXPECT_GT(CountThreads(), threads_disabled);
  EXPECT_GT(CountDescriptors(), descriptors_disabled);

  LoadClients clients(3, 2, endpoint_);
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const std::vector<int> before = clients.Snapshot();
    ASSERT_TRUE(FramesUntil([&] { return clients.AllServedSince(before); }))
        << "cycle " << cycle;
    ASSERT_EQ(Run("plugin tarvos disable"), "ok plugin tarvos disabled");
    EXPECT_EQ(TcpServerBoundPort(), 0);
    EXPECT_FALSE(IpcServerListening());
    ASSERT_EQ(Run("plugin tarvos enable"), "ok plugin tarvos enabled");
    Frames(1);
  }
  const std::vector<int> before = clients.Snapshot();
  ASSERT_TRUE(FramesUntil([&] { return clients.AllServedSince(before); }));
  ASSERT_EQ(Run("plugin tarvos disable"), "ok plugin tarvos disabled");
  enabled_ = false;
  clients.Stop();
  EXPECT_EQ(clients.wrong_answers(), 0);

  // The clients' own threads and connections are gone after Stop; what the
  // plugin had is gone at the end of Disable.
  EXPECT_TRUE(WaitUntil([&] {
    return CountThreads() == threads_disabled &&
           CountDescriptors() == descriptors_disabled;
  })) << "threads "
      << CountThreads() << " (" << threads_disabled << " before), descriptors "
      << CountDescriptors() << " (" << descriptors_disabled << " before)";
  const std::string log = StatusLogText();
  EXPECT_EQ(CountLines(log, "TARVOS Enable !"), kCycles + 1);
  EXPECT_EQ(CountLines(log, "TARVOS Disable !"), kCycles + 1);
}

}  // namespace
}  // namespace tarvos

namespace simhost {
namespace {

int RefusingStart(char* name, char* signature, char* description) {
  name[0] = signature[0] = description[0] = '\0';
  return 1;
}
int enable_calls = 0;
int RefusingEnable() {
  ++enable_calls;
  return 0;
}
void Nothing() {}

// A plugin whose Enable returns 0 stays disabled: the control channel says
// so, the host API reports it disabled, and Disable does not call it.
TEST(PluginManagerTest, RefusedEnableLeavesThePluginDisabled) {
  Host& host = Host::Get();
  host.Reset();
  PluginEntryPoints refusing;
  refusing.start = &RefusingStart;
  refusing.enable = &RefusingEnable;
  refusing.disable = +[] { ADD_FAILURE() << "Disable of a disabled plugin"; };
  refusing.stop = &Nothing;
  host.AttachPlugin(refusing);
  ASSERT_EQ(host.StartPlugin(), 1);
  ControlExecutor control(nullptr);
  EXPECT_EQ(control.Execute("plugin tarvos enable"),
            "error the plugin did not enable");
  EXPECT_EQ(enable_calls, 1);
  EXPECT_EQ(XPLMIsPluginEnabled(XPLMGetMyID()), 0);
  EXPECT_EQ(XPLMEnablePlugin(XPLMGetMyID()), 0);
  EXPECT_EQ(enable_calls, 2);
  EXPECT_EQ(control.Execute("plugin tarvos disable"),
            "ok plugin tarvos disabled (it was not enabled)");
  XPLMDisablePlugin(XPLMGetMyID());
  host.StopPlugin();
}

}  // namespace
}  // namespace simhost
