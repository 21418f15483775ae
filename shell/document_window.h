// The document windows ("MyMDIChild"): MDI children of the frame, each showing one text file in an edit
// control that fills it, so that the user can read, change and save what a conversion wrote. A window's
// title is its file's full path; the window of File/New has no file yet ("[Untitled]").
#pragma once

#include <windows.h>

namespace resivex::shell {

bool register_document_class(HINSTANCE instance);

// Creates a document window in the frame's MDI client. title is the path of the file the window loads, or
// untitled_title for an empty document. A window that shows that file already loads it again instead (after
// asking, when it holds unsaved edits). False when no window was created (a file that could not be loaded
// has been reported by the window itself).
bool create_document_window(const char* title);

// Whether the document window may close now. With unsaved edits it asks whether to save them first;
// can_cancel false when the program must close regardless. Called by the window itself and by the frame.
bool document_may_close(HWND document, bool can_cancel);

}  // namespace resivex::shell
