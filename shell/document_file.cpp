// See document_file.h.
#include "shell/document_file.h"

#include "platform/win32/win32_machine.h"
#include "shell/safe_save.h"

#include <memory>
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

// The save steps on Win32: GetTempFileNameA in the target's folder, one WriteFile, MoveFileExA.
class win32_save_steps : public save_steps {
 public:
  bool create_temp(const std::string& folder, std::string& temp_path) override {
    char name[MAX_PATH];
    if (GetTempFileNameA(folder.c_str(), "rsx", 0, name) == 0) return false;
    temp_path = name;
    return true;
  }
  bool write_all(const std::string& path, std::string_view data) override {
    file_handle f(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  void remove(const std::string& path) override { DeleteFileA(path.c_str()); }
};

// cmd reads a batch file in the OEM code page, and the conversion writes it so. Shown as it stands in the
// (ANSI) edit control, its accented letters would read as other characters where the user reviews the
// paths; so a batch file is shown in the ANSI code page when the text comes back to the same bytes, and saved
// back to OEM. The edit control's user data says which way its text was loaded.
constexpr LONG_PTR shown_from_oem = 1;

bool is_batch_name(std::string_view path) {
  if (path.size() < 4) return false;
  std::string ext(path.substr(path.size() - 4));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == ".bat" || ext == ".cmd";
}

bool has_non_ascii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

}  // namespace

bool load_text_file(HWND edit, const char* path) {
  file_handle f(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (f.h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  // One read of the whole file: keep to what one ReadFile and the edit control can take.
  if (!GetFileSizeEx(f.h, &size) || size.QuadPart >= 0x7FFFFFFF) return false;
  const DWORD length = static_cast<DWORD>(size.QuadPart);
  std::unique_ptr<char[]> text(new (std::nothrow) char[length + 1]());
  if (!text) return false;
  DWORD read = 0;
  if (!ReadFile(f.h, text.get(), length, &read, nullptr)) return false;
  text[read] = '\0';
  const std::string_view raw(text.get(), read);
  std::string shown, back;
  const bool from_oem = is_batch_name(path) && has_non_ascii(raw) && recode_text(raw, CP_OEMCP, CP_ACP, shown) &&
                        recode_text(shown, CP_ACP, CP_OEMCP, back) && back == raw && shown.find('\0') == std::string::npos;
  if (!SetWindowTextA(edit, from_oem ? shown.c_str() : text.get())) return false;
  SetWindowLongPtrA(edit, GWLP_USERDATA, from_oem ? shown_from_oem : 0);
  SendMessageA(edit, EM_SETMODIFY, FALSE, 0);
  return true;
}

bool save_text_file(HWND edit, const char* path) {
  const int length = GetWindowTextLengthA(edit);
  std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]());
  if (!text) return false;
  // The length may overstate the text (multi-byte code pages); what was fetched is the text.
  const int fetched = length > 0 ? GetWindowTextA(edit, text.get(), length + 1) : 0;
  if (length > 0 && fetched <= 0) return false;
  std::string_view data(text.get(), static_cast<std::size_t>(fetched));
  std::string oem;
  if (GetWindowLongPtrA(edit, GWLP_USERDATA) == shown_from_oem) {
    // A character typed that the OEM code page lacks would come out as another ("?" is a wildcard for DEL):
    // not saved.
    if (!recode_text(data, CP_ACP, CP_OEMCP, oem)) return false;
    data = oem;
  }
  win32_save_steps steps;
  if (!save_replacing(steps, path, data)) return false;
  SendMessageA(edit, EM_SETMODIFY, FALSE, 0);
  return true;
}

}  // namespace resivex::shell
