// See folders.h.
#include "conversion/batch/folders.h"

#include "conversion/batch/batch_file.h"
#include "conversion/convert.h"

#include <array>
#include <cstring>
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

// With many folders stored, the test of each new folder against them is a wait for memory, as for the files
// (see files.cpp): the folders pass through a short queue, the index is asked to fetch what a folder's test
// will read when the folder comes in, and the folder is tested, stored and written when it leaves, in the
// order of the report. The folders stored in between are taken into account: the test is made at the exit.
class folder_queue {
public:
  folder_queue(run_state& rs, const batch_verb& verb) : rs_(rs), verb_(verb) {}
  folder_queue(const folder_queue&) = delete;
  folder_queue& operator=(const folder_queue&) = delete;

  // False when the folders array is full: the section ends there, and the folders still waiting are
  // dropped, as they would have been unread.
  bool add(std::string_view path) {
    if (path.size() > entry_path_capacity) {
      // Too long to wait here (it gets no line, but it is stored): the ones before it go first.
      return finish_all() && store(path, nullptr);
    }
    if (count_ == depth && !finish_oldest()) return false;
    waiting& w = items_[(head_ + count_) % depth];
    std::memcpy(w.text, path.data(), path.size());
    w.length = path.size();
    ++count_;
    rs_.folders.every_lookup_of(path, w.lookups);
    rs_.folders.prefetch(w.lookups, 0);
    if (count_ > half) rs_.folders.prefetch(items_[(head_ + count_ - 1 - half) % depth].lookups, 1);
    return true;
  }
  bool finish_all() {
    while (count_ > 0) {
      if (!finish_oldest()) return false;
    }
    return true;
  }

private:
  static constexpr std::size_t depth = 16;
  static constexpr std::size_t half = depth / 2;
  struct waiting {
    std::size_t length = 0;
    folder_index::lookups lookups;
    char text[entry_path_capacity];
  };

  bool finish_oldest() {
    const waiting& w = items_[head_];
    head_ = (head_ + 1) % depth;
    --count_;
    try {
      return store(std::string_view(w.text, w.length), &w.lookups);
    } catch (...) {
      count_ = 0;  // the run ends here: nothing after this folder is written
      throw;
    }
  }
  bool store(std::string_view path, const folder_index::lookups* lookups) {
    const add_folder_result stored = add_folder(rs_, path, lookups);
    if (stored == add_folder_result::array_full) {
      count_ = 0;
      return false;
    }
    if (stored == add_folder_result::stored) write_batch_entry(rs_, verb_, path);
    return true;
  }

  run_state& rs_;
  const batch_verb verb_;
  std::array<waiting, depth> items_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

// Reads the section's folder entries into the queue. False when the folders array became full.
bool queue_folders(run_state& rs, int announced, folder_queue& queue) {
  for (int handled = 0; handled < announced;) {
    if (read_report_entry(rs, entry_kind::file_system) != entry_status::entry) return true;
    const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
    if (line.size() < 2 || line[1] != ':') continue;  // Regshot 1.9.1's attribute lines
    ++handled;
    if (rs.line_state.damaged()) continue;  // the text is not the folder's real path
    std::size_t start = 0;
    while (start < line.size() && line[start] == ' ') ++start;
    if (start < line.size() && line[start] == '\t') ++start;
    const std::string_view path = entry_path_of(line, start);
    if (path.empty() || program_files_rule(line)) continue;
    if (!queue.add(path)) return false;
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
  if (view_of(rs.mode_word).find("DEL") != std::string_view::npos) copy_text(rs.mode_word, rmdir_verb);
  const batch_verb verb = batch_verb_of(rs);

  // Every folder read is finished before the section ends, even when reading fails on the way.
  folder_queue queue(rs, verb);
  try {
    if (queue_folders(rs, announced, queue)) queue.finish_all();
  } catch (...) {
    queue.finish_all();
    throw;
  }
}

}  // namespace resivex
