// See document_window.h. The window procedure only dispatches; each command has its own function.
#include "shell/document_window.h"

#include "platform/win32/wide_text.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/document_file.h"
#include "shell/document_rules.h"
#include "shell/resource.h"
#include "shell/shell_messages.h"
#include "shell/ui_state.h"

#include <commdlg.h>

#include <cwchar>
#include <string>

namespace resivex::shell {

namespace {

constexpr wchar_t document_class[] = L"MyMDIChild";
// The style the program has always passed; the MDI client adds the standard styles of a document window.
constexpr DWORD document_style = 1;
constexpr int font_height = 18;  // at 96 dots per inch
// Marks a window while it asks whether to save, so that a second close request does not ask again.
constexpr wchar_t asking_property[] = L"resivex.asking";

HWND edit_of(HWND document) { return GetDlgItem(document, IDC_DOCUMENT_EDIT); }

// A document's title, the full path of its file, in UTF-8.
std::string title_of(HWND window) { return window_text_of(window); }

void set_title(HWND window, const std::string& title) { SetWindowTextW(window, wide_from_utf8(title).c_str()); }

bool is_active(HWND document) {
  return reinterpret_cast<HWND>(SendMessageW(app().client, WM_MDIGETACTIVE, 0, 0)) == document;
}

HFONT create_document_font(HWND document) {
  const HDC dc = GetDC(document);
  const int height = MulDiv(font_height, dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96, 96);
  if (dc) ReleaseDC(document, dc);
  return CreateFontW(height, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, FF_SWISS, L"Calibri");
}

// --- Commands -------------------------------------------------------------------------------------------

bool command_save_as(HWND document) {
  std::wstring chosen(file_dialog_capacity, L'\0');
  const std::string title = title_of(document);
  if (!is_untitled(title)) {
    const std::wstring current = wide_from_utf8(title);
    if (current.size() < chosen.size()) current.copy(chosen.data(), current.size());
  }
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = document;
  ofn.lpstrFilter = L"Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = chosen.data();
  ofn.nMaxFile = static_cast<DWORD>(chosen.size());
  ofn.lpstrDefExt = L"txt";
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  if (!GetSaveFileNameW(&ofn)) return false;
  if (!IsWindow(document)) return false;
  chosen.resize(std::wcslen(chosen.c_str()));
  const std::string path = utf8_from_wide(chosen);
  if (!save_text_file(edit_of(document), path.c_str())) {
    show_box(document, resivex::msg::save_failed);
    return false;
  }
  set_title(document, path);
  // The Window menu lists the document under its old name until the MDI client rebuilds the list.
  SendMessageW(app().client, WM_MDIREFRESHMENU, 0, 0);
  DrawMenuBar(app().frame);
  if (is_active(document)) set_document_status(path.c_str());
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

void command_to_edit(HWND document, UINT message) { SendMessageW(edit_of(document), message, 0, 0); }

// --- Message handlers -----------------------------------------------------------------------------------

LRESULT on_create(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  const HWND edit = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_WANTRETURN,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, document,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DOCUMENT_EDIT)), app().instance, nullptr);
  if (edit == nullptr) return -1;
  // Scripts can be long: lift the 32K characters a user may otherwise type into a multi-line edit.
  SendMessageW(edit, EM_LIMITTEXT, 0, 0);
  const HFONT font = create_document_font(document);
  SetWindowLongPtrW(document, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(font));
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);

  const std::string title = title_of(document);
  if (!is_untitled(title) && !load_text_file(edit, title.c_str())) {
    show_box(nullptr, resivex::msg::load_failed, title.c_str());
    return -1;
  }
  return DefMDIChildProcW(document, msg, wp, lp);
}

LRESULT on_size(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  if (wp != SIZE_MINIMIZED) MoveWindow(edit_of(document), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
  return DefMDIChildProcW(document, msg, wp, lp);
}

LRESULT on_set_focus(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  SetFocus(edit_of(document));
  return DefMDIChildProcW(document, msg, wp, lp);
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
  return DefMDIChildProcW(document, msg, wp, lp);
}

LRESULT on_close(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  if (!document_may_close(document, true)) return 0;
  return DefMDIChildProcW(document, msg, wp, lp);
}

LRESULT on_nc_destroy(HWND document, UINT msg, WPARAM wp, LPARAM lp) {
  // The edit control is gone by now, so its font can go too.
  if (const auto font = reinterpret_cast<HFONT>(GetWindowLongPtrW(document, GWLP_USERDATA))) DeleteObject(font);
  SetWindowLongPtrW(document, GWLP_USERDATA, 0);
  return DefMDIChildProcW(document, msg, wp, lp);
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
      return DefMDIChildProcW(document, msg, wp, lp);
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
  WNDCLASSEXW wc = program_window_class(instance, document_proc, document_class, COLOR_3DFACE);
  return RegisterClassExW(&wc) != 0;
}

namespace {

// The document window that shows this file, or null.
HWND document_of_file(const char* path) {
  const std::wstring wanted = wide_from_utf8(path);
  for (HWND w = GetWindow(app().client, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    wchar_t name[16] = L"";
    GetClassNameW(w, name, 16);
    if (std::wcscmp(name, document_class) != 0) continue;
    const std::wstring title = wide_from_utf8(title_of(w));
    // Windows file names ignore the case of letters, of every script, as the file system folds it.
    if (CompareStringOrdinal(title.c_str(), static_cast<int>(title.size()), wanted.c_str(),
                             static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL) {
      return w;
    }
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
      if (SendMessageW(edit, EM_GETMODIFY, 0, 0) != 0 &&
          show_box(existing, msg::replace_edited_document, title) != IDYES) {
        return true;  // the user keeps the edits, and may save them over the new file knowingly
      }
      if (!load_text_file(edit, title)) show_box(nullptr, resivex::msg::load_failed, title);
      SendMessageW(app().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(existing), 0);
      return true;
    }
  }
  const std::wstring wide_title = wide_from_utf8(title);
  MDICREATESTRUCTW mcs{};
  mcs.szClass = document_class;
  mcs.szTitle = wide_title.c_str();
  mcs.hOwner = app().instance;
  mcs.x = mcs.y = mcs.cx = mcs.cy = CW_USEDEFAULT;
  mcs.style = document_style;
  return SendMessageW(app().client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs)) != 0;
}

bool document_may_close(HWND document, bool can_cancel) {
  if (GetPropW(document, asking_property) != nullptr) return false;
  const HWND edit = edit_of(document);
  const bool modified = edit != nullptr && SendMessageW(edit, EM_GETMODIFY, 0, 0) != 0;
  const auto ask = [&] {
    // Show the user which document the question is about.
    SendMessageW(app().client, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(document), 0);
    SetPropW(document, asking_property, reinterpret_cast<HANDLE>(1));
    const std::string title = title_of(document);
    const int answer = show_box(document, can_cancel ? msg::save_changes : msg::save_changes_before_end, title.c_str());
    RemovePropW(document, asking_property);
    return answer == IDYES ? save_answer::yes : answer == IDNO ? save_answer::no : save_answer::cancel;
  };
  // The question pumps messages: the window may be gone by the time it is answered.
  const auto save = [&] { return IsWindow(document) && command_save(document); };
  return may_close(modified, can_cancel, ask, save);
}

}  // namespace resivex::shell
