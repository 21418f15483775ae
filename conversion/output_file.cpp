// See output_file.h.
#include "conversion/output_file.h"

#include <cstring>
#include <new>

namespace resivex {

bool output_file::create(machine& m, const char* path) {
  close();
  failed_ = false;
  stream_ = m.open_file(path, "w");
  if (stream_ != nullptr && block_ == nullptr) block_.reset(new (std::nothrow) char[block_size]);
  return stream_ != nullptr;
}

void output_file::flush_block() {
  if (block_used_ == 0) return;
  if (std::fwrite(block_.get(), 1, block_used_, stream_) != block_used_) failed_ = true;
  block_used_ = 0;
}

void output_file::write(std::string_view text) {
  if (stream_ == nullptr || text.empty()) return;
  if (block_ != nullptr && text.size() <= block_size) {
    if (block_size - block_used_ < text.size()) flush_block();
    std::memcpy(block_.get() + block_used_, text.data(), text.size());
    block_used_ += text.size();
    return;
  }
  if (block_ != nullptr) flush_block();  // what came before goes first
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) failed_ = true;
}

bool output_file::close() {
  if (stream_ != nullptr) {
    flush_block();
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) failed_ = true;
    if (std::fclose(stream_) != 0) failed_ = true;
    stream_ = nullptr;
  }
  block_.reset();
  block_used_ = 0;
  return !failed_;
}

}  // namespace resivex
