// What the frame shows of the program's state: which commands are enabled on the menu bar and the toolbar,
// and the active document's title in the status bar.
#pragma once

#include "shell/commands.h"

namespace resivex::shell {

// Enables or grays the state-dependent menu items, whole menus and toolbar buttons, and redraws the menu bar.
void apply_command_states(const command_states& states);
// Applies the states for the present active document and conversion.
void refresh_command_states();
// Shows text (UTF-8) in the status-bar part of the active document.
void set_document_status(const char* text);
// Shows text (UTF-8) in the status-bar part of the runs: a run's progress, then its summary. Null: the hint
// that the part shows before the first run.
void set_run_status(const char* text);

}  // namespace resivex::shell
