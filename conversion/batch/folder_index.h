// The folders listed so far in a run, for the test "does this path lie in a listed folder?". A path lies in a
// folder when it equals the folder's path or continues with a backslash right after it, so the test looks up
// the path and each of its prefixes that end before a backslash in a hash table: its cost grows with the
// depth of the path, not with the number of folders listed. Prefixes as long as no stored path are not
// looked up at all. A folder is kept as the 64-bit hash of its path alone (16 bytes a folder at most, with
// the table half full): a report of a whole drive lists hundreds of thousands of folders, whose texts would
// take most of the program's memory. Two paths of one hash are told apart with odds of 1 in 2^64 per pair;
// a path wrongly found would only lose a line, never get one.
#pragma once

#include <array>
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
  // Stores the path unless it equals a stored path or lies below one (true when stored): the test and the
  // insertion in one, with one hash of the path. Throws as insert.
  bool insert_unless_covered(std::string_view path);
  // True when the path equals a stored path or lies below one.
  bool contains_or_below(std::string_view path) const;
  // The look-ups that the test of one path makes, worked out once for a path that waits for its test (the
  // index must not change in between): the prefixes' lengths and hashes.
  struct lookups {
    static constexpr std::size_t room = 16;
    std::size_t count = 0;
    bool complete = true;  // false when the path has more prefixes to look up than there is room for
    std::uint32_t length[room];
    std::uint64_t hash[room];
  };
  void lookups_of(std::string_view path, lookups& out) const;
  // The look-ups of a path that waits to be stored by insert_unless_covered while other paths are stored
  // before it: every prefix that ends before a backslash and the whole path, whatever lengths are stored.
  void every_lookup_of(std::string_view path, lookups& out) const;
  // The same as insert_unless_covered(path), from the path's every_lookup_of.
  bool insert_unless_covered(std::string_view path, const lookups& l);
  // The same answer as contains_or_below(path), from the path's look-ups.
  bool contains_or_below(std::string_view path, const lookups& l) const;
  // Asks the processor to fetch what contains_or_below(path, l) will read, so that the look-ups of several
  // paths can wait for memory at once: step 0 the table slots (look-ups of lengths that no stored path has
  // are left out); step 1, once those are in, has nothing more to fetch. Answers nothing.
  void prefetch(const lookups& l, int step) const;
  std::size_t size() const { return count_; }
  // Bytes that growing the table to hold one more path would ask for (for the out-of-memory message).
  std::size_t growth_bytes() const;

private:
  // A slot of the table is the hash of a stored path (a hash equal to free_slot is stored as the one below
  // it). A path's first slot is given by the top bits of its hash: the table grows without any path, in one
  // pass in the order of its slots.
  static constexpr std::uint64_t free_slot = ~std::uint64_t{0};
  static std::uint64_t stored_form(std::uint64_t hash) { return hash == free_slot ? free_slot - 1 : hash; }

  // The slot where a look-up of this hash starts.
  std::size_t home_of(std::uint64_t hash) const { return static_cast<std::size_t>(hash >> shift_); }
  bool find(std::uint64_t hash) const;
  // Stores a path that is not stored yet, by its hash.
  void insert_new(std::string_view path, std::uint64_t hash);
  // Calls visit(n, hash) for the prefixes of path that a look-up must find (those ending before a
  // backslash and the path itself, when some stored path is as long) until visit returns true.
  template <bool every_length = false, class Visit>
  bool any_candidate(std::string_view path, Visit visit) const;
  // False when no stored path has n characters (so a prefix of that length needs no look-up).
  bool has_length(std::size_t n) const;
  void grow();
  // Puts a slot's number into a table, at the first free slot from its home.
  static void place(std::vector<std::uint64_t>& table, std::uint64_t home, std::uint64_t slot);

  // Lengths up to 64 * max_length_words are marked in length_bits_; longer ones are always looked up.
  static constexpr std::size_t max_length_words = 128;

  std::vector<std::uint64_t> slots_;        // open addressing, at most half full
  unsigned shift_ = 64;                     // 64 - log2 of the number of slots
  std::array<std::uint64_t, max_length_words> length_bits_{};  // bit n set when a stored path has n characters
  std::size_t count_ = 0;
};

}  // namespace resivex
