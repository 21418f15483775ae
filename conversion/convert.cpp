// The run driver: set-up, the section loop, the end phase.
#include "conversion/convert.h"

#include "conversion/batch/files.h"
#include "conversion/batch/folders.h"
#include "conversion/registry/removal_script.h"
#include "conversion/registry/restore_script.h"
#include "conversion/registry/undo_script.h"
#include "conversion/registry/reset_script.h"
#include "conversion/summary.h"
#include "conversion/unicode.h"

#include <climits>
#include <cstring>
#include <new>

namespace resivex {

namespace {

constexpr std::string_view title_keys_deleted = "Keys deleted:";
constexpr std::string_view title_keys_added = "Keys added:";
constexpr std::string_view title_values_added = "Values added:";
constexpr std::string_view title_values_deleted = "Values deleted:";
constexpr std::string_view title_values_modified = "Values modified:";
constexpr std::string_view title_folders_added = "Folders added:";
constexpr std::string_view title_files_added = "Files added:";
constexpr std::string_view title_total_changes = "Total changes:";

void choose_reg_header(run_state& rs) {
  const os_version_info v = rs.sys->os_version();
  // Regedit 5.00's own export form is UTF-16: every name gets its line. REGEDIT4 (only the oldest systems)
  // is read in the ANSI code page.
  rs.unicode_scripts = v.platform_id == win::ver_platform_win32_nt && v.major > 5;
  copy_text(rs.reg_header, rs.unicode_scripts ? "Windows Registry Editor Version 5.00\n\n" : "REGEDIT4\n\n");
}

// Chooses the view in which the report's entries are probed and named: from its first line, and before any
// output's header is written (each header names the view).
void choose_report_view(run_state& rs, std::string_view title) {
  rs.view = report_view_of_title(title);
  rs.access_mask = access_mask_for(rs.view, rs.windows_64bit);
}

void allocate_work_buffers(run_state& rs) {
  rs.strip_buf = allocate_memory2(rs, work_buffer_size);
  rs.value_data = allocate_memory2(rs, work_buffer_size);
  rs.regkey_data2 = allocate_memory2(rs, work_buffer_size);
  rs.regkey_data3 = allocate_memory2(rs, work_buffer_size);
  rs.value_data_size = rs.regkey_data2_size = rs.regkey_data3_size = static_cast<int>(work_buffer_size);
  for (char* b : {rs.value_data.get(), rs.regkey_data2.get(), rs.regkey_data3.get()}) {
    std::memset(b, ' ', work_buffer_size - 1);
    b[work_buffer_size - 1] = '\0';
  }
}

void reset_run_counters(run_state& rs) {
  rs.bat_lines = rs.bat_unwritable = rs.reg_entries = rs.mods_entries = rs.error_entries = 0;
  rs.undo_entries = rs.restore_entries = 0;
  rs.folders_stored = rs.mods_sections = 0;
  rs.reg_open = rs.mods_open = rs.errors_open = rs.undo_open = rs.restore_open = false;
}

// Set-up of a run up to the first line of the section loop. Returns false when the report is refused.
bool start_run(run_state& rs, const char* report_path) {
  choose_reg_header(rs);
  rs.bat_lines = rs.bat_unwritable = rs.reg_entries = rs.mods_entries = rs.error_entries = 0;
  rs.input_name = report_path;
  rs.tally = run_tally{};
  rs.section = report_section::none;
  rs.section_title = {};
  rs.entries_read = 0;
  rs.steps_since_offer = 0;
  rs.parent = run_state::parent_memo{};
  for (output_file* f : {&rs.batch, &rs.removal, &rs.reset, &rs.errors, &rs.undo, &rs.restore}) f->forget_creation();
  if (longer_than(rs.input_name, path_char_limit)) {
    rs.input_name.clear();
    show_message(rs, msg::report_path_too_long, report_path);
    return false;
  }
  if (!derive_output_names(rs)) return false;
  allocate_work_buffers(rs);

  std::FILE* in = rs.sys->open_file(rs.input_name.c_str(), "rb");
  if (in == nullptr) {
    show_message(rs, msg::input_open_failed, rs.input_name.c_str());
    end_process(exit_code::open_failed);
  }
  const long long size = rs.sys->file_size(rs.input_name.c_str());
  rs.report_size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
  rs.report = std::make_unique<report_reader>(*rs.sys, in);
  if (rs.report->read_failed()) {
    // Opened but unreadable from its first byte (a folder, on systems that open one): no report at all.
    rs.report.reset();
    show_message(rs, msg::input_open_failed, rs.input_name.c_str());
    end_process(exit_code::open_failed);
  }
  if (!rs.batch.create(*rs.sys, rs.bat_name.c_str())) {
    show_message(rs, msg::batch_open_failed, rs.bat_name.c_str());
    end_process(exit_code::open_failed);
  }
  // An error list that an earlier run of this report left would pass for this run's, which writes its own
  // when a key cannot be read.
  rs.sys->remove_file(rs.errors_name.c_str());
  load_exclusion_list(rs);

  rs.keys_sections_seen = rs.bat_stage = 0;
  rs.bat_expansion_off = false;
  rs.reg_open = rs.mods_open = rs.errors_open = rs.undo_open = rs.restore_open = false;
  rs.undo_entries = rs.restore_entries = 0;
  rs.keys_count = rs.keys_bytes = 0;
  rs.keys_limit = keys_limit_default;
  rs.keys_array = allocate_memory2(rs, static_cast<std::size_t>(keys_limit_default) * keys_slot_size);
  rs.keys_next = 0;
  rs.folders.clear();
  rs.folders_stored = rs.folders_announced = 0;
  rs.windows_64bit = rs.sys->windows_is_64bit();
  rs.windows_folder = rs.sys->windows_folder();
  choose_report_view(rs, {});
  return true;
}

// The section a title begins, with the title's words for the progress.
struct section_title {
  std::string_view title;
  report_section section;
};
constexpr section_title section_titles[] = {
    {title_keys_deleted, report_section::keys_deleted},
    {title_keys_added, report_section::keys_added},
    {title_values_deleted, report_section::values_deleted},
    {title_values_added, report_section::values_added},
    {title_values_modified, report_section::values_modified},
    {title_folders_added, report_section::folders_added},
    {title_files_added, report_section::files_added},
    // Read through without a script of their own: named in the progress all the same.
    {"Files deleted:", report_section::none},
    {"Files [attributes?] modified:", report_section::none},
    {"Folders deleted:", report_section::none},
    {"Folders attributes changed:", report_section::none},
};

// At a section's title: the section whose entries are counted, and the words the progress shows.
void enter_section(run_state& rs, std::string_view line) {
  if (line.empty() || (line[0] != 'K' && line[0] != 'V' && line[0] != 'F')) return;
  for (const section_title& t : section_titles) {
    if (starts_with(line, t.title)) {
      rs.section = t.section;
      rs.section_title = t.title.substr(0, t.title.size() - 1);  // without its colon
      offer_progress(rs);
      return;
    }
  }
}

// Reads the report section by section until "Total changes:" or its end.
void section_loop(run_state& rs) {
  // The first two lines are Regshot's heading: never titles. The first names the build that wrote the report.
  if (read_report_line(rs) == 0) return;
  choose_report_view(rs, std::string_view(rs.line_buf, static_cast<std::size_t>(rs.line_len)));
  if (read_report_line(rs) == 0) return;
  clear_work_buffers(rs);
  rs.bat_stage = 0;
  if (read_report_line(rs) == 0) return;
  for (;;) {
    const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
    if (starts_with(line, title_total_changes)) return;
    enter_section(rs, line);
    // Handlers stop at the line that ends their section and leave it unread, so the loop always goes on
    // with the next line.
    if (starts_with(line, title_keys_deleted)) {
      handle_keys_deleted(rs);  // the restore script
    } else if (starts_with(line, title_keys_added) && rs.keys_sections_seen++ == 0) {
      handle_keys_added(rs);
    } else if (starts_with(line, title_values_added)) {
      handle_values_added(rs);
    } else if (starts_with(line, title_values_deleted)) {
      handle_values_deleted(rs);  // tells which added values only changed their type
    } else if (starts_with(line, title_values_modified)) {
      handle_values_modified(rs);
    } else if (starts_with(line, title_folders_added)) {
      handle_folders_added(rs);
    } else if (starts_with(line, title_files_added)) {
      handle_files_added(rs);
    }
    // The lines of the sections read through (files deleted or modified) can be most of a report.
    progress_step(rs);
    if (read_report_line(rs) == 0) return;
  }
}

// Closes an output. Returns false, after telling the user, when it could not be written completely.
bool close_output(run_state& rs, output_file& file, const std::string& path) {
  if (file.close()) return true;
  show_message(rs, msg::output_write_failed, path.c_str());
  return false;
}

void show_window(run_state& rs, const std::string& path) {
  if (!rs.sys->open_result_window(rs.owner, path.c_str())) show_message(rs, rs.owner, msg::child_creation_failed);
}

// Rewrites a registry script with its comment lines only: without an undo script written whole, no line may
// stay that changes what the undo script cannot put back.
void keep_comments_only(run_state& rs, const std::string& path, file_encoding encoding) {
  std::string bytes;
  if (std::FILE* in = rs.sys->open_file(path.c_str(), "rb")) {
    char block[64 * 1024];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, in)) > 0;) bytes.append(block, got);
    std::fclose(in);
  }
  std::string text;
  if (bytes.substr(0, 2) == "\xFF\xFE") {
    std::u16string wide((bytes.size() - 2) / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
    }
    utf8_from_utf16(wide, text);
  } else {
    rs.sys->utf8_from_ansi(bytes, text);
  }
  output_file out;
  if (!out.create(*rs.sys, path.c_str(), encoding)) return;
  bool first = true;
  for (std::string_view rest = text; !rest.empty();) {
    const std::size_t nl = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(std::min(nl + 1, rest.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first || line.empty() || line == " " || line.front() == ';') {
      out.write(line);
      out.write("\n");
    }
    if (first) {
      out.write("\n; Nothing is left in this script: its undo script could not be written completely, and nothing\n"
                "; may be changed that could not be put back.\n");
    }
    first = false;
  }
  out.close();
}

void end_phase(run_state& rs, run_result& result) {
  if (rs.batch.is_open()) {
    if (rs.bat_unwritable > 0) {
      // Told, so that a script without their lines does not pass for the whole clean-up.
      char note[160];
      format_text(note, "REM %d more file(s) or folder(s) still exist, but their names cannot be written here exactly.\n",
                  rs.bat_unwritable);
      rs.batch.write(note);
      rs.batch.write("REM Remove them by hand.\n");
    } else if (rs.bat_lines == 0) {
      rs.batch.write("REM There are no files to delete.\n");
    }
    rs.batch.write("pause\n");
  }
  free_run_buffers(rs);
  // A report that broke off is not converted whole: its scripts miss what the rest would have listed.
  const bool read_whole = rs.report == nullptr || !rs.report->read_failed();
  rs.report.reset();
  if (!read_whole) show_message(rs, msg::input_read_failed, rs.input_name.c_str());

  if (rs.reg_entries == 0) {
    copy_text(rs.out_line, "\n\n; There are no registry entries to delete.\n");
    write_removal_line(rs);
  }
  if (rs.mods_entries == 0) {
    copy_text(rs.out_line, "\n\n; There are no registry entries to modify.\n");
    write_reset_line(rs);
  }
  open_restore_script(rs);
  if (rs.restore_entries == 0) rs.restore.write("; There are no registry entries to restore.\n");
  open_undo_script(rs);
  if (rs.undo_entries == 0) rs.undo.write("; There are no registry entries to undo.\n");

  // The undo script is closed first: the others may keep their lines only when it is whole.
  const bool undo_whole = close_output(rs, rs.undo, rs.undo_name);
  const bool bat_ok = close_output(rs, rs.batch, rs.bat_name);
  const bool removal_ok = close_output(rs, rs.removal, rs.Fileoutn2);
  const bool reset_ok = close_output(rs, rs.reset, rs.mods_name);
  const bool restore_ok = close_output(rs, rs.restore, rs.restore_name);
  const bool errors_ok = !rs.errors_open || close_output(rs, rs.errors, rs.errors_name);
  if (!undo_whole) {
    const file_encoding scripts = script_encoding(rs);
    if (removal_ok) keep_comments_only(rs, rs.Fileoutn2, scripts);
    if (reset_ok) keep_comments_only(rs, rs.mods_name, scripts);
    if (restore_ok) keep_comments_only(rs, rs.restore_name, file_encoding::utf16le_bom);
  }
  // Windows only for outputs written whole, in this order.
  if (bat_ok) show_window(rs, rs.bat_name);
  if (removal_ok) show_window(rs, rs.Fileoutn2);
  if (reset_ok) show_window(rs, rs.mods_name);
  if (undo_whole) show_window(rs, rs.undo_name);
  if (restore_ok) show_window(rs, rs.restore_name);
  if (rs.errors_open && errors_ok && rs.error_entries > 0) show_window(rs, rs.errors_name);
  result.write_failed =
      !(read_whole && undo_whole && bat_ok && removal_ok && reset_ok && restore_ok && errors_ok);
  result.summary = summary_line(rs);
}

// Closes every output and removes those this run made: a cancelled run leaves no script behind.
void remove_outputs(run_state& rs) {
  const std::pair<output_file*, const std::string*> outputs[] = {
      {&rs.batch, &rs.bat_name},  {&rs.removal, &rs.Fileoutn2},  {&rs.reset, &rs.mods_name},
      {&rs.errors, &rs.errors_name}, {&rs.undo, &rs.undo_name}, {&rs.restore, &rs.restore_name}};
  for (const auto& [file, path] : outputs) {
    file->close();
    if (file->created()) rs.sys->remove_file(path->c_str());
    file->forget_creation();
  }
  if (!rs.undo_scratch.empty()) rs.sys->remove_file(rs.undo_scratch.c_str());
}

long long saturating_count(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value <= INT_MAX) value = value * 10 + (*p - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return value;
}

}  // namespace

bool derive_output_names(run_state& rs) {
  const std::string_view input = rs.input_name;
  // Only the file name's own "." counts: a "." in a folder name must never move the outputs elsewhere.
  const std::size_t name_start = [&] {
    const std::size_t sep = input.find_last_of("\\/");
    return sep == std::string_view::npos ? 0 : sep + 1;
  }();
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = input.size(); i > name_start + 1; --i) {
    if (input[i - 1] == '.') {
      dot = i - 1;
      break;
    }
  }
  const std::string stem(dot == std::string_view::npos ? input : input.substr(0, dot));
  rs.bat_name = stem + ".bat";
  rs.Fileoutn2 = stem + ".reg";
  rs.mods_name = stem + "_mods.reg";
  rs.errors_name = stem + "_errors.txt";
  rs.undo_name = stem + "_undo.reg";
  rs.restore_name = stem + "_restore.reg";
  rs.undo_scratch = stem + "_undo.tmp";
  if (longer_than(rs.restore_name, path_char_limit)) {
    show_message(rs, msg::report_path_too_long, rs.input_name.c_str());
    return false;
  }
  rs.name_check = rs.Fileoutn2;
  // A report named through one of its streams ("report.bat::$DATA") is the file before the colon: an output of
  // that name would be created over the report while it is read.
  const std::size_t colon = input.find(':', std::max<std::size_t>(name_start, 2));
  const std::string_view file = input.substr(0, colon);
  for (const std::string* name : {&rs.bat_name, &rs.Fileoutn2, &rs.mods_name, &rs.errors_name, &rs.undo_name,
                                  &rs.restore_name, &rs.undo_scratch}) {
    // Windows file names ignore the case of ASCII letters.
    if (equal_ignoring_case(input, *name) || equal_ignoring_case(file, *name)) {
      show_message(rs, msg::output_is_report, name->c_str());
      return false;
    }
  }
  return true;
}

void load_exclusion_list(run_state& rs) {
  rs.excl_list.clear();
  rs.excl_lines = 0;
  rs.excl_size = 0;
  if (rs.excl_path.empty()) return;
  rs.excl_size = rs.sys->file_size(rs.excl_path.c_str());
  if (rs.excl_size <= 0) return;
  std::FILE* f = rs.sys->open_file(rs.excl_path.c_str(), "rb");
  if (f == nullptr) {
    show_message(rs, msg::input_open_failed, rs.excl_path.c_str());
    return;
  }
  report_reader reader(*rs.sys, f, false);
  line_flags flags;
  try {
    while (const int n = reader.read_line(rs.line_buf, flags)) {
      std::string_view text(rs.line_buf, static_cast<std::size_t>(n));
      if (text[0] == ';') continue;
      text = text.substr(0, text.find_first_of("\r\n"));
      // A blank line would match every value: it is a slip of the editor, not an exclusion.
      if (text.find_first_not_of(" \t") == std::string_view::npos) continue;
      rs.excl_list.emplace_back(text);
    }
  } catch (const std::bad_alloc&) {
    rs.excl_list.clear();
  }
  if (reader.read_failed()) {
    // Part of a list would keep out only part of what the user wants kept: as if it could not be opened.
    show_message(rs, msg::input_open_failed, rs.excl_path.c_str());
    rs.excl_list.clear();
  }
  rs.excl_lines = static_cast<int>(rs.excl_list.size());
  rs.line_buf[0] = '\0';
}

int read_report_line(run_state& rs) {
  rs.line_len = rs.report->read_line(rs.line_buf, rs.line_state);
  return rs.line_len;
}

int read_report_line2(run_state& rs) {
  return rs.report->read_line(rs.line_buf2, rs.line2_state);
}

entry_status read_report_entry(run_state& rs, entry_kind kind) {
  ++rs.entries_read;
  progress_step(rs);
  return rs.report->read_entry(kind, rs.line_buf, rs.line_len, rs.line_state);
}

entry_status read_report_file_entry(run_state& rs, std::string_view& text, std::size_t& tab) {
  ++rs.entries_read;
  progress_step(rs);
  rs.line_len = 0;
  const entry_status status = rs.report->read_file_entry(rs.line_buf, text, tab, rs.line_state);
  if (text.data() == rs.line_buf) rs.line_len = static_cast<int>(text.size());
  return status;
}

entry_status read_report_entry2(run_state& rs, entry_kind kind) {
  int length = 0;
  return rs.report->read_entry(kind, rs.line_buf2, length, rs.line2_state);
}

int parse_count(run_state& rs) {
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  clear_text(rs.out_line);
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return 0;
  std::size_t start = colon + 1;
  if (start < line.size() && line[start] == ' ') ++start;
  const std::size_t end = line.find_first_of("\r\n", start);
  copy_text(rs.out_line, line.substr(start, end == std::string_view::npos ? line.size() - start : end - start));
  return static_cast<int>(saturating_count(rs.out_line));
}

run_result convert_report(run_state& rs, const char* report_path, window_handle owner) {
  rs.owner = owner;
  run_result result;
  try {
    if (!start_run(rs, report_path)) {
      result.how = run_result::outcome::refused;
      free_run_buffers(rs);
      return result;
    }
    section_loop(rs);
    end_phase(rs, result);
  } catch (const run_abort& abort) {
    result.how = run_result::outcome::ended;
    result.exit_code = abort.exit_code;
    rs.report.reset();
    for (output_file* f : {&rs.batch, &rs.removal, &rs.reset, &rs.errors, &rs.undo, &rs.restore}) f->close();
    free_run_buffers(rs);
  } catch (const run_cancel&) {
    result.how = run_result::outcome::cancelled;
    rs.report.reset();
    remove_outputs(rs);
    free_run_buffers(rs);
  }
  rs.section = report_section::none;
  rs.section_title = {};
  reset_run_counters(rs);
  return result;
}

}  // namespace resivex
