// See summary.h.
#include "conversion/summary.h"

#include <algorithm>
#include <string_view>

namespace resivex {

namespace {

constexpr std::string_view section_words[report_section_count] = {
    "keys deleted", "keys added", "values deleted", "values added", "values modified", "folders added", "files added"};

std::string file_name_of(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

// Appends "N words" to a list, after ", " unless it is the list's first item.
void add_item(std::string& out, bool& first, long long count, std::string_view words) {
  out += first ? "" : ", ";
  first = false;
  out += std::to_string(count);
  out += ' ';
  out += words;
}

}  // namespace

std::string summary_line(const run_state& rs) {
  const run_tally& t = rs.tally;
  long long read = 0;
  for (const long long n : t.read) read += n;
  std::string out = "Read " + std::to_string(read) + (read == 1 ? " entry" : " entries");
  bool first = true;
  for (std::size_t i = 0; i < report_section_count; ++i) {
    if (t.read[i] == 0) continue;
    out += first ? " (" : ", ";
    first = false;
    out += std::string(section_words[i]) + " " + std::to_string(t.read[i]);
  }
  if (!first) out += ")";

  // The entries each output acts on (a batch line, a key or value removed, a value reset...).
  out += "; written: ";
  const auto add_output = [&](const std::string& path, long long count, bool last) {
    out += file_name_of(path) + " " + std::to_string(count) + (last ? "" : ", ");
  };
  add_output(rs.bat_name, rs.bat_lines, false);
  add_output(rs.Fileoutn2, t.removals, false);
  add_output(rs.mods_name, rs.mods_entries, false);
  add_output(rs.undo_name, rs.undo_entries, false);
  add_output(rs.restore_name, rs.restore_entries, rs.error_entries == 0);
  if (rs.error_entries > 0) add_output(rs.errors_name, rs.error_entries, true);

  // Every entry read got a line or is in one class; what is left was gone, or already as it was.
  const long long skipped = std::max(0LL, read - t.written);
  const long long unreadable = rs.error_entries;
  const long long classified = t.excluded + t.covered + t.inexpressible + t.unsafe + unreadable;
  out += "; skipped " + std::to_string(skipped);
  if (skipped > 0) {
    out += ": ";
    first = true;
    if (skipped > classified) add_item(out, first, skipped - classified, "absent now or unchanged");
    if (t.excluded > 0) add_item(out, first, t.excluded, "excluded");
    if (t.covered > 0) add_item(out, first, t.covered, "under a removed key or folder");
    if (t.inexpressible > 0) add_item(out, first, t.inexpressible, "not expressible");
    if (t.unsafe > 0) add_item(out, first, t.unsafe, "unsafe");
    if (unreadable > 0) add_item(out, first, unreadable, "unreadable");
  }
  out += ".";
  return out;
}

}  // namespace resivex
