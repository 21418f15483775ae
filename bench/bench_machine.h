// A machine for the benchmarks: as cheap as a machine can be, so that what is timed is the conversion itself.
// Files and folders exist by a rule on their path (no table: a few instructions a path); the registry is
// a table of the keys and values left over, small beside the report; message boxes and result windows are
// only counted; streams are real files. The unit tests' fake records every call and searches ordered maps,
// which would be measured instead of the core.
#pragma once

#include "conversion/machine.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace resivex::bench {

class bench_machine : public machine {
public:
  // A file or folder exists when exists_by_rule (report_generator.h) says so for this share.
  explicit bench_machine(unsigned exist_percent) : exist_percent_(exist_percent) {}

  // Registry contents. A path starts with a hive name, long or short; its parent keys are made too. Names
  // compare without regard to case, as the registry's do.
  void add_key(std::string_view path);
  void add_value(std::string_view key_path, std::string_view name, std::uint32_t type);
  std::size_t key_count() const { return keys_.size(); }
  std::size_t value_count() const { return value_index_.size(); }

  long reg_open_key(win::reg_key root, const char* sub_key, std::uint32_t access, win::reg_key* key) override;
  long reg_query_value(win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* data_len) override;
  long reg_query_info_key(win::reg_key key, reg_key_info* info) override;
  long reg_enum_value(win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* data_len) override;
  void reg_close_key(win::reg_key key) override;
  long reg_key_name(win::reg_key key, std::string& out) override;
  std::string error_text(long code) override;

  std::uint32_t file_attributes(const char* path) override;
  int file_status(const char* path) override;
  long long file_size(const char* path) override;
  std::FILE* open_file(const char* path, const char* mode) override;
  bool remove_file(const char* path) override { return std::remove(path) == 0 || errno == ENOENT; }
  bool full_path(const char* path, std::string& out) override;
  bool short_path(const char*, std::string&) override { return false; }
  bool long_path(const char*, std::string&) override { return false; }

  int message_box(window_handle owner, const char* text, const char* caption, unsigned style) override;
  bool open_result_window(window_handle owner, const char* path) override;

  os_version_info os_version() override { return {win::ver_platform_win32_nt, 10}; }
  int is_wow64_process() override { return 0; }
  bool windows_is_64bit() override { return true; }
  std::string windows_folder() override { return "C:\\Windows"; }

  // ANSI and OEM are both Latin-1 here: the reports of the benchmarks are plain ASCII.
  bool utf8_from_ansi(std::string_view ansi, std::string& out) override;
  bool ansi_from_utf8(std::string_view text, std::string& out) override;
  bool oem_from_utf8(std::string_view text, std::string& out) override;

  // What the runs asked, for the figures and the checks; reset by whoever reads them.
  struct counters {
    std::uint64_t attribute_queries = 0;
    std::uint64_t status_queries = 0;
    std::uint64_t key_opens = 0;
    std::uint64_t value_queries = 0;
    std::uint64_t info_queries = 0;
    std::uint64_t enum_calls = 0;
    std::uint64_t boxes = 0;
    std::uint64_t windows = 0;
  };
  counters calls;
  std::string first_box;  // the caption and text of the first box, to tell why a run did not go as planned
  std::size_t open_handles() const;

private:
  struct value_rec {
    std::string name;  // as added, for the enumeration
    std::uint32_t type;
  };
  struct key_rec {
    std::vector<value_rec> values;
    std::uint32_t max_name_len = 0;
    std::uint32_t max_data_len = 0;
  };
  struct handle_rec {
    std::string path;  // upper case, long hive name, no trailing backslash
    std::uint64_t hash = 0;
    std::uint32_t key = no_key;  // its place in keys_, found at the open
    bool open = false;
  };
  static constexpr std::uint32_t no_key = 0xFFFFFFFF;
  // A key with this many values or fewer is searched in its own list (one or two cache lines, and the
  // values of one key are asked one after another), a larger one through value_index_.
  static constexpr std::size_t listed_values = 8;

  // The upper-case full path of root\sub_key; false when root is no key this machine gave out.
  bool full_key_path(win::reg_key root, std::string_view sub_key, std::string& out) const;
  key_rec* key_at(win::reg_key key);
  bool valid_key(win::reg_key key) const;  // a predefined key or an open handle
  // Gives a value of that type: its data when there is room, else the room it needs.
  static long answer_value(std::uint32_t value_type, std::uint32_t* type, unsigned char* data,
                           std::uint32_t* data_len);
  std::string canonical(std::string_view path) const;  // a report path as full_key_path spells it

  unsigned exist_percent_;
  // From a 64-bit hash to a number, in one flat table (open addressing): the core asks for nearly every line
  // of a registry section, and a node-based map, one cache miss after another, would be timed instead of it.
  class hash_index {
  public:
    const std::uint32_t* find(std::uint64_t hash) const;
    // Adds the hash with the number unless it is there; returns the number the hash has.
    std::uint32_t insert(std::uint64_t hash, std::uint32_t number);
    std::size_t size() const { return count_; }

  private:
    // The hash and its number side by side: a look-up costs one cache miss, not two.
    struct slot {
      std::uint64_t hash;  // 0 marks an empty slot (a hash of 0 is taken as 1)
      std::uint32_t number;
    };
    std::vector<slot> slots_;
    // One bit per hash, eight bits a slot (a sixteenth of the table's bytes, so mostly in cache): most keys the
    // core asks for are absent, and a clear bit answers without touching the table.
    std::vector<std::uint64_t> filter_;
    std::size_t count_ = 0;
    std::size_t filter_bit(std::uint64_t hash) const {
      return static_cast<std::size_t>(hash >> 32) & (filter_.size() * 64 - 1);
    }
  };

  hash_index key_index_;  // by the hash of the full path: the key's place in keys_
  std::vector<key_rec> keys_;
  hash_index value_index_;  // by the hash of key path and name: the value's type
  std::vector<handle_rec> handles_;
  std::size_t first_free_ = 0;  // every handle slot below it is open: an open takes the lowest free slot
  std::string scratch_;
};

}  // namespace resivex::bench
