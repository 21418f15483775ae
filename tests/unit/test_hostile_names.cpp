// Paths, key paths, value names and data that hold what cmd or regedit would read as syntax: quotes,
// redirections, variables, wildcards, brackets, backslashes, line breaks. A line is written only where the
// script can name exactly the item the report lists; otherwise the entry is passed over.
#include "tests/unit/hostile_fixture.h"

namespace resivex::testing {
namespace {

using hostile_names = hostile_fixture;

TEST_F(hostile_names, batch_paths_are_written_only_where_cmd_reads_exactly_that_path) {
  struct row {
    std::string path;  // as the report lists it; it exists on the machine
    std::string line;  // the entry line, or empty for none
  };
  const row rows[] = {
      {"C:\\x\\say \"hi\".txt", ""},  // a quote ends the quoted path: nothing can quote it safely
      {"C:\\x\\this & that.txt", "DEL \"C:\\x\\this & that.txt\""},  // "&", "^" are plain inside quotes
      {"C:\\x\\up^arrow.txt", "DEL \"C:\\x\\up^arrow.txt\""},
      {"C:\\x\\100%.txt", "DEL \"C:\\x\\100%%.txt\""},  // "%" is expanded inside quotes too
      {"C:\\x\\%PATH%.txt", "DEL \"C:\\x\\%%PATH%%.txt\""},
      {"C:\\x\\a|b.txt", ""},  // no Windows name holds | < > * ? ": they could only redirect or match others
      {"C:\\x\\a<b.txt", ""},
      {"C:\\x\\a>b.txt", ""},
      {"C:\\x\\*.txt", ""},
      {"C:\\x\\?.txt", ""},
      {"C:\\x\\file.txt:stream", ""},
      {"C:\\x\\..\\Windows", ""},  // ".." and "." would name another folder
      {"C:\\x\\.\\y.txt", ""},
      {"C:\\x\\sub\\..", ""},
      {"C:\\x\\trailing.", ""},  // Windows drops a final dot or blank: the line would name another item
      {"C:\\x\\trailing ", ""},
      {"C:\\x\\cr\rinside.txt", ""},  // control characters are in no Windows name
      {"C:\\x\\esc\x1b.txt", ""},
      {"x\\relative.txt", ""},
      {"\\\\server\\share\\f.txt", ""},
      {"C:\\", ""},
  };
  std::string entries;
  std::string lines;
  for (const row& r : rows) {
    machine_.add_file(r.path);
    entries += r.path + "\r\n";
    if (!r.line.empty()) lines += r.line + "\n";
  }
  const run_result r = convert_body(section("Files added:", "100", entries));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_EQ(batch(), del_header(path("report.bat")) + lines + "pause\n");
  EXPECT_TRUE(machine_.boxes.empty());
}

TEST_F(hostile_names, a_tab_or_line_feed_ends_the_path_as_the_report_format_says) {
  // No Windows name holds a TAB or a line feed: what follows a TAB is no part of the path, and a line feed
  // ends the entry's line. So the path is what comes before them, and it gets a line only if it exists.
  machine_.add_file("C:\\x\\before");
  machine_.add_folder("C:\\x\\folder");
  machine_.add_file("C:\\x\\before\tafter.txt");
  const run_result r = convert_body(section("Folders added:", "2", "C:\\x\\folder\tjunk\r\nC:\\x\\gone\tC:\\x\\folder\r\n") +
                                    section("Files added:", "3", "C:\\x\\before\tafter.txt\r\nC:\\x\\no\nC:\\x\\before\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_EQ(batch(), del_header(path("report.bat")) + folder_prompt + "RMDIR /S %_nop% \"C:\\x\\folder\"\n" +
                         "DEL \"C:\\x\\before\"\nDEL \"C:\\x\\before\"\n" + "pause\n");
}

TEST_F(hostile_names, a_path_with_an_exclamation_mark_switches_delayed_expansion_off_first) {
  // With delayed expansion on (cmd /V:ON, or DelayedExpansion in the registry) "!x!" inside the quotes would
  // be replaced by a variable and the line would name another file; no escape works in both modes.
  for (const char* f : {"C:\\x\\plain.txt", "C:\\x\\wow!.txt", "C:\\x\\!a!b.txt"}) machine_.add_file(f);
  machine_.add_folder("C:\\x\\hey!");
  const run_result r = convert_body(section("Folders added:", "1", "C:\\x\\hey!\r\n") +
                                    section("Files added:", "3", "C:\\x\\plain.txt\r\nC:\\x\\wow!.txt\r\nC:\\x\\!a!b.txt\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_EQ(batch(), del_header(path("report.bat")) + folder_prompt + "setlocal DisableDelayedExpansion\n" +
                         "RMDIR /S %_nop% \"C:\\x\\hey!\"\nDEL \"C:\\x\\plain.txt\"\nDEL \"C:\\x\\wow!.txt\"\n" +
                         "DEL \"C:\\x\\!a!b.txt\"\npause\n");

  // Without any "!" the batch file has no such line; in DIR mode the line comes as well.
  copy_text(rs_->mode_word, "DIR");
  EXPECT_EQ(convert_body(section("Files added:", "2", "C:\\x\\plain.txt\r\nC:\\x\\wow!.txt\r\n")).how,
            run_result::outcome::completed);
  EXPECT_EQ(batch(), dir_header(path("report.bat")) + "DIR \"C:\\x\\plain.txt\"   \nsetlocal DisableDelayedExpansion\n" +
                         "DIR \"C:\\x\\wow!.txt\"   \npause\n");
  copy_text(rs_->mode_word, "DEL");
  EXPECT_EQ(convert_body(section("Files added:", "1", "C:\\x\\plain.txt\r\n")).how, run_result::outcome::completed);
  EXPECT_EQ(batch().find("setlocal"), std::string::npos);
}

TEST_F(hostile_names, key_paths_with_brackets_and_quotes_are_written_as_they_are) {
  // regedit takes a key line's name up to its last "]", so brackets and quotes inside need no escape.
  for (const char* k : {"HKLM\\Software\\a]b", "HKLM\\Software\\[x]", "HKLM\\Software\\q\"uote", "HKLM\\Software\\a"}) {
    machine_.keys[k];
  }
  machine_.set_value("HKLM\\Software\\v]w[", "n", win::reg_dword, std::string("\1\0\0\0", 4));
  const run_result r =
      convert_body(section("Keys added:", "3", "HKLM\\Software\\a]b\r\nHKLM\\Software\\[x]\r\nHKLM\\Software\\q\"uote\r\n") +
                   section("Values added:", "1", "HKLM\\Software\\v]w[\\n: 0x00000001\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  const std::string script = removal();
  EXPECT_NE(script.find("\n[-HKEY_LOCAL_MACHINE\\Software\\a]b]\n[-HKEY_LOCAL_MACHINE\\Software\\[x]]\n"
                        "[-HKEY_LOCAL_MACHINE\\Software\\q\"uote]\n"),
            std::string::npos)
      << script;
  EXPECT_NE(script.find("\n[HKEY_LOCAL_MACHINE\\Software\\v]w[]\n\"n\"=-\n"), std::string::npos) << script;
  EXPECT_EQ(script.find("Software\\a]\n"), std::string::npos) << "the sibling a is not touched";
}

TEST_F(hostile_names, entries_that_name_a_whole_hive_or_a_key_holding_a_line_break_get_no_line) {
  // A hive cannot be deleted; a key path with a carriage return cannot stand in a key line, where regedit
  // would end the line at it and take the rest for a line of its own.
  for (const char* k : {"HKLM\\Software\\A", "HKLM\\Software\\A\rB"}) machine_.keys[k];
  machine_.set_value("HKLM\\Software\\A\rB", "n", win::reg_dword, std::string("\1\0\0\0", 4));
  const run_result r = convert_body(section("Keys added:", "4", "HKLM\r\nHKCU\\\r\nHKEY_USERS\r\nHKU\\\\\r\n") +
                                    section("Values added:", "1", "HKLM\\Software\\A\rB\\n: 0x00000001\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  const std::string script = removal();
  EXPECT_EQ(script.find("\n["), std::string::npos) << script;
}

TEST_F(hostile_names, value_names_with_quotes_and_backslashes_are_escaped_and_line_breaks_are_passed_over) {
  machine_.set_value("HKLM\\Software\\V", "say \"hi\"", win::reg_dword, std::string("\1\0\0\0", 4));
  machine_.set_value("HKLM\\Software\\V", "C:\\dir\\file.dll", win::reg_dword, std::string("\1\0\0\0", 4));
  machine_.set_value("HKLM\\Software\\V", "two\r\nlines", win::reg_dword, std::string("\1\0\0\0", 4));
  machine_.set_value("HKLM\\Software\\V", "tail\\", win::reg_dword, std::string("\1\0\0\0", 4));
  const run_result r = convert_body(section("Values added:", "4",
                                            "HKLM\\Software\\V\\say \"hi\": 0x00000001\r\n"
                                            "HKLM\\Software\\V\\C:\\dir\\file.dll: 0x00000001\r\n"
                                            "HKLM\\Software\\V\\two\r\nlines: 0x00000001\r\n"
                                            "HKLM\\Software\\V\\tail\\: 0x00000001\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  const std::string script = removal();
  const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\V]\n";
  EXPECT_NE(script.find(key + "\"say \\\"hi\\\"\"=-\n"), std::string::npos) << script;
  EXPECT_NE(script.find(key + "\"C:\\\\dir\\\\file.dll\"=-\n"), std::string::npos) << script;
  EXPECT_NE(script.find(key + "\"tail\\\\\"=-\n"), std::string::npos) << script;
  EXPECT_EQ(script.find("lines"), std::string::npos) << "a name with a line break cannot stand in a .reg file";
}

TEST_F(hostile_names, string_data_with_quotes_backslashes_and_line_breaks_is_reset_exactly) {
  const std::string sz = std::string("now\0", 4);
  machine_.set_value("HKLM\\Software\\V", "quoted", win::reg_sz, sz);
  machine_.set_value("HKLM\\Software\\V", "path", win::reg_sz, sz);
  machine_.set_value("HKLM\\Software\\V", "broken", win::reg_sz, sz);
  machine_.set_value("HKLM\\Software\\V", "expand", win::reg_expand_sz, sz);
  const run_result r = convert_body(section("Values modified:", "4",
                                            "HKLM\\Software\\V\\quoted: \"a \"b\" c\"\r\n"
                                            "HKLM\\Software\\V\\quoted: \"now\"\r\n"
                                            "HKLM\\Software\\V\\path: \"C:\\dir\\\"\r\n"
                                            "HKLM\\Software\\V\\path: \"now\"\r\n"
                                            "HKLM\\Software\\V\\broken: \"x\r\ny\"\r\n"
                                            "HKLM\\Software\\V\\broken: \"now\"\r\n"
                                            "HKLM\\Software\\V\\expand: \"%A%\\\"\"\r\n"
                                            "HKLM\\Software\\V\\expand: \"now\"\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  const std::string script = reset();
  const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\V]\n";
  EXPECT_NE(script.find(key + "\"quoted\"=\"a \\\"b\\\" c\"\n"), std::string::npos) << script;
  EXPECT_NE(script.find(key + "\"path\"=\"C:\\\\dir\\\\\"\n"), std::string::npos) << script;
  // A line break cannot stand in a quoted string: the bytes go as a hex list (x, CR, LF, y, NUL).
  EXPECT_NE(script.find(key + "\"broken\"=hex(1):78,00,0D,00,0A,00,79,00,00,00\n"), std::string::npos) << script;
  EXPECT_NE(script.find(key + "\"expand\"=hex(2):25,00,41,00,25,00,5C,00,22,00,00,00\n"), std::string::npos) << script;
}

}  // namespace
}  // namespace resivex::testing
