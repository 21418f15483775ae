// Every text that the program shows in a message box, with its caption and style, and the exit code of the
// messages that end the process. A reviewer can diff this file against the program's documented texts.
#pragma once

#include "conversion/win_types.h"

namespace resivex {

struct message {
  const char* text;  // printf format: %s and %i are filled in when the box is shown
  const char* caption;
  unsigned style;
};

namespace msg {
using namespace resivex::win;

// Start-up and the main window.
inline constexpr message register_window_failed{"Could Not Register Window", "Oh Oh...", mb_iconwarning};
inline constexpr message register_child_failed{"Could Not Register Child Window", "Oh Oh...", mb_iconwarning};
inline constexpr message no_window{"No Window", "Oh Oh...", mb_iconwarning};
inline constexpr message child_creation_failed{"MDI Child creation failed.", "Oh Oh...", mb_iconwarning};
inline constexpr message about{"RESIVEX for Windows,\ncreated using Visual Studio and WIN32 API.\n\n%s \n", "About...",
                               mb_ok};
inline constexpr const char* about_detail = "Do Help/Help for details";
inline constexpr message help_missing{"File %s not found in same directory as RESIVEX.EXE.\n", "Error", mb_ok};
inline constexpr message load_failed{"Couldn't Load File %s", "Error", mb_iconwarning};
inline constexpr message save_failed{"Couldn't Save File.", "Error.", mb_iconwarning};

// Opening and creating files.
inline constexpr message input_open_failed{"2 - Error opening %s  input file \n", "Error", mb_iconerror};
inline constexpr message batch_open_failed{"Error opening %s  output file \n", "outline", mb_ok};
inline constexpr message output_open_failed{"Error opening %s  output file \n", "Error", mb_ok};
inline constexpr message input_read_failed{"Error reading %s  input file \n", "Error", mb_iconerror};
inline constexpr message output_write_failed{"Error writing %s  output file \n", "Error", mb_iconerror};
inline constexpr message output_is_report{
    "The output file %s would overwrite the report itself.\nRename the report (for example to report.txt) and "
    "run RESIVEX again.",
    "Error", mb_iconerror};
inline constexpr message report_path_too_long{
    "The path %s is too long: a report's path and the names of its output files must stay within 32767 "
    "characters.",
    "Error", mb_iconerror};

// Memory.
inline constexpr message alloc_failed{"Error allocating %s byte buffer in sub-routine allocate_memory2",
                                      "Quiting with alloc error...", mb_ok};
inline constexpr message folder_alloc_failed{"Error allocating %s bytes for folder buffer! \n",
                                             "Quiting with alloc error...", mb_ok};
inline constexpr message realloc_data2_failed{"realloc buffer regkey_data2 failed!", "Quiting...", mb_ok};
inline constexpr message realloc_data3_failed{"realloc buffer regkey_data3 failed!", "Quiting...", mb_ok};

// The run.
inline constexpr message error_list_info{"%s", "Info", mb_ok};
inline constexpr message no_modified_count{"Can't find nbr values modified in %s", "No values", mb_ok};
inline constexpr message key_not_found{"Can't find key in %s", "Key not found", mb_ok};
inline constexpr message too_many_keys{
    "More than %i entries for keys array buffer! \nRun the .REG file and then run RESIVEX again.",
    "Too many entries", mb_ok};
inline constexpr message too_many_folders{
    "More than %i entries for folders array buffer! \nRun the .BAT file and then run RESIVEX again.",
    "Too many entries", mb_ok};
inline constexpr message name_changed_after_probe{"3..Fileoutn2 has changed to %s", "Filename changed", mb_ok};
inline constexpr message name_changed_before_line{"2..Fileoutn2 has changed to %s", "Filename changed", mb_ok};
inline constexpr message key_line_too_long{"2..Line too long %s", "Line too long", mb_ok};
inline constexpr message name_too_long{"22..Line too long %s", "Line too long", mb_ok};
inline constexpr message hive_too_long{"2A..Line too long %s", "Info", mb_ok};
inline constexpr message sub_key_too_long{"222..Line too long %s", "Line too long", mb_ok};
inline constexpr message errmsg_line_too_long{"2F..Line too long for errmsg...%s", "Line", mb_ok};

}  // namespace msg

// Exit codes of the messages that end the process.
namespace exit_code {
inline constexpr int open_failed = 0;
inline constexpr int alloc_failed = 4;
inline constexpr int folder_alloc_failed = 12;
inline constexpr int realloc_failed = 16;
inline constexpr int window_setup_failed = -1;
}  // namespace exit_code

}  // namespace resivex
