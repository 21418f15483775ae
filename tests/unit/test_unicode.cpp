// UTF-8 and UTF-16, the program's text and the Windows API's: round trips of every kind of character, what
// names no character, and the lengths Windows counts.
#include "conversion/unicode.h"

#include "conversion/output_file.h"
#include "tests/unit/fake_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace resivex::testing {
namespace {

TEST(unicode, every_kind_of_character_goes_there_and_back_exactly) {
  // ASCII, Latin-1, Greek, Cyrillic, CJK, the last character of the BMP and two beyond it (surrogate pairs).
  const std::u16string wide = u"a\u00e9\u03a9\u0416\u65e5\uFFFD\uFFFF\U0001F600\U0010FFFF";
  std::string utf8;
  ASSERT_TRUE(utf8_from_utf16(wide, utf8));
  EXPECT_EQ(utf8, "a\xC3\xA9\xCE\xA9\xD0\x96\xE6\x97\xA5\xEF\xBF\xBD\xEF\xBF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
  std::u16string back;
  ASSERT_TRUE(utf16_from_utf8(utf8, back));
  EXPECT_EQ(back, wide);
  EXPECT_EQ(utf16_length(utf8), wide.size()) << "a character beyond the BMP counts two, as Windows counts";
}

TEST(unicode, what_names_no_character_becomes_the_substitute_and_says_so) {
  struct row {
    std::u16string wide;
    const char* utf8;
  };
  for (const row& r : {row{std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},          // a lead alone
                       row{std::u16string(1, char16_t(0xDC00)) + u"x", "\xEF\xBF\xBDx"},  // a trail alone
                       row{std::u16string{char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)},
                           "\xEF\xBF\xBD\xF0\x90\x80\x80"}}) {  // two leads: the second pairs
    std::string out;
    EXPECT_FALSE(utf8_from_utf16(r.wide, out));
    EXPECT_EQ(out, r.utf8);
  }
  for (const char* bad : {"\xC3", "\xC3(", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80",
                          "\xFF"}) {
    std::u16string out;
    EXPECT_FALSE(utf16_from_utf8(bad, out)) << "malformed: " << bad;
    EXPECT_NE(out.find(u'\uFFFD'), std::u16string::npos);
  }
}

TEST(unicode, utf16le_bytes_and_lengths) {
  std::string bytes;
  EXPECT_TRUE(append_utf16le("A\xD0\x96\xF0\x9F\x98\x80", bytes));
  EXPECT_EQ(bytes, std::string("A\0\x16\x04\x3D\xD8\x00\xDE", 8));
  EXPECT_TRUE(longer_than("\xD0\x96\xD0\x96\xD0\x96", 2));
  EXPECT_FALSE(longer_than("\xD0\x96\xD0\x96\xD0\x96", 3)) << "six bytes, three characters";
  EXPECT_EQ(head_of("a\xD0\x96" "b", 2), "a") << "never half a character";
  EXPECT_EQ(head_of("a\xD0\x96" "b", 3), "a\xD0\x96");
  EXPECT_TRUE(is_ascii("plain text"));
  EXPECT_FALSE(is_ascii("caf\xC3\xA9 au lait"));
}

class output_file_test : public ::testing::Test {
protected:
  std::string written(file_encoding encoding, const std::string& text) {
    const std::string path = ::testing::TempDir() + "resivex-output-file-test";
    output_file f;
    EXPECT_TRUE(f.create(machine_, path.c_str(), encoding));
    f.write(text);
    EXPECT_TRUE(f.close());
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::remove(path.c_str());
    return s.str();
  }
  fake_machine machine_;
};

TEST_F(output_file_test, regedit_form_is_utf16le_after_its_mark_with_cr_lf) {
  EXPECT_EQ(written(file_encoding::utf16le_bom, "A\n\xD0\x96\n"),
            std::string("\xFF\xFE" "A\0\r\0\n\0\x16\x04\r\0\n\0", 14));
  EXPECT_EQ(written(file_encoding::utf16le_bom, ""), "\xFF\xFE") << "the mark, even for no text";
}

TEST_F(output_file_test, the_error_list_is_utf8_after_its_mark_and_ansi_scripts_are_ansi) {
  EXPECT_EQ(written(file_encoding::utf8_bom, "\xD0\x96\n"), "\xEF\xBB\xBF\xD0\x96\n");
  // The fake's ANSI code page is Latin-1: what it lacks comes out as "?" (writers keep it to comments).
  EXPECT_EQ(written(file_encoding::ansi, "caf\xC3\xA9 \xD0\x96\n"), "caf\xE9 ?\n");
  EXPECT_EQ(written(file_encoding::bytes, "as \xE9 is\n"), "as \xE9 is\n");
}

}  // namespace
}  // namespace resivex::testing
