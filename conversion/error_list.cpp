// See error_list.h.
#include "conversion/error_list.h"

namespace resivex {

int write_error_entry(run_state& rs) {
  char entry[out_line_capacity];
  copy_text(entry, view_of(rs.out_line).substr(0, out_line_capacity - 2));
  if (!rs.errors_open) {
    rs.errors_open = true;
    if (!rs.errors.create(*rs.sys, rs.errors_name)) {
      show_message(rs, msg::output_open_failed, rs.errors_name);
      end_process(exit_code::open_failed);
    }
    show_message(rs, msg::error_list_info, rs.errors_name);
  }
  append_text(entry, "\n");
  rs.errors.write(view_of(entry));
  ++rs.error_entries;
  clear_text(rs.msg_text);
  return 0;
}

}  // namespace resivex
