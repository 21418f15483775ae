// The process-wide state of resivex.exe: the program instance, the four fixed windows of the frame, the
// machine and run state that every conversion of this process shares, and the gate that keeps conversions
// one after another. One instance, reached through app(); touched only on the user-interface thread.
#pragma once

#include "conversion/run_state.h"
#include "shell/conversion_gate.h"
#include "shell/gui_machine.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

namespace resivex::shell {

struct app_state {
  HINSTANCE instance = nullptr;
  HWND frame = nullptr;
  HWND client = nullptr;
  HWND toolbar = nullptr;
  HWND status = nullptr;
  HMENU window_menu = nullptr;  // the popup the MDI client appends its window list to
  HMENU edit_menu = nullptr;

  gui_machine machine;
  std::unique_ptr<run_state> rs;
  conversion_gate gate;
  // The user asked the conversion in progress to stop (Esc, File/Cancel conversion, closing the program).
  bool cancel_requested = false;

  // Set when a run ended the process: the frame is destroyed and the process returns exit_code.
  bool end_requested = false;
  int exit_code = 0;
  // The program is closing (its documents are being asked whether they may close, or a run ended it): a
  // second close request and any new conversion are ignored meanwhile.
  bool closing = false;
};

app_state& app();

// The window class of the frame or of a document window: the program's icon in both sizes, an arrow cursor
// and the given system colour as background.
WNDCLASSEXW program_window_class(HINSTANCE instance, WNDPROC proc, const wchar_t* class_name, int background_color);

// Shows a catalogue message, formatted with one text argument (UTF-8, or none), in a box owned by owner.
int show_box(HWND owner, const message& m, const char* arg = nullptr);

// What the status bar's last part says until the first run.
inline constexpr wchar_t status_hint[] = L"Process Regshot output .TXT file";

// The room, in UTF-16 units, that the file dialogs get for the chosen path: the longest path Windows has.
inline constexpr std::size_t file_dialog_capacity = 32768;

// A path (UTF-8) as the wide file functions take it: in its extended form when it is longer than MAX_PATH.
std::wstring file_api_wide(std::string_view path);

// The text of a window (its title, an edit control's text) in UTF-8.
std::string window_text_of(HWND window);

}  // namespace resivex::shell
