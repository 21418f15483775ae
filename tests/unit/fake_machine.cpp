#include "tests/unit/fake_machine.h"

#include "conversion/unicode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace resivex::testing {

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

// A name held here that is not UTF-8 stands for one that the system holds with a UTF-16 unit that is half of a
// pair, alone ("\xED\xA0\x80" for U+D800): like the system's, the enumeration does not give it.
bool has_utf8_form(std::string_view name) {
  std::u16string wide;
  return utf16_from_utf8(name, wide);
}

const char* root_name(win::reg_key root) {
  if (root == win::hkey_classes_root) return "HKCR";
  if (root == win::hkey_current_user) return "HKCU";
  if (root == win::hkey_local_machine) return "HKLM";
  if (root == win::hkey_users) return "HKU";
  if (root == win::hkey_current_config) return "HKCC";
  return nullptr;
}

bool same_or_under(const std::string& path, const std::string& key) {
  const std::string p = upper(path), k = upper(key);
  return p == k || p.rfind(k + "\\", 0) == 0;
}

}  // namespace

std::string fake_machine::redirected(const std::string& path) const {
  for (const std::string& shared : shared_32) {
    if (same_or_under(path, shared)) return path;
  }
  for (const std::string& key : redirected_32) {
    if (same_or_under(path, key)) return path.substr(0, key.size()) + "\\Wow6432Node" + path.substr(key.size());
  }
  return path;
}

long fake_machine::reg_key_name(win::reg_key key, std::string& out) {
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  const std::string& path = open->second;
  for (const auto& [failing, code] : key_name_errors) {
    if (upper(failing) == upper(path)) return code;
  }
  for (const auto& [named, name] : key_names) {
    if (upper(named) == upper(path)) {
      out = name;
      return 0;
    }
  }
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  const std::string hive = path.substr(0, hive_end);
  std::string root;
  if (hive == "HKLM") root = "\\REGISTRY\\MACHINE";
  if (hive == "HKU") root = "\\REGISTRY\\USER";
  if (hive == "HKCU") root = "\\REGISTRY\\USER\\" + current_user_sid;
  if (hive == "HKCR") root = "\\REGISTRY\\MACHINE\\SOFTWARE\\Classes";
  if (hive == "HKCC") root = "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
  out = root + path.substr(hive_end);
  return 0;
}

long fake_machine::reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access, win::reg_key* key) {
  ++reg_opens;
  open_accesses.push_back(access);
  std::string path;
  if (const char* name = root_name(root)) {
    path = name;
  } else if (const auto open = open_keys_.find(root); open != open_keys_.end()) {
    path = open->second;
  } else {
    return win::error_invalid_handle;
  }
  std::string sub = sub_key;
  if (sub.size() > 260) return win::error_more_data;
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  if (!sub.empty()) path += "\\" + sub;
  if ((access & win::key_wow64_32key) != 0 && root_name(root) != nullptr) path = redirected(path);
  for (const auto& [failing, code] : key_open_errors) {
    if (upper(failing) == upper(path)) return code;
  }
  for (const auto& entry : keys) {
    if (upper(entry.first) == upper(path)) {
      *key = next_handle_++;
      open_keys_[*key] = entry.first;
      return 0;
    }
  }
  // A key exists when it holds values or when a sub-key of it does.
  for (const auto& entry : keys) {
    if (upper(entry.first).rfind(upper(path) + "\\", 0) == 0) {
      *key = next_handle_++;
      open_keys_[*key] = path;
      return 0;
    }
  }
  if (sub.empty() && root_name(root) != nullptr) {  // a root opens itself
    *key = next_handle_++;
    open_keys_[*key] = path;
    return 0;
  }
  return win::error_file_not_found;
}

long fake_machine::reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                                   std::uint32_t* data_len) {
  ++reg_queries;
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  for (const auto& [value_name, value] : keys[open->second]) {
    if (upper(value_name) != upper(name)) continue;
    for (const auto& [failing, code] : query_errors) {
      if (upper(failing) == upper(open->second + "\\" + value_name)) return code;
    }
    if (value.data.size() > *data_len) {
      *data_len = static_cast<std::uint32_t>(value.data.size());
      return win::error_more_data;
    }
    *type = value.type;
    std::memcpy(data, value.data.data(), value.data.size());
    *data_len = static_cast<std::uint32_t>(value.data.size());
    return 0;
  }
  return win::error_file_not_found;
}

long fake_machine::reg_query_info_key(win::reg_key key, reg_key_info* info) {
  ++reg_infos;
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  reg_key_info result;
  std::set<std::string> children;
  const std::string prefix = upper(open->second) + "\\";
  for (const auto& entry : keys) {
    const std::string u = upper(entry.first);
    if (u.rfind(prefix, 0) == 0) children.insert(u.substr(prefix.size(), u.find('\\', prefix.size()) - prefix.size()));
  }
  result.sub_keys = static_cast<std::uint32_t>(children.size());
  for (const std::string& changing : changing_keys) {
    if (upper(changing) == upper(open->second)) result.last_write = ++clock_;
  }
  for (const auto& [value_name, value] : keys[open->second]) {
    ++result.values;
    result.max_value_name_len = std::max<std::uint32_t>(result.max_value_name_len,
                                                        static_cast<std::uint32_t>(utf16_length(value_name)));
    result.max_value_data_len = std::max<std::uint32_t>(result.max_value_data_len,
                                                        static_cast<std::uint32_t>(value.data.size()));
  }
  *info = result;
  return 0;
}

long fake_machine::reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* data_len) {
  ++reg_enums;
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  const auto& values = keys[open->second];
  if (index >= values.size()) return win::error_no_more_items;
  auto it = values.begin();
  std::advance(it, index);
  if (!has_utf8_form(it->first)) return win::error_no_unicode_translation;
  // As RegEnumValueW: without a data buffer only the size of the data is told.
  const std::size_t size = it->second.data.size();
  if (data != nullptr && size > *data_len) {
    *data_len = static_cast<std::uint32_t>(size);
    return win::error_more_data;
  }
  name = it->first;
  *type = it->second.type;
  if (data != nullptr) std::memcpy(data, it->second.data.data(), size);
  *data_len = static_cast<std::uint32_t>(size);
  return 0;
}

long fake_machine::reg_enum_key(win::reg_key key, std::uint32_t index, std::string& name) {
  ++reg_enums;
  const auto open = open_keys_.find(key);
  if (open == open_keys_.end()) return win::error_invalid_handle;
  // The direct sub-keys, by the case of the first path that names each, in the order of their names.
  std::map<std::string, std::string> children;
  const std::string prefix = upper(open->second) + "\\";
  for (const auto& entry : keys) {
    if (upper(entry.first).rfind(prefix, 0) != 0) continue;
    const std::string rest = entry.first.substr(prefix.size());
    const std::string child = rest.substr(0, rest.find('\\'));
    children.emplace(upper(child), child);
  }
  if (index >= children.size()) return win::error_no_more_items;
  auto it = children.begin();
  std::advance(it, index);
  if (!has_utf8_form(it->second)) return win::error_no_unicode_translation;
  name = it->second;
  return 0;
}

void fake_machine::reg_close_key(win::reg_key key) { open_keys_.erase(key); }

std::string fake_machine::error_text(long code) {
  switch (code) {
    case win::error_access_denied: return "Access is denied.\r\n";
    case win::error_invalid_handle: return "The handle is invalid.\r\n";
    default: return "System error " + std::to_string(code) + ".\r\n";
  }
}

bool fake_machine::holds_items_below(const std::string& folder) const {
  if (!folders_of_items_exist) return false;
  const std::string prefix = folder + "\\";
  for (const std::set<std::string>* items : {&existing_files, &existing_folders}) {
    const auto next = items->lower_bound(prefix);
    if (next != items->end() && next->compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

std::uint32_t fake_machine::file_attributes(const char* path) {
  ++attribute_queries;
  if (attributes_fail_for.count(path) != 0) return win::invalid_file_attributes;
  if (existing_folders.count(path) != 0) return win::file_attribute_directory;
  if (existing_files.count(path) != 0) return 0x20;
  if (holds_items_below(path)) return win::file_attribute_directory;
  return win::invalid_file_attributes;
}

int fake_machine::file_status(const char* path) {
  const auto failing = stat_errors.find(path);
  if (failing != stat_errors.end()) return failing->second;
  return existing_files.count(path) != 0 || existing_folders.count(path) != 0 || holds_items_below(path) ? 0 : ENOENT;
}

long long fake_machine::file_size(const char* path) {
  struct stat st {};
  if (::stat(path, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool fake_machine::remove_file(const char* path) {
  removed.emplace_back(path);
  return std::remove(path) == 0 || errno == ENOENT;
}

std::FILE* fake_machine::open_file(const char* path, const char* mode) {
  if (unopenable.count(path) != 0) return nullptr;
  const bool writing = std::strchr(mode, 'w') != nullptr || std::strchr(mode, 'a') != nullptr;
  if (writing) opened_for_writing.emplace_back(path);
  if (writing && unwritable.count(path) != 0) return std::fopen("/dev/full", "w");
  return std::fopen(path, mode);
}

bool fake_machine::full_path(const char* path, std::string& out) {
  out = path;
  return true;
}

int fake_machine::message_box(window_handle owner, const char* text, const char* caption, unsigned style) {
  boxes.push_back({owner, text, caption, style});
  return 1;
}

bool fake_machine::open_result_window(window_handle, const char* path) {
  if (windows_fail) return false;
  windows.emplace_back(path);
  return true;
}

bool fake_machine::short_path(const char* path, std::string& out) {
  if (const auto it = short_names.find(path); it != short_names.end()) {
    out = it->second;
    return true;
  }
  if (existing_files.count(path) == 0 && existing_folders.count(path) == 0) return false;
  out = path;
  return true;
}

bool fake_machine::long_path(const char* path, std::string& out) {
  if (const auto it = long_names.find(path); it != long_names.end()) {
    out = it->second;
    return true;
  }
  for (const auto& [long_name, short_name] : short_names) {
    if (short_name == path) {
      out = long_name;
      return true;
    }
  }
  if (existing_files.count(path) == 0 && existing_folders.count(path) == 0) return false;
  out = path;
  return true;
}

bool fake_machine::utf8_from_ansi(std::string_view ansi, std::string& out) {
  std::u16string wide;
  bool exact = true;
  for (const char c : ansi) {
    const auto b = static_cast<unsigned char>(c);
    if (ansi_undefined.count(b) != 0) {
      wide += u'\uFFFD';
      exact = false;
    } else {
      wide += static_cast<char16_t>(b);
    }
  }
  utf8_from_utf16(wide, out);
  return exact;
}

bool fake_machine::ansi_from_utf8(std::string_view text, std::string& out) {
  std::u16string wide;
  bool exact = utf16_from_utf8(text, wide);
  out.clear();
  for (char16_t c : wide) {
    if (c <= 0xFF) {
      out += static_cast<char>(c);
    } else {
      out += '?';
      exact = false;
    }
  }
  return exact;
}

bool fake_machine::oem_from_utf8(std::string_view text, std::string& out) {
  static const std::map<char16_t, unsigned char> cp850 = {
      {0xE9, 0x82}, {0xDC, 0x9A}, {0xFC, 0x81}, {0xE4, 0x84}, {0xF6, 0x94},
      {0xC4, 0x8E}, {0xD6, 0x99}, {0xDF, 0xE1}, {0xEF, 0x8B}, {0xE8, 0x8A}};
  std::u16string wide;
  bool exact = utf16_from_utf8(text, wide);
  out.clear();
  for (char16_t c : wide) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const auto it = cp850.find(c); it != cp850.end()) {
      out += static_cast<char>(it->second);
    } else {
      out += '?';
      exact = false;
    }
  }
  return exact;
}

std::vector<std::string> fake_machine::captions() const {
  std::vector<std::string> out;
  for (const shown_box& b : boxes) out.push_back(b.caption);
  return out;
}

}  // namespace resivex::testing
