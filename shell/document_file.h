// Loading a document window's file into its edit control, and saving the control's text back, each in the
// file's own encoding (document_encoding.h). The edit control remembers the encoding its text was loaded in.
#pragma once

#include <windows.h>

namespace resivex::shell {

// Reads the whole file at path (UTF-8) and makes its text the text of edit: UTF-16 and UTF-8 files by their
// byte-order marks, a batch file (.bat, .cmd) from the OEM code page that cmd reads, anything else from the
// ANSI code page. False when the file cannot be opened or read, when its bytes cannot be shown exactly, or
// when the text cannot be set; edit is then unchanged.
bool load_text_file(HWND edit, const char* path);

// Writes the whole text of edit to path (UTF-8) in the encoding it was loaded in, with the same mark; a
// document that was never loaded nor saved takes the encoding of a new file of that name. The text goes to a
// new file in the same folder first, which then replaces path; when anything fails the old file stays
// exactly as it was. False as well, and nothing written, for a text with a character that the file's code
// page lacks.
bool save_text_file(HWND edit, const char* path);

}  // namespace resivex::shell
