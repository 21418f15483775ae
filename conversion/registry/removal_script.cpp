// The removal registry script's writer and header.
#include "conversion/registry/removal_script.h"

namespace resivex {

int write_removal_line(run_state& rs) {
  copy_text(rs.work_line, view_of(rs.out_line));
  if (!rs.reg_open) {
    rs.reg_open = true;
    if (!rs.removal.create(*rs.sys, rs.Fileoutn2)) {
      show_message(rs, msg::output_open_failed, rs.Fileoutn2);
      end_process(exit_code::open_failed);
    }
    rs.removal.write(view_of(rs.reg_header));
    rs.removal.write("; The following registry entries still exist...\n");
    format_text(rs.msg_text, "; The following REGEDIT commands are in file %s \n", rs.Fileoutn2);
    rs.removal.write(view_of(rs.msg_text));
    format_text(rs.msg_text, "; The entries will be DELETED if you execute file %s \n\n", rs.Fileoutn2);
    rs.removal.write(view_of(rs.msg_text));
    clear_text(rs.msg_text);
  }
  append_text(rs.work_line, "\n");
  rs.removal.write(view_of(rs.work_line));
  clear_text(rs.work_line);
  return 0;
}

// Not handled yet: the section's lines pass the dispatcher as ordinary lines.
void handle_keys_added(run_state&) {}

// Not handled yet: the section's lines pass the dispatcher as ordinary lines.
void handle_values_added(run_state&) {}

}  // namespace resivex
