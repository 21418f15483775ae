// resivex.exe: the Windows program. Start-up: common controls, the two window classes, the frame (whose
// creation converts a report named on the command line), then the message loop until the frame is gone.
#include "shell/app.h"
#include "shell/document_window.h"
#include "shell/frame.h"

#include <commctrl.h>

#include <memory>
#include <new>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  using namespace resivex::shell;
  app_state& a = app();
  a.instance = instance;
  a.rs.reset(new (std::nothrow) resivex::run_state(a.machine));
  if (!a.rs) return resivex::exit_code::window_setup_failed;

  // The status bar and the toolbar are common controls: their classes must exist before the frame.
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);

  if (!register_frame_class(instance)) {
    show_box(nullptr, resivex::msg::register_window_failed);
    return resivex::exit_code::window_setup_failed;
  }
  if (!register_document_class(instance)) {
    show_box(nullptr, resivex::msg::register_child_failed);
    return resivex::exit_code::window_setup_failed;
  }
  const HWND frame = create_frame(instance);
  if (frame == nullptr) {
    if (a.end_requested) return a.exit_code;
    show_box(nullptr, resivex::msg::no_window);
    return resivex::exit_code::window_setup_failed;
  }
  ShowWindow(frame, show);
  UpdateWindow(frame);

  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateMDISysAccel(a.client, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}
