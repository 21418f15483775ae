// What the status bar says while a conversion runs, and how often it may change. Portable, tested natively.
#pragma once

#include "conversion/machine.h"

#include <cstdint>
#include <string>

namespace resivex::shell {

// The least time between two changes of the progress text: a few a second, as a user can read them.
inline constexpr std::uint64_t progress_period_ms = 250;

// "Converting: Files added, 45% of the report read (123456 entries). Esc cancels."
std::string progress_text(const run_progress& progress);

// Whether the text may change now, `now_ms` after the last change (at `last_ms`; 0 before the first).
inline bool progress_due(std::uint64_t now_ms, std::uint64_t last_ms) {
  return last_ms == 0 || now_ms - last_ms >= progress_period_ms;
}

}  // namespace resivex::shell
