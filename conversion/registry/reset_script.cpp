// The reset registry script's writer and header.
#include "conversion/registry/reset_script.h"

namespace resivex {

int write_reset_line(run_state& rs) {
  copy_text(rs.work_line, view_of(rs.out_line));
  if (!rs.mods_open) {
    rs.mods_open = true;
    if (!rs.reset.create(*rs.sys, rs.mods_name)) {
      show_message(rs, msg::output_open_failed, rs.mods_name);
      end_process(exit_code::open_failed);
    }
    rs.reset.write(view_of(rs.reg_header));
    rs.reset.write("; The following registry entries were modified...\n");
    format_text(rs.msg_text, "; The entries will be RESET if you execute file %s \n\n", rs.mods_name);
    rs.reset.write(view_of(rs.msg_text));
    rs.reset.write("; Note: Resivex does not process all entry types\n");
    rs.reset.write(";        Run this at your own risk.. I do not recommend it.\n");
    clear_text(rs.msg_text);
  }
  append_text(rs.work_line, "\n");
  rs.reset.write(view_of(rs.work_line));
  clear_text(rs.work_line);
  clear_text(rs.msg_text);
  return 0;
}

// Not handled yet: the section's lines pass the dispatcher as ordinary lines.
void handle_values_modified(run_state&) {}

}  // namespace resivex
