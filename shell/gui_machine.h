// The machine of the GUI: the Win32 machine, with every finished output shown in a document window of the
// frame, and a run's progress in the status bar while the window goes on painting and answering. Message
// boxes stay owner-less as the run asks.
#pragma once

#include "platform/win32/win32_machine.h"

#include <cstdint>

namespace resivex::shell {

class gui_machine : public win32_machine {
 public:
  bool open_result_window(window_handle owner, const char* path) override;
  // Handles the messages that wait (Esc asks the run to stop), and shows the progress a few times a second.
  bool keep_running(const run_progress& progress) override;
  // A new run: its first progress shows at once.
  void run_starting() { last_shown_ms_ = 0; }

 private:
  std::uint64_t last_shown_ms_ = 0;
};

}  // namespace resivex::shell
