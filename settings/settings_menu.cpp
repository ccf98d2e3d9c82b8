#include "settings/settings_menu.h"

#include <cstring>

#include "settings/settings_windows.h"

namespace tarvos {

void SettingsMenuHandler(void* /*menu_ref*/, void* item_ref) {
  try {
    if (item_ref == nullptr) return;
    const char* ref = static_cast<const char*>(item_ref);
    if (std::strcmp(ref, kOpenPerformanceItemRef) == 0) {
      OpenSettingsWindow(SettingsWindow::kPerformance);
    } else if (std::strcmp(ref, kOpenAtcItemRef) == 0) {
      OpenSettingsWindow(SettingsWindow::kAtc);
    }
  } catch (...) {
    // A menu callback must never let an exception reach the host.
  }
}

}  // namespace tarvos
