// The value data encoders of the reset script: every notation of the old data that Regshot 1.8.x, 1.9.0 and
// 1.9.1 write, the worked examples, the wrap rule of hex lists, and the data that cannot be restored exactly.
#include "conversion/registry/encoders.h"

#include "conversion/registry/entry_line.h"
#include "tests/unit/fake_machine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace resivex::testing {
namespace {

constexpr std::uint32_t none_given = 0xFFFFFFFF;

class encoder_test : public ::testing::Test {
protected:
  void SetUp() override {
    rs_ = std::make_unique<run_state>(machine_);
    rs_->value_data = allocate_memory2(*rs_, work_buffer_size);
    rs_->regkey_data2 = allocate_memory2(*rs_, work_buffer_size);
    rs_->regkey_data3 = allocate_memory2(*rs_, work_buffer_size);
    rs_->value_data_size = rs_->regkey_data2_size = rs_->regkey_data3_size = static_cast<int>(work_buffer_size);
  }

  // A report in the given bytes, so that the encoders know the report's encoding.
  void report_of(const std::string& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    rs_->report = std::make_unique<report_reader>(machine_, f);
  }

  // Encodes the old line (its first reading) for a value of the given live type and data. The result is the
  // value text, "declined", or "not reset: <reason>".
  std::string encode(std::uint32_t type, const std::string& old_line, const std::string& live = std::string()) {
    copy_text(rs_->line_buf, old_line + "\n");
    rs_->line_len = static_cast<int>(old_line.size() + 1);
    registry_state& state = registry_of(*rs_);
    split_list splits;
    candidate_splits(view_of(rs_->line_buf), 0, splits);
    EXPECT_GT(splits.count, 0) << old_line;
    state.split = splits.items[0];
    state.value_type = type;
    std::memcpy(rs_->value_data.get(), live.data(), live.size());
    state.data_len = static_cast<int>(live.size());
    std::string name;
    const std::string_view line = view_of(rs_->line_buf);
    quoted_value_name(line.substr(state.split.name_start, state.split.name_end - state.split.name_start),
                      state.split.is_default, name);
    copy_text(rs_->out_line, name);
    switch (type) {
      case win::reg_sz: encode_string(*rs_); break;
      case win::reg_expand_sz: encode_expand_string(*rs_); break;
      case win::reg_binary: encode_binary(*rs_); break;
      case win::reg_dword: encode_dword(*rs_); break;
      case win::reg_multi_sz: encode_multi_string(*rs_); break;
      case win::reg_qword: encode_qword(*rs_); break;
      default: ADD_FAILURE() << "no encoder for type " << type;
    }
    if (state.value_type == value_type_declined) return "declined";
    if (state.unrestorable != nullptr) return std::string("not reset: ") + state.unrestorable;
    return state.value_text;
  }

  fake_machine machine_;
  std::unique_ptr<run_state> rs_;
};

struct encoding_case {
  const char* what;
  std::uint32_t type;
  const char* old_line;
  const char* expected;
};

// The worked examples and each notation of each Regshot version.
TEST_F(encoder_test, every_notation_of_every_type_gives_the_old_data) {
  const encoding_case cases[] = {
      // The worked examples.
      {"string", win::reg_sz, "HKLM\\S\\Name: \"abc\"", "\"Name\"=\"abc\""},
      {"string with a backslash", win::reg_sz, "HKLM\\S\\Name: \"C:\\Temp\"", "\"Name\"=\"C:\\\\Temp\""},
      {"expandable string", win::reg_expand_sz, "HKLM\\S\\Name: \"abc\"", "\"Name\"=hex(2):61,00,62,00,63,00,00,00"},
      {"binary", win::reg_binary, "HKLM\\S\\Name: 61 62 63", "\"Name\"=hex:61,62,63"},
      {"dword", win::reg_dword, "HKLM\\S\\Name: 0x00000001", "\"Name\"=dword:00000001"},
      {"qword 1.9.1", win::reg_qword, "HKLM\\S\\Name: 0x0000000000616263", "\"Name\"=hex(b):63,62,61,00,00,00,00,00"},
      // Strings: inner quotes are raw in the report and escaped in the script.
      {"inner quotes", win::reg_sz, "HKLM\\S\\Q: \"say \"hi\"\"", "\"Q\"=\"say \\\"hi\\\"\""},
      {"empty string", win::reg_sz, "HKLM\\S\\E: \"\"", "\"E\"=\"\""},
      {"string of zero bytes, 1.9", win::reg_sz, "HKLM\\S\\Z: (NULL!)", "\"Z\"=hex(1):"},
      {"string of zero bytes, 1.8", win::reg_sz, "HKLM\\S\\Z:", "\"Z\"=hex(1):"},
      {"a quoted string that is an empty expandable string", win::reg_expand_sz, "HKLM\\S\\X: \"\"",
       "\"X\"=hex(2):00,00"},
      {"expandable, zero bytes", win::reg_expand_sz, "HKLM\\S\\X: (NULL!)", "\"X\"=hex(2):"},
      {"expandable, beyond ASCII and beyond the BMP", win::reg_expand_sz, "HKLM\\S\\X: \"\u00e9\u0436\U0001F600\"",
       "\"X\"=hex(2):E9,00,36,04,3D,D8,00,DE,00,00"},
      // Binary: 1.8.x and 1.9.1 put one blank, 1.9.0 two; zero bytes are "(NULL!)" or nothing.
      {"binary 1.9.0", win::reg_binary, "HKLM\\S\\B:  01 02 0A", "\"B\"=hex:01,02,0A"},
      {"binary, lower-case digits", win::reg_binary, "HKLM\\S\\B: aa bb", "\"B\"=hex:AA,BB"},
      {"binary, zero bytes 1.9", win::reg_binary, "HKLM\\S\\B: (NULL!)", "\"B\"=hex:"},
      {"binary, zero bytes 1.8", win::reg_binary, "HKLM\\S\\B:", "\"B\"=hex:"},
      // Dwords of another length than four bytes are shown as bytes.
      {"dword of three bytes", win::reg_dword, "HKLM\\S\\D: 01 02 03", "\"D\"=hex(4):01,02,03"},
      {"dword, lower-case digits", win::reg_dword, "HKLM\\S\\D: 0x0000abcd", "\"D\"=dword:0000abcd"},
      // Qwords: 1.8.x and 1.9.0 show the stored bytes, least significant first.
      {"qword 1.8", win::reg_qword, "HKLM\\S\\Q: 08 07 06 05 04 03 02 01", "\"Q\"=hex(b):08,07,06,05,04,03,02,01"},
      {"qword 1.9.0", win::reg_qword, "HKLM\\S\\Q:  2A 00 00 00 00 00 00 00", "\"Q\"=hex(b):2A,00,00,00,00,00,00,00"},
      {"qword 1.9.1", win::reg_qword, "HKLM\\S\\Q: 0x0102030405060708", "\"Q\"=hex(b):08,07,06,05,04,03,02,01"},
      // Multi-strings: UTF-16LE, each string's terminator and the list's, wrapped as regedit wraps.
      {"multi 1.9.1", win::reg_multi_sz, "HKLM\\S\\M: \"line1\", \"line2\"",
       "\"M\"=hex(7):6C,00,69,00,6E,00,65,00,31,00,00,00,6C,00,69,00,6E,00,65,00,32,00,\\\n  00,00,00,00"},
      {"multi 1.9.1, one string with a blank", win::reg_multi_sz, "HKLM\\S\\M: \"a b\"",
       "\"M\"=hex(7):61,00,20,00,62,00,00,00,00,00"},
      {"multi 1.9.1, the empty list", win::reg_multi_sz, "HKLM\\S\\M: \"\"", "\"M\"=hex(7):00,00"},
      {"multi of an ANSI build, 1.9.0: its ANSI bytes become UTF-16", win::reg_multi_sz,
       "HKLM\\S\\M:  61 00 E9 00 00", "\"M\"=hex(7):61,00,00,00,E9,00,00,00,00,00"},
      {"multi, zero bytes", win::reg_multi_sz, "HKLM\\S\\M: (NULL!)", "\"M\"=hex(7):"},
      // The default value.
      {"default value", win::reg_sz, "HKLM\\S\\: \"old default\"", "@=\"old default\""},
      // Data that cannot be restored exactly.
      {"multi 1.8", win::reg_multi_sz, "HKLM\\S\\M: 'new1 new2 with space'",
       "not reset: Regshot 1.8 shows a multi-string with blanks in place of the separators of its strings"},
      {"binary cut by Regshot", win::reg_binary, "HKLM\\S\\B: 01 02 03 ...", "not reset: Regshot cut its old data short"},
      {"string shown as bytes", win::reg_sz, "HKLM\\S\\S: 61 00 62", "not reset: the report does not show its old "
                                                                      "data in a form of its current type"},
      {"dword shown as a string", win::reg_dword, "HKLM\\S\\D: \"ten\"",
       "not reset: the report does not show its old data in a form of its current type"},
      {"qword with too few digits", win::reg_qword, "HKLM\\S\\Q: 0x0102",
       "not reset: the report does not show its old data in a form of its current type"},
      {"binary with a stray blank", win::reg_binary, "HKLM\\S\\B: 01  02",
       "not reset: the report does not show its old data in a form of its current type"},
  };
  for (const encoding_case& c : cases) {
    EXPECT_EQ(encode(c.type, c.old_line, "live"), c.expected) << c.what;
  }
}

TEST_F(encoder_test, a_binary_value_that_holds_its_old_data_is_left_alone) {
  EXPECT_EQ(encode(win::reg_binary, "HKLM\\S\\B: 61 62 63", "abc"), "declined");
  EXPECT_EQ(encode(win::reg_binary, "HKLM\\S\\B: 61 62 63", "abd"), "\"B\"=hex:61,62,63");
  EXPECT_EQ(encode(win::reg_binary, "HKLM\\S\\B: (NULL!)", ""), "declined");
  EXPECT_EQ(encode(win::reg_binary, "HKLM\\S\\B: (NULL!)", std::string(1, '\0')), "\"B\"=hex:");
  EXPECT_EQ(encode(win::reg_binary, "HKLM\\S\\B: aa bb", "\xAA\xBB"), "declined") << "compared as bytes";
}

TEST_F(encoder_test, strings_with_line_breaks_or_too_long_for_a_line_go_as_bytes) {
  // A quoted string in a .reg file cannot hold a line break, nor continue on the next line.
  EXPECT_EQ(encode(win::reg_sz, "HKLM\\S\\M: \"a\r\nb\"", "x"), "\"M\"=hex(1):61,00,0D,00,0A,00,62,00,00,00");
  EXPECT_EQ(encode(win::reg_sz, "HKLM\\S\\M: \"a\nb\"", "x"), "\"M\"=hex(1):61,00,0A,00,62,00,00,00");
  EXPECT_EQ(encode(win::reg_expand_sz, "HKLM\\S\\X: \"%a%\r\nb\"", "x"),
            "\"X\"=hex(2):25,00,61,00,25,00,0D,00,0A,00,62,00,00,00");
  // The line's limit is one of characters: 1023 of them fit, in any alphabet.
  for (const std::string letter : {"A", "\u0416"}) {
    std::string fits;
    for (std::size_t i = 0; i < 1023 - std::string("\"L\"=\"\"").size(); ++i) fits += letter;
    EXPECT_EQ(encode(win::reg_sz, "HKLM\\S\\L: \"" + fits + "\"", "x"), "\"L\"=\"" + fits + "\"");
    const std::string text = encode(win::reg_sz, "HKLM\\S\\L: \"" + fits + letter + "\"", "x");
    ASSERT_EQ(text.substr(0, 11), "\"L\"=hex(1):");
    EXPECT_EQ(text.substr(text.size() - 12), letter == "A" ? ",41,00,00,00" : ",16,04,00,00")
        << "the terminator ends the list";
    std::size_t commas = 0;
    for (char c : text) commas += c == ',' ? 1 : 0;
    EXPECT_EQ(commas, 2 * (fits.size() / letter.size() + 1) + 2 - 1) << "two bytes a character, two of the end";
  }
}

TEST_F(encoder_test, a_regedit4_script_holds_ansi_bytes_and_nothing_its_code_page_lacks) {
  rs_->unicode_scripts = false;
  const encoding_case cases[] = {
      {"expandable string", win::reg_expand_sz, "HKLM\\S\\X: \"a\u00e9\"", "\"X\"=hex(2):61,E9,00"},
      {"empty expandable string", win::reg_expand_sz, "HKLM\\S\\X: \"\"", "\"X\"=hex(2):00"},
      {"line break", win::reg_sz, "HKLM\\S\\M: \"a\nb\"", "\"M\"=hex(1):61,0A,62,00"},
      {"multi 1.9.1", win::reg_multi_sz, "HKLM\\S\\M: \"a\", \"b\"", "\"M\"=hex(7):61,00,62,00,00"},
      {"multi 1.9.1, the empty list", win::reg_multi_sz, "HKLM\\S\\M: \"\"", "\"M\"=hex(7):00"},
      {"multi of an ANSI build, 1.9.0", win::reg_multi_sz, "HKLM\\S\\M:  61 00 62 00 00",
       "\"M\"=hex(7):61,00,62,00,00"},
      {"a string beyond the code page", win::reg_sz, "HKLM\\S\\S: \"\u0416\"",
       "not reset: its old data holds characters that this system's code page cannot hold, and its REGEDIT4 script "
       "is in that code page"},
      {"an expandable string beyond it", win::reg_expand_sz, "HKLM\\S\\X: \"\u0416\"",
       "not reset: its old data holds characters that this system's code page cannot hold, and its REGEDIT4 script "
       "is in that code page"},
  };
  for (const encoding_case& c : cases) {
    EXPECT_EQ(encode(c.type, c.old_line, "live"), c.expected) << c.what;
  }
}

TEST_F(encoder_test, multi_strings_of_a_unicode_report_in_hex_keep_their_utf16_bytes) {
  report_of(std::string("R\0e\0\r\0\n\0", 8));
  ASSERT_EQ(rs_->report->encoding(), report_encoding::utf16le);
  EXPECT_EQ(encode(win::reg_multi_sz, "HKLM\\S\\M:  6C 00 31 00 00 00 36 04 00 00 00 00", "x"),
            "\"M\"=hex(7):6C,00,31,00,00,00,36,04,00,00,00,00");
  EXPECT_EQ(encode(win::reg_multi_sz, "HKLM\\S\\M:  61 00 00", "x"),
            "not reset: the report does not show its old data in a form of its current type");
  // A REGEDIT4 script holds them in the ANSI code page, where it can.
  rs_->unicode_scripts = false;
  EXPECT_EQ(encode(win::reg_multi_sz, "HKLM\\S\\M:  6C 00 31 00 00 00 E9 00 00 00 00 00", "x"),
            "\"M\"=hex(7):6C,31,00,E9,00,00");
  EXPECT_EQ(encode(win::reg_multi_sz, "HKLM\\S\\M:  36 04 00 00 00 00", "x"),
            "not reset: its old data holds characters that this system's code page cannot hold, and its REGEDIT4 script "
            "is in that code page");
}

// The wrap rule, regedit's: after the comma that brings a line to 77 characters or more, when another byte
// follows, a backslash, a line end and two blanks.
TEST_F(encoder_test, hex_lists_wrap_as_regedit_wraps_them) {
  auto groups = [](int n) {
    std::string g;
    char b[4];
    for (int i = 0; i < n; ++i) {
      std::snprintf(b, sizeof b, i ? " %02X" : "%02X", i);
      g += b;
    }
    return g;
  };
  struct wrap_case {
    int bytes;
    std::size_t first;  // characters on the first line before the list
    const char* expected;
  } cases[] = {
      {0, 10, ""},
      {1, 10, "00"},
      // As Wine's regedit /e writes a value named LongBinaryValueName ("LongBinaryValueName"=hex: is 26 long).
      {64, 26, "00,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F,10,\\\n"
               "  11,12,13,14,15,16,17,18,19,1A,1B,1C,1D,1E,1F,20,21,22,23,24,25,26,27,28,29,\\\n"
               "  2A,2B,2C,2D,2E,2F,30,31,32,33,34,35,36,37,38,39,3A,3B,3C,3D,3E,3F"},
      {17, 26, "00,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F,10"},  // no backslash without a byte after it
      {18, 26, "00,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F,10,\\\n  11"},
  };
  for (const wrap_case& c : cases) {
    wrap_hex_list(*rs_, groups(c.bytes), c.first);
    EXPECT_EQ(std::string(rs_->regkey_data2.get()), c.expected) << c.bytes << " bytes";
  }
  wrap_hex_list(*rs_, "61,62,63", 10);
  EXPECT_EQ(std::string(rs_->regkey_data2.get()), "61,62,63") << "commas separate as well as blanks";
}

TEST_F(encoder_test, long_values_are_written_in_full) {
  std::string old = "HKLM\\S\\Big:";
  for (int i = 0; i < 600; ++i) old += " 5A";
  const std::string text = encode(win::reg_binary, old, "x");
  ASSERT_EQ(text.substr(0, 11), "\"Big\"=hex:5");
  std::size_t lines = 1, longest = 0, start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      longest = std::max(longest, i - start);
      start = i + 1;
      lines += i < text.size() ? 1 : 0;
    }
  }
  EXPECT_EQ(lines, 25u) << "600 bytes: 23 on the first line, 23 lines of 25, and 2";
  EXPECT_EQ(longest, 80u) << "no line of regedit's form is wider";
}

TEST_F(encoder_test, the_work_buffers_grow_with_the_value_data_and_never_shrink) {
  rs_->value_data_size = 20000;
  grow_work_buffers(*rs_);
  EXPECT_EQ(rs_->regkey_data2_size, (20000 + 4) * 3);
  EXPECT_EQ(rs_->regkey_data3_size, (20000 + 4) * 3);
  rs_->value_data_size = 100;
  grow_work_buffers(*rs_);
  EXPECT_EQ(rs_->regkey_data2_size, (20000 + 4) * 3);
  grow_work_buffers(*rs_, 100000);
  EXPECT_EQ(rs_->regkey_data2_size, 100000);
  EXPECT_TRUE(machine_.boxes.empty());
}

TEST_F(encoder_test, hex_lists_parse_only_as_regshot_prints_them) {
  std::string bytes;
  bool cut = false;
  EXPECT_TRUE(parse_hex_bytes("  00 FF 0a", bytes, cut));
  EXPECT_EQ(bytes, std::string("\x00\xFF\x0A", 3));
  EXPECT_FALSE(cut);
  EXPECT_TRUE(parse_hex_bytes("01 02 ...", bytes, cut));
  EXPECT_TRUE(cut);
  EXPECT_EQ(bytes, "\x01\x02");
  for (const char* bad : {"", "0", "001", "01 ", "0x01", "01,02", "GG"}) {
    EXPECT_FALSE(parse_hex_bytes(bad, bytes, cut)) << bad;
  }
}

}  // namespace
}  // namespace resivex::testing
