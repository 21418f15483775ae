// Starting conversions from the shell: at start-up, from File/Open and from files dropped on the frame.
// Each start goes through the gate, so a conversion never begins while another is in progress.
#pragma once

#include <windows.h>

namespace resivex::shell {

// Processes the command line (the program's folder, the listing word, the report it names). True when it
// names a report; called while the frame is created.
bool take_command_line();

// Converts the report the command line named, then cascades the result windows; called once the frame is
// shown, so that it paints during the run. When the run ended the process, the program ends
// (app().exit_code holds the code).
void run_startup_conversion();

// File/Open: asks for a report and converts it. Ignored while a conversion is in progress.
void convert_from_open_dialog();

// Converts each file dropped on the frame, as File/Open would; folders are passed over. Ignored (the drop
// is released) while a conversion is in progress.
void convert_dropped_files(HDROP drop);

// Whether every document window may close; each one with unsaved edits asks first.
bool documents_may_close(bool can_cancel);

}  // namespace resivex::shell
