// Document windows: File/New, Save and Save As round trips, the Edit and Window commands, and what the
// frame shows as documents become active, close or are minimised.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "shell/resource.h"

namespace resivex::gui_test {

GUI_CASE(new_document_saves_through_save_as_then_in_place) {
  program p(ctx.install(), {}, ctx.work);
  p.command(IDM_FILE_NEW);
  const HWND doc = p.document("[Untitled]");
  check_equal(window_text(p.edit_of(doc)), "", "a new document is empty");
  check_status_bar(p, "[Untitled]");
  check_menus(p, {true, false});
  check_toolbar(p, {true, false});

  p.type(p.edit_of(doc), "first line\rsecond line");
  p.command(IDM_FILE_SAVE);
  const dialog save_as = p.wait_dialog("Save As");
  const std::string path = ctx.work + "\\notes.txt";
  p.choose_file(save_as, path);
  wait_until("the document to take its file's name", [&] { return window_text(doc) == path; });
  check_equal(read_file(path), "\xEF\xBB\xBF" "first line\r\nsecond line", "the saved file, in UTF-8 with its mark");
  check_equal(p.status_text(0), path, "status part 0 after Save As");

  // Now the document has a file: Save writes it in place, without a dialog.
  p.type(p.edit_of(doc), "\rthird line");
  p.command(IDM_FILE_SAVE);
  check(p.dialogs_after_pending_commands().empty(), "Save of a named document shows nothing");
  check_equal(read_file(path), "\xEF\xBB\xBF" "first line\r\nsecond line\r\nthird line", "the file after Save");
  check_equal(window_text(doc), path, "title after Save");
}

GUI_CASE(save_as_round_trip_moves_the_document_to_the_new_file) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND doc = p.document(out.bat);
  p.activate(doc);
  const std::string original = read_file(out.bat);

  // A cancelled Save As changes nothing.
  p.command(IDM_FILE_SAVE_AS);
  p.press(p.wait_dialog("Save As"), IDCANCEL);
  check(p.dialogs_after_pending_commands().empty(), "nothing after a cancelled Save As");
  check_equal(window_text(doc), out.bat, "title after a cancelled Save As");

  const std::string copy = ctx.work + "\\copy of report.bat";
  p.command(IDM_FILE_SAVE_AS);
  p.choose_file(p.wait_dialog("Save As"), copy);
  wait_until("the document to take the new name", [&] { return window_text(doc) == copy; });
  check_equal(read_file(copy), original, "the copy holds the document's text, byte for byte");
  check_equal(p.status_text(0), copy, "status part 0 names the new file");
  check_equal(window_list(p).at(0), "&1 " + copy, "the Window menu names the new file");

  // Later saves go to the new file; the old one stays as it was.
  p.type(p.edit_of(doc), "REM reviewed\r");
  p.command(IDM_FILE_SAVE);
  check(p.dialogs_after_pending_commands().empty(), "Save shows nothing");
  check_equal(read_file(copy), original + "REM reviewed\r\n", "the new file after Save");
  check_equal(read_file(out.bat), original, "the old file is untouched");
}

GUI_CASE(a_batch_file_with_an_accented_path_is_shown_as_text_and_saved_back_in_cmds_code_page) {
  // cmd reads the batch file in the OEM code page: the path's "ö" is one OEM byte on disk, which the
  // window must show as the letter.
  const std::string report = make_report(ctx.work, "Jörg");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND doc = p.document(out.bat);
  p.activate(doc);
  check_equal(p.status_text(0), out.bat, "the status bar names the batch file");
  const std::string on_disk = read_file(out.bat);
  check(in_code_page("Jörg", CP_OEMCP) != in_code_page("Jörg", CP_ACP), "the OEM and ANSI code pages differ on ö");
  check(on_disk.find(in_code_page("Jörg leftovers", CP_OEMCP)) != std::string::npos,
        "the batch file holds its paths as cmd reads them");
  const std::string shown = window_text(p.edit_of(doc));
  check(shown.find("Jörg leftovers") != std::string::npos, "the window shows them as text");
  check_equal(shown, file_text(out.bat, CP_OEMCP), "the window shows the whole batch file as cmd reads it");

  p.type(p.edit_of(doc), "REM révisé\r");
  p.command(IDM_FILE_SAVE);
  check(p.dialogs_after_pending_commands().empty(), "Save shows nothing");
  const std::string saved = on_disk + in_code_page("REM révisé\r\n", CP_OEMCP);
  check_equal(read_file(out.bat), saved, "saved back in the OEM code page, the paths byte for byte");

  // A character that the OEM code page lacks would be saved as another: the save is refused.
  check(!fits_code_page("€", CP_OEMCP), "€ is not in the OEM code page");
  p.type(p.edit_of(doc), "REM €\r");
  p.command(IDM_FILE_SAVE);
  const dialog box = p.wait_dialog("Error.");
  check_equal(box.text, "Couldn't Save File.", "message for a text that cmd's code page cannot hold");
  p.press(box, IDOK);
  check_equal(read_file(out.bat), saved, "the file after the refused save");
}

GUI_CASE(a_second_run_over_a_report_shows_the_new_files_in_their_windows) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND bat = p.document(out.bat);
  const HWND reg = p.document(out.reg);
  p.activate(bat);
  p.type(p.edit_of(bat), "REM mine\r");
  const std::string edited = window_text(p.edit_of(bat));
  // One left-over is gone by the second run: its batch file differs.
  DeleteFileA((ctx.work + "\\report stray.log").c_str());

  // Unsaved edits are not dropped without asking; No keeps them.
  p.command(IDM_FILE_OPEN);
  p.choose_file(p.wait_dialog("Open"), report);
  const dialog keep = p.wait_dialog("RESIVEX");
  check_equal(keep.text,
              out.bat + " was written again. Show its new text in its window, dropping the changes made there?",
              "the question about the edited window");
  p.press(keep, IDNO);
  check(p.dialogs_after_pending_commands().empty(), "nothing more after the run");
  check_equal(static_cast<long long>(p.documents().size()), static_cast<long long>(out.windows().size()),
              "no second window for a file");
  check_equal(window_text(p.edit_of(bat)), edited, "No keeps the edits");
  check(read_file(out.bat).find("stray.log") == std::string::npos, "the run wrote the new batch file");
  check_equal(window_text(p.edit_of(reg)), script_text(out.reg), "a window without edits shows its file anew");

  // Yes shows the new text.
  p.command(IDM_FILE_OPEN);
  p.choose_file(p.wait_dialog("Open"), report);
  p.press(p.wait_dialog("RESIVEX"), IDYES);
  check(p.dialogs_after_pending_commands().empty(), "nothing more after the second run");
  check_equal(static_cast<long long>(p.documents().size()), static_cast<long long>(out.windows().size()),
              "still one window a file");
  check_equal(window_text(p.edit_of(bat)), script_text(out.bat), "Yes shows the new text");
}

GUI_CASE(edit_commands_reach_the_active_document) {
  program p(ctx.install(), {}, ctx.work);
  p.command(IDM_FILE_NEW);
  const HWND edit = p.edit_of(p.document("[Untitled]"));
  p.type(edit, "abc");
  // Posted, so that it comes in order with the posted commands.
  const auto select = [&](int from, int to) { PostMessageA(edit, EM_SETSEL, from, to); };
  const auto expect = [&](const std::string& text, const std::string& after) {
    try {
      wait_until("the text after " + after, [&] { return window_text(edit) == text; });
    } catch (const failure&) {
      check_equal(window_text(edit), text, "text after " + after);
      throw;
    }
  };
  select(0, -1);
  p.command(IDM_EDIT_CUT);
  expect("", "Cut");
  p.command(IDM_EDIT_PASTE);
  expect("abc", "Paste");
  p.command(IDM_EDIT_PASTE);
  expect("abcabc", "a second Paste");
  p.command(IDM_EDIT_UNDO);
  expect("abc", "Undo");
  select(0, 2);
  p.command(IDM_EDIT_COPY);
  select(3, 3);
  p.command(IDM_EDIT_PASTE);
  expect("abcab", "Copy and Paste");
}

GUI_CASE(window_commands_arrange_the_documents) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND bat = p.document(out.bat), reg = p.document(out.reg), mods = p.document(out.mods);
  const std::vector<HWND> docs = {bat, reg, mods};
  // The arrangements are checked on three windows (tiles of more form a grid): the run's others close first.
  for (const std::string& t : out.windows()) {
    const HWND d = p.document(t);
    if (d == bat || d == reg || d == mods) continue;
    p.close(d);
    wait_until("the document " + t + " to close", [&] { return !IsWindow(d); });
  }
  RECT area{};
  GetClientRect(p.client(), &area);

  p.command(IDM_WINDOW_TILE_VERTICAL);
  wait_until("side by side windows", [&] {
    for (const HWND d : docs) {
      const RECT r = rect_in_parent(d);
      if (r.top != 0 || r.bottom != area.bottom || r.right - r.left > area.right / 2) return false;
    }
    return true;
  });
  p.command(IDM_WINDOW_TILE_HORIZONTAL);
  wait_until("windows one above the other", [&] {
    for (const HWND d : docs) {
      const RECT r = rect_in_parent(d);
      if (r.left != 0 || r.right != area.right || r.bottom - r.top > area.bottom / 2) return false;
    }
    return true;
  });
  p.command(IDM_WINDOW_CASCADE);
  wait_until("a cascade", [&] {
    const RECT a = rect_in_parent(docs[0]), b = rect_in_parent(docs[1]), c = rect_in_parent(docs[2]);
    return b.left - a.left > 0 && c.left - b.left == b.left - a.left && c.top - b.top == b.top - a.top &&
           b.top - a.top > 0;
  });

  // Minimised windows are lined up along the bottom by Arrange Icons; their edit controls keep their size.
  RECT edit_before{};
  GetClientRect(p.edit_of(bat), &edit_before);
  for (const HWND d : docs) PostMessageA(d, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  wait_until("three minimised documents", [&] { return IsIconic(bat) && IsIconic(reg) && IsIconic(mods); });
  RECT edit_after{};
  GetClientRect(p.edit_of(bat), &edit_after);
  check(EqualRect(&edit_before, &edit_after) != 0, "minimising does not resize the edit control");
  p.command(IDM_WINDOW_ARRANGE_ICONS);
  wait_until("icons in one row at the bottom", [&] {
    const RECT a = rect_in_parent(bat), b = rect_in_parent(reg), c = rect_in_parent(mods);
    return a.bottom == b.bottom && b.bottom == c.bottom && a.bottom >= area.bottom - 2 && a.left != b.left &&
           b.left != c.left && a.left != c.left;
  });

  // An entry of the window list activates its document.
  p.command(IDM_WINDOW_FIRST_CHILD);
  wait_until("the first listed document to become active", [&] { return p.active_document() == bat; });
}

GUI_CASE(active_document_drives_menus_toolbar_and_status) {
  const std::string report = make_report(ctx.work, "report");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  std::vector<HWND> docs;
  for (const std::string& t : out.windows()) docs.push_back(p.document(t));
  std::vector<HWND> order = docs;
  order.push_back(docs.front());
  for (const HWND d : order) {
    p.activate(d);
    check_equal(p.status_text(0), window_text(d), "status part 0 follows the active document");
  }
  check_menus(p, {true, false});
  for (const HWND d : docs) {
    p.close(d);
    wait_until("the document to close", [&] { return !IsWindow(d); });
  }
  check(p.documents().empty(), "all documents closed");
  check_status_bar(p, "", make_report_summary("report"));
  check_menus(p, {false, false});
  check_toolbar(p, {false, false});

  // With no document, the document commands do nothing.
  for (const unsigned id :
       {IDM_FILE_SAVE, IDM_FILE_SAVE_AS, IDM_EDIT_UNDO, IDM_EDIT_CUT, IDM_EDIT_COPY, IDM_EDIT_PASTE}) {
    p.command(id);
  }
  check(p.dialogs_after_pending_commands().empty(), "no dialog from document commands without a document");
  check(p.documents().empty(), "no document appeared");
}

}  // namespace resivex::gui_test
