// See app.h.
#include "shell/app.h"

#include "shell/resource.h"

#include <cstdio>

namespace resivex::shell {

app_state& app() {
  static app_state state;
  return state;
}

WNDCLASSEXA program_window_class(HINSTANCE instance, WNDPROC proc, const char* class_name, int background_color) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_RESIVEX), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_RESIVEX), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background_color + 1));
  wc.lpszClassName = class_name;
  return wc;
}

int show_box(HWND owner, const message& m, const char* arg) {
  // A local text, never the run's msg_text: a run may be waiting on a box of its own.
  char text[msg_text_capacity];
  if (arg != nullptr) {
    std::snprintf(text, sizeof text, m.text, arg);
  } else {
    std::snprintf(text, sizeof text, "%s", m.text);
  }
  return MessageBoxA(owner, text, m.caption, m.style);
}

}  // namespace resivex::shell
