// The frame's menu commands, one function each (frame_commands.cpp).
#pragma once

#include <windows.h>

namespace resivex::shell {

void command_help();
void command_about();
void command_new();
void command_exit();
void command_open();
// File/Cancel conversion: the run in progress stops at its next entry.
void command_cancel_conversion();
void command_cascade();
void command_tile(UINT how);
void command_arrange_icons();
// Save, Save As, Undo, Cut, Copy, Paste and unknown ids: sent on to the active document, if there is one.
void command_to_active_document(WPARAM wp, LPARAM lp);

}  // namespace resivex::shell
