// The reset registry script (report_mods.reg): puts modified values back to their old data.
#pragma once

#include "conversion/report_reader.h"
#include "conversion/run_state.h"

#include <string_view>

namespace resivex {

// Writes the text in out_line and a line end to the reset script. The first call of a run creates the file
// (ending the process when it cannot) and writes its header.
int write_reset_line(run_state& rs);

// When the line in buf begins with prefix, moves the rest of it to the front (through strip_buf). Returns the
// line's length afterwards.
int strip_prefix(run_state& rs, char (&buf)[line_capacity], std::string_view prefix);

// Handles the "Values modified:" section whose title is in line_buf.
void handle_values_modified(run_state& rs);

}  // namespace resivex
