// Which command a menu or toolbar id stands for, and which commands the user may choose in the program's
// present state. Portable: the frame and the document windows act on these answers, the shell's unit tests
// check them natively.
#pragma once

namespace resivex::shell {

// What the frame does with a WM_COMMAND id.
enum class frame_command {
  help,
  about,
  new_document,
  exit,
  open,
  cancel_conversion,  // File/Cancel conversion (or Esc while a run goes on)
  cascade,
  tile_vertical,
  tile_horizontal,
  arrange_icons,
  window_list,         // an entry the MDI client appended to the Window menu: DefFrameProc activates it
  to_active_document,  // Save, Save As, Undo, Cut, Copy, Paste and unknown ids: the active document decides
};

// What a document window does with a command the frame forwarded to it.
enum class document_command { save, save_as, undo, cut, copy, paste, none };

frame_command route_frame_command(unsigned id);
document_command route_document_command(unsigned id);

// The commands that depend on the program's state. A document is active when the MDI client has an active
// document window; a conversion is in progress from the moment File/Open shows its dialog until the run
// (or the dialog) has ended, and also during the start-up conversion.
struct command_states {
  bool open;         // File/Open, menu and toolbar button
  bool save;         // File/Save, menu and toolbar button
  bool save_as;      // File/Save As, menu only
  bool edit_menu;    // the whole Edit menu and the Undo, Cut, Copy and Paste buttons
  bool window_menu;  // the whole Window menu
  bool cancel;       // File/Cancel conversion: only while a conversion is in progress
};

command_states states_for(bool document_active, bool conversion_in_progress);

// Positions in the common controls' standard bitmap set (commctrl.h's STD_*; the frame checks them).
inline constexpr int std_cut = 0;
inline constexpr int std_copy = 1;
inline constexpr int std_paste = 2;
inline constexpr int std_undo = 3;
inline constexpr int std_filenew = 6;
inline constexpr int std_fileopen = 7;
inline constexpr int std_filesave = 8;

// One toolbar button: its position in the standard small colour bitmap set (STD_*), its command, and
// whether it is a separator. The nine buttons, in order.
struct toolbar_button {
  int bitmap;
  unsigned id;
  bool separator;
};
inline constexpr int toolbar_button_count = 9;
extern const toolbar_button toolbar_buttons[toolbar_button_count];

// Whether the toolbar button with this command is enabled in the given state.
bool toolbar_button_enabled(unsigned id, const command_states& states);

}  // namespace resivex::shell
