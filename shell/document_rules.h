// Rules about a document window's title and about closing it, free of any window code so that the shell's
// unit tests check them natively. The title of a document window is the full path of its file; the window
// of File/New has no file yet.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace resivex::shell {

// The title of File/New's window. Any title that begins with "[" names no file.
inline constexpr const char* untitled_title = "[Untitled]";
bool is_untitled(std::string_view title);

// The folder part of a path, up to and including its last "\" or "/"; "." for a bare file name.
std::string folder_of(std::string_view path);

// The answers to "save the changes?".
enum class save_answer { yes, no, cancel };

// Decides whether a document window may close. modified: the text differs from what was loaded or last
// saved. ask shows the question (with Cancel only when can_cancel) and returns the answer; save saves the
// document (through Save As when it has no file yet) and returns whether it was saved. A window whose save
// failed or was cancelled stays open, unless the program must end regardless (can_cancel false).
bool may_close(bool modified, bool can_cancel, const std::function<save_answer()>& ask,
               const std::function<bool()>& save);

}  // namespace resivex::shell
