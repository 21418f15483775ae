// One conversion run: from a Regshot comparison report to the clean-up batch file, the removal and reset
// registry scripts and, when registry keys could not be read, the error list; then one result window for each.
#pragma once

#include "conversion/run_state.h"

namespace resivex {

// Runs one conversion of the report at report_path (made absolute by the caller). owner is the frame window,
// used as owner of the box that reports a result window that could not be created. Runs to its end on the
// calling thread; the result tells the front end whether the process must now end and with which code.
run_result convert_report(run_state& rs, const char* report_path, window_handle owner);

// The steps of a run, exposed for the section handlers and the tests.

// Derives bat_name, Fileoutn2 (and name_check), mods_name and errors_name from input_name. Returns false, after
// telling the user, when the names would not fit or one of them would be the report itself.
bool derive_output_names(run_state& rs);
// Loads do_not_modify_list.TXT from the program folder into excl_list.
void load_exclusion_list(run_state& rs);
// Reads the next line of the report into line_buf (sets line_len) or line_buf2. Returns its length, 0 at the
// end of the report.
int read_report_line(run_state& rs);
int read_report_line2(run_state& rs);
// Reads the next entry of the current section into line_buf (sets line_len) or line_buf2 (leaves line_len).
// A whole entry: lines Regshot broke are joined again, blank lines passed over; at the line that ends the
// section it returns section_end and leaves that line for read_report_line.
entry_status read_report_entry(run_state& rs, entry_kind kind);
entry_status read_report_entry2(run_state& rs, entry_kind kind);
// The next entry of a file-system section, as read_report_entry reads it, but as a view without its line end:
// straight from the report's block when it needs no repair (valid until the next read), else from line_buf.
// Sets line_state; `tab` is the place of the first TAB (text.size() when none).
entry_status read_report_file_entry(run_state& rs, std::string_view& text, std::size_t& tab);
// The count after the colon of the section title in line_buf; its text is left in out_line. A count beyond
// the range of an int is taken as the nearest value in range.
int parse_count(run_state& rs);

}  // namespace resivex
