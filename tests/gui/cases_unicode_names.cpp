// Names beyond the ANSI code page from end to end: a report named in Cyrillic reaches the conversion from the
// command line, a drop and File/Open; its outputs' windows carry those names; a key named in Cyrillic shows
// in the removal script's window as text, and a save keeps that script in UTF-16 with its mark.
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include "shell/resource.h"

namespace resivex::gui_test {

namespace {

// A folder made for a case and removed after it, wherever it lies.
class scratch_folder {
 public:
  explicit scratch_folder(std::string path) : path_(std::move(path)) {
    remove_tree(path_);
    std::size_t from = 3;  // past "C:\"
    for (std::size_t sep; (sep = path_.find('\\', from)) != std::string::npos; from = sep + 1) {
      make_folder(path_.substr(0, sep));
    }
    make_folder(path_);
  }
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;
  ~scratch_folder() { remove_tree(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A key of the current user made for a case and deleted after it.
class scratch_key {
 public:
  explicit scratch_key(const std::string& sub_key) : root_(wide("Software\\ResivexGuiTest")) {
    RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
    HKEY key = nullptr;
    check(RegCreateKeyExW(HKEY_CURRENT_USER, (root_ + L"\\" + wide(sub_key)).c_str(), 0, nullptr, 0, KEY_WRITE,
                          nullptr, &key, nullptr) == ERROR_SUCCESS,
          "the key " + sub_key + " is made");
    const wchar_t data[] = L"значение";
    RegSetValueExW(key, L"Имя", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
    RegCloseKey(key);
  }
  scratch_key(const scratch_key&) = delete;
  scratch_key& operator=(const scratch_key&) = delete;
  ~scratch_key() { RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str()); }

 private:
  std::wstring root_;
};

// The result windows of a report: each titled with its output's full path and showing its text.
void check_result_windows(program& p, const std::string& report) {
  const outputs out = outputs_of(report);
  for (const std::string& t : out.windows()) {
    const HWND doc = p.document(t);
    check_equal(window_text(p.edit_of(doc)), script_text(t), "text of the result window " + t);
  }
}

}  // namespace

GUI_CASE(a_removal_script_shows_a_cyrillic_key_name_as_text_and_saves_back_in_utf16) {
  const scratch_key key("Компания\\Программа");
  const std::string report =
      make_report(ctx.work, "uninstall", report_build::unicode,
                  {{"Keys added", {"HKU\\S-1-5-21-0-0-0-1000\\Software\\ResivexGuiTest\\Компания"}}});
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  const HWND doc = p.document(out.reg);
  check(read_file(out.reg).rfind("\xFF\xFE", 0) == 0, "the removal script is UTF-16 with its mark");
  const std::string shown = window_text(p.edit_of(doc));
  check(shown.rfind("Windows Registry Editor Version 5.00\r\n", 0) == 0, "the window shows the script's first line");
  check(shown.find("\\Software\\ResivexGuiTest\\Компания]") != std::string::npos,
        "the window shows the key's Cyrillic name: " + shown);
  check_equal(shown, script_text(out.reg), "the window shows the whole script as regedit reads it");

  p.activate(doc);
  p.type(p.edit_of(doc), "; проверено\r");
  p.command(IDM_FILE_SAVE);
  check(p.dialogs_after_pending_commands().empty(), "Save shows nothing");
  check_equal(read_file(out.reg), "\xFF\xFE" + utf16le(shown + "; проверено\r\n"),
              "the file after Save: UTF-16LE with its mark, and the edit");
}

GUI_CASE(a_report_with_a_cyrillic_name_opens_from_the_command_line) {
  const scratch_folder user("C:\\Users\\Иван");
  const std::string desktop = user.path() + "\\Desktop";
  make_folder(desktop);
  const std::string report = make_report(desktop, "Отчёт", report_build::unicode);
  check_equal(report, "C:\\Users\\Иван\\Desktop\\Отчёт.txt", "the report's path");
  const outputs out = outputs_of(report);
  program p(ctx.install(), {report}, ctx.work);
  check_result_windows(p, report);
  check_equal(static_cast<long long>(p.documents().size()), static_cast<long long>(out.windows().size()),
              "number of result windows");
  check(p.dialogs_after_pending_commands().empty(), "no message box");
  check(p.active_document() == p.document(out.restore), "the last result window is active");
  check_equal(p.status_text(0), "C:\\Users\\Иван\\Desktop\\Отчёт_restore.reg", "the status bar names it");
  std::vector<std::string> expected_list;
  for (const std::string& t : out.windows()) expected_list.push_back("&" + std::to_string(expected_list.size() + 1) + " " + t);
  check(window_list(p) == expected_list, "the Window menu lists the three documents by their names");
  p.command(IDM_FILE_EXIT);
  check_equal(p.wait_exit(), 0, "exit code after File/Exit");
}

GUI_CASE(reports_with_cyrillic_names_are_converted_when_dropped_or_opened) {
  const std::string folder = ctx.work + "\\Рабочий стол";
  make_folder(folder);
  const std::string dropped = make_report(folder, "Отчёт", report_build::unicode);
  const std::string opened = make_report(folder, "Второй", report_build::unicode);
  program p(ctx.install(), {}, ctx.work);
  check_equal(p.probe(probe_drop, dropped), "posted", "the drop was delivered");
  check_result_windows(p, dropped);
  p.command(IDM_FILE_OPEN);
  p.choose_file(p.wait_dialog("Open"), opened);
  check_result_windows(p, opened);
  check(p.dialogs_after_pending_commands().empty(), "no message box");
  check_equal(static_cast<long long>(p.documents().size()), 2 * static_cast<long long>(outputs_of(opened).windows().size()),
              "result windows of both reports");
}

}  // namespace resivex::gui_test
