// The batch file's writer: header forms, the folder prompt, verbs, and the paths it refuses to write.
#include "conversion/batch/batch_file.h"

#include "conversion/output_file.h"
#include "tests/unit/fake_machine.h"
#include "tests/unit/run_fixture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace resivex::testing {
namespace {

using batch_file_test = run_fixture;

std::string files_section(const std::vector<std::string>& paths) {
  std::string s = "Files added: " + std::to_string(paths.size()) + "\r\n----------------------------------\r\n";
  for (const std::string& p : paths) s += p + "\r\n";
  return s + "\r\n----------------------------------\r\nTotal changes: 1\r\n";
}

TEST_F(batch_file_test, del_mode_writes_the_del_header_then_the_quoted_path) {
  machine_.add_file("C:\\x\\a.txt");
  convert_text(files_section({"C:\\x\\a.txt"}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\x\\a.txt\"\npause\n");
}

TEST_F(batch_file_test, listing_words_are_written_whole_with_the_matching_header) {
  struct row {
    const char* word;
    std::string header, line;
  };
  const row rows[] = {
      {"DIR", "dir", "DIR \"C:\\x\\a.txt\"   \n"},
      {"DIRS", "dir", "DIRS \"C:\\x\\a.txt\"   \n"},
      {"DELETE", "del", "DELETE \"C:\\x\\a.txt\"\n"},
  };
  machine_.add_file("C:\\x\\a.txt");
  for (const row& r : rows) {
    copy_text(rs_->mode_word, r.word);
    convert_text(files_section({"C:\\x\\a.txt"}));
    const std::string header = r.header == "dir" ? dir_header(path("report.bat")) : del_header(path("report.bat"));
    EXPECT_EQ(batch(), header + r.line + "pause\n") << r.word;
  }
}

TEST_F(batch_file_test, a_file_path_holding_nop_brings_the_folder_prompt_in_both_modes) {
  machine_.add_file("C:\\x\\my_nop.txt");
  convert_text(files_section({"C:\\x\\my_nop.txt"}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + folder_prompt + "DEL \"C:\\x\\my_nop.txt\"\npause\n");
  copy_text(rs_->mode_word, "DIR");
  convert_text(files_section({"C:\\x\\my_nop.txt"}));
  EXPECT_EQ(batch(), dir_header(path("report.bat")) + folder_prompt + "DIR \"C:\\x\\my_nop.txt\"   \npause\n");
}

TEST_F(batch_file_test, the_folder_prompt_comes_for_nop_anywhere_in_a_path_and_only_for_it) {
  // "_nop" (or a near miss) at every place of paths of several lengths: at the start and end of the path, across
  // the sixteen-character steps of the scan, after other "_", cut short at the path's end, and in a path that
  // must be converted to the OEM code page.
  struct probe {
    std::string path;
    bool prompt;
  };
  std::vector<probe> probes;
  for (std::size_t length : {7u, 18u, 19u, 35u, 50u}) {
    for (std::size_t at = 3; at + 4 <= length; ++at) {
      std::string p = "C:\\" + std::string(length - 3, 'a');
      p.replace(at, 4, "_nop");
      probes.push_back({p, true});
      p.replace(at, 4, "_noq");
      probes.push_back({p, false});
      p.replace(at, 4, "_n_p");
      probes.push_back({p, false});
    }
    std::string cut = "C:\\" + std::string(length - 3, 'b');
    cut.replace(length - 3, 3, "_no");
    probes.push_back({cut, false});
  }
  probes.push_back({"C:\\a_b_c_d_e_f_g_h_i_j_k_l_nop_m", true});
  probes.push_back({"C:\\__________________________nop", true});
  probes.push_back({"C:\\NOP_NOP_nOp_no_op_p_n_o_p.txt", false});
  probes.push_back({"C:\\Jos\xe9_nop\\x.txt", true});
  probes.push_back({"C:\\Jos\xe9_no\\p.txt", false});
  for (const probe& p : probes) {
    machine_.add_file(from_ansi(p.path));
    convert_text(files_section({p.path}));
    const std::string text = batch();
    EXPECT_EQ(text.find(folder_prompt) != std::string::npos, p.prompt) << p.path;
    const bool ascii = std::all_of(p.path.begin(), p.path.end(), [](char c) { return c > 0; });
    EXPECT_NE(text.find(ascii ? "DEL \"" + p.path + "\"\n" : "DEL \"C:\\Jos\x82_no"), std::string::npos) << p.path;
  }
}

TEST_F(batch_file_test, percent_signs_are_doubled_so_cmd_reads_the_real_name) {
  machine_.add_file("C:\\rstest\\100% done.txt");
  machine_.add_file("C:\\a\\%PATH%.txt");
  convert_text(files_section({"C:\\rstest\\100% done.txt", "C:\\a\\%PATH%.txt"}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\rstest\\100%% done.txt\"\n" +
                         "DEL \"C:\\a\\%%PATH%%.txt\"\npause\n");
}

TEST_F(batch_file_test, percent_bang_and_non_ascii_are_seen_at_every_place_of_a_path) {
  // The path is looked at sixteen characters at a time, the last ones apart: a mark missed at some place
  // would leave a "%" single (another file for cmd), a "!" without the line that switches delayed expansion
  // off, or a character of the ANSI code page unconverted.
  for (const char special : {'%', '!', '\xE9'}) {
    for (const std::size_t length : {5u, 15u, 16u, 17u, 19u, 31u, 32u, 33u, 47u, 60u}) {
      std::vector<std::string> paths;
      std::string lines;
      for (std::size_t at = 3; at < length; ++at) {
        std::string p = "C:\\" + std::string(length - 3, 'a');
        p[at] = special;
        if (at + 1 < length && special == '%') p[length - 1] = '%';  // a second one, at the end
        machine_.add_file(from_ansi(p));
        paths.push_back(p);
        std::string written;
        for (const char c : p) {
          if (c == '%') written += "%%";
          else if (c == '\xE9') written += '\x82';
          else written += c;
        }
        lines += "DEL \"" + written + "\"\n";
      }
      convert_text(files_section(paths));
      const std::string expansion_off = special == '!' ? "setlocal DisableDelayedExpansion\n" : "";
      ASSERT_EQ(batch(), del_header(path("report.bat")) + expansion_off + lines + "pause\n")
          << "'" << special << "' in paths of " << length;
    }
  }
}

TEST_F(batch_file_test, the_batch_name_in_the_header_is_written_as_cmd_reads_it) {
  const std::string folder = "100% sure";
  std::filesystem::create_directory(path(folder));
  machine_.add_file("C:\\a.txt");
  write_file(folder + "/report.txt", report_heading + files_section({"C:\\a.txt"}));
  convert(path(folder + "/report.txt"));
  std::string bat = path("100%% sure/report.bat");
  EXPECT_EQ(read_file(path(folder + "/report.bat")), del_header(bat) + "DEL \"C:\\a.txt\"\npause\n");
}

TEST_F(batch_file_test, paths_are_converted_to_the_oem_code_page_or_left_out) {
  machine_.add_file(from_ansi("C:\\Users\\Jos\xE9\\x.txt"));
  machine_.add_file(from_ansi("C:\\Users\\J\xE1n\\x.txt"));  // no OEM form in the fake's code page
  convert_text(files_section({"C:\\Users\\Jos\xE9\\x.txt", "C:\\Users\\J\xE1n\\x.txt"}));
  // The item left out still exists: the script says so, instead of passing for the whole clean-up.
  const std::string note =
      "REM 1 more file(s) or folder(s) still exist, but their names cannot be written here exactly.\n"
      "REM Remove them by hand.\n";
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\Users\\Jos\x82\\x.txt\"\n" + note + "pause\n");

  convert_text(files_section({"C:\\Users\\J\xE1n\\x.txt", "C:\\Users\\J\xE1n\\gone.txt"}));
  EXPECT_EQ(batch(), note + "pause\n") << "never \"There are no files to delete\" while one is left";
}

// A path the OEM code page cannot express is written by the item's short name, but only a short name that
// names exactly that item: its own attributes are the item's, its long form is the item's path, and it is
// exact in the OEM code page. A REM line beside it shows the long path, "?" for what the page lacks.
TEST_F(batch_file_test, a_path_the_oem_code_page_lacks_is_written_by_its_verified_short_name) {
  const std::string cyrillic = "C:\\rstest\\\u0444\u0430\u0439\u043b.txt";
  const std::string folder = "C:\\rstest\\\u65e5\u672c";
  machine_.add_file(cyrillic);
  machine_.add_folder(folder);
  machine_.short_names[cyrillic] = "C:\\rstest\\____~1.TXT";
  machine_.short_names[folder] = "C:\\rstest\\__~1";
  machine_.add_file("C:\\rstest\\____~1.TXT");
  machine_.add_folder("C:\\rstest\\__~1");
  const std::string d = "----------------------------------\r\n";
  convert_unicode(d + "Folders added: 1\r\n" + d + folder + "\r\n\r\n" + d + "Files added: 1\r\n" + d + cyrillic + "\r\n");
  EXPECT_EQ(batch(), del_header(path("report.bat")) + folder_prompt + "REM C:\\rstest\\??\n" +
                         "RMDIR /S %_nop% \"C:\\rstest\\__~1\"\n" + "REM C:\\rstest\\????.txt\n" +
                         "DEL \"C:\\rstest\\____~1.TXT\"\n" + "pause\n");
}

TEST_F(batch_file_test, a_short_name_that_could_name_another_item_is_never_written) {
  const std::string note =
      "REM 1 more file(s) or folder(s) still exist, but their names cannot be written here exactly.\n"
      "REM Remove them by hand.\npause\n";
  struct row {
    const char* why;
    std::string short_name;
    bool short_is_folder;  // the item is a file
    std::string long_back;  // what GetLongPathNameW says of the short name ("": the item's path)
  };
  const std::string item = "C:\\r\\\u0444.txt";
  for (const row& r : {row{"a folder of that short name", "C:\\r\\_~1.TXT", true, ""},
                       row{"another item's long name", "C:\\r\\_~1.TXT", false, "C:\\r\\other.txt"},
                       row{"not in the OEM code page itself", "C:\\r\\\u0444~1.TXT", false, ""},
                       row{"a short name cmd would misread", "C:\\r\\*~1.TXT", false, ""},
                       row{"no short name of its own", item, false, ""}}) {
    machine_ = fake_machine();
    machine_.add_file(item);
    machine_.short_names[item] = r.short_name;
    if (r.short_is_folder) machine_.add_folder(r.short_name);
    else machine_.add_file(r.short_name);
    if (!r.long_back.empty()) machine_.long_names[r.short_name] = r.long_back;
    convert_unicode(files_section({item}));
    EXPECT_EQ(batch(), note) << r.why;
  }
}

TEST_F(batch_file_test, a_path_beyond_max_path_is_written_short_or_in_its_long_form) {
  std::string deep = "C:\\r";
  for (int i = 0; i < 7; ++i) deep += "\\folder_with_a_rather_long_name_number_" + std::to_string(i);
  const std::string with_short = deep + "\\a.txt", without_short = deep + "\\b.txt";
  ASSERT_GT(with_short.size(), 260u);
  machine_.add_file(with_short);
  machine_.add_file(without_short);
  machine_.short_names[with_short] = "C:\\r\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\a.txt";
  machine_.add_file(machine_.short_names[with_short]);
  convert_text(files_section({with_short, without_short}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "REM " + with_short + "\n" +
                         "DEL \"C:\\r\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\FOLDER~1\\a.txt\"\n" +
                         "DEL \"\\\\?\\" + without_short + "\"\npause\n");
}

TEST_F(batch_file_test, paths_that_could_name_something_else_are_never_written_nor_tested) {
  const std::string unsafe[] = {
      "C:\\",                  // the root of a drive
      "C:\\a\\..\\Windows",    // climbs out of the listed folder
      "C:\\a\\.\\b",           // a component Windows drops
      "C:\\a\\\\b",            // empty component
      "C:\\a?c.txt",           // wildcard
      "C:\\a*.txt",            // wildcard
      "C:\\a\"&del C:\\x",     // quote ends the argument
      "C:\\a|b", "C:\\a<b", "C:\\a>b",
      "C:relative.txt",        // relative to the drive's current folder
      "\\\\server\\share\\x",  // not a drive path
      "C:\\Windows.",          // trailing dot: Windows would open C:\Windows
      "C:\\Windows \\x",       // trailing blank on a component
      "C:\\file.txt:stream",   // an alternate data stream
      "C:/Windows",            // other separator
      "C:\\a\x01" "b",         // control character (NUL bytes arrive as 0x01)
      "1:\\x",                 // no drive letter
  };
  std::vector<std::string> paths;
  for (const std::string& p : unsafe) {
    machine_.add_file(p);
    machine_.add_folder(p);
    paths.push_back(p);
    EXPECT_FALSE(batch_path_is_safe(p)) << p;
  }
  machine_.attribute_queries = 0;
  convert_text(files_section(paths));
  EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
  EXPECT_EQ(machine_.attribute_queries, 0);
}

TEST_F(batch_file_test, characters_that_are_legal_in_names_stay_as_they_are) {
  const std::string legal = "C:\\a&b\\c^d!e (x) [1] {2} ;=,'~#$@.txt";
  EXPECT_TRUE(batch_path_is_safe(legal));
  machine_.add_file(legal);
  convert_text(files_section({legal}));
  // "!" would be expanded under delayed expansion, so the batch file turns that off before the line.
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "setlocal DisableDelayedExpansion\nDEL \"" + legal + "\"\npause\n");
}

TEST_F(batch_file_test, existence_needs_attributes_and_a_status_that_is_not_missing) {
  machine_.add_file("C:\\gone-by-status.txt");
  machine_.stat_errors["C:\\gone-by-status.txt"] = ENOENT;
  machine_.add_file("C:\\locked.txt");
  machine_.stat_errors["C:\\locked.txt"] = EACCES;
  machine_.add_folder("C:\\now a folder.txt");
  EXPECT_FALSE(entry_exists(*rs_, "C:\\never.txt", false));
  EXPECT_FALSE(entry_exists(*rs_, "C:\\gone-by-status.txt", false));
  EXPECT_TRUE(entry_exists(*rs_, "C:\\locked.txt", false)) << "a status that fails otherwise still means present";
  // The kind counts: DEL on a folder asks to delete every file in it, RMDIR on a file fails.
  EXPECT_FALSE(entry_exists(*rs_, "C:\\now a folder.txt", false));
  EXPECT_TRUE(entry_exists(*rs_, "C:\\now a folder.txt", true));
  EXPECT_FALSE(entry_exists(*rs_, "C:\\locked.txt", true));
}

TEST_F(batch_file_test, items_of_a_folder_that_is_gone_are_known_gone_after_two_and_one_test_of_the_folder) {
  // Five files of a folder that is gone, then files of a folder that exists (one of them left), then a folder
  // whose status cannot be read: never taken as gone.
  machine_.folders_of_items_exist = true;
  machine_.add_file("C:\\kept\\c.txt");
  machine_.add_folder("C:\\locked");
  machine_.stat_errors["C:\\locked"] = EACCES;
  machine_.attributes_fail_for = {"C:\\locked"};
  machine_.attribute_queries = 0;
  convert_text(files_section({"C:\\gone\\1.txt", "C:\\gone\\2.txt", "C:\\gone\\3.txt", "C:\\gone\\4.txt",
                              "C:\\gone\\5.txt", "C:\\kept\\a.txt", "C:\\kept\\b.txt", "C:\\kept\\c.txt",
                              "C:\\kept\\d.txt", "C:\\x1.txt", "C:\\x2.txt", "C:\\x3.txt", "C:\\locked\\1.txt",
                              "C:\\locked\\2.txt", "C:\\locked\\3.txt"}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\kept\\c.txt\"\npause\n");
  // gone: 2 items and the folder; kept: 4 items and the folder once; the drive's root: 3 items, never
  // itself; locked (its attributes refused, its status not "missing"): the folder once and every item.
  EXPECT_EQ(machine_.attribute_queries, 3 + 5 + 3 + 4);
}

TEST_F(batch_file_test, overlong_paths_get_no_line) {
  const std::string long_path = "C:\\" + std::string(1100, 'a');
  machine_.add_file(long_path);
  convert_text(files_section({long_path}));
  EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
}

TEST(entry_path, runs_to_the_first_tab_or_line_end) {
  EXPECT_EQ(entry_path_of("C:\\a b\tignored\n"), "C:\\a b");
  EXPECT_EQ(entry_path_of("C:\\a\n"), "C:\\a");
  EXPECT_EQ(entry_path_of("  \tC:\\a\n", 3), "C:\\a");
  EXPECT_EQ(entry_path_of("C:\\last"), "C:\\last");
  // The search looks at sixteen characters at a time: a TAB or line end at every place of lines of every
  // length up to several blocks, and lines with neither, must end the path exactly there.
  for (std::size_t n = 0; n <= 50; ++n) {
    const std::string plain(n, 'p');
    EXPECT_EQ(entry_path_of(plain), plain);
    for (std::size_t at = 0; at < n; ++at) {
      for (const char end : {'\t', '\n'}) {
        std::string line = plain;
        line[at] = end;
        if (at + 1 < n) line[n - 1] = end == '\t' ? '\n' : '\t';  // the other one after it changes nothing
        ASSERT_EQ(entry_path_of(line), plain.substr(0, at)) << "length " << n << ", end at " << at;
        ASSERT_EQ(entry_path_of("xy" + line, 2), plain.substr(0, at)) << "from the third character";
      }
    }
  }
}

// The output gathers lines in a block of its own before they reach the stream: the file must hold exactly
// what was written, in order, texts larger than the block included, and a failure to write must still be
// reported at the close.
TEST(output_file, holds_every_text_in_order_and_reports_failed_writes) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "resivex_output_file_test";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "out.txt").string();
  fake_machine machine;
  output_file out;
  ASSERT_TRUE(out.create(machine, file.c_str()));
  std::string expected;
  std::mt19937 random(11);
  for (int k = 0; k < 3000; ++k) {
    // Mostly short lines, now and then one that fills or outgrows the block.
    const unsigned roll = std::uniform_int_distribution<unsigned>(0, 99)(random);
    const std::size_t n = roll < 97 ? roll : roll == 97 ? 65536 : roll == 98 ? 65537 : 200000;
    const std::string text(n, static_cast<char>('a' + k % 26));
    out.write(text);
    expected += text;
  }
  EXPECT_FALSE(out.failed());
  EXPECT_TRUE(out.close());
  std::ifstream in(file, std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  EXPECT_TRUE(got.str() == expected) << "file " << got.str().size() << " bytes, written " << expected.size();
  std::filesystem::remove_all(dir);

  // A disk that takes nothing: a short line stays in the block until the close, which must fail.
  machine.unwritable.insert("full.txt");
  for (const std::size_t n : {std::size_t{10}, std::size_t{70000}}) {
    output_file full;
    ASSERT_TRUE(full.create(machine, "full.txt"));
    full.write(std::string(n, 'x'));
    EXPECT_FALSE(full.close()) << n << " bytes";
    EXPECT_FALSE(full.close()) << "closing again keeps the failure";
  }
}

// The safety test looks at sixteen characters at a time; over random paths of every length, with every
// character that matters anywhere (a block's first and last places included), it must answer as the rules
// read one character at a time.
TEST(batch_path_safety, answers_as_the_rules_read_character_by_character) {
  auto by_the_rules = [](const std::string& path) {
    if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
    if (!std::isalpha(static_cast<unsigned char>(path[0])) || static_cast<unsigned char>(path[0]) >= 0x80) return false;
    std::size_t start = 3;
    for (std::size_t i = 3; i <= path.size(); ++i) {
      if (i == path.size() || path[i] == '\\') {
        const std::string component = path.substr(start, i - start);
        if (component.empty() || component.back() == '.' || component.back() == ' ') return false;
        start = i + 1;
      } else if (static_cast<unsigned char>(path[i]) < 0x20 ||
                 std::string("\"<>|*?/:").find(path[i]) != std::string::npos) {
        return false;
      }
    }
    return true;
  };
  // Each way of testing that this processor can run (comparisons everywhere; a table look-up where the
  // processor has SSSE3) must answer as the rules do.
  const auto tests = testing_only::batch_path_safety_tests();
  ASSERT_FALSE(tests.empty());
  std::mt19937 random(7);
  // Mostly harmless letters, so that many paths are safe and the unsafe ones fail at one place only.
  const std::string rare = std::string("\\. \"<>|*?/:\x01\x1F\x7F\x80\xFF!%", 18) + '\0';
  int safe = 0;
  for (int k = 0; k < 20000; ++k) {
    const std::size_t n = std::uniform_int_distribution<std::size_t>(4, 70)(random);
    std::string path = "C:\\";
    while (path.size() < n) {
      const unsigned roll = std::uniform_int_distribution<unsigned>(0, 99)(random);
      if (roll < 80) path += static_cast<char>('a' + roll % 26);
      else if (roll < 92) path += '\\';
      else path += rare[roll % rare.size()];
    }
    const bool expected = by_the_rules(path);
    safe += expected;
    ASSERT_EQ(batch_path_is_safe(path), expected) << path;
    for (const auto& test : tests) ASSERT_EQ(test(path), expected) << path;
  }
  EXPECT_GT(safe, 2000);
  EXPECT_LT(safe, 18000);
  // Every character at every place of paths whose characters fill one, two or more steps of sixteen, the
  // last step overlapping the one before.
  for (int b = 0; b < 256; ++b) {
    for (const std::size_t length : {4u, 5u, 17u, 18u, 19u, 20u, 34u, 35u, 36u}) {
      for (std::size_t at = 3; at < length; ++at) {
        std::string path = "C:\\" + std::string(length - 3, 'a');
        path[at] = static_cast<char>(b);
        const bool expected = by_the_rules(path);
        ASSERT_EQ(batch_path_is_safe(path), expected) << "character " << b << " at " << at;
        for (std::size_t t = 0; t < tests.size(); ++t) {
          ASSERT_EQ(tests[t](path), expected) << "way " << t << ", character " << b << " at " << at;
        }
      }
    }
  }
}

}  // namespace
}  // namespace resivex::testing
