// See output_file.h.
#include "conversion/output_file.h"

#include "conversion/unicode.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace resivex {

bool output_file::create(machine& m, const char* path, file_encoding encoding) {
  close();
  failed_ = false;
  machine_ = &m;
  encoding_ = encoding;
  // UTF-16 takes its line ends from the writer: the runtime's text mode would put single bytes among its units.
  stream_ = m.open_file(path, encoding == file_encoding::utf16le_bom ? "wb" : "w");
  if (stream_ != nullptr && block_ == nullptr) block_.reset(new (std::nothrow) char[block_size]);
  if (stream_ != nullptr && encoding == file_encoding::utf16le_bom) put("\xFF\xFE");
  if (stream_ != nullptr && encoding == file_encoding::utf8_bom) put("\xEF\xBB\xBF");
  return stream_ != nullptr;
}

void output_file::flush_block() {
  if (block_used_ == 0) return;
  if (std::fwrite(block_.get(), 1, block_used_, stream_) != block_used_) failed_ = true;
  block_used_ = 0;
}

void output_file::put(std::string_view bytes) {
  if (block_ != nullptr && bytes.size() <= block_size) {
    if (block_size - block_used_ < bytes.size()) flush_block();
    std::memcpy(block_.get() + block_used_, bytes.data(), bytes.size());
    block_used_ += bytes.size();
    return;
  }
  if (block_ != nullptr) flush_block();  // what came before goes first
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) failed_ = true;
}

void output_file::write(std::string_view text) {
  if (stream_ == nullptr || text.empty()) return;
  switch (encoding_) {
    case file_encoding::bytes:
    case file_encoding::utf8_bom:
      put(text);
      return;
    case file_encoding::ansi:
      machine_->ansi_from_utf8(text, converted_);  // a lost character is "?": the writers only let comments lose any
      put(converted_);
      return;
    case file_encoding::utf16le_bom:
      converted_.clear();
      for (std::size_t start = 0; start <= text.size();) {
        const std::size_t nl = std::min(text.find('\n', start), text.size());
        append_utf16le(text.substr(start, nl - start), converted_);
        if (nl == text.size()) break;
        converted_.append("\r\0\n\0", 4);
        start = nl + 1;
      }
      put(converted_);
      return;
  }
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
