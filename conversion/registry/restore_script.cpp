// See restore_script.h.
#include "conversion/registry/restore_script.h"

#include "conversion/convert.h"
#include "conversion/registry/encoders.h"
#include "conversion/registry/entry_line.h"
#include "conversion/registry/key_names.h"
#include "conversion/registry/probe.h"
#include "conversion/registry/removal_script.h"
#include "conversion/registry/undo_script.h"
#include "conversion/registry/value_entry.h"
#include "conversion/unicode.h"

namespace resivex {

namespace {

// The skip words of the reset script: what Windows itself keeps writing.
const std::initializer_list<std::string_view> skip_words = {"\\Seed", "\\TotalUsedClusters:", "\\BitBucket\\",
                                                                 "\\MountPoints\\"};

constexpr const char* sz_alike = "the report shows REG_SZ and REG_EXPAND_SZ (and REG_MULTI_SZ) data alike";
constexpr const char* dword_alike = "the report shows REG_DWORD and REG_DWORD_BIG_ENDIAN data alike";
constexpr const char* binary_alike = "the report shows REG_BINARY and every type without a notation of its own alike";
constexpr const char* empty_alike = "the report shows zero-length data of every type alike";

const char* type_name(std::uint32_t type) {
  switch (type) {
    case win::reg_sz: return "REG_SZ";
    case win::reg_expand_sz: return "REG_EXPAND_SZ";
    case win::reg_binary: return "REG_BINARY";
    case win::reg_dword: return "REG_DWORD";
    case win::reg_multi_sz: return "REG_MULTI_SZ";
    case win::reg_qword: return "REG_QWORD";
    default: return "an unknown type";
  }
}

bool excluded(const run_state& rs, std::string_view line) {
  for (const std::string& text : rs.excl_list) {
    if (!text.empty() && line.find(text) != std::string_view::npos) return true;
  }
  return false;
}

// Appends a string's UTF-16LE bytes and its terminator.
void append_string(std::string& bytes, std::string_view text) {
  append_utf16le(text, bytes);
  bytes.append("\0\0", 2);
}

std::uint64_t key_id(std::string_view path) {
  std::string full;
  if (!long_key_path(path, full)) full.assign(path);
  return key_hash(0, full).whole();
}

void write_text(run_state& rs, std::string_view text) {
  open_restore_script(rs);
  rs.restore.write(text);
}

// The lines of an entry, each with ";" in front when commented.
void write_entry_lines(run_state& rs, std::string_view text, bool commented) {
  for (;;) {
    const std::size_t nl = text.find('\n');
    if (commented) write_text(rs, ";");
    write_text(rs, text.substr(0, nl));
    write_text(rs, "\n");
    if (nl == std::string_view::npos) return;
    text.remove_prefix(nl + 1);
  }
}

// Remembers a key the undo script must remove again, once.
void undo_creation(run_state& rs, registry_state& state, const std::string& created, bool commented) {
  if (created.empty()) return;
  if (!state.undone_creations.insert(key_hash(commented ? 1 : 0, created).whole()).second) return;
  undo_created_key(rs, created, commented);
}

bool from_ansi_report(const run_state& rs) {
  return rs.report != nullptr && rs.report->encoding() == report_encoding::ansi;
}

// Regshot's ANSI builds write "?" for a character their code page cannot hold: a name written from such a "?"
// would create a key or value that never existed. The part of a key path that already exists was found on the
// machine under that very name, so only the names to be created count.
constexpr const char* lost_name = "its name holds \"?\", which Regshot's ANSI build writes for a character its code "
                                  "page cannot hold";

bool names_lost_character(const run_state& rs, std::string_view resolved, const std::string& created) {
  if (!from_ansi_report(rs) || created.empty()) return false;
  const std::size_t parent_end = created.rfind('\\');
  return resolved.find('?', parent_end == std::string::npos ? 0 : parent_end) != std::string_view::npos;
}

}  // namespace

restore_data restore_data_of(std::string_view d, bool ansi_report) {
  restore_data r;
  std::string bytes;
  if (d.empty() || d == "(NULL!)") {
    r.writable = true;
    r.type = win::reg_binary;
    r.data = "hex:";
    r.why = empty_alike;
    return r;
  }
  if (d.size() >= 2 && d.front() == '"' && d.back() == '"') {
    const std::string_view text = d.substr(1, d.size() - 2);
    if (ansi_report && text.find('?') != std::string_view::npos) {
      r.why = "its data holds \"?\", which Regshot's ANSI build writes for a character its code page cannot hold";
      return r;
    }
    r.writable = true;
    r.why = sz_alike;
    if (text.find("\", \"") != std::string_view::npos) {
      // Most likely the strings of a multi-string (Regshot 1.9.1 writes them so).
      r.type = win::reg_multi_sz;
      std::string_view rest = text;
      for (;;) {
        const std::size_t next = rest.find("\", \"");
        append_string(bytes, rest.substr(0, next));
        if (next == std::string_view::npos) break;
        rest.remove_prefix(next + 4);
      }
      bytes.append("\0\0", 2);
      r.data = "hex(7):";
      append_hex_list(r.data, bytes, 0);
      return r;
    }
    const std::size_t percent = text.find('%');
    const bool variable = percent != std::string_view::npos && text.find('%', percent + 1) != std::string_view::npos;
    r.type = variable ? win::reg_expand_sz : win::reg_sz;
    std::string quoted;
    if (!variable && find_first_char(text, "\r\n") == std::string_view::npos && quoted_value_name(text, false, quoted)) {
      r.data = quoted;
      return r;
    }
    append_string(bytes, text);
    r.data = variable ? "hex(2):" : "hex(1):";
    append_hex_list(r.data, bytes, 0);
    return r;
  }
  if (is_regshot_number(d, 8)) {
    r.writable = true;
    r.type = win::reg_dword;
    r.data = "dword:" + std::string(d.substr(2));
    r.why = dword_alike;
    return r;
  }
  if (is_regshot_number(d, 16)) {
    // Only Regshot 1.9.1 writes a number of sixteen digits, and only for a REG_QWORD: least significant first.
    for (std::size_t i = 16; i >= 2; i -= 2) {
      bytes += static_cast<char>(std::stoi(std::string(d.substr(i, 2)), nullptr, 16));
    }
    r.writable = r.exact = true;
    r.type = win::reg_qword;
    r.data = "hex(b):";
    append_hex_list(r.data, bytes, 0);
    return r;
  }
  if (d.front() == '\'') {
    r.why = "Regshot 1.8 shows a multi-string with blanks in place of the separators of its strings";
    return r;
  }
  bool cut = false;
  if (parse_hex_bytes(d, bytes, cut)) {
    if (cut) {
      r.why = "Regshot cut its data short";
      return r;
    }
    r.writable = true;
    r.type = win::reg_binary;
    r.data = "hex:";
    append_hex_list(r.data, bytes, 0);
    r.why = binary_alike;
    return r;
  }
  r.why = "the report shows its data in a notation this program does not know";
  return r;
}

void open_restore_script(run_state& rs) {
  if (rs.restore_open) return;
  rs.restore_open = true;
  if (!rs.restore.create(*rs.sys, rs.restore_name.c_str(), file_encoding::utf16le_bom)) {
    show_message(rs, msg::output_open_failed, rs.restore_name.c_str());
    end_process(exit_code::open_failed);
  }
  rs.restore.write("Windows Registry Editor Version 5.00\n\n");
  rs.restore.write("; The following registry entries were deleted and are still missing...\n");
  rs.restore.write("; The entries will be RESTORED if you execute file " + rs.restore_name + " \n");
  rs.restore.write("; " + registry_view_note(rs.view, rs.windows_64bit) + "\n");
  rs.restore.write("; Entries whose data the report does not show exactly are comment lines: remove their \";\" to "
                   "restore them.\n");
  rs.restore.write("; To undo: import " + rs.undo_name + "\n\n");
}

void handle_keys_deleted(run_state& rs) {
  registry_section section(rs);
  registry_state& state = section.state();
  const int announced = parse_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  write_text(rs, " \n; Restore keys deleted...\n \n");
  std::string name, created, why, label;
  run_tally& tally = rs.tally;
  for (int handled = 0; handled < announced; ++handled) {
    if (read_report_entry(rs, entry_kind::registry) != entry_status::entry) return;
    count_entry(tally, report_section::keys_deleted);
    std::string_view path;
    if (!key_entry_path(
            rs, state,
            [](const run_state& r, std::string_view line) { return holds_any(line, skip_words) || excluded(r, line); },
            path)) {
      continue;
    }
    if (!resolve_missing_key(rs, path, name, created, why)) {
      comment_text(path, label);
      write_text(rs, "; Not restored: " + label + " (" + why + ")\n");
      ++tally.inexpressible;
      continue;
    }
    if (created.empty()) continue;  // it exists again
    if (names_lost_character(rs, name, created)) {
      comment_text(path, label);
      write_text(rs, "; Not restored: " + label + " (" + lost_name + ")\n");
      ++tally.unsafe;
      continue;
    }
    write_text(rs, "[" + name + "]\n");
    ++rs.restore_entries;
    ++tally.written;
    state.restored_keys.insert(key_id(path));
    undo_creation(rs, state, created, false);
  }
}

void restore_deleted_value(run_state& rs, registry_state& state) {
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  run_tally& tally = rs.tally;
  if (rs.line_state.damaged()) {
    ++tally.unsafe;
    return;
  }
  if (holds_any(line, skip_words) || excluded(rs, line) ||
      under_loaded_hive(state, line.substr(static_cast<std::size_t>(state.key_start)))) {
    ++tally.excluded;
    return;
  }
  const int status = resolve_value_entry(rs);
  if (status == 0) {
    // It exists now: nothing to restore, unless "Values added:" lists it as a type change.
    const value_split& s = state.split;
    const std::string_view named = line.substr(static_cast<std::size_t>(s.key_start),
                                               static_cast<std::size_t>(s.name_end - s.key_start));
    const std::string_view body = entry_body(line);
    state.deleted_existing.emplace(std::string(named),
                                   std::string(body.substr(std::min<std::size_t>(data_start_of(line, s), body.size()))));
    return;
  }
  // Which reading names the value: Regshot escapes nothing, and the name may hold backslashes (values named by
  // paths). The key of the deepest reading that exists now, or that this script restores, holds it: every key
  // nearer the hive exists as well.
  split_list readings;
  candidate_splits(line, state.key_start, readings);
  const auto key_of = [&](const value_split& s) {
    return line.substr(static_cast<std::size_t>(s.key_start), static_cast<std::size_t>(s.key_end - s.key_start));
  };
  int chosen = -1;
  for (int i = 0; i < readings.count && chosen < 0; ++i) {
    std::string name, created, why;
    if (state.restored_keys.count(key_id(key_of(readings.items[i]))) != 0 ||
        (resolve_missing_key(rs, key_of(readings.items[i]), name, created, why) && created.empty())) {
      chosen = i;
    }
  }
  if (chosen < 0) {
    if (readings.count > 0) {
      write_text(rs, "; Not restored: " + value_label(line, readings.items[0]) + " (its key is missing)\n");
    }
    ++tally.inexpressible;
    return;
  }
  const value_split s = readings.items[chosen];
  const std::string label = value_label(line, s);
  std::string key_name, created, why;
  if (!resolve_missing_key(rs, key_of(s), key_name, created, why)) {
    write_text(rs, "; Not restored: " + label + " (" + why + ")\n");
    ++tally.inexpressible;
    return;
  }
  const std::string_view value_name = line.substr(static_cast<std::size_t>(s.name_start),
                                                  static_cast<std::size_t>(s.name_end - s.name_start));
  if (names_lost_character(rs, key_name, created) ||
      (from_ansi_report(rs) && value_name.find('?') != std::string_view::npos)) {
    write_text(rs, "; Not restored: " + label + " (" + lost_name + ")\n");
    ++tally.unsafe;
    return;
  }
  std::string name_part;
  if (!quoted_value_name(value_name, s.is_default, name_part)) {
    write_text(rs, "; Not restored: " + label + " (its name holds a line break, which a .reg file cannot hold)\n");
    ++tally.inexpressible;
    return;
  }
  const std::string_view body = entry_body(line);
  const restore_data r = restore_data_of(body.substr(std::min<std::size_t>(data_start_of(line, s), body.size())),
                                         from_ansi_report(rs));
  if (!r.writable) {
    write_text(rs, "; Not restored: " + label + " (" + r.why + ")\n");
    ++tally.inexpressible;
    return;
  }
  if (!r.exact) {
    write_text(rs, "; Not restored exactly: " + label + " (" + r.why + "; most likely " + type_name(r.type) +
                       "). Remove the \";\" of the two lines below to restore it.\n");
  }
  std::string value_line = name_part + "=" + r.data;
  write_entry_lines(rs, "[" + key_name + "]\n" + value_line, !r.exact);
  if (r.exact) {
    ++rs.restore_entries;
    ++tally.written;
  } else {
    ++tally.inexpressible;  // a comment line, for the user to take
  }
  // The undo script removes what this line creates: the value, or the first key on its path that is missing.
  if (created.empty()) {
    undo_created_value(rs, key_name, name_part, !r.exact);
  } else {
    undo_creation(rs, state, created, !r.exact);
  }
}

bool restore_type_change(run_state& rs, registry_state& state, std::string_view resolved_key,
                         std::string_view name_part) {
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  const value_split& s = state.split;
  const std::string named(line.substr(static_cast<std::size_t>(s.key_start),
                                      static_cast<std::size_t>(s.name_end - s.key_start)));
  const auto deleted = state.deleted_existing.find(named);
  if (deleted == state.deleted_existing.end()) return false;
  const std::string label = value_label(line, s);
  const restore_data r = restore_data_of(deleted->second,
                                         from_ansi_report(rs));
  if (!r.writable) {
    write_text(rs, "; Not restored: " + label + " (its type changed; " + r.why + ")\n");
    return false;
  }
  if (!r.exact) {
    write_text(rs, "; Not restored exactly: " + label + " (its type changed; " + r.why + "; most likely " +
                       type_name(r.type) + "). Remove the \";\" of the two lines below to restore it.\n");
  }
  write_entry_lines(rs, "[" + std::string(resolved_key) + "]\n" + std::string(name_part) + "=" + r.data, !r.exact);
  if (r.exact) ++rs.restore_entries;
  // The line overwrites the value it has now: the undo script puts that back.
  undo_value(rs, resolved_key, name_part, state.value_type,
             std::string_view(rs.value_data.get(), static_cast<std::size_t>(state.data_len)), !r.exact);
  return r.exact;
}

}  // namespace resivex
