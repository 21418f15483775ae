// See commands.h.
#include "shell/commands.h"

#include "shell/resource.h"

namespace resivex::shell {

const toolbar_button toolbar_buttons[toolbar_button_count] = {
    {std_filenew, IDM_FILE_NEW, false},   {std_fileopen, IDM_FILE_OPEN, false},
    {std_filesave, IDM_FILE_SAVE, false}, {0, 0, true},
    {std_cut, IDM_EDIT_CUT, false},       {std_copy, IDM_EDIT_COPY, false},
    {std_paste, IDM_EDIT_PASTE, false},   {0, 0, true},
    {std_undo, IDM_EDIT_UNDO, false},
};

frame_command route_frame_command(unsigned id) {
  switch (id) {
    case IDM_HELP_HELP:
      return frame_command::help;
    case IDM_HELP_ABOUT:
      return frame_command::about;
    case IDM_FILE_NEW:
      return frame_command::new_document;
    case IDM_FILE_EXIT:
      return frame_command::exit;
    case IDM_FILE_OPEN:
      return frame_command::open;
    case IDM_FILE_CANCEL:
      return frame_command::cancel_conversion;
    case IDM_WINDOW_CASCADE:
      return frame_command::cascade;
    case IDM_WINDOW_TILE_VERTICAL:
      return frame_command::tile_vertical;
    case IDM_WINDOW_TILE_HORIZONTAL:
      return frame_command::tile_horizontal;
    case IDM_WINDOW_ARRANGE_ICONS:
      return frame_command::arrange_icons;
    default:
      break;
  }
  return id >= IDM_WINDOW_FIRST_CHILD ? frame_command::window_list : frame_command::to_active_document;
}

document_command route_document_command(unsigned id) {
  switch (id) {
    case IDM_FILE_SAVE:
      return document_command::save;
    case IDM_FILE_SAVE_AS:
      return document_command::save_as;
    case IDM_EDIT_UNDO:
      return document_command::undo;
    case IDM_EDIT_CUT:
      return document_command::cut;
    case IDM_EDIT_COPY:
      return document_command::copy;
    case IDM_EDIT_PASTE:
      return document_command::paste;
    default:
      return document_command::none;
  }
}

command_states states_for(bool document_active, bool conversion_in_progress) {
  // Open is held off during a conversion: a second run would reuse the run state of the one still running.
  return {!conversion_in_progress, document_active, document_active, document_active, document_active,
          conversion_in_progress};
}

bool toolbar_button_enabled(unsigned id, const command_states& states) {
  switch (id) {
    case IDM_FILE_NEW:
      return true;
    case IDM_FILE_OPEN:
      return states.open;
    case IDM_FILE_SAVE:
      return states.save;
    case IDM_EDIT_CUT:
    case IDM_EDIT_COPY:
    case IDM_EDIT_PASTE:
    case IDM_EDIT_UNDO:
      return states.edit_menu;
    default:
      return false;
  }
}

}  // namespace resivex::shell
