// Which encoding a document's file is read in, what a save writes, and which saves are refused. The two
// code pages are small made-up tables here, so that every rule can be seen at work.
#include "shell/document_encoding.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace resivex::shell {
namespace {

// A code page given as a table from bytes to characters; ASCII maps to itself. Bytes missing from the
// table form no text; two bytes may stand for one character (the page cannot tell them apart on the way
// back).
struct table_page {
  std::map<unsigned char, char16_t> extra;

  bool decode(std::string_view bytes, std::u16string& text) const {
    text.clear();
    for (const char b : bytes) {
      const auto byte = static_cast<unsigned char>(b);
      if (byte < 0x80) {
        text.push_back(byte);
      } else if (const auto it = extra.find(byte); it != extra.end()) {
        text.push_back(it->second);
      } else {
        return false;
      }
    }
    return true;
  }
  bool encode(std::u16string_view text, std::string& bytes) const {
    bytes.clear();
    for (const char16_t c : text) {
      if (c < 0x80) {
        bytes.push_back(static_cast<char>(c));
        continue;
      }
      bool found = false;
      for (const auto& [byte, ch] : extra) {
        if (ch == c) {
          bytes.push_back(static_cast<char>(byte));
          found = true;
          break;
        }
      }
      if (!found) return false;
    }
    return true;
  }
};

class fake_pages : public code_pages {
 public:
  // Like code page 437: o-umlaut 0x94, e-acute 0x82; 0xFA and 0xFB both a middle dot.
  table_page oem{{{0x94, u'\u00F6'}, {0x82, u'\u00E9'}, {0xFA, u'\u00B7'}, {0xFB, u'\u00B7'}}};
  // Like code page 1252: o-umlaut 0xF6, e-acute 0xE9, the euro sign 0x80; 0x81 is no character.
  table_page ansi{{{0xF6, u'\u00F6'}, {0xE9, u'\u00E9'}, {0x80, u'\u20AC'}}};

  bool decode(page p, std::string_view bytes, std::u16string& text) override {
    return (p == page::oem ? oem : ansi).decode(bytes, text);
  }
  bool encode(page p, std::u16string_view text, std::string& bytes) override {
    return (p == page::oem ? oem : ansi).encode(text, bytes);
  }
};

std::string utf16le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

const std::u16string cyrillic_key = u"[HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\\u041A\u043E\u043C\u043F\u0430\u043D\u0438\u044F]\r\n";

TEST(DocumentLoad, AUtf16MarkGivesUtf16Text) {
  fake_pages pages;
  const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n" + cyrillic_key;
  const auto loaded = decode_document("C:\\r\\report.reg", utf16le(text), pages);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->encoding, file_encoding::utf16le);
  EXPECT_EQ(loaded->text, text);
}

TEST(DocumentLoad, TheMarkDecidesAndNotTheName) {
  fake_pages pages;
  for (const char* name : {"notes.txt", "report.bat", "report_mods.reg", "noext"}) {
    const auto utf16 = decode_document(name, utf16le(u"\u00F6"), pages);
    ASSERT_TRUE(utf16) << name;
    EXPECT_EQ(utf16->encoding, file_encoding::utf16le) << name;
    const auto utf8 = decode_document(name, "\xEF\xBB\xBF" "J\xC3\xB6rg", pages);
    ASSERT_TRUE(utf8) << name;
    EXPECT_EQ(utf8->encoding, file_encoding::utf8) << name;
    EXPECT_EQ(utf8->text, u"J\u00F6rg") << name;
  }
}

TEST(DocumentLoad, AUtf16MarkAloneIsAnEmptyUtf16Text) {
  fake_pages pages;
  const auto loaded = decode_document("a.txt", "\xFF\xFE", pages);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->encoding, file_encoding::utf16le);
  EXPECT_EQ(loaded->text, u"");
}

TEST(DocumentLoad, UnpairedSurrogatesOfAUtf16FileAreKeptAsTheyAre) {
  fake_pages pages;
  const std::string bytes = utf16le(u"a\xD800z");
  const auto loaded = decode_document("a.reg", bytes, pages);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->encoding, file_encoding::utf16le);
  std::string saved;
  ASSERT_TRUE(encode_document(loaded->encoding, loaded->text, pages, saved));
  EXPECT_EQ(saved, bytes);
}

TEST(DocumentLoad, AUtf16MarkWithAnOddByteIsNotUtf16) {
  fake_pages pages;
  // FF is no character of the ANSI table either: no exact reading.
  EXPECT_FALSE(decode_document("a.reg", "\xFF\xFE" "a\x00" "b", pages));
}

TEST(DocumentLoad, AUtf8MarkBeforeMalformedUtf8IsReadInTheAnsiCodePage) {
  fake_pages pages;
  pages.ansi.extra[0xEF] = u'\u00EF';
  pages.ansi.extra[0xBB] = u'\u00BB';
  pages.ansi.extra[0xBF] = u'\u00BF';
  const auto loaded = decode_document("a.txt", "\xEF\xBB\xBF" "caf\xE9", pages);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->encoding, file_encoding::ansi);
  EXPECT_EQ(loaded->text, u"\u00EF\u00BB\u00BF" "caf\u00E9");
}

TEST(DocumentLoad, ABatchFileIsReadInTheOemCodePage) {
  fake_pages pages;
  for (const char* name : {"C:\\J\xC3\xB6rg\\report.bat", "x.BAT", "x.cmd", "x.Cmd"}) {
    const auto loaded = decode_document(name, "DEL \"C:\\J\x94rg\\a.log\"\r\n", pages);
    ASSERT_TRUE(loaded) << name;
    EXPECT_EQ(loaded->encoding, file_encoding::oem) << name;
    EXPECT_EQ(loaded->text, u"DEL \"C:\\J\u00F6rg\\a.log\"\r\n") << name;
  }
}

TEST(DocumentLoad, AnAsciiBatchFileIsStillOem) {
  // What the user types into it must be saved as cmd reads it.
  fake_pages pages;
  const auto loaded = decode_document("report.bat", "@ECHO OFF\r\n", pages);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->encoding, file_encoding::oem);
}

TEST(DocumentLoad, ABatchFileThatDoesNotComeBackExactlyFromOemIsReadInAnsi) {
  fake_pages pages;
  // 0xFB reads as the middle dot, which the page writes back as 0xFA.
  pages.ansi.extra[0xFB] = u'\u00FB';
  const auto loaded = decode_document("report.bat", "REM \xFB\r\n", pages);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->encoding, file_encoding::ansi);
  EXPECT_EQ(loaded->text, u"REM \u00FB\r\n");
}

TEST(DocumentLoad, OtherFilesAreReadInTheAnsiCodePage) {
  fake_pages pages;
  for (const char* name : {"report.reg", "report_errors.txt", "a.bat.txt", "C:\\x.bat\\file", "bat"}) {
    const auto loaded = decode_document(name, "REGEDIT4\r\n; caf\xE9 J\xF6rg \x80\r\n", pages);
    ASSERT_TRUE(loaded) << name;
    EXPECT_EQ(loaded->encoding, file_encoding::ansi) << name;
    EXPECT_EQ(loaded->text, u"REGEDIT4\r\n; caf\u00E9 J\u00F6rg \u20AC\r\n") << name;
  }
}

TEST(DocumentLoad, BytesThatNoCodePageReadsExactlyAreNotLoaded) {
  fake_pages pages;
  EXPECT_FALSE(decode_document("a.txt", "x\x81y", pages));
  EXPECT_FALSE(decode_document("a.bat", "x\x81y", pages));
}

TEST(DocumentLoad, ATextHoldingANulIsNotLoaded) {
  fake_pages pages;
  using namespace std::string_literals;
  EXPECT_FALSE(decode_document("a.txt", "before\0after"s, pages));
  EXPECT_FALSE(decode_document("a.bat", "before\0after"s, pages));
  EXPECT_FALSE(decode_document("a.reg", utf16le(u"before\0after"s), pages));
  EXPECT_FALSE(decode_document("a.txt", "\xEF\xBB\xBF" "before\0after"s, pages));
}

TEST(DocumentLoad, AnEmptyFileTakesTheEncodingOfANewFileOfItsName) {
  fake_pages pages;
  for (const auto& [name, encoding] : {std::pair{"a.reg", file_encoding::utf16le}, std::pair{"a.bat", file_encoding::oem},
                                       std::pair{"a.txt", file_encoding::utf8}}) {
    const auto loaded = decode_document(name, "", pages);
    ASSERT_TRUE(loaded) << name;
    EXPECT_EQ(loaded->encoding, encoding) << name;
    EXPECT_EQ(loaded->text, u"") << name;
  }
}

TEST(DocumentSave, Utf16IsWrittenWithItsMark) {
  fake_pages pages;
  std::string bytes;
  ASSERT_TRUE(encode_document(file_encoding::utf16le, u"A\u041A\r\n", pages, bytes));
  EXPECT_EQ(bytes, std::string("\xFF\xFE" "A\x00\x1A\x04\r\x00\n\x00", 10));
  ASSERT_TRUE(encode_document(file_encoding::utf16le, u"", pages, bytes));
  EXPECT_EQ(bytes, "\xFF\xFE");
}

TEST(DocumentSave, Utf8IsWrittenWithItsMark) {
  fake_pages pages;
  std::string bytes;
  ASSERT_TRUE(encode_document(file_encoding::utf8, u"\u041A\u20AC\U0001F600", pages, bytes));
  EXPECT_EQ(bytes, "\xEF\xBB\xBF\xD0\x9A\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(DocumentSave, AnUnpairedSurrogateIsNotWrittenAsUtf8) {
  fake_pages pages;
  std::string bytes;
  EXPECT_FALSE(encode_document(file_encoding::utf8, u"a\xDC00", pages, bytes));
}

TEST(DocumentSave, CodePagesWriteTheirOwnBytesAndRefuseWhatTheyLack) {
  fake_pages pages;
  std::string bytes;
  ASSERT_TRUE(encode_document(file_encoding::oem, u"REM r\u00E9vis\u00E9\r\n", pages, bytes));
  EXPECT_EQ(bytes, "REM r\x82vis\x82\r\n");
  ASSERT_TRUE(encode_document(file_encoding::ansi, u"REM r\u00E9vis\u00E9\r\n", pages, bytes));
  EXPECT_EQ(bytes, "REM r\xE9vis\xE9\r\n");
  EXPECT_FALSE(encode_document(file_encoding::oem, u"REM \u20AC", pages, bytes));
  EXPECT_FALSE(encode_document(file_encoding::ansi, u"REM \u041A", pages, bytes));
}

TEST(DocumentSave, WhatIsLoadedIsSavedToTheSameBytes) {
  fake_pages pages;
  const struct {
    const char* name;
    std::string bytes;
  } files[] = {
      {"report.reg", utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[-" + cyrillic_key)},
      {"report_errors.txt", "\xEF\xBB\xBF" "HKEY_USERS\\\xD0\x9A: 5\r\n"},
      {"report.bat", "@ECHO OFF\r\nRMDIR /S \"C:\\J\x94rg\"\r\n"},
      {"report_mods.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\caf\xE9]\r\n"},
      {"report.bat", "REM \xFB\r\n"},
  };
  pages.ansi.extra[0xFB] = u'\u00FB';
  for (const auto& f : files) {
    const auto loaded = decode_document(f.name, f.bytes, pages);
    ASSERT_TRUE(loaded) << f.name;
    std::string saved;
    ASSERT_TRUE(encode_document(loaded->encoding, loaded->text, pages, saved)) << f.name;
    EXPECT_EQ(saved, f.bytes) << f.name;
  }
}

TEST(NewDocument, TheNameChoosesTheEncoding) {
  EXPECT_EQ(encoding_for_new_file("C:\\x\\cleanup.reg"), file_encoding::utf16le);
  EXPECT_EQ(encoding_for_new_file("C:\\x\\CLEANUP.REG"), file_encoding::utf16le);
  EXPECT_EQ(encoding_for_new_file("C:\\x\\cleanup.bat"), file_encoding::oem);
  EXPECT_EQ(encoding_for_new_file("C:\\x\\cleanup.CMD"), file_encoding::oem);
  EXPECT_EQ(encoding_for_new_file("C:\\x\\notes.txt"), file_encoding::utf8);
  EXPECT_EQ(encoding_for_new_file("C:\\x\\notes"), file_encoding::utf8);
  EXPECT_EQ(encoding_for_new_file("C:\\x\\notes.reg.txt"), file_encoding::utf8);
  EXPECT_EQ(encoding_for_new_file("C:\\x.reg\\notes"), file_encoding::utf8);
  EXPECT_EQ(encoding_for_new_file("C:\\x\\notes.regx"), file_encoding::utf8);
}

}  // namespace
}  // namespace resivex::shell
