#include "plugin/plugin_menu.h"

#include "XPLMMenus.h"
#include "settings/settings_menu.h"

namespace tarvos {
namespace {

// Main thread only.
XPLMMenuID g_plugin_menu = nullptr;
XPLMMenuID g_settings_menu = nullptr;

// The host keeps item references as opaque pointers and hands them back to
// the handler, which reads them as text.
void* ItemRef(const char* text) { return const_cast<char*>(text); }

}  // namespace

void BuildPluginMenu() {
  // Building twice would leave the first menus orphaned in the host.
  if (g_plugin_menu != nullptr) DestroyPluginMenu();
  XPLMMenuID plugins = XPLMFindPluginsMenu();
  const int plugin_item = XPLMAppendMenuItem(plugins, "TARVOS", nullptr, 1);
  g_plugin_menu = XPLMCreateMenu("TARVOS", plugins, plugin_item,
                                 SettingsMenuHandler, nullptr);
  XPLMAppendMenuItem(g_plugin_menu, "ATC Menu", ItemRef(kOpenAtcItemRef), 0);
  const int settings_item =
      XPLMAppendMenuItem(g_plugin_menu, "TARVOS settings", nullptr, 0);
  g_settings_menu = XPLMCreateMenu("TARVOS", g_plugin_menu, settings_item,
                                   SettingsMenuHandler, nullptr);
  XPLMAppendMenuItem(g_settings_menu, "Performance settings",
                     ItemRef(kOpenPerformanceItemRef), 0);
}

void DestroyPluginMenu() {
  if (g_settings_menu != nullptr) XPLMDestroyMenu(g_settings_menu);
  if (g_plugin_menu != nullptr) XPLMDestroyMenu(g_plugin_menu);
  g_settings_menu = nullptr;
  g_plugin_menu = nullptr;
}

}  // namespace tarvos
