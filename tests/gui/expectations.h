// What the user must see of the program's state, as the program's documentation tables it: the menu bar
// with every item, id and state, the nine toolbar buttons, and the status bar.
#pragma once

#include "tests/gui/harness.h"

#include <string>

namespace resivex::gui_test {

// The program's state as far as the commands depend on it.
struct ui_state {
  bool document_active;
  bool conversion_running;
};

// Every popup and item of the menu bar (the window list that the MDI client appends to the Window menu
// aside), with its id, text and state.
void check_menus(program& p, ui_state state);
// The texts of the window list entries of the Window menu, in order ("&1 C:\...").
std::vector<std::string> window_list(program& p);
// The nine toolbar buttons: bitmap, command and state.
void check_toolbar(program& p, ui_state state);
// The three status-bar parts (right edges 200, 300 and the end), the hint in part 2 and document_title in 0.
void check_status_bar(program& p, const std::string& document_title);

// The output paths that a conversion of report derives (the report's name with its extension replaced).
struct outputs {
  std::string bat, reg, mods, errors;
};
outputs outputs_of(const std::string& report);

// A small comparison report, in Regshot 1.9.1's layout, whose left-overs exist on this machine: a folder
// with a file in it, and a file beside the report. Returns the report's path.
std::string make_report(const std::string& folder, const std::string& name);

}  // namespace resivex::gui_test
