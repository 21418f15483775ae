// A deterministic machine for fuzzing whole conversions: whether a path, key or value exists, and a value's
// type and data, follow from a hash of its name, so every handler and encoder is reached and every run can
// be replayed. The static rules let the checks ask the same questions as the run.
#pragma once

#include "conversion/machine.h"

#include <cerrno>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace resivex::fuzzing {

std::uint64_t name_hash(std::string_view text);

class fuzz_machine : public machine {
public:
  // True when the machine says the path exists (as file or folder).
  static bool path_exists(std::string_view path) { return name_hash(path) % 3 == 0; }
  // The answer to opening root\sub_key: 0, ERROR_FILE_NOT_FOUND or ERROR_ACCESS_DENIED.
  static long key_status(win::reg_key root, std::string_view sub_key);
  // True when the key root\sub_key holds a value of that name (names compare without regard to case).
  static bool value_exists(win::reg_key root, std::string_view sub_key, std::string_view name);

  std::vector<std::string> opened_for_writing;
  std::vector<std::string> windows;
  int boxes = 0;
  std::uint32_t major_version = 10;

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
  bool remove_file(const char* path) override { return std::remove(path) == 0 || errno == ENOENT; }
  bool full_path(const char* path, std::string& out) override;
  // No item has a short name of its own here: every path is its own.
  bool short_path(const char*, std::string&) override { return false; }
  bool long_path(const char*, std::string&) override { return false; }

  int message_box(window_handle owner, const char* text, const char* caption, unsigned style) override;
  bool open_result_window(window_handle owner, const char* path) override;
  os_version_info os_version() override { return {win::ver_platform_win32_nt, major_version}; }
  int is_wow64_process() override { return 0; }
  bool windows_is_64bit() override { return true; }
  std::string windows_folder() override { return "C:\\Windows"; }
  // ANSI is Latin-1, OEM ASCII alone.
  bool utf8_from_ansi(std::string_view ansi, std::string& out) override;
  bool ansi_from_utf8(std::string_view text, std::string& out) override;
  bool oem_from_utf8(std::string_view text, std::string& out) override;

  std::size_t open_key_count() const { return open_keys_.size(); }

private:
  // Each open key by its path as opened: the root's number, then every sub-key given on the way to it.
  std::map<win::reg_key, std::string> open_keys_;
  win::reg_key next_handle_ = 0x100;
};

}  // namespace resivex::fuzzing
