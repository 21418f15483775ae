// The program's text is UTF-8 throughout (in std::string); Windows speaks UTF-16. These are the two
// conversions between them, exact both ways for every well-formed text. They are the only ones: code pages
// (ANSI, OEM) are the machine's (machine.h).
#pragma once

#include <string>
#include <string_view>

namespace resivex {

// UTF-16 (host order) to UTF-8. A lone surrogate, which names no character, becomes U+FFFD; the result is
// then false (the text must not be used to name anything).
bool utf8_from_utf16(std::u16string_view text, std::string& out);
// UTF-8 to UTF-16. A malformed sequence (an overlong form, a surrogate, a stray byte) becomes U+FFFD; the
// result is then false.
bool utf16_from_utf8(std::string_view text, std::u16string& out);
// Appends the UTF-16LE bytes of a UTF-8 text (as a .reg file of regedit's own form holds them). False as
// utf16_from_utf8.
bool append_utf16le(std::string_view text, std::string& bytes);

// The number of UTF-16 units of a UTF-8 text: the length Windows counts (MAX_PATH, a line's characters).
std::size_t utf16_length(std::string_view text);

// True when the text holds more than `limit` characters (UTF-16 units); its byte length alone answers most.
inline bool longer_than(std::string_view text, std::size_t limit) {
  return text.size() > limit && utf16_length(text) > limit;
}

// The longest start of the text of at most max_bytes bytes that ends between characters.
inline std::string_view head_of(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// True when every byte is ASCII.
bool is_ascii(std::string_view text);

}  // namespace resivex
