// The on-screen message window: a display time written to 0x32FA shows the
// text at 0x3380 from the next frame on, in a band across the top of the
// screen, for the written number of timer runs. The strict host fails any
// test in which a window call came from another thread than the main one or
// a window was destroyed that does not exist (or twice).
#include "requests/message_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "requests/write_dispatch.h"
#include "tests/support/plugin_fixture.h"

namespace tarvos {
namespace {

class MessageWindowTest : public testing::PluginFixture {
 protected:
  void SetUp() override {
    PluginFixture::SetUp();
    Start();
    Enable();
  }

  void SetText(const std::string& text) {
    std::vector<uint8_t> b(kMessageTextSize, 0);
    std::memcpy(b.data(), text.data(), std::min(text.size(), b.size()));
    Write(kMessageTextOffset, b);
  }
  // The display time written from a transport thread of its own.
  void ShowFromAnotherThread(int16_t v) {
    std::thread client([&] {
      std::vector<uint8_t> b(2);
      StoreS16(b.data(), v);
      Write(kMessageTimeOffset, b);
    });
    client.join();
  }
  // Ticks of the one-second timer, at 10 frames a second.
  void Ticks(int n) { Frames(10 * n, 0.1f); }

  std::vector<simhost::Host::WindowReport> Shown() {
    return host().WindowCensus();
  }
};

TEST_F(MessageWindowTest, DisplayTimes) {
  const struct {
    int16_t v;
    int32_t runs;
  } kRows[] = {{10, 10}, {1, 1},         {0, 65535},      {-1, 65535},
               {-5, -5}, {32767, 32767}, {-32768, -32768}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.v);
    EXPECT_EQ(MessageRunsFor(r.v), r.runs);
  }
}

TEST_F(MessageWindowTest, ShowsAtTheNextFrameForTenTicks) {
  SetText("Hello pilot");
  ShowFromAnotherThread(10);
  EXPECT_TRUE(Shown().empty());  // nothing happens on the client's thread
  Frames(1, 0.001f);
  auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].info.left, 1);
  EXPECT_EQ(shown[0].info.top, 1060);
  EXPECT_EQ(shown[0].info.right, 1920);
  EXPECT_EQ(shown[0].info.bottom, 1040);
  EXPECT_TRUE(shown[0].info.visible);
  EXPECT_EQ(shown[0].last_text, "Hello pilot");
  EXPECT_EQ(host().ClickWindow(shown[0].id, 5, 1050, xplm_MouseDown), 1);
  Ticks(9);
  EXPECT_EQ(Shown().size(), 1u);
  Ticks(2);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(MessageWindowHandle(), nullptr);
  // The next message after the timer removed the window destroys nothing.
  ShowFromAnotherThread(3);
  Frames(1, 0.001f);
  EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(MessageWindowTest, LongAndEndlessTimes) {
  const struct {
    int16_t v;
    int32_t runs_after_five;
  } kRows[] = {{0, 65530}, {-1, 65530}, {-5, -5}};
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.v);
    ShowFromAnotherThread(r.v);
    Frames(1, 0.001f);
    Ticks(5);
    EXPECT_EQ(Shown().size(), 1u);
    EXPECT_EQ(MessageWindowRunsLeft(), r.runs_after_five);
  }
  Ticks(30);
  EXPECT_EQ(Shown().size(), 1u);  // -5 stays until replaced
}

TEST_F(MessageWindowTest, WritesReplaceTheWindowAndOnlyOneExists) {
  SetText("one");
  ShowFromAnotherThread(10);
  ShowFromAnotherThread(20);  // two before a frame: one window, the later time
  Frames(1, 0.001f);
  auto first = Shown();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(MessageWindowRunsLeft(), 20);
  SetText("two");
  ShowFromAnotherThread(5);
  Frames(1, 0.001f);
  auto second = Shown();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_NE(second[0].id, first[0].id);
  EXPECT_EQ(second[0].last_text, "two");
  EXPECT_EQ(MessageWindowRunsLeft(), 5);
}

TEST_F(MessageWindowTest, TextChangesShowAtTheNextDrawWithoutResettingTheTime) {
  SetText("before");
  ShowFromAnotherThread(10);
  Frames(1, 0.001f);
  Ticks(3);
  const int32_t left = MessageWindowRunsLeft();
  SetText("after");
  Frames(1, 0.001f);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].last_text, "after");
  EXPECT_EQ(MessageWindowRunsLeft(), left);
}

TEST_F(MessageWindowTest, FullTextShowsItsFirst127Characters) {
  std::string text(kMessageTextSize, 'x');
  for (size_t i = 0; i < text.size(); ++i) text[i] = 'A' + i % 26;
  SetText(text);
  ShowFromAnotherThread(10);
  Frames(1, 0.001f);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].last_text, text.substr(0, 127));
}

TEST_F(MessageWindowTest, DisableRemovesTheWindowAndDropsAPendingRequest) {
  ShowFromAnotherThread(-5);
  Frames(1, 0.001f);
  ASSERT_EQ(Shown().size(), 1u);
  Disable();
  EXPECT_TRUE(Shown().empty());
  ShowFromAnotherThread(10);  // after the window's frame callback is gone
  Enable();
  Frames(2, 0.001f);
  EXPECT_TRUE(Shown().empty());
}

}  // namespace
}  // namespace tarvos
