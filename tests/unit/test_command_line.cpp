// The command line: program folder, start-up report, listing word and registry view.
#include "conversion/command_line.h"

#include "conversion/unicode.h"
#include "tests/unit/fake_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace resivex::testing {
namespace {

struct parsed {
  int length;
  std::unique_ptr<run_state> rs;
};

parsed parse(fake_machine& m, std::vector<std::string> args) {
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  parsed p{0, std::make_unique<run_state>(m)};
  p.length = process_command_line(*p.rs, static_cast<int>(argv.size()), argv.data());
  return p;
}

TEST(command_line, is_split_as_the_system_splits_it) {
  struct row {
    std::u16string line;
    std::vector<std::u16string> args;
  };
  const row rows[] = {
      {u"\"C:\\Program Files\\RESIVEX\\resivex.exe\" a b", {u"C:\\Program Files\\RESIVEX\\resivex.exe", u"a", u"b"}},
      {u"resivex.exe \"C:\\My Reports\\\u041E\u0442\u0447\u0451\u0442.txt\"\tDIR  ",
       {u"resivex.exe", u"C:\\My Reports\\\u041E\u0442\u0447\u0451\u0442.txt", u"DIR"}},
      // Backslashes are literal unless a quote follows: 2n give n and a quote that begins or ends a part,
      // 2n+1 give n and a literal quote.
      {u"r a\\\\b \"a\\\\\\\"b\" \"a\\\\\\\\\"", {u"r", u"a\\\\b", u"a\\\"b", u"a\\\\"}},
      // The trap of a quoted folder with its final backslash: the quote is taken literally.
      {u"r \"C:\\dir\\\" x", {u"r", u"C:\\dir\" x"}},
      // Three quotes in a row give one; a pair of quotes an empty argument.
      {u"r \"\"\"a\"\"\" \"\" x", {u"r", u"\"a\"", u"", u"x"}},
      {u"r ab\"c d\"e f", {u"r", u"abc de", u"f"}},
      // The program's name knows no backslash rule: its closing quote ends it.
      {u"\"C:\\a\\\"b c", {u"C:\\a\\", u"b", u"c"}},
      {u"prog", {u"prog"}},
      {u"", {u""}},
  };
  for (const row& r : rows) {
    const std::vector<std::u16string> got = split_command_line(r.line);
    std::string line;
    utf8_from_utf16(r.line, line);
    EXPECT_EQ(got, r.args) << line;
  }
}

TEST(command_line, program_folder_gives_the_help_file_and_the_exclusion_list) {
  struct row {
    std::string program, folder;
  };
  const row rows[] = {
      {"C:\\Tools\\RESIVEX\\resivex.exe", "C:\\Tools\\RESIVEX\\"},
      {"C:/Tools/resivex.exe", "C:/Tools/"},
      {"resivex.exe", ""},  // started through a bare name: the current folder
  };
  for (const row& r : rows) {
    fake_machine m;
    const parsed p = parse(m, {r.program});
    EXPECT_EQ(std::string(p.rs->program_folder), r.folder);
    EXPECT_EQ(std::string(p.rs->help_path), r.folder + "RESIVEX.TXT");
    EXPECT_EQ(std::string(p.rs->excl_path), r.folder + "do_not_modify_list.TXT");
    EXPECT_EQ(p.length, 0);
  }
}

TEST(command_line, the_listing_word_selects_del_or_dir) {
  struct row {
    const char* word;
    const char* stored;
  };
  const row rows[] = {{"dir", "DIR"},       {"Dir", "DIR"}, {"dirs", "DIRS"}, {"del", "DEL"},
                      {"delete", "DELETE"}, {"x", "DIR"},   {"list", "DIR"},  {"", "DIR"}};
  for (const row& r : rows) {
    fake_machine m;
    const parsed p = parse(m, {"resivex.exe", "C:\\r.txt", r.word});
    EXPECT_STREQ(p.rs->mode_word, r.stored) << r.word;
  }
  fake_machine m;
  EXPECT_STREQ(parse(m, {"resivex.exe", "C:\\r.txt"}).rs->mode_word, "DEL");
  EXPECT_STREQ(parse(m, {"resivex.exe", "C:\\r.txt", "delete" + std::string(40, 'x')}).rs->mode_word,
               ("DELETE" + std::string(17, 'X')).c_str())
      << "a long word is kept to 23 characters";
  EXPECT_STREQ(parse(m, {"resivex.exe", "C:\\r.txt", "dir", "del"}).rs->mode_word, "DIR")
      << "arguments after the second are ignored";
}

TEST(command_line, a_word_that_would_change_what_a_line_deletes_only_lists) {
  // The word starts every line of the batch file: DEL /S would delete the named file in every folder below,
  // a second word ("DEL /Q X", "DEL /Q C:") a second target, and "&", "%", quotes or redirections would add
  // commands or change the path.
  struct row {
    const char* word;
    const char* stored;
  };
  const row rows[] = {{"del /f", "DEL /F"}, {"DEL /Q /A:H", "DEL /Q /A:H"}, {"dir /s", "DIR /S"},
                      {"del /s", "DIR"},    {"del/s", "DIR"},             {"del /q /s", "DIR"},
                      {"del /s:x", "DIR"},  {"del&calc", "DIR"},          {"del %x%", "DIR"},
                      {"del\"", "DIR"},     {"del >nul", "DIR"},           {"dir|more", "DIR"},
                      {"del !x!", "DIR"},   {"del\t", "DIR"},             {"del /q x", "DIR"},
                      {"del /q c:", "DIR"}, {"del -s", "DIR"},            {"del /q/s", "DIR"},
                      {"del:", "DIR"},      {"dir_nodelete", "DIR_NODELETE"}};
  for (const row& r : rows) {
    fake_machine m;
    EXPECT_STREQ(parse(m, {"resivex.exe", "C:\\r.txt", r.word}).rs->mode_word, r.stored) << r.word;
  }
}

TEST(command_line, the_startup_report_is_taken_whole_or_refused) {
  fake_machine m;
  parsed p = parse(m, {"resivex.exe", "C:\\snap\\report.txt"});
  EXPECT_EQ(p.length, 18);
  EXPECT_EQ(p.rs->startup_report, "C:\\snap\\report.txt");

  EXPECT_EQ(parse(m, {"resivex.exe", ""}).length, 0) << "an empty argument converts nothing";
  EXPECT_TRUE(m.boxes.empty());

  // Beyond MAX_PATH, and in characters beyond the ANSI code page: the system takes such paths whole.
  const std::string long_path = "C:\\Users\\\u0418\u0432\u0430\u043d\\" + std::string(300, 'a') + ".txt";
  p = parse(m, {"resivex.exe", long_path});
  EXPECT_EQ(p.length, static_cast<int>(long_path.size()));
  EXPECT_EQ(p.rs->startup_report, long_path);
  EXPECT_TRUE(m.boxes.empty());

  const std::string too_long = "C:\\" + std::string(32767, 'a') + ".txt";
  p = parse(m, {"resivex.exe", too_long});
  EXPECT_EQ(p.length, -1) << "a cut path would name another file";
  EXPECT_EQ(p.rs->startup_report, "");
  ASSERT_EQ(m.boxes.size(), 1u);
  EXPECT_EQ(m.boxes[0].caption, "Error");
  EXPECT_NE(m.boxes[0].text.find(too_long.substr(0, 100)), std::string::npos);
}

}  // namespace
}  // namespace resivex::testing
