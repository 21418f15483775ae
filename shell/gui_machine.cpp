// See gui_machine.h.
#include "shell/gui_machine.h"

#include "shell/document_window.h"

namespace resivex::shell {

bool gui_machine::open_result_window(window_handle, const char* path) { return create_document_window(path); }

}  // namespace resivex::shell
