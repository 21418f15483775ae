// Paths longer than MAX_PATH. The Win32 file functions take them only in their extended form
// ("\\?\C:\..." or "\\?\UNC\server\share\..."), which they pass to the file system unparsed: so the path
// must be full and use backslashes only. Portable, tested natively.
#pragma once

#include <string>
#include <string_view>

namespace resivex::shell {

// The longest path, in UTF-16 units, that the file functions take in its plain form (MAX_PATH less the NUL).
inline constexpr std::size_t plain_path_limit = 259;

// The form in which a full path (as GetFullPathNameW gives it) reaches the file functions: itself when it
// fits plain_path_limit, has that form already, or is not a full drive or UNC path; otherwise its extended
// form.
std::string file_api_path(std::string_view full_path);

}  // namespace resivex::shell
