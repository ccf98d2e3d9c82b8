// Control-channel commands that use the plugin's user interface as a user
// would: its menus and its widget windows. One line in, one answer line
// out, as every control command (control_commands.h).
//
//   menu                      every plugin menu item, as PATH (a ">" marks
//                             an item that opens a submenu), " | " apart
//   menu choose ITEM          choose the item whose path or name is ITEM
//   widgets                   every widget, windows first and their
//                             children under them, " | " apart:
//                               wN parent=wP class=C rect=L,T,R,B
//                               visible=0|1 text="..." [property=value ...]
//   widget press wN           click a button (a check box toggles)
//   widget check wN on|off    set a check box (clicks it when it differs)
//   widget type wN TEXT       replace a text field's text (TEXT may be
//                             empty; the field cuts it to its maximum)
//   widget close WINDOW       the close box of a window (wN or its title)
//   snapshot FILE.svg         draw the visible windows into an SVG file
//   failures                  the failure slots that are not 0
//
// Widget numbers wN stay the same while the widget lives. Texts in answers
// escape '"', '\', '|' and bytes outside printable ASCII as \xNN.
//
// Threads: main thread only (the executor's).
#ifndef TARVOS_SIMHOST_UI_COMMANDS_H_
#define TARVOS_SIMHOST_UI_COMMANDS_H_

#include <string>
#include <string_view>
#include <vector>

namespace simhost {

// Runs the command when `args[0]` is one of the words above and returns
// true with its answer in `answer`; false (answer untouched) for any other
// word. `line` is the whole command line (texts keep their blanks).
bool ExecuteUserInterfaceCommand(const std::vector<std::string>& args,
                                 std::string_view line, std::string* answer);

}  // namespace simhost

#endif  // TARVOS_SIMHOST_UI_COMMANDS_H_
