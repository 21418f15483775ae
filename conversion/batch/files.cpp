// See files.h.
#include "conversion/batch/files.h"

#include "conversion/batch/batch_file.h"
#include "conversion/batch/folders.h"
#include "conversion/batch/lookup_queue.h"
#include "conversion/convert.h"
#include "conversion/unicode.h"

#include <string_view>

namespace resivex {

namespace {

// An entry line names a file when it starts with a drive ("X:"); Regshot 1.9.1 follows each with a line of
// date, attributes and size, which starts otherwise.
bool is_file_entry(std::string_view line) {
  return line.size() >= 2 && line[1] == ':' && line[0] != ' ' && line[0] != '\t';
}

// Hands take() the path of each entry of the section that names a file as the report wrote it, until the
// section ends or `announced` entries were read.
template <class Take>
void for_each_file_path(run_state& rs, int announced, Take take) {
  std::string_view line;
  std::size_t tab = 0;
  const bool redirect = redirects_files(rs.view, rs.windows_64bit);
  std::string redirected;
  for (int handled = 0; handled < announced;) {
    if (read_report_file_entry(rs, line, tab) != entry_status::entry) return;
    if (!is_file_entry(line)) continue;
    ++handled;
    if (rs.line_state.damaged()) continue;  // the text is not the file's real path
    const std::string_view path = line.substr(0, tab);  // the path ends at the first TAB or the line's end
    // A 32-bit report names the 32-bit system folder by the 64-bit one's name.
    take(redirect && redirected_path(rs.windows_folder, path, redirected) ? std::string_view(redirected) : path);
  }
}

}  // namespace

void handle_files_added(run_state& rs) {
  const int announced = parse_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  batch_verb verb = batch_verb_of(rs);
  verb.files = true;
  // Entries stand on consecutive lines (Regshot up to 1.9.0) or each is followed by a line of date,
  // attributes and size (1.9.1); the reader stops at the section's end, so both layouts are read alike.
  if (rs.folders_stored > 0) {
    // The stored folders do not change in this section, so a file's test may wait in the queue; every
    // path read is finished before the section ends, even when reading fails on the way.
    lookup_queue queue(rs.folders, false, [&](std::string_view path, const folder_index::lookups& lookups) {
      if (!rs.folders.contains_or_below(path, lookups)) write_batch_entry(rs, verb, path);
      return true;
    });
    try {
      for_each_file_path(rs, announced, [&](std::string_view path) {
        // A path too long to be written gets no line (nor any question to the machine) wherever it lies.
        if (!longer_than(path, entry_path_capacity)) queue.add(path);
      });
    } catch (...) {
      queue.finish_all();
      throw;
    }
    queue.finish_all();
    return;
  }
  for_each_file_path(rs, announced, [&](std::string_view path) { write_batch_entry(rs, verb, path); });
}

}  // namespace resivex
