// What the handlers of the value sections share: finding which reading of a value entry names a value that
// still exists, the values that only changed their type, the keys that the removal script deletes whole.
#pragma once

#include "conversion/registry/registry_state.h"

#include <string>
#include <string_view>

namespace resivex {

// Tries the readings of the entry in line_buf (from the state's key_start) in order, and stops at the first
// whose value still exists. Returns 0 with the state's split, value_name, value_type and data set; otherwise
// the status of the first reading (positive). A value that the probe finds only by enumeration under a name
// other than the one the entry gives is another value: it does not count.
int resolve_value_entry(run_state& rs);

// Remembers a "Values deleted:" entry.
void record_deleted_value(registry_state& state, std::string_view line, int key_start);
// True when the report also lists the entry's value (by the state's split) as deleted: its type changed.
bool is_type_change(const registry_state& state, std::string_view line);

// True when `path` (a key path, or a value entry from its key start) lies under a key that the removal script
// deletes whole in this run (or is that key, when or_same is set).
bool under_recorded_key(const run_state& rs, std::string_view path, bool or_same);
// Records a key that the removal script deletes. False when keys_array is full.
bool record_key(run_state& rs, std::string_view path);

// The entry's key path and value name as the report gives them, for a comment line.
std::string value_label(std::string_view line, const value_split& split);
// Writes "; Not reset: <label> (<why>)" to the reset script.
void write_not_reset_comment(run_state& rs, std::string_view label, std::string_view why);

}  // namespace resivex
