// The frame window ("MyMDIWindow"): the program's one main window, with its menu bar, toolbar, status bar
// and the MDI client that holds the document windows.
#pragma once

#include <windows.h>

namespace resivex::shell {

bool register_frame_class(HINSTANCE instance);
// Creates the frame; its creation runs the start-up conversion when the command line names a report. Null
// when the frame could not be created, or when that conversion ended the process (app().end_requested).
HWND create_frame(HINSTANCE instance);

}  // namespace resivex::shell
