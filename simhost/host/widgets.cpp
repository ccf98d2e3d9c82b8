// Widgets: a tree of inspectable objects with properties, descriptors and
// callbacks. Messages go to a widget's callbacks, newest first, and then up
// its containers until one callback returns 1, as the host dispatches
// button and close-box messages.
#include <algorithm>
#include <cstring>

#include "XPStandardWidgets.h"
#include "XPWidgets.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

Widget* FindWidgetLocked(Host::State& s, XPWidgetID id) REQUIRES(s.mu) {
  auto it = s.widgets.find(id);
  return it == s.widgets.end() ? nullptr : &it->second;
}

// Removes a widget (and, when asked, its descendants) from the tree and
// returns the callbacks of every removed widget with its id, so that they
// can be told about their destruction once the mutex is released.
void RemoveWidget(Host::State& s, XPWidgetID id, bool with_children,
                  std::vector<std::pair<XPWidgetID, XPWidgetFunc_t>>* gone)
    REQUIRES(s.mu) {
  Widget* w = FindWidgetLocked(s, id);
  if (w == nullptr) return;
  std::vector<XPWidgetID> children = w->children;
  for (XPWidgetFunc_t f : w->callbacks) gone->emplace_back(id, f);
  if (Widget* parent = FindWidgetLocked(s, w->info.container)) {
    std::erase(parent->children, id);
  }
  s.widgets.erase(id);
  for (XPWidgetID child : children) {
    if (with_children) {
      RemoveWidget(s, child, true, gone);
    } else if (Widget* c = FindWidgetLocked(s, child)) {
      c->info.container = nullptr;  // orphaned, kept alive
    }
  }
}

bool IsUnder(Host::State& s, XPWidgetID widget, XPWidgetID root)
    REQUIRES(s.mu) {
  for (int depth = 0; widget != nullptr && depth < 10000; ++depth) {
    if (widget == root) return true;
    const Widget* w = FindWidgetLocked(s, widget);
    if (w == nullptr) return false;
    widget = w->info.container;
  }
  return false;
}

}  // namespace

std::vector<XPWidgetID> Host::Widgets() const {
  simhost::HostLock lock(state_->mu);
  std::vector<XPWidgetID> out;
  for (const auto& [id, widget] : state_->widgets) out.push_back(id);
  return out;
}

WidgetInfo Host::GetWidgetInfo(XPWidgetID widget) const {
  simhost::HostLock lock(state_->mu);
  const Widget* w = FindWidgetLocked(*state_, widget);
  return w != nullptr ? w->info : WidgetInfo{};
}

intptr_t Host::WidgetProperty(XPWidgetID widget, int property,
                              bool* exists) const {
  simhost::HostLock lock(state_->mu);
  const Widget* w = FindWidgetLocked(*state_, widget);
  auto it = w != nullptr ? w->properties.find(property)
                         : std::map<int, intptr_t>::const_iterator{};
  bool found = w != nullptr && it != w->properties.end();
  if (exists != nullptr) *exists = found;
  return found ? it->second : 0;
}

std::vector<XPWidgetID> Host::WidgetChildren(XPWidgetID widget) const {
  simhost::HostLock lock(state_->mu);
  const Widget* w = FindWidgetLocked(*state_, widget);
  return w != nullptr ? w->children : std::vector<XPWidgetID>{};
}

// With a null root every live widget is searched.
XPWidgetID Host::FindWidget(XPWidgetID root,
                            const std::string& descriptor) const {
  simhost::HostLock lock(state_->mu);
  for (const auto& [id, widget] : state_->widgets) {
    if (widget.info.descriptor == descriptor &&
        (root == nullptr || IsUnder(*state_, id, root))) {
      return id;
    }
  }
  return nullptr;
}

int Host::SendWidgetMessage(XPWidgetID widget, XPWidgetMessage message,
                            intptr_t param1, intptr_t param2) {
  for (int depth = 0; widget != nullptr && depth < 10000; ++depth) {
    std::vector<XPWidgetFunc_t> callbacks;
    XPWidgetID container;
    {
      simhost::HostLock lock(state_->mu);
      const Widget* w = FindWidgetLocked(*state_, widget);
      if (w == nullptr) return 0;
      callbacks.assign(w->callbacks.rbegin(), w->callbacks.rend());
      container = w->info.container;
    }
    for (XPWidgetFunc_t f : callbacks) {
      if (f(message, widget, param1, param2) != 0) return 1;
    }
    widget = container;
  }
  return 0;
}

// Check boxes and radio buttons flip their state first and report it with
// xpMsg_ButtonStateChanged; push buttons send xpMsg_PushButtonPressed.
void Host::PressButton(XPWidgetID button) {
  intptr_t behavior = 0, state = 0;
  {
    simhost::HostLock lock(state_->mu);
    Widget* w = FindWidgetLocked(*state_, button);
    if (w == nullptr) return;
    behavior = w->properties[xpProperty_ButtonBehavior];
    if (behavior != xpButtonBehaviorPushButton) {
      state = behavior == xpButtonBehaviorRadioButton
                  ? 1
                  : !w->properties[xpProperty_ButtonState];
      w->properties[xpProperty_ButtonState] = state;
    }
  }
  intptr_t id = reinterpret_cast<intptr_t>(button);
  if (behavior == xpButtonBehaviorPushButton) {
    SendWidgetMessage(button, xpMsg_PushButtonPressed, id, 0);
  } else {
    SendWidgetMessage(button, xpMsg_ButtonStateChanged, id, state);
  }
}

void Host::ClickCloseBox(XPWidgetID main_window) {
  SendWidgetMessage(main_window, xpMessage_CloseButtonPushed,
                    reinterpret_cast<intptr_t>(main_window), 0);
}

// Replaces the field's text (cut to xpProperty_MaxCharacters when set) and
// reports the change as the host's text field does.
void Host::TypeText(XPWidgetID text_field, const std::string& text) {
  {
    simhost::HostLock lock(state_->mu);
    Widget* w = FindWidgetLocked(*state_, text_field);
    if (w == nullptr) return;
    std::string value = text;
    auto max = w->properties.find(xpProperty_MaxCharacters);
    if (max != w->properties.end() && max->second > 0 &&
        value.size() > static_cast<size_t>(max->second)) {
      value.resize(max->second);
    }
    w->info.descriptor = value;
    w->properties[xpProperty_EditFieldSelStart] =
        static_cast<intptr_t>(value.size());
    w->properties[xpProperty_EditFieldSelEnd] =
        static_cast<intptr_t>(value.size());
  }
  intptr_t id = reinterpret_cast<intptr_t>(text_field);
  SendWidgetMessage(text_field, xpMsg_DescriptorChanged, id, 0);
  SendWidgetMessage(text_field, xpMsg_TextFieldChanged, id, 0);
}

}  // namespace simhost

using simhost::Widget;

XPWidgetID XPCreateWidget(int inLeft, int inTop, int inRight, int inBottom,
                          int inVisible, const char* inDescriptor, int inIsRoot,
                          XPWidgetID inContainer, XPWidgetClass inClass) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  XPWidgetID id = s.NewToken();
  Widget& w = s.widgets[id];
  w.info.left = inLeft;
  w.info.top = inTop;
  w.info.right = inRight;
  w.info.bottom = inBottom;
  w.info.visible = inVisible != 0;
  w.info.is_root = inIsRoot != 0;
  w.info.descriptor = inDescriptor != nullptr ? inDescriptor : "";
  w.info.widget_class = inClass;
  if (Widget* parent = simhost::FindWidgetLocked(s, inContainer)) {
    w.info.container = inContainer;
    parent->children.push_back(id);
  }
  return id;
}

void XPDestroyWidget(XPWidgetID inWidget, int inDestroyChildren) {
  std::vector<std::pair<XPWidgetID, XPWidgetFunc_t>> gone;
  {
    auto& s = simhost::HostState();
    simhost::HostLock lock(s.mu);
    simhost::RequireMainThread(s, __func__);
    simhost::RemoveWidget(s, inWidget, inDestroyChildren != 0, &gone);
  }
  for (const auto& [id, callback] : gone) {
    callback(xpMsg_Destroy, id, inDestroyChildren != 0 && id != inWidget, 0);
  }
}

void XPShowWidget(XPWidgetID inWidget) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Widget* w = simhost::FindWidgetLocked(s, inWidget)) w->info.visible = 1;
}

void XPHideWidget(XPWidgetID inWidget) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Widget* w = simhost::FindWidgetLocked(s, inWidget)) w->info.visible = 0;
}

int XPIsWidgetVisible(XPWidgetID inWidget) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  const Widget* w = simhost::FindWidgetLocked(s, inWidget);
  return w != nullptr && w->info.visible ? 1 : 0;
}

void XPSetWidgetProperty(XPWidgetID inWidget, XPWidgetPropertyID inProperty,
                         intptr_t inValue) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Widget* w = simhost::FindWidgetLocked(s, inWidget)) {
    w->properties[inProperty] = inValue;
  }
}

intptr_t XPGetWidgetProperty(XPWidgetID inWidget, XPWidgetPropertyID inProperty,
                             int* inExists) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  const Widget* w = simhost::FindWidgetLocked(s, inWidget);
  if (w != nullptr) {
    auto it = w->properties.find(inProperty);
    if (it != w->properties.end()) {
      if (inExists != nullptr) *inExists = 1;
      return it->second;
    }
  }
  if (inExists != nullptr) *inExists = 0;
  return 0;
}

void XPSetWidgetDescriptor(XPWidgetID inWidget, const char* inDescriptor) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Widget* w = simhost::FindWidgetLocked(s, inWidget)) {
    w->info.descriptor = inDescriptor != nullptr ? inDescriptor : "";
  }
}

// Returns the descriptor's length. The copy holds at most inMaxDescLength-1
// characters and is always zero-terminated, so a caller passing its buffer
// size never gets an unterminated string.
int XPGetWidgetDescriptor(XPWidgetID inWidget, char* outDescriptor,
                          int inMaxDescLength) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  const Widget* w = simhost::FindWidgetLocked(s, inWidget);
  std::string text = w != nullptr ? w->info.descriptor : "";
  if (inMaxDescLength > 0) {
    simhost::CopyBounded(text, outDescriptor,
                         static_cast<size_t>(inMaxDescLength));
  }
  return static_cast<int>(text.size());
}

void XPAddWidgetCallback(XPWidgetID inWidget, XPWidgetFunc_t inNewCallback) {
  if (inNewCallback == nullptr) return;
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Widget* w = simhost::FindWidgetLocked(s, inWidget)) {
    w->callbacks.push_back(inNewCallback);
  }
}
