// The shell's own questions, in the form of the program's message catalogue (conversion/messages.h), which
// holds every other text the shell shows.
#pragma once

#include "conversion/messages.h"

namespace resivex::shell::msg {

// Asked before a document window with unsaved edits closes (also when the program closes).
inline constexpr unsigned mb_yesno = 0x04;
inline constexpr unsigned mb_yesnocancel = 0x03;
inline constexpr message save_changes{"Save the changes to %s?", "RESIVEX", mb_yesnocancel | win::mb_iconwarning};
// A run wrote a file again that a document window shows with unsaved edits: Yes shows the new text.
inline constexpr message replace_edited_document{
    "%s was written again. Show its new text in its window, dropping the changes made there?", "RESIVEX",
    mb_yesno | win::mb_iconwarning};
// The same question when the program must end regardless (a run ended it): no Cancel.
inline constexpr message save_changes_before_end{"RESIVEX must close. Save the changes to %s?", "RESIVEX",
                                                 mb_yesno | win::mb_iconwarning};

}  // namespace resivex::shell::msg
