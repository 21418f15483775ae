// One output file of a run (the batch file, a registry script or the error list): its stream and whether
// everything written to it reached the disk. A write that fails is remembered, so that the run can tell the
// user instead of presenting an incomplete script as done.
#pragma once

#include "conversion/machine.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace resivex {

// How the program's UTF-8 text is stored. Every form ends its lines with CR LF (the core writes "\n").
enum class file_encoding {
  bytes,        // the text's bytes as given: the writer has put them in their code page (the batch file: OEM)
  ansi,         // the ANSI code page (REGEDIT4 scripts); a character it lacks becomes "?", so the writers keep
                // such texts out of every line that names something
  utf16le_bom,  // UTF-16LE after a byte-order mark: regedit's own export form
  utf8_bom,     // UTF-8 after a byte-order mark (Notepad's choice)
};

class output_file {
public:
  output_file() = default;
  ~output_file() { close(); }
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  // Creates the file anew, with the byte-order mark of its encoding. Returns false when it cannot be created.
  [[nodiscard]] bool create(machine& m, const char* path, file_encoding encoding = file_encoding::bytes);
  void write(std::string_view text);
  file_encoding encoding() const { return encoding_; }
  // Room for `size` characters at the end of what is gathered, for the caller to fill and then count with
  // commit(size): a line composed in place is not copied once more. Null when there is no such room (no
  // block, a text larger than the block, or no open file): the caller then uses write().
  char* reserve(std::size_t size) {
    if (stream_ == nullptr || block_ == nullptr || size == 0 || size > block_size) return nullptr;
    if (encoding_ != file_encoding::bytes) return nullptr;
    if (block_size - block_used_ < size) flush_block();
    return block_.get() + block_used_;
  }
  void commit(std::size_t size) { block_used_ += size; }
  // Flushes and closes; returns false when any write or the close failed. Closing a closed file is harmless.
  bool close();

  bool is_open() const { return stream_ != nullptr; }
  bool failed() const { return failed_; }

private:
  // Writes what the block holds to the stream.
  void flush_block();
  // Puts bytes of the file's own form into the block (or straight to the stream).
  void put(std::string_view bytes);

  machine* machine_ = nullptr;
  file_encoding encoding_ = file_encoding::bytes;
  std::string converted_;  // scratch: a text in the file's form
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
  // Lines are gathered here and handed to the stream in large pieces: a script of a million lines would
  // otherwise cost a million stream calls. Without it (no memory for it), each text goes to the stream.
  static constexpr std::size_t block_size = 64 * 1024;
  std::unique_ptr<char[]> block_;
  std::size_t block_used_ = 0;
};

}  // namespace resivex
