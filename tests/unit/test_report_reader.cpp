// The report reader: physical lines, encodings, the joining of entries that Regshot spread over several lines,
// and the section ends.
#include "conversion/report_reader.h"

#include "tests/unit/fake_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace resivex::testing {
namespace {

std::FILE* stream_of(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

std::string utf16(const std::u16string& text, bool bom) {
  std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

class reader_test : public ::testing::Test {
protected:
  void open(const std::string& bytes, bool joins = true) {
    reader_ = std::make_unique<report_reader>(machine_, stream_of(bytes), joins);
  }
  std::string line() {
    const int n = reader_->read_line(buf_, flags_);
    return std::string(buf_, static_cast<std::size_t>(n));
  }
  entry_status entry(entry_kind kind, std::string& text) {
    int n = 0;
    const entry_status s = reader_->read_entry(kind, buf_, n, flags_);
    text.assign(buf_, static_cast<std::size_t>(n));
    return s;
  }

  fake_machine machine_;
  std::unique_ptr<report_reader> reader_;
  char buf_[line_capacity];
  line_flags flags_;
};

TEST_F(reader_test, lines_keep_one_line_feed_and_the_last_line_needs_none) {
  open("first\r\nsecond\nthird");
  EXPECT_EQ(line(), "first\n");
  EXPECT_EQ(line(), "second\n");
  EXPECT_EQ(line(), "third");
  EXPECT_FALSE(flags_.damaged());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(line(), "") << "reading after the end keeps returning 0";
}

TEST_F(reader_test, a_lone_carriage_return_stays_in_the_line) {
  open("a\rb\r\n");
  EXPECT_EQ(line(), "a\rb\n");
}

TEST_F(reader_test, lines_longer_than_the_buffer_are_cut_and_marked) {
  const std::string exact(8191, 'x');
  const std::string longer(20000, 'y');
  open("head\r\n" + exact + "\r\n" + longer + "\r\nnext\r\n");
  EXPECT_EQ(line(), "head\n");
  EXPECT_EQ(line(), exact + "\n") << "8191 characters are a whole line";
  EXPECT_FALSE(flags_.cut);
  EXPECT_EQ(line(), std::string(8191, 'y'));
  EXPECT_TRUE(flags_.cut);
  EXPECT_EQ(line(), "next\n") << "the rest of a long line is skipped, not returned as a line";
  EXPECT_FALSE(flags_.cut);
}

TEST_F(reader_test, a_line_of_8190_characters_still_fits_with_its_line_end) {
  const std::string fits(8190, 'z');
  open(fits + "\r\n");
  EXPECT_EQ(line(), fits + "\n");
  EXPECT_FALSE(flags_.cut);
}

TEST_F(reader_test, nul_bytes_neither_end_the_input_nor_the_line) {
  static const char bytes[] = "Regshot\r\n\0start\r\nmid\0dle\r\nafter\r\n";
  open(std::string(bytes, sizeof bytes - 1));
  EXPECT_EQ(line(), "Regshot\n");
  EXPECT_EQ(line(), "\x01start\n");
  EXPECT_TRUE(flags_.had_nul);
  EXPECT_EQ(line(), "mid\x01" "dle\n");
  EXPECT_TRUE(flags_.damaged());
  EXPECT_EQ(line(), "after\n");
  EXPECT_FALSE(flags_.damaged());
}

TEST_F(reader_test, utf16_reports_are_recognised_with_or_without_a_mark) {
  const std::u16string text = u"Regshot 1.9.0 x64 Unicode\r\nFiles added: 1\r\nC:\\Caf\u00e9\\x.txt\r\n";
  for (bool bom : {false, true}) {
    SCOPED_TRACE(bom ? "with mark" : "without mark");
    open(utf16(text, bom));
    EXPECT_EQ(reader_->encoding(), report_encoding::utf16le);
    EXPECT_EQ(line(), "Regshot 1.9.0 x64 Unicode\n");
    EXPECT_EQ(line(), "Files added: 1\n");
    EXPECT_EQ(line(), "C:\\Caf\u00e9\\x.txt\n");
    EXPECT_FALSE(flags_.damaged());
    EXPECT_EQ(line(), "");
  }
}

TEST_F(reader_test, a_garbled_first_character_does_not_hide_utf16) {
  // Regshot's Unicode builds sometimes write U+80B9 for the "R" of the heading, without a mark.
  open(utf16(u"\u80B9egshot 1.9.0 x64 Unicode\r\nComments: \r\n", false));
  EXPECT_EQ(reader_->encoding(), report_encoding::utf16le);
  EXPECT_EQ(line(), "\u80B9egshot 1.9.0 x64 Unicode\n");
  EXPECT_FALSE(flags_.lossy) << "the garbled character is a character like any other";
  EXPECT_EQ(line(), "Comments: \n");
}

TEST_F(reader_test, every_character_comes_through_and_only_a_lone_surrogate_marks_a_line_lossy) {
  // Cyrillic, CJK and a character beyond the Basic Multilingual Plane (a surrogate pair): whole. A surrogate
  // without its partner names no character: U+FFFD, and the line must not name anything.
  const std::u16string lone(1, static_cast<char16_t>(0xD83D));
  open(utf16(u"head\r\nC:\\\u0444\u0430\u0439\u043b \u65e5\u672c \U0001F600.txt\r\nC:\\x" + lone +
                 u"y.txt\r\nC:\\plain.txt\r\n",
             true));
  line();
  EXPECT_EQ(line(), "C:\\\u0444\u0430\u0439\u043b \u65e5\u672c \U0001F600.txt\n");
  EXPECT_FALSE(flags_.damaged());
  EXPECT_EQ(line(), "C:\\x\uFFFDy.txt\n");
  EXPECT_TRUE(flags_.lossy);
  EXPECT_TRUE(flags_.damaged());
  line();
  EXPECT_FALSE(flags_.lossy);
}

TEST_F(reader_test, an_ansi_report_is_decoded_from_the_code_page_once) {
  // The fake machine's ANSI code page is Latin-1, but for the bytes it names as undefined.
  machine_.ansi_undefined.insert(0x81);
  open("Regshot 1.9.1 x64 ANSI\r\nC:\\Caf\xE9\\x.txt\r\nC:\\a\x81" "b\r\nHKLM\\?\r\n");
  line();
  EXPECT_EQ(line(), "C:\\Caf\u00e9\\x.txt\n");
  EXPECT_FALSE(flags_.damaged());
  EXPECT_EQ(line(), "C:\\a\uFFFDb\n");
  EXPECT_TRUE(flags_.lossy) << "a byte that is no character of the code page";
  EXPECT_EQ(line(), "HKLM\\?\n");
  EXPECT_FALSE(flags_.lossy) << "the question mark of an ANSI Regshot is a character as the report stands";
}

TEST_F(reader_test, utf8_mark_is_skipped_and_text_converted) {
  open("\xEF\xBB\xBFRegshot\r\nC:\\Caf\xC3\xA9\r\nbad \xC3(\r\n");
  EXPECT_EQ(reader_->encoding(), report_encoding::utf8);
  EXPECT_EQ(line(), "Regshot\n");
  EXPECT_EQ(line(), "C:\\Caf\u00e9\n");
  EXPECT_FALSE(flags_.damaged());
  line();
  EXPECT_TRUE(flags_.lossy) << "malformed UTF-8 cannot be trusted";
}

TEST_F(reader_test, lines_broken_at_1000_characters_are_joined_after_regshot_1_9) {
  const std::string first(1000, 'a');
  const std::string rest(10, 'b');
  open("Regshot 1.9.1 x64 ANSI\r\n" + first + "\r\n" + rest + "\r\nnext\r\n");
  line();
  EXPECT_EQ(line(), first + rest + "\n");
  EXPECT_EQ(line(), "next\n");

  open("Regshot 1.8.2\r\n" + first + "\r\n" + rest + "\r\n");
  line();
  EXPECT_EQ(line(), first + "\n") << "Regshot 1.8 never breaks lines: 1000 characters are a whole entry";
  EXPECT_EQ(line(), rest + "\n");
}

TEST_F(reader_test, a_piece_after_a_break_is_joined_whatever_it_starts_with) {
  // A long path list breaks before "C:\", other data before a hive name or a hex number: told apart from
  // the next entry, the piece would come back with a line break that the data never held. Only a blank line
  // and a section's boundary end a line of exactly 1000 characters.
  const std::string head = "HKLM\\Software\\K\\Path: \"";
  const std::string value = head + std::string(1000 - head.size(), 'A');
  const std::string pieces[] = {"C:\\Program Files\\App;C:\\Windows\"", "HKLM\\Software\\x\"", "0x0000001A tail\"",
                                "  \tHKEY_USERS\\S\\x: 1\""};
  std::string report = "Regshot 1.9.1 x64 ANSI\r\n";
  for (const std::string& piece : pieces) report += value + "\r\n" + piece + "\r\n";
  report += value + "\r\n\r\n" + value + "\r\n----------------------------------\r\nend\r\n";
  open(report);
  line();
  for (const std::string& piece : pieces) EXPECT_EQ(line(), value + piece + "\n");
  EXPECT_EQ(line(), value + "\n") << "a blank line after it";
  EXPECT_EQ(line(), "\n");
  EXPECT_EQ(line(), value + "\n") << "the section's end after it";
  EXPECT_EQ(line(), "----------------------------------\n");
  EXPECT_EQ(line(), "end\n");

  // In a Unicode report, where the next line's characters are two bytes each.
  std::u16string wide_value(value.begin(), value.end());
  open(utf16(u"Regshot 1.9.1 x64 Unicode\r\n" + wide_value + u"\r\nC:\\x\"\r\n" + wide_value +
                 u"\r\n----------------------------------\r\n", false));
  line();
  EXPECT_EQ(line(), value + "C:\\x\"\n");
  EXPECT_EQ(line(), value + "\n");
  EXPECT_EQ(line(), "----------------------------------\n");
}

TEST_F(reader_test, a_chain_of_breaks_is_joined_and_cut_when_it_outgrows_the_buffer) {
  std::string report = "Regshot 1.9.0\r\n";
  for (int i = 0; i < 9; ++i) report += std::string(1000, static_cast<char>('a' + i)) + "\r\n";
  report += "end\r\nnext\r\n";
  open(report);
  line();
  const std::string joined = line();
  EXPECT_EQ(joined.size(), 8191u);
  EXPECT_TRUE(flags_.cut);
  EXPECT_EQ(line(), "next\n") << "the joined entry is consumed whole even when it is cut";
}

TEST_F(reader_test, utf16_breaks_count_characters_not_bytes) {
  std::u16string first(999, u'x');
  first += u'\u00e9';  // 1000 characters, 2000 bytes
  open(utf16(u"Regshot 1.9.0\r\n" + first + u"\r\ny\r\n", false));
  line();
  EXPECT_EQ(line(), std::string(999, 'x') + "\u00e9y\n");
}

TEST_F(reader_test, registry_entries_take_their_raw_line_breaks_along) {
  open("Regshot 1.9.1\r\n"
       "HKLM\\Software\\A\\Multi: \"a\r\nb\nc\"\r\n"
       "HKLM\\Software\\A\\Next: \"x\"\r\n"
       "\r\n"
       "----------------------------------\r\n"
       "Values modified: 1\r\n");
  line();
  std::string text;
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\A\\Multi: \"a\r\nb\nc\"\n");
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\A\\Next: \"x\"\n");
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::section_end);
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::section_end) << "the end is not consumed";
  EXPECT_EQ(line(), "----------------------------------\n");
  EXPECT_EQ(line(), "Values modified: 1\n");
}

TEST_F(reader_test, blank_lines_between_entries_are_not_entries_but_blank_lines_inside_data_are_data) {
  open("Regshot 1.9.1\r\n"
       "HKU\\S\\A: \"one\"\r\n"
       "\r\n"
       "HKU\\S\\B: \"two\r\n"
       "\r\n"
       "\r\n"
       "lines\"\r\n"
       "\r\n"
       "HKEY_LOCAL_MACHINE\\X\r\n"
       "\r\n"
       "Total changes: 3\r\n");
  line();
  std::string text;
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKU\\S\\A: \"one\"\n");
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKU\\S\\B: \"two\r\n\r\n\r\nlines\"\n");
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKEY_LOCAL_MACHINE\\X\n");
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::section_end);
  EXPECT_EQ(line(), "Total changes: 3\n");
}

TEST_F(reader_test, file_system_entries_are_single_lines) {
  open("Regshot 1.9.1\r\n"
       "C:\\a\r\n"
       "0x00000010\r\n"
       "\r\n"
       "C:\\b\r\n"
       "\r\n"
       "----------------------------------\r\n");
  line();
  std::string text;
  std::vector<std::string> got;
  while (entry(entry_kind::file_system, text) == entry_status::entry) got.push_back(text);
  EXPECT_EQ(got, (std::vector<std::string>{"C:\\a\n", "0x00000010\n", "C:\\b\n"}));
  EXPECT_EQ(entry(entry_kind::file_system, text), entry_status::section_end);
}

// Plain entry lines are found and copied sixteen characters at a time straight from the reader's block:
// lines of every short length with a NUL at every place, lines about as long as the buffer, and lines that
// cross the block's end at every offset must come out as the one-line-at-a-time reading gives them.
TEST_F(reader_test, entries_read_from_the_block_match_the_line_rules_at_every_length_and_place) {
  std::string report = "Regshot 1.8.2\r\n";  // no joining of 1000-character lines
  struct expected_entry {
    std::string text;
    bool cut = false;
    bool nul = false;
  };
  std::vector<expected_entry> want;
  auto add = [&](std::string text, bool crlf) {
    report += text + (crlf ? "\r\n" : "\n");
    expected_entry e;
    e.nul = text.find('\0') != std::string::npos;
    for (char& c : text) {
      if (c == '\0') c = '\x01';
    }
    if (text.size() > line_units) {
      e.text = text.substr(0, line_units);
      e.cut = true;
    } else {
      e.text = text + "\n";
    }
    want.push_back(e);
  };
  for (std::size_t n = 1; n <= 40; ++n) {
    add(std::string(n, 'a'), n % 2 == 0);
    for (std::size_t at = 0; at < n; ++at) {
      std::string t(n, 'b');
      t[at] = '\0';
      add(t, at % 2 == 0);
    }
  }
  for (const std::size_t n : {std::size_t{999}, std::size_t{1000}, std::size_t{8189}, std::size_t{8190},
                              std::size_t{8191}, std::size_t{8192}, std::size_t{8193}, std::size_t{9000}}) {
    add(std::string(n, 'c'), true);
    add(std::string(n, 'd'), false);
  }
  // Lines of 1 to 70 characters until well past several 64 KiB block ends.
  for (std::size_t k = 0; report.size() < 5 * 65536; ++k) add(std::string(1 + k % 70, static_cast<char>('e' + k % 7)), k % 3 != 0);
  report += "----------------------------------\r\n";
  open(report);
  EXPECT_EQ(line(), "Regshot 1.8.2\n");
  std::string text;
  for (std::size_t k = 0; k < want.size(); ++k) {
    ASSERT_EQ(entry(entry_kind::file_system, text), entry_status::entry) << "entry " << k;
    ASSERT_EQ(text, want[k].text) << "entry " << k;
    ASSERT_EQ(flags_.cut, want[k].cut) << "entry " << k;
    ASSERT_EQ(flags_.had_nul, want[k].nul) << "entry " << k;
  }
  EXPECT_EQ(entry(entry_kind::file_system, text), entry_status::section_end);
  EXPECT_EQ(line(), "----------------------------------\n");
}

// File entries handed out as views (straight from the block where possible) must be what read_entry gives,
// without the line end: TABs at every place (also right before CR and in the line's last block), NULs, blank
// lines, lines broken at 1000 characters and joined, lines longer than the buffer, and block ends crossed.
TEST_F(reader_test, file_entries_as_views_are_the_entries_read_entry_gives) {
  std::string body;
  for (std::size_t n = 1; n <= 40; ++n) {
    for (std::size_t at = 0; at < n; ++at) {
      std::string t(n, 'p');
      t[at] = '\t';
      if (n > 3 && at + 2 < n) t[at + 2] = '\t';  // a second TAB: only the first counts
      body += t + (at % 2 == 0 ? "\r\n" : "\n");
    }
    body += std::string(n, 'q') + "\r\n\r\n";
    body += std::string("C:\\x\0y", 6) + "\r\n";
  }
  body += std::string(1000, 'w') + "\r\n" + "tail of a broken line\tsize\r\n";
  body += std::string(1000, 'v') + "\r\n" + std::string(1000, 'v') + "\r\n" + "end\r\n";
  body += std::string(9000, 'l') + "\tafter\r\n";
  // Lines of 1 to 37 characters, most with a TAB, past eight block ends: some end in the last characters
  // of a block, which are looked at one by one.
  for (std::size_t k = 0; body.size() < 8 * 65536; ++k) {
    std::string t(1 + k % 37, static_cast<char>('a' + k % 20));
    if (k % 5 != 0) t[(k * 7) % t.size()] = '\t';
    body += t + (k % 4 == 0 ? "\n" : "\r\n");
  }
  body += "----------------------------------\r\n";
  for (const char* heading : {"Regshot 1.9.1\r\n", "Regshot 1.8.2\r\n"}) {
    const std::string report = heading + body;
    std::vector<std::string> texts;
    std::vector<line_flags> flags;
    open(report);
    line();
    std::string text;
    entry_status s;
    while ((s = entry(entry_kind::file_system, text)) == entry_status::entry) {
      texts.push_back(text);
      flags.push_back(flags_);
    }
    ASSERT_EQ(s, entry_status::section_end);
    ASSERT_GT(texts.size(), 5000u);

    open(report);
    line();
    std::string_view view;
    std::size_t tab = 0;
    for (std::size_t k = 0; k < texts.size(); ++k) {
      ASSERT_EQ(reader_->read_file_entry(buf_, view, tab, flags_), entry_status::entry) << heading << k;
      std::string want = texts[k];
      if (!want.empty() && want.back() == '\n') want.pop_back();
      ASSERT_EQ(std::string(view), want) << heading << k;
      ASSERT_EQ(tab, std::min(want.find('\t'), want.size())) << heading << k;
      ASSERT_EQ(flags_.cut, flags[k].cut) << heading << k;
      ASSERT_EQ(flags_.had_nul, flags[k].had_nul) << heading << k;
      ASSERT_EQ(flags_.lossy, flags[k].lossy) << heading << k;
    }
    EXPECT_EQ(reader_->read_file_entry(buf_, view, tab, flags_), entry_status::section_end);
    EXPECT_EQ(line(), "----------------------------------\n");
  }
}

// Whether a registry entry goes on over the next line is told from that line's first characters, also
// straight from the block: lines that only look like a hive name, hive names after blanks and a TAB, a hive
// name alone, a NUL inside the name, and all of these where a 64 KiB block ends.
TEST_F(reader_test, registry_entries_end_where_a_line_starts_with_a_hive_name_at_every_place) {
  static const std::string starters[] = {"HKLM\\Software\\V", " \tHKU\\S-1\\V", "HKEY_CURRENT_USER\\K", "HKCC\\K"};
  static const std::string followers[] = {"HKLMX\\not a hive", std::string("HKCU\0\\held a NUL", 17), "HKU", "text: HKLM\\x", ""};
  std::string report = "Regshot 1.9.1\r\n";
  std::vector<std::string> want;
  std::vector<bool> nul;
  for (std::size_t k = 0; report.size() < 5 * 65536; ++k) {
    std::string entry = starters[k % 4] + std::to_string(k) + ": \"" + std::string(k % 37, 'd');
    bool has_nul = false;
    // Every third entry goes on over one or two lines that start no entry.
    for (std::size_t more = 0; more < (k % 3 == 0 ? 1 + k % 2 : 0); ++more) {
      const std::string& f = followers[(k / 3 + more) % 5];
      if (f == "HKU" || f.empty()) continue;  // a hive name alone starts an entry; a blank line ends one
      entry += "\r\n" + f;
      has_nul = has_nul || f.find('\0') != std::string::npos;
    }
    entry += '"';  // the string closes on the entry's last line
    report += entry + "\r\n";
    for (char& c : entry) {
      if (c == '\0') c = '\x01';
    }
    want.push_back(entry + "\n");
    nul.push_back(has_nul);
    if (k % 11 == 5) {  // a hive name alone is an entry of its own
      report += "HKU\r\n";
      want.push_back("HKU\n");
      nul.push_back(false);
    }
  }
  report += "----------------------------------\r\n";
  open(report);
  line();
  std::string text;
  for (std::size_t k = 0; k < want.size(); ++k) {
    ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry) << "entry " << k;
    ASSERT_EQ(text, want[k]) << "entry " << k;
    ASSERT_EQ(flags_.had_nul, nul[k]) << "entry " << k;
  }
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::section_end);
}

TEST_F(reader_test, a_string_still_open_at_a_line_end_takes_the_next_line_even_when_it_reads_as_an_entry) {
  // Regshot closes string data with a quote and escapes nothing: data holding a line break and then a
  // registry path would otherwise pass for an entry, and its value would be deleted or reset.
  open("Regshot 1.9.1 x64 ANSI\r\n"
       "HKLM\\Software\\K\\Note: \"see\r\nHKLM\\Software\\K\\Victim: for details\r\n\r\nHKU\\S\\x: end\"\r\n"
       "HKLM\\Software\\K\\Real: 0x00000001\r\n"
       "HKLM\\Software\\K\\Closed: \"a \"quoted\"\"\r\n"
       "HKLM\\Software\\K\\Dword \"x\": 0x00000002\r\n"       // a quote, but no string data
       "HKLM\\Software\\K\\Open: \"never closed\r\n"
       "----------------------------------\r\n");
  line();
  std::string text;
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\K\\Note: \"see\r\nHKLM\\Software\\K\\Victim: for details\r\n\r\nHKU\\S\\x: end\"\n");
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\K\\Real: 0x00000001\n");
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\K\\Closed: \"a \"quoted\"\"\n");
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\K\\Dword \"x\": 0x00000002\n");
  ASSERT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\K\\Open: \"never closed\n") << "the section's end ends any entry";
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::section_end);
}

TEST_F(reader_test, an_entry_without_a_line_end_gets_one_and_the_input_then_ends) {
  open("Regshot\r\nHKLM\\Software\\Last");
  line();
  std::string text;
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::entry);
  EXPECT_EQ(text, "HKLM\\Software\\Last\n");
  EXPECT_FALSE(flags_.damaged());
  EXPECT_EQ(entry(entry_kind::registry, text), entry_status::end_of_input);
}

TEST(section_boundary, titles_and_dashes_end_a_section_and_hives_start_entries) {
  EXPECT_TRUE(is_section_boundary("----------------------------------"));
  EXPECT_TRUE(is_section_boundary("Files [attributes?] modified: 3"));
  EXPECT_TRUE(is_section_boundary("Total changes: 40"));
  EXPECT_FALSE(is_section_boundary("-----"));
  EXPECT_FALSE(is_section_boundary("files added: 3"));
  EXPECT_TRUE(starts_with_hive("HKLM\\Software"));
  EXPECT_TRUE(starts_with_hive("  \tHKEY_USERS\\S-1-5"));
  EXPECT_TRUE(starts_with_hive("HKCU"));
  EXPECT_FALSE(starts_with_hive("HKLMX\\Software"));
  EXPECT_FALSE(starts_with_hive("hklm\\Software"));
  EXPECT_FALSE(starts_with_hive("b\""));
}

// Every entry of every genuine report reaches its handler whole, and no section takes a line of the next one.
class genuine_report_test : public ::testing::TestWithParam<std::string> {};

struct section_rule {
  std::string_view title;
  entry_kind kind;
  int lines_per_entry;
};

constexpr section_rule section_rules[] = {
    {"Keys deleted:", entry_kind::registry, 1},       {"Keys added:", entry_kind::registry, 1},
    {"Values deleted:", entry_kind::registry, 1},     {"Values added:", entry_kind::registry, 1},
    {"Values modified:", entry_kind::registry, 2},    {"Folders added:", entry_kind::file_system, 1},
    {"Folders deleted:", entry_kind::file_system, 1}, {"Files added:", entry_kind::file_system, 1},
    {"Files deleted:", entry_kind::file_system, 1},
};

TEST_P(genuine_report_test, every_section_yields_exactly_its_count_of_whole_entries) {
  const std::string file = std::string(RESIVEX_DATA_DIR) + "/regshot/reports/" + GetParam();
  std::FILE* f = std::fopen(file.c_str(), "rb");
  ASSERT_NE(f, nullptr) << file;
  fake_machine m;
  report_reader reader(m, f);
  char buf[line_capacity];
  line_flags flags;
  int sections = 0;
  while (const int n = reader.read_line(buf, flags)) {
    const std::string_view line(buf, static_cast<std::size_t>(n));
    for (const section_rule& rule : section_rules) {
      if (line.substr(0, rule.title.size()) != rule.title) continue;
      ++sections;
      const int count = std::atoi(buf + rule.title.size());
      ASSERT_GT(reader.read_line(buf, flags), 0);  // the dashes under the title
      int entries = 0;
      int length = 0;
      while (reader.read_entry(rule.kind, buf, length, flags) == entry_status::entry) {
        const std::string_view entry(buf, static_cast<std::size_t>(length));
        if (rule.kind == entry_kind::registry) {
          EXPECT_TRUE(starts_with_hive(entry)) << rule.title << " took a foreign line: " << entry.substr(0, 80);
          ++entries;
        } else if (entry.size() > 1 && entry[1] == ':') {
          ++entries;
        }
      }
      EXPECT_EQ(entries, count * rule.lines_per_entry) << rule.title << " in " << GetParam();
      break;
    }
  }
  EXPECT_GT(sections, 0) << "no section was recognised in " << GetParam();
}

std::vector<std::string> genuine_reports() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(std::string(RESIVEX_DATA_DIR) + "/regshot/reports")) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(all, genuine_report_test, ::testing::ValuesIn(genuine_reports()),
                         [](const auto& param_info) {
                           std::string name = param_info.param.substr(0, 2);
                           return "report_" + name;
                         });

}  // namespace
}  // namespace resivex::testing
