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
    if (status == 0) return 0;
    if (i == 0) first_status = status;
  }
  return first_status;
}

bool names_intact(const line_flags& flags, std::string_view line, const value_split& split) {
  const std::string_view named = line.substr(static_cast<std::size_t>(split.key_start),
                                             static_cast<std::size_t>(split.name_end - split.key_start));
  if (flags.lossy && named.find('?') != std::string_view::npos) return false;
  if (flags.had_nul && named.find('\x01') != std::string_view::npos) return false;
  return true;
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

namespace {

// The hive of a key path and the rest of it: empty, or from the backslash after the hive name.
const hive_name* hive_and_rest(std::string_view path, std::string_view& rest) {
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  rest = path.substr(hive_end);
  return find_hive(path.substr(0, hive_end));
}

// Brings the index of keys_array up to date: anew when keys_array is another or was emptied.
void index_recorded_keys(const run_state& rs, registry_state& state) {
  constexpr std::size_t mask = registry_state::recorded_slots - 1;
  if (state.recorded_array != rs.keys_array.get() || rs.keys_count < state.recorded_count) {
    state.recorded_hashes.assign(registry_state::recorded_slots, 0);
    state.recorded_slot.assign(registry_state::recorded_slots, 0);
    state.recorded_array = rs.keys_array.get();
    state.recorded_count = 0;
    state.recorded_longest = 0;
  }
  static_assert(registry_state::recorded_slots >= 2 * static_cast<std::size_t>(keys_limit_default));
  for (; state.recorded_count < rs.keys_count; ++state.recorded_count) {
    const char* slot = rs.keys_array.get() + static_cast<std::size_t>(state.recorded_count) * keys_slot_size;
    std::string_view rest;
    const hive_name* hive = hive_and_rest(std::string_view(slot, ::strnlen(slot, keys_slot_size)), rest);
    if (hive == nullptr || rest.empty()) continue;
    key_hash h(hive->root);
    for (char c : rest) h.add(c);
    const std::uint64_t hash = h.value | 1;
    std::size_t i = hash & mask;
    while (state.recorded_hashes[i] != 0) i = (i + 1) & mask;
    state.recorded_hashes[i] = hash;
    state.recorded_slot[i] = state.recorded_count;
    state.recorded_longest = std::max(state.recorded_longest, rest.size());
  }
}

}  // namespace

bool under_recorded_key(run_state& rs, std::string_view path, bool or_same) {
  if (!rs.keys_array || rs.keys_count == 0) return false;
  registry_state& state = registry_of(rs);
  index_recorded_keys(rs, state);
  // The recorded keys name their hives in full; the report may name the same hive short. Each ancestor of
  // the path (and the path itself, when or_same) is looked up once.
  std::string_view rest;
  const hive_name* hive = hive_and_rest(path, rest);
  if (hive == nullptr) return false;
  key_hash h(hive->root);
  const std::size_t limit = std::min(rest.size(), state.recorded_longest);
  for (std::size_t i = 0; i <= limit; ++i) {
    const bool boundary = i > 0 && (i < rest.size() ? rest[i] == '\\' : or_same);
    if (boundary) {
      const std::uint64_t hash = h.value | 1;
      for (std::size_t t = hash & (registry_state::recorded_slots - 1); state.recorded_hashes[t] != 0;
           t = (t + 1) & (registry_state::recorded_slots - 1)) {
        if (state.recorded_hashes[t] != hash) continue;
        const char* slot = rs.keys_array.get() + static_cast<std::size_t>(state.recorded_slot[t]) * keys_slot_size;
        std::string_view key_rest;
        if (hive_and_rest(std::string_view(slot, ::strnlen(slot, keys_slot_size)), key_rest) == hive &&
            key_rest.size() == i && is_same_or_under(rest.substr(0, i), key_rest)) {
          return true;
        }
      }
    }
    if (i < rest.size()) h.add(rest[i]);
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
