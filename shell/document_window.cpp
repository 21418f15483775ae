// See document_window.h. The window procedure only dispatches; each command has its own function.
#include "shell/document_window.h"

#include "shell/app.h"
#include "shell/commands.h"
#include "shell/document_file.h"
#include "shell/document_rules.h"
#include "shell/resource.h"
#include "shell/shell_messages.h"
#include "shell/ui_state.h"

#include <commdlg.h>

#include <cstring>
#include <string>

namespace resivex::shell {

namespace {

constexpr char document_class[] = "MyMDIChild";
// The style the program has always passed; the MDI client adds the standard styles of a document window.
constexpr DWORD document_style = 1;
constexpr int font_height = 18;  // at 96 dots per inch
// Marks a window while it asks whether to save, so that a second close request does not ask again.
constexpr char asking_property[] = "resivex.asking";

HWND edit_of(HWND document) { return GetDlgItem(document, IDC_DOCUMENT_EDIT); }

std::string title_of(HWND window) {
  std::string title(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  title.resize(static_cast<std::size_t>(GetWindowTextA(window, title.data(), static_cast<int>(title.size()))));
  return title;
}

bool is_active(HWND document) {
  return reinterpret_cast<HWND>(SendMessageA(app().client, WM_MDIGETACTIVE, 0, 0)) == document;
}

HFONT create_document_font(HWND document) {
  const HDC dc = GetDC(document);
  const int height = MulDiv(font_height, dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96, 96);
  if (dc) ReleaseDC(document, dc);
  return CreateFontA(height, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FF_SWISS, "Calibri");
}

// --- Commands -------------------------------------------------------------------------------------------

bool command_save_as(HWND document) {
  char path[MAX_PATH] = "";
  const std::string title = title_of(document);
  if (!is_untitled(title) && title.size() < sizeof path) title.copy(path, title.size());
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = document;
  ofn.lpstrFilter = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrDefExt = "txt";
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  if (!GetSaveFileNameA(&ofn)) return false;
  if (!IsWindow(document)) return false;
  if (!save_text_file(edit_of(document), path)) {
    show_box(document, resivex::msg::save_failed);
    return false;
  }
  SetWindowTextA(document, path);
  // The Window menu lists the document under its old name until the MDI client rebuilds the list.
  SendMessageA(app().client, WM_MDIREFRESHMENU, 0, 0);
  DrawMenuBar(app().frame);
  if (is_active(document)) set_document_status(path);
  return true;
}

bool command_save(HWND document) {
  const std::string title = title_of(document);
  if (is_untitled(title)) return command_save_as(document);
  if (!save_text_file(edit_of(document), title.c_str())) {
    show_box(document, resivex::msg::save_failed);
    return false;
  }
  return true;
}

void command_to_edit(HWND document, UINT message) { SendMessageA(edit_of(document), message, 0, 0); }

// --- Message handlers -----------------------------------------------------------------------------------

LRESULT on_create(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  const HWND edit = CreateWindowExA(
      WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_WANTRETURN,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, document,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DOCUMENT_EDIT)), app().instance, nullptr);
  if (edit == nullptr) return -1;
  // Scripts can be long: lift the 32K characters a user may otherwise type into a multi-line edit.
  SendMessageA(edit, EM_LIMITTEXT, 0, 0);
  const HFONT font = create_document_font(document);
  SetWindowLongPtrA(document, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(font));
  SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);

  const std::string title = title_of(document);
  if (!is_untitled(title) && !load_text_file(edit, title.c_str())) {
    show_box(nullptr, resivex::msg::load_failed, title.c_str());
    return -1;
  }
  return DefMDIChildProcA(document, msg, wp, lp);
}

LRESULT on_size(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  if (wp != SIZE_MINIMIZED) MoveWindow(edit_of(document), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
  return DefMDIChildProcA(document, msg, wp, lp);
}

LRESULT on_set_focus(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  SetFocus(edit_of(document));
  return DefMDIChildProcA(document, msg, wp, lp);
}

LRESULT on_command(HWND document, WPARAM wp) {
  switch (route_document_command(LOWORD(wp))) {
    case document_command::save:
      command_save(document);
      break;
    case document_command::save_as:
      command_save_as(document);
      break;
    case document_command::undo:
      command_to_edit(document, EM_UNDO);
      break;
    case document_command::cut:
      command_to_edit(document, WM_CUT);
      break;
    case document_command::copy:
      command_to_edit(document, WM_COPY);
      break;
    case document_command::paste:
      command_to_edit(document, WM_PASTE);
      break;
    case document_command::none:
      break;
  }
  return 0;
}

LRESULT on_mdi_activate(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  const bool activated = reinterpret_cast<HWND>(lp) == document;
  apply_command_states(states_for(activated, app().gate.busy()));
  set_document_status(activated ? title_of(document).c_str() : "");
  return DefMDIChildProcA(document, msg, wp, lp);
}

LRESULT on_close(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  if (!document_may_close(document, true)) return 0;
  return DefMDIChildProcA(document, msg, wp, lp);
}

LRESULT on_nc_destroy(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  // The edit control is gone by now, so its font can go too.
  if (const auto font = reinterpret_cast<HFONT>(GetWindowLongPtrA(document, GWLP_USERDATA))) DeleteObject(font);
  SetWindowLongPtrA(document, GWLP_USERDATA, 0);
  return DefMDIChildProcA(document, msg, wp, lp);
}

LRESULT dispatch(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      return on_create(document, msg, wp, lp);
    case WM_SIZE:
      return on_size(document, msg, wp, lp);
    case WM_SETFOCUS:
      return on_set_focus(document, msg, wp, lp);
    case WM_COMMAND:
      return on_command(document, wp);
    case WM_MDIACTIVATE:
      return on_mdi_activate(document, msg, wp, lp);
    case WM_CLOSE:
      return on_close(document, msg, wp, lp);
    case WM_NCDESTROY:
      return on_nc_destroy(document, msg, wp, lp);
    default:
      return DefMDIChildProcA(document, msg, wp, lp);
  }
}

LRESULT CALLBACK document_proc(HWND document, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  try {
    return dispatch(document, msg, wp, lp);
  } catch (...) {
    // Only memory can run out here; the message is dropped rather than the program.
    return msg == WM_CREATE ? -1 : 0;
  }
}

}  // namespace

bool register_document_class(HINSTANCE instance) {
  WNDCLASSEXA wc = program_window_class(instance, document_proc, document_class, COLOR_3DFACE);
  return RegisterClassExA(&wc) != 0;
}

namespace {

// The document window that shows this file, or null.
HWND document_of_file(const char* path) {
  for (HWND w = GetWindow(app().client, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    char name[16] = "";
    GetClassNameA(w, name, sizeof name);
    // Windows file names ignore the case of letters.
    if (std::strcmp(name, document_class) == 0 && lstrcmpiA(title_of(w).c_str(), path) == 0) return w;
  }
  return nullptr;
}

}  // namespace

bool create_document_window(const char* title) {
  // A run over the same report again writes the same files: their windows show the new text, instead of a
  // second window each, whose older twin would write its stale text over the new file when saved.
  if (!is_untitled(title)) {
    if (const HWND existing = document_of_file(title)) {
      const HWND edit = edit_of(existing);
      if (SendMessageA(edit, EM_GETMODIFY, 0, 0) != 0 &&
          show_box(existing, msg::replace_edited_document, title) != IDYES) {
        return true;  // the user keeps the edits, and may save them over the new file knowingly
      }
      if (!load_text_file(edit, title)) show_box(nullptr, resivex::msg::load_failed, title);
      SendMessageA(app().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(existing), 0);
      return true;
    }
  }
  MDICREATESTRUCTA mcs{};
  mcs.szClass = document_class;
  mcs.szTitle = title;
  mcs.hOwner = app().instance;
  mcs.x = mcs.y = mcs.cx = mcs.cy = CW_USEDEFAULT;
  mcs.style = document_style;
  return SendMessageA(app().client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs)) != 0;
}

bool document_may_close(HWND document, bool can_cancel) {
  if (GetPropA(document, asking_property) != nullptr) return false;
  const HWND edit = edit_of(document);
  const bool modified = edit != nullptr && SendMessageA(edit, EM_GETMODIFY, 0, 0) != 0;
  const auto ask = [&] {
    // Show the user which document the question is about.
    SendMessageA(app().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(document), 0);
    SetPropA(document, asking_property, reinterpret_cast<HANDLE>(1));
    const std::string title = title_of(document);
    const int answer = show_box(document, can_cancel ? msg::save_changes : msg::save_changes_before_end, title.c_str());
    RemovePropA(document, asking_property);
    return answer == IDYES ? save_answer::yes : answer == IDNO ? save_answer::no : save_answer::cancel;
  };
  // The question pumps messages: the window may be gone by the time it is answered.
  const auto save = [&] { return IsWindow(document) && command_save(document); };
  return may_close(modified, can_cancel, ask, save);
}

}  // namespace resivex::shell
