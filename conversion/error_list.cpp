// See error_list.h.
#include "conversion/error_list.h"

#include "conversion/unicode.h"

namespace resivex {

int write_error_entry(run_state& rs) {
  // At most 1022 characters, cut between characters.
  std::string_view text = view_of(rs.out_line);
  if (longer_than(text, line_char_limit - 1)) {
    std::size_t chars = 0, end = 0;
    for (; end < text.size(); ++end) {
      const auto c = static_cast<unsigned char>(text[end]);
      if ((c & 0xC0) == 0x80) continue;
      const std::size_t units = (c & 0xF8) == 0xF0 ? 2 : 1;
      if (chars + units > line_char_limit - 1) break;
      chars += units;
    }
    text = text.substr(0, end);
  }
  if (!rs.errors_open) {
    rs.errors_open = true;
    // UTF-8 with its mark, as Notepad writes it: a key name of any characters reads as it is.
    if (!rs.errors.create(*rs.sys, rs.errors_name.c_str(), file_encoding::utf8_bom)) {
      show_message(rs, msg::output_open_failed, rs.errors_name.c_str());
      end_process(exit_code::open_failed);
    }
    show_message(rs, msg::error_list_info, rs.errors_name.c_str());
  }
  rs.errors.write(text);
  rs.errors.write("\n");
  ++rs.error_entries;
  clear_text(rs.msg_text);
  return 0;
}

}  // namespace resivex
