// UTF-8, the program's text, to and from the UTF-16 of the Windows API (wchar_t is 16 bits there).
#pragma once

#include "conversion/unicode.h"

#include <string>
#include <string_view>
#include <utility>

namespace resivex {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows API's wide characters are UTF-16 units");

inline std::wstring wide_from_utf8(std::string_view text) {
  std::u16string wide;
  utf16_from_utf8(text, wide);
  return std::wstring(reinterpret_cast<const wchar_t*>(wide.data()), wide.size());
}

// False, with out unchanged, when the text has no UTF-8 form (a lone surrogate).
inline bool exact_utf8_from_wide(std::wstring_view text, std::string& out) {
  std::string converted;
  if (!utf8_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()), converted)) {
    return false;
  }
  out = std::move(converted);
  return true;
}

inline std::string utf8_from_wide(std::wstring_view text) {
  std::string out;
  utf8_from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()), out);
  return out;
}

}  // namespace resivex
