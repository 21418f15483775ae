// See app.h.
#include "shell/app.h"

#include <cstdio>

namespace resivex::shell {

app_state& app() {
  static app_state state;
  return state;
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
