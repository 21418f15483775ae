// Bounded text helpers for the fixed buffers of the run state. The capacity always comes from the array type;
// a text that does not fit is cut and the caller is told, never written past the end.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
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

// Sixteen characters at a time, with GCC's portable vector types (the compiler picks the machine's
// instructions): comparisons give a vector of lanes that are all ones where they hold.
using chars16 = char __attribute__((vector_size(16)));

inline chars16 load16(const char* p) {
  chars16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Bit k set when lane k of a comparison's result holds (one instruction where the machine has SSE2).
template <class Lanes>
unsigned lane_bits(Lanes hits) {
  static_assert(sizeof hits == 16);
#if defined(__SSE2__)
  return static_cast<unsigned>(__builtin_ia32_pmovmskb128((chars16)hits));
#else
  unsigned bits = 0;
  for (unsigned k = 0; k < 16; ++k) bits |= (hits[k] != 0 ? 1u : 0u) << k;
  return bits;
#endif
}

// The place of the first character of text that is a or b; text.size() when there is none. Two searches
// for one character each, or a search for either through the standard library, cost several times as
// much on short lines.
inline std::size_t find_either(std::string_view text, char a, char b) {
  const char* const p = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const chars16 c = load16(p + i);
    if (const unsigned hits = lane_bits((c == a) | (c == b))) return i + static_cast<std::size_t>(__builtin_ctz(hits));
  }
  for (; i < n; ++i) {
    if (p[i] == a || p[i] == b) return i;
  }
  return n;
}

// An ASCII letter in lower case; any other character as it is.
inline char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Equal when the texts differ at most in the case of ASCII letters, as registry names compare.
inline bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // the common case, and one fast comparison
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace resivex
