// The two settings windows opened from the plugin menu: performance (tune
// value, read and write tracing) and ATC (the identification texts).
//
// Each window is built from a table of widgets (settings_windows.cpp) in the
// host's global screen coordinates, created on first opening and destroyed
// by its close box or by XPluginStop; the next opening builds it afresh from
// the current settings. Changes take effect at once and are saved to
// TARVOS.ini after OffsetLock is released.
//
// Threads: everything runs on the simulator's main thread (menu and widget
// callbacks, XPluginStart and XPluginStop).
#ifndef TARVOS_SETTINGS_SETTINGS_WINDOWS_H_
#define TARVOS_SETTINGS_SETTINGS_WINDOWS_H_

namespace tarvos {

enum class SettingsWindow { kPerformance, kAtc };

// Creates the window on first use, shows it again when it was hidden.
void OpenSettingsWindow(SettingsWindow window);
// XPluginStart: no window is created yet.
void ResetSettingsWindows();
// XPluginStop: destroys every created window with its children.
void DestroySettingsWindows();
// True while the window exists.
bool SettingsWindowCreated(SettingsWindow window);

}  // namespace tarvos

#endif  // TARVOS_SETTINGS_SETTINGS_WINDOWS_H_
