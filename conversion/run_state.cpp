// Allocation and release of the run's buffers.
#include "conversion/run_state.h"

#include <cstring>
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

namespace {

// Zeroes the text in buf up to its end. Every reader of the work buffers takes their text up to the first
// zero byte (view_of, append_text, C strings), so what lies beyond it is never read, and clearing all
// the whole buffers for every registry entry was work for nothing.
template <std::size_t N>
void clear_written(char (&buf)[N]) {
  std::memset(buf, 0, ::strnlen(buf, N));
}

}  // namespace

int clear_work_buffers(run_state& rs) {
  clear_written(rs.work_line);
  rs.key_buf.clear();
  clear_written(rs.out_line);
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
