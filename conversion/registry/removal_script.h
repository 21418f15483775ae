// The removal registry script (report.reg): deletes the added keys and values that still exist.
#pragma once

#include "conversion/run_state.h"

namespace resivex {

// Writes the text in out_line and a line end to the removal script. The first call of a run creates the file
// (ending the process when it cannot) and writes its header.
int write_removal_line(run_state& rs);
// Creates the removal script with its header, unless it is open already in this run.
void open_removal_script(run_state& rs);
// How the registry scripts of the run are stored: regedit's own UTF-16 form, or ANSI under REGEDIT4.
inline file_encoding script_encoding(const run_state& rs) {
  return rs.unicode_scripts ? file_encoding::utf16le_bom : file_encoding::ansi;
}
// True when the registry scripts of the run can hold the text exactly: a REGEDIT4 script (ANSI) cannot hold a
// character its code page lacks, and a line naming something with a "?" in its place would name another.
bool scripts_can_hold(run_state& rs, std::string_view text);

// Handle the "Keys added:" and "Values added:" sections whose title is in line_buf.
void handle_keys_added(run_state& rs);
void handle_values_added(run_state& rs);
// Reads the "Values deleted:" section whose title is in line_buf: an added value that the report also lists
// as deleted changed its type, and existed before the install.
void handle_values_deleted(run_state& rs);

}  // namespace resivex
