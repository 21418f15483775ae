// The program's command line: argument 0 gives the program folder (where the help text and the exclusion list
// are looked for), argument 1 names a report to convert at once, argument 2 the batch file's listing word.
// Shared by the GUI and the console companion, so that both handle their arguments alike.
#pragma once

#include "conversion/run_state.h"

namespace resivex {

// Sets the process-wide members of the run state from the argument vector: the program folder, the help-file
// and exclusion-list paths, the start-up report path (made absolute) and mode_word. (The registry view is
// chosen by every run, from the report's title.) Returns the length of the start-up report path; 0 when there
// is none; -1 when argument 1 was refused as too long (its message has been shown).
int process_command_line(run_state& rs, int argc, const char* const* argv);

// Splits a command line into its arguments by the rules of the system's CommandLineToArgvW: the program's
// name up to its closing quote or the first blank; then arguments separated by blanks and TABs, where a
// quote begins or ends a quoted part, 2n backslashes before a quote give n backslashes, 2n+1 give n and a
// literal quote, and other backslashes stay as they are; three quotes in a row give a literal one. (The
// console companion need not load shell32, and Wine's with it, for that alone.)
std::vector<std::u16string> split_command_line(std::u16string_view line);

}  // namespace resivex
