// Which view of the machine the report's Regshot saw. On 64-bit Windows a 32-bit program sees the registry and
// the system folder through WOW64: HKLM\SOFTWARE\Vendor is really HKLM\SOFTWARE\WOW6432Node\Vendor, and
// C:\Windows\System32\x.dll is really C:\Windows\SysWOW64\x.dll. This program (and regedit, and cmd) may see
// the other view, so the report's entries are probed, and the scripts' lines written, in the report's view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace resivex {

enum class report_view {
  native,  // the title does not say: the system's own view
  bits32,  // a 32-bit Regshot
  bits64,  // a 64-bit Regshot
};

// The view that the report's first line names: "Regshot 1.9.x x86 ..." and every "Regshot 1.8.x" (1.8 had only
// 32-bit builds) are 32-bit, "... x64 ..." is 64-bit. A title that is damaged or unknown is native: never a
// guess that flips the view.
report_view report_view_of_title(std::string_view first_line);

// The registry access mask that probes the report's view: on 64-bit Windows a 32-bit report is read with
// KEY_WOW64_32KEY and every other with KEY_WOW64_64KEY (so that a 32-bit build of this program reads the
// same); on 32-bit Windows nothing is redirected.
std::uint32_t access_mask_for(report_view view, bool windows_64bit);

// True when the report's file paths must be redirected as WOW64 redirects a 32-bit program's.
inline bool redirects_files(report_view view, bool windows_64bit) {
  return windows_64bit && view == report_view::bits32;
}

// The comment line (without its "; " or "REM ") that heads the registry scripts and the batch file, so that a
// reviewer sees why their lines name other paths than the report. windows_folder: the system's.
std::string registry_view_note(report_view view, bool windows_64bit);
std::string files_view_note(report_view view, bool windows_64bit, std::string_view windows_folder);

// Where a 64-bit program finds the item that a 32-bit program on 64-bit Windows named `path`: below the
// Windows folder, System32 is SysWOW64 (but for the folders WOW64 leaves alone: catroot, catroot2,
// driverstore, drivers\etc, logfiles, spool), Sysnative is System32, lastgood\System32 is lastgood\SysWOW64
// and regedit.exe is SysWOW64\regedit.exe. Names compare without regard to case. Returns false, with out
// untouched, when the path is not redirected.
bool redirected_path(std::string_view windows_folder, std::string_view path, std::string& out);

}  // namespace resivex
