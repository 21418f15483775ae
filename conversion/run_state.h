// The run state: the settings of the process and every buffer, counter and open file that one conversion run
// shares among its section handlers. One instance lives for the whole process (the front end owns it); every
// run re-initialises the per-run members. The routines of the run work on it by reference.
#pragma once

#include "conversion/batch/folder_index.h"
#include "conversion/machine.h"
#include "conversion/messages.h"
#include "conversion/output_file.h"
#include "conversion/report_reader.h"
#include "conversion/report_view.h"
#include "conversion/text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace resivex {

// The fixed buffers hold their texts in UTF-8, where a character (a UTF-16 unit, as Windows counts) takes up to
// three bytes: each holds its number of characters three times over, so that its limits are limits on
// characters. Where a limit decides something, it is counted in characters (utf16_length).
inline constexpr std::size_t line_char_limit = 1023;  // characters of an output line
inline constexpr std::size_t out_line_capacity = 3 * (line_char_limit + 1);
inline constexpr std::size_t work_line_capacity = 3 * 1300;
inline constexpr std::size_t msg_text_capacity = 3 * 1310;
inline constexpr std::size_t mode_word_capacity = 24;
inline constexpr std::size_t reg_header_capacity = 40;
inline constexpr std::size_t work_buffer_size = 8192;  // value_data, regkey_data2, regkey_data3, strip_buf
inline constexpr int keys_limit_default = 100;
inline constexpr std::size_t keys_slot_size = 3 * 1024;
// The longest path the system takes (in its long form, \\?\), in characters.
inline constexpr std::size_t path_char_limit = 32767;

// How a run ended, for the front end to act on.
struct run_result {
  enum class outcome {
    completed,  // the run went through its end phase
    refused,    // the report was not converted (its message has been shown); nothing was written
    ended,      // a fatal message was shown: the process must end now with exit_code
    cancelled,  // the machine asked the run to stop: the outputs it wrote are removed again
  };
  outcome how = outcome::completed;
  int exit_code = 0;
  // An output could not be written completely, or the report could not be read to its end: the outputs are
  // incomplete (the user has been told).
  bool write_failed = false;
  // A completed run's summary in one line: what it read, wrote and left out, and why.
  std::string summary;
};

// The sections whose entries a run reads, in the order the summary names them.
enum class report_section { keys_deleted, keys_added, values_deleted, values_added, values_modified, folders_added,
                            files_added, none };
inline constexpr std::size_t report_section_count = static_cast<std::size_t>(report_section::none);

// What a run read, and why entries got no line: its summary. An entry read is counted once: written, or in
// the class of the reason it got no line (an entry that is gone, or already as it was, in none of them).
struct run_tally {
  long long read[report_section_count] = {};
  long long written = 0;        // the entry got a line of its section's script
  long long removals = 0;       // keys and values the removal script deletes
  long long excluded = 0;       // a rule keeps it out: the exclusion list, the system's own areas, hives, Program Files
  long long covered = 0;        // under a key or folder that a line removes already
  long long inexpressible = 0;  // present, but no line can name it or its data exactly (a comment at most)
  long long unsafe = 0;         // a line could name or change something else
};

// Counts an entry read in a section.
inline void count_entry(run_tally& t, report_section section) { ++t.read[static_cast<std::size_t>(section)]; }

// Thrown where the machine asks the run to stop; caught by convert_report.
struct run_cancel {};

// What the registry handlers keep between sections (conversion/registry/registry_state.h).
struct registry_state;
struct registry_state_deleter {
  void operator()(registry_state* state) const;
};

// Thrown by end_process and caught by convert_report, which closes the run's files and reports `ended`.
struct run_abort {
  int exit_code;
};

struct run_state {
  explicit run_state(machine& m) : sys(&m) {}
  run_state(const run_state&) = delete;
  run_state& operator=(const run_state&) = delete;

  machine* sys;
  window_handle owner = nullptr;  // the frame window: owner of the "MDI Child creation failed." box

  // Set once from the command line and kept for the process.
  std::string program_folder;
  std::string help_path;
  std::string excl_path;
  std::string startup_report;
  char mode_word[mode_word_capacity] = "DEL";

  // The view of the machine that the report's Regshot saw, and what follows from it, chosen by every run from
  // the report's first line and the system (report_view.h).
  report_view view = report_view::native;
  bool windows_64bit = false;
  std::string windows_folder;  // the system's, where a 32-bit report's file paths are redirected
  std::uint32_t access_mask = win::key_read;

  // Names and headers, derived anew by every run.
  char reg_header[reg_header_capacity] = "";
  bool unicode_scripts = true;  // the registry scripts are regedit's UTF-16 form (not REGEDIT4, ANSI)
  std::string input_name;
  std::string bat_name;
  std::string Fileoutn2;
  std::string name_check;
  std::string mods_name;
  std::string errors_name;
  std::string undo_name;     // the undo script: the registry as it is now, wherever the scripts change it
  std::string restore_name;  // the restore script: what the install or the uninstall deleted
  std::string undo_scratch;  // where a key's subtree too large for memory waits for the undo script

  // Fixed text buffers.
  char out_line[out_line_capacity] = "";
  char work_line[work_line_capacity] = "";
  char msg_text[msg_text_capacity] = "";
  std::string key_buf;  // the key path last written by the keys section

  // The current report line (read_report_line) and a second one (read_report_line2), with what they lost.
  char line_buf[line_capacity] = "";
  char line_buf2[line_capacity] = "";
  int line_len = 0;
  line_flags line_state;
  line_flags line2_state;

  // Heap buffers of the run (allocate_memory2).
  std::unique_ptr<char[]> strip_buf;
  std::unique_ptr<char[]> value_data;
  int value_data_size = 0;
  std::unique_ptr<char[]> regkey_data2;
  int regkey_data2_size = 0;
  std::unique_ptr<char[]> regkey_data3;
  int regkey_data3_size = 0;
  std::unique_ptr<char[]> keys_array;
  int keys_limit = keys_limit_default;
  int keys_count = 0;
  int keys_bytes = 0;
  std::size_t keys_next = 0;

  // The exclusion list: the texts of do_not_modify_list.TXT that keep modified values out of the reset script.
  std::vector<std::string> excl_list;
  long long excl_size = 0;
  int excl_lines = 0;

  // Files of the run.
  std::unique_ptr<report_reader> report;
  output_file batch;
  output_file removal;
  output_file reset;
  output_file errors;
  output_file undo;
  output_file restore;
  bool reg_open = false;
  bool mods_open = false;
  bool errors_open = false;
  bool undo_open = false;
  bool restore_open = false;

  // Counters.
  int bat_stage = 0;
  bool bat_expansion_off = false;  // the batch file has switched delayed expansion off ("!" in a path)
  int bat_lines = 0;
  int bat_unwritable = 0;  // items that still exist but whose path cannot be written so that cmd reads it exactly
  int reg_entries = 0;
  int mods_entries = 0;
  int error_entries = 0;
  int undo_entries = 0;
  int restore_entries = 0;
  int keys_sections_seen = 0;
  int mods_sections = 0;
  run_tally tally;

  // Progress: the section being read, and the steps of work since the machine was last offered it.
  report_section section = report_section::none;
  std::string_view section_title;
  std::uint64_t report_size = 0;
  std::uint64_t entries_read = 0;
  unsigned steps_since_offer = 0;

  // The registry handlers' own state: made by the first registry section, renewed by each run.
  std::unique_ptr<registry_state, registry_state_deleter> registry;

  // The folder that the last items tested lay in, and what is known of it: a report lists the items of one
  // folder one after another, and when the folder is gone, so is every item in it.
  struct parent_memo {
    std::string folder;
    int misses = 0;       // items of it found absent since one was found
    bool tested = false;  // the folder itself has been tested
    bool absent = false;  // the folder itself is gone
  } parent;

  // The folders listed by "Folders added:" sections.
  folder_index folders;
  int folders_stored = 0;
  int folders_announced = 0;
};

// The one allocation routine of the run: a zero-filled block of exactly `size` bytes. When memory runs out it
// shows its message and ends the process with exit code 4; it never returns null.
std::unique_ptr<char[]> allocate_memory2(run_state& rs, std::size_t size);
// Empties work_line, key_buf and out_line: zeroes their texts; no reader looks past a text's end.
int clear_work_buffers(run_state& rs);
// Releases the run's heap buffers and the folders; harmless when called twice.
int free_run_buffers(run_state& rs);

// Formats a catalogue message into msg_text and shows it (no owner unless given).
template <class... Args>
void show_message(run_state& rs, window_handle owner, const message& m, Args... args) {
  if constexpr (sizeof...(Args) == 0) {
    copy_text(rs.msg_text, m.text);
  } else {
    format_text(rs.msg_text, m.text, args...);
  }
  rs.sys->message_box(owner, rs.msg_text, m.caption, m.style);
}
template <class... Args>
void show_message(run_state& rs, const message& m, Args... args) {
  show_message(rs, nullptr, m, args...);
}

// Offers the machine the run's progress (machine::keep_running); throws run_cancel when it asks the run to stop.
void offer_progress(run_state& rs);
// One step of work (an entry read, a value exported): every few hundred, the machine is offered the progress.
inline constexpr unsigned progress_interval = 256;
inline void progress_step(run_state& rs) {
  if (++rs.steps_since_offer >= progress_interval) offer_progress(rs);
}

// Ends the process after a fatal message: unwinds to convert_report, which closes the files and tells the
// front end to exit with this code.
[[noreturn]] inline void end_process(int exit_code) { throw run_abort{exit_code}; }

}  // namespace resivex
