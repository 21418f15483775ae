// See conversions.h.
#include "shell/conversions.h"

#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "shell/app.h"
#include "shell/document_window.h"
#include "shell/ui_state.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
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
    if (close) PostMessageA(app().frame, WM_CLOSE, 0, 0);
  }

  bool entered() const { return entered_; }

  // Runs one conversion. False when the run ended the process: the caller must end the program.
  bool convert(const char* path) {
    const run_result result = convert_report(*app().rs, path, app().frame);
    if (result.how != run_result::outcome::ended) return true;
    app().end_requested = true;
    app().exit_code = result.exit_code;
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
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::string path(DragQueryFileA(drop, i, nullptr, 0) + 1, '\0');
    path.resize(DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size())));
    paths.push_back(std::move(path));
  }
  return paths;
}

bool is_document(HWND window) {
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  return std::strcmp(name, "MyMDIChild") == 0;
}

}  // namespace

bool run_startup_conversion() {
  run_state& rs = *app().rs;
  if (process_command_line(rs, __argc, __argv) <= 0) return true;
  {
    conversion_scope scope;
    if (!scope.convert(rs.startup_report.c_str())) return false;
  }
  PostMessageA(app().client, WM_MDICASCADE, 0, 0);
  return true;
}

void convert_from_open_dialog() {
  {
    conversion_scope scope;
    if (!scope.entered()) return;
    char path[MAX_PATH] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = app().frame;
    ofn.lpstrFilter = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.lpstrDefExt = "txt";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return;
    scope.convert(path);
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
      const DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      if (!scope.convert(path.c_str())) break;
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
