// See files.h.
#include "conversion/batch/files.h"

#include "conversion/batch/batch_file.h"
#include "conversion/batch/folders.h"
#include "conversion/convert.h"

#include <array>
#include <cstring>

namespace resivex {

namespace {

// With folders listed, every file's test against them is a wait for memory (the index of 100,000 folders
// is far larger than the caches). The paths therefore pass through a short queue: the index is asked to
// fetch what a path's test will read when the path comes in, and the test is made (and the line written)
// when the path leaves the queue, in the order of the report, so that the waits of several paths overlap.
class file_queue {
public:
  file_queue(run_state& rs, const batch_verb& verb) : rs_(rs), verb_(verb) {}
  file_queue(const file_queue&) = delete;
  file_queue& operator=(const file_queue&) = delete;

  void add(std::string_view path) {
    if (count_ == depth) finish_oldest();
    waiting& w = items_[(head_ + count_) % depth];
    std::memcpy(w.text, path.data(), path.size());
    w.length = path.size();
    ++count_;
    rs_.folders.lookups_of(path, w.lookups);
    rs_.folders.prefetch(w.lookups, 0);
    if (count_ > half) {
      // Its slots were asked for half the queue ago: now the texts they point to.
      rs_.folders.prefetch(items_[(head_ + count_ - 1 - half) % depth].lookups, 1);
    }
  }
  void finish_all() {
    while (count_ > 0) finish_oldest();
  }

private:
  static constexpr std::size_t depth = 16;
  static constexpr std::size_t half = depth / 2;
  struct waiting {
    std::size_t length = 0;
    folder_index::lookups lookups;
    char text[entry_path_capacity];
  };

  void finish_oldest() {
    const waiting& w = items_[head_];
    head_ = (head_ + 1) % depth;
    --count_;
    const std::string_view path(w.text, w.length);
    try {
      if (!rs_.folders.contains_or_below(path, w.lookups)) write_batch_entry(rs_, verb_, path);
    } catch (...) {
      count_ = 0;  // the run ends here: nothing after this file is written
      throw;
    }
  }

  run_state& rs_;
  const batch_verb verb_;
  std::array<waiting, depth> items_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

// An entry line names a file when it starts with a drive ("X:"); Regshot 1.9.1 follows each with a line of
// date, attributes and size, which starts otherwise.
bool is_file_entry(std::string_view line) {
  return line.size() >= 2 && line[1] == ':' && line[0] != ' ' && line[0] != '\t';
}

// Hands take() the path of each entry of the section that names a file as the report wrote it, until the
// section ends or `announced` entries were read.
template <class Take>
void for_each_file_path(run_state& rs, int announced, Take take) {
  std::string_view line;
  std::size_t tab = 0;
  for (int handled = 0; handled < announced;) {
    if (read_report_file_entry(rs, line, tab) != entry_status::entry) return;
    if (!is_file_entry(line)) continue;
    ++handled;
    if (rs.line_state.damaged()) continue;  // the text is not the file's real path
    take(line.substr(0, tab));              // the path ends at the first TAB or the line's end
  }
}

}  // namespace

void handle_files_added(run_state& rs) {
  const int announced = parse_count(rs);
  if (read_report_line(rs) == 0) return;  // the row of dashes under the title
  const batch_verb verb = batch_verb_of(rs);
  // Entries stand on consecutive lines (Regshot up to 1.9.0) or each is followed by a line of date,
  // attributes and size (1.9.1); the reader stops at the section's end, so both layouts are read alike.
  if (rs.folders_stored > 0) {
    // The stored folders do not change in this section, so a file's test may wait in the queue; every
    // path read is finished before the section ends, even when reading fails on the way.
    file_queue queue(rs, verb);
    try {
      for_each_file_path(rs, announced, [&](std::string_view path) {
        // A path too long to be written gets no line (nor any question to the machine) wherever it lies.
        if (path.size() <= entry_path_capacity) queue.add(path);
      });
    } catch (...) {
      queue.finish_all();
      throw;
    }
    queue.finish_all();
    return;
  }
  for_each_file_path(rs, announced, [&](std::string_view path) { write_batch_entry(rs, verb, path); });
}

}  // namespace resivex
