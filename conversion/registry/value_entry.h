// What the handlers of the value sections share: finding which reading of a value entry names a value that
// still exists, the values that only changed their type, the keys that the removal script deletes whole.
#pragma once

#include "conversion/registry/registry_state.h"
#include "conversion/report_reader.h"

#include <string>
#include <string_view>

namespace resivex {

// Tries the readings of the entry in line_buf (from the state's key_start) in order; the first whose value
// still exists is the answer. Returns 0 with the state's split, value_name, value_type and data set (and
// `ambiguous` when a later reading names an existing value too); otherwise the status of the first reading
// (positive).
int resolve_value_entry(run_state& rs);

// True when the split's key and name reached line_buf as the report wrote them, although the line lost
// something on the way (line_flags): what names no character arrives as U+FFFD, a NUL as 0x01, and a cut line
// lost only its end. Data after the name does not count.
bool names_intact(const line_flags& flags, std::string_view line, const value_split& split);

// Remembers a "Values deleted:" entry.
void record_deleted_value(registry_state& state, std::string_view line, int key_start);
// True when the report also lists the entry's value (by the state's split) as deleted: its type changed.
bool is_type_change(const registry_state& state, std::string_view line);

// True when `path` (a key path, or a value entry from its key start) lies under a key that the removal script
// deletes whole in this run (or is that key, when or_same is set), whichever name of its hive each gives.
bool under_recorded_key(run_state& rs, std::string_view path, bool or_same);
// Records a key that the removal script deletes, as its key line names it (the hive in full). False when
// keys_array is full.
bool record_key(run_state& rs, std::string_view path);

// True when the key path names a key right below HKEY_LOCAL_MACHINE or HKEY_USERS. Only hives are loaded
// there (a user's profile, COMPONENTS): the report lists one as added, with all its keys and values, when it
// was loaded between the snapshots, and removing it would empty the hive.
bool names_loaded_hive(std::string_view path);
void record_loaded_hive(registry_state& state, std::string_view path);
// True when `path` (a key path, or a value entry from its key start) is a recorded loaded hive or lies under
// one, whichever name of its hive each gives.
bool under_loaded_hive(const registry_state& state, std::string_view path);

// The key path of the current entry of "Keys added:" or "Keys deleted:" (and state.key_start), or false when the
// entry gets no line, counted in the run's tally: text that is not the key's real path, a carriage return in
// the key's name, a hive alone, a line that passed_over leaves (the section's skip words, its exclusions), a
// hive loaded between the snapshots (recorded) or a key in one.
bool key_entry_path(run_state& rs, registry_state& state, bool (*passed_over)(const run_state&, std::string_view),
                    std::string_view& path);

// The entry's key path and value name as the report gives them, for a comment line.
std::string value_label(std::string_view line, const value_split& split);
// Writes "; Not reset: <label> (<why>)" to the reset script, "; Not removed: <label> (<why>)" to the removal
// script.
void write_not_reset_comment(run_state& rs, std::string_view label, std::string_view why);
void write_not_removed_comment(run_state& rs, std::string_view label, std::string_view why);
// Why an entry whose names a REGEDIT4 script cannot hold gets no line.
inline constexpr const char* not_in_code_page =
    "its name holds characters that this system's code page cannot hold, and its REGEDIT4 script is in that "
    "code page";
// Why an ambiguous entry (resolve_value_entry) gets no line.
inline constexpr const char* ambiguous_entry = "another value is named by the same text: the report does not tell which";

}  // namespace resivex
