// The names the registry scripts give keys. Each key line names the key as the system resolves it in the
// report's view (HKLM\SOFTWARE\Vendor of a 32-bit report is HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Vendor on
// 64-bit Windows), so that regedit, a 64-bit program there, changes the key the report meant and never its
// namesake in the other view. Which keys are redirected, shared or reflected differs between Windows
// versions, so the system is asked rather than a table kept here.
#pragma once

#include "conversion/registry/registry_state.h"

#include <string>
#include <string_view>

namespace resivex {

// The name regedit gives a key, from the system's own: \REGISTRY\MACHINE\X is HKEY_LOCAL_MACHINE\X and
// \REGISTRY\USER\X is HKEY_USERS\X (any case). False for a name in no hive a .reg file can name.
bool regedit_key_name(std::string_view system_name, std::string& out);

// The name of the key root\sub_key as the system resolves it in the run's view (opened with access_mask,
// found open when it is). True with out set; false with the reason in why when the system does not tell it,
// or tells a name that a key line cannot hold.
bool resolve_key_name(run_state& rs, win::reg_key root, std::string_view sub_key, std::string& out,
                      std::string& why);

// The same for a key path of the report (hive name, backslash, sub-key; a final backslash names the same key).
bool resolve_report_key(run_state& rs, std::string_view path, std::string& out, std::string& why);

// The error-list entry of the entry in line_buf whose key exists but cannot be named: the report line and why.
void write_unnamed_key_entry(run_state& rs, std::string_view why);

}  // namespace resivex
