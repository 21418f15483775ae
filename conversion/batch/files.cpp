// See files.h.
#include "conversion/batch/files.h"

#include "conversion/batch/batch_file.h"
#include "conversion/batch/folders.h"
#include "conversion/convert.h"

namespace resivex {

void handle_files_added(run_state& rs) {
  const int announced = parse_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  // Entries stand on consecutive lines (Regshot up to 1.9.0) or each is followed by a line of date,
  // attributes and size (1.9.1); the reader stops at the section's end, so both layouts are read alike.
  for (int handled = 0; handled < announced;) {
    if (read_report_entry(rs, entry_kind::file_system) != entry_status::entry) return;
    const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
    if (line.size() < 2 || line[1] != ':' || line[0] == ' ' || line[0] == '\t') continue;
    ++handled;
    if (rs.line_state.damaged()) continue;  // the text is not the file's real path
    const std::string_view path = entry_path_of(line);
    if (in_listed_folder(rs, path)) continue;
    write_batch_entry(rs, path);
  }
}

}  // namespace resivex
