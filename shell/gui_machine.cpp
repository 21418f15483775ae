// See gui_machine.h.
#include "shell/gui_machine.h"

#include "shell/document_window.h"

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

}  // namespace resivex::shell
