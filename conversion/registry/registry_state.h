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
  void forget_absent() { absent_.clear(); }

private:
  struct open_key {
    std::string name;  // root and sub-key, upper case
    win::reg_key handle = 0;
    bool has_info = false;
    long info_status = 0;
    reg_key_info info;
    unsigned long long used = 0;
  };
  static constexpr std::size_t max_open = 16;
  static constexpr std::size_t max_absent = 65536;

  std::vector<open_key> open_;
  std::set<std::string, std::less<>> absent_;
  unsigned long long clock_ = 0;
  std::string scratch_;
};

struct registry_state {
  const run_state* owner = nullptr;
  machine* sys = nullptr;

  // The entry being probed: its key start (after the leading blanks), and for a value its split and the name
  // handed to the direct lookup.
  int key_start = 0;
  value_split split;
  char value_name[value_name_capacity] = "";

  // What probe_regvalue found: the live type, and data_len bytes of data in the run's value_data.
  std::uint32_t value_type = 0;
  int data_len = 0;
  bool found_by_enumeration = false;
  bool enumerated_same_name = false;  // the enumeration found a value of exactly the name of the entry

  key_cache keys;

  // "Values deleted:" entries, each as the text before every ": " it holds (any of them may end its name).
  std::set<std::string, std::less<>> deleted_values;

  // What an encoder made of the old data: the value line, its physical lines joined by "\n" (hex lists go
  // on over several), or why the old data cannot be restored exactly (a comment in the reset script).
  std::string value_text;
  const char* unrestorable = nullptr;
  std::string bytes;   // scratch: the old data as bytes
  std::string groups;  // scratch: the bytes as two-digit groups
};

// The registry state of this run state. A registry handler calls begin_registry_section first: when the run
// state starts a new run, the registry state is cleared (the removal script is opened by then, so a run that
// has begun can be told apart from the next one).
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
