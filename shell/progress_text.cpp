// See progress_text.h.
#include "shell/progress_text.h"

namespace resivex::shell {

std::string progress_text(const run_progress& progress) {
  std::string text = "Converting";
  text += progress.section.empty() ? std::string(":") : ": " + std::string(progress.section) + ",";
  if (progress.bytes_total > 0) {
    // The reader takes the report a block ahead of the entry it is on: never more than all of it.
    const std::uint64_t read = progress.bytes_read < progress.bytes_total ? progress.bytes_read : progress.bytes_total;
    text += " " + std::to_string(read * 100 / progress.bytes_total) + "% of the report read";
  }
  text += " (" + std::to_string(progress.entries_read) + (progress.entries_read == 1 ? " entry" : " entries") + ").";
  return text + " Esc cancels.";
}

}  // namespace resivex::shell
