// The GUI test driver's harness: starts resivex.exe, finds its windows, reads what a user would see (titles,
// edit contents, status-bar parts, toolbar buttons, menus through the probe) and acts as a user would
// (menu commands, typing, message boxes, file dialogs, drops). Every wait polls with a deadline. Every text
// here is UTF-8, read from and handed to the program through the wide (W) functions and messages, so that a
// name in any script is seen as the user sees it.
#pragma once

#include "tests/gui/probe_protocol.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace resivex::gui_test {

// A failed check: ends the case with this text.
struct failure {
  std::string what;
};

[[noreturn]] void fail(const std::string& what);
void check(bool condition, const std::string& what);
void check_equal(const std::string& actual, const std::string& expected, const std::string& what);
void check_equal(long long actual, long long expected, const std::string& what);

inline constexpr int default_wait_ms = 15000;

// Polls condition until it holds or the deadline passes (then the case fails, naming what it waited for).
void wait_until(const std::string& what, const std::function<bool()>& condition, int timeout_ms = default_wait_ms);

// UTF-8 and the UTF-16 of the Windows API, by the system's own conversion (not the program's).
std::wstring wide(const std::string& text);
std::string utf8(const std::wstring& text);
// The bytes of a UTF-8 text in a code page (CP_OEMCP, CP_ACP); the case fails when a character has no exact
// form there.
std::string in_code_page(const std::string& text, unsigned code_page);
// Whether a code page holds every character of a UTF-8 text exactly.
bool fits_code_page(const std::string& text, unsigned code_page);
// The bytes of a UTF-8 text as UTF-16LE, with no mark.
std::string utf16le(const std::string& text);

// Files, by Windows path.
std::string read_file(const std::string& path);
// The text of a file as its readers read it, in UTF-8: after a UTF-16LE or UTF-8 byte-order mark in that
// encoding, otherwise in the code page given (cmd reads batch files in CP_OEMCP, the others take CP_ACP).
std::string file_text(const std::string& path, unsigned code_page);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);
void make_folder(const std::string& path);
void remove_tree(const std::string& path);
std::vector<std::string> folder_entries(const std::string& folder);  // names, without . and ..

// Text of any window (WM_GETTEXT; works across processes).
std::string window_text(HWND window);
std::string class_of(HWND window);
RECT rect_in_parent(HWND window);

// A message box or dialog of the program: a top-level "#32770" window.
struct dialog {
  HWND window = nullptr;
  std::string caption;
  std::string text;  // the static control 0xFFFF of a message box; empty for other dialogs
  HWND owner = nullptr;
};

// One run of resivex.exe.
class program {
 public:
  program(const std::string& exe, const std::vector<std::string>& args, const std::string& folder);
  program(const program&) = delete;
  program& operator=(const program&) = delete;
  ~program();  // ends the program if it still runs

  DWORD pid() const { return info_.dwProcessId; }
  HANDLE process() const { return info_.hProcess; }
  bool running() const;
  int wait_exit(int timeout_ms = default_wait_ms);

  HWND frame();   // waits for the visible frame
  HWND client();  // its MDI client
  HWND status();
  HWND toolbar();
  std::vector<HWND> documents();            // the document windows, top first
  HWND document(const std::string& title);  // waits for the document with this title
  HWND active_document();
  HWND edit_of(HWND document);
  // Makes a document the active one, as a click on it would, and waits until it is.
  void activate(HWND document);
  // Closes a document window with its close box (the window may ask first), without waiting.
  void close(HWND document);

  // Menu commands go to the frame. Posted, as a click would arrive: a command may open a modal box.
  void command(unsigned id);
  // Types text into a window, one WM_CHAR per UTF-16 unit ("\r" is the Enter key), and waits until it shows.
  void type(HWND edit, const std::string& text);

  std::vector<dialog> dialogs();
  dialog wait_dialog(const std::string& caption);
  void wait_no_dialog(HWND window);
  // Presses a button of a dialog (IDOK, IDYES, IDNO, IDCANCEL) and waits until it is gone.
  void press(const dialog& d, int button_id);
  // Shows Help/About and returns every other dialog open at that moment. Posted after other commands, it
  // tells that they have been handled: a command that opened a box still has it open when About appears.
  std::vector<dialog> dialogs_after_pending_commands();
  // Fills in a file dialog's name and presses OK.
  void choose_file(const dialog& d, const std::string& path);

  std::string status_text(int part);
  std::vector<int> status_parts();
  struct button {
    int bitmap;
    int id;
    bool enabled;
    bool separator;
  };
  std::vector<button> toolbar_buttons();

  // Requests answered inside the program by gui_probe.dll.
  std::string probe(probe_request request, const std::string& argument = "");

 private:
  PROCESS_INFORMATION info_{};
  HWND frame_ = nullptr;
  HHOOK hook_ = nullptr;
};

// Holds a file open, as another program would, until it goes out of scope.
class held_file {
 public:
  held_file(const std::string& path, DWORD access, DWORD share);
  held_file(const held_file&) = delete;
  held_file& operator=(const held_file&) = delete;
  ~held_file();

 private:
  HANDLE handle_;
};

// What the cases need from the command line of the driver.
struct context {
  std::string program_source;  // the resivex.exe under test
  std::string help_source;     // its RESIVEX.TXT
  std::string root;            // a fresh folder per driver run; each case works in root\case
  std::string gadget_report;   // a genuine Regshot report, for the screenshot
  std::string screenshot_dir;  // where the screenshot handshake happens; empty: no screenshot case

  std::string work;  // this case's folder
  // Installs resivex.exe (and RESIVEX.TXT when asked) in work\FOLDER and returns the program's path.
  std::string install(bool with_help = true, const std::string& folder = "prog") const;
};

// The probe that program::probe sets into the program (the driver sets it from its command line).
extern std::string probe_dll_path;

struct test_case {
  const char* name;
  void (*run)(context&);
};
std::vector<test_case>& all_cases();
struct case_registration {
  case_registration(const char* name, void (*run)(context&)) { all_cases().push_back({name, run}); }
};
#define GUI_CASE(name)                                                            \
  static void name(::resivex::gui_test::context&);                                \
  static ::resivex::gui_test::case_registration registration_##name(#name, name); \
  static void name([[maybe_unused]] ::resivex::gui_test::context& ctx)

}  // namespace resivex::gui_test
