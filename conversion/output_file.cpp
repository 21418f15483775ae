// See output_file.h.
#include "conversion/output_file.h"

namespace resivex {

bool output_file::create(machine& m, const char* path) {
  close();
  failed_ = false;
  stream_ = m.open_file(path, "w");
  return stream_ != nullptr;
}

void output_file::write(std::string_view text) {
  if (stream_ == nullptr || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) failed_ = true;
}

bool output_file::close() {
  if (stream_ != nullptr) {
    if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) failed_ = true;
    if (std::fclose(stream_) != 0) failed_ = true;
    stream_ = nullptr;
  }
  return !failed_;
}

}  // namespace resivex
