#include "simhost/host/widget_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "XPStandardWidgets.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// Host tokens start here and grow by 16 (Host::State::NewToken).
constexpr uintptr_t kFirstToken = 0x1000;
constexpr uintptr_t kTokenStep = 16;

// Room around the windows in the picture.
constexpr int kMargin = 20;
constexpr int kTitleBar = 18;

void AddSubtree(const Host::State& s, XPWidgetID id, int depth, int parent,
                std::set<XPWidgetID>& seen, std::vector<WidgetView>& out)
    REQUIRES(s.mu) {
  if (depth > 64 || !seen.insert(id).second) return;
  auto it = s.widgets.find(id);
  if (it == s.widgets.end()) return;
  WidgetView view;
  view.id = id;
  view.number = WidgetNumber(id);
  view.parent = parent;
  view.depth = depth;
  view.info = it->second.info;
  view.properties = it->second.properties;
  out.push_back(view);
  for (XPWidgetID child : it->second.children) {
    AddSubtree(s, child, depth + 1, view.number, seen, out);
  }
}

// Text for an SVG text node or attribute.
std::string Xml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default: {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
          out += '?';
        } else {
          out += c;
        }
      }
    }
  }
  return out;
}

intptr_t Property(const WidgetView& w, int property) {
  auto it = w.properties.find(property);
  return it == w.properties.end() ? 0 : it->second;
}

// Picture coordinates: x as on the screen, y from the top of the picture.
struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
  int X(int x) const { return x - left + kMargin; }
  int Y(int y) const { return top - y + kMargin; }
  int Width() const { return right - left + 2 * kMargin; }
  int Height() const { return top - bottom + 2 * kMargin; }
};

void Rect(std::string& svg, const Frame& f, const WidgetInfo& i,
          const char* fill, const char* stroke, int radius = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" "
                "rx=\"%d\" fill=\"%s\" stroke=\"%s\"/>\n",
                f.X(i.left), f.Y(i.top), std::max(0, i.right - i.left),
                std::max(0, i.top - i.bottom), radius, fill, stroke);
  svg += buf;
}

void Text(std::string& svg, int x, int y, const std::string& text,
          const char* anchor, const char* fill, int size = 12) {
  if (text.empty()) return;
  char buf[160];
  std::snprintf(buf, sizeof buf,
                "  <text x=\"%d\" y=\"%d\" font-family=\"sans-serif\" "
                "font-size=\"%d\" text-anchor=\"%s\" fill=\"%s\">",
                x, y, size, anchor, fill);
  svg += buf;
  svg += Xml(text);
  svg += "</text>\n";
}

void DrawWidget(std::string& svg, const Frame& f, const WidgetView& w) {
  const WidgetInfo& i = w.info;
  const int mid_y = f.Y((i.top + i.bottom) / 2) + 4;
  switch (i.widget_class) {
    case xpWidgetClass_MainWindow: {
      Rect(svg, f, i, "#5a6470", "#2b3038", 4);
      // The title bar sits above the window's top edge, as in the host.
      char buf[256];
      std::snprintf(buf, sizeof buf,
                    "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" "
                    "rx=\"3\" fill=\"#39424d\" stroke=\"#2b3038\"/>\n",
                    f.X(i.left), f.Y(i.top) - kTitleBar + 2, i.right - i.left,
                    kTitleBar);
      svg += buf;
      Text(svg, f.X((i.left + i.right) / 2), f.Y(i.top) - 4, i.descriptor,
           "middle", "#f0f0f0");
      if (Property(w, xpProperty_MainWindowHasCloseBoxes) != 0) {
        const int x = f.X(i.left) + 4;
        const int y = f.Y(i.top) - kTitleBar + 5;
        std::snprintf(buf, sizeof buf,
                      "  <rect x=\"%d\" y=\"%d\" width=\"11\" height=\"11\" "
                      "fill=\"#8a939e\" stroke=\"#2b3038\"/>\n"
                      "  <path d=\"M%d %d l7 7 M%d %d l-7 7\" "
                      "stroke=\"#2b3038\" stroke-width=\"1.5\"/>\n",
                      x, y, x + 2, y + 2, x + 9, y + 2);
        svg += buf;
      }
      break;
    }
    case xpWidgetClass_SubWindow:
      Rect(svg, f, i, "#7b8590", "#4a525c", 2);
      break;
    case xpWidgetClass_Caption:
      Text(svg, f.X(i.left), mid_y, i.descriptor, "start", "#ffffff");
      break;
    case xpWidgetClass_TextField:
      Rect(svg, f, i, "#f4f4ee", "#30363d");
      Text(svg, f.X(i.left) + 3, mid_y, i.descriptor, "start", "#111111");
      break;
    case xpWidgetClass_Button: {
      const intptr_t type = Property(w, xpProperty_ButtonType);
      char buf[256];
      if (type == xpLittleUpArrow || type == xpLittleDownArrow) {
        // A small triangle centred in the button's rectangle.
        const int cx = f.X((i.left + i.right) / 2);
        const int cy = f.Y((i.top + i.bottom) / 2);
        const int d = type == xpLittleUpArrow ? -1 : 1;
        std::snprintf(buf, sizeof buf,
                      "  <path d=\"M%d %d L%d %d L%d %d Z\" "
                      "fill=\"#e8e8e8\" stroke=\"#2b3038\"/>\n",
                      cx - 6, cy - 4 * d, cx + 6, cy - 4 * d, cx, cy + 5 * d);
        svg += buf;
      } else if (type == xpRadioButton ||
                 Property(w, xpProperty_ButtonBehavior) ==
                     xpButtonBehaviorCheckBox) {
        const int size = 12;
        const int x = f.X((i.left + i.right) / 2) - size / 2;
        const int y = f.Y((i.top + i.bottom) / 2) - size / 2;
        std::snprintf(buf, sizeof buf,
                      "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" "
                      "fill=\"#f4f4ee\" stroke=\"#2b3038\"/>\n",
                      x, y, size, size);
        svg += buf;
        if (Property(w, xpProperty_ButtonState) != 0) {
          std::snprintf(buf, sizeof buf,
                        "  <path d=\"M%d %d l3 4 l6 -8\" fill=\"none\" "
                        "stroke=\"#1c6e2a\" stroke-width=\"2\"/>\n",
                        x + 2, y + 6);
          svg += buf;
        }
      } else {
        Rect(svg, f, i, "#c9ced4", "#2b3038", 3);
        Text(svg, f.X((i.left + i.right) / 2), mid_y, i.descriptor, "middle",
             "#111111");
      }
      break;
    }
    default:
      Rect(svg, f, i, "none", "#c0c0c0");
      Text(svg, f.X(i.left), mid_y, i.descriptor, "start", "#ffffff");
      break;
  }
}

}  // namespace

int WidgetNumber(XPWidgetID id) {
  const uintptr_t token = reinterpret_cast<uintptr_t>(id);
  if (token <= kFirstToken) return 0;
  return static_cast<int>((token - kFirstToken) / kTokenStep);
}

std::vector<WidgetView> WidgetTree() {
  Host::State& s = HostState();
  HostLock lock(s.mu);
  std::vector<WidgetView> out;
  std::set<XPWidgetID> seen;
  for (const auto& [id, widget] : s.widgets) {
    if (widget.info.is_root) AddSubtree(s, id, 0, 0, seen, out);
  }
  for (const auto& [id, widget] : s.widgets) {
    if (!seen.count(id) && widget.info.container == nullptr) {
      AddSubtree(s, id, 0, 0, seen, out);
    }
  }
  return out;
}

std::string WidgetClassName(XPWidgetClass widget_class) {
  switch (widget_class) {
    case xpWidgetClass_MainWindow:
      return "main-window";
    case xpWidgetClass_SubWindow:
      return "sub-window";
    case xpWidgetClass_Button:
      return "button";
    case xpWidgetClass_TextField:
      return "text-field";
    case xpWidgetClass_ScrollBar:
      return "scroll-bar";
    case xpWidgetClass_Caption:
      return "caption";
    case xpWidgetClass_GeneralGraphics:
      return "graphics";
    case xpWidgetClass_Progress:
      return "progress";
    default:
      return "class" + std::to_string(widget_class);
  }
}

std::string WidgetPropertyName(XPWidgetClass widget_class, int property) {
  struct Name {
    XPWidgetClass widget_class;
    int property;
    const char* name;
  };
  static const Name kNames[] = {
      {xpWidgetClass_MainWindow, xpProperty_MainWindowType, "window-type"},
      {xpWidgetClass_MainWindow, xpProperty_MainWindowHasCloseBoxes,
       "close-boxes"},
      {xpWidgetClass_SubWindow, xpProperty_SubWindowType, "sub-window-type"},
      {xpWidgetClass_Button, xpProperty_ButtonType, "button-type"},
      {xpWidgetClass_Button, xpProperty_ButtonBehavior, "button-behavior"},
      {xpWidgetClass_Button, xpProperty_ButtonState, "button-state"},
      {xpWidgetClass_TextField, xpProperty_EditFieldSelStart,
       "selection-start"},
      {xpWidgetClass_TextField, xpProperty_EditFieldSelEnd, "selection-end"},
      {xpWidgetClass_TextField, xpProperty_TextFieldType, "text-field-type"},
      {xpWidgetClass_TextField, xpProperty_PasswordMode, "password-mode"},
      {xpWidgetClass_TextField, xpProperty_MaxCharacters, "max-characters"},
  };
  for (const Name& n : kNames) {
    if (n.widget_class == widget_class && n.property == property) return n.name;
  }
  return "p" + std::to_string(property);
}

std::string WidgetSnapshotSvg() {
  std::vector<WidgetView> tree = WidgetTree();
  // Only what the user sees: visible windows and, under them, visible
  // widgets whose containers are all visible.
  std::vector<const WidgetView*> shown;
  std::set<int> hidden;
  for (const WidgetView& w : tree) {
    const bool visible = w.info.visible && !hidden.count(w.parent) &&
                         (w.depth > 0 || w.info.is_root);
    if (!visible) {
      hidden.insert(w.number);
      continue;
    }
    shown.push_back(&w);
  }
  Frame f;
  bool any = false;
  for (const WidgetView* w : shown) {
    if (w->depth != 0) continue;
    const WidgetInfo& i = w->info;
    if (!any) {
      f = Frame{i.left, i.top + kTitleBar, i.right, i.bottom};
      any = true;
    } else {
      f.left = std::min(f.left, i.left);
      f.top = std::max(f.top, i.top + kTitleBar);
      f.right = std::max(f.right, i.right);
      f.bottom = std::min(f.bottom, i.bottom);
    }
  }
  char head[256];
  std::snprintf(head, sizeof head,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" "
                "height=\"%d\" viewBox=\"0 0 %d %d\">\n",
                f.Width(), f.Height(), f.Width(), f.Height());
  std::string svg = head;
  char back[160];
  std::snprintf(back, sizeof back,
                "  <rect width=\"%d\" height=\"%d\" fill=\"#20262d\"/>\n",
                f.Width(), f.Height());
  svg += back;
  for (const WidgetView* w : shown) DrawWidget(svg, f, *w);
  svg += "</svg>\n";
  return svg;
}

bool WriteWidgetSnapshot(const std::string& path, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  out << WidgetSnapshotSvg();
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace simhost
