// See harness.h.
#include "tests/gui/harness.h"

#include "shell/resource.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace resivex::gui_test {

namespace {

constexpr int message_timeout_ms = 5000;

LRESULT send(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, msg, wp, lp, SMTO_NORMAL, message_timeout_ms, &result)) {
    fail("no answer from window " + class_of(window) + " to message " + std::to_string(msg));
  }
  return static_cast<LRESULT>(result);
}

// A block of memory inside the program, for messages whose answer goes through a pointer.
class remote_memory {
 public:
  remote_memory(HANDLE process, std::size_t size)
      : process_(process),
        size_(size),
        address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {
    if (address_ == nullptr) fail("VirtualAllocEx failed");
  }
  remote_memory(const remote_memory&) = delete;
  remote_memory& operator=(const remote_memory&) = delete;
  ~remote_memory() { VirtualFreeEx(process_, address_, 0, MEM_RELEASE); }
  LPARAM address() const { return reinterpret_cast<LPARAM>(address_); }
  std::string read() const {
    std::string bytes(size_, '\0');
    SIZE_T got = 0;
    if (!ReadProcessMemory(process_, address_, bytes.data(), size_, &got) || got != size_) {
      fail("ReadProcessMemory failed");
    }
    return bytes;
  }

 private:
  HANDLE process_;
  std::size_t size_;
  void* address_;
};

probe_block* shared_block() {
  static probe_block* block = [] {
    const std::string name = std::string(probe_mapping_prefix) + std::to_string(GetCurrentProcessId());
    const HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(probe_block), name.c_str());
    if (mapping == nullptr) fail("CreateFileMapping failed");
    return static_cast<probe_block*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(probe_block)));
  }();
  return block;
}

struct window_search {
  DWORD pid;
  std::vector<HWND> found;
};

std::vector<HWND> top_level_windows(DWORD pid) {
  window_search search{pid, {}};
  EnumWindows(
      [](HWND window, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<window_search*>(lp);
        DWORD owner_pid = 0;
        GetWindowThreadProcessId(window, &owner_pid);
        if (owner_pid == s->pid) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

// --- Checks and waits -----------------------------------------------------------------------------------

void fail(const std::string& what) { throw failure{what}; }

void check(bool condition, const std::string& what) {
  if (!condition) fail(what);
}

namespace {
std::string shown(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}
}  // namespace

void check_equal(const std::string& actual, const std::string& expected, const std::string& what) {
  if (actual != expected) fail(what + ": got " + shown(actual) + ", expected " + shown(expected));
}

void check_equal(long long actual, long long expected, const std::string& what) {
  if (actual != expected) fail(what + ": got " + std::to_string(actual) + ", expected " + std::to_string(expected));
}

void wait_until(const std::string& what, const std::function<bool()>& condition, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) fail("timed out waiting for " + what);
    Sleep(15);
  }
}

// --- Text and files ------------------------------------------------------------------------------------

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
  if (length <= 0) fail("not UTF-8: " + text);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), n, out.data(), length);
  return out;
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), n, out.data(), length, nullptr, nullptr);
  return out;
}

namespace {
bool to_code_page(const std::string& text, unsigned code_page, std::string& out) {
  const std::wstring w = wide(text);
  out.clear();
  if (w.empty()) return true;
  BOOL used_default = FALSE;
  const int n = static_cast<int>(w.size());
  const int length = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, w.data(), n, nullptr, 0, nullptr, &used_default);
  out.assign(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, w.data(), n, out.data(), length, nullptr, &used_default);
  return length > 0 && !used_default;
}
}  // namespace

std::string in_code_page(const std::string& text, unsigned code_page) {
  std::string out;
  if (!to_code_page(text, code_page, out)) fail("code page " + std::to_string(code_page) + " cannot hold " + text);
  return out;
}

bool fits_code_page(const std::string& text, unsigned code_page) {
  std::string out;
  return to_code_page(text, code_page, out);
}

std::string utf16le(const std::string& text) {
  std::string bytes;
  for (const wchar_t unit : wide(text)) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::string read_file(const std::string& path) {
  const HANDLE f = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    fail("cannot read " + path + " (attributes " + std::to_string(GetFileAttributesW(wide(path).c_str())) +
         ", error " + std::to_string(GetLastError()) + ")");
  }
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(f, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(f);
  return bytes;
}

std::string file_text(const std::string& path, unsigned code_page) {
  const std::string bytes = read_file(path);
  if (bytes.rfind("\xFF\xFE", 0) == 0) {
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return utf8(text);
  }
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
  if (bytes.empty()) return bytes;
  const int n = static_cast<int>(bytes.size());
  std::wstring text(static_cast<std::size_t>(MultiByteToWideChar(code_page, 0, bytes.data(), n, nullptr, 0)), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), n, text.data(), static_cast<int>(text.size()));
  return utf8(text);
}

void write_file(const std::string& path, const std::string& bytes) {
  const HANDLE f = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
  if (f == INVALID_HANDLE_VALUE) fail("cannot write " + path + " (error " + std::to_string(GetLastError()) + ")");
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                    written == bytes.size());
  CloseHandle(f);
  if (!ok) fail("cannot write " + path);
}

bool file_exists(const std::string& path) {
  return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void make_folder(const std::string& path) {
  if (!CreateDirectoryW(wide(path).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    fail("cannot create folder " + path);
  }
}

std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(wide(folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = utf8(data.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

void remove_tree(const std::string& path) {
  const std::wstring w = wide(path);
  const DWORD attributes = GetFileAttributesW(w.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(w.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileW(w.c_str());
    return;
  }
  for (const std::string& name : folder_entries(path)) remove_tree(path + "\\" + name);
  RemoveDirectoryW(w.c_str());
}

// --- Windows --------------------------------------------------------------------------------------------

std::string window_text(HWND window) {
  const auto length = static_cast<std::size_t>(send(window, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  const auto got =
      static_cast<std::size_t>(send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(std::min(got, length));
  return utf8(text);
}

std::string class_of(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  return utf8(name);
}

RECT rect_in_parent(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// --- The program ----------------------------------------------------------------------------------------

program::program(const std::string& exe, const std::vector<std::string>& args, const std::string& folder) {
  std::string command_line = "\"" + exe + "\"";
  for (const std::string& a : args) command_line += " \"" + a + "\"";
  std::wstring wide_command_line = wide(command_line);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (!CreateProcessW(wide(exe).c_str(), wide_command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      wide(folder).c_str(), &si, &info_)) {
    fail("cannot start " + command_line + " (error " + std::to_string(GetLastError()) + ")");
  }
}

program::~program() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  if (running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, default_wait_ms);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool program::running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

int program::wait_exit(int timeout_ms) {
  wait_until(
      "the program to end", [&] { return !running(); }, timeout_ms);
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return static_cast<int>(code);
}

HWND program::frame() {
  if (frame_ != nullptr && IsWindow(frame_)) return frame_;
  wait_until("the frame window", [&] {
    for (const HWND w : top_level_windows(pid())) {
      if (class_of(w) == "MyMDIWindow" && IsWindowVisible(w)) frame_ = w;
    }
    return frame_ != nullptr;
  });
  return frame_;
}

HWND program::client() { return GetDlgItem(frame(), IDC_MDI_CLIENT); }
HWND program::status() { return GetDlgItem(frame(), IDC_STATUS_BAR); }
HWND program::toolbar() { return GetDlgItem(frame(), IDC_TOOLBAR); }

std::vector<HWND> program::documents() {
  std::vector<HWND> found;
  for (HWND w = GetWindow(client(), GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (class_of(w) == "MyMDIChild") found.push_back(w);
  }
  return found;
}

HWND program::document(const std::string& title) {
  HWND found = nullptr;
  wait_until("a document window titled " + title, [&] {
    for (const HWND w : documents()) {
      if (window_text(w) == title) found = w;
    }
    return found != nullptr;
  });
  return found;
}

HWND program::active_document() { return reinterpret_cast<HWND>(send(client(), WM_MDIGETACTIVE, 0, 0)); }

HWND program::edit_of(HWND document) {
  const HWND edit = GetDlgItem(document, IDC_DOCUMENT_EDIT);
  check(edit != nullptr && class_of(edit) == "Edit", "the document window has its edit control, id 2000");
  return edit;
}

void program::activate(HWND document) {
  send(client(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(document), 0);
  wait_until("the document to become active", [&] { return active_document() == document; });
}

void program::close(HWND document) { PostMessageW(document, WM_SYSCOMMAND, SC_CLOSE, 0); }

void program::command(unsigned id) { PostMessageW(frame(), WM_COMMAND, id, 0); }

void program::type(HWND edit, const std::string& text) {
  const std::string before = window_text(edit);
  // The caret goes to the end, counted in UTF-16 units as the edit control counts.
  const std::size_t end = wide(before).size();
  send(edit, EM_SETSEL, end, end);
  std::string expected = before;
  for (const wchar_t unit : wide(text)) PostMessageW(edit, WM_CHAR, unit, 1);
  for (const char c : text) expected += c == '\r' ? std::string("\r\n") : std::string(1, c);
  wait_until("the typed text to show", [&] { return window_text(edit) == expected; });
}

std::vector<dialog> program::dialogs() {
  std::vector<dialog> found;
  for (const HWND w : top_level_windows(pid())) {
    if (class_of(w) != "#32770" || !IsWindowVisible(w)) continue;
    dialog d;
    d.window = w;
    d.caption = window_text(w);
    if (const HWND text = GetDlgItem(w, 0xFFFF)) d.text = window_text(text);
    d.owner = GetWindow(w, GW_OWNER);
    found.push_back(d);
  }
  return found;
}

dialog program::wait_dialog(const std::string& caption) {
  dialog found;
  wait_until("a dialog captioned " + caption, [&] {
    for (const dialog& d : dialogs()) {
      if (d.caption == caption) found = d;
    }
    return found.window != nullptr;
  });
  return found;
}

void program::wait_no_dialog(HWND window) {
  wait_until("the dialog to close", [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

void program::press(const dialog& d, int button_id) {
  PostMessageW(d.window, WM_COMMAND, MAKEWPARAM(button_id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(d.window, button_id)));
  wait_no_dialog(d.window);
}

std::vector<dialog> program::dialogs_after_pending_commands() {
  std::vector<HWND> before;
  for (const dialog& d : dialogs()) before.push_back(d.window);
  command(IDM_HELP_ABOUT);
  dialog about;
  wait_until("the About box", [&] {
    for (const dialog& d : dialogs()) {
      if (d.caption == "About..." && std::find(before.begin(), before.end(), d.window) == before.end()) about = d;
    }
    return about.window != nullptr;
  });
  std::vector<dialog> others;
  for (const dialog& d : dialogs()) {
    if (d.window != about.window) others.push_back(d);
  }
  press(about, IDOK);
  return others;
}

namespace {
// The first window of a class among the descendants of parent.
HWND descendant(HWND parent, const char* class_name) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (class_of(child) == class_name) return child;
    if (const HWND found = descendant(child, class_name)) return found;
  }
  return nullptr;
}
}  // namespace

void program::choose_file(const dialog& d, const std::string& path) {
  // The file name box: edt1 in the old style, the edit control inside cmb13 in the Explorer style.
  HWND name = GetDlgItem(d.window, 0x480);
  if (name == nullptr) {
    const HWND combo = GetDlgItem(d.window, 0x47C);
    name = combo != nullptr ? descendant(combo, "Edit") : nullptr;
  }
  check(name != nullptr, "the file dialog has a file name box");
  const std::wstring wide_path = wide(path);
  send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide_path.c_str()));
  press(d, IDOK);
}

std::string program::status_text(int part) {
  const auto length = LOWORD(send(status(), SB_GETTEXTLENGTHW, part, 0));
  remote_memory buffer(process(), (length + 1u) * sizeof(wchar_t));
  send(status(), SB_GETTEXTW, part, buffer.address());
  const std::string bytes = buffer.read();
  std::wstring text(length, L'\0');
  std::memcpy(text.data(), bytes.data(), length * sizeof(wchar_t));
  return utf8(text);
}

std::vector<int> program::status_parts() {
  const auto count = static_cast<int>(send(status(), SB_GETPARTS, 0, 0));
  remote_memory buffer(process(), sizeof(int) * static_cast<std::size_t>(count));
  send(status(), SB_GETPARTS, count, buffer.address());
  const std::string bytes = buffer.read();
  std::vector<int> parts(static_cast<std::size_t>(count));
  std::memcpy(parts.data(), bytes.data(), bytes.size());
  return parts;
}

std::vector<program::button> program::toolbar_buttons() {
  const auto count = static_cast<int>(send(toolbar(), TB_BUTTONCOUNT, 0, 0));
  std::vector<button> buttons;
  for (int i = 0; i < count; ++i) {
    remote_memory buffer(process(), sizeof(TBBUTTON));
    send(toolbar(), TB_GETBUTTON, i, buffer.address());
    TBBUTTON b{};
    std::memcpy(&b, buffer.read().data(), sizeof b);
    buttons.push_back({b.iBitmap, b.idCommand, (b.fsState & TBSTATE_ENABLED) != 0, (b.fsStyle & TBSTYLE_SEP) != 0});
  }
  return buttons;
}

std::string program::probe(probe_request request, const std::string& argument) {
  if (hook_ == nullptr) {
    const HMODULE module = LoadLibraryW(wide(probe_dll_path).c_str());
    check(module != nullptr, "gui_probe.dll loads");
    const auto proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, probe_hook_name)));
    check(proc != nullptr, "gui_probe.dll has its hook");
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, proc, module, GetWindowThreadProcessId(frame(), nullptr));
    check(hook_ != nullptr, "the probe is set on the program's thread");
  }
  probe_block* block = shared_block();
  block->answered = 0;
  check(argument.size() < sizeof block->argument, "the probe's argument fits its block");
  std::snprintf(block->argument, sizeof block->argument, "%s", argument.c_str());
  block->answer[0] = '\0';
  static const UINT message = RegisterWindowMessageA(probe_message_name);
  send(frame(), message, request, static_cast<LPARAM>(GetCurrentProcessId()));
  check(block->answered == 1, "the probe inside the program answered");
  return block->answer;
}

held_file::held_file(const std::string& path, DWORD access, DWORD share)
    : handle_(CreateFileW(wide(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
  if (handle_ == INVALID_HANDLE_VALUE)
    fail("cannot hold " + path + " open (error " + std::to_string(GetLastError()) + ")");
}

held_file::~held_file() { CloseHandle(handle_); }

// --- Context --------------------------------------------------------------------------------------------

std::string context::install(bool with_help, const std::string& folder_name) const {
  const std::string folder = work + "\\" + folder_name;
  make_folder(folder);
  const std::string exe = folder + "\\resivex.exe";
  check(CopyFileW(wide(program_source).c_str(), wide(exe).c_str(), FALSE) != 0, "resivex.exe copied to " + folder);
  if (with_help) {
    check(CopyFileW(wide(help_source).c_str(), wide(folder + "\\RESIVEX.TXT").c_str(), FALSE) != 0,
          "RESIVEX.TXT copied");
  }
  return exe;
}

std::string probe_dll_path;

std::vector<test_case>& all_cases() {
  static std::vector<test_case> cases;
  return cases;
}

}  // namespace resivex::gui_test
