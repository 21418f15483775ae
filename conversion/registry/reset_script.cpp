// The reset registry script's writer and header, and the "Values modified:" section.
#include "conversion/registry/reset_script.h"

#include "conversion/convert.h"
#include "conversion/registry/encoders.h"
#include "conversion/registry/entry_line.h"
#include "conversion/registry/key_names.h"
#include "conversion/registry/removal_script.h"
#include "conversion/registry/undo_script.h"
#include "conversion/registry/value_entry.h"
#include "conversion/unicode.h"

#include <cstring>

namespace resivex {

namespace {

const std::initializer_list<std::string_view> skip_words = {"\\Seed", "\\TotalUsedClusters:", "\\BitBucket\\",
                                                                 "\\MountPoints\\"};
constexpr std::size_t count_limit = 1024;

void write_text_line(run_state& rs, std::string_view text) {
  clear_text(rs.out_line);
  copy_text(rs.out_line, text);
  write_reset_line(rs);
}

void check_name(run_state& rs, const message& changed) {
  if (rs.Fileoutn2 != rs.name_check) show_message(rs, changed, rs.Fileoutn2.c_str());
}

bool excluded(const run_state& rs, std::string_view line) {
  for (const std::string& text : rs.excl_list) {
    if (!text.empty() && line.find(text) != std::string_view::npos) return true;
  }
  return false;
}

// Why a line's text is not what the report says.
const char* damage_reason(const line_flags& f) {
  if (f.cut) return "its entry in the report is longer than this program reads";
  if (f.lossy) return "its entry in the report holds what names no character";
  if (f.breaks_unsure) {
    return "its data holds line breaks and its entry is longer than 1000 characters, where Regshot breaks lines "
           "too";
  }
  return "its entry in the report holds NUL characters";
}

// The entry as far as it names the value (up to its last ": "), for the comment of a damaged entry.
std::string damaged_label(std::string_view line, int key_start) {
  std::string_view body = entry_body(line).substr(static_cast<std::size_t>(key_start));
  const std::size_t sep = body.rfind(": ");
  if (sep != std::string_view::npos) body = body.substr(0, sep);
  std::string label;
  comment_text(body.substr(0, 900), label);
  return label;
}

int run_encoder(run_state& rs, std::uint32_t type) {
  switch (type) {
    case win::reg_sz: return encode_string(rs);
    case win::reg_expand_sz: return encode_expand_string(rs);
    case win::reg_binary: return encode_binary(rs);
    case win::reg_dword: return encode_dword(rs);
    case win::reg_multi_sz: return encode_multi_string(rs);
    case win::reg_qword: return encode_qword(rs);
    default: return -1;
  }
}

// Each physical line of the value text fits an output line.
bool lines_fit(std::string_view text) {
  for (;;) {
    const std::size_t nl = text.find('\n');
    if (longer_than(text.substr(0, nl), line_char_limit)) return false;
    if (nl == std::string_view::npos) return true;
    text.remove_prefix(nl + 1);
  }
}

void write_value_text(run_state& rs, std::string_view text) {
  for (;;) {
    const std::size_t nl = text.find('\n');
    clear_text(rs.out_line);
    copy_text(rs.out_line, text.substr(0, nl));
    write_reset_line(rs);
    if (nl == std::string_view::npos) return;
    text.remove_prefix(nl + 1);
  }
}

// The count of the section: the text after the first colon of the title line.
int modified_count(run_state& rs) {
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  const std::size_t colon = line.find(':');
  if (colon != std::string_view::npos) {
    const std::size_t end = std::min(line.find_first_of("\r\n", colon), line.size());
    if (end > count_limit) show_message(rs, msg::no_modified_count, rs.line_buf);
  }
  return parse_count(rs);
}

// Whether the new line of a pair names the value that the old line names, as the report writes it: key, name
// and separator alike. Data that holds line breaks can make a line of data pass for an entry, or swallow one;
// the lines then pair wrongly, and an old line's data would be written back to another value.
bool names_same_value(std::string_view old_line, const value_split& s, std::string_view new_line) {
  const auto start = static_cast<std::size_t>(s.key_start);
  const std::size_t length = static_cast<std::size_t>(s.name_end) + 1 - start;  // up to the separator's colon
  const auto new_start = static_cast<std::size_t>(key_start_of(new_line));
  return new_start <= new_line.size() && new_line.substr(new_start, length) == old_line.substr(start, length);
}

// The data that the pair's new line shows (names_same_value has found the same key, name and separator in it).
std::string_view new_data(const value_split& s, std::string_view new_line) {
  const std::string_view body = entry_body(new_line);
  std::size_t at = static_cast<std::size_t>(key_start_of(new_line)) +
                   static_cast<std::size_t>(s.name_end + 1 - s.key_start);
  if (at < body.size() && body[at] == ' ') ++at;
  return body.substr(std::min(at, body.size()));
}

// Whether the value is now of another type than the report shows for it: the new line's notation is one that
// Regshot never writes for the value's present type (a quoted text for a number or bytes, a number for a
// string or bytes, bytes for a DWORD of four bytes). The value was given another type after the report, and
// its old data read as data of the present type would be another value's bytes. Where the notation is shared
// by several types (bytes, an empty value) nothing can be told, and nothing is judged.
bool retyped_since_report(std::uint32_t type, int live_length, std::string_view shown) {
  const bool text_type = type == win::reg_sz || type == win::reg_expand_sz || type == win::reg_multi_sz;
  const bool dword = type == win::reg_dword || type == win::reg_dword_big_endian;
  if (shown.empty() || shown == "(NULL!)") return false;
  if (shown.front() == '"') return !text_type;
  if (shown.front() == '\'') return type != win::reg_multi_sz;
  if (is_regshot_number(shown, 8)) return !dword;
  if (is_regshot_number(shown, 16)) return type != win::reg_qword;
  // Bytes: every type but a string or a DWORD of four bytes may show so.
  return dword && live_length == 4;
}

void handle_entry(run_state& rs, registry_state& state) {
  clear_work_buffers(rs);
  rs.line_len = strip_prefix(rs, rs.line_buf, "Old: ");
  strip_prefix(rs, rs.line_buf2, "New: ");
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  state.key_start = key_start_of(line);
  run_tally& tally = rs.tally;
  if (holds_any(line, skip_words) || excluded(rs, line)) {
    ++tally.excluded;
    return;
  }
  if (under_recorded_key(rs, line.substr(static_cast<std::size_t>(state.key_start)), false)) {
    ++tally.covered;
    return;
  }
  if (under_loaded_hive(state, line.substr(static_cast<std::size_t>(state.key_start)))) {
    ++tally.excluded;
    return;
  }
  const int status = resolve_value_entry(rs);
  check_name(rs, msg::name_changed_after_probe);
  if (rs.line_state.damaged()) {
    // Never reset from text that is not what the report says; tell the user which value was left, unless
    // the value is known to be gone (its name came through whole and no reading of the entry found it).
    const bool found = status == 0 && names_intact(rs.line_state, line, state.split);
    split_list readings;
    candidate_splits(line, state.key_start, readings);
    const bool gone = status != 0 && readings.count > 0 && names_intact(rs.line_state, line, readings.items[0]);
    if (!gone) {
      write_not_reset_comment(rs, found ? value_label(line, state.split) : damaged_label(line, state.key_start),
                              damage_reason(rs.line_state));
      ++tally.unsafe;
    }
    return;
  }
  if (status != 0) return;
  const value_split& s = state.split;
  if (state.ambiguous) {
    write_not_reset_comment(rs, value_label(line, s), ambiguous_entry);
    ++tally.unsafe;
    return;
  }
  if (!names_same_value(line, s, std::string_view(rs.line_buf2, ::strnlen(rs.line_buf2, line_capacity)))) {
    write_not_reset_comment(rs, value_label(line, s), "the line after it in the report names another value");
    ++tally.unsafe;
    return;
  }
  if (retyped_since_report(state.value_type, state.data_len,
                           new_data(s, std::string_view(rs.line_buf2, ::strnlen(rs.line_buf2, line_capacity))))) {
    write_not_reset_comment(rs, value_label(line, s), "it has been given another type since the report");
    ++tally.unsafe;
    return;
  }

  char key_line[out_line_capacity] = "[";
  const std::string_view key = line.substr(static_cast<std::size_t>(s.key_start),
                                           static_cast<std::size_t>(s.key_end - s.key_start));
  // The key line names the key as the system resolves it in the report's view.
  std::string resolved, why;
  if (!resolve_report_key(rs, key, resolved, why)) {
    write_unnamed_key_entry(rs, why);
    return;
  }
  if (longer_than(resolved, line_char_limit - 2) || !append_text(key_line, resolved) || !append_text(key_line, "]")) {
    show_message(rs, msg::key_line_too_long, rs.line_buf);
    ++tally.inexpressible;
    return;
  }
  std::string name;
  const std::string_view value_name = line.substr(static_cast<std::size_t>(s.name_start),
                                                  static_cast<std::size_t>(s.name_end - s.name_start));
  if (!quoted_value_name(value_name, s.is_default, name)) {
    write_not_reset_comment(rs, value_label(line, s), "its name holds a line break, which a .reg file cannot hold");
    ++tally.inexpressible;
    return;
  }
  if (longer_than(name, line_char_limit - 1)) {
    show_message(rs, msg::name_too_long, rs.line_buf);
    ++tally.inexpressible;
    return;
  }
  clear_work_buffers(rs);
  copy_text(rs.out_line, name);
  check_name(rs, msg::name_changed_before_line);

  const std::uint32_t type = state.value_type;
  if (run_encoder(rs, type) < 0) {
    format_text(rs.msg_text, "; Resivex does not process type %u registry entry\n", static_cast<unsigned>(type));
    rs.reset.write("\n");
    rs.reset.write(view_of(rs.msg_text));
    rs.reset.write("; ... " + name + " ...\n\n");
    clear_text(rs.msg_text);
    ++tally.inexpressible;
    return;
  }
  if (state.value_type == value_type_declined) return;  // it holds its old data already
  if (state.unrestorable != nullptr) {
    write_not_reset_comment(rs, value_label(line, s), state.unrestorable);
    ++tally.inexpressible;
    return;
  }
  if (!lines_fit(state.value_text)) {
    show_message(rs, msg::name_too_long, rs.line_buf);
    ++tally.inexpressible;
    return;
  }
  if (!scripts_can_hold(rs, view_of(key_line)) || !scripts_can_hold(rs, state.value_text)) {
    write_not_reset_comment(rs, value_label(line, s), not_in_code_page);
    ++tally.inexpressible;
    return;
  }
  // The value as it is now goes to the undo script first.
  undo_value(rs, resolved, name, state.value_type,
             std::string_view(rs.value_data.get(), static_cast<std::size_t>(state.data_len)));
  clear_text(rs.out_line);
  copy_text(rs.out_line, view_of(key_line));
  write_reset_line(rs);
  write_value_text(rs, state.value_text);
  ++rs.mods_entries;
  ++tally.written;
}

}  // namespace

int write_reset_line(run_state& rs) {
  copy_text(rs.work_line, view_of(rs.out_line));
  if (!rs.mods_open) {
    rs.mods_open = true;
    if (!rs.reset.create(*rs.sys, rs.mods_name.c_str(), script_encoding(rs))) {
      show_message(rs, msg::output_open_failed, rs.mods_name.c_str());
      end_process(exit_code::open_failed);
    }
    rs.reset.write(view_of(rs.reg_header));
    rs.reset.write("; The following registry entries were modified...\n");
    rs.reset.write("; The entries will be RESET if you execute file " + rs.mods_name + " \n");
    rs.reset.write("; " + registry_view_note(rs.view, rs.windows_64bit) + "\n");
    rs.reset.write("; To undo: import " + rs.undo_name + "\n\n");
    rs.reset.write("; Note: Resivex does not process all entry types\n");
    rs.reset.write(";        Run this at your own risk.. I do not recommend it.\n");
    clear_text(rs.msg_text);
  }
  append_text(rs.work_line, "\n");
  rs.reset.write(view_of(rs.work_line));
  clear_text(rs.work_line);
  clear_text(rs.msg_text);
  return 0;
}

int strip_prefix(run_state& rs, char (&buf)[line_capacity], std::string_view prefix) {
  const std::size_t len = ::strnlen(buf, line_capacity - 1);
  if (!starts_with(std::string_view(buf, len), prefix)) return static_cast<int>(len);
  const std::size_t rest = len - prefix.size();
  std::memcpy(rs.strip_buf.get(), buf + prefix.size(), rest);
  std::memcpy(buf, rs.strip_buf.get(), rest);
  buf[rest] = '\0';
  return static_cast<int>(rest);
}

void handle_values_modified(run_state& rs) {
  registry_section section(rs);
  registry_state& state = section.state();
  const int announced = modified_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  write_text_line(rs, " ");
  write_text_line(rs, "; Reset values modified...");
  write_text_line(rs, " ");
  ++rs.mods_sections;
  for (int handled = 0; handled < announced; ++handled) {
    // An entry is a pair of whole entries, the old and the new; a pair the section does not complete is left.
    if (read_report_entry(rs, entry_kind::registry) != entry_status::entry) return;
    if (read_report_entry2(rs, entry_kind::registry) != entry_status::entry) return;
    count_entry(rs.tally, report_section::values_modified);
    handle_entry(rs, state);
  }
}

}  // namespace resivex
