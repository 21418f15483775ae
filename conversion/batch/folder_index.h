// The folders listed so far in a run, for the test "does this path lie in a listed folder?". A path lies in a
// folder when it equals the folder's path or continues with a backslash right after it, so the test looks up
// the path and each of its prefixes that end before a backslash in a hash table: its cost grows with the
// depth of the path, not with the number of folders listed. Prefixes as long as no stored path are not
// looked up at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace resivex {

class folder_index {
public:
  void clear();
  // Stores a path. Throws std::bad_alloc when memory runs out.
  void insert(std::string_view path);
  // True when the path equals a stored path or lies below one.
  bool contains_or_below(std::string_view path) const;
  std::size_t size() const { return paths_.size(); }
  // Bytes that growing the table to hold one more path would ask for (for the out-of-memory message).
  std::size_t growth_bytes() const;

private:
  bool find(std::string_view path, std::uint64_t hash) const;
  // False when no stored path has n characters (so a prefix of that length needs no look-up).
  bool has_length(std::size_t n) const;
  void grow();

  // Lengths up to 64 * max_length_words are marked in length_bits_; longer ones are always looked up.
  static constexpr std::size_t max_length_words = 128;

  std::vector<std::string> paths_;
  std::vector<std::uint64_t> hashes_;  // hash of each stored path
  std::vector<std::uint32_t> slots_;   // open addressing: index + 1 into paths_, 0 when empty
  std::vector<std::uint64_t> length_bits_;  // bit n set when a stored path has n characters
};

}  // namespace resivex
