// Handler of the plugin's menus: opens the settings windows.
//
// Threads: the host calls it on its main thread.
#ifndef TARVOS_SETTINGS_SETTINGS_MENU_H_
#define TARVOS_SETTINGS_SETTINGS_MENU_H_

namespace tarvos {

// Item references of the menu entries. The references are these strings
// themselves, compared as text by the handler.
inline constexpr const char kOpenAtcItemRef[] = "Open ATC";
inline constexpr const char kOpenPerformanceItemRef[] = "Open performance";

// "Open performance" opens the performance settings window, "Open ATC" the
// ATC settings window; any other (or a null) reference does nothing.
void SettingsMenuHandler(void* menu_ref, void* item_ref);

}  // namespace tarvos

#endif  // TARVOS_SETTINGS_SETTINGS_MENU_H_
