#include "settings/settings_windows.h"

namespace tarvos {

// The windows' widgets and callbacks are not built yet: opening records
// nothing and there is nothing to destroy.
void OpenSettingsWindow(SettingsWindow) {}
void ResetSettingsWindows() {}
void DestroySettingsWindows() {}
bool SettingsWindowCreated(SettingsWindow) { return false; }

}  // namespace tarvos
