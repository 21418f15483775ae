// The "Files added:" section: one DEL (or DIR) line for each added file that still exists and does not lie in
// a folder that the "Folders added:" section listed.
#pragma once

#include "conversion/run_state.h"

namespace resivex {

// Handles the section whose title is in line_buf.
void handle_files_added(run_state& rs);

}  // namespace resivex
