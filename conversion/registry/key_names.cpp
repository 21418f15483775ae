// See key_names.h.
#include "conversion/registry/key_names.h"

#include "conversion/error_list.h"
#include "conversion/registry/entry_line.h"
#include "conversion/registry/probe.h"

#include <algorithm>

namespace resivex {

namespace {

bool starts_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equal_ignoring_case(text.substr(0, prefix.size()), prefix);
}

// The system's text for a code, without the line end it ends with.
std::string reason_of(run_state& rs, long code) {
  std::string text = rs.sys->error_text(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "system error " + std::to_string(code);
  return text;
}

// The report's key path as its hive and the key below it (no backslash at its end).
bool split_report_path(std::string_view path, const hive_name*& hive, std::string_view& sub_key, std::string& why) {
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  hive = find_hive(path.substr(0, hive_end));
  if (hive == nullptr) {
    why = "its hive is none that this program knows";
    return false;
  }
  sub_key = hive_end < path.size() ? path.substr(hive_end + 1) : std::string_view();
  while (!sub_key.empty() && sub_key.back() == '\\') sub_key.remove_suffix(1);
  return true;
}

}  // namespace

bool regedit_key_name(std::string_view system_name, std::string& out) {
  static constexpr struct {
    std::string_view system;
    std::string_view regedit;
  } roots[] = {{"\\REGISTRY\\MACHINE", "HKEY_LOCAL_MACHINE"}, {"\\REGISTRY\\USER", "HKEY_USERS"}};
  for (const auto& root : roots) {
    if (!starts_ignoring_case(system_name, root.system)) continue;
    const std::string_view rest = system_name.substr(root.system.size());
    if (!rest.empty() && rest.front() != '\\') continue;
    out.assign(root.regedit);
    out.append(rest);
    return true;
  }
  return false;
}

bool resolve_key_name(run_state& rs, win::reg_key root, std::string_view sub_key, std::string& out,
                      std::string& why) {
  registry_state& state = registry_of(rs);
  win::reg_key key = 0;
  const long opened = state.keys.open(*rs.sys, root, sub_key, rs.access_mask, &key);
  if (opened != 0) {
    why = "it cannot be opened again to read its full name: " + reason_of(rs, opened);
    return false;
  }
  std::string system_name;
  const long named = state.keys.name(*rs.sys, key, system_name);
  if (named != 0) {
    why = "its full name cannot be read: " + reason_of(rs, named);
    return false;
  }
  std::string name;
  if (!regedit_key_name(system_name, name)) {
    std::string shown;
    comment_text(system_name, shown);
    why = "its full name " + shown + " lies in no hive that a .reg file can name";
    return false;
  }
  if (find_first_char(name, "\r\n") != std::string::npos) {
    why = "its full name holds a line break, which a .reg file cannot hold";
    return false;
  }
  out = std::move(name);
  return true;
}

bool resolve_report_key(run_state& rs, std::string_view path, std::string& out, std::string& why) {
  const hive_name* hive = nullptr;
  std::string_view sub_key;
  if (!split_report_path(path, hive, sub_key, why)) return false;
  return resolve_key_name(rs, hive->root, sub_key, out, why);
}

bool resolve_missing_key(run_state& rs, std::string_view path, std::string& out, std::string& created,
                         std::string& why) {
  const hive_name* hive = nullptr;
  std::string_view sub_key;
  if (!split_report_path(path, hive, sub_key, why)) return false;
  registry_state& state = registry_of(rs);
  // From the key itself up to the hive: the first that opens is the nearest existing ancestor.
  for (std::size_t end = sub_key.size();;) {
    win::reg_key key = 0;
    const std::string_view ancestor = sub_key.substr(0, end);
    if (state.keys.open(*rs.sys, hive->root, ancestor, rs.access_mask, &key) == 0) {
      std::string name;
      if (!resolve_key_name(rs, hive->root, ancestor, name, why)) return false;
      out = name;
      created.clear();
      if (end < sub_key.size()) {
        const std::string_view rest = sub_key.substr(end == 0 ? 0 : end + 1);
        out += "\\";
        out.append(rest);
        created = name + "\\" + std::string(rest.substr(0, rest.find('\\')));
      }
      return true;
    }
    if (end == 0) break;
    const std::size_t slash = ancestor.rfind('\\');
    end = slash == std::string_view::npos ? 0 : slash;
  }
  why = "no key on its path can be opened";
  return false;
}

void write_unnamed_key_entry(run_state& rs, std::string_view why) {
  std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  line = line.substr(0, error_line_limit);
  clear_text(rs.out_line);
  copy_text(rs.out_line, line);
  if (line.empty() || line.back() != '\n') append_text(rs.out_line, "\n");
  append_text(rs.out_line, "No line was written for it: ");
  append_text(rs.out_line, why);
  write_error_entry(rs);
}

}  // namespace resivex
