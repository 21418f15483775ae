// With many folders stored, the test of a path against them is a wait for memory (the index of 100,000
// folders is far larger than the caches). Paths therefore pass through a short queue: the index is asked to
// fetch what a path's test will read when the path comes in, and the path is finished (tested, and written
// or stored) when it leaves the queue, in the order of the report, so that the waits of several paths overlap.
#pragma once

#include "conversion/batch/batch_file.h"
#include "conversion/batch/folder_index.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace resivex {

// Finish(path, lookups) finishes a path and returns false when no further path may be finished (the paths
// still waiting are then dropped). With `every_length`, the look-ups hold every prefix, for a Finish that
// stores paths itself (folder_index::every_lookup_of); otherwise only those of stored lengths.
template <class Finish>
class lookup_queue {
public:
  lookup_queue(const folder_index& index, bool every_length, Finish finish)
      : index_(index), every_length_(every_length), finish_(finish) {}
  lookup_queue(const lookup_queue&) = delete;
  lookup_queue& operator=(const lookup_queue&) = delete;

  // Queues a path of at most entry_path_capacity characters (entry_path_bytes); false when a path finished on the way said stop.
  bool add(std::string_view path) {
    if (count_ == depth && !finish_oldest()) return false;
    waiting& w = items_[(head_ + count_) % depth];
    std::memcpy(w.text, path.data(), path.size());
    w.length = path.size();
    ++count_;
    if (every_length_) {
      index_.every_lookup_of(path, w.lookups);
    } else {
      index_.lookups_of(path, w.lookups);
    }
    // A path with no prefix as long as a stored one (most paths outside the listed folders) has nothing to
    // fetch: the call is saved.
    if (w.lookups.count != 0) index_.prefetch(w.lookups, 0);
    if (count_ > half) {
      // Its slots were asked for half the queue ago: now the texts they point to.
      const folder_index::lookups& earlier = items_[(head_ + count_ - 1 - half) % depth].lookups;
      if (earlier.count != 0) index_.prefetch(earlier, 1);
    }
    return true;
  }
  // Finishes every path waiting; false as add.
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
    char text[entry_path_bytes];
  };

  bool finish_oldest() {
    const waiting& w = items_[head_];
    head_ = (head_ + 1) % depth;
    --count_;
    bool go_on = false;
    try {
      go_on = finish_(std::string_view(w.text, w.length), w.lookups);
    } catch (...) {
      count_ = 0;  // the run ends here: nothing after this path is written
      throw;
    }
    if (!go_on) count_ = 0;
    return go_on;
  }

  const folder_index& index_;
  const bool every_length_;
  Finish finish_;
  std::array<waiting, depth> items_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

}  // namespace resivex
