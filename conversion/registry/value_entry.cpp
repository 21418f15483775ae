// See value_entry.h.
#include "conversion/registry/value_entry.h"

#include "conversion/registry/entry_line.h"
#include "conversion/registry/probe.h"
#include "conversion/registry/reset_script.h"

#include <cstring>

namespace resivex {

namespace {

// Whether the key of a further reading can hold a value of that name at all, from its counts (asked once per
// key): most keys nearer the hive hold no values, or only short names, and then cost no lookup.
bool may_hold(run_state& rs, registry_state& state, std::string_view line, const value_split& s,
              std::size_t name_bytes) {
  const std::string_view path = line.substr(static_cast<std::size_t>(s.key_start),
                                            static_cast<std::size_t>(s.key_end - s.key_start));
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  const hive_name* hive = find_hive(path.substr(0, hive_end));
  if (hive == nullptr || hive_end == path.size()) return false;
  win::reg_key key = 0;
  if (state.keys.open(*rs.sys, hive->root, path.substr(hive_end + 1), rs.access_mask, &key) != 0) return false;
  reg_key_info info;
  if (!state.keys.info(*rs.sys, key, info)) return true;
  // A character takes at most four bytes in any ANSI code page the name can be in.
  return info.values > 0 && name_bytes <= 4 * static_cast<std::size_t>(info.max_value_name_len);
}

}  // namespace

int resolve_value_entry(run_state& rs) {
  registry_state& state = registry_of(rs);
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  split_list candidates;
  candidate_splits(line, state.key_start, candidates);
  int first_status = win::error_file_not_found;
  for (int i = 0; i < candidates.count; ++i) {
    const value_split& s = candidates.items[i];
    const std::string_view name =
        s.is_default ? std::string_view()
                     : line.substr(static_cast<std::size_t>(s.name_start),
                                   static_cast<std::size_t>(s.name_end - s.name_start));
    if (name.size() >= value_name_capacity) continue;  // longer than any name the probe can ask for
    if (i > 0 && !may_hold(rs, state, line, s, name.size())) continue;
    state.split = s;
    clear_text(state.value_name);
    copy_text(state.value_name, name);
    const int status = probe_regvalue(rs);
    if (status == 0 && (!state.found_by_enumeration || state.enumerated_same_name)) return 0;
    if (i == 0) first_status = status == 0 ? win::error_file_not_found : status;
  }
  return first_status;
}

void record_deleted_value(registry_state& state, std::string_view line, int key_start) {
  const std::string_view body = entry_body(line);
  // Any ": " may end the name; keep the text before each, so that the added entry can be matched by its own.
  for (std::size_t p = static_cast<std::size_t>(key_start); p < body.size(); ++p) {
    if (body[p] == ':' && (p + 1 == body.size() || body[p + 1] == ' ')) {
      state.deleted_values.emplace(body.substr(static_cast<std::size_t>(key_start), p - key_start));
    }
  }
}

bool is_type_change(const registry_state& state, std::string_view line) {
  if (state.deleted_values.empty()) return false;
  const value_split& s = state.split;
  const std::string_view named = line.substr(static_cast<std::size_t>(s.key_start),
                                             static_cast<std::size_t>(s.name_end - s.key_start));
  return state.deleted_values.find(named) != state.deleted_values.end();
}

bool under_recorded_key(const run_state& rs, std::string_view path, bool or_same) {
  if (!rs.keys_array) return false;
  for (int i = 0; i < rs.keys_count; ++i) {
    const char* slot = rs.keys_array.get() + static_cast<std::size_t>(i) * keys_slot_size;
    const std::string_view key(slot, ::strnlen(slot, keys_slot_size));
    if (!is_same_or_under(path, key)) continue;
    if (or_same || path.size() > key.size()) return true;
  }
  return false;
}

bool record_key(run_state& rs, std::string_view path) {
  if (rs.keys_count >= rs.keys_limit || !rs.keys_array || path.size() >= keys_slot_size) return false;
  char* slot = rs.keys_array.get() + rs.keys_next;
  std::memcpy(slot, path.data(), path.size());
  slot[path.size()] = '\0';
  ++rs.keys_count;
  rs.keys_bytes += static_cast<int>(path.size() + 1);
  rs.keys_next += keys_slot_size;
  return true;
}

std::string value_label(std::string_view line, const value_split& split) {
  std::string label;
  comment_text(line.substr(static_cast<std::size_t>(split.key_start),
                           static_cast<std::size_t>(split.name_end - split.key_start)),
               label);
  return label;
}

void write_not_reset_comment(run_state& rs, std::string_view label, std::string_view why) {
  clear_text(rs.out_line);
  copy_text(rs.out_line, "; Not reset: ");
  // A comment that does not fit is cut: it names nothing that regedit acts on.
  const std::size_t room = out_line_capacity - 1 - 13 - why.size() - 3;
  append_text(rs.out_line, label.substr(0, std::min(label.size(), room)));
  append_text(rs.out_line, " (");
  append_text(rs.out_line, why);
  append_text(rs.out_line, ")");
  write_reset_line(rs);
}

}  // namespace resivex
