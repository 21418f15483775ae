// The undo script (report_undo.reg): the registry as it is now wherever the removal, reset and restore scripts
// change it, so that importing it after them puts every key and value back exactly. It is written from what the
// probes read, in the report's view (keys by their resolved names), in regedit's own UTF-16 form on every
// system, before the removal script is closed.
#pragma once

#include "conversion/run_state.h"

#include <string>
#include <string_view>

namespace resivex {

// Creates the undo script with its header, unless it is open already in this run.
void open_undo_script(run_state& rs);

// Writes the key root\sub_key, whose resolved name is `name`, with its whole subtree as it is now (every
// sub-key, empty ones too, every value with its type and bytes), before the removal script deletes it. A subtree
// too large for memory is streamed through a scratch file. False, with nothing written and the reason in why,
// when the subtree cannot be read whole (a sub-key refused, a name a .reg file cannot hold, a key written to
// while it was read): the key must then not be removed.
bool undo_key_subtree(run_state& rs, win::reg_key root, std::string_view sub_key, std::string_view name,
                      std::string& why);

// Writes a value as it is now (key_name: its key's resolved name; name_part: the quoted name or @), before a
// script deletes or overwrites it. With `commented`, as comment lines, for a line of a script that the user
// takes only by removing its ";".
void undo_value(run_state& rs, std::string_view key_name, std::string_view name_part, std::uint32_t type,
                std::string_view bytes, bool commented = false);

// Writes the removal of what the restore script creates: a key (the first one on its path that does not exist
// now) or a value of an existing key; `commented` as above.
void undo_created_key(run_state& rs, std::string_view key_name, bool commented);
void undo_created_value(run_state& rs, std::string_view key_name, std::string_view name_part, bool commented);

}  // namespace resivex
