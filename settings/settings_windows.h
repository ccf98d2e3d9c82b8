// The two settings windows opened from the plugin menu: performance (tune
// value, read and write tracing) and ATC (the identification texts).
//
// Threads: everything runs on the simulator's main thread.
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
