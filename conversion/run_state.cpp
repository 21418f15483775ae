// Allocation and release of the run's buffers.
#include "conversion/run_state.h"

#include <new>

namespace resivex {

std::unique_ptr<char[]> allocate_memory2(run_state& rs, std::size_t size) {
  std::unique_ptr<char[]> block(new (std::nothrow) char[size == 0 ? 1 : size]());
  if (!block) {
    char size_text[24];
    format_text(size_text, "%llu", static_cast<unsigned long long>(size));
    show_message(rs, msg::alloc_failed, size_text);
    end_process(exit_code::alloc_failed);
  }
  return block;
}

int clear_work_buffers(run_state& rs) {
  clear_text(rs.work_line);
  clear_text(rs.key_buf);
  clear_text(rs.out_line);
  return 0;
}

int free_run_buffers(run_state& rs) {
  rs.keys_array.reset();
  rs.folders.clear();
  rs.value_data.reset();
  rs.regkey_data2.reset();
  rs.regkey_data3.reset();
  rs.strip_buf.reset();
  rs.excl_list.clear();
  rs.excl_list.shrink_to_fit();
  rs.excl_lines = 0;
  return 0;
}

}  // namespace resivex
