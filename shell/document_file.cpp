// See document_file.h.
#include "shell/document_file.h"

#include "platform/win32/wide_text.h"
#include "shell/app.h"
#include "shell/document_encoding.h"
#include "shell/document_rules.h"
#include "shell/safe_save.h"

#include <climits>
#include <new>
#include <string>
#include <string_view>

namespace resivex::shell {

namespace {

// Closes a file handle when it goes out of scope.
struct file_handle {
  HANDLE h;
  explicit file_handle(HANDLE handle) : h(handle) {}
  file_handle(const file_handle&) = delete;
  file_handle& operator=(const file_handle&) = delete;
  ~file_handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

const wchar_t* wide_data(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }

// The machine's code pages. A system whose ANSI or OEM code page is UTF-8 takes no default character: there
// the strict flags tell a text that does not convert.
class win32_code_pages : public code_pages {
 public:
  bool decode(page p, std::string_view bytes, std::u16string& text) override {
    text.clear();
    if (bytes.empty()) return true;
    if (bytes.size() > INT_MAX / 2) return false;
    const UINT cp = id(p);
    const int n = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n, nullptr, 0);
    if (length <= 0) return false;
    text.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), n, reinterpret_cast<wchar_t*>(text.data()),
                               length) == length;
  }
  bool encode(page p, std::u16string_view text, std::string& bytes) override {
    bytes.clear();
    if (text.empty()) return true;
    if (text.size() > INT_MAX / 4) return false;
    const UINT cp = id(p);
    const bool utf8 = (p == page::oem ? GetOEMCP() : GetACP()) == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL* used = utf8 ? nullptr : &used_default;
    const int n = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(cp, flags, wide_data(text), n, nullptr, 0, nullptr, used);
    if (size <= 0 || used_default) return false;
    bytes.resize(static_cast<std::size_t>(size));
    return WideCharToMultiByte(cp, flags, wide_data(text), n, bytes.data(), size, nullptr, used) == size &&
           !used_default;
  }

 private:
  static UINT id(page p) { return p == page::oem ? CP_OEMCP : CP_ACP; }
};

// The save steps on Win32, each on the extended form of paths beyond MAX_PATH.
class win32_save_steps : public save_steps {
 public:
  bool create_temp(const std::string& folder, std::string& temp_path) override {
    const std::wstring where = file_api_wide(folder);
    // GetTempFileNameW takes a folder of at most MAX_PATH - 14 characters; a deeper one gets its name here,
    // in the same pattern.
    if (where.size() < MAX_PATH - 14) {
      wchar_t name[MAX_PATH];
      if (GetTempFileNameW(where.c_str(), L"rsx", 0, name) == 0) return false;
      temp_path = utf8_from_wide(name);
      return true;
    }
    const std::wstring base = where.back() == L'\\' ? where : where + L'\\';
    const unsigned start = GetTickCount() ^ GetCurrentProcessId();
    for (unsigned i = 0; i < 0x10000; ++i) {
      wchar_t name[16];
      wsprintfW(name, L"rsx%X.tmp", (start + i) & 0xFFFF);
      const std::wstring candidate = base + name;
      const HANDLE h = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        temp_path = utf8_from_wide(candidate);
        return true;
      }
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
  }
  bool write_all(const std::string& path, std::string_view data) override {
    file_handle f(CreateFileW(file_api_wide(path).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f.h == INVALID_HANDLE_VALUE) return false;
    while (!data.empty()) {
      const DWORD chunk = data.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(data.size());
      DWORD written = 0;
      if (!WriteFile(f.h, data.data(), chunk, &written, nullptr) || written == 0) return false;
      data.remove_prefix(written);
    }
    // The old file goes away with the rename: the new one must be on the disk first.
    return FlushFileBuffers(f.h) != 0;
  }
  bool replace(const std::string& from, const std::string& to) override {
    return MoveFileExW(file_api_wide(from).c_str(), file_api_wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  void remove(const std::string& path) override { DeleteFileW(file_api_wide(path).c_str()); }
};

// The edit control's user data: 0 while its text has no file encoding yet, else the encoding plus one.
file_encoding stored_encoding(HWND edit, std::string_view path) {
  const LONG_PTR stored = GetWindowLongPtrW(edit, GWLP_USERDATA);
  return stored == 0 ? encoding_for_new_file(path) : static_cast<file_encoding>(stored - 1);
}

void store_encoding(HWND edit, file_encoding encoding) {
  SetWindowLongPtrW(edit, GWLP_USERDATA, static_cast<LONG_PTR>(encoding) + 1);
}

bool load(HWND edit, const char* path) {
  file_handle f(CreateFileW(file_api_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr));
  if (f.h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  // One read of the whole file: keep to what one ReadFile and the edit control can take.
  if (!GetFileSizeEx(f.h, &size) || size.QuadPart >= 0x7FFFFFFF) return false;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!ReadFile(f.h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return false;
  bytes.resize(read);
  win32_code_pages pages;
  const std::optional<loaded_text> loaded = decode_document(path, bytes, pages);
  if (!loaded) return false;
  const std::wstring text(wide_data(loaded->text), loaded->text.size());
  if (!SetWindowTextW(edit, text.c_str())) return false;
  store_encoding(edit, loaded->encoding);
  SendMessageW(edit, EM_SETMODIFY, FALSE, 0);
  return true;
}

bool save(HWND edit, const char* path) {
  const int length = GetWindowTextLengthW(edit);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int fetched = length > 0 ? GetWindowTextW(edit, text.data(), length + 1) : 0;
  if (length > 0 && fetched <= 0) return false;
  text.resize(static_cast<std::size_t>(fetched));
  const file_encoding encoding = stored_encoding(edit, path);
  win32_code_pages pages;
  std::string bytes;
  // A character that the file's code page lacks would come out as another ("?" is a wildcard for DEL): not
  // saved.
  if (!encode_document(encoding, std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()),
                       pages, bytes)) {
    return false;
  }
  win32_save_steps steps;
  if (!save_replacing(steps, path, bytes)) return false;
  store_encoding(edit, encoding);
  SendMessageW(edit, EM_SETMODIFY, FALSE, 0);
  return true;
}

}  // namespace

// A file too big for memory fails to load or save like any other; the run that asked goes on.
bool load_text_file(HWND edit, const char* path) {
  try {
    return load(edit, path);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool save_text_file(HWND edit, const char* path) {
  try {
    return save(edit, path);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace resivex::shell
