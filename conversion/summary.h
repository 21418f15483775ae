// The one-line summary of a completed run, for the status bar and the console.
#pragma once

#include "conversion/run_state.h"

#include <string>

namespace resivex {

// What the run read per section, the entries each output holds, and the entries that got no line, by reason.
// Read before the run's counters are reset.
std::string summary_line(const run_state& rs);

}  // namespace resivex
