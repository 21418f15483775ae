// The one seam between the conversion core and the machine it runs on. The core never calls the operating
// system directly: every registry read, file test, file stream, message box, result window and code-page
// conversion goes through this interface. platform/win32 implements it on the Win32 API (its wide forms); the
// unit tests use a recording fake. Status codes are the system's own, passed through unchanged. Every text,
// name and path crossing it is UTF-8 (unicode.h); the implementation converts at the system's edge.
#pragma once

#include "conversion/win_types.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace resivex {

using window_handle = void*;  // the owner of a message box or result window; null for none

struct os_version_info {
  std::uint32_t platform_id = 0;
  std::uint32_t major = 0;
};

// Counts of an open key, as RegQueryInfoKeyW reports them (name lengths in UTF-16 units), and the time it was
// last written (a FILETIME as one number).
struct reg_key_info {
  std::uint32_t values = 0;
  std::uint32_t max_value_name_len = 0;
  std::uint32_t max_value_data_len = 0;
  std::uint32_t sub_keys = 0;
  std::uint64_t last_write = 0;
  bool operator==(const reg_key_info&) const = default;
};

// Where a run stands, as it offers it to the machine every few hundred entries.
struct run_progress {
  std::string_view section;       // the title of the section being read ("Files added"); empty before the first
  std::uint64_t bytes_read = 0;   // of the report, as far as it has been read
  std::uint64_t bytes_total = 0;  // the report's size (0 when it cannot be told)
  std::uint64_t entries_read = 0;
};

class machine {
public:
  virtual ~machine() = default;

  // Registry, read only (RegOpenKeyExW, RegQueryValueExW, RegQueryInfoKeyW, RegEnumValueW, RegEnumKeyExW,
  // RegCloseKey).
  // Each returns the system's error code, 0 on success; on failure the outputs are left unchanged, except
  // that ERROR_MORE_DATA tells in data_len the room the data needs. Data is the value's bytes as the system
  // stores them (string types in UTF-16LE). reg_enum_value takes a null data buffer to tell the name, the type
  // and the size of the data alone. A name that has no UTF-8 form (it holds a UTF-16 unit that is half of a
  // pair, alone) is not given: the enumeration of it fails with error_no_unicode_translation, and the next
  // index goes on. Any text in its place would name another key or value.
  virtual long reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access, win::reg_key* key) = 0;
  virtual long reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                               std::uint32_t* data_len) = 0;
  virtual long reg_query_info_key(win::reg_key key, reg_key_info* info) = 0;
  virtual long reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                              unsigned char* data, std::uint32_t* data_len) = 0;
  // The name of the sub-key at an index (RegEnumKeyExW); ERROR_NO_MORE_ITEMS past the last one.
  virtual long reg_enum_key(win::reg_key key, std::uint32_t index, std::string& name) = 0;
  virtual void reg_close_key(win::reg_key key) = 0;
  // The full name of an open key as the system resolves it, in its own notation
  // (\REGISTRY\MACHINE\SOFTWARE\WOW6432Node\X: NtQueryKey's KeyNameInformation). Returns the system's
  // error code, 0 on success; out is set only then.
  virtual long reg_key_name(win::reg_key key, std::string& out) = 0;
  // The system's text for an error code (FormatMessageW), as the system words it.
  virtual std::string error_text(long code) = 0;

  // File system. A path longer than the system's MAX_PATH is taken in its long form (\\?\) by the
  // implementation. file_attributes is GetFileAttributesW (invalid_file_attributes when it fails);
  // file_status is the runtime's status query (_wstat): 0 when it succeeds, otherwise its errno. file_size is
  // the size that the status query reports, -1 when it fails.
  virtual std::uint32_t file_attributes(const char* path) = 0;
  virtual int file_status(const char* path) = 0;
  virtual long long file_size(const char* path) = 0;
  // Opens a runtime stream (fopen modes); null when it cannot be opened. The caller closes it.
  virtual std::FILE* open_file(const char* path, const char* mode) = 0;
  // Deletes a file (DeleteFileW); true when it is gone, also when there was none.
  virtual bool remove_file(const char* path) = 0;
  // The absolute form of a path (GetFullPathNameW); false when there is none.
  virtual bool full_path(const char* path, std::string& out) = 0;
  // The short (8.3) form of an existing item's path (GetShortPathNameW), and the long form of a path
  // (GetLongPathNameW); false when the system has none.
  virtual bool short_path(const char* path, std::string& out) = 0;
  virtual bool long_path(const char* path, std::string& out) = 0;

  // The user. message_box shows a box and returns when the user has answered it. open_result_window shows
  // an output file to the user (the GUI opens a document window on it); false when that failed.
  virtual int message_box(window_handle owner, const char* text, const char* caption, unsigned style) = 0;
  virtual bool open_result_window(window_handle owner, const char* path) = 0;

  // The run's progress, offered every few hundred entries and during long reads of the registry: the
  // implementation may show it (throttled to what a user can read) and handle the user's input meanwhile.
  // false asks the run to stop: it ends at once and removes the outputs it wrote.
  virtual bool keep_running(const run_progress&) { return true; }

  // The system. is_wow64_process: 1 for a 32-bit process on 64-bit Windows, 0 otherwise, -1 when the system
  // has no IsWow64Process. windows_is_64bit: the system itself is 64-bit (whatever this process is).
  // windows_folder: the system's Windows folder (GetSystemWindowsDirectoryW), without a final backslash;
  // empty when it cannot be told.
  virtual os_version_info os_version() = 0;
  virtual int is_wow64_process() = 0;
  virtual bool windows_is_64bit() = 0;
  virtual std::string windows_folder() = 0;

  // Code pages: the ANSI code page of the system (reports of Regshot's ANSI builds, the REGEDIT4 scripts) and
  // the OEM one (cmd reads the batch file in it). Each returns false when a character has no exact
  // equivalent; the output then holds a substitute ("?", or U+FFFD) and must not be used to name anything.
  virtual bool utf8_from_ansi(std::string_view ansi, std::string& out) = 0;
  virtual bool ansi_from_utf8(std::string_view text, std::string& out) = 0;
  virtual bool oem_from_utf8(std::string_view text, std::string& out) = 0;
};

}  // namespace resivex
