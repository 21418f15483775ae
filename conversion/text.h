// Bounded text helpers for the fixed buffers of the run state. The capacity always comes from the array type;
// a text that does not fit is cut and the caller is told, never written past the end.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace resivex {

// Copies text into buf, NUL-terminated. Returns false when it had to be cut.
template <std::size_t N>
bool copy_text(char (&buf)[N], std::string_view text) {
  static_assert(N > 0);
  const std::size_t n = text.size() < N ? text.size() : N - 1;
  if (n > 0) std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return n == text.size();
}

// Appends text at the end of the NUL-terminated text in buf. Returns false when it had to be cut.
template <std::size_t N>
bool append_text(char (&buf)[N], std::string_view text) {
  const std::size_t len = ::strnlen(buf, N - 1);
  const std::size_t room = N - 1 - len;
  const std::size_t n = text.size() < room ? text.size() : room;
  if (n > 0) std::memcpy(buf + len, text.data(), n);
  buf[len + n] = '\0';
  return n == text.size();
}

// printf-style formatting into buf. Returns false when the result had to be cut.
template <std::size_t N>
[[gnu::format(printf, 2, 3)]] bool format_text(char (&buf)[N], const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, N, format, args);
  va_end(args);
  if (n < 0) {
    buf[0] = '\0';
    return false;
  }
  return static_cast<std::size_t>(n) < N;
}

template <std::size_t N>
std::string_view view_of(const char (&buf)[N]) {
  return std::string_view(buf, ::strnlen(buf, N));
}

template <std::size_t N>
void clear_text(char (&buf)[N]) {
  std::memset(buf, 0, N);
}

inline bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace resivex
