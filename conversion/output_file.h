// One output file of a run (the batch file, a registry script or the error list): its stream and whether
// everything written to it reached the disk. A write that fails is remembered, so that the run can tell the
// user instead of presenting an incomplete script as done.
#pragma once

#include "conversion/machine.h"

#include <cstdio>
#include <string_view>

namespace resivex {

class output_file {
public:
  output_file() = default;
  ~output_file() { close(); }
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  // Creates the file anew (text mode). Returns false when it cannot be created.
  [[nodiscard]] bool create(machine& m, const char* path);
  void write(std::string_view text);
  // Flushes and closes; returns false when any write or the close failed. Closing a closed file is harmless.
  bool close();

  bool is_open() const { return stream_ != nullptr; }
  bool failed() const { return failed_; }

private:
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
};

}  // namespace resivex
