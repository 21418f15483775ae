// See gui_machine.h.
#include "shell/gui_machine.h"

#include "shell/app.h"
#include "shell/document_window.h"
#include "shell/progress_text.h"
#include "shell/ui_state.h"

namespace resivex::shell {

bool gui_machine::open_result_window(window_handle, const char* path) {
  // Called from inside a run, which must not see the shell's exceptions: memory running out here costs
  // the window only.
  try {
    return create_document_window(path);
  } catch (...) {
    return false;
  }
}

bool gui_machine::keep_running(const run_progress& progress) {
  app_state& a = app();
  // The run is on the stack of a message of the frame: the messages that arrived meanwhile are handled here,
  // so that the windows paint, move and answer. The frame's gate holds off a second run, and a close waits
  // for this one to end.
  MSG msg{};
  while (!a.cancel_requested && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // again, for the message loop once the run is over
      a.cancel_requested = true;
      break;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      a.cancel_requested = true;
      break;
    }
    if (!TranslateMDISysAccel(a.client, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  const std::uint64_t now = GetTickCount64();
  if (!a.cancel_requested && progress_due(now, last_shown_ms_)) {
    last_shown_ms_ = now;
    try {
      set_run_status(progress_text(progress).c_str());
    } catch (...) {
      // Memory ran out for the text: the run goes on without it.
    }
  }
  return !a.cancel_requested;
}

}  // namespace resivex::shell
