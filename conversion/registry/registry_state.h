// What the registry side of a run keeps between its section handlers and the live registry probe: the
// positions of the entry being probed, the value the probe found, the keys it holds open, the keys it found
// absent, and the values the report lists as deleted (an added value that was also deleted only changed its
// type). One instance belongs to the run state that uses it; it is cleared when a new run begins.
#pragma once

#include "conversion/run_state.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace resivex {

inline constexpr std::size_t value_name_capacity = 512;
inline constexpr std::uint32_t value_type_declined = 9999;

// Where one candidate reading of a value entry puts the key and the name. The key path is
// line[key_start, key_end) (without the backslash that ends it); the name is line[name_start, name_end);
// name_end is the separator (the ": " or the bare colon before the data).
struct value_split {
  int key_start = 0;
  int key_end = 0;
  int name_start = 0;
  int name_end = 0;
  bool is_default = false;  // the key's default value ("Key\: data" or "(Default)")
};

// A case-insensitive (ASCII) hash of a key path below a root, built a character at a time, so that every
// ancestor of a path is hashed on the way to the path itself.
struct key_hash {
  std::uint64_t value;
  explicit key_hash(win::reg_key root) : value(14695981039346656037ull ^ static_cast<std::uint64_t>(root)) {}
  void add(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    value = (value ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
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
  void close_all(machine& m);
  void forget_absent();

private:
  struct open_key {
    win::reg_key root = 0;
    std::uint32_t access = 0;
    std::uint64_t hash = 0;  // key_hash of root and sub_key
    std::string sub_key;     // without a final backslash
    win::reg_key handle = 0;
    bool has_info = false;
    long info_status = 0;
    reg_key_info info;
    unsigned long long used = 0;
  };
  struct absent_key {
    win::reg_key root = 0;
    std::string sub_key;
  };
  static constexpr std::size_t max_open = 16;
  static constexpr std::size_t max_absent = 65536;
  static constexpr std::size_t absent_slots = 2 * max_absent;  // a power of two, never more than half full

  // The absent key with this hash, or null.
  const absent_key* find_absent(std::uint64_t hash) const;
  void add_absent(std::uint64_t hash, win::reg_key root, std::string_view sub_key);

  std::vector<open_key> open_;
  std::size_t last_ = 0;  // the key found last: the next value is most likely under it too
  // Absent keys: an open-addressed table of hashes (0 free) with the index of each key in absent_.
  std::vector<std::uint64_t> absent_hashes_;
  std::vector<std::uint32_t> absent_index_;
  std::vector<absent_key> absent_;
  unsigned long long clock_ = 0;
};

struct registry_state {
  machine* sys = nullptr;

  // The entry being probed: its key start (after the leading blanks), and for a value its split and the name
  // handed to the direct lookup.
  int key_start = 0;
  value_split split;
  char value_name[value_name_capacity] = "";

  // What probe_regvalue found: the live type, and data_len bytes of data in the run's value_data.
  std::uint32_t value_type = 0;
  int data_len = 0;
  bool found_by_enumeration = false;  // the lookup by name failed, the enumeration found it

  key_cache keys;

  // An index of keys_array (the keys the removal script deletes whole): the hash of each one's hive and path
  // below it, in a small open-addressed table (0 free) beside the slot it names. It follows keys_array, which
  // stays what counts.
  static constexpr std::size_t recorded_slots = 512;  // a power of two, more than twice keys_limit
  std::vector<std::uint64_t> recorded_hashes;
  std::vector<int> recorded_slot;
  const char* recorded_array = nullptr;
  int recorded_count = 0;
  std::size_t recorded_longest = 0;

  // "Values deleted:" entries, each as the text before every ": " it holds (any of them may end its name).
  std::set<std::string, std::less<>> deleted_values;

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
