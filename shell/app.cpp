// See app.h.
#include "shell/app.h"

#include "platform/win32/wide_text.h"
#include "shell/long_paths.h"
#include "shell/resource.h"

#include <cstdio>

namespace resivex::shell {

app_state& app() {
  static app_state state;
  return state;
}

WNDCLASSEXW program_window_class(HINSTANCE instance, WNDPROC proc, const wchar_t* class_name, int background_color) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_RESIVEX), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_RESIVEX), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background_color + 1));
  wc.lpszClassName = class_name;
  return wc;
}

int show_box(HWND owner, const message& m, const char* arg) {
  // A text of its own, never the run's msg_text: a run may be waiting on a box of its own. Sized to the
  // argument, which may be a path far beyond MAX_PATH.
  std::string text = m.text;
  if (arg != nullptr) {
    const int length = std::snprintf(nullptr, 0, m.text, arg);
    if (length >= 0) {
      text.assign(static_cast<std::size_t>(length) + 1, '\0');
      std::snprintf(text.data(), text.size(), m.text, arg);
      text.resize(static_cast<std::size_t>(length));
    }
  }
  return MessageBoxW(owner, wide_from_utf8(text).c_str(), wide_from_utf8(m.caption).c_str(), m.style);
}

std::wstring file_api_wide(std::string_view path) {
  const std::wstring wide = wide_from_utf8(path);
  if (wide.size() <= plain_path_limit || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // The extended form is passed on unparsed: the path must be full and canonical first.
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (got == 0 || got >= size) return wide;
  full.resize(got);
  return wide_from_utf8(file_api_path(utf8_from_wide(full)));
}

std::string window_text_of(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return utf8_from_wide(text);
}

}  // namespace resivex::shell
