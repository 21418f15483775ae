// See conversions.h.
#include "shell/conversions.h"

#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_machine.h"
#include "shell/app.h"
#include "shell/document_window.h"
#include "shell/ui_state.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace resivex::shell {

namespace {

// Holds the gate for one conversion command: Open is grayed meanwhile, and a close of the program asked for
// in the meantime is carried out once the command is over. No conversion starts once the program is closing.
class conversion_scope {
 public:
  conversion_scope() : entered_(!app().closing && !app().end_requested && app().gate.try_begin()) {
    if (entered_) refresh_command_states();
  }
  conversion_scope(const conversion_scope&) = delete;
  conversion_scope& operator=(const conversion_scope&) = delete;
  ~conversion_scope() {
    if (!entered_) return;
    const bool close = app().gate.end();
    if (app().end_requested) return;
    refresh_command_states();
    if (close) PostMessageW(app().frame, WM_CLOSE, 0, 0);
  }

  bool entered() const { return entered_; }

  // Runs one conversion of the report at path (UTF-8); the status bar shows its progress, then its summary.
  // False when the run ended the process (the caller must end the program) or was cancelled (no further
  // report is converted).
  bool convert(const std::string& path) {
    app_state& a = app();
    a.cancel_requested = false;
    a.machine.run_starting();
    set_run_status(("Converting " + path + "...").c_str());
    const run_result result = convert_report(*a.rs, path.c_str(), a.frame);
    switch (result.how) {
      case run_result::outcome::completed:
        set_run_status(result.summary.c_str());
        return true;
      case run_result::outcome::refused:
        set_run_status(nullptr);
        return true;
      case run_result::outcome::cancelled:
        set_run_status(resivex::msg::run_cancelled);
        return false;
      case run_result::outcome::ended:
        break;
    }
    a.end_requested = true;
    a.exit_code = result.exit_code;
    return false;
  }

 private:
  bool entered_;
};

// After a run ended the process: unsaved edits may still be saved, but nothing can stop the end.
void end_program() {
  app().closing = true;
  documents_may_close(false);
  DestroyWindow(app().frame);
}

// Releases a drop however the reading of its paths ends.
struct drop_release {
  HDROP drop;
  ~drop_release() { DragFinish(drop); }
};

std::vector<std::string> dropped_paths(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    paths.push_back(utf8_from_wide(path));
  }
  return paths;
}

bool is_document(HWND window) {
  wchar_t name[16] = L"";
  GetClassNameW(window, name, 16);
  return std::wcscmp(name, L"MyMDIChild") == 0;
}

}  // namespace

bool take_command_line() {
  run_state& rs = *app().rs;
  // The arguments in UTF-8, from the wide command line: a report's name in any script reaches the run as it is.
  const std::vector<std::string> args = command_line_arguments();
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  return process_command_line(rs, static_cast<int>(args.size()), argv.data()) > 0;
}

void run_startup_conversion() {
  {
    conversion_scope scope;
    if (!scope.entered()) return;
    if (scope.convert(app().rs->startup_report)) PostMessageW(app().client, WM_MDICASCADE, 0, 0);
  }
  if (app().end_requested) end_program();  // once the scope has released the gate
}

void convert_from_open_dialog() {
  {
    conversion_scope scope;
    if (!scope.entered()) return;
    // Room for a path beyond MAX_PATH, where the dialog allows one.
    std::wstring path(file_dialog_capacity, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = app().frame;
    ofn.lpstrFilter = L"Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return;
    path.resize(std::wcslen(path.c_str()));
    scope.convert(utf8_from_wide(path));
  }
  if (app().end_requested) end_program();
}

void convert_dropped_files(HDROP drop) {
  std::vector<std::string> paths;
  {
    const drop_release release{drop};
    paths = dropped_paths(drop);
  }
  {
    conversion_scope scope;
    if (!scope.entered()) return;
    for (const std::string& path : paths) {
      // Only files, as File/Open accepts them: a folder dropped by mistake must not become a failed run.
      const DWORD attributes = GetFileAttributesW(file_api_wide(path).c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      if (!scope.convert(path)) break;  // the process must end, or the user stopped the runs
    }
  }
  if (app().end_requested) end_program();
}

bool documents_may_close(bool can_cancel) {
  // The questions pump messages: take the list first and skip windows that are gone meanwhile.
  std::vector<HWND> documents;
  for (HWND w = GetWindow(app().client, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (is_document(w)) documents.push_back(w);
  }
  for (const HWND document : documents) {
    if (IsWindow(document) && !document_may_close(document, can_cancel)) return false;
  }
  return true;
}

}  // namespace resivex::shell
