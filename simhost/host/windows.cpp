// Plugin windows and 2-D drawing. The host draws nothing: DrawWindow calls
// the window's draw callback and XPLMDrawString records the text drawn.
#include "XPLMDisplay.h"
#include "XPLMGraphics.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

Window* FindWindow(Host::State& s, XPLMWindowID id) REQUIRES(s.mu) {
  auto it = s.windows.find(id);
  return it == s.windows.end() ? nullptr : &it->second;
}

}  // namespace

std::vector<XPLMWindowID> Host::Windows() const {
  simhost::HostLock lock(state_->mu);
  std::vector<XPLMWindowID> out;
  for (const auto& [id, window] : state_->windows) out.push_back(id);
  return out;
}

WindowInfo Host::GetWindowInfo(XPLMWindowID window) const {
  simhost::HostLock lock(state_->mu);
  const Window* w = FindWindow(*state_, window);
  return w != nullptr ? w->info : WindowInfo{};
}

void Host::DrawWindow(XPLMWindowID window) {
  XPLMDrawWindow_f draw = nullptr;
  void* refcon = nullptr;
  {
    simhost::HostLock lock(state_->mu);
    Window* w = FindWindow(*state_, window);
    if (w == nullptr) return;
    draw = w->draw;
    refcon = w->refcon;
    w->drawing.clear();
    state_->drawing_window = window;
  }
  if (draw != nullptr) draw(window, refcon);
  simhost::HostLock lock(state_->mu);
  state_->drawing_window = nullptr;
  // The callback may have destroyed its own window.
  if (Window* w = FindWindow(*state_, window)) w->last_text = w->drawing;
}

// Returns the mouse callback's answer; 0 for an unknown window or one
// without a mouse callback.
int Host::ClickWindow(XPLMWindowID window, int x, int y,
                      XPLMMouseStatus status) {
  XPLMHandleMouseClick_f mouse = nullptr;
  void* refcon = nullptr;
  {
    simhost::HostLock lock(state_->mu);
    const Window* w = FindWindow(*state_, window);
    if (w == nullptr) return 0;
    mouse = w->mouse;
    refcon = w->refcon;
  }
  return mouse != nullptr ? mouse(window, x, y, status, refcon) : 0;
}

std::vector<std::string> Host::TakeDrawnStrings() {
  simhost::HostLock lock(state_->mu);
  std::vector<std::string> out;
  out.swap(state_->drawn_strings);
  return out;
}

}  // namespace simhost

using simhost::Window;

XPLMWindowID XPLMCreateWindow(int inLeft, int inTop, int inRight, int inBottom,
                              int inIsVisible, XPLMDrawWindow_f inDrawCallback,
                              XPLMHandleKey_f inKeyCallback,
                              XPLMHandleMouseClick_f inMouseCallback,
                              void* inRefcon) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  XPLMWindowID id = s.NewToken();
  Window& w = s.windows[id];
  w.info = {inLeft, inTop, inRight, inBottom, inIsVisible != 0};
  w.draw = inDrawCallback;
  w.key = inKeyCallback;
  w.mouse = inMouseCallback;
  w.refcon = inRefcon;
  return id;
}

// A window that does not exist (never created, or destroyed already) is a
// host error; nothing else happens.
void XPLMDestroyWindow(XPLMWindowID inWindowID) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (s.windows.erase(inWindowID) != 0) {
    s.destroyed_windows.insert(inWindowID);
  } else if (s.destroyed_windows.count(inWindowID) != 0) {
    simhost::RecordHostError(s,
                             "XPLMDestroyWindow of a window destroyed "
                             "already");
  } else {
    simhost::RecordHostError(s,
                             "XPLMDestroyWindow of a window that does not "
                             "exist");
  }
}

void XPLMGetScreenSize(int* outWidth, int* outHeight) {
  {
    auto& s = simhost::HostState();
    simhost::HostLock lock(s.mu);
    simhost::RequireMainThread(s, __func__);
  }
  if (outWidth != nullptr) *outWidth = simhost::kScreenWidth;
  if (outHeight != nullptr) *outHeight = simhost::kScreenHeight;
}

// An unknown window leaves the outputs untouched.
void XPLMGetWindowGeometry(XPLMWindowID inWindowID, int* outLeft, int* outTop,
                           int* outRight, int* outBottom) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  const Window* w = simhost::FindWindow(s, inWindowID);
  if (w == nullptr) return;
  if (outLeft != nullptr) *outLeft = w->info.left;
  if (outTop != nullptr) *outTop = w->info.top;
  if (outRight != nullptr) *outRight = w->info.right;
  if (outBottom != nullptr) *outBottom = w->info.bottom;
}

void XPLMSetWindowGeometry(XPLMWindowID inWindowID, int inLeft, int inTop,
                           int inRight, int inBottom) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Window* w = simhost::FindWindow(s, inWindowID)) {
    w->info.left = inLeft;
    w->info.top = inTop;
    w->info.right = inRight;
    w->info.bottom = inBottom;
  }
}

int XPLMGetWindowIsVisible(XPLMWindowID inWindowID) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  const Window* w = simhost::FindWindow(s, inWindowID);
  return w != nullptr && w->info.visible ? 1 : 0;
}

void XPLMSetWindowIsVisible(XPLMWindowID inWindowID, int inIsVisible) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Window* w = simhost::FindWindow(s, inWindowID)) {
    w->info.visible = inIsVisible != 0;
  }
}

void XPLMDrawTranslucentDarkBox(int, int, int, int) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
}

void XPLMDrawString(float*, int, int, const char* inChar, int*, XPLMFontID) {
  if (inChar == nullptr) return;
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  // The record keeps the latest strings only: a window drawn every frame
  // of a long run must not grow it without end.
  constexpr size_t kKeptStrings = 4096;
  if (s.drawn_strings.size() >= kKeptStrings) {
    s.drawn_strings.erase(s.drawn_strings.begin(),
                          s.drawn_strings.begin() + kKeptStrings / 2);
  }
  s.drawn_strings.emplace_back(inChar);
  if (Window* w = simhost::FindWindow(s, s.drawing_window)) {
    if (!w->drawing.empty()) w->drawing += " | ";
    w->drawing += inChar;
  }
}
