// See document_encoding.h.
#include "shell/document_encoding.h"

#include "conversion/unicode.h"

namespace resivex::shell {

namespace {

constexpr std::string_view utf16le_mark = "\xFF\xFE";
constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";

bool has_extension(std::string_view path, std::string_view ext) {
  if (path.size() < ext.size()) return false;
  const std::string_view tail = path.substr(path.size() - ext.size());
  for (std::size_t i = 0; i < ext.size(); ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != ext[i]) return false;
  }
  return true;
}

bool starts_with(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

std::u16string utf16le_text(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

// The text of bytes in a code page, when it gives back exactly those bytes.
bool decode_exactly(code_pages& pages, code_pages::page p, std::string_view bytes, std::u16string& text) {
  std::string back;
  return pages.decode(p, bytes, text) && pages.encode(p, text, back) && back == bytes;
}

std::optional<loaded_text> read_as(std::string_view path, std::string_view bytes, code_pages& pages) {
  if (bytes.empty()) return loaded_text{encoding_for_new_file(path), {}};
  if (starts_with(bytes, utf16le_mark) && bytes.size() % 2 == 0) {
    // Every sequence of UTF-16 units goes back to the same bytes, lone surrogates too.
    return loaded_text{file_encoding::utf16le, utf16le_text(bytes.substr(utf16le_mark.size()))};
  }
  std::u16string text;
  if (starts_with(bytes, utf8_mark) && utf16_from_utf8(bytes.substr(utf8_mark.size()), text)) {
    return loaded_text{file_encoding::utf8, std::move(text)};
  }
  if (is_batch_name(path) && decode_exactly(pages, code_pages::page::oem, bytes, text)) {
    return loaded_text{file_encoding::oem, std::move(text)};
  }
  if (decode_exactly(pages, code_pages::page::ansi, bytes, text)) return loaded_text{file_encoding::ansi, std::move(text)};
  return std::nullopt;
}

}  // namespace

bool is_batch_name(std::string_view path) { return has_extension(path, ".bat") || has_extension(path, ".cmd"); }

file_encoding encoding_for_new_file(std::string_view path) {
  if (has_extension(path, ".reg")) return file_encoding::utf16le;
  if (is_batch_name(path)) return file_encoding::oem;
  return file_encoding::utf8;
}

std::optional<loaded_text> decode_document(std::string_view path, std::string_view bytes, code_pages& pages) {
  std::optional<loaded_text> loaded = read_as(path, bytes, pages);
  if (loaded && loaded->text.find(u'\0') != std::u16string::npos) return std::nullopt;
  return loaded;
}

bool encode_document(file_encoding encoding, std::u16string_view text, code_pages& pages, std::string& bytes) {
  bytes.clear();
  switch (encoding) {
    case file_encoding::utf16le:
      bytes.reserve(utf16le_mark.size() + 2 * text.size());
      bytes = utf16le_mark;
      for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
      }
      return true;
    case file_encoding::utf8: {
      std::string utf8;
      if (!utf8_from_utf16(text, utf8)) return false;
      bytes = std::string(utf8_mark) + utf8;
      return true;
    }
    case file_encoding::oem:
      return pages.encode(code_pages::page::oem, text, bytes);
    case file_encoding::ansi:
      return pages.encode(code_pages::page::ansi, text, bytes);
  }
  return false;
}

}  // namespace resivex::shell
