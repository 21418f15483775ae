// See expectations.h.
#include "tests/gui/expectations.h"

#include "shell/resource.h"

#include <commctrl.h>

#include <set>
#include <sstream>

namespace resivex::gui_test {

namespace {

// The menu bar as documented. with_document: the item (or whole popup) is enabled only while a document is
// active; without_conversion: only while no conversion is in progress; with_conversion: only during one.
struct menu_row {
  int popup;
  int index;  // -1: the popup itself
  unsigned id;
  const char* text;  // nullptr: a separator
  enum { always, with_document, without_conversion, with_conversion, grayed_popup_member } rule;
};

const menu_row menu_rows[] = {
    {0, -1, 0, "&File", menu_row::always},
    {0, 0, IDM_FILE_NEW, "&New", menu_row::always},
    {0, 1, IDM_FILE_OPEN, "&Open...", menu_row::without_conversion},
    {0, 2, IDM_FILE_CANCEL, "&Cancel conversion\tEsc", menu_row::with_conversion},
    {0, 3, IDM_FILE_SAVE, "&Save", menu_row::with_document},
    {0, 4, IDM_FILE_SAVE_AS, "Save &As...", menu_row::with_document},
    {0, 5, 0, nullptr, menu_row::always},
    {0, 6, IDM_FILE_EXIT, "E&xit", menu_row::always},
    {1, -1, 0, "&Edit", menu_row::with_document},
    {1, 0, IDM_EDIT_UNDO, "&Undo\tCtrl+Z", menu_row::grayed_popup_member},
    {1, 1, 0, nullptr, menu_row::always},
    {1, 2, IDM_EDIT_CUT, "Cu&t\tCtrl+X", menu_row::grayed_popup_member},
    {1, 3, IDM_EDIT_COPY, "&Copy\tCtrl+C", menu_row::grayed_popup_member},
    {1, 4, IDM_EDIT_PASTE, "&Paste\tCtrl+V", menu_row::grayed_popup_member},
    {2, -1, 0, "&Window", menu_row::with_document},
    {2, 0, IDM_WINDOW_CASCADE, "&Cascade", menu_row::grayed_popup_member},
    {2, 1, IDM_WINDOW_TILE_HORIZONTAL, "Tile &Horizontal", menu_row::grayed_popup_member},
    {2, 2, IDM_WINDOW_TILE_VERTICAL, "Tile &Vertical", menu_row::grayed_popup_member},
    {2, 3, IDM_WINDOW_ARRANGE_ICONS, "Arrange &Icons", menu_row::grayed_popup_member},
    {3, -1, 0, "&Help", menu_row::always},
    {3, 0, IDM_HELP_ABOUT, "&About", menu_row::always},
    {3, 1, IDM_HELP_HELP, "&Help", menu_row::always},
};
constexpr int window_popup = 2;
constexpr int window_items = 4;

std::string expected_line(const menu_row& row, ui_state state) {
  std::string s;
  if (row.text == nullptr) {
    s = "separator";
  } else {
    bool enabled = true;
    if (row.rule == menu_row::with_document) enabled = state.document_active;
    if (row.rule == menu_row::without_conversion) enabled = !state.conversion_running;
    if (row.rule == menu_row::with_conversion) enabled = state.conversion_running;
    s = enabled ? "enabled" : "grayed";
  }
  const std::string text = row.text ? row.text : "";
  if (row.index < 0) return "menu " + std::to_string(row.popup) + " " + s + " " + text;
  return "item " + std::to_string(row.popup) + " " + std::to_string(row.index) + " " + std::to_string(row.id) + " " +
         s + " " + text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool is_window_list_line(const std::string& line) {
  int popup = -1, index = -1;
  return std::sscanf(line.c_str(), "item %d %d", &popup, &index) == 2 && popup == window_popup && index >= window_items;
}

}  // namespace

void check_menus(program& p, ui_state state) {
  std::string expected, actual;
  for (const menu_row& row : menu_rows) expected += expected_line(row, state) + "\n";
  for (const std::string& line : lines_of(p.probe(probe_menu))) {
    if (!is_window_list_line(line)) actual += line + "\n";
  }
  check_equal(actual, expected,
              std::string("menu bar with ") + (state.document_active ? "a" : "no") + " active document" +
                  (state.conversion_running ? ", during a conversion" : ""));
}

std::vector<std::string> window_list(program& p) {
  std::vector<std::string> entries;
  for (const std::string& line : lines_of(p.probe(probe_menu))) {
    if (!is_window_list_line(line)) continue;
    // "item 2 N ID STATE TEXT": keep the separator out, and the text of each entry.
    std::istringstream in(line);
    std::string item, popup, index, id, state;
    in >> item >> popup >> index >> id >> state;
    if (state == "separator") continue;
    std::string text;
    std::getline(in, text);
    check(std::stoul(id) >= IDM_WINDOW_FIRST_CHILD, "window list entries have ids from 50000 on: " + line);
    entries.push_back(text.empty() ? text : text.substr(1));
  }
  return entries;
}

void check_toolbar(program& p, ui_state state) {
  struct expected_button {
    int bitmap;
    int id;
    bool needs_document;
  };
  // -1: a separator.
  const expected_button table[] = {
      {STD_FILENEW, IDM_FILE_NEW, false},  {STD_FILEOPEN, IDM_FILE_OPEN, false},
      {STD_FILESAVE, IDM_FILE_SAVE, true}, {-1, 0, false},
      {STD_CUT, IDM_EDIT_CUT, true},       {STD_COPY, IDM_EDIT_COPY, true},
      {STD_PASTE, IDM_EDIT_PASTE, true},   {-1, 0, false},
      {STD_UNDO, IDM_EDIT_UNDO, true},
  };
  const std::vector<program::button> buttons = p.toolbar_buttons();
  check_equal(static_cast<long long>(buttons.size()), 9, "number of toolbar buttons");
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const std::string where = "toolbar button " + std::to_string(i + 1);
    const expected_button& e = table[i];
    check_equal(buttons[i].separator, e.bitmap < 0, where + " is a separator");
    if (e.bitmap < 0) continue;
    check_equal(buttons[i].bitmap, e.bitmap, where + " bitmap");
    check_equal(buttons[i].id, e.id, where + " command");
    bool enabled = !e.needs_document || state.document_active;
    if (e.id == IDM_FILE_OPEN) enabled = !state.conversion_running;
    check_equal(buttons[i].enabled, enabled, where + " (" + std::to_string(e.id) + ") enabled");
  }
}

void check_status_bar(program& p, const std::string& document_title, const std::string& run_text) {
  const std::vector<int> parts = p.status_parts();
  check_equal(static_cast<long long>(parts.size()), 3, "number of status-bar parts");
  check_equal(parts[0], IDC_STATUS_EDGE_0, "right edge of status part 0");
  check_equal(parts[1], IDC_STATUS_EDGE_1, "right edge of status part 1");
  check_equal(parts[2], -1, "right edge of status part 2");
  check_equal(p.status_text(0), document_title, "status part 0 (the active document)");
  check_equal(p.status_text(1), "", "status part 1");
  check_equal(p.status_text(2), run_text, "status part 2");
}

outputs outputs_of(const std::string& report) {
  const std::size_t dot = report.find_last_of('.');
  const std::string stem = report.substr(0, dot);
  return {stem + ".bat", stem + ".reg", stem + "_mods.reg", stem + "_undo.reg", stem + "_restore.reg",
          stem + "_errors.txt"};
}

std::string script_text(const std::string& path) {
  const std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  const bool batch = ext == ".bat" || ext == ".BAT" || ext == ".cmd" || ext == ".CMD";
  return file_text(path, batch ? CP_OEMCP : CP_ACP);
}

std::string make_report_summary(const std::string& name) {
  return "Read 3 entries (folders added 1, files added 2); written: " + name + ".bat 2, " + name + ".reg 0, " + name +
         "_mods.reg 0, " + name + "_undo.reg 0, " + name + "_restore.reg 0; skipped 1: 1 under a removed key or "
         "folder.";
}

std::string make_report(const std::string& folder, const std::string& name, report_build build,
                        const std::vector<report_section>& sections) {
  const std::string leftover = folder + "\\" + name + " leftovers";
  make_folder(leftover);
  write_file(leftover + "\\cache.dat", "data");
  write_file(folder + "\\" + name + " stray.log", "log");
  const std::string report = folder + "\\" + name + ".txt";
  const std::string dashes = "----------------------------------\r\n";
  std::string text = std::string(build == report_build::unicode ? "Regshot 1.9.1 x64 Unicode (beta r321)\r\n"
                                                                : "Regshot 1.9.1 x64 ANSI (beta r321)\r\n") +
                     "Comments: \r\n"
                     "Datetime: 2026-12-07 05:39:19, 2026-12-07 05:39:25\r\n"
                     "Computer: VM, VM\r\n"
                     "Username: root, root\r\n"
                     "\r\n";
  std::size_t changes = 3;
  for (const report_section& section : sections) {
    text += dashes + section.title + ": " + std::to_string(section.entries.size()) + "\r\n" + dashes;
    for (const std::string& entry : section.entries) text += entry + "\r\n";
    text += "\r\n";
    changes += section.entries.size();
  }
  text += dashes + "Folders added: 1\r\n" + dashes + leftover + "\r\n0x00000010\r\n\r\n" + dashes +
          "Files added: 2\r\n" + dashes + leftover + "\\cache.dat\r\n2026-12-07 05:39:25, 0x00000020, 4\r\n" +
          folder + "\\" + name + " stray.log\r\n2026-12-07 05:39:25, 0x00000020, 3\r\n\r\n" + dashes +
          "Total changes: " + std::to_string(changes) + "\r\n" + dashes;
  write_file(report, build == report_build::unicode ? utf16le(text) : in_code_page(text, CP_ACP));
  return report;
}

}  // namespace resivex::gui_test
