// How a document window's file holds its text, decided without any window code so that the shell's unit
// tests check it natively. The edit control holds UTF-16; the files hold what their readers expect: regedit
// reads its own export form (UTF-16LE with a byte-order mark), cmd reads batch files in the console's (OEM)
// code page, and the error list is UTF-8 with a mark. A document is saved in the encoding its file was
// loaded in, so that a save never changes what the user did not edit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace resivex::shell {

enum class file_encoding {
  utf16le,  // the mark FF FE, then UTF-16LE
  utf8,     // the mark EF BB BF, then UTF-8
  oem,      // the console's code page, no mark
  ansi,     // the Windows code page, no mark
};

// The machine's two single- or multi-byte code pages (Win32: MultiByteToWideChar and WideCharToMultiByte).
class code_pages {
 public:
  enum class page { oem, ansi };
  virtual ~code_pages() = default;
  // The text that bytes stand for in the page. False when they do not form text there.
  virtual bool decode(page p, std::string_view bytes, std::u16string& text) = 0;
  // The bytes of text in the page. False when a character has no exact form there: a best-fit look-alike
  // would name another file.
  virtual bool encode(page p, std::u16string_view text, std::string& bytes) = 0;
};

struct loaded_text {
  file_encoding encoding;
  std::u16string text;
};

// Reads a file's bytes as a document. The first of these that gives back exactly the file's bytes when
// saved decides: a UTF-16LE mark; a UTF-8 mark; for a batch file (.bat, .cmd), the OEM code page; the ANSI
// code page. An empty file takes the encoding a new file of its name would. Nothing when no reading is
// exact, or when the text holds a NUL (the edit control would end the text there): a save would change
// bytes the user never saw.
std::optional<loaded_text> decode_document(std::string_view path, std::string_view bytes, code_pages& pages);

// The bytes that a save of text in the encoding writes, with its mark. False when a character cannot be
// written in it (a code page that lacks it; a lone surrogate in UTF-8): such a save is refused, never made
// with a substitute.
bool encode_document(file_encoding encoding, std::u16string_view text, code_pages& pages, std::string& bytes);

// The encoding of a document that has no file yet, saved under path: a registry script in regedit's own
// form, a batch file as cmd reads it, anything else UTF-8 with a mark.
file_encoding encoding_for_new_file(std::string_view path);

// Whether path names a batch file (.bat or .cmd, in any case).
bool is_batch_name(std::string_view path);

}  // namespace resivex::shell
