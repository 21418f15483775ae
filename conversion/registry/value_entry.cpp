// See value_entry.h.
#include "conversion/registry/value_entry.h"

#include "conversion/registry/entry_line.h"
#include "conversion/registry/probe.h"
#include "conversion/registry/removal_script.h"
#include "conversion/registry/reset_script.h"
#include "conversion/text.h"
#include "conversion/unicode.h"

#include <algorithm>
#include <cstring>

namespace resivex {

namespace {

// What is known of the key of a further reading (asked once per key and run): whether it opens, and its
// counts. `hash` is the key_hash of the reading's sub-key below `hive`.
const registry_state::key_facts& facts_of(run_state& rs, registry_state& state, const hive_name& hive,
                                          std::string_view sub_key, std::uint64_t hash) {
  const auto known = state.facts.find(hash);
  if (known != state.facts.end() && known->second.root == hive.root &&
      equal_ignoring_case(known->second.sub_key, sub_key)) {
    return known->second;
  }
  registry_state::key_facts f;
  f.root = hive.root;
  f.sub_key.assign(sub_key);
  win::reg_key key = 0;
  f.opens = state.keys.open(*rs.sys, hive.root, sub_key, rs.access_mask, &key) == 0;
  if (f.opens) {
    reg_key_info info;
    f.counted = state.keys.info(*rs.sys, key, info);
    if (f.counted) {
      f.values = info.values;
      f.max_value_name_len = info.max_value_name_len;
    }
  }
  if (known != state.facts.end()) {
    state.scratch_facts = std::move(f);  // a clash of hashes keeps the first in the table: only slower
    return state.scratch_facts;
  }
  if (state.facts.size() >= registry_state::max_key_facts) state.facts.clear();
  // A run with many keys gets the table's full size at once: each growth would move every entry again, a
  // cache miss each.
  if (state.facts.size() == 4096) state.facts.reserve(registry_state::max_key_facts);
  return state.facts.emplace(hash, std::move(f)).first->second;
}

// Whether the key of a further reading can hold a value of that name at all, from its counts: most keys
// nearer the hive hold no values, or only short names, and then cost no lookup.
bool may_hold(const registry_state::prefix_answer& a, std::string_view name) {
  if (!a.opens) return false;
  if (!a.counted) return true;
  // The counts give names in UTF-16 units, which a UTF-8 name never has more of than bytes.
  return a.values > 0 && !longer_than(name, a.max_value_name_len);
}

// Whether the key (below the hive) holds a value of that name, without reading its data.
bool value_exists_at(run_state& rs, registry_state& state, const hive_name& hive, std::string_view sub_key,
                     std::string_view name) {
  win::reg_key key = 0;
  if (longer_than(sub_key, part_limit - 1) || state.keys.open(*rs.sys, hive.root, sub_key, rs.access_mask, &key) != 0) {
    return false;
  }
  const std::string value_name(name);
  std::uint32_t type = 0;
  unsigned char data[8];
  std::uint32_t len = sizeof data;
  const long status = rs.sys->reg_query_value(key, value_name.c_str(), &type, data, &len);
  return status == 0 || status == win::error_more_data;
}

// The recent key whose text is `longest`, made anew (in place of the one used longest ago) when there is none.
registry_state::recent_key& recent_key_for(registry_state& state, std::string_view longest) {
  registry_state::recent_key* oldest = &state.recent_keys[0];
  // Keys of one length mostly differ in their last characters (numbered keys): those are compared first.
  std::uint64_t tail = 0;
  if (longest.size() >= 8) std::memcpy(&tail, longest.data() + longest.size() - 8, 8);
  for (registry_state::recent_key& k : state.recent_keys) {
    if (!k.text.empty() && k.text.size() == longest.size() && (longest.size() < 8 || k.tail == tail) &&
        std::memcmp(k.text.data(), longest.data(), longest.size()) == 0) {
      k.used = ++state.recent_clock;
      return k;
    }
    if (k.used < oldest->used) oldest = &k;
  }
  oldest->text.assign(longest);
  oldest->tail = tail;
  oldest->answers.clear();
  oldest->used = ++state.recent_clock;
  return *oldest;
}

}  // namespace

int resolve_value_entry(run_state& rs) {
  registry_state& state = registry_of(rs);
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  split_list& candidates = state.candidates;
  candidate_splits(line, state.key_start, candidates);
  const auto start = static_cast<std::size_t>(state.key_start);
  // Every reading's key is a prefix of the longest one (the first reading's, unless a line break ruled that
  // out), below one hive.
  const hive_name* hive = nullptr;
  std::size_t sub_start = 0;
  registry_state::recent_key* recent = nullptr;
  if (candidates.count > 1) {
    const std::size_t hive_end = line.find('\\', start);  // there is one: every reading has a key below it
    hive = find_hive(line.substr(start, hive_end - start));
    sub_start = hive_end + 1;
    std::size_t longest = 0;
    for (int i = 0; i < candidates.count; ++i) {
      longest = std::max(longest, static_cast<std::size_t>(candidates.items[i].key_end));
    }
    if (hive != nullptr) recent = &recent_key_for(state, line.substr(start, longest - start));
  }
  // The hashes of the prefixes of the sub-key, made as far as the readings not answered yet need them.
  key_hash hashes(hive != nullptr ? hive->root : 0,
                  recent != nullptr ? line.substr(sub_start, start + recent->text.size() - sub_start)
                                    : std::string_view());
  int first_status = win::error_file_not_found;
  state.ambiguous = false;
  bool found = false;
  for (int i = 0; i < candidates.count; ++i) {
    const value_split& s = candidates.items[i];
    const std::string_view name =
        s.is_default ? std::string_view()
                     : line.substr(static_cast<std::size_t>(s.name_start),
                                   static_cast<std::size_t>(s.name_end - s.name_start));
    if (longer_than(name, value_name_chars)) continue;  // longer than any name the probe can ask for
    if (i > 0) {
      if (recent == nullptr) break;  // no reading names a key of a known hive
      const auto length = static_cast<std::uint32_t>(static_cast<std::size_t>(s.key_end) - start);
      const registry_state::prefix_answer* answer = nullptr;
      for (const registry_state::prefix_answer& a : recent->answers) {
        if (a.length == length) answer = &a;
      }
      if (answer == nullptr) {
        const std::size_t sub_len = static_cast<std::size_t>(s.key_end) - sub_start;
        const registry_state::key_facts& f =
            facts_of(rs, state, *hive, line.substr(sub_start, sub_len), hashes.of(sub_len));
        recent->answers.push_back({length, f.opens, f.counted, f.values, f.max_value_name_len});
        answer = &recent->answers.back();
      }
      if (!may_hold(*answer, name)) continue;
    }
    if (found) {
      // Regshot's line is the same for both: which of the two values the report means cannot be told.
      if (value_exists_at(rs, state, *hive, line.substr(sub_start, static_cast<std::size_t>(s.key_end) - sub_start),
                          name)) {
        state.ambiguous = true;
        break;
      }
      continue;
    }
    state.split = s;
    // The buffer is zero past its text: clearing what the last name used leaves it as if cleared whole.
    const std::size_t old_len = ::strnlen(state.value_name, value_name_capacity);
    if (!name.empty()) std::memcpy(state.value_name, name.data(), name.size());  // an empty view may hold null
    if (old_len > name.size()) std::memset(state.value_name + name.size(), 0, old_len - name.size());
    state.value_name[name.size()] = '\0';
    const int status = probe_regvalue(rs);
    if (status == 0) {
      // The later readings are asked only whether their value exists (the probe's answer is kept).
      found = true;
      continue;
    }
    if (i == 0) first_status = status;
  }
  return found ? 0 : first_status;
}

bool names_intact(const line_flags& flags, std::string_view line, const value_split& split) {
  const std::string_view named = line.substr(static_cast<std::size_t>(split.key_start),
                                             static_cast<std::size_t>(split.name_end - split.key_start));
  if (flags.lossy && named.find("\xEF\xBF\xBD") != std::string_view::npos) return false;  // U+FFFD, the substitute
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
    state.recorded_lengths.reset();
    state.recorded_length_list.clear();
  }
  static_assert(registry_state::recorded_slots >= 2 * static_cast<std::size_t>(keys_limit_default));
  for (; state.recorded_count < rs.keys_count; ++state.recorded_count) {
    const char* slot = rs.keys_array.get() + static_cast<std::size_t>(state.recorded_count) * keys_slot_size;
    std::string_view rest;
    const hive_name* hive = hive_and_rest(std::string_view(slot, ::strnlen(slot, keys_slot_size)), rest);
    if (hive == nullptr || rest.empty()) continue;
    const std::uint64_t hash = key_hash(hive->root, rest).whole() | 1;
    std::size_t i = hash & mask;
    while (state.recorded_hashes[i] != 0) i = (i + 1) & mask;
    state.recorded_hashes[i] = hash;
    state.recorded_slot[i] = state.recorded_count;
    state.recorded_longest = std::max(state.recorded_longest, rest.size());
    if (rest.size() < keys_slot_size && !state.recorded_lengths.test(rest.size())) {
      state.recorded_lengths.set(rest.size());
      auto& lengths = state.recorded_length_list;
      lengths.insert(std::upper_bound(lengths.begin(), lengths.end(), rest.size()), rest.size());
    }
  }
}

}  // namespace

bool names_loaded_hive(std::string_view path) {
  std::string_view rest;
  const hive_name* hive = hive_and_rest(path, rest);
  if (hive == nullptr || (hive->root != win::hkey_local_machine && hive->root != win::hkey_users)) return false;
  while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  return rest.size() > 1 && rest.find('\\', 1) == std::string_view::npos;
}

void record_loaded_hive(registry_state& state, std::string_view path) {
  std::string_view rest;
  const hive_name* hive = hive_and_rest(path, rest);
  while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (hive == nullptr || rest.empty() || under_loaded_hive(state, path)) return;
  state.loaded_hives.emplace_back(hive->root, std::string(rest));
}

bool under_loaded_hive(const registry_state& state, std::string_view path) {
  if (state.loaded_hives.empty()) return false;
  std::string_view rest;
  const hive_name* hive = hive_and_rest(path, rest);
  if (hive == nullptr) return false;
  for (const auto& [root, key] : state.loaded_hives) {
    if (root == hive->root && is_same_or_under(rest, key)) return true;
  }
  return false;
}

bool key_entry_path(run_state& rs, registry_state& state, bool (*passed_over)(const run_state&, std::string_view),
                    std::string_view& path) {
  run_tally& tally = rs.tally;
  if (rs.line_state.damaged()) {
    ++tally.unsafe;  // the text is not the key's real path
    return false;
  }
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  state.key_start = key_start_of(line);
  const std::size_t start = static_cast<std::size_t>(state.key_start);
  // Regshot escapes nothing, and a key's name may hold a TAB: the path runs to the line end. Ended at the
  // TAB, it would name the key's parent or a sibling, with all beneath it.
  const std::size_t end = std::min(find_first_char(line, "\r\n", start), line.size());
  // A carriage return that ends no line of the report belongs to the key's name, and regedit would end the
  // key line there: the line would name a parent key, with all beneath it. Such a key cannot be written.
  if (end < line.size() && line[end] == '\r' && end + 1 < line.size()) {
    ++tally.inexpressible;
    return false;
  }
  path = line.substr(start, end - start);
  // A hive alone is never written: the report names no key of its own there.
  if (!names_sub_key(path) || passed_over(rs, line)) {
    ++tally.excluded;
    return false;
  }
  if (names_loaded_hive(path)) {
    // Listed because its hive was loaded or unloaded between the snapshots, with every key in it: never a
    // key of its own to remove or create.
    record_loaded_hive(state, path);
    ++tally.excluded;
    return false;
  }
  if (under_loaded_hive(state, path)) {
    ++tally.excluded;
    return false;
  }
  return true;
}

bool under_recorded_key(run_state& rs, std::string_view path, bool or_same) {
  if (!rs.keys_array || rs.keys_count == 0) return false;
  registry_state& state = registry_of(rs);
  index_recorded_keys(rs, state);
  // The recorded keys name their hives in full; the report may name the same hive short. Each ancestor of
  // the path (and the path itself, when or_same) is looked up once.
  std::string_view rest;
  const hive_name* hive = hive_and_rest(path, rest);
  if (hive == nullptr) return false;
  // Only where a recorded key of that length ends: the path is looked at in as many places as the recorded
  // keys have lengths, and hashed only as far as the longest of them.
  key_hash h(hive->root, rest);
  const std::size_t limit = std::min(rest.size(), state.recorded_longest);
  auto recorded_at = [&](std::size_t i) {
    if (i >= state.recorded_lengths.size() || !state.recorded_lengths.test(i)) return false;
    const std::uint64_t hash = h.of(i) | 1;
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
    return false;
  };
  for (const std::size_t i : state.recorded_length_list) {
    if (i > limit || i >= rest.size()) break;
    if (i > 0 && rest[i] == '\\' && recorded_at(i)) return true;
  }
  if (or_same && rest.size() > 0 && rest.size() <= limit && recorded_at(rest.size())) return true;
  return false;
}

bool record_key(run_state& rs, std::string_view path) {
  if (rs.keys_count >= rs.keys_limit || !rs.keys_array || path.size() >= keys_slot_size) return false;
  char* slot = rs.keys_array.get() + rs.keys_next;
  if (!path.empty()) std::memcpy(slot, path.data(), path.size());
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

namespace {

void compose_comment(run_state& rs, std::string_view head, std::string_view label, std::string_view why) {
  clear_text(rs.out_line);
  copy_text(rs.out_line, head);
  // A comment that does not fit is cut: it names nothing that regedit acts on.
  const std::size_t room = out_line_capacity - 1 - head.size() - why.size() - 3;
  append_text(rs.out_line, head_of(label, room));
  append_text(rs.out_line, " (");
  append_text(rs.out_line, why);
  append_text(rs.out_line, ")");
}

}  // namespace

void write_not_reset_comment(run_state& rs, std::string_view label, std::string_view why) {
  compose_comment(rs, "; Not reset: ", label, why);
  write_reset_line(rs);
}

void write_not_removed_comment(run_state& rs, std::string_view label, std::string_view why) {
  compose_comment(rs, "; Not removed: ", label, why);
  write_removal_line(rs);
}

}  // namespace resivex
