// See folders.h.
#include "conversion/batch/folders.h"

#include "conversion/batch/batch_file.h"
#include "conversion/batch/lookup_queue.h"
#include "conversion/convert.h"
#include "conversion/unicode.h"

#include <new>

namespace resivex {

namespace {

constexpr const char* rmdir_verb = "RMDIR /S %_nop%";

// Puts the listing verb back however the section ends.
class mode_word_guard {
public:
  explicit mode_word_guard(run_state& rs) : rs_(rs) { copy_text(saved_, view_of(rs.mode_word)); }
  ~mode_word_guard() { copy_text(rs_.mode_word, view_of(saved_)); }
  mode_word_guard(const mode_word_guard&) = delete;
  mode_word_guard& operator=(const mode_word_guard&) = delete;

private:
  run_state& rs_;
  char saved_[mode_word_capacity];
};

// Stores a folder that left the queue (or never waited in it) and writes its line; false when the folders
// array is full: the section ends there, and the folders still waiting are dropped, as they would have been
// unread.
struct folder_store {
  run_state& rs;
  const batch_verb& verb;
  bool operator()(std::string_view path, const folder_index::lookups* lookups) const {
    const add_folder_result stored = add_folder(rs, path, lookups);
    if (stored == add_folder_result::stored) write_batch_entry(rs, verb, path);
    return stored != add_folder_result::array_full;
  }
  bool operator()(std::string_view path, const folder_index::lookups& lookups) const { return (*this)(path, &lookups); }
};

// The folders pass through a lookup_queue as the files do: a folder is tested against every folder before it,
// also those stored while it waited, when it leaves the queue.
using folder_queue = lookup_queue<folder_store>;

// Reads the section's folder entries into the queue. False when the folders array became full.
bool queue_folders(run_state& rs, int announced, folder_queue& queue, const folder_store& store) {
  const bool redirect = redirects_files(rs.view, rs.windows_64bit);
  std::string redirected;
  for (int handled = 0; handled < announced;) {
    if (read_report_entry(rs, entry_kind::file_system) != entry_status::entry) return true;
    const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
    if (line.size() < 2 || line[1] != ':') continue;  // Regshot 1.9.1's attribute lines
    ++handled;
    if (rs.line_state.damaged()) continue;  // the text is not the folder's real path
    std::size_t start = 0;
    while (start < line.size() && line[start] == ' ') ++start;
    if (start < line.size() && line[start] == '\t') ++start;
    std::string_view path = entry_path_of(line, start);
    // A drive alone ("C:") is no folder of its own: stored, it would hold every path of the drive.
    if (path.empty() || program_files_rule(line) || (path.size() <= 3 && path.size() >= 2 && path[1] == ':')) continue;
    // A 32-bit report names the 32-bit system folder by the 64-bit one's name.
    if (redirect && redirected_path(rs.windows_folder, path, redirected)) path = redirected;
    if (longer_than(path, entry_path_capacity)) {
      // Too long to wait in the queue (it gets no line, but it is stored): the ones before it go first.
      if (!queue.finish_all() || !store(path, nullptr)) return false;
    } else if (!queue.add(path)) {
      return false;
    }
  }
  return true;
}

}  // namespace

void allocate_folders_array(run_state& rs, int n) {
  rs.folders_announced = n;
}

add_folder_result add_folder(run_state& rs, std::string_view path, const folder_index::lookups* lookups) {
  if (rs.folders_stored > rs.folders_announced) {
    show_message(rs, msg::too_many_folders, rs.folders_announced);
    return add_folder_result::array_full;
  }
  try {
    const bool stored = lookups != nullptr ? rs.folders.insert_unless_covered(path, *lookups)
                                           : rs.folders.insert_unless_covered(path);
    if (!stored) return add_folder_result::inside_listed;
  } catch (const std::bad_alloc&) {
    char size_text[24];
    format_text(size_text, "%llu", static_cast<unsigned long long>(rs.folders.growth_bytes()));
    show_message(rs, msg::folder_alloc_failed, size_text);
    end_process(exit_code::folder_alloc_failed);
  }
  ++rs.folders_stored;
  return add_folder_result::stored;
}

bool program_files_rule(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);  // only a real line end is dropped
  std::size_t start = 1;
  for (std::size_t i = line.size(); i > 1; --i) {
    if (line[i - 1] == '\\') {
      start = i;
      break;
    }
  }
  return start <= line.size() && line.substr(start).find("Program Files") != std::string_view::npos;
}

void handle_folders_added(run_state& rs) {
  const int announced = parse_count(rs);
  allocate_folders_array(rs, announced);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  mode_word_guard guard(rs);
  // DEL mode is a word that begins with DEL (a listing word such as DIR_NODELETE stays a listing word).
  if (starts_with(view_of(rs.mode_word), "DEL")) copy_text(rs.mode_word, rmdir_verb);
  const batch_verb verb = batch_verb_of(rs);

  // Every folder read is finished before the section ends, even when reading fails on the way.
  const folder_store store{rs, verb};
  folder_queue queue(rs.folders, true, store);
  try {
    if (queue_folders(rs, announced, queue, store)) queue.finish_all();
  } catch (...) {
    queue.finish_all();
    throw;
  }
}

}  // namespace resivex
