// Help/About, Help/Help with and without the help text beside the program, and File/Open.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "resivex_version.h"
#include "shell/resource.h"

namespace resivex::gui_test {

namespace {

struct found_window {
  DWORD pid;
  std::string title_part;
  HWND window;
};

// A top-level window of another process whose title contains title_part.
HWND foreign_window(DWORD own_pid, const std::string& title_part) {
  found_window search{own_pid, title_part, nullptr};
  EnumWindows(
      [](HWND w, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<found_window*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != s->pid && pid != GetCurrentProcessId() && IsWindowVisible(w) &&
            window_text(w).find(s->title_part) != std::string::npos) {
          s->window = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.window;
}

}  // namespace

GUI_CASE(about_box_tells_what_the_program_is) {
  program p(ctx.install(), {}, ctx.work);
  p.command(IDM_HELP_ABOUT);
  const dialog about = p.wait_dialog("About...");
  check_equal(about.text,
              "RESIVEX for Windows,\ncreated using Visual Studio and WIN32 API.\n\nVersion " RESIVEX_VERSION
              "\nDo Help/Help for details \n",
              "About text");
  check(about.owner == nullptr, "the About box has no owner");
  p.press(about, IDOK);
  check(p.running(), "the program goes on after About");
}

GUI_CASE(help_opens_the_help_text_beside_the_program) {
  const std::string exe = ctx.install(true);
  program p(exe, {}, ctx.work);
  p.command(IDM_HELP_HELP);
  HWND viewer = nullptr;
  wait_until("a viewer showing RESIVEX.TXT", [&] { return (viewer = foreign_window(p.pid(), "RESIVEX")) != nullptr; });
  check(p.dialogs_after_pending_commands().empty(), "no message box from Help");
  // The viewer shows the help text: it names the program's outputs.
  const HWND text = FindWindowExA(viewer, nullptr, "Edit", nullptr);
  check(text != nullptr, "the viewer has a text area");
  check(window_text(text).find("do_not_modify_list.TXT") != std::string::npos, "the viewer shows the help text");
  DWORD viewer_pid = 0;
  GetWindowThreadProcessId(viewer, &viewer_pid);
  PostMessageA(viewer, WM_CLOSE, 0, 0);
  if (const HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, viewer_pid)) {
    if (WaitForSingleObject(h, default_wait_ms) == WAIT_TIMEOUT) TerminateProcess(h, 0);
    CloseHandle(h);
  }
}

GUI_CASE(help_without_help_text_tells_where_it_looked) {
  const std::string exe = ctx.install(false);
  program p(exe, {}, ctx.work);
  p.command(IDM_HELP_HELP);
  const dialog box = p.wait_dialog("Error");
  check_equal(box.text, "File " + ctx.work + "\\prog\\RESIVEX.TXT not found in same directory as RESIVEX.EXE.\n",
              "message for a missing help text");
  check(box.owner == nullptr, "the message box has no owner");
  p.press(box, IDOK);
  check(p.dialogs_after_pending_commands().empty(), "nothing else after the message");
}

GUI_CASE(open_dialog_converts_the_chosen_report) {
  const std::string report = make_report(ctx.work, "picked");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {}, ctx.work);

  p.command(IDM_FILE_OPEN);
  p.press(p.wait_dialog("Open"), IDCANCEL);
  check(p.dialogs_after_pending_commands().empty(), "a cancelled Open does nothing");
  check(p.documents().empty() && !file_exists(out.bat), "nothing converted after a cancelled Open");

  p.command(IDM_FILE_OPEN);
  p.choose_file(p.wait_dialog("Open"), report);
  for (const std::string& t : {out.bat, out.reg, out.mods}) {
    const HWND doc = p.document(t);
    check_equal(window_text(p.edit_of(doc)), read_file(t), "text of the result window " + t);
  }
  check_equal(static_cast<long long>(p.documents().size()), 3, "number of result windows");
  check_menus(p, {true, false});
  check_toolbar(p, {true, false});
}

}  // namespace resivex::gui_test
