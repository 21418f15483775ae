// See report_view.h.
#include "conversion/report_view.h"

#include "conversion/text.h"
#include "conversion/win_types.h"

namespace resivex {

namespace {

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
  }
  return true;
}

// The rest of `path` after `folder` and a backslash, or after `folder` alone when it ends the path; false when
// the path does not lie there.
bool below(std::string_view path, std::string_view folder, std::string_view& rest) {
  if (path.size() < folder.size() || !same_ignoring_case(path.substr(0, folder.size()), folder)) return false;
  if (path.size() == folder.size()) {
    rest = {};
    return true;
  }
  if (path[folder.size()] != '\\') return false;
  rest = path.substr(folder.size() + 1);
  return true;
}

}  // namespace

report_view report_view_of_title(std::string_view line) {
  // The first character of a Unicode report can be garbled: "egshot " is looked for near the start.
  const std::size_t at = line.find("egshot ");
  if (at == std::string_view::npos || at > 8) return report_view::native;
  std::string_view rest = line.substr(at + 7);
  std::string_view version;
  bool x86 = false, x64 = false;
  while (!rest.empty()) {
    const std::size_t end = rest.find_first_of(" \t\r\n");
    const std::string_view word = rest.substr(0, end);
    if (version.empty()) version = word;
    if (same_ignoring_case(word, "x86")) x86 = true;
    if (same_ignoring_case(word, "x64")) x64 = true;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  if (x86 != x64) return x86 ? report_view::bits32 : report_view::bits64;
  if (x86) return report_view::native;  // both: no build writes that
  if (starts_with(version, "1.8") && (version.size() == 3 || version[3] == '.')) return report_view::bits32;
  return report_view::native;
}

std::uint32_t access_mask_for(report_view view, bool windows_64bit) {
  if (!windows_64bit) return win::key_read;
  return win::key_read | (view == report_view::bits32 ? win::key_wow64_32key : win::key_wow64_64key);
}

std::string registry_view_note(report_view view, bool windows_64bit) {
  if (!windows_64bit) return "32-bit Windows: nothing is redirected, keys are read as the report names them";
  switch (view) {
    case report_view::bits32:
      return "Report of a 32-bit Regshot: HKLM\\SOFTWARE is read as HKLM\\SOFTWARE\\WOW6432Node";
    case report_view::bits64:
      return "Report of a 64-bit Regshot: keys are read in the 64-bit view of the registry";
    case report_view::native:
      break;
  }
  return "The report does not say whether a 32-bit or a 64-bit Regshot wrote it: keys are read in this "
         "system's native view";
}

std::string files_view_note(report_view view, bool windows_64bit, std::string_view windows_folder) {
  if (!windows_64bit) return "32-bit Windows: nothing is redirected, paths are read as the report names them";
  switch (view) {
    case report_view::bits32:
      if (windows_folder.empty()) {
        return "Report of a 32-bit Regshot, but this system did not tell its Windows folder: paths are read as "
               "the report names them";
      }
      return "Report of a 32-bit Regshot: " + std::string(windows_folder) + "\\System32 is read as " +
             std::string(windows_folder) + "\\SysWOW64";
    case report_view::bits64:
      return "Report of a 64-bit Regshot: paths are read as the report names them";
    case report_view::native:
      break;
  }
  return "The report does not say whether a 32-bit or a 64-bit Regshot wrote it: paths are read in this "
         "system's native view";
}

bool redirected_path(std::string_view windows_folder, std::string_view path, std::string& out) {
  std::string_view rest;
  if (windows_folder.empty() || !below(path, windows_folder, rest) || rest.empty()) return false;
  std::string_view below_system;
  auto join = [&](std::string_view folder, std::string_view tail) {
    out.assign(windows_folder);
    out += '\\';
    out.append(folder);
    if (!tail.empty()) {
      out += '\\';
      out.append(tail);
    }
    return true;
  };
  if (below(rest, "System32", below_system)) {
    // The folders WOW64 shows to every program as they are (Windows 7 and later; driverstore was redirected
    // before).
    for (std::string_view exempt : {"catroot", "catroot2", "driverstore", "drivers\\etc", "logfiles", "spool"}) {
      std::string_view ignored;
      if (below(below_system, exempt, ignored)) return false;
    }
    return join("SysWOW64", below_system);
  }
  if (below(rest, "Sysnative", below_system)) return join("System32", below_system);
  if (below(rest, "lastgood\\System32", below_system)) return join("lastgood\\SysWOW64", below_system);
  if (same_ignoring_case(rest, "regedit.exe")) return join("SysWOW64", "regedit.exe");
  return false;
}

}  // namespace resivex
