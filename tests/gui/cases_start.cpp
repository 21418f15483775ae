// Starting the program: without a report, with a report (converted at once, results cascaded), with a
// report that cannot be opened; and ending it with File/Exit.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "resivex_version.h"
#include "shell/resource.h"

#include <algorithm>
#include <set>

namespace resivex::gui_test {

namespace {

const char frame_title[] = "WINAPI version of RESIVEX V" RESIVEX_VERSION " compiled with Visual Studio";

// The document windows stand as a cascade: each one the same step right and down from the one before it,
// all of one size, the active one in front.
void check_cascade(program& p, const std::vector<std::string>& titles_in_order) {
  std::vector<RECT> rects;
  for (const std::string& t : titles_in_order) rects.push_back(rect_in_parent(p.document(t)));
  const LONG dx = rects[1].left - rects[0].left, dy = rects[1].top - rects[0].top;
  check(dx > 0 && dy > 0, "cascaded windows step right and down");
  for (std::size_t i = 1; i < rects.size(); ++i) {
    check_equal(rects[i].left - rects[i - 1].left, dx, "cascade step x of window " + std::to_string(i));
    check_equal(rects[i].top - rects[i - 1].top, dy, "cascade step y of window " + std::to_string(i));
    check_equal(rects[i].right - rects[i].left, rects[0].right - rects[0].left, "cascaded width");
    check_equal(rects[i].bottom - rects[i].top, rects[0].bottom - rects[0].top, "cascaded height");
  }
  check(p.documents().front() == p.document(titles_in_order.back()), "the last window of the cascade is in front");
}

}  // namespace

GUI_CASE(start_without_report_shows_empty_frame_and_exit_ends_with_0) {
  const std::string exe = ctx.install();
  const std::vector<std::string> before = folder_entries(ctx.work);
  program p(exe, {}, ctx.work);
  const HWND frame = p.frame();
  check_equal(window_text(frame), frame_title, "frame title");
  check_equal(class_of(p.client()), "MDIClient", "class of the MDI client (id 4999)");
  check_equal(class_of(p.status()), "msctls_statusbar32", "class of the status bar (id 4997)");
  check_equal(class_of(p.toolbar()), "ToolbarWindow32", "class of the toolbar (id 4998)");
  check(p.documents().empty(), "no document window");
  check(p.dialogs_after_pending_commands().empty(), "no message box at start-up");
  check_menus(p, {false, false});
  check_toolbar(p, {false, false});
  check_status_bar(p, "");
  check(folder_entries(ctx.work) == before, "nothing was written");
  check(p.documents().empty(), "still no document window");

  p.command(IDM_FILE_EXIT);
  check_equal(p.wait_exit(), 0, "exit code after File/Exit");
}

GUI_CASE(start_with_report_converts_it_and_cascades_the_results) {
  const std::string exe = ctx.install();
  const std::string report = make_report(ctx.work, "uninstall");
  const outputs out = outputs_of(report);
  program p(exe, {report}, ctx.work);
  p.frame();
  const std::vector<std::string> titles = {out.bat, out.reg, out.mods};
  for (const std::string& t : titles) {
    const HWND doc = p.document(t);
    check_equal(window_text(p.edit_of(doc)), read_file(t), "text of the window " + t);
  }
  check_equal(static_cast<long long>(p.documents().size()), 3, "number of document windows");
  check(!file_exists(out.errors), "no error list");
  check(read_file(out.bat).find("uninstall stray.log") != std::string::npos,
        "the batch file names the left-over file (the run read this machine)");
  wait_until("the cascade", [&] {
    const RECT a = rect_in_parent(p.document(out.bat)), b = rect_in_parent(p.document(out.reg));
    return b.left > a.left && b.top > a.top;
  });
  check_cascade(p, titles);

  check(p.active_document() == p.document(out.mods), "the last result window is active");
  check_status_bar(p, out.mods);
  check_menus(p, {true, false});
  check_toolbar(p, {true, false});
  std::vector<std::string> expected_list;
  for (std::size_t i = 0; i < titles.size(); ++i)
    expected_list.push_back("&" + std::to_string(i + 1) + " " + titles[i]);
  check(window_list(p) == expected_list, "the Window menu lists the three documents");

  // The documents' font: Calibri, 18 high, of the Swiss family.
  const std::string font = p.probe(probe_font, [&] {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%llx", reinterpret_cast<unsigned long long>(p.edit_of(p.document(out.bat))));
    return std::string(hex);
  }());
  check(font.rfind("Calibri|18|0|32|", 0) == 0, "document font as created: " + font);

  p.command(IDM_FILE_EXIT);
  check_equal(p.wait_exit(), 0, "exit code after File/Exit");
}

GUI_CASE(start_with_unreadable_report_tells_and_ends_with_0) {
  const std::string exe = ctx.install();
  // A relative path: the program makes it absolute, and names the report by its full path.
  program p(exe, {"no such report.txt"}, ctx.work);
  const dialog box = p.wait_dialog("Error");
  check_equal(box.text, "2 - Error opening " + ctx.work + "\\no such report.txt  input file \n",
              "message for a report that cannot be opened");
  check(box.owner == nullptr, "the message box has no owner");
  p.press(box, IDOK);
  check_equal(p.wait_exit(), 0, "exit code after a report that cannot be opened");
  check(!file_exists(ctx.work + "\\no such report.bat"), "no batch file was created");
}

}  // namespace resivex::gui_test
