// Large synthetic Regshot comparison reports for the benchmarks, in the layout that Regshot 1.9.1's ANSI build
// writes (its heading, section order, count notation, value notations, attribute lines and breaks after 1000
// characters), with the sections a conversion works on. Every path and every choice is a pure
// function of the report's description and an entry's index, and so is what exists on the machine, so the
// benchmarks know how many lines a conversion must write without keeping the report in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace resivex::bench {

// Changes whenever the generator writes other text for the same description: reports kept from an earlier
// run are written anew.
inline constexpr int generator_version = 4;

struct report_plan {
  std::uint64_t keys_added = 0;
  std::uint64_t values_added = 0;
  std::uint64_t values_modified = 0;  // pairs: two lines each
  std::uint64_t folders_added = 0;    // leaf folders, none inside another, so each one is stored
  std::uint64_t files_added = 0;
  unsigned files_inside_percent = 50;  // files that lie in a listed folder (when there are folders)
  unsigned long_value_percent = 0;     // values whose data runs past 1000 characters
  unsigned multiline_percent = 0;      // string values whose data holds a line break
  // Added keys still there after the uninstall. The keys array of a run holds 100 keys and ends the section
  // with a message beyond that, so a run that is to go through keeps this below 100.
  std::uint64_t keys_left = 50;
  std::string root = "C:\\rsbench";  // every folder and file lies below this drive path
  std::uint64_t seed = 1;
};

struct report_totals {
  std::uint64_t entries = 0;  // what "Total changes:" says
  std::uint64_t lines = 0;    // physical lines of the file
  std::uint64_t bytes = 0;
};

// The options that describe a report and what of it exists (--keys N, --files N, --exist PCT...), as
// resivex-make-report and resivex-bench take them; plan_options_help lists them.
extern const char plan_options_help[];
// Sets the option from its value. Returns false, with the reason in error, for an unknown option or value.
bool set_plan_option(report_plan& plan, unsigned& exist_percent, std::string_view option, const char* value,
                     std::string& error);

// Writes the report to out (opened in binary mode: lines end with CR LF as Regshot writes them). Returns
// false when a write failed.
bool write_report(const report_plan& plan, std::FILE* out, report_totals* totals);

// ---- Files and folders -----------------------------------------------------------------------------------

// The existence rule of the benchmark machine for files and folders: a path exists when a hash of its
// length and last characters falls within the share. Answering costs a few instructions and no memory, so
// that the benchmark times the conversion and not a stand-in of the file system.
bool exists_by_rule(std::string_view path, unsigned exist_percent);
// A hash of the whole text (the benchmark machine's registry is keyed by it).
std::uint64_t path_hash(std::string_view path);

// The path of folder entry i (0 <= i < folders_added).
std::string folder_path(const report_plan& plan, std::uint64_t i);

// A file entry: its path, and the folder entry it lies in, if any.
struct file_entry {
  std::string path;
  bool inside = false;
  std::uint64_t folder = 0;
};
file_entry file_at(const report_plan& plan, std::uint64_t j);

// The command lines a conversion over the rule must write to the batch file: every folder that exists (the
// generator lists no folder inside another and none named "Program Files"), and every file that exists and
// does not lie in a listed folder (the folders come first).
std::uint64_t expected_batch_lines(const report_plan& plan, unsigned exist_percent);

// A real disk cannot hold a file whose folder is absent: there a file inside a listed folder exists only when
// the rule gives both. Calls visit(path, is_folder) for every folder, then every file, that exists so;
// returns the command lines a conversion on that disk must write.
std::uint64_t for_each_on_disk(const report_plan& plan, unsigned exist_percent,
                               const std::function<void(std::string_view, bool)>& visit);

// ---- Registry ------------------------------------------------------------------------------------------

// What is left in the registry: the keys_left added keys, and exist_percent of the added and of the modified
// values (their keys with them, and some of the other keys that held them). Keys are named as in the report
// (short hive names).
struct registry_visitor {
  std::function<void(std::string_view key)> key;
  // The value's type is what the report's data notation stands for, so that the reset script encodes it.
  std::function<void(std::string_view key, std::string_view name, std::uint32_t type)> value;
};
void for_each_existing_registry(const report_plan& plan, unsigned exist_percent, const registry_visitor& visit);

// What a conversion over that registry must write: one "[-key]" line per key left, one "name=-" line per
// added value left, and for each modified value left one of: its reset lines, a "; Not reset" comment, or
// the comment block of a type the reset script does not handle.
struct registry_expectation {
  std::uint64_t keys = 0;
  std::uint64_t values_added = 0;
  std::uint64_t values_modified = 0;
};
registry_expectation expected_registry(const report_plan& plan, unsigned exist_percent);

}  // namespace resivex::bench
