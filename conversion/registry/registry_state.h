// What the registry side of a run keeps between its section handlers and the live registry probe: the
// positions of the entry being probed, the value the probe found, the keys it holds open, the keys it found
// absent, and the values the report lists as deleted (an added value that was also deleted only changed its
// type). One instance belongs to the run state that uses it; it is cleared when a new run begins.
#pragma once

#include "conversion/run_state.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace resivex {

inline constexpr std::size_t value_name_chars = 511;  // the longest name the probe asks for
inline constexpr std::size_t value_name_capacity = 3 * (value_name_chars + 1);
inline constexpr std::uint32_t value_type_declined = 9999;

// Where one candidate reading of a value entry puts the key and the name. The key path is
// line[key_start, key_end) (without the backslash that ends it); the name is line[name_start, name_end);
// name_end is the separator (the ": " or the bare colon before the data).
struct value_split {
  int key_start = 0;
  int key_end = 0;
  int name_start = 0;
  int name_end = 0;
  bool is_default = false;  // the key's default value ("Key\: data")
};

inline constexpr int max_candidate_splits = 64;

struct split_list {
  value_split items[max_candidate_splits];
  int count = 0;
};

// Equal without regard to case (ASCII), as equal_ignoring_case, eight characters at a time: the keys compared
// are mostly of one length and differ only near their ends.
inline std::uint64_t fold_word(std::uint64_t x) {
  constexpr std::uint64_t ones = 0x0101010101010101ull;
  const std::uint64_t low7 = x & (0x7F * ones);
  const std::uint64_t from_a = low7 + (0x80 - 'a') * ones;      // top bit set at 'a' and above
  const std::uint64_t past_z = low7 + (0x80 - 'z' - 1) * ones;  // top bit set past 'z'
  const std::uint64_t lower = from_a & ~past_z & ~x & (0x80 * ones);
  return x ^ (lower >> 2);  // 0x80 >> 2 is the case bit
}
// The last (up to) eight characters of a text, case folded: texts that differ mostly differ there (numbered
// keys), so this is compared before the rest.
inline std::uint64_t folded_tail(std::string_view a) {
  std::uint64_t x = 0;
  if (a.size() >= 8) {
    std::memcpy(&x, a.data() + a.size() - 8, 8);
  } else if (!a.empty()) {
    std::memcpy(&x, a.data(), a.size());
  }
  return fold_word(x);
}
inline bool same_folded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const std::size_t n = a.size();
  if (n < 8) {
    std::uint64_t x = 0, y = 0;
    if (n != 0) {
      std::memcpy(&x, a.data(), n);
      std::memcpy(&y, b.data(), n);
    }
    return x == y || fold_word(x) == fold_word(y);
  }
  // The last eight first; then the whole words from the start, the rest of the text lies in the last eight.
  std::uint64_t x, y;
  std::memcpy(&x, a.data() + n - 8, 8);
  std::memcpy(&y, b.data() + n - 8, 8);
  if (x != y && fold_word(x) != fold_word(y)) return false;
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y && fold_word(x) != fold_word(y)) return false;
  }
  return true;
}

// A case-insensitive (ASCII) hash of a key path below a root, and of each of its prefixes (the ancestors of
// a key end at its backslashes). Eight characters at a time: a character at a time, each step waiting on
// the multiplication before it, cost more than the rest of a value entry's handling.
class key_hash {
public:
  key_hash(win::reg_key root, std::string_view text) : text_(text) {
    states_[0] = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(root);
  }
  // The hash of the first `length` characters (at most all of them).
  std::uint64_t of(std::size_t length) {
    const std::size_t words = length / 8;
    std::uint64_t h;
    if (words <= max_words) {
      for (; done_ < words; ++done_) states_[done_ + 1] = mix(states_[done_], word(done_ * 8, 8));
      h = states_[words];
    } else {
      for (; done_ < max_words; ++done_) states_[done_ + 1] = mix(states_[done_], word(done_ * 8, 8));
      h = states_[max_words];
      for (std::size_t w = max_words; w < words; ++w) h = mix(h, word(w * 8, 8));
    }
    std::uint64_t f = h ^ word(words * 8, length % 8) ^ (length * 0xD6E8FEB86659FD93ull);
    f *= 0xBF58476D1CE4E5B9ull;
    f ^= f >> 31;
    f *= 0x94D049BB133111EBull;
    return f ^ (f >> 29);
  }
  std::uint64_t whole() { return of(text_.size()); }

private:
  // The states kept: paths of up to 1024 characters; a longer one is hashed on from the last.
  static constexpr std::size_t max_words = 128;
  static std::uint64_t mix(std::uint64_t h, std::uint64_t w) {
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 32);
  }
  // `count` characters from `at` (up to eight), upper-cased, in the low bytes of a word.
  std::uint64_t word(std::size_t at, std::size_t count) const {
    std::uint64_t x = 0;
    if (count == 8) {
      std::memcpy(&x, text_.data() + at, 8);
    } else if (count != 0) {
      // Fewer than eight: one load of eight characters that lie within the text (from `at` when the text goes
      // on that far, else ending where the wanted ones end), the others masked off; a copy of varying length
      // is a call.
      if (little_endian() && at + 8 <= text_.size()) {
        std::memcpy(&x, text_.data() + at, 8);
        x &= ~std::uint64_t{0} >> (64 - 8 * count);
      } else if (little_endian() && at + count >= 8) {
        std::memcpy(&x, text_.data() + at + count - 8, 8);
        x >>= 64 - 8 * count;
      } else {
        std::memcpy(&x, text_.data() + at, count);
      }
    }
    return fold_word(x);
  }

  static constexpr bool little_endian() {
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
    return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
#else
    return false;  // unknown: the copy of varying length
#endif
  }

  std::string_view text_;
  std::size_t done_ = 0;
  std::uint64_t states_[max_words + 1];
};

// Keys opened during one section, and keys found absent during the run. Every registry call crosses to the
// system (under Wine to its server), so values under one key share one open, and a key under an absent key is
// known absent without asking.
class key_cache {
public:
  // Opens root\sub_key (access as given) or finds it open. Returns the system's code; key set on 0.
  long open(machine& m, win::reg_key root, std::string_view sub_key, std::uint32_t access, win::reg_key* key);
  // The counts of an open key, asked once per key while it stays open. False when they cannot be read.
  bool info(machine& m, win::reg_key key, reg_key_info& out);
  // The system's full name of an open key (machine::reg_key_name), asked once per key while it stays open.
  long name(machine& m, win::reg_key key, std::string& out);
  // True when the open key holds no value of this name, as its value names tell: they are listed once
  // (names only), when that costs no more than twice the lookups that found no value in it so far, and
  // only ASCII names are judged by them (the system compares other names by rules of its own). False when
  // it cannot be told so: the caller asks the system.
  bool lacks_value(machine& m, win::reg_key key, std::string_view name);
  // Counts a lookup by name that found no value in the open key.
  void note_missing_value(win::reg_key key);
  void close_all(machine& m);
  void forget_absent();

private:
  struct open_key {
    win::reg_key root = 0;
    std::uint32_t access = 0;
    std::uint64_t tail = 0;  // folded_tail of sub_key: most keys are told apart by it alone
    std::string sub_key;     // without a final backslash
    win::reg_key handle = 0;
    bool has_info = false;
    long info_status = 0;
    reg_key_info info;
    bool has_name = false;
    long name_status = 0;
    std::string name;
    std::uint32_t missing = 0;  // lookups by name that found no value
    bool listed = false;        // its value names were listed (or could not be)
    bool names_usable = false;  // the list is whole and every name in it is ASCII
    std::vector<std::string> names;  // in ASCII lower case, sorted
    unsigned long long used = 0;
  };
  // Keys with more values are not listed: the list would cost more than the lookups it saves.
  static constexpr std::uint32_t max_listed_values = 4096;
  open_key* find_open(win::reg_key key);
  struct absent_key {
    win::reg_key root = 0;
    std::uint32_t offset = 0;  // of its sub-key in absent_text_
    std::uint32_t length = 0;
  };
  static constexpr std::size_t max_open = 16;
  static constexpr std::size_t max_absent = 16384;
  static constexpr std::size_t absent_slots = 2 * max_absent;  // a power of two, never more than half full

  // The absent key with this hash, or null.
  const absent_key* find_absent(std::uint64_t hash) const;
  // Adds an absent key; true when the table then finds it (false when another key of its hash holds the slot).
  bool add_absent(std::uint64_t hash, win::reg_key root, std::string_view sub_key);

  std::vector<open_key> open_;
  std::size_t last_ = 0;  // the key found last: the next value is most likely under it too
  // Absent keys: an open-addressed table of hashes (0 free) with the index of each key in absent_.
  // The hash and the index side by side: an insertion or a look-up costs one cache miss, not two.
  struct absent_slot {
    std::uint64_t hash = 0;
    std::uint32_t index = 0;
  };
  std::vector<absent_slot> absent_slots_;
  // One bit a hash (by its high bits), set for every absent key: a path is hashed at each of its
  // backslashes, and most of its ancestors are no absent key. 64 KiB stay in the cache, where a probe of the
  // table would miss it.
  static constexpr std::size_t absent_filter_bits = 1u << 19;
  std::vector<std::uint64_t> absent_filter_;
  bool maybe_absent(std::uint64_t hash) const {
    const std::size_t bit = static_cast<std::size_t>(hash >> 45) & (absent_filter_bits - 1);
    return (absent_filter_[bit >> 6] >> (bit & 63)) & 1u;
  }
  std::vector<absent_key> absent_;
  std::string absent_text_;  // the sub-keys of the absent keys, one after another: no allocation a key
  // The last few keys added to the absent table, compared by text before any hash is made (an empty sub-key
  // is a free entry). Every one of them is in the table, and they are forgotten with it.
  struct recent_absent {
    win::reg_key root = 0;
    std::uint64_t tail = 0;  // folded_tail of sub_key
    std::string sub_key;
  };
  std::array<recent_absent, 4> recent_absent_;
  std::size_t next_recent_ = 0;
  unsigned long long clock_ = 0;
};

struct registry_state {
  machine* sys = nullptr;
  // Keys the report lists as added that are hives of their own (names_loaded_hive): the root and the rest of
  // the path from its backslash, without a final one. Nothing under them gets a line.
  std::vector<std::pair<win::reg_key, std::string>> loaded_hives;

  // The entry being probed: its key start (after the leading blanks), and for a value its split and the name
  // handed to the direct lookup.
  int key_start = 0;
  value_split split;
  char value_name[value_name_capacity] = "";

  // What probe_regvalue found: the live type, and data_len bytes of data in the run's value_data.
  std::uint32_t value_type = 0;
  int data_len = 0;
  bool found_by_enumeration = false;  // the lookup by name failed, the enumeration found it
  bool ambiguous = false;  // another reading of the entry names a value that exists too

  key_cache keys;

  // What the key of a further reading of a value entry (a key nearer the hive) can hold, asked once a run:
  // such keys are shared by the entries under them, and the registry is only read during a run. By the
  // key_hash of the key, with its root and sub-key to tell keys of one hash apart.
  struct key_facts {
    win::reg_key root = 0;
    std::string sub_key;
    bool opens = false;    // the key could be opened
    bool counted = false;  // and its counts read
    std::uint32_t values = 0;
    std::uint32_t max_value_name_len = 0;
  };
  static constexpr std::size_t max_key_facts = 16384;
  std::unordered_map<std::uint64_t, key_facts> facts;
  key_facts scratch_facts;  // the facts of a key whose hash another key holds in the table

  // The keys of all readings of an entry are prefixes of its longest one. Values come key by key, so the
  // answers for the prefixes of the last few longest keys (the entry's text up to there, exactly as the
  // report writes it) are kept beside, found by comparing texts, without a hash.
  struct prefix_answer {
    std::uint32_t length = 0;  // of the prefix, from the key start
    bool opens = false;
    bool counted = false;
    std::uint32_t values = 0;
    std::uint32_t max_value_name_len = 0;
  };
  struct recent_key {
    std::string text;
    std::uint64_t tail = 0;  // its last eight characters as they are (when it has eight)
    std::vector<prefix_answer> answers;
    unsigned long long used = 0;
  };
  static constexpr std::size_t max_recent_keys = 8;
  recent_key recent_keys[max_recent_keys];
  unsigned long long recent_clock = 0;
  split_list candidates;  // scratch: the readings of the entry being resolved

  // An index of keys_array (the keys the removal script deletes whole): the hash of each one's hive and path
  // below it, in a small open-addressed table (0 free) beside the slot it names. It follows keys_array, which
  // stays what counts.
  static constexpr std::size_t recorded_slots = 512;  // a power of two, more than twice keys_limit
  std::vector<std::uint64_t> recorded_hashes;
  std::vector<int> recorded_slot;
  const char* recorded_array = nullptr;
  int recorded_count = 0;
  std::size_t recorded_longest = 0;
  std::bitset<keys_slot_size> recorded_lengths;  // the lengths of their paths below the hive
  std::vector<std::size_t> recorded_length_list;  // the same, in ascending order

  // "Values deleted:" entries, each as the text before every ": " it holds (any of them may end its name).
  std::set<std::string, std::less<>> deleted_values;
  // Those that exist now, by the text that names them, with their old data: "Values added:" may list them as
  // type changes, which the restore script writes back.
  std::unordered_map<std::string, std::string> deleted_existing;
  // The keys the restore script creates (by the key_hash of their long report paths), and the keys whose
  // removal the undo script holds (by the key_hash of their names).
  std::unordered_set<std::uint64_t> restored_keys;
  std::unordered_set<std::uint64_t> undone_creations;

  // What an encoder made of the old data: the value line, its physical lines joined by "\n" (hex lists go
  // on over several), or why the old data cannot be restored exactly (a comment in the reset script).
  std::string value_text;
  const char* unrestorable = nullptr;
  std::string bytes;   // scratch: the old data as bytes
  std::string groups;  // scratch: the bytes as two-digit groups
};

// The registry state of this run state, made on first use. A registry handler calls begin_registry_section
// first: when the run state starts a new run, the registry state is cleared (the removal script is opened by
// then, so a run that has begun can be told apart from the next one).
registry_state& registry_of(run_state& rs);
registry_state& begin_registry_section(run_state& rs);
// Closes the keys held open; the end of every registry handler.
void end_registry_section(run_state& rs);

// Closes the keys a section held open, however the handler is left.
class registry_section {
public:
  explicit registry_section(run_state& rs) : rs_(rs), state_(begin_registry_section(rs)) {}
  ~registry_section() { end_registry_section(rs_); }
  registry_section(const registry_section&) = delete;
  registry_section& operator=(const registry_section&) = delete;
  registry_state& state() { return state_; }

private:
  run_state& rs_;
  registry_state& state_;
};

}  // namespace resivex
