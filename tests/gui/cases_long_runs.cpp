// Long runs: a report of 300,000 entries. While it is converted the status bar shows the progress and the
// window answers; Esc and File/Cancel conversion stop the run and leave none of its outputs; a whole run
// ends with its summary in the status bar.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "shell/resource.h"

#include <set>

namespace resivex::gui_test {

namespace {

constexpr int entries = 300000;
constexpr int left_over = 3;  // files of the report that still exist
constexpr const char* cancelled = "The conversion was cancelled: the scripts it had begun were removed.";

// The report: files that are gone, but for the last few, in Regshot 1.9.0's layout (one line each). Their
// folder is still there: each is asked for, and the run takes a few seconds.
std::string make_long_report(const std::string& folder) {
  make_folder(folder + "\\kept");
  make_folder(folder + "\\gone");
  make_folder(folder + "\\gone\\setup cache");
  std::string text =
      "Regshot 1.9.0 x64 ANSI\r\nComments: \r\nDatetime: 2026-12-08 10:00:00, 2026-12-08 10:30:00\r\n"
      "Computer: VM, VM\r\nUsername: root, root\r\n\r\n----------------------------------\r\nFiles added: " +
      std::to_string(entries) + "\r\n----------------------------------\r\n";
  text.reserve(static_cast<std::size_t>(entries) * 64);
  for (int i = 0; i < entries - left_over; ++i) text += folder + "\\gone\\setup cache\\file " + std::to_string(i) + ".dat\r\n";
  for (int i = 0; i < left_over; ++i) {
    const std::string path = folder + "\\kept\\left " + std::to_string(i) + ".log";
    write_file(path, "log");
    text += path + "\r\n";
  }
  text += "\r\n----------------------------------\r\nTotal changes: " + std::to_string(entries) +
          "\r\n----------------------------------\r\n";
  const std::string report = folder + "\\long.txt";
  write_file(report, text);
  return report;
}

bool is_progress(const std::string& text) { return text.rfind("Converting: ", 0) == 0; }

// Drops the report on the frame and waits until the status bar shows the run's progress.
void start_run(program& p, const std::string& report) {
  check_equal(p.probe(probe_drop, report), "posted", "the drop was delivered");
  wait_until("the progress of the run in the status bar", [&] { return is_progress(p.status_text(2)); });
}

// The run stopped: the status bar says so, no output of it is left, the report is as it was.
void check_cancelled(program& p, const std::string& report, const std::string& report_bytes, const std::string& how) {
  wait_until("the run to stop after " + how, [&] { return p.status_text(2) == cancelled; }, 60000);
  const outputs out = outputs_of(report);
  for (const std::string& path : {out.bat, out.reg, out.mods, out.undo, out.restore, out.errors}) {
    check(!file_exists(path), path + " is gone after " + how);
  }
  check(!file_exists(report.substr(0, report.size() - 4) + "_undo.tmp"), "no scratch file after " + how);
  check(read_file(report) == report_bytes, "the report is untouched after " + how);
  check(p.documents().empty(), "no result window after " + how);
  check_menus(p, {false, false});
}

}  // namespace

GUI_CASE(a_long_run_shows_its_progress_answers_stops_on_request_and_ends_with_its_summary) {
  const std::string report = make_long_report(ctx.work);
  const std::string report_bytes = read_file(report);
  program p(ctx.install(), {}, ctx.work);
  const HWND frame = p.frame();

  // The progress changes as the run goes on, and the window answers meanwhile.
  start_run(p, report);
  check_menus(p, {false, true});
  std::set<std::string> seen;
  wait_until("the progress text to change", [&] {
    const std::string text = p.status_text(2);
    if (is_progress(text)) seen.insert(text);
    return seen.size() >= 2;
  }, 60000);
  for (const std::string& text : seen) {
    check(text.find("Files added, ") != std::string::npos && text.find("% of the report read (") != std::string::npos,
          "the progress names the section and the share read: " + text);
  }
  DWORD_PTR answer = 0;
  check(SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &answer) != 0, "the frame answers during the run");
  // It moves when asked (the move is the program's own to carry out).
  RECT before{};
  GetWindowRect(frame, &before);
  SetWindowPos(frame, nullptr, before.left + 24, before.top + 16, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
  wait_until("the frame to move during the run", [&] {
    RECT now{};
    GetWindowRect(frame, &now);
    return now.left == before.left + 24 && now.top == before.top + 16;
  }, 5000);
  check(is_progress(p.status_text(2)), "the run was still going while the window answered and moved");

  // Esc stops it.
  PostMessageW(frame, WM_KEYDOWN, VK_ESCAPE, 0);
  check_cancelled(p, report, report_bytes, "Esc");

  // So does File/Cancel conversion.
  start_run(p, report);
  p.command(IDM_FILE_CANCEL);
  check_cancelled(p, report, report_bytes, "File/Cancel conversion");

  // A whole run: its results, and its summary.
  check_equal(p.probe(probe_drop, report), "posted", "the drop was delivered");
  const outputs out = outputs_of(report);
  for (const std::string& t : out.windows()) p.document(t);
  const std::string summary = "Read " + std::to_string(entries) + " entries (files added " + std::to_string(entries) +
                              "); written: long.bat " + std::to_string(left_over) +
                              ", long.reg 0, long_mods.reg 0, long_undo.reg 0, long_restore.reg 0; skipped " +
                              std::to_string(entries - left_over) + ": " + std::to_string(entries - left_over) +
                              " absent now or unchanged.";
  wait_until("the summary in the status bar", [&] { return p.status_text(2) == summary; });
  check(read_file(out.bat).find("left 2.log") != std::string::npos, "the batch file names the left-over files");

  p.command(IDM_FILE_EXIT);
  check_equal(p.wait_exit(), 0, "exit code after File/Exit");
}

}  // namespace resivex::gui_test
