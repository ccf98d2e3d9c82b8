// Menus under the host's plugins menu, kept as inspectable objects.
#include "XPLMMenus.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

Menu* FindMenu(Host::State& s, XPLMMenuID id) REQUIRES(s.mu) {
  auto it = s.menus.find(id);
  return it == s.menus.end() ? nullptr : &it->second;
}

}  // namespace

XPLMMenuID Host::PluginsMenu() const {
  simhost::HostLock lock(state_->mu);
  return state_->plugins_menu;
}

bool Host::MenuExists(XPLMMenuID menu) const {
  simhost::HostLock lock(state_->mu);
  return state_->menus.count(menu) != 0;
}

std::string Host::MenuName(XPLMMenuID menu) const {
  simhost::HostLock lock(state_->mu);
  const Menu* m = FindMenu(*state_, menu);
  return m != nullptr ? m->name : "";
}

std::vector<MenuItemInfo> Host::MenuItems(XPLMMenuID menu) const {
  simhost::HostLock lock(state_->mu);
  const Menu* m = FindMenu(*state_, menu);
  return m != nullptr ? m->items : std::vector<MenuItemInfo>{};
}

int Host::LiveMenuCount() const {
  simhost::HostLock lock(state_->mu);
  return static_cast<int>(state_->menus.size()) - 1;  // not the plugins menu
}

// A choice on an unknown menu or index, or on a menu without a handler,
// does nothing.
void Host::ChooseMenuItem(XPLMMenuID menu, int index) {
  XPLMMenuHandler_f handler = nullptr;
  void* menu_ref = nullptr;
  void* item_ref = nullptr;
  {
    simhost::HostLock lock(state_->mu);
    const Menu* m = FindMenu(*state_, menu);
    if (m == nullptr || index < 0 ||
        static_cast<size_t>(index) >= m->items.size()) {
      return;
    }
    handler = m->handler;
    menu_ref = m->menu_ref;
    item_ref = m->items[index].item_ref;
  }
  if (handler != nullptr) handler(menu_ref, item_ref);
}

}  // namespace simhost

using simhost::Menu;

XPLMMenuID XPLMFindPluginsMenu(void) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  return s.plugins_menu;
}

// The new menu hangs off item inParentItem of inParentMenu when both exist.
XPLMMenuID XPLMCreateMenu(const char* inName, XPLMMenuID inParentMenu,
                          int inParentItem, XPLMMenuHandler_f inHandler,
                          void* inMenuRef) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  XPLMMenuID id = s.NewToken();
  Menu& menu = s.menus[id];
  menu.name = inName != nullptr ? inName : "";
  menu.handler = inHandler;
  menu.menu_ref = inMenuRef;
  if (Menu* parent = simhost::FindMenu(s, inParentMenu);
      parent != nullptr && inParentItem >= 0 &&
      static_cast<size_t>(inParentItem) < parent->items.size()) {
    parent->items[inParentItem].submenu = id;
    menu.parent = inParentMenu;
    menu.parent_item = inParentItem;
  }
  return id;
}

// Destroying a menu detaches it from its parent item; its own submenus stay
// until they are destroyed themselves. A menu that does not exist (never
// created, or destroyed already) and the plugins menu, which is the host's,
// are host errors and stay as they are.
void XPLMDestroyMenu(XPLMMenuID inMenuID) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  Menu* menu = simhost::FindMenu(s, inMenuID);
  if (menu == nullptr) {
    simhost::RecordHostError(s,
                             "XPLMDestroyMenu of a menu that does not "
                             "exist");
    return;
  }
  if (inMenuID == s.plugins_menu) {
    simhost::RecordHostError(s, "XPLMDestroyMenu of the plugins menu");
    return;
  }
  if (Menu* parent = simhost::FindMenu(s, menu->parent); parent != nullptr) {
    for (auto& item : parent->items) {
      if (item.submenu == inMenuID) item.submenu = nullptr;
    }
  }
  s.menus.erase(inMenuID);
}

void XPLMClearAllMenuItems(XPLMMenuID inMenuID) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Menu* menu = simhost::FindMenu(s, inMenuID)) menu->items.clear();
}

int XPLMAppendMenuItem(XPLMMenuID inMenu, const char* inItemName,
                       void* inItemRef, int inForceEnglish) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  Menu* menu = simhost::FindMenu(s, inMenu);
  if (menu == nullptr) return -1;
  simhost::MenuItemInfo item;
  item.name = inItemName != nullptr ? inItemName : "";
  item.item_ref = inItemRef;
  item.force_english = inForceEnglish;
  menu->items.push_back(item);
  return static_cast<int>(menu->items.size()) - 1;
}

// A separator is an item with an empty name and no reference.
void XPLMAppendMenuSeparator(XPLMMenuID inMenu) {
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  simhost::RequireMainThread(s, __func__);
  if (Menu* menu = simhost::FindMenu(s, inMenu)) {
    menu->items.push_back(simhost::MenuItemInfo{});
  }
}
