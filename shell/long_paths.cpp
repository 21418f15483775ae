// See long_paths.h.
#include "shell/long_paths.h"

#include "conversion/unicode.h"

namespace resivex::shell {

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string with_backslashes(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

}  // namespace

std::string file_api_path(std::string_view full_path) {
  if (utf16_length(full_path) <= plain_path_limit) return std::string(full_path);
  const bool device = full_path.size() >= 4 && is_separator(full_path[0]) && is_separator(full_path[1]) &&
                      (full_path[2] == '?' || full_path[2] == '.') && is_separator(full_path[3]);
  if (device) return std::string(full_path);
  if (full_path.size() >= 3 && is_letter(full_path[0]) && full_path[1] == ':' && is_separator(full_path[2])) {
    return "\\\\?\\" + with_backslashes(full_path);
  }
  if (full_path.size() >= 3 && is_separator(full_path[0]) && is_separator(full_path[1]) &&
      !is_separator(full_path[2])) {
    return "\\\\?\\UNC\\" + with_backslashes(full_path.substr(2));
  }
  return std::string(full_path);
}

}  // namespace resivex::shell
