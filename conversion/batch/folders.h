// The "Folders added:" section: one RMDIR (or DIR) line for each added folder that still exists, except the
// standard program folders and folders inside a folder already listed. The folders listed stay known for the
// rest of the run, so that the "Files added:" section leaves out the files inside them.
#pragma once

#include "conversion/batch/folder_index.h"
#include "conversion/run_state.h"

#include <string_view>

namespace resivex {

enum class add_folder_result { stored, inside_listed, array_full };

// Prepares the folders array for a section that announces n folders. Folders of an earlier section of the run
// stay listed.
void allocate_folders_array(run_state& rs, int n);
// Stores a folder unless it lies in a listed one (with the path's look-ups when they were worked out before:
// folder_index::every_lookup_of). Ends the process (exit code 12) when memory runs out.
add_folder_result add_folder(run_state& rs, std::string_view path, const folder_index::lookups* lookups = nullptr);
// True when the last component of the entry's report line holds "Program Files": such folders are never
// listed.
bool program_files_rule(std::string_view line);
// Handles the section whose title is in line_buf.
void handle_folders_added(run_state& rs);

}  // namespace resivex
