// Loading a document window's file into its edit control, and saving the control's text back.
#pragma once

#include <windows.h>

namespace resivex::shell {

// Reads the whole file at path and makes it the text of edit, shown byte for byte as single-byte text; a batch
// file (.bat, .cmd), which cmd reads in the OEM code page, is shown in the ANSI code page when its text comes
// back exactly, and then saved back to OEM. False when the file cannot be opened or read, or the text cannot
// be set; edit is then unchanged.
bool load_text_file(HWND edit, const char* path);

// Writes the whole text of edit to path. The text goes to a new file in the same folder first, which then
// replaces path; when anything fails the old file stays exactly as it was. An empty text saves an empty file.
// False as well for a batch file shown from OEM that now holds a character the OEM code page lacks.
bool save_text_file(HWND edit, const char* path);

}  // namespace resivex::shell
