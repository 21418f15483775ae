// See ui_state.h.
#include "shell/ui_state.h"

#include "platform/win32/wide_text.h"
#include "shell/app.h"
#include "shell/resource.h"

#include <commctrl.h>

namespace resivex::shell {

namespace {

void enable_item(HMENU bar, UINT id, bool enabled) {
  EnableMenuItem(bar, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

// A maximised document window puts its system menu in front of the others, so popups are found by handle.
void enable_popup(HMENU bar, HMENU popup, bool enabled) {
  const int count = GetMenuItemCount(bar);
  for (int i = 0; i < count; ++i) {
    if (GetSubMenu(bar, i) == popup) {
      EnableMenuItem(bar, static_cast<UINT>(i), MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
      return;
    }
  }
}

}  // namespace

void apply_command_states(const command_states& states) {
  const app_state& a = app();
  if (const HMENU bar = GetMenu(a.frame)) {
    enable_item(bar, IDM_FILE_OPEN, states.open);
    enable_item(bar, IDM_FILE_CANCEL, states.cancel);
    enable_item(bar, IDM_FILE_SAVE, states.save);
    enable_item(bar, IDM_FILE_SAVE_AS, states.save_as);
    enable_popup(bar, a.edit_menu, states.edit_menu);
    enable_popup(bar, a.window_menu, states.window_menu);
    DrawMenuBar(a.frame);
  }
  for (const toolbar_button& b : toolbar_buttons) {
    if (b.separator) continue;
    SendMessageW(a.toolbar, TB_ENABLEBUTTON, b.id, MAKELPARAM(toolbar_button_enabled(b.id, states), 0));
  }
}

void refresh_command_states() {
  const bool active = SendMessageW(app().client, WM_MDIGETACTIVE, 0, 0) != 0;
  apply_command_states(states_for(active, app().gate.busy()));
}

void set_run_status(const char* text) {
  const std::wstring wide = text != nullptr ? wide_from_utf8(text) : std::wstring(status_hint);
  SendMessageW(app().status, SB_SETTEXTW, IDC_STATUS_PART_HINT, reinterpret_cast<LPARAM>(wide.c_str()));
}

void set_document_status(const char* text) {
  const std::wstring wide = wide_from_utf8(text);
  SendMessageW(app().status, SB_SETTEXTW, IDC_STATUS_PART_DOCUMENT, reinterpret_cast<LPARAM>(wide.c_str()));
}

}  // namespace resivex::shell
