// What the user must see of the program's state, as the program's documentation tables it: the menu bar
// with every item, id and state, the nine toolbar buttons, and the status bar.
#pragma once

#include "tests/gui/harness.h"

#include <string>
#include <vector>

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
// The three status-bar parts (right edges 200, 300 and the end), document_title in part 0, and in part 2 the
// hint before the first run, the summary of the last run after it.
inline constexpr const char* status_hint = "Process Regshot output .TXT file";
void check_status_bar(program& p, const std::string& document_title, const std::string& run_text = status_hint);

// The output paths that a conversion of report derives (the report's name with its extension replaced).
struct outputs {
  std::string bat, reg, mods, undo, restore, errors;
  // The scripts a run shows in result windows, in the order it opens them (the error list only when it has
  // entries).
  std::vector<std::string> windows() const { return {bat, reg, mods, undo, restore}; }
};
outputs outputs_of(const std::string& report);

// The text of a script as the program that runs it reads it (UTF-8): cmd reads a batch file in the OEM code
// page; regedit and text viewers read by the byte-order mark, without one in the ANSI code page. What a
// document window on the file must show.
std::string script_text(const std::string& path);

// How Regshot wrote a report: its ANSI builds in the ANSI code page, its Unicode builds in UTF-16LE (without
// a byte-order mark).
enum class report_build { ansi, unicode };

// A small comparison report, in Regshot 1.9.1's layout, whose left-overs exist on this machine: a folder
// "NAME leftovers" with a file in it, and a file "NAME stray.log" beside the report, which is NAME.txt;
// lines adds more entries (each with its section's title and count) before the folders. Returns the
// report's path.
struct report_section {
  std::string title;  // "Keys added"
  std::vector<std::string> entries;
};
std::string make_report(const std::string& folder, const std::string& name, report_build build = report_build::ansi,
                        const std::vector<report_section>& sections = {});
// The summary of a run over make_report(folder, name) without extra sections: the folder and the file in it
// are removed by one line, the stray file by another.
std::string make_report_summary(const std::string& name);

}  // namespace resivex::gui_test
