#include "requests/message_window.h"

#include <atomic>
#include <cstring>

#include "XPLMGraphics.h"
#include "XPLMProcessing.h"
#include "base/locks.h"
#include "offsets/coding.h"
#include "offsets/offset_block.h"
#include "requests/one_second_timer.h"

namespace tarvos {
namespace {

// No request pending. Display times are 16-bit, so this never is one.
constexpr int32_t kNothingPending = INT32_MIN;

// The display time (in timer runs) of the latest request not yet applied.
// Atomic because the transport threads set it and the flight loop takes it;
// a second write before the next frame replaces the first, so only one
// window is ever created for them.
std::atomic<int32_t> g_pending_runs{kNothingPending};

// Main thread only: the window shown (null when none), the text it draws
// and the timer runs it has left (-1 idle). The countdown is atomic only
// because StepCountdown works on atomics; nothing else touches it.
XPLMWindowID g_window = nullptr;
char g_text[kMessageTextSize] = {};
std::atomic<int32_t> g_runs_left{-1};

// The band's place: 20 pixels below the top edge, 20 high, full width.
constexpr int kBandTop = 20;
constexpr int kBandHeight = 20;
constexpr int kTextInset = 10;
constexpr int kTextDrop = 13;

// The text as the client left it. The flight loop never waits for
// OffsetLock: while a client holds it the previous copy is drawn.
void CopyText() {
  if (!OffsetLock.TryAcquire()) return;
  std::memcpy(g_text, OffsetBlock + kMessageTextOffset, kMessageTextSize);
  OffsetLock.Release();
  g_text[kMessageTextSize - 1] = '\0';
}

void DrawMessage(XPLMWindowID window, void*) {
  int left = 0, top = 0, right = 0, bottom = 0;
  XPLMGetWindowGeometry(window, &left, &top, &right, &bottom);
  XPLMDrawTranslucentDarkBox(left, top, right, bottom);
  CopyText();
  float white[3] = {1.0f, 1.0f, 1.0f};
  XPLMDrawString(white, left + kTextInset, top - kTextDrop, g_text, nullptr,
                 xplmFont_Basic);
}

void IgnoreKey(XPLMWindowID, char, XPLMKeyFlags, char, void*, int) {}

// Every click on the band is taken, so none reaches the cockpit beneath.
int TakeClick(XPLMWindowID, int, int, XPLMMouseStatus, void*) { return 1; }

// Destroys the window shown, if there is one, and forgets its handle, so
// that nothing is ever destroyed twice.
void DestroyWindow() {
  if (g_window == nullptr) return;
  XPLMDestroyWindow(g_window);
  g_window = nullptr;
}

void ShowWindow(int32_t runs) {
  DestroyWindow();
  int width = 0, height = 0;
  XPLMGetScreenSize(&width, &height);
  CopyText();
  g_window = XPLMCreateWindow(1, height - kBandTop, width,
                              height - kBandTop - kBandHeight, 1, DrawMessage,
                              IgnoreKey, TakeClick, nullptr);
  g_runs_left.store(runs);
}

// 0x32FA: display time in timer runs; the window follows at the next frame.
void WriteMessageTime(uint32_t, const uint8_t* v) {
  g_pending_runs.store(MessageRunsFor(LoadS16(v)), std::memory_order_release);
}

constexpr WriteHandler kHandlers[] = {
    {static_cast<uint16_t>(kMessageTimeOffset), 2, WriteTest::kAlways,
     WriteMessageTime},
};

}  // namespace

int32_t MessageRunsFor(int16_t display_time) {
  if (display_time == 0 || display_time == -1) return 65535;
  return display_time;
}

std::span<const WriteHandler> MessageWindowWriteHandlers() { return kHandlers; }

float MessageWindowFrame(float, float, int, void*) {
  // The common case, every frame: one load, nothing to do.
  if (g_pending_runs.load(std::memory_order_relaxed) == kNothingPending) {
    return -1.0f;
  }
  const int32_t runs =
      g_pending_runs.exchange(kNothingPending, std::memory_order_acquire);
  if (runs != kNothingPending) ShowWindow(runs);
  return -1.0f;
}

void StepMessageWindowTime() {
  if (StepCountdown(g_runs_left)) DestroyWindow();
}

void RegisterMessageWindow() {
  g_pending_runs.store(kNothingPending);
  XPLMRegisterFlightLoopCallback(MessageWindowFrame, -1.0f, nullptr);
}

void UnregisterMessageWindow() {
  XPLMUnregisterFlightLoopCallback(MessageWindowFrame, nullptr);
  // The transports have not stopped yet; a request that arrives from now
  // on is dropped at the next enable.
  g_pending_runs.store(kNothingPending);
  DestroyWindow();
  g_runs_left.store(-1);
}

XPLMWindowID MessageWindowHandle() { return g_window; }
int32_t MessageWindowRunsLeft() { return g_runs_left.load(); }

}  // namespace tarvos
