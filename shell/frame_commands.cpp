// See frame_commands.h.
#include "shell/frame_commands.h"

#include "resivex_version.h"
#include "shell/app.h"
#include "shell/conversions.h"
#include "shell/document_rules.h"
#include "shell/document_window.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace resivex::shell {

void command_help() {
  const char* path = app().rs->help_path.c_str();
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    // Asking the shell to open a file that is not there would only add its own error.
    show_box(nullptr, resivex::msg::help_missing, path);
    return;
  }
  std::fclose(f);
  ShellExecuteA(app().frame, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

void command_about() {
  // The version of the build, as in the version resource: the About box tells which release this is.
  const std::string detail = std::string("Version " RESIVEX_VERSION "\n") + resivex::msg::about_detail;
  show_box(nullptr, resivex::msg::about, detail.c_str());
}

void command_new() {
  if (!create_document_window(untitled_title)) show_box(app().frame, resivex::msg::child_creation_failed);
}

void command_exit() { PostMessageA(app().frame, WM_CLOSE, 0, 0); }

void command_open() { convert_from_open_dialog(); }

void command_cascade() { PostMessageA(app().client, WM_MDICASCADE, 0, 0); }

void command_tile(UINT how) { PostMessageA(app().client, WM_MDITILE, how, 0); }

void command_arrange_icons() { PostMessageA(app().client, WM_MDIICONARRANGE, 0, 0); }

void command_to_active_document(WPARAM wp, LPARAM lp) {
  if (const auto active = reinterpret_cast<HWND>(SendMessageA(app().client, WM_MDIGETACTIVE, 0, 0))) {
    SendMessageA(active, WM_COMMAND, wp, lp);
  }
}

}  // namespace resivex::shell
