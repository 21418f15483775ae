#include "tests/fuzz/fuzz_machine.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace resivex::fuzzing {

std::uint64_t name_hash(std::string_view text) {
  std::uint64_t h = 1469598103934665603ull;
  for (char c : text) {
    char u = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;  // the registry ignores case
    h = (h ^ static_cast<unsigned char>(u)) * 1099511628211ull;
  }
  return h;
}

namespace {

// Value names in a fuzzed key: a few fixed ones, so the enumeration has something to walk.
const char* const enum_names[] = {"", "Name", "Setting", "Path"};

void value_of(std::string_view key, std::string_view name, std::uint32_t& type, std::string& data) {
  const std::uint64_t h = name_hash(std::string(key) + "\\" + std::string(name));
  static const std::uint32_t types[] = {0, 1, 2, 3, 4, 5, 7, 11, 1, 3};
  type = types[h % 10];
  const std::size_t size = (h >> 8) % 40;
  data.clear();
  for (std::size_t i = 0; i < size; ++i) data += static_cast<char>('A' + ((h >> (i % 48)) & 15));
}

bool value_exists(std::string_view key, std::string_view name) {
  return name_hash(std::string(key) + "\\" + std::string(name)) % 2 == 0;
}

}  // namespace

long fuzz_machine::reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t, win::reg_key* key) {
  if (root != win::hkey_classes_root && root != win::hkey_current_user && root != win::hkey_local_machine &&
      root != win::hkey_users && root != win::hkey_current_config) {
    return win::error_invalid_handle;
  }
  std::string path = std::to_string(root) + "\\" + sub_key;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  const std::uint64_t h = name_hash(path);
  if (h % 7 == 3) return win::error_access_denied;
  if (h % 2 == 1 && sub_key[0] != '\0') return win::error_file_not_found;
  *key = next_handle_++;
  open_keys_[*key] = path;
  return 0;
}

long fuzz_machine::reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                                   std::uint32_t* data_len) {
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  if (!value_exists(open->second, name)) return win::error_file_not_found;
  std::string bytes;
  std::uint32_t t = 0;
  value_of(open->second, name, t, bytes);
  if (bytes.size() > *data_len) {
    *data_len = static_cast<std::uint32_t>(bytes.size());
    return win::error_more_data;
  }
  *type = t;
  std::memcpy(data, bytes.data(), bytes.size());
  *data_len = static_cast<std::uint32_t>(bytes.size());
  return 0;
}

long fuzz_machine::reg_query_info_key(win::reg_key key, reg_key_info* info) {
  if (open_keys_.count(key) == 0) return win::error_invalid_handle;
  info->values = 4;
  info->max_value_name_len = 8;
  info->max_value_data_len = 40;
  return 0;
}

long fuzz_machine::reg_enum_value(win::reg_key key, std::uint32_t index, char* name, std::uint32_t* name_len,
                                  std::uint32_t* type, unsigned char* data, std::uint32_t* data_len) {
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  if (index >= 4) return win::error_no_more_items;
  const std::string n = enum_names[index];
  std::string bytes;
  std::uint32_t t = 0;
  value_of(open->second, n, t, bytes);
  if (n.size() + 1 > *name_len || bytes.size() > *data_len) return win::error_more_data;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *name_len = static_cast<std::uint32_t>(n.size());
  *type = t;
  std::memcpy(data, bytes.data(), bytes.size());
  *data_len = static_cast<std::uint32_t>(bytes.size());
  return 0;
}

void fuzz_machine::reg_close_key(win::reg_key key) { open_keys_.erase(key); }

std::string fuzz_machine::error_text(long code) { return "Error " + std::to_string(code) + ".\r\n"; }

std::uint32_t fuzz_machine::file_attributes(const char* path) {
  if (!path_exists(path)) return win::invalid_file_attributes;
  return name_hash(path) % 2 == 0 ? win::file_attribute_directory : 0x20;
}

int fuzz_machine::file_status(const char* path) { return path_exists(path) ? 0 : ENOENT; }

long long fuzz_machine::file_size(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::FILE* fuzz_machine::open_file(const char* path, const char* mode) {
  if (std::strchr(mode, 'w') != nullptr || std::strchr(mode, 'a') != nullptr) opened_for_writing.emplace_back(path);
  return std::fopen(path, mode);
}

bool fuzz_machine::full_path(const char* path, std::string& out) {
  out = path;
  return true;
}

int fuzz_machine::message_box(window_handle, const char*, const char*, unsigned) {
  ++boxes;
  return 1;
}

bool fuzz_machine::open_result_window(window_handle, const char* path) {
  windows.emplace_back(path);
  return true;
}

bool fuzz_machine::ansi_from_utf16(std::u16string_view text, std::string& out) {
  out.clear();
  bool exact = true;
  for (char16_t c : text) {
    out += c <= 0xFF ? static_cast<char>(c) : '?';
    exact = exact && c <= 0xFF;
  }
  return exact;
}

bool fuzz_machine::oem_from_ansi(std::string_view text, std::string& out) {
  out.clear();
  bool exact = true;
  for (char c : text) {
    const bool ascii = static_cast<unsigned char>(c) < 0x80;
    out += ascii ? c : '?';
    exact = exact && ascii;
  }
  return exact;
}

}  // namespace resivex::fuzzing
