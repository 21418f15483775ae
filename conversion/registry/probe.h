// The live registry probe: does the key or value that a report entry names still exist on this machine? Both
// probes only read the registry, through the machine interface, and answer with the system's error codes (0:
// it exists). The key probe also writes an error list entry for a key that the system refuses for a reason
// other than its absence.
#pragma once

#include "conversion/registry/registry_state.h"

#include <string_view>

namespace resivex {

struct hive_name {
  std::string_view long_name;
  std::string_view short_name;
  win::reg_key root;
};

// The hives a report path can name, in the order they are looked up.
inline constexpr hive_name hive_names[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", win::hkey_classes_root},
    {"HKEY_USERS", "HKU", win::hkey_users},
    {"HKEY_LOCAL_MACHINE", "HKLM", win::hkey_local_machine},
    {"HKEY_CURRENT_USER", "HKCU", win::hkey_current_user},
    {"HKEY_CURRENT_CONFIG", "HKCC", win::hkey_current_config},
};

// The longest hive part and sub-key the probes take (in characters), plus one.
inline constexpr std::size_t part_limit = 1024;
// The characters of a report line kept in front of an error text in the error list.
inline constexpr std::size_t error_line_limit = 512;

// The hive whose long or short name is exactly `part` (case counts), or null.
const hive_name* find_hive(std::string_view part);

// The key entry in line_buf from the state's key_start, up to its first TAB or line end. Returns 0 when the
// key can be opened (with access_mask), the system's code otherwise. A refusal other than 1 or 2 (absence)
// goes to the error list with the system's text; ERROR_NO_SYSTEM_RESOURCES is then returned as 2.
int probe_regkey(run_state& rs);

// The value of the state's split of line_buf, looked up by the name in value_name, in the key opened with
// access_mask (the key probe's view). Returns 0 when it exists: the state's value_type and data_len (and
// value_data) then hold it. When the lookup by name fails for a reason other than the value's absence, the
// key's values are enumerated for that exact name (case counts), and a value found so is the one whose type
// and data the state holds. Otherwise the code of the open, of RegQueryInfoKeyA, 4 for a key without values,
// ERROR_NO_MORE_ITEMS for a value that is not there, or the code that ended the enumeration. Writes no error
// entry.
int probe_regvalue(run_state& rs);

}  // namespace resivex
