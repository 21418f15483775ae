// What the program does where a careless one would lose work or mix up runs: a second conversion while one
// is running, a save that fails, unsaved edits at closing time, a report dropped on the window, and a result
// file that cannot be read when its window opens.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "shell/resource.h"

namespace resivex::gui_test {

namespace {

// Opens a report with File/Open while the program's exclusion list is held open by another program: the
// run stops at its "cannot open" box, in the middle of the conversion. Returns that box.
dialog open_report_and_stop_at_exclusion_list(program& p, const std::string& report, const std::string& list) {
  p.command(IDM_FILE_OPEN);
  p.choose_file(p.wait_dialog("Open"), report);
  const dialog box = p.wait_dialog("Error");
  check_equal(box.text, "2 - Error opening " + list + "  input file \n", "the run's message about the exclusion list");
  check(box.owner == nullptr, "the run's message box has no owner");
  return box;
}

std::string exclusion_list(const context& ctx) {
  const std::string list = ctx.work + "\\prog\\do_not_modify_list.TXT";
  write_file(list, "; values that are never reset\r\nMRUList\r\n");
  return list;
}

}  // namespace

GUI_CASE(conversion_in_progress_holds_off_open_and_drops) {
  const std::string exe = ctx.install();
  const std::string list = exclusion_list(ctx);
  const std::string first = make_report(ctx.work, "first"), second = make_report(ctx.work, "second");
  program p(exe, {}, ctx.work);
  {
    const held_file lock(list, GENERIC_READ, 0);
    const dialog box = open_report_and_stop_at_exclusion_list(p, first, list);
    check_menus(p, {false, true});
    check_toolbar(p, {false, true});
    // Neither File/Open nor a drop may start a second run over the one that waits.
    p.command(IDM_FILE_OPEN);
    check_equal(p.probe(probe_drop, second), "posted", "the drop was delivered");
    const std::vector<dialog> open = p.dialogs_after_pending_commands();
    check(open.size() == 1 && open[0].window == box.window, "only the run's own box is open");
    p.press(box, IDOK);
  }
  const std::vector<std::string> windows = outputs_of(first).windows();
  for (const std::string& t : windows) p.document(t);
  check(p.dialogs_after_pending_commands().empty(), "nothing more after the run");
  check_equal(static_cast<long long>(p.documents().size()), static_cast<long long>(windows.size()),
              "result windows of the one run");
  check(!file_exists(outputs_of(second).bat), "the report dropped during the run was not converted");
  check_menus(p, {true, false});
  check_toolbar(p, {true, false});

  // Once the run is over, a drop converts again.
  p.probe(probe_drop, second);
  for (const std::string& t : outputs_of(second).windows()) p.document(t);
  check_equal(static_cast<long long>(p.documents().size()), 2 * static_cast<long long>(windows.size()),
              "result windows of both runs");
}

GUI_CASE(exit_during_a_conversion_waits_for_its_end) {
  const std::string exe = ctx.install();
  const std::string list = exclusion_list(ctx);
  const std::string report = make_report(ctx.work, "report");
  program p(exe, {}, ctx.work);
  dialog box;
  {
    const held_file lock(list, GENERIC_READ, 0);
    box = open_report_and_stop_at_exclusion_list(p, report, list);
    p.command(IDM_FILE_EXIT);
    const std::vector<dialog> open = p.dialogs_after_pending_commands();
    check(p.running() && open.size() == 1 && open[0].window == box.window, "the program waits for the run");
  }
  p.press(box, IDOK);
  check_equal(p.wait_exit(), 0, "exit code once the run is over");
  const outputs out = outputs_of(report);
  check(file_exists(out.bat) && file_exists(out.reg) && file_exists(out.mods), "the run completed its outputs");
  check(read_file(out.bat).find("pause") != std::string::npos, "the batch file is complete");
}

GUI_CASE(failed_save_keeps_the_file_and_an_empty_document_saves_empty) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND doc = p.document(out.bat);
  p.activate(doc);
  const std::string original = read_file(out.bat);
  const std::vector<std::string> files = folder_entries(ctx.work);

  // A file that another program holds open cannot be replaced: the save fails, and the file and its
  // folder stay exactly as they were.
  {
    const held_file reader(out.bat, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    p.type(p.edit_of(doc), "REM reviewed\r");
    p.command(IDM_FILE_SAVE);
    const dialog box = p.wait_dialog("Error.");
    check_equal(box.text, "Couldn't Save File.", "message for a failed save");
    check(box.owner == p.frame(), "the message belongs to the program's window");
    p.press(box, IDOK);
  }
  check_equal(read_file(out.bat), original, "the file after a failed save");
  check(folder_entries(ctx.work) == files, "no file left behind by the failed save");
  check_equal(window_text(p.edit_of(doc)), original + "REM reviewed\r\n", "the text stays in the window");

  // An empty document is saved as an empty file, without complaint.
  SendMessageA(p.edit_of(doc), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  p.command(IDM_FILE_SAVE);
  check(p.dialogs_after_pending_commands().empty(), "saving an empty document shows nothing");
  check_equal(read_file(out.bat), "", "the file after saving an empty document");
  check(folder_entries(ctx.work) == files, "no file left behind by the save");
}

GUI_CASE(closing_a_document_with_unsaved_edits_asks_first) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND bat = p.document(out.bat), reg = p.document(out.reg), mods = p.document(out.mods);
  const std::string mods_bytes = read_file(out.mods), reg_text = script_text(out.reg);
  const std::string mods_text = script_text(out.mods), reg_mark = read_file(out.reg).substr(0, 2);

  // Unchanged: it closes without a question.
  p.close(bat);
  wait_until("the unchanged document to close", [&] { return !IsWindow(bat); });
  check(p.dialogs_after_pending_commands().empty(), "no question for an unchanged document");

  p.type(p.edit_of(mods), "; reviewed\r");
  p.close(mods);
  dialog ask = p.wait_dialog("RESIVEX");
  check_equal(ask.text, "Save the changes to " + out.mods + "?", "the question");
  check(ask.owner == p.frame(), "the question belongs to the program's window");
  p.press(ask, IDCANCEL);
  check(IsWindow(mods) && window_text(p.edit_of(mods)) == mods_text + "; reviewed\r\n", "Cancel keeps the window");
  p.close(mods);
  p.press(p.wait_dialog("RESIVEX"), IDNO);
  wait_until("the document to close after No", [&] { return !IsWindow(mods); });
  check_equal(read_file(out.mods), mods_bytes, "No leaves the file as it was");

  p.type(p.edit_of(reg), "; reviewed\r");
  p.close(reg);
  p.press(p.wait_dialog("RESIVEX"), IDYES);
  wait_until("the document to close after Yes", [&] { return !IsWindow(reg); });
  check_equal(script_text(out.reg), reg_text + "; reviewed\r\n", "Yes saves the edits");
  check_equal(read_file(out.reg).substr(0, 2), reg_mark, "the removal script keeps its encoding");

  // A document without a file asks for a name; cancelling that keeps the window open.
  p.command(IDM_FILE_NEW);
  const HWND untitled = p.document("[Untitled]");
  p.type(p.edit_of(untitled), "notes");
  p.close(untitled);
  ask = p.wait_dialog("RESIVEX");
  check_equal(ask.text, "Save the changes to [Untitled]?", "the question for a new document");
  p.press(ask, IDYES);
  p.press(p.wait_dialog("Save As"), IDCANCEL);
  check(p.dialogs_after_pending_commands().empty() && IsWindow(untitled), "a cancelled Save As keeps the window");
  p.close(untitled);
  p.press(p.wait_dialog("RESIVEX"), IDYES);
  const std::string notes = ctx.work + "\\notes.txt";
  p.choose_file(p.wait_dialog("Save As"), notes);
  wait_until("the new document to close once saved", [&] { return !IsWindow(untitled); });
  check_equal(read_file(notes), "\xEF\xBB\xBFnotes", "the new document's file, in UTF-8 with its mark");
}

GUI_CASE(exit_with_unsaved_edits_asks_first) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  const std::string exe = ctx.install();
  {
    program p(exe, {report}, ctx.work);
    const HWND reg = p.document(out.reg);
    p.document(out.mods);
    const std::string original = read_file(out.reg);
    p.type(p.edit_of(reg), "; keep\r");
    p.command(IDM_FILE_EXIT);
    p.press(p.wait_dialog("RESIVEX"), IDCANCEL);
    check(p.dialogs_after_pending_commands().empty() && p.running() && IsWindow(reg), "Cancel keeps the program");
    p.command(IDM_FILE_EXIT);
    p.press(p.wait_dialog("RESIVEX"), IDNO);
    check_equal(p.wait_exit(), 0, "exit code after No");
    check_equal(read_file(out.reg), original, "No leaves the file as it was");
  }
  {
    program p(exe, {report}, ctx.work);
    const HWND reg = p.document(out.reg);
    p.document(out.mods);
    const std::string original = script_text(out.reg);
    p.type(p.edit_of(reg), "; keep\r");
    p.command(IDM_FILE_EXIT);
    p.press(p.wait_dialog("RESIVEX"), IDYES);
    check_equal(p.wait_exit(), 0, "exit code after Yes");
    check_equal(script_text(out.reg), original + "; keep\r\n", "Yes saves the edits before the end");
  }
}

GUI_CASE(dropped_report_is_converted_like_an_opened_one) {
  const std::string first = make_report(ctx.work, "first"), second = make_report(ctx.work, "second"),
                    third = make_report(ctx.work, "third");
  program p(ctx.install(), {}, ctx.work);
  check((GetWindowLongA(p.frame(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0, "the frame accepts dropped files");
  // A folder is not a report: nothing happens.
  p.probe(probe_drop, ctx.work + "\\prog");
  check(p.dialogs_after_pending_commands().empty() && p.documents().empty(), "a dropped folder is passed over");

  p.probe(probe_drop, first);
  const std::vector<std::string> windows = outputs_of(first).windows();
  for (const std::string& t : windows) {
    const HWND doc = p.document(t);
    check_equal(window_text(p.edit_of(doc)), script_text(t), "text of the result window " + t);
  }
  check_equal(static_cast<long long>(p.documents().size()), static_cast<long long>(windows.size()),
              "result windows of the dropped report");

  // Several reports dropped at once are converted one after the other.
  p.probe(probe_drop, second + "|" + third);
  for (const std::string& t : outputs_of(second).windows()) p.document(t);
  for (const std::string& t : outputs_of(third).windows()) p.document(t);
  check_equal(static_cast<long long>(p.documents().size()), 3 * static_cast<long long>(windows.size()),
              "result windows of three reports");
}

GUI_CASE(result_file_that_cannot_be_read_gets_no_window) {
  const std::string exe = ctx.install();
  const std::string list = exclusion_list(ctx);
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  program p(exe, {}, ctx.work);
  dialog box;
  {
    const held_file lock(list, GENERIC_READ, 0);
    box = open_report_and_stop_at_exclusion_list(p, report, list);
  }
  // Another program writes to the batch file (the run has it open for writing too): when its window opens,
  // the file cannot be read.
  const held_file writer(out.bat, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  p.press(box, IDOK);
  const dialog load = p.wait_dialog("Error");
  check_equal(load.text, "Couldn't Load File " + out.bat, "message for the file that cannot be read");
  check(load.owner == nullptr, "that message box has no owner");
  p.press(load, IDOK);
  const dialog creation = p.wait_dialog("Oh Oh...");
  check_equal(creation.text, "MDI Child creation failed.", "message for the window that was not created");
  check(creation.owner == p.frame(), "that message belongs to the program's window");
  p.press(creation, IDOK);
  const std::vector<std::string> windows = out.windows();
  for (std::size_t i = 1; i < windows.size(); ++i) p.document(windows[i]);
  check(p.dialogs_after_pending_commands().empty(), "the run completes");
  check_equal(static_cast<long long>(p.documents().size()), static_cast<long long>(windows.size()) - 1,
              "windows of the readable results");
}

GUI_CASE(run_that_must_end_the_program_asks_to_save_then_ends_it) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  write_file(out.bat, "REM an older batch file\r\n");
  program p(ctx.install(), {}, ctx.work);
  p.command(IDM_FILE_NEW);
  p.type(p.edit_of(p.document("[Untitled]")), "notes");
  {
    // Another program holds the batch file: the run cannot create it, which ends the program.
    const held_file holder(out.bat, GENERIC_READ, 0);
    p.command(IDM_FILE_OPEN);
    p.choose_file(p.wait_dialog("Open"), report);
    const dialog box = p.wait_dialog("outline");
    check_equal(box.text, "Error opening " + out.bat + "  output file \n", "message for a batch file not created");
    check(box.owner == nullptr, "the run's message box has no owner");
    p.press(box, IDOK);
  }
  // The end cannot be cancelled, but the unsaved document is offered for saving first.
  const dialog ask = p.wait_dialog("RESIVEX");
  check_equal(ask.text, "RESIVEX must close. Save the changes to [Untitled]?", "the question before the end");
  check(GetDlgItem(ask.window, IDCANCEL) == nullptr || !IsWindowVisible(GetDlgItem(ask.window, IDCANCEL)),
        "the question has no Cancel");
  p.press(ask, IDYES);
  const std::string notes = ctx.work + "\\notes.txt";
  p.choose_file(p.wait_dialog("Save As"), notes);
  check_equal(p.wait_exit(), 0, "exit code of a run that could not create its batch file");
  check_equal(read_file(notes), "\xEF\xBB\xBFnotes", "the document saved before the end");
}

}  // namespace resivex::gui_test
