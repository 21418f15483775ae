// The restore script (report_restore.reg): the keys and values that the install or the uninstall deleted and
// that are still missing, written back with the data the report shows, where its notation tells their type and
// data exactly. Where it does not, the entry is written as comment lines, with the reason and the most likely
// type, for the user to take by removing their ";". In regedit's own UTF-16 form, in the report's view; every
// line it writes has its counterpart in the undo script.
#pragma once

#include "conversion/registry/registry_state.h"

#include <string>
#include <string_view>

namespace resivex {

// What the report's notation of a value's data tells (the data as Regshot prints it, after the separator).
struct restore_data {
  bool writable = false;  // there is a data part to write at all (otherwise `why` says why not)
  bool exact = false;     // the notation tells type and data exactly
  std::uint32_t type = 0;  // the type: the exact one, or the most likely
  std::string data;        // the data part in registry-script notation (regedit's UTF-16 form)
  const char* why = nullptr;
};
// ansi_report: Regshot's ANSI builds write "?" for a character their code page cannot hold.
restore_data restore_data_of(std::string_view data, bool ansi_report);

// Creates the restore script with its header, unless it is open already in this run.
void open_restore_script(run_state& rs);

// Handles the "Keys deleted:" section whose title is in line_buf.
void handle_keys_deleted(run_state& rs);
// Writes back the "Values deleted:" entry in line_buf (key_start set) when its value is missing now. A value
// that exists now is kept in mind: the "Values added:" section may list it as a type change.
void restore_deleted_value(run_state& rs, registry_state& state);
// Writes back, with its old type and data, an added value that the report also lists as deleted (its type
// changed), found by the probe with its current data (resolved_key: its key's resolved name).
void restore_type_change(run_state& rs, registry_state& state, std::string_view resolved_key,
                         std::string_view name_part);

}  // namespace resivex
