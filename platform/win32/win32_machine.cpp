// See win32_machine.h.
#include "platform/win32/win32_machine.h"

#include "conversion/command_line.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace resivex {

// The core's portable constants must be the system's own.
static_assert(win::error_file_not_found == ERROR_FILE_NOT_FOUND);
static_assert(win::error_access_denied == ERROR_ACCESS_DENIED);
static_assert(win::error_invalid_handle == ERROR_INVALID_HANDLE);
static_assert(win::error_more_data == ERROR_MORE_DATA);
static_assert(win::error_no_more_items == ERROR_NO_MORE_ITEMS);
static_assert(win::error_no_unicode_translation == ERROR_NO_UNICODE_TRANSLATION);
static_assert(win::error_no_system_resources == ERROR_NO_SYSTEM_RESOURCES);
static_assert(win::reg_sz == REG_SZ && win::reg_expand_sz == REG_EXPAND_SZ && win::reg_binary == REG_BINARY);
static_assert(win::reg_dword == REG_DWORD && win::reg_dword_big_endian == REG_DWORD_BIG_ENDIAN);
static_assert(win::reg_multi_sz == REG_MULTI_SZ && win::reg_qword == REG_QWORD && win::reg_none == REG_NONE);
static_assert(win::key_read == KEY_READ && win::key_wow64_64key == KEY_WOW64_64KEY);
static_assert(win::key_wow64_32key == KEY_WOW64_32KEY);
static_assert(win::mb_ok == MB_OK && win::mb_iconerror == MB_ICONERROR && win::mb_iconwarning == MB_ICONWARNING);
static_assert(win::invalid_file_attributes == INVALID_FILE_ATTRIBUTES);
static_assert(win::file_attribute_directory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(win::ver_platform_win32_nt == VER_PLATFORM_WIN32_NT);
static_assert(sizeof(win::reg_key) == sizeof(HKEY));

namespace {

HKEY as_hkey(win::reg_key key) { return reinterpret_cast<HKEY>(key); }

// Converts UTF-16 to a code page; false when a character has no exact equivalent there (no best-fit
// look-alikes: they would name other files). The output then holds the code page's substitute.
bool narrow(UINT code_page, const wchar_t* text, int length, std::string& out) {
  out.clear();
  if (length == 0) return true;
  const bool utf8 = code_page == CP_UTF8 || (code_page == CP_ACP && GetACP() == CP_UTF8) ||
                    (code_page == CP_OEMCP && GetOEMCP() == CP_UTF8);
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used = utf8 ? nullptr : &used_default;
  const int size = WideCharToMultiByte(code_page, flags, text, length, nullptr, 0, nullptr, used);
  if (size <= 0) return false;
  out.resize(static_cast<std::size_t>(size));
  WideCharToMultiByte(code_page, flags, text, length, out.data(), size, nullptr, used);
  return used_default == FALSE;
}

// The UTF-16 of a code page's text; false when its bytes are not a text of that code page.
bool widen(UINT code_page, std::string_view text, std::wstring& out) {
  out.clear();
  if (text.empty()) return true;
  if (text.size() > 0x3FFFFFFF) return false;
  const int n = static_cast<int>(text.size());
  const int wide_len = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
  if (wide_len <= 0) {
    // Shown at least, with the code page's substitutes.
    const int loose = MultiByteToWideChar(code_page, 0, text.data(), n, nullptr, 0);
    out.resize(static_cast<std::size_t>(loose > 0 ? loose : 0));
    if (loose > 0) MultiByteToWideChar(code_page, 0, text.data(), n, out.data(), loose);
    return false;
  }
  out.resize(static_cast<std::size_t>(wide_len));
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), n, out.data(), wide_len);
  return true;
}

// The wide form of a path for the file functions: beyond MAX_PATH an absolute path is taken in its long form
// ("\\?\C:\...", "\\?\UNC\server\share\..."), which turns off the system's parsing of the name, so a
// relative path or one with "." or ".." components keeps its short form (and the system's limit).
std::wstring file_path(const char* path) {
  std::wstring wide = wide_from_utf8(path);
  if (wide.size() < MAX_PATH || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const bool drive = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\';
  const bool unc = wide.rfind(L"\\\\", 0) == 0;
  if (!drive && !unc) return wide;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'/') return wide;
    if (wide[i] == L'.' && (i == 0 || wide[i - 1] == L'\\') &&
        (i + 1 == wide.size() || wide[i + 1] == L'\\' || (wide[i + 1] == L'.' && (i + 2 == wide.size() || wide[i + 2] == L'\\')))) {
      return wide;
    }
  }
  return drive ? L"\\\\?\\" + wide : L"\\\\?\\UNC\\" + wide.substr(2);
}

// The text of a path the system returned, without the long-form prefix this program may have added.
std::string path_text(std::wstring_view wide) {
  if (wide.rfind(L"\\\\?\\UNC\\", 0) == 0) return "\\\\" + utf8_from_wide(wide.substr(8));
  if (wide.rfind(L"\\\\?\\", 0) == 0 && wide.size() >= 6 && wide[5] == L':') return utf8_from_wide(wide.substr(4));
  return utf8_from_wide(wide);
}

// A system call that fills a buffer of wide characters and returns the length, or the room it needs when the
// buffer is too small; 0 when it fails.
template <class Call>
bool fill_wide(Call call, std::wstring& out) {
  std::wstring buf(MAX_PATH + 1, L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD n = call(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return false;
    if (n < buf.size()) {
      buf.resize(n);
      out = std::move(buf);
      return true;
    }
    buf.assign(n + 1, L'\0');
  }
  return false;
}

}  // namespace

long win32_machine::reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access, win::reg_key* key) {
  HKEY opened = nullptr;
  const LONG status = RegOpenKeyExW(as_hkey(root), wide_from_utf8(sub_key).c_str(), 0, access, &opened);
  if (status == ERROR_SUCCESS) *key = reinterpret_cast<win::reg_key>(opened);
  return status;
}

long win32_machine::reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                                    std::uint32_t* data_len) {
  DWORD t = 0;
  DWORD len = *data_len;
  const LONG status = RegQueryValueExW(as_hkey(key), wide_from_utf8(name).c_str(), nullptr, &t, data, &len);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) *data_len = len;
  if (status == ERROR_SUCCESS) *type = t;
  return status;
}

long win32_machine::reg_query_info_key(win::reg_key key, reg_key_info* info) {
  DWORD sub_keys = 0, max_sub_key = 0, max_class = 0, values = 0, max_name = 0, max_data = 0, security = 0;
  FILETIME written{};
  const LONG status = RegQueryInfoKeyW(as_hkey(key), nullptr, nullptr, nullptr, &sub_keys, &max_sub_key,
                                       &max_class, &values, &max_name, &max_data, &security, &written);
  if (status == ERROR_SUCCESS) {
    info->values = values;
    info->max_value_name_len = max_name;
    info->max_value_data_len = max_data;
    info->sub_keys = sub_keys;
    info->last_write = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  }
  return status;
}

long win32_machine::reg_enum_key(win::reg_key key, std::uint32_t index, std::string& name) {
  // Room for the longest name a key can have (255 characters).
  wchar_t buffer[256];
  DWORD length = 256;
  const LONG status = RegEnumKeyExW(as_hkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return status;
  return exact_utf8_from_wide(std::wstring_view(buffer, length), name) ? ERROR_SUCCESS : ERROR_NO_UNICODE_TRANSLATION;
}

long win32_machine::reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* data_len) {
  // Room for the longest name a value can have (16,383 characters), kept between calls.
  name_buffer_.resize(16384);
  DWORD nlen = static_cast<DWORD>(name_buffer_.size());
  DWORD dlen = *data_len;
  DWORD t = 0;
  // data may be null: the size of the value's data is then told alone.
  const LONG status = RegEnumValueW(as_hkey(key), index, name_buffer_.data(), &nlen, nullptr, &t, data, &dlen);
  if (status == ERROR_SUCCESS) {
    if (!exact_utf8_from_wide(std::wstring_view(name_buffer_.data(), nlen), name)) return ERROR_NO_UNICODE_TRANSLATION;
    *data_len = dlen;
    *type = t;
  } else if (status == ERROR_MORE_DATA && data != nullptr) {
    *data_len = dlen;  // the room the data needs
  }
  return status;
}

void win32_machine::reg_close_key(win::reg_key key) { RegCloseKey(as_hkey(key)); }

long win32_machine::reg_key_name(win::reg_key key, std::string& out) {
  // NtQueryKey is not in the import libraries of every toolchain: looked up in ntdll, as the system's own
  // tools do.
  using nt_query_key_fn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  using status_to_error_fn = ULONG(WINAPI*)(LONG);
  static const auto query = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<nt_query_key_fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryKey")))
                 : nullptr;
  }();
  static const auto to_error = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<status_to_error_fn>(
                       reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")))
                 : nullptr;
  }();
  if (query == nullptr) return ERROR_PROC_NOT_FOUND;
  constexpr int key_name_information = 3;
  constexpr LONG buffer_too_small = static_cast<LONG>(0xC0000023L);
  constexpr LONG buffer_overflow = static_cast<LONG>(0x80000005L);
  // KEY_NAME_INFORMATION: the length in bytes, then the name in UTF-16 (not terminated); kept aligned as the
  // system wants it.
  std::vector<ULONG> buffer(128);
  for (;;) {
    ULONG needed = 0;
    const auto room = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
    const LONG status = query(as_hkey(key), key_name_information, buffer.data(), room, &needed);
    if ((status == buffer_too_small || status == buffer_overflow) && needed > room) {
      buffer.assign(needed / sizeof(ULONG) + 1, 0);
      continue;
    }
    if (status < 0) return to_error != nullptr ? static_cast<long>(to_error(status)) : ERROR_GEN_FAILURE;
    break;
  }
  const ULONG bytes = buffer[0];
  if (bytes > (buffer.size() - 1) * sizeof(ULONG)) return ERROR_GEN_FAILURE;
  const auto* name = reinterpret_cast<const wchar_t*>(buffer.data() + 1);
  out = utf8_from_wide(std::wstring_view(name, bytes / sizeof(wchar_t)));
  return ERROR_SUCCESS;
}

std::string win32_machine::error_text(long code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_FROM_SYSTEM,
                                 nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 500, nullptr);
  std::string result = n > 0 && text != nullptr ? utf8_from_wide(std::wstring_view(text, n)) : std::string();
  if (text != nullptr) LocalFree(text);
  return result;
}

namespace {

// True when the runtime's status query is Wine's own msvcrt. Its _wstat64 refuses a bare drive ("X:") and a
// path that ends in a slash (trailing blanks not counted), and otherwise asks GetFileAttributesEx for the
// same path: for a path that GetFileAttributesW has just found, its answer follows from the text alone, and
// a second look-up (as dear as the first under Wine) tells nothing new.
bool status_query_is_wines() {
  static const bool wines = [] {
    const HMODULE crt = GetModuleHandleW(L"msvcrt.dll");
    if (crt == nullptr) return false;
    // Wine marks its own DLLs with this text right after the DOS header.
    static constexpr char signature[] = "Wine builtin DLL";
    return std::memcmp(reinterpret_cast<const char*>(crt) + sizeof(IMAGE_DOS_HEADER), signature,
                       sizeof signature - 1) == 0;
  }();
  return wines;
}

// True when a component could be read as a device (CON, NUL, COM1, LPT1.txt, AUX, CONIN$ and the like):
// GetFileAttributesW finds those where the status query does not, so such paths always go to the runtime.
// The test is wider than Windows' own list (any three letters of a device name not followed by a letter).
bool may_name_a_device(const char* path) {
  auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); };
  auto starts = [&](const char* name, const char* word) {
    for (; *word != '\0'; ++name, ++word) {
      if (lower(*name) != *word) return false;
    }
    return true;
  };
  for (const char* name = path;;) {
    for (const char* device : {"con", "prn", "aux", "nul", "com", "lpt"}) {
      if (starts(name, device)) {
        const char next = lower(name[3]);
        if (!(next >= 'a' && next <= 'z')) return true;
      }
    }
    if (starts(name, "conin$") || starts(name, "conout$") || starts(name, "clock$")) return true;
    while (*name != '\0' && *name != '\\' && *name != '/' && *name != ':') ++name;
    if (*name == '\0') return false;
    ++name;
  }
}

// What Wine's _wstat64 answers for a path whose attributes were just found and that names no device.
int wine_status_of_found_path(const char* path) {
  std::size_t n = std::strlen(path);
  while (n > 0 && path[n - 1] == ' ') --n;
  if (n == 2 && path[1] == ':') return ENOENT;
  if (n >= 2 && path[n - 2] != ':' && (path[n - 1] == '\\' || path[n - 1] == '/')) return ENOENT;
  return 0;
}

}  // namespace

std::uint32_t win32_machine::file_attributes(const char* path) {
  const DWORD attributes = GetFileAttributesW(file_path(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) last_found_path_.assign(path);
  else last_found_path_.clear();
  return attributes;
}

int win32_machine::file_status(const char* path) {
  const std::wstring wide = file_path(path);
  const bool found_just_now = !last_found_path_.empty() && last_found_path_ == path;
  // The runtime's status query takes no long form: a long path found by its attributes is there.
  if (found_just_now && wide.rfind(L"\\\\?\\", 0) == 0) return 0;
  if (found_just_now && status_query_is_wines() && !may_name_a_device(path)) return wine_status_of_found_path(path);
  struct _stat64 st {};
  return _wstat64(wide.c_str(), &st) == 0 ? 0 : errno;
}

long long win32_machine::file_size(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(file_path(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::FILE* win32_machine::open_file(const char* path, const char* mode) {
  return _wfopen(file_path(path).c_str(), wide_from_utf8(mode).c_str());
}

bool win32_machine::remove_file(const char* path) {
  if (DeleteFileW(file_path(path).c_str())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool win32_machine::full_path(const char* path, std::string& out) {
  const std::wstring wide = wide_from_utf8(path);
  std::wstring full;
  if (!fill_wide([&](wchar_t* buf, DWORD size) { return GetFullPathNameW(wide.c_str(), size, buf, nullptr); }, full)) {
    return false;
  }
  out = path_text(full);
  return true;
}

bool win32_machine::short_path(const char* path, std::string& out) {
  const std::wstring wide = file_path(path);
  std::wstring result;
  if (!fill_wide([&](wchar_t* buf, DWORD size) { return GetShortPathNameW(wide.c_str(), buf, size); }, result)) {
    return false;
  }
  out = path_text(result);
  return true;
}

bool win32_machine::long_path(const char* path, std::string& out) {
  const std::wstring wide = file_path(path);
  std::wstring result;
  if (!fill_wide([&](wchar_t* buf, DWORD size) { return GetLongPathNameW(wide.c_str(), buf, size); }, result)) {
    return false;
  }
  out = path_text(result);
  return true;
}

int win32_machine::message_box(window_handle owner, const char* text, const char* caption, unsigned style) {
  // user32 is looked up when a box is due: the console companion, which prints its messages, then never
  // loads it (under Wine it brings several megabytes of the window system along).
  using message_box_fn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
  static const auto show = [] {
    const HMODULE user32 = LoadLibraryW(L"user32.dll");
    return user32 ? reinterpret_cast<message_box_fn>(reinterpret_cast<void*>(GetProcAddress(user32, "MessageBoxW")))
                  : nullptr;
  }();
  if (show == nullptr) return 0;
  return show(static_cast<HWND>(owner), wide_from_utf8(text).c_str(), wide_from_utf8(caption).c_str(), style);
}

os_version_info win32_machine::os_version() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info)) return {};
#pragma GCC diagnostic pop
  return {info.dwPlatformId, info.dwMajorVersion};
}

int win32_machine::is_wow64_process() {
  using is_wow64_fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const HMODULE kernel = GetModuleHandleW(L"kernel32");
  const auto fn = kernel ? reinterpret_cast<is_wow64_fn>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                         : nullptr;
  if (fn == nullptr) return -1;
  BOOL wow64 = FALSE;
  if (!fn(GetCurrentProcess(), &wow64)) return 0;
  return wow64 == TRUE ? 1 : 0;
}

bool win32_machine::windows_is_64bit() { return sizeof(void*) == 8 || is_wow64_process() == 1; }

std::string win32_machine::windows_folder() {
  // The system's own folder, not a user's private Windows folder of a terminal server.
  std::wstring folder;
  if (!fill_wide([](wchar_t* buf, DWORD size) { return GetSystemWindowsDirectoryW(buf, size); }, folder)) return {};
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return utf8_from_wide(folder);
}

bool win32_machine::utf8_from_ansi(std::string_view ansi, std::string& out) {
  std::wstring wide;
  const bool exact = widen(CP_ACP, ansi, wide);
  out = utf8_from_wide(wide);
  return exact;
}

bool win32_machine::ansi_from_utf8(std::string_view text, std::string& out) {
  std::u16string wide;
  const bool whole = utf16_from_utf8(text, wide);
  return narrow(CP_ACP, reinterpret_cast<const wchar_t*>(wide.data()), static_cast<int>(wide.size()), out) && whole;
}

bool win32_machine::oem_from_utf8(std::string_view text, std::string& out) {
  std::u16string wide;
  const bool whole = utf16_from_utf8(text, wide);
  return narrow(CP_OEMCP, reinterpret_cast<const wchar_t*>(wide.data()), static_cast<int>(wide.size()), out) && whole;
}

std::vector<std::string> command_line_arguments() {
  const std::wstring_view line = GetCommandLineW();
  std::vector<std::string> arguments;
  for (const std::u16string& a : split_command_line(std::u16string_view(reinterpret_cast<const char16_t*>(line.data()),
                                                                         line.size()))) {
    std::string text;
    utf8_from_utf16(a, text);
    arguments.push_back(std::move(text));
  }
  // The program's own path rather than its name as typed: started through PATH, it is known by its bare name,
  // and its folder (where its help and its exclusion list lie) would be taken for the current one.
  // GetModuleFileNameW fills the whole buffer when the path does not fit.
  for (std::wstring module(MAX_PATH + 1, L'\0'); module.size() <= 32768 + 1; module.assign(module.size() * 2, L'\0')) {
    const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (n == 0) break;
    if (n < module.size()) {
      module.resize(n);
      arguments[0] = path_text(module);
      break;
    }
  }
  return arguments;
}

bool recode_text(std::string_view text, unsigned from_code_page, unsigned to_code_page, std::string& out) {
  out.clear();
  std::wstring wide;
  if (!widen(from_code_page, text, wide)) return false;
  return narrow(to_code_page, wide.data(), static_cast<int>(wide.size()), out);
}

}  // namespace resivex
