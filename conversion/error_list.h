// The error list: registry keys of the report that could not be opened for a reason other than their absence,
// each with the system's reason. Created on its first entry in a run.
#pragma once

#include "conversion/run_state.h"

namespace resivex {

// Writes the text in out_line (at most 1022 characters are kept) and a line end as one entry. The first entry
// of a run creates the file (ending the process when it cannot) and shows its path in an "Info" box.
int write_error_entry(run_state& rs);

}  // namespace resivex
