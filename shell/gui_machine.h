// The machine of the GUI: the Win32 machine, with every finished output shown in a document window of the
// frame. Message boxes stay owner-less as the run asks.
#pragma once

#include "platform/win32/win32_machine.h"

namespace resivex::shell {

class gui_machine : public win32_machine {
 public:
  bool open_result_window(window_handle owner, const char* path) override;
};

}  // namespace resivex::shell
