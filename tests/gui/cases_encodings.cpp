// Document windows on files in each encoding the program meets: regedit's UTF-16 form, the UTF-8 error
// list, batch files in cmd's OEM code page, plain ANSI text. Each window shows the file's text as text (not
// its bytes) and saves it back in the file's own encoding, refusing what that encoding cannot hold. The
// files are written here and opened in a document window as the program opens each output of a run, so
// that every encoding and every name can be tried.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "shell/resource.h"

namespace resivex::gui_test {

namespace {

const std::string utf16_mark = "\xFF\xFE";
const std::string utf8_mark = "\xEF\xBB\xBF";

// Opens a document window on the file at path and returns it.
HWND open_document(program& p, const std::string& path) {
  check_equal(p.probe(probe_open_document, path), "posted", "the probe opens a document on " + path);
  return p.document(path);
}

// What the keyboard sends for a text: Enter for each line break.
std::string keys_for(const std::string& text) {
  std::string keys;
  for (const char c : text) {
    if (c != '\n') keys += c;
  }
  return keys;
}

// Saves the active document with File/Save and checks that nothing was said.
void save(program& p) {
  p.command(IDM_FILE_SAVE);
  const std::vector<dialog> boxes = p.dialogs_after_pending_commands();
  check(boxes.empty(), boxes.empty() ? "" : "a box after Save: " + boxes.front().caption + ": " + boxes.front().text);
}

// Saves the active document with File/Save, which must be refused with the save message.
void save_refused(program& p) {
  p.command(IDM_FILE_SAVE);
  const dialog box = p.wait_dialog("Error.");
  check_equal(box.text, "Couldn't Save File.", "the message of a refused save");
  p.press(box, IDOK);
}

// The folders of a path deeper than MAX_PATH, each made in its extended form.
std::string make_deep_folder(const std::string& base, std::size_t length) {
  make_folder(base);
  std::string folder = base;
  while (folder.size() < length) {
    folder += "\\" + std::string(40, 'd') + std::to_string(folder.size());
    make_folder("\\\\?\\" + folder);
  }
  return folder;
}

}  // namespace

GUI_CASE(a_utf16_script_shows_its_cyrillic_text_and_saves_back_in_utf16_with_its_mark) {
  const std::string folder = ctx.work + "\\Иван";
  make_folder(folder);
  const std::string path = folder + "\\Ключи.reg";
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Компания]\r\n";
  write_file(path, utf16_mark + utf16le(text));
  program p(ctx.install(), {}, ctx.work);
  const HWND doc = open_document(p, path);
  check_equal(window_text(p.edit_of(doc)), text, "the window shows the script's text, not its bytes");
  p.activate(doc);
  check_equal(p.status_text(0), path, "the status bar names the file in Cyrillic");
  check_equal(window_list(p).at(0), "&1 " + path, "the Window menu names the file in Cyrillic");

  p.type(p.edit_of(doc), "; проверено\r");
  save(p);
  check_equal(read_file(path), utf16_mark + utf16le(text + "; проверено\r\n"), "saved in UTF-16LE with its mark");
  check_equal(window_text(doc), path, "the title after Save");
}

GUI_CASE(a_utf8_error_list_is_shown_and_saved_back_in_utf8_with_its_mark) {
  const std::string path = ctx.work + "\\report_errors.txt";
  const std::string text = "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Компания\\Ключ: Access is denied.\r\n";
  write_file(path, utf8_mark + text);
  program p(ctx.install(), {}, ctx.work);
  const HWND doc = open_document(p, path);
  check_equal(window_text(p.edit_of(doc)), text, "the window shows the list's text");
  p.activate(doc);
  // Neither the ANSI nor the OEM code page has these letters: UTF-8 keeps them all.
  const std::string added = "; 日本語 Ελληνικά €\r";
  check(!fits_code_page(added, CP_ACP), "the added text is beyond the ANSI code page");
  p.type(p.edit_of(doc), added);
  save(p);
  check_equal(read_file(path), utf8_mark + text + "; 日本語 Ελληνικά €\r\n", "saved in UTF-8 with its mark");
}

GUI_CASE(a_batch_file_in_the_oem_code_page_is_shown_as_text_and_saved_back_to_it) {
  const std::string folder = ctx.work + "\\Jörg";
  make_folder(folder);
  const std::string path = folder + "\\cleanup.bat";
  const std::string text = "@ECHO OFF\r\nRMDIR /S \"C:\\Users\\Jörg\\Müll\"\r\n";
  // The test tells the code pages apart only where they differ.
  check(in_code_page(text, CP_OEMCP) != in_code_page(text, CP_ACP), "the OEM and ANSI code pages differ on ö and ü");
  const std::string on_disk = in_code_page(text, CP_OEMCP);
  write_file(path, on_disk);
  program p(ctx.install(), {}, ctx.work);
  const HWND doc = open_document(p, path);
  check_equal(window_text(p.edit_of(doc)), text, "the window shows the batch file's text as cmd reads it");
  p.activate(doc);

  p.type(p.edit_of(doc), "REM révisé\r");
  save(p);
  const std::string saved = on_disk + in_code_page("REM révisé\r\n", CP_OEMCP);
  check_equal(read_file(path), saved, "saved back in the OEM code page, the paths byte for byte");

  // A character that the OEM code page lacks would be saved as another: the save is refused, nothing written.
  for (const std::string lacking : {"€", "Ж"}) {
    check(!fits_code_page(lacking, CP_OEMCP), lacking + " is not in the OEM code page");
    const std::string before = window_text(p.edit_of(doc));
    p.type(p.edit_of(doc), "REM " + lacking);
    save_refused(p);
    check_equal(read_file(path), saved, "the file after the refused save of " + lacking);
    check(folder_entries(folder) == std::vector<std::string>{"cleanup.bat"}, "no file left behind");
    check_equal(window_text(p.edit_of(doc)), before + "REM " + lacking, "the refused text stays in the window");
    const std::wstring restored = wide(before);
    SendMessageW(p.edit_of(doc), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(restored.c_str()));
    check_equal(window_text(p.edit_of(doc)), before, "the text without the refused line");
  }
}

GUI_CASE(an_ansi_text_file_is_shown_and_saved_in_the_ansi_code_page) {
  const std::string path = ctx.work + "\\notes.txt";
  const std::string text = "café crème\r\n";
  write_file(path, in_code_page(text, CP_ACP));
  program p(ctx.install(), {}, ctx.work);
  const HWND doc = open_document(p, path);
  check_equal(window_text(p.edit_of(doc)), text, "the window shows the file's text");
  p.activate(doc);
  p.type(p.edit_of(doc), "à la carte");
  save(p);
  check_equal(read_file(path), in_code_page(text + "à la carte", CP_ACP), "saved back in the ANSI code page");
  check(!fits_code_page("Ж", CP_ACP), "Ж is not in the ANSI code page");
  p.type(p.edit_of(doc), "Ж");
  save_refused(p);
  check_equal(read_file(path), in_code_page(text + "à la carte", CP_ACP), "the file after the refused save");
}

GUI_CASE(a_file_whose_text_cannot_be_shown_exactly_gets_no_window) {
  // The edit control ends its text at a NUL: a window would show less than the file holds, and its save
  // would cut the file there.
  const std::string path = ctx.work + "\\Отчёт_errors.txt";
  write_file(path, std::string("before\0after\r\n", 14));
  program p(ctx.install(), {}, ctx.work);
  check_equal(p.probe(probe_open_document, path), "posted", "the probe opens a document");
  const dialog box = p.wait_dialog("Error");
  check_equal(box.text, "Couldn't Load File " + path, "the message names the file in Cyrillic");
  p.press(box, IDOK);
  check(p.dialogs_after_pending_commands().empty(), "nothing more");
  check(p.documents().empty(), "no window for the file");
  check_equal(read_file(path), std::string("before\0after\r\n", 14), "the file is untouched");
}

GUI_CASE(new_documents_take_their_encoding_from_the_name_they_are_saved_under) {
  program p(ctx.install(), {}, ctx.work);
  struct row {
    std::string name;
    std::string typed;
    std::string bytes;  // what the file must hold
  };
  const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Компания]\r\n";
  const row rows[] = {
      {"удалить.reg", text, utf16_mark + utf16le(text)},
      {"UPPER.REG", "REGEDIT4\r\n; Ж\r\n", utf16_mark + utf16le("REGEDIT4\r\n; Ж\r\n")},
      {"löschen.bat", "RMDIR /S \"C:\\Jörg\"\r\n", in_code_page("RMDIR /S \"C:\\Jörg\"\r\n", CP_OEMCP)},
      {"liste.cmd", "DEL café\r\n", in_code_page("DEL café\r\n", CP_OEMCP)},
      {"заметки.txt", "Ж € é\r\n", utf8_mark + "Ж € é\r\n"},
      {"journal.log", "Ж\r\n", utf8_mark + "Ж\r\n"},
  };
  for (const row& r : rows) {
    p.command(IDM_FILE_NEW);
    const HWND doc = p.document("[Untitled]");
    p.type(p.edit_of(doc), keys_for(r.typed));
    p.command(IDM_FILE_SAVE_AS);
    const std::string path = ctx.work + "\\" + r.name;
    p.choose_file(p.wait_dialog("Save As"), path);
    wait_until("the document to take the name " + r.name, [&] { return window_text(doc) == path; });
    check(p.dialogs_after_pending_commands().empty(), "Save As of " + r.name + " shows nothing");
    check_equal(read_file(path), r.bytes, "the file " + r.name);
    // Later saves keep the encoding.
    p.type(p.edit_of(doc), "; Ok");
    save(p);
    check_equal(read_file(path).substr(0, r.bytes.size()), r.bytes, "the file " + r.name + " after Save");
    p.close(doc);
    wait_until("the saved document to close", [&] { return !IsWindow(doc); });
  }

  // A batch file cannot hold what cmd's code page lacks: Save As refuses, the document keeps no name.
  p.command(IDM_FILE_NEW);
  const HWND doc = p.document("[Untitled]");
  p.type(p.edit_of(doc), "DEL Ж");
  p.command(IDM_FILE_SAVE_AS);
  const std::string refused = ctx.work + "\\refused.bat";
  p.choose_file(p.wait_dialog("Save As"), refused);
  const dialog box = p.wait_dialog("Error.");
  check_equal(box.text, "Couldn't Save File.", "the message of a refused Save As");
  p.press(box, IDOK);
  check(!file_exists(refused), "nothing written for the refused batch file");
  check_equal(window_text(doc), "[Untitled]", "the document still has no file");
  // The same text goes to a name of another kind.
  p.command(IDM_FILE_SAVE_AS);
  const std::string accepted = ctx.work + "\\accepted.txt";
  p.choose_file(p.wait_dialog("Save As"), accepted);
  wait_until("the document to take its name", [&] { return window_text(doc) == accepted; });
  check_equal(read_file(accepted), utf8_mark + "DEL Ж", "the text saved in UTF-8 instead");
}

// Windows takes such paths only in their extended form; Wine takes the plain form as well, so here this
// shows that the extended form the program uses reaches the files (shell_unit checks the form itself).
GUI_CASE(documents_beyond_max_path_load_and_save) {
  const std::string folder = make_deep_folder(ctx.work + "\\Глубоко", 300);
  const std::string path = folder + "\\report.reg";
  check(path.size() > MAX_PATH, "the path is longer than MAX_PATH");
  const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Ж]\r\n";
  write_file("\\\\?\\" + path, utf16_mark + utf16le(text));
  program p(ctx.install(), {}, ctx.work);
  const HWND doc = open_document(p, path);
  check_equal(window_text(p.edit_of(doc)), text, "the window shows the file's text");
  p.activate(doc);
  p.type(p.edit_of(doc), "; ok\r");
  save(p);
  check_equal(read_file("\\\\?\\" + path), utf16_mark + utf16le(text + "; ok\r\n"), "the file after Save");
  check(folder_entries("\\\\?\\" + folder) == std::vector<std::string>{"report.reg"}, "no file left behind");
}

}  // namespace resivex::gui_test
