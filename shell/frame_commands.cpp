// See frame_commands.h.
#include "shell/frame_commands.h"

#include "platform/win32/wide_text.h"
#include "resivex_version.h"
#include "shell/app.h"
#include "shell/conversions.h"
#include "shell/document_rules.h"
#include "shell/document_window.h"

#include <shellapi.h>

#include <string>

namespace resivex::shell {

void command_help() {
  const std::string path = app().rs->help_path;
  const std::wstring wide = file_api_wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    // Asking the shell to open a file that is not there would only add its own error.
    show_box(nullptr, resivex::msg::help_missing, path.c_str());
    return;
  }
  ShellExecuteW(app().frame, L"open", wide_from_utf8(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void command_about() {
  // The version of the build, as in the version resource: the About box tells which release this is.
  const std::string detail = std::string("Version " RESIVEX_VERSION "\n") + resivex::msg::about_detail;
  show_box(nullptr, resivex::msg::about, detail.c_str());
}

void command_new() {
  if (!create_document_window(untitled_title)) show_box(app().frame, resivex::msg::child_creation_failed);
}

void command_exit() { PostMessageW(app().frame, WM_CLOSE, 0, 0); }

void command_open() { convert_from_open_dialog(); }

void command_cancel_conversion() {
  if (app().gate.busy()) app().cancel_requested = true;
}

void command_cascade() { PostMessageW(app().client, WM_MDICASCADE, 0, 0); }

void command_tile(UINT how) { PostMessageW(app().client, WM_MDITILE, how, 0); }

void command_arrange_icons() { PostMessageW(app().client, WM_MDIICONARRANGE, 0, 0); }

void command_to_active_document(WPARAM wp, LPARAM lp) {
  if (const auto active = reinterpret_cast<HWND>(SendMessageW(app().client, WM_MDIGETACTIVE, 0, 0))) {
    SendMessageW(active, WM_COMMAND, wp, lp);
  }
}

}  // namespace resivex::shell
