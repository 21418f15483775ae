// The real machine: the conversion core's interface implemented on the Win32 API. Front ends derive from it
// and say how a finished output is shown (a document window in the GUI, a printed path in the console).
#pragma once

#include "conversion/machine.h"

#include <string>
#include <vector>

namespace resivex {

// The process's arguments in UTF-8, from its wide command line (CommandLineToArgvW): the first is the program.
std::vector<std::string> command_line_arguments();

// The text of one code page in another; false when a character has no exact form there (best-fit look-alikes
// would name other files).
bool recode_text(std::string_view text, unsigned from_code_page, unsigned to_code_page, std::string& out);

class win32_machine : public machine {
public:
  long reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access, win::reg_key* key) override;
  long reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* data_len) override;
  long reg_query_info_key(win::reg_key key, reg_key_info* info) override;
  long reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* data_len) override;
  void reg_close_key(win::reg_key key) override;
  long reg_key_name(win::reg_key key, std::string& out) override;
  std::string error_text(long code) override;

  std::uint32_t file_attributes(const char* path) override;
  int file_status(const char* path) override;
  long long file_size(const char* path) override;
  std::FILE* open_file(const char* path, const char* mode) override;
  bool remove_file(const char* path) override;
  bool full_path(const char* path, std::string& out) override;
  bool short_path(const char* path, std::string& out) override;
  bool long_path(const char* path, std::string& out) override;

  int message_box(window_handle owner, const char* text, const char* caption, unsigned style) override;

  os_version_info os_version() override;
  int is_wow64_process() override;
  bool windows_is_64bit() override;
  std::string windows_folder() override;

  bool utf8_from_ansi(std::string_view ansi, std::string& out) override;
  bool ansi_from_utf8(std::string_view text, std::string& out) override;
  bool oem_from_utf8(std::string_view text, std::string& out) override;

private:
  // The path that the last attribute query found; empty when it found nothing. The status query of that same
  // path may then be answered without a second look-up.
  std::string last_found_path_;
  std::wstring name_buffer_;  // the enumeration's names
};

}  // namespace resivex
