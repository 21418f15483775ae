// Reading a registry entry of the report and writing its names in registry-script syntax.
//
// A value entry is "<key path>\<value name>: <data>", and Regshot escapes nothing: names hold backslashes
// (values named by paths), data holds ": ". So an entry can be read several ways; candidate_splits lists them,
// the reading that takes the last ": " and the last backslash before it first.
#pragma once

#include "conversion/registry/registry_state.h"

#include <string_view>

namespace resivex {

// Position of the first of `chars` in text at or after `from`, npos when there is none. One fast search a
// character, where find_first_of tests every character of the text against the set.
std::size_t find_first_char(std::string_view text, std::string_view chars, std::size_t from = 0);

// Index of the first character after the entry's leading blanks (any spaces, then at most one TAB).
int key_start_of(std::string_view line);

// The entry without the line end that the reader gives every whole entry.
std::string_view entry_body(std::string_view line);

// True when one of the words occurs anywhere in the line (case counts).
bool holds_any(std::string_view line, std::initializer_list<std::string_view> words);

// Every reading of the value entry as key, name and separator, the documented one first: the last ": " (or a
// colon that ends the entry, Regshot 1.8's empty data) ends the name, and the last backslash before it ends
// the key; a backslash right before the separator names the key's default value. Then the other backslashes
// of the key path, nearer the hive, and then the earlier separators. A key is never the hive alone, and
// never ends in a backslash (no key has an empty name).
void candidate_splits(std::string_view line, int key_start, split_list& out);

// Index where the data of the entry begins (after ": ", or after a bare colon).
int data_start_of(std::string_view line, const value_split& split);

// Appends the key path with its hive named in full (a .reg file knows only the long names). False, with
// nothing appended, when the hive is unknown or the text does not fit.
template <std::size_t N>
bool append_long_key(char (&buf)[N], std::string_view path);
bool long_key_path(std::string_view path, std::string& out);

// The value name between double quotes, each backslash and double quote escaped; "@" for the default value.
// False when the name cannot stand in a .reg file (it holds a line break).
bool quoted_value_name(std::string_view name, bool is_default, std::string& out);

// Text for a comment line: line breaks and other control characters become blanks.
void comment_text(std::string_view text, std::string& out);

// True when the key path names a key below its hive, not the hive alone.
bool names_sub_key(std::string_view path);

// Case-insensitive (ASCII) test that `path` is `key` or lies under it.
bool is_same_or_under(std::string_view path, std::string_view key);

template <std::size_t N>
bool append_long_key(char (&buf)[N], std::string_view path) {
  std::string full;
  if (!long_key_path(path, full)) return false;
  const std::size_t len = ::strnlen(buf, N - 1);
  if (len + full.size() > N - 1) return false;
  return append_text(buf, full);
}

}  // namespace resivex
