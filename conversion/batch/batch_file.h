// The clean-up batch file (report.bat): its header, the prompts, and one command line for each left-over
// file or folder that still exists. Users run it with administrator rights, so a line is written only for a
// path that names exactly the item the report lists, in a form cmd cannot read as anything else.
#pragma once

#include "conversion/run_state.h"

#include <string_view>
#include <vector>

namespace resivex {

inline constexpr std::size_t entry_path_capacity = 1022;  // characters
inline constexpr std::size_t entry_path_bytes = 3 * entry_path_capacity;  // the most UTF-8 they take
inline constexpr std::size_t max_path = 260;  // the system's MAX_PATH, the terminating NUL included

// True when the path still names a file (a folder, with `folder`) on the machine. A file entry that is now a
// folder gets no DEL line: cmd would ask to delete every file in that folder. Sets *found to the item's
// attributes when asked.
bool entry_exists(run_state& rs, const char* path, bool folder, std::uint32_t* found = nullptr);

// True when the path is an absolute drive path ("X:\...") that names one item and only that one: no
// wildcard, quote, redirection, control character or stream colon, no empty, "." or ".." component, and no
// component ending in a dot or blank (Windows would drop those and name another item).
bool batch_path_is_safe(std::string_view path);
namespace testing_only {
// Every way of the safety test that this processor can run (the test picks the fastest): each must answer
// the same.
std::vector<bool (*)(std::string_view)> batch_path_safety_tests();
}  // namespace testing_only

// The path of a folder or file entry: from `start` up to the first TAB or line end.
std::string_view entry_path_of(std::string_view line, std::size_t start = 0);

// What the command lines take from mode_word, worked out once for a section (mode_word does not change
// within one): the verb, and what its second letter and a "_nop" in it decide.
struct batch_verb {
  std::string_view word;    // a view of mode_word
  bool dir_line = false;    // its second letter is "I" or "i": three blanks follow the path
  bool dir_header = false;  // its second letter is "I": the listing form of the header
  bool names_nop = false;   // it holds "_nop": the folder prompt comes before its first line
  bool files = false;       // the lines are for file entries (folder entries otherwise)
};
batch_verb batch_verb_of(const run_state& rs);

// Writes the command line for an entry path with the verb (from batch_verb_of, since mode_word last changed),
// if the item still exists, preceded by the header and the folder prompt when they are due, and before the
// first path holding "!" by a line that switches cmd's delayed expansion off. A path that the OEM code page
// cannot express is written by the item's short name, after a REM line that shows the long one; without a
// short name of its own it is counted in bat_unwritable. A path of MAX_PATH characters or more is written by
// its short name where that is shorter, and in the long form (\\?\) where it is still that long. Returns 1
// when a line was written, 0 otherwise.
int write_batch_entry(run_state& rs, const batch_verb& verb, std::string_view path);

}  // namespace resivex
