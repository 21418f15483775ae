// See probe.h; the key cache and the registry state are here too.
#include "conversion/registry/probe.h"

#include "conversion/error_list.h"
#include "conversion/registry/entry_line.h"
#include "conversion/registry/removal_script.h"
#include "conversion/text.h"
#include "conversion/unicode.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace resivex {

namespace {

// RegOpenKeyExA takes sub-keys of at most MAX_PATH characters (Wine refuses longer ones with
// ERROR_MORE_DATA), while registry paths run longer: a long path is opened a part at a time, each part
// relative to the key before it.
long open_in_steps(machine& m, win::reg_key root, std::string_view sub_key, std::uint32_t access,
                   win::reg_key* key) {
  constexpr std::size_t step = 240;
  win::reg_key at = root;
  bool own = false;
  std::string part;
  long status = 0;
  for (;;) {
    std::size_t cut = sub_key.size();
    if (sub_key.size() > step) {
      cut = sub_key.rfind('\\', step);
      if (cut == std::string_view::npos || cut == 0) cut = sub_key.size();
    }
    part.assign(sub_key.substr(0, cut));
    win::reg_key next = 0;
    status = m.reg_open_key(at, part.c_str(), access, &next);
    if (own) m.reg_close_key(at);
    if (status != 0) return status;
    at = next;
    own = true;
    if (cut == sub_key.size()) break;
    sub_key.remove_prefix(cut + 1);
  }
  *key = at;
  return 0;
}

}  // namespace

const key_cache::absent_key* key_cache::find_absent(std::uint64_t hash) const {
  if (absent_.empty()) return nullptr;
  hash |= 1;  // 0 marks a free slot
  if (!maybe_absent(hash)) return nullptr;
  for (std::size_t i = hash & (absent_slots - 1);; i = (i + 1) & (absent_slots - 1)) {
    if (absent_slots_[i].hash == 0) return nullptr;
    if (absent_slots_[i].hash == hash) return &absent_[absent_slots_[i].index];
  }
}

bool key_cache::add_absent(std::uint64_t hash, win::reg_key root, std::string_view sub_key) {
  if (absent_.size() >= max_absent) forget_absent();
  if (absent_slots_.empty()) {
    absent_slots_.assign(absent_slots, absent_slot{});
    absent_filter_.assign(absent_filter_bits / 64, 0);
  }
  hash |= 1;
  const std::size_t bit = static_cast<std::size_t>(hash >> 45) & (absent_filter_bits - 1);
  absent_filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
  std::size_t i = hash & (absent_slots - 1);
  while (absent_slots_[i].hash != 0) {
    if (absent_slots_[i].hash == hash) {
      // A clash keeps the first: only slower. The key is found in the table when it is that one.
      const absent_key& there = absent_[absent_slots_[i].index];
      return there.root == root &&
             equal_ignoring_case(std::string_view(absent_text_).substr(there.offset, there.length), sub_key);
    }
    i = (i + 1) & (absent_slots - 1);
  }
  absent_slots_[i] = absent_slot{hash, static_cast<std::uint32_t>(absent_.size())};
  absent_.push_back(absent_key{root, static_cast<std::uint32_t>(absent_text_.size()),
                               static_cast<std::uint32_t>(sub_key.size())});
  absent_text_.append(sub_key);
  return true;
}

void key_cache::forget_absent() {
  for (recent_absent& r : recent_absent_) r.sub_key.clear();
  if (absent_.empty()) return;
  std::fill(absent_slots_.begin(), absent_slots_.end(), absent_slot{});
  std::fill(absent_filter_.begin(), absent_filter_.end(), 0);
  absent_.clear();
  absent_text_.clear();
}

long key_cache::open(machine& m, win::reg_key root, std::string_view sub_key, std::uint32_t access,
                     win::reg_key* key) {
  while (!sub_key.empty() && sub_key.back() == '\\') sub_key.remove_suffix(1);  // names the same key
  auto same = [&](const open_key& k) {
    return k.root == root && k.access == access && same_folded(k.sub_key, sub_key);
  };
  // Values come key by key: most often the key is the one found last.
  if (last_ < open_.size() && same(open_[last_])) {
    *key = open_[last_].handle;
    return 0;
  }
  // The keys held open are looked at first (an open key has no absent ancestor, so the order of the two
  // tests does not matter), by their text: a handful of lengths to compare, where a hash would take the whole
  // path. The absent keys only when the key is not open: the key itself and each ancestor (ending at a
  // backslash).
  const std::uint64_t tail = folded_tail(sub_key);
  for (std::size_t i = 0; i < open_.size(); ++i) {
    if (open_[i].tail != tail || open_[i].sub_key.size() != sub_key.size() || !same(open_[i])) continue;
    open_[i].used = ++clock_;
    last_ = i;
    *key = open_[i].handle;
    return 0;
  }
  // The keys found absent last, by their text: values and keys come in runs under one key.
  for (const recent_absent& r : recent_absent_) {
    if (r.root != root || r.sub_key.size() > sub_key.size() || r.sub_key.empty()) continue;
    if (r.sub_key.size() == sub_key.size() ? r.tail != tail : sub_key[r.sub_key.size()] != '\\') continue;
    if (same_folded(r.sub_key, sub_key.substr(0, r.sub_key.size()))) return win::error_file_not_found;
  }
  key_hash h(root, sub_key);
  const std::uint64_t hash = h.whole();
  if (!absent_.empty()) {
    auto known_absent = [&](std::uint64_t hash_of, std::size_t end) {
      const absent_key* found = find_absent(hash_of);
      return found != nullptr && found->root == root &&
             equal_ignoring_case(std::string_view(absent_text_).substr(found->offset, found->length),
                                     sub_key.substr(0, end));
    };
    for (std::size_t at = 0; at < sub_key.size(); ++at) {
      if (sub_key[at] == '\\' && known_absent(h.of(at), at)) return win::error_file_not_found;
    }
    if (known_absent(hash, sub_key.size())) return win::error_file_not_found;
  }
  win::reg_key handle = 0;
  const long status = open_in_steps(m, root, sub_key, access, &handle);
  if (status == win::error_file_not_found && add_absent(hash, root, sub_key) && !sub_key.empty()) {
    // Kept beside only when the table holds it: the two must never give different answers.
    recent_absent& r = recent_absent_[next_recent_ % recent_absent_.size()];
    ++next_recent_;
    r.root = root;
    r.tail = tail;
    r.sub_key.assign(sub_key);
  }
  if (status != 0) return status;
  std::size_t slot = open_.size();
  if (open_.size() >= max_open) {
    // The key used longest ago makes room; its entry is taken over (and its text's storage with it).
    slot = 0;
    for (std::size_t i = 1; i < open_.size(); ++i) {
      if (open_[i].used < open_[slot].used) slot = i;
    }
    m.reg_close_key(open_[slot].handle);
  } else {
    open_.emplace_back();
  }
  open_key& k = open_[slot];
  k.root = root;
  k.access = access;
  k.tail = tail;
  k.sub_key.assign(sub_key);
  k.handle = handle;
  k.has_info = false;
  k.info_status = 0;
  k.info = {};
  k.has_name = false;
  k.name_status = 0;
  k.name.clear();
  k.missing = 0;
  k.listed = false;
  k.names_usable = false;
  k.names.clear();
  k.used = ++clock_;
  last_ = slot;
  *key = handle;
  return 0;
}

bool key_cache::info(machine& m, win::reg_key key, reg_key_info& out) {
  for (open_key& k : open_) {
    if (k.handle != key) continue;
    if (!k.has_info) {
      k.info_status = m.reg_query_info_key(key, &k.info);
      k.has_info = true;
    }
    out = k.info;
    return k.info_status == 0;
  }
  return m.reg_query_info_key(key, &out) == 0;
}

long key_cache::name(machine& m, win::reg_key key, std::string& out) {
  for (open_key& k : open_) {
    if (k.handle != key) continue;
    if (!k.has_name) {
      k.name_status = m.reg_key_name(key, k.name);
      k.has_name = true;
    }
    if (k.name_status == 0) out = k.name;
    return k.name_status;
  }
  return m.reg_key_name(key, out);
}

key_cache::open_key* key_cache::find_open(win::reg_key key) {
  if (last_ < open_.size() && open_[last_].handle == key) return &open_[last_];
  for (open_key& k : open_) {
    if (k.handle == key) return &k;
  }
  return nullptr;
}

void key_cache::note_missing_value(win::reg_key key) {
  if (open_key* k = find_open(key)) ++k->missing;
}

bool key_cache::lacks_value(machine& m, win::reg_key key, std::string_view name) {
  open_key* k = find_open(key);
  if (k == nullptr || !is_ascii(name)) return false;
  if (!k->listed) {
    if (!k->has_info || k->info_status != 0 || k->info.values > max_listed_values ||
        k->info.values + 1 > 2 * static_cast<std::uint64_t>(k->missing)) {
      return false;
    }
    k->listed = true;
    k->names.clear();
    std::string listed;
    for (std::uint32_t index = 0;; ++index) {
      std::uint32_t type = 0, size = 0;
      const long e = m.reg_enum_value(key, index, listed, &type, nullptr, &size);
      if (e == win::error_no_more_items) {
        k->names_usable = true;
        break;
      }
      // A name the enumeration cannot give, or one the system may match by rules of its own: no list.
      if (e != 0 || !is_ascii(listed) || index > max_listed_values) break;
      for (char& c : listed) c = ascii_lower(c);
      k->names.push_back(listed);
    }
    if (!k->names_usable) {
      k->names.clear();
      k->names.shrink_to_fit();
    }
    std::sort(k->names.begin(), k->names.end());
  }
  if (!k->names_usable) return false;
  std::string wanted(name);
  for (char& c : wanted) c = ascii_lower(c);
  return !std::binary_search(k->names.begin(), k->names.end(), wanted);
}

void key_cache::close_all(machine& m) {
  for (const open_key& k : open_) m.reg_close_key(k.handle);
  open_.clear();
  last_ = 0;
}

void registry_state_deleter::operator()(registry_state* state) const { delete state; }

registry_state& registry_of(run_state& rs) {
  if (!rs.registry) {
    rs.registry.reset(new registry_state());
    rs.registry->sys = rs.sys;
  }
  return *rs.registry;
}

registry_state& begin_registry_section(run_state& rs) {
  registry_state& state = registry_of(rs);
  if (!rs.reg_open) {
    // Every run opens the removal script by its end, and it stays open until then: a registry section that
    // finds it closed belongs to a new run.
    state.keys.close_all(*state.sys);
    state.keys.forget_absent();
    state.facts.clear();
    for (registry_state::recent_key& k : state.recent_keys) k.text.clear();
    state.deleted_values.clear();
    state.deleted_existing.clear();
    state.restored_keys.clear();
    state.undone_creations.clear();
    state.loaded_hives.clear();
    state.recorded_array = nullptr;
    state.recorded_count = 0;
    state.recorded_longest = 0;
    state.sys = rs.sys;
    open_removal_script(rs);
  }
  return state;
}

void end_registry_section(run_state& rs) {
  registry_state& state = registry_of(rs);
  state.keys.close_all(*state.sys);
}

const hive_name* find_hive(std::string_view part) {
  for (const hive_name& h : hive_names) {
    if (part == h.long_name || part == h.short_name) return &h;
  }
  return nullptr;
}

int probe_regkey(run_state& rs) {
  registry_state& state = registry_of(rs);
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  const std::size_t start = static_cast<std::size_t>(state.key_start);
  std::size_t hive_end = find_first_char(line, "\n\\", start);
  if (hive_end == std::string_view::npos) hive_end = line.size();
  if (longer_than(line.substr(start, hive_end - start), part_limit - 1)) {
    show_message(rs, msg::hive_too_long, rs.line_buf);
    return win::error_file_not_found;
  }
  const hive_name* hive = find_hive(line.substr(start, hive_end - start));
  std::string_view sub_key;
  if (hive_end < line.size() && line[hive_end] == '\\') {
    const std::size_t sub_start = hive_end + 1;
    std::size_t sub_end = find_first_char(line, "\r\n", sub_start);  // a TAB belongs to the key's name
    if (sub_end == std::string_view::npos) sub_end = line.size();
    sub_key = line.substr(sub_start, sub_end - sub_start);
  }
  if (longer_than(sub_key, part_limit - 1)) {
    show_message(rs, msg::sub_key_too_long, rs.line_buf);
    return win::error_file_not_found;
  }
  win::reg_key key = 0;
  // Without a hive the open is made without a root, and the system refuses it as an invalid handle.
  const long status = hive != nullptr
                          ? state.keys.open(*rs.sys, hive->root, sub_key, rs.access_mask, &key)
                          : rs.sys->reg_open_key(0, std::string(sub_key).c_str(), rs.access_mask, &key);
  if (hive == nullptr && status == 0) rs.sys->reg_close_key(key);
  if (status == 0 || status == 1 || status == win::error_file_not_found) return static_cast<int>(status);

  std::string reason = rs.sys->error_text(status);
  // The system ends its text with a line break; the entry gets its own line end.
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
    reason.pop_back();
  }
  if (line.size() > error_line_limit) {
    show_message(rs, msg::errmsg_line_too_long, rs.line_buf);
    rs.line_buf[error_line_limit] = '\0';
    rs.line_len = static_cast<int>(error_line_limit);
  }
  clear_text(rs.out_line);
  copy_text(rs.out_line, view_of(rs.line_buf));
  append_text(rs.out_line, reason);
  write_error_entry(rs);
  return status == win::error_no_system_resources ? win::error_file_not_found : static_cast<int>(status);
}

namespace {

// Makes value_data hold at least `size` bytes. False when memory runs out: the value then cannot be read.
bool fit_value_data(run_state& rs, std::uint32_t size) {
  if (size <= static_cast<std::uint32_t>(rs.value_data_size)) return true;
  std::unique_ptr<char[]> grown(new (std::nothrow) char[static_cast<std::size_t>(size) + 2]());
  if (!grown) return false;
  rs.value_data = std::move(grown);
  rs.value_data_size = static_cast<int>(size);
  return true;
}

// Looks the value up by its exact name among the key's values, for when the lookup by name failed for a
// reason other than the value's absence. Found: its type and data go into the state and value_data, so that
// the entry is encoded from this value. Returns the code that ended the enumeration, 0 when found.
long enumerate_for(run_state& rs, registry_state& state, win::reg_key key) {
  const std::string_view wanted = view_of(state.value_name);
  std::string name;
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t type = 0;
    std::uint32_t data_len = 0;
    // Names only: the data is read for the one value that matches.
    const long e = rs.sys->reg_enum_value(key, index, name, &type, nullptr, &data_len);
    if (e == win::error_no_unicode_translation) continue;  // not the wanted name, which is UTF-8
    if (e != 0) return e;
    if (name != wanted) continue;
    for (;;) {
      if (!fit_value_data(rs, data_len)) return win::error_more_data;
      data_len = static_cast<std::uint32_t>(rs.value_data_size);
      const long d = rs.sys->reg_enum_value(key, index, name, &type,
                                            reinterpret_cast<unsigned char*>(rs.value_data.get()), &data_len);
      if (d == win::error_more_data && data_len > static_cast<std::uint32_t>(rs.value_data_size)) continue;
      if (d != 0) return d;
      break;
    }
    state.value_type = type;
    state.data_len = static_cast<int>(data_len);
    state.found_by_enumeration = true;
    return 0;
  }
}

}  // namespace

int probe_regvalue(run_state& rs) {
  registry_state& state = registry_of(rs);
  state.found_by_enumeration = false;
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  const value_split& s = state.split;
  const std::string_view path = line.substr(static_cast<std::size_t>(s.key_start),
                                            static_cast<std::size_t>(s.key_end - s.key_start));
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  const hive_name* hive = find_hive(path.substr(0, hive_end));
  if (hive == nullptr) return win::error_invalid_handle;
  const std::string_view sub_key = hive_end < path.size() ? path.substr(hive_end + 1) : std::string_view();
  if (longer_than(sub_key, part_limit - 1)) return win::error_file_not_found;

  // Keys and values in one view of the registry: the value's key is opened as the key probe opens keys.
  win::reg_key key = 0;
  const long opened = state.keys.open(*rs.sys, hive->root, sub_key, rs.access_mask, &key);
  if (opened != 0) return static_cast<int>(opened);
  // Most values that a large report lists are gone, from keys that hold a few: the key's names answer.
  if (state.keys.lacks_value(*rs.sys, key, view_of(state.value_name))) {
    reg_key_info info;
    state.keys.info(*rs.sys, key, info);
    return info.values == 0 ? 4 : win::error_no_more_items;  // as the lookup below answers
  }

  // Direct lookup, growing value_data while the system asks for more room.
  long status = 0;
  for (;;) {
    std::uint32_t type = 0;
    auto len = static_cast<std::uint32_t>(rs.value_data_size);
    status = rs.sys->reg_query_value(key, state.value_name, &type,
                                     reinterpret_cast<unsigned char*>(rs.value_data.get()), &len);
    if (status == 0) {
      state.value_type = type;
      state.data_len = static_cast<int>(len);
      return 0;
    }
    if (status != win::error_more_data || len <= static_cast<std::uint32_t>(rs.value_data_size)) break;
    if (!fit_value_data(rs, len)) return win::error_more_data;  // cannot be read: taken as gone
  }

  if (status == win::error_file_not_found) state.keys.note_missing_value(key);
  reg_key_info info;
  if (!state.keys.info(*rs.sys, key, info)) return static_cast<int>(rs.sys->reg_query_info_key(key, &info));
  if (info.values == 0) return 4;
  // The lookup ignores case and the name is the value's whole name: when it says the value is absent, no
  // enumeration can find it. Only a lookup that failed otherwise leaves the question open.
  if (status == win::error_file_not_found) return win::error_no_more_items;
  return static_cast<int>(enumerate_for(rs, state, key));
}

}  // namespace resivex
