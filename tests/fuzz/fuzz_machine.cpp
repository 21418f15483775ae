#include "tests/fuzz/fuzz_machine.h"

#include "conversion/unicode.h"

#include <algorithm>
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

// Value names that the enumeration of a key walks (those of them that exist there).
const char* const enum_names[] = {"", "Name", "Setting", "Path"};

bool is_root(win::reg_key key) {
  return key == win::hkey_classes_root || key == win::hkey_current_user || key == win::hkey_local_machine ||
         key == win::hkey_users || key == win::hkey_current_config;
}

// A key path as the rules see it: a sub-key that ends with a backslash names the same key.
std::string canonical(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

long status_of(const std::string& path) {
  const std::uint64_t h = name_hash(path);
  if (h % 7 == 3) return win::error_access_denied;
  if (path.find('\\') == std::string::npos) return 0;  // a root opens itself
  return h % 2 == 1 ? win::error_file_not_found : 0;
}

bool value_rule(const std::string& key, std::string_view name) {
  return name_hash(key + "\\" + std::string(name)) % 2 == 0;
}

// Now and then a lookup by name fails for another reason than absence (the enumeration still lists the value).
bool query_refused(const std::string& key, std::string_view name) {
  return (name_hash(key + "\\" + std::string(name)) >> 12) % 8 == 0;
}

// Mostly small data, now and then more than the run's first value buffer holds, so that it has to grow. The
// type comes from other bits of the hash than existence does, so that every type exists.
void value_of(const std::string& key, std::string_view name, std::uint32_t& type, std::string& data) {
  const std::uint64_t h = name_hash(key + "\\" + std::string(name));
  static const std::uint32_t types[] = {0, 1, 2, 3, 4, 5, 7, 11, 1, 3};
  type = types[(h >> 4) % 10];
  std::size_t size = (h >> 8) % 40;
  if ((h >> 24) % 64 == 0) size = 8192 + (h >> 8) % 500;
  data.clear();
  for (std::size_t i = 0; i < size; ++i) data += static_cast<char>('A' + ((h >> (i % 48)) & 15));
}

}  // namespace

long fuzz_machine::key_status(win::reg_key root, std::string_view sub_key) {
  return status_of(canonical(std::to_string(root) + "\\" + std::string(sub_key)));
}

bool fuzz_machine::value_exists(win::reg_key root, std::string_view sub_key, std::string_view name) {
  return value_rule(canonical(std::to_string(root) + "\\" + std::string(sub_key)), name);
}

long fuzz_machine::reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t, win::reg_key* key) {
  std::string path;
  if (is_root(root)) {
    path = std::to_string(root);
  } else if (const auto parent = open_keys_.find(root); parent != open_keys_.end()) {
    path = parent->second;  // relative to an open key, as a long path is opened step by step
  } else {
    return win::error_invalid_handle;
  }
  path += "\\";
  path += sub_key;
  const long status = status_of(canonical(path));
  if (status != 0) return status;
  *key = next_handle_++;
  open_keys_[*key] = path;
  return 0;
}

long fuzz_machine::reg_key_name(win::reg_key key, std::string& out) {
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  const std::string path = canonical(open->second);
  if (name_hash(path) % 13 == 5) return win::error_access_denied;  // a key whose name cannot be read
  const std::size_t sep = std::min(path.find('\\'), path.size());
  const std::string root = path.substr(0, sep);
  const auto number = [](win::reg_key k) { return std::to_string(k); };
  std::string system;
  if (root == number(win::hkey_local_machine)) system = "\\REGISTRY\\MACHINE";
  else if (root == number(win::hkey_users)) system = "\\REGISTRY\\USER";
  else if (root == number(win::hkey_current_user)) system = "\\REGISTRY\\USER\\S-1-5-21-0-0-0-1000";
  else if (root == number(win::hkey_classes_root)) system = "\\REGISTRY\\MACHINE\\SOFTWARE\\Classes";
  else system = "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
  out = system + path.substr(sep);
  return 0;
}

long fuzz_machine::reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                                   std::uint32_t* data_len) {
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  const std::string path = canonical(open->second);
  if (!value_rule(path, name)) return win::error_file_not_found;
  if (query_refused(path, name)) return win::error_access_denied;
  std::string bytes;
  std::uint32_t t = 0;
  value_of(path, name, t, bytes);
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
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  const std::string path = canonical(open->second);
  reg_key_info result;
  for (const char* n : enum_names) {
    if (!value_rule(path, n)) continue;
    std::string bytes;
    std::uint32_t t = 0;
    value_of(path, n, t, bytes);
    ++result.values;
    result.max_value_name_len = std::max(result.max_value_name_len, static_cast<std::uint32_t>(std::strlen(n)));
    result.max_value_data_len = std::max(result.max_value_data_len, static_cast<std::uint32_t>(bytes.size()));
  }
  *info = result;
  return 0;
}

long fuzz_machine::reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* data_len) {
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  const std::string path = canonical(open->second);
  std::uint32_t seen = 0;
  for (const char* n : enum_names) {
    if (!value_rule(path, n) || seen++ != index) continue;
    std::string bytes;
    std::uint32_t t = 0;
    value_of(path, n, t, bytes);
    // Without a data buffer only the size of the data is told, as RegEnumValueW does.
    if (data != nullptr && bytes.size() > *data_len) {
      *data_len = static_cast<std::uint32_t>(bytes.size());
      return win::error_more_data;
    }
    name = n;
    *type = t;
    if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
    *data_len = static_cast<std::uint32_t>(bytes.size());
    return 0;
  }
  return win::error_no_more_items;
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

bool fuzz_machine::utf8_from_ansi(std::string_view ansi, std::string& out) {
  std::u16string wide;
  for (const char c : ansi) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  utf8_from_utf16(wide, out);
  return true;
}

bool fuzz_machine::ansi_from_utf8(std::string_view text, std::string& out) {
  std::u16string wide;
  bool exact = utf16_from_utf8(text, wide);
  out.clear();
  for (char16_t c : wide) {
    out += c <= 0xFF ? static_cast<char>(c) : '?';
    exact = exact && c <= 0xFF;
  }
  return exact;
}

bool fuzz_machine::oem_from_utf8(std::string_view text, std::string& out) {
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
