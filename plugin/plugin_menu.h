// The plugin's menu under the host's plugins menu:
//
//   TARVOS                      (item of the plugins menu, forced English)
//     ATC Menu                  item ref "Open ATC"
//     TARVOS settings  ->  TARVOS
//                            Performance settings   item ref "Open performance"
//
// Both menus use SettingsMenuHandler. Main thread only.
#ifndef TARVOS_PLUGIN_PLUGIN_MENU_H_
#define TARVOS_PLUGIN_PLUGIN_MENU_H_

namespace tarvos {

void BuildPluginMenu();
// Destroys the settings submenu and the plugin menu (XPluginStop).
void DestroyPluginMenu();

}  // namespace tarvos

#endif  // TARVOS_PLUGIN_PLUGIN_MENU_H_
