// The removal registry script's writer and header, and the "Keys added:", "Values added:" and
// "Values deleted:" sections.
#include "conversion/registry/removal_script.h"

#include "conversion/convert.h"
#include "conversion/registry/entry_line.h"
#include "conversion/registry/key_names.h"
#include "conversion/registry/probe.h"
#include "conversion/registry/restore_script.h"
#include "conversion/registry/undo_script.h"
#include "conversion/registry/value_entry.h"
#include "conversion/unicode.h"

#include <cstring>

namespace resivex {

namespace {

const std::initializer_list<std::string_view> skip_words = {"\\RunOnce", "\\BitBucket\\", "\\MountPoints\\"};

void write_text_line(run_state& rs, std::string_view text) {
  clear_text(rs.out_line);
  copy_text(rs.out_line, text);
  write_removal_line(rs);
}

void check_name(run_state& rs, const message& changed) {
  if (rs.Fileoutn2 != rs.name_check) show_message(rs, changed, rs.Fileoutn2.c_str());
}

}  // namespace

bool scripts_can_hold(run_state& rs, std::string_view text) {
  if (rs.unicode_scripts || is_ascii(text)) return true;
  std::string ansi;
  return rs.sys->ansi_from_utf8(text, ansi);
}

void open_removal_script(run_state& rs) {
  if (rs.reg_open) return;
  rs.reg_open = true;
  if (!rs.removal.create(*rs.sys, rs.Fileoutn2.c_str(), script_encoding(rs))) {
    show_message(rs, msg::output_open_failed, rs.Fileoutn2.c_str());
    end_process(exit_code::open_failed);
  }
  rs.removal.write(view_of(rs.reg_header));
  rs.removal.write("; The following registry entries still exist...\n");
  rs.removal.write("; The following REGEDIT commands are in file " + rs.Fileoutn2 + " \n");
  rs.removal.write("; The entries will be DELETED if you execute file " + rs.Fileoutn2 + " \n");
  rs.removal.write("; " + registry_view_note(rs.view, rs.windows_64bit) + "\n");
  rs.removal.write("; To undo: import " + rs.undo_name + "\n\n");
}

int write_removal_line(run_state& rs) {
  copy_text(rs.work_line, view_of(rs.out_line));
  open_removal_script(rs);
  append_text(rs.work_line, "\n");
  rs.removal.write(view_of(rs.work_line));
  clear_text(rs.work_line);
  return 0;
}

void handle_keys_added(run_state& rs) {
  registry_section section(rs);
  registry_state& state = section.state();
  const int announced = parse_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  write_text_line(rs, "; Remove keys added...");
  write_text_line(rs, "; Any sub-key under the main key is also removed...");
  write_text_line(rs, " ");
  rs.key_buf = "first";
  std::string resolved, why;
  rs.keys_count = 0;
  rs.keys_bytes = 0;
  rs.keys_next = 0;

  run_tally& tally = rs.tally;
  for (int handled = 0; handled < announced; ++handled) {
    if (read_report_entry(rs, entry_kind::registry) != entry_status::entry) return;
    count_entry(tally, report_section::keys_added);
    std::string_view path;
    if (!key_entry_path(rs, state, [](const run_state&, std::string_view line) { return holds_any(line, skip_words); },
                        path)) {
      continue;
    }
    // Removing a key removes everything under it: a key under one removed already needs no probe.
    if (under_recorded_key(rs, path, true)) {
      ++tally.covered;
      continue;
    }
    if (probe_regkey(rs) > 0) continue;
    // The report's path, with its hive in full, is what later entries of the report are compared with.
    char recorded[keys_slot_size] = "";
    if (!append_long_key(recorded, path)) {
      show_message(rs, msg::key_line_too_long, rs.line_buf);
      ++tally.inexpressible;
      continue;
    }
    // The key line names the key as the system resolves it in the report's view.
    if (!resolve_report_key(rs, path, resolved, why)) {
      write_unnamed_key_entry(rs, why);
      continue;
    }
    if (!scripts_can_hold(rs, resolved)) {
      std::string label;
      comment_text(path, label);
      write_not_removed_comment(rs, label, not_in_code_page);
      ++tally.inexpressible;
      continue;
    }
    clear_text(rs.out_line);
    copy_text(rs.out_line, "[-");
    if (longer_than(resolved, line_char_limit - 3) || !append_text(rs.out_line, resolved) ||
        !append_text(rs.out_line, "]")) {
      // A cut path would name another key: never written.
      show_message(rs, msg::key_line_too_long, rs.line_buf);
      ++tally.inexpressible;
      continue;
    }
    // Nothing is removed that the undo script cannot put back whole.
    {
      const std::size_t hive_end = path.find('\\');
      const hive_name* hive = find_hive(path.substr(0, hive_end));
      std::string_view sub_key = path.substr(hive_end + 1);
      while (!sub_key.empty() && sub_key.back() == '\\') sub_key.remove_suffix(1);
      if (hive == nullptr || !undo_key_subtree(rs, hive->root, sub_key, resolved, why)) {
        std::string label;
        comment_text(path, label);
        write_not_removed_comment(rs, label, "its undo cannot be written: " + why);
        ++tally.unsafe;
        continue;
      }
    }
    rs.key_buf.assign(path);
    write_removal_line(rs);
    ++rs.reg_entries;
    ++tally.written;
    ++tally.removals;
    if (!record_key(rs, view_of(recorded))) {
      show_message(rs, msg::too_many_keys, rs.keys_limit);
      return;
    }
  }
}

void handle_values_added(run_state& rs) {
  registry_section section(rs);
  registry_state& state = section.state();
  const int announced = parse_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  write_text_line(rs, " ");
  write_text_line(rs, "; Remove values added...");
  write_text_line(rs, " ");

  std::string name, resolved, why;
  run_tally& tally = rs.tally;
  for (int handled = 0; handled < announced; ++handled) {
    if (read_report_entry(rs, entry_kind::registry) != entry_status::entry) return;
    count_entry(tally, report_section::values_added);
    clear_work_buffers(rs);
    const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
    state.key_start = key_start_of(line);
    if (holds_any(line, skip_words)) {
      ++tally.excluded;
      continue;
    }
    // Under a key that the script removes whole: a key line for it would create the key anew.
    if (under_recorded_key(rs, line.substr(static_cast<std::size_t>(state.key_start)), false)) {
      ++tally.covered;
      continue;
    }
    if (under_loaded_hive(state, line.substr(static_cast<std::size_t>(state.key_start)))) {
      ++tally.excluded;
      continue;
    }
    const int status = resolve_value_entry(rs);
    check_name(rs, msg::name_changed_after_probe);
    if (status != 0) continue;
    const value_split& s = state.split;
    // A name that lost characters on its way from the report names another value, if any.
    if (!names_intact(rs.line_state, line, s)) {
      ++tally.unsafe;
      continue;
    }
    if (state.ambiguous) {
      write_not_removed_comment(rs, value_label(line, s), ambiguous_entry);
      ++tally.unsafe;
      continue;
    }
    if (is_type_change(state, line)) {
      // It existed before the install with another type: deleting it would delete the user's value. The
      // restore script writes its old type and data back, where the report tells them.
      write_not_reset_comment(rs, value_label(line, s),
                              "its type changed; the report does not say its old type exactly");
      const std::string_view key_path = line.substr(static_cast<std::size_t>(s.key_start),
                                                    static_cast<std::size_t>(s.key_end - s.key_start));
      const std::string_view changed_name = line.substr(static_cast<std::size_t>(s.name_start),
                                                        static_cast<std::size_t>(s.name_end - s.name_start));
      if (resolve_report_key(rs, key_path, resolved, why) && quoted_value_name(changed_name, s.is_default, name) &&
          restore_type_change(rs, state, resolved, name)) {
        ++tally.written;
      } else {
        ++tally.inexpressible;
      }
      continue;
    }

    const std::string_view key = line.substr(static_cast<std::size_t>(s.key_start),
                                             static_cast<std::size_t>(s.key_end - s.key_start));
    if (!resolve_report_key(rs, key, resolved, why)) {
      write_unnamed_key_entry(rs, why);
      continue;
    }
    clear_text(rs.out_line);
    copy_text(rs.out_line, "[");
    if (longer_than(resolved, line_char_limit - 2) || !append_text(rs.out_line, resolved) ||
        !append_text(rs.out_line, "]")) {
      show_message(rs, msg::key_line_too_long, rs.line_buf);
      ++tally.inexpressible;
      continue;
    }
    const std::string_view value_name = line.substr(static_cast<std::size_t>(s.name_start),
                                                    static_cast<std::size_t>(s.name_end - s.name_start));
    if (!quoted_value_name(value_name, s.is_default, name)) {
      ++tally.inexpressible;
      continue;
    }
    name += "=-";
    if (longer_than(name, line_char_limit)) {
      show_message(rs, msg::name_too_long, rs.line_buf);
      ++tally.inexpressible;
      continue;
    }
    if (!scripts_can_hold(rs, resolved) || !scripts_can_hold(rs, name)) {
      write_not_removed_comment(rs, value_label(line, s), not_in_code_page);
      ++tally.inexpressible;
      continue;
    }
    undo_value(rs, resolved, std::string_view(name).substr(0, name.size() - 2), state.value_type,
               std::string_view(rs.value_data.get(), static_cast<std::size_t>(state.data_len)));
    write_removal_line(rs);
    ++rs.reg_entries;
    clear_text(rs.out_line);
    copy_text(rs.out_line, name);
    check_name(rs, msg::name_changed_before_line);
    write_removal_line(rs);
    ++rs.reg_entries;
    ++tally.written;
    ++tally.removals;
  }
}

void handle_values_deleted(run_state& rs) {
  registry_section section(rs);
  registry_state& state = section.state();
  const int announced = parse_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  open_restore_script(rs);
  rs.restore.write(" \n; Restore values deleted...\n \n");
  for (int handled = 0; handled < announced; ++handled) {
    if (read_report_entry(rs, entry_kind::registry) != entry_status::entry) return;
    count_entry(rs.tally, report_section::values_deleted);
    const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
    state.key_start = key_start_of(line);
    record_deleted_value(state, line, state.key_start);
    restore_deleted_value(rs, state);
  }
}

}  // namespace resivex
