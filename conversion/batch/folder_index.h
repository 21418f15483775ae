// The folders listed so far in a run, for the test "does this path lie in a listed folder?". A path lies in a
// folder when it equals the folder's path or continues with a backslash right after it, so the test looks up
// the path and each of its prefixes that end before a backslash in a hash table: its cost grows with the
// depth of the path, not with the number of folders listed. Prefixes as long as no stored path are not
// looked up at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace resivex {

class folder_index {
public:
  void clear();
  // Stores a path. Throws std::bad_alloc when memory runs out (the index is then as it was).
  void insert(std::string_view path);
  // True when the path equals a stored path or lies below one.
  bool contains_or_below(std::string_view path) const;
  std::size_t size() const { return count_; }
  // Bytes that growing the table to hold one more path would ask for (for the out-of-memory message).
  std::size_t growth_bytes() const;

private:
  // A slot of the table names its path's place in text_ and carries the upper half of its hash, so that a
  // look-up touches the stored text only when the path is most likely there.
  struct slot {
    std::uint64_t offset = 0;
    std::uint32_t length = free_slot;
    std::uint32_t tag = 0;
  };
  static constexpr std::uint32_t free_slot = 0xFFFFFFFFu;

  bool find(std::string_view path, std::uint64_t hash) const;
  // False when no stored path has n characters (so a prefix of that length needs no look-up).
  bool has_length(std::size_t n) const;
  void grow();
  void place(std::vector<slot>& table, std::uint64_t hash, std::uint64_t offset, std::uint32_t length) const;

  // Lengths up to 64 * max_length_words are marked in length_bits_; longer ones are always looked up.
  static constexpr std::size_t max_length_words = 128;

  std::vector<char> text_;                  // the stored paths, one after another
  std::vector<slot> slots_;                 // open addressing, at most half full
  std::vector<std::uint64_t> length_bits_;  // bit n set when a stored path has n characters
  std::size_t count_ = 0;
};

}  // namespace resivex
