// A picture of the widget windows for people: every visible window with
// its visible widgets at their rectangles, with their texts, as SVG.
//
// Coordinates are the host's global screen coordinates (y grows upwards);
// the picture is the box around the visible windows with a small margin,
// so the same window always gives the same file.
//
// Threads: main thread only.
#ifndef TARVOS_SIMHOST_WIDGET_SNAPSHOT_H_
#define TARVOS_SIMHOST_WIDGET_SNAPSHOT_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "simhost/host/host.h"

namespace simhost {

// One live widget as the control channel and the picture show it.
struct WidgetView {
  XPWidgetID id = nullptr;
  int number = 0;  // wN: the same while the widget lives
  int parent = 0;  // the container's number, 0 for none
  int depth = 0;   // 0 for windows and orphans
  WidgetInfo info;
  std::map<int, intptr_t> properties;
};

// Every live widget: each root (in creation order) followed by its
// descendants depth first in child order, then widgets without a container
// that are not roots.
std::vector<WidgetView> WidgetTree();

// The number a widget shows as wN.
int WidgetNumber(XPWidgetID id);

// Readable names: "main-window", "button", ...; "button-type",
// "close-boxes", ... (a property number's meaning depends on the class);
// unknown ones as "classN" and "pN".
std::string WidgetClassName(XPWidgetClass widget_class);
std::string WidgetPropertyName(XPWidgetClass widget_class, int property);

// The SVG document of the visible windows (an empty picture when none is
// open).
std::string WidgetSnapshotSvg();

// Writes WidgetSnapshotSvg() to `path`; false with a reason in `error`.
bool WriteWidgetSnapshot(const std::string& path, std::string* error);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_WIDGET_SNAPSHOT_H_
