// See probe.h; the key cache and the registry state are here too.
#include "conversion/registry/probe.h"

#include "conversion/error_list.h"
#include "conversion/registry/removal_script.h"

#include <cstring>
#include <new>
#include <vector>

namespace resivex {

namespace {

constexpr std::size_t part_limit = 1024;        // hive parts and sub-keys the probes take
constexpr std::size_t error_line_limit = 512;   // report line kept in front of an error text
constexpr std::uint32_t enum_name_room = 260;   // value names the enumeration reads

void upper_ascii(std::string& s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
}

std::string_view root_label(win::reg_key root) {
  for (const hive_name& h : hive_names) {
    if (h.root == root) return h.long_name;
  }
  return "?";
}

// True when the absent set holds `name` or one of its ancestors (each ends at a backslash of name).
bool under_absent(const std::set<std::string, std::less<>>& absent, std::string_view name) {
  if (absent.empty()) return false;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '\\') {
      if (absent.find(name.substr(0, i)) != absent.end()) return true;
    }
  }
  return false;
}

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

long key_cache::open(machine& m, win::reg_key root, std::string_view sub_key, std::uint32_t access,
                     win::reg_key* key) {
  while (!sub_key.empty() && sub_key.back() == '\\') sub_key.remove_suffix(1);  // names the same key
  scratch_.assign(root_label(root));
  scratch_ += '\\';
  scratch_.append(sub_key);
  scratch_ += '|';
  scratch_ += std::to_string(access);
  upper_ascii(scratch_);
  const std::string_view path = std::string_view(scratch_).substr(0, scratch_.rfind('|'));
  for (open_key& k : open_) {
    if (k.name == scratch_) {
      k.used = ++clock_;
      *key = k.handle;
      return 0;
    }
  }
  if (under_absent(absent_, path)) return win::error_file_not_found;
  win::reg_key handle = 0;
  const long status = open_in_steps(m, root, sub_key, access, &handle);
  if (status == win::error_file_not_found) {
    if (absent_.size() >= max_absent) absent_.clear();
    absent_.emplace(path);
  }
  if (status != 0) return status;
  if (open_.size() >= max_open) {
    auto oldest = open_.begin();
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if (it->used < oldest->used) oldest = it;
    }
    m.reg_close_key(oldest->handle);
    open_.erase(oldest);
  }
  open_.push_back(open_key{scratch_, handle, false, 0, {}, ++clock_});
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

void key_cache::close_all(machine& m) {
  for (const open_key& k : open_) m.reg_close_key(k.handle);
  open_.clear();
}

registry_state& registry_of(run_state& rs) {
  static registry_state state;
  if (state.owner != &rs) {
    // No key is open between sections, so nothing of the earlier owner's machine is left to close.
    state.~registry_state();
    new (&state) registry_state();
    state.owner = &rs;
    state.sys = rs.sys;
  }
  return state;
}

registry_state& begin_registry_section(run_state& rs) {
  registry_state& state = registry_of(rs);
  if (!rs.reg_open) {
    // Every run opens the removal script by its end, and it stays open until then: a registry section that
    // finds it closed belongs to a new run.
    state.keys.close_all(*state.sys);
    state.keys.forget_absent();
    state.deleted_values.clear();
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
  std::size_t hive_end = line.find_first_of("\t\n\\", start);
  if (hive_end == std::string_view::npos) hive_end = line.size();
  if (hive_end - start >= part_limit) {
    show_message(rs, msg::hive_too_long, rs.line_buf);
    return win::error_file_not_found;
  }
  const hive_name* hive = find_hive(line.substr(start, hive_end - start));
  std::string_view sub_key;
  if (hive_end < line.size() && line[hive_end] == '\\') {
    const std::size_t sub_start = hive_end + 1;
    std::size_t sub_end = line.find_first_of("\t\r\n", sub_start);
    if (sub_end == std::string_view::npos) sub_end = line.size();
    sub_key = line.substr(sub_start, sub_end - sub_start);
  }
  if (sub_key.size() >= part_limit) {
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

int probe_regvalue(run_state& rs) {
  registry_state& state = registry_of(rs);
  state.found_by_enumeration = false;
  state.enumerated_same_name = false;
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  const value_split& s = state.split;
  const std::string_view path = line.substr(static_cast<std::size_t>(s.key_start),
                                            static_cast<std::size_t>(s.key_end - s.key_start));
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  const hive_name* hive = find_hive(path.substr(0, hive_end));
  if (hive == nullptr) return win::error_invalid_handle;
  const std::string_view sub_key = hive_end < path.size() ? path.substr(hive_end + 1) : std::string_view();
  if (sub_key.size() >= part_limit) return win::error_file_not_found;

  win::reg_key key = 0;
  const long opened = state.keys.open(*rs.sys, hive->root, sub_key, rs.access_mask, &key);
  if (opened != 0) return static_cast<int>(opened);

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
    std::unique_ptr<char[]> grown(new (std::nothrow) char[static_cast<std::size_t>(len) + 2]());
    if (!grown) return win::error_more_data;  // cannot be read: taken as gone
    rs.value_data = std::move(grown);
    rs.value_data_size = static_cast<int>(len);
  }

  reg_key_info info;
  if (!state.keys.info(*rs.sys, key, info)) return static_cast<int>(rs.sys->reg_query_info_key(key, &info));
  if (info.values == 0) return 4;

  // The enumeration compares the name up to its first TAB, quote or colon, case counting. When that is the
  // whole name and the lookup (which ignores case) found no such value, it cannot find one either, unless a
  // name too long for its buffer stops it first.
  const std::string_view full_name = view_of(state.value_name);
  const std::string_view enum_name = full_name.substr(0, std::min(full_name.find_first_of("\t\":"), full_name.size()));
  if (enum_name.size() == full_name.size() && status == win::error_file_not_found &&
      info.max_value_name_len < enum_name_room) {
    return win::error_no_more_items;
  }

  std::vector<unsigned char> data;
  try {
    data.resize(static_cast<std::size_t>(info.max_value_data_len) + 1);
  } catch (const std::bad_alloc&) {
    return win::error_more_data;
  }
  char name[enum_name_room + 1];
  for (std::uint32_t index = 0;; ++index) {
    std::uint32_t name_len = enum_name_room;
    std::uint32_t type = 0;
    auto data_len = static_cast<std::uint32_t>(info.max_value_data_len);
    name[0] = '\0';
    const long e = rs.sys->reg_enum_value(key, index, name, &name_len, &type, data.data(), &data_len);
    if (e != 0) return static_cast<int>(e);
    if (std::string_view(name, name_len) != enum_name) continue;
    // Found: what the entry is encoded from is this value, never what an earlier lookup left.
    if (data_len > static_cast<std::uint32_t>(rs.value_data_size)) {
      std::unique_ptr<char[]> grown(new (std::nothrow) char[static_cast<std::size_t>(data_len) + 2]());
      if (!grown) return win::error_more_data;
      rs.value_data = std::move(grown);
      rs.value_data_size = static_cast<int>(data_len);
    }
    if (data_len > 0) std::memcpy(rs.value_data.get(), data.data(), data_len);
    state.value_type = type;
    state.data_len = static_cast<int>(data_len);
    state.found_by_enumeration = true;
    state.enumerated_same_name = enum_name.size() == full_name.size();
    return 0;
  }
}

}  // namespace resivex
