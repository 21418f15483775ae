// See unicode.h.
#include "conversion/unicode.h"

#include <cstdint>
#include <cstring>

namespace resivex {

namespace {

void put_utf8(std::uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The code point at text[i] and the bytes it takes; false (with a length of 1) for a malformed sequence.
bool next_code_point(std::string_view text, std::size_t i, std::uint32_t& cp, std::size_t& length) {
  static constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};  // overlong forms are malformed
  const auto c = static_cast<unsigned char>(text[i]);
  length = 1;
  if (c < 0x80) {
    cp = c;
    return true;
  }
  std::size_t extra = 0;
  if ((c & 0xE0) == 0xC0) {
    extra = 1, cp = c & 0x1Fu;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, cp = c & 0x0Fu;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, cp = c & 0x07u;
  } else {
    return false;
  }
  if (i + extra >= text.size()) return false;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto cc = static_cast<unsigned char>(text[i + k]);
    if ((cc & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (cc & 0x3Fu);
  }
  if (cp < smallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  length = extra + 1;
  return true;
}

}  // namespace

bool is_ascii(std::string_view text) {
  std::uint64_t seen = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    seen |= word;
  }
  for (; i < text.size(); ++i) seen |= static_cast<unsigned char>(text[i]);
  return (seen & 0x8080808080808080ull) == 0;
}

bool utf8_from_utf16(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  bool ok = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint32_t u = text[i];
    if (u < 0x80) {
      out += static_cast<char>(u);
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      put_utf8(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u), out);
      ++i;
      continue;
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      put_utf8(0xFFFD, out);
      ok = false;
      continue;
    }
    put_utf8(u, out);
  }
  return ok;
}

bool utf16_from_utf8(std::string_view text, std::u16string& out) {
  out.clear();
  out.reserve(text.size());
  bool ok = true;
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    std::size_t length = 1;
    if (!next_code_point(text, i, cp, length)) {
      cp = 0xFFFD;
      ok = false;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += length;
  }
  return ok;
}

bool append_utf16le(std::string_view text, std::string& bytes) {
  if (is_ascii(text)) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 2 * text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      bytes[at + 2 * i] = text[i];
      bytes[at + 2 * i + 1] = '\0';
    }
    return true;
  }
  std::u16string wide;
  const bool ok = utf16_from_utf8(text, wide);
  for (const char16_t u : wide) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return ok;
}

std::size_t utf16_length(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) n += (c & 0xF8) == 0xF0 ? 2 : 1;  // a four-byte form is a surrogate pair
  }
  return n;
}

}  // namespace resivex
