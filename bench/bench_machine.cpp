// See bench_machine.h.
#include "bench/bench_machine.h"

#include "bench/report_generator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace resivex::bench {

namespace {

constexpr win::reg_key first_handle = 0x10000;  // far from null and from the predefined keys

struct root_name {
  win::reg_key root;
  std::string_view long_name;
  std::string_view short_name;
};

constexpr root_name roots[] = {
    {win::hkey_classes_root, "HKEY_CLASSES_ROOT", "HKCR"},
    {win::hkey_current_user, "HKEY_CURRENT_USER", "HKCU"},
    {win::hkey_local_machine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {win::hkey_users, "HKEY_USERS", "HKU"},
    {win::hkey_current_config, "HKEY_CURRENT_CONFIG", "HKCC"},
};

void append_upper(std::string& out, std::string_view s) {
  const std::size_t at = out.size();
  out.resize(at + s.size());
  // Plain pointers, so that the compiler may turn the loop into vector operations.
  char* to = out.data() + at;
  const char* from = s.data();
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = from[i];
    to[i] = static_cast<char>(c - ((c >= 'a' && c <= 'z') ? 32 : 0));
  }
}

// Equal without regard to case (ASCII), as the registry compares names. From the end: names of one key most
// often differ only in their last characters (numbered names).
bool same_upper(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = a.size(); i-- > 0;) {
    const char x = a[i], y = b[i];
    if (x != y && static_cast<char>(x - ((x >= 'a' && x <= 'z') ? 32 : 0)) !=
                      static_cast<char>(y - ((y >= 'a' && y <= 'z') ? 32 : 0))) {
      return false;
    }
  }
  return true;
}

std::uint64_t value_hash(std::uint64_t key_hash, std::string_view upper_name) {
  return path_hash(upper_name) ^ (key_hash * 0xD6E8FEB86659FD93ull + 0x632BE59BD9B4E019ull);
}

// The data every value of a type holds here: what the core does with live data does not depend on it.
std::string_view data_of(std::uint32_t type) {
  switch (type) {
    case win::reg_sz:
    case win::reg_expand_sz: return std::string_view("x\0", 2);
    case win::reg_multi_sz: return std::string_view("x\0\0", 3);
    case win::reg_qword: return std::string_view("\1\0\0\0\0\0\0\0", 8);
    case win::reg_binary: return std::string_view("\1\2", 2);
    default: return std::string_view("\1\0\0\0", 4);
  }
}

}  // namespace

std::string bench_machine::canonical(std::string_view path) const {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  const std::string_view hive = path.substr(0, hive_end);
  std::string out;
  for (const root_name& r : roots) {
    if (hive == r.long_name || hive == r.short_name) out = r.long_name;
  }
  if (out.empty()) append_upper(out, hive);
  append_upper(out, path.substr(hive_end));
  return out;
}

const std::uint32_t* bench_machine::hash_index::find(std::uint64_t hash) const {
  if (slots_.empty()) return nullptr;
  if (hash == 0) hash = 1;
  const std::size_t bit = filter_bit(hash);
  if ((filter_[bit >> 6] >> (bit & 63) & 1) == 0) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (slots_[i].hash == hash) return &slots_[i].number;
    if (slots_[i].hash == 0) return nullptr;
  }
}

std::uint32_t bench_machine::hash_index::insert(std::uint64_t hash, std::uint32_t number) {
  if (hash == 0) hash = 1;
  if (const std::uint32_t* there = find(hash)) return *there;
  if ((count_ + 1) * 2 > slots_.size()) {
    std::vector<slot> old(slots_.empty() ? 1024 : slots_.size() * 2, slot{0, 0});
    old.swap(slots_);
    filter_.assign(slots_.size() / 8, 0);
    const std::size_t mask = slots_.size() - 1;
    for (const slot& s : old) {
      if (s.hash == 0) continue;
      std::size_t i = s.hash & mask;
      while (slots_[i].hash != 0) i = (i + 1) & mask;
      slots_[i] = s;
      const std::size_t bit = filter_bit(s.hash);
      filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i].hash != 0) i = (i + 1) & mask;
  slots_[i] = {hash, number};
  const std::size_t bit = filter_bit(hash);
  filter_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
  ++count_;
  return number;
}

void bench_machine::add_key(std::string_view path) {
  const std::string full = canonical(path);
  for (std::size_t i = 0; i <= full.size(); ++i) {
    if (i != full.size() && full[i] != '\\') continue;
    const auto next = static_cast<std::uint32_t>(keys_.size());
    if (key_index_.insert(path_hash(std::string_view(full).substr(0, i)), next) == next) keys_.emplace_back();
  }
}

void bench_machine::add_value(std::string_view key_path, std::string_view name, std::uint32_t type) {
  add_key(key_path);
  const std::uint64_t key_hash = path_hash(canonical(key_path));
  std::string upper;
  append_upper(upper, name);
  const std::uint64_t hash = value_hash(key_hash, upper);
  if (value_index_.find(hash) != nullptr) return;
  value_index_.insert(hash, type);
  key_rec& k = keys_[*key_index_.find(key_hash)];
  k.values.push_back({std::string(name), type});
  k.max_name_len = std::max(k.max_name_len, static_cast<std::uint32_t>(name.size()));
  k.max_data_len = std::max(k.max_data_len, static_cast<std::uint32_t>(data_of(type).size()));
}

bool bench_machine::full_key_path(win::reg_key root, std::string_view sub_key, std::string& out) const {
  out.clear();
  for (const root_name& r : roots) {
    if (root == r.root) out = r.long_name;
  }
  if (out.empty()) {
    if (root < first_handle || root - first_handle >= handles_.size()) return false;
    const handle_rec& h = handles_[root - first_handle];
    if (!h.open) return false;
    out = h.path;
  }
  while (!sub_key.empty() && sub_key.back() == '\\') sub_key.remove_suffix(1);  // names the same key
  if (!sub_key.empty()) {
    out += '\\';
    append_upper(out, sub_key);
  }
  return true;
}

bench_machine::key_rec* bench_machine::key_at(win::reg_key key) {
  std::uint64_t hash = 0;
  if (key >= first_handle && key - first_handle < handles_.size() && handles_[key - first_handle].open) {
    hash = handles_[key - first_handle].hash;
  } else if (full_key_path(key, {}, scratch_)) {
    hash = path_hash(scratch_);
  } else {
    return nullptr;
  }
  const std::uint32_t* at = key_index_.find(hash);
  return at == nullptr ? nullptr : &keys_[*at];
}

std::size_t bench_machine::open_handles() const {
  return static_cast<std::size_t>(std::count_if(handles_.begin(), handles_.end(), [](const handle_rec& h) { return h.open; }));
}

long bench_machine::reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t, win::reg_key* key) {
  ++calls.key_opens;
  if (!full_key_path(root, sub_key, scratch_)) return win::error_invalid_handle;
  const std::uint64_t hash = path_hash(scratch_);
  const std::uint32_t* at = key_index_.find(hash);
  if (at == nullptr && scratch_.find('\\') != std::string::npos) return win::error_file_not_found;
  std::size_t slot = first_free_;
  while (slot < handles_.size() && handles_[slot].open) ++slot;
  if (slot == handles_.size()) handles_.emplace_back();
  first_free_ = slot + 1;
  handle_rec& h = handles_[slot];
  h.path.assign(scratch_);  // into the storage the slot had: no allocation once the slots have grown
  h.hash = hash;
  h.key = at == nullptr ? no_key : *at;
  h.open = true;
  *key = first_handle + slot;
  return 0;
}

long bench_machine::reg_key_name(win::reg_key key, std::string& out) {
  if (key < first_handle || key - first_handle >= handles_.size() || !handles_[key - first_handle].open) {
    return win::error_invalid_handle;
  }
  const std::string& path = handles_[key - first_handle].path;  // its hive named in full
  static constexpr struct {
    std::string_view hive, system;
  } names[] = {{"HKEY_LOCAL_MACHINE", "\\REGISTRY\\MACHINE"},
               {"HKEY_USERS", "\\REGISTRY\\USER"},
               {"HKEY_CURRENT_USER", "\\REGISTRY\\USER\\S-1-5-21-0-0-0-1000"},
               {"HKEY_CLASSES_ROOT", "\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES"},
               {"HKEY_CURRENT_CONFIG", "\\REGISTRY\\MACHINE\\SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT"}};
  for (const auto& n : names) {
    if (path.compare(0, n.hive.size(), n.hive) == 0 && (path.size() == n.hive.size() || path[n.hive.size()] == '\\')) {
      out.assign(n.system);
      out.append(path, n.hive.size());
      return 0;
    }
  }
  return win::error_invalid_handle;
}

long bench_machine::reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                                    std::uint32_t* data_len) {
  ++calls.value_queries;
  std::uint64_t key_hash = 0;
  if (key >= first_handle && key - first_handle < handles_.size() && handles_[key - first_handle].open) {
    const handle_rec& h = handles_[key - first_handle];
    if (h.key != no_key && keys_[h.key].values.size() <= listed_values) {
      // The same answer as the index gives, from the key's own short list.
      const std::string_view wanted(name);
      for (const value_rec& v : keys_[h.key].values) {
        if (same_upper(v.name, wanted)) return answer_value(v.type, type, data, data_len);
      }
      return win::error_file_not_found;
    }
    key_hash = h.hash;
  } else if (full_key_path(key, {}, scratch_)) {
    key_hash = path_hash(scratch_);
  } else {
    return win::error_invalid_handle;
  }
  scratch_.clear();
  append_upper(scratch_, name);
  const std::uint32_t* found = value_index_.find(value_hash(key_hash, scratch_));
  if (found == nullptr) return win::error_file_not_found;
  return answer_value(*found, type, data, data_len);
}

long bench_machine::answer_value(std::uint32_t value_type, std::uint32_t* type, unsigned char* data,
                                 std::uint32_t* data_len) {
  const std::string_view bytes = data_of(value_type);
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (data != nullptr && *data_len < needed) {
    *data_len = needed;
    return win::error_more_data;
  }
  if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
  *data_len = needed;
  *type = value_type;
  return 0;
}

bool bench_machine::valid_key(win::reg_key key) const {
  for (const root_name& r : roots) {
    if (key == r.root) return true;
  }
  return key >= first_handle && key - first_handle < handles_.size() && handles_[key - first_handle].open;
}

long bench_machine::reg_query_info_key(win::reg_key key, reg_key_info* info) {
  ++calls.info_queries;
  if (!valid_key(key)) return win::error_invalid_handle;
  const key_rec* k = key_at(key);
  *info = {};
  if (k != nullptr) {
    info->values = static_cast<std::uint32_t>(k->values.size());
    info->max_value_name_len = k->max_name_len;
    info->max_value_data_len = k->max_data_len;
  }
  return 0;
}

long bench_machine::reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* data_len) {
  ++calls.enum_calls;
  if (!valid_key(key)) return win::error_invalid_handle;
  const key_rec* k = key_at(key);
  if (k == nullptr || index >= k->values.size()) return win::error_no_more_items;
  const value_rec& v = k->values[index];
  const std::string_view bytes = data_of(v.type);
  if (data != nullptr && data_len != nullptr && *data_len < bytes.size()) {
    *data_len = static_cast<std::uint32_t>(bytes.size());  // the room the data needs
    return win::error_more_data;
  }
  name = v.name;
  if (data != nullptr && data_len != nullptr) std::memcpy(data, bytes.data(), bytes.size());
  if (data_len != nullptr) *data_len = static_cast<std::uint32_t>(bytes.size());
  if (type != nullptr) *type = v.type;
  return 0;
}

void bench_machine::reg_close_key(win::reg_key key) {
  if (key >= first_handle && key - first_handle < handles_.size()) {
    handles_[key - first_handle].open = false;
    first_free_ = std::min(first_free_, static_cast<std::size_t>(key - first_handle));
  }
}

std::string bench_machine::error_text(long code) { return "System error " + std::to_string(code) + ".\r\n"; }

namespace {

// A folder that the report does not list but that holds what it lists (a vendor's folder, a product's folder
// above its listed "cache data", a folder of left-over files): on the Wine prefix's disk it is there when
// anything in it is, and some of that always is. Only the listed folders exist by the rule alone.
bool holds_listed_items(std::string_view folder) {
  if (folder.size() >= 11 && folder.substr(folder.size() - 11) == "\\cache data") return false;
  const std::size_t last = folder.rfind('\\');
  const std::string_view name = last == std::string_view::npos ? folder : folder.substr(last + 1);
  if (name.size() == 15 && name.substr(0, 8) == "Product ") {
    // Product i is listed itself, but for every fourth (i % 4 == 3), whose "cache data" is listed instead.
    const unsigned last_two = static_cast<unsigned>((name[13] - '0') * 10 + (name[14] - '0'));
    return last_two % 4 == 3;
  }
  return true;
}

}  // namespace

std::uint32_t bench_machine::file_attributes(const char* path) {
  ++calls.attribute_queries;
  const std::string_view p(path);
  // The generator gives every file a three-letter extension and no folder one.
  const bool file = p.size() > 4 && p[p.size() - 4] == '.';
  if (!file && exist_percent_ > 0 && holds_listed_items(p)) return win::file_attribute_directory;
  if (!exists_by_rule(p, exist_percent_)) return win::invalid_file_attributes;
  return file ? 0x20 : win::file_attribute_directory;
}

int bench_machine::file_status(const char* path) {
  ++calls.status_queries;
  // Everything exists at 100%: the rule's answer then needs no look at the path (not even its length).
  if (exist_percent_ >= 100) return 0;
  const std::string_view p(path);
  if (exist_percent_ > 0 && !(p.size() > 4 && p[p.size() - 4] == '.') && holds_listed_items(p)) return 0;
  return exists_by_rule(p, exist_percent_) ? 0 : ENOENT;
}

long long bench_machine::file_size(const char* path) {
  struct stat st {};
  if (path[0] == '\0' || ::stat(path, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

std::FILE* bench_machine::open_file(const char* path, const char* mode) { return std::fopen(path, mode); }

bool bench_machine::full_path(const char* path, std::string& out) {
  out = path;
  return true;
}

int bench_machine::message_box(window_handle, const char* text, const char* caption, unsigned) {
  if (calls.boxes++ == 0) first_box = std::string("[") + caption + "] " + text;
  return 1;
}

bool bench_machine::open_result_window(window_handle, const char*) {
  ++calls.windows;
  return true;
}

bool bench_machine::utf8_from_ansi(std::string_view ansi, std::string& out) {
  out.assign(ansi);  // the benchmark's reports are ASCII
  return true;
}

bool bench_machine::ansi_from_utf8(std::string_view text, std::string& out) {
  out.assign(text);
  return true;
}

bool bench_machine::oem_from_utf8(std::string_view text, std::string& out) {
  out.assign(text);
  return true;
}

}  // namespace resivex::bench
