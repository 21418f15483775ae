// Loading a document window's file into its edit control, and saving the control's text back.
#pragma once

#include <windows.h>

namespace resivex::shell {

// Reads the whole file at path and makes it the text of edit, shown byte for byte as single-byte text.
// False when the file cannot be opened or read, or the text cannot be set; edit is then unchanged.
bool load_text_file(HWND edit, const char* path);

// Writes the whole text of edit to path. The text goes to a new file in the same folder first, which then
// replaces path; when anything fails the old file stays exactly as it was. An empty text saves an empty file.
bool save_text_file(HWND edit, const char* path);

}  // namespace resivex::shell
