#include "simhost/control/ui_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "XPStandardWidgets.h"
#include "simhost/host/host.h"
#include "simhost/host/widget_snapshot.h"

namespace simhost {
namespace {

std::string Error(const std::string& text) { return "error " + text; }

// The text after the first `n` words, without the blanks before it.
std::string AfterWords(std::string_view line, int n) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  for (int w = 0; w < n; ++w) {
    while (i < line.size() && blank(line[i])) ++i;
    while (i < line.size() && !blank(line[i])) ++i;
  }
  while (i < line.size() && blank(line[i])) ++i;
  size_t end = line.size();
  while (end > i && blank(line[end - 1])) --end;
  return std::string(line.substr(i, end - i));
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\' && c != '|') {
      out += c;
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", u);
      out += esc;
    }
  }
  return out + "\"";
}

// --- Menus ---------------------------------------------------------------

struct MenuEntry {
  std::string path;  // "TARVOS/TARVOS settings/Performance settings"
  std::string name;
  XPLMMenuID menu = nullptr;
  int index = 0;
  bool opens_submenu = false;
};

void CollectMenu(XPLMMenuID menu, const std::string& prefix, int depth,
                 std::vector<MenuEntry>& out) {
  if (depth > 16) return;
  Host& host = Host::Get();
  const std::vector<MenuItemInfo> items = host.MenuItems(menu);
  for (size_t i = 0; i < items.size(); ++i) {
    const MenuItemInfo& item = items[i];
    if (item.name.empty() && item.item_ref == nullptr) continue;  // separator
    MenuEntry e;
    e.path = prefix + item.name;
    e.name = item.name;
    e.menu = menu;
    e.index = static_cast<int>(i);
    e.opens_submenu = item.submenu != nullptr && host.MenuExists(item.submenu);
    out.push_back(e);
    if (e.opens_submenu)
      CollectMenu(item.submenu, e.path + "/", depth + 1, out);
  }
}

std::vector<MenuEntry> MenuEntries() {
  std::vector<MenuEntry> out;
  CollectMenu(Host::Get().PluginsMenu(), "", 0, out);
  return out;
}

std::string Menu(const std::vector<std::string>& args, std::string_view line) {
  const std::vector<MenuEntry> entries = MenuEntries();
  if (args.size() == 1) {
    std::string out = "ok " + std::to_string(entries.size()) + " items";
    for (size_t i = 0; i < entries.size(); ++i) {
      out += i == 0 ? ": " : " | ";
      out += entries[i].path + (entries[i].opens_submenu ? " >" : "");
    }
    return out;
  }
  if (args[1] != "choose" || args.size() < 3) {
    return Error("usage: menu | menu choose ITEM");
  }
  const std::string wanted = AfterWords(line, 2);
  const MenuEntry* found = nullptr;
  for (const MenuEntry& e : entries) {
    if (e.path == wanted) found = &e;
  }
  for (const MenuEntry& e : entries) {
    if (found == nullptr && e.name == wanted) found = &e;
  }
  if (found == nullptr) return Error("no menu item " + wanted + " (try menu)");
  if (found->opens_submenu) {
    return Error(found->path + " opens a submenu; choose an item in it");
  }
  Host::Get().ChooseMenuItem(found->menu, found->index);
  return "ok chose " + found->path;
}

// --- Widgets -------------------------------------------------------------

std::string Describe(const WidgetView& w) {
  const WidgetInfo& i = w.info;
  std::string out = "w" + std::to_string(w.number);
  if (w.parent != 0) out += " parent=w" + std::to_string(w.parent);
  out += " class=" + WidgetClassName(i.widget_class);
  out += " rect=" + std::to_string(i.left) + "," + std::to_string(i.top) + "," +
         std::to_string(i.right) + "," + std::to_string(i.bottom);
  out += std::string(" visible=") + (i.visible ? "1" : "0");
  if (i.is_root) out += " root=1";
  out += " text=" + Quoted(i.descriptor);
  for (const auto& [id, value] : w.properties) {
    out += " " + WidgetPropertyName(i.widget_class, id) + "=" +
           std::to_string(value);
  }
  return out;
}

std::string Widgets(const std::vector<std::string>& args) {
  if (args.size() != 1) return Error("usage: widgets");
  const std::vector<WidgetView> tree = WidgetTree();
  int windows = 0;
  for (const WidgetView& w : tree) windows += w.info.is_root ? 1 : 0;
  std::string out = "ok " + std::to_string(windows) + " windows, " +
                    std::to_string(tree.size()) + " widgets";
  for (const WidgetView& w : tree) out += " | " + Describe(w);
  return out;
}

// The widget named "wN", or null with an error.
const WidgetView* FindByNumber(const std::vector<WidgetView>& tree,
                               const std::string& name, std::string* error) {
  long n = 0;
  if (name.size() >= 2 && name[0] == 'w') {
    char* end = nullptr;
    errno = 0;
    n = std::strtol(name.c_str() + 1, &end, 10);
    if (errno != 0 || *end != '\0' || n <= 0) n = 0;
  }
  if (n == 0) {
    *error = "bad widget " + name + " (wN, as widgets shows)";
    return nullptr;
  }
  for (const WidgetView& w : tree) {
    if (w.number == n) return &w;
  }
  *error = "no widget " + name + " (try widgets)";
  return nullptr;
}

intptr_t PropertyOf(const WidgetView& w, int property) {
  auto it = w.properties.find(property);
  return it == w.properties.end() ? 0 : it->second;
}

bool IsCheckBox(const WidgetView& w) {
  return w.info.widget_class == xpWidgetClass_Button &&
         PropertyOf(w, xpProperty_ButtonBehavior) == xpButtonBehaviorCheckBox;
}

std::string WidgetCommand(const std::vector<std::string>& args,
                          std::string_view line) {
  const char* kUsage =
      "usage: widget press wN | widget check wN on|off | widget type wN TEXT "
      "| widget close WINDOW";
  if (args.size() < 3) return Error(kUsage);
  const std::string& verb = args[1];
  if (verb != "close" && verb != "press" && verb != "check" && verb != "type") {
    return Error(kUsage);
  }
  const std::vector<WidgetView> tree = WidgetTree();
  std::string error;
  Host& host = Host::Get();
  if (verb == "close") {
    const std::string wanted = AfterWords(line, 2);
    const WidgetView* window = nullptr;
    if (wanted.size() >= 2 && wanted[0] == 'w' &&
        wanted.find(' ') == std::string::npos) {
      window = FindByNumber(tree, wanted, &error);
    }
    for (const WidgetView& w : tree) {
      if (window == nullptr && w.info.is_root && w.info.descriptor == wanted) {
        window = &w;
      }
    }
    if (window == nullptr) return Error("no window " + wanted);
    if (window->info.widget_class != xpWidgetClass_MainWindow ||
        PropertyOf(*window, xpProperty_MainWindowHasCloseBoxes) == 0) {
      return Error("w" + std::to_string(window->number) + " has no close box");
    }
    const int number = window->number;
    host.ClickCloseBox(window->id);
    return "ok closed w" + std::to_string(number);
  }
  const WidgetView* w = FindByNumber(tree, args[2], &error);
  if (w == nullptr) return Error(error);
  const std::string name = "w" + std::to_string(w->number);
  if (!w->info.visible) return Error(name + " is hidden");
  if (verb == "press") {
    if (args.size() != 3) return Error(kUsage);
    if (w->info.widget_class != xpWidgetClass_Button) {
      return Error(name + " is not a button");
    }
    host.PressButton(w->id);
    return "ok pressed " + name;
  }
  if (verb == "check") {
    if (args.size() != 4 || (args[3] != "on" && args[3] != "off")) {
      return Error(kUsage);
    }
    if (!IsCheckBox(*w)) return Error(name + " is not a check box");
    const bool on = PropertyOf(*w, xpProperty_ButtonState) != 0;
    const bool want = args[3] == "on";
    if (on == want) return "ok " + name + " already " + args[3];
    host.PressButton(w->id);
    return "ok " + name + " " + args[3];
  }
  if (verb == "type") {
    if (w->info.widget_class != xpWidgetClass_TextField) {
      return Error(name + " is not a text field");
    }
    host.TypeText(w->id, AfterWords(line, 3));
    return "ok typed " + name + " " +
           Quoted(host.GetWidgetInfo(w->id).descriptor);
  }
  return Error(kUsage);
}

std::string Snapshot(const std::vector<std::string>& args) {
  if (args.size() != 2) return Error("usage: snapshot FILE.svg");
  const std::string& path = args[1];
  if (path.size() < 5 || path.compare(path.size() - 4, 4, ".svg") != 0) {
    return Error("the snapshot file name must end in .svg");
  }
  std::string error;
  if (!WriteWidgetSnapshot(path, &error)) return Error(error);
  return "ok snapshot " + path;
}

std::string Failures(const std::vector<std::string>& args) {
  if (args.size() != 1) return Error("usage: failures");
  Host& host = Host::Get();
  const std::string name = "sim/operation/failures/failures";
  const int size = host.ArraySize(name);
  std::string list;
  int count = 0;
  for (int i = 0; i < size; ++i) {
    const int value = host.GetIntElement(name, i);
    if (value == 0) continue;
    ++count;
    list += " " + std::to_string(i) + ":" + std::to_string(value);
  }
  return "ok " + std::to_string(count) + " of " + std::to_string(size) + list;
}

}  // namespace

bool ExecuteUserInterfaceCommand(const std::vector<std::string>& args,
                                 std::string_view line, std::string* answer) {
  if (args.empty()) return false;
  const std::string& word = args[0];
  if (word == "menu") {
    *answer = Menu(args, line);
  } else if (word == "widgets") {
    *answer = Widgets(args);
  } else if (word == "widget") {
    *answer = WidgetCommand(args, line);
  } else if (word == "snapshot") {
    *answer = Snapshot(args);
  } else if (word == "failures") {
    *answer = Failures(args);
  } else {
    return false;
  }
  return true;
}

}  // namespace simhost
