// The panel's files, built into the program (generated from web/panel/).
#ifndef TARVOS_WEB_PANEL_FILES_H_
#define TARVOS_WEB_PANEL_FILES_H_

#include <cstddef>

namespace tarvos::web {

struct PanelFile {
  const char* path;  // "index.html", "js/attitude.js"
  const unsigned char* data;
  size_t size;
};

extern const PanelFile kPanelFiles[];
extern const size_t kPanelFileCount;

}  // namespace tarvos::web

#endif  // TARVOS_WEB_PANEL_FILES_H_
