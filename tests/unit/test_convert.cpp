// The run driver: output names, registry header, the section loop, the end phase, and the messages and exit
// codes of a run.
#include "tests/unit/run_fixture.h"

#include <climits>
#include <filesystem>

namespace resivex::testing {
namespace {

std::string removal_script(const std::string& header, const std::string& path, const std::string& body) {
  return header + "; The following registry entries still exist...\n; The following REGEDIT commands are in file " +
         path + " \n; The entries will be DELETED if you execute file " + path + " \n" + x64_keys_note + "\n" + body;
}

std::string reset_script(const std::string& header, const std::string& path, const std::string& body) {
  return header + "; The following registry entries were modified...\n; The entries will be RESET if you execute file " +
         path + " \n" + x64_keys_note + "\n; Note: Resivex does not process all entry types\n;        Run this at your own risk.. I do not "
         "recommend it.\n" + body;
}

const std::string regedit5 = "Windows Registry Editor Version 5.00\n\n";
const std::string no_removal = "\n\n; There are no registry entries to delete.\n\n";
const std::string no_reset = "\n\n; There are no registry entries to modify.\n\n";

using convert_test = run_fixture;

TEST_F(convert_test, output_names_replace_the_extension_of_the_file_name_only) {
  struct row {
    std::string input, bat, reg, mods, errors;
  };
  const row rows[] = {
      {"C:\\snap\\report.txt", "C:\\snap\\report.bat", "C:\\snap\\report.reg", "C:\\snap\\report_mods.reg",
       "C:\\snap\\report_errors.txt"},
      {"C:\\snap\\report.text", "C:\\snap\\report.bat", "C:\\snap\\report.reg", "C:\\snap\\report_mods.reg",
       "C:\\snap\\report_errors.txt"},
      {"C:\\my.dir\\report", "C:\\my.dir\\report.bat", "C:\\my.dir\\report.reg", "C:\\my.dir\\report_mods.reg",
       "C:\\my.dir\\report_errors.txt"},
      {"/tmp/x.y/a.b.c", "/tmp/x.y/a.b.bat", "/tmp/x.y/a.b.reg", "/tmp/x.y/a.b_mods.reg", "/tmp/x.y/a.b_errors.txt"},
      {"C:\\snap\\.profile", "C:\\snap\\.profile.bat", "C:\\snap\\.profile.reg", "C:\\snap\\.profile_mods.reg",
       "C:\\snap\\.profile_errors.txt"},
      {"report", "report.bat", "report.reg", "report_mods.reg", "report_errors.txt"},
  };
  for (const row& r : rows) {
    rs_->input_name = r.input;
    ASSERT_TRUE(derive_output_names(*rs_)) << r.input;
    EXPECT_EQ(std::string(rs_->bat_name), r.bat);
    EXPECT_EQ(std::string(rs_->Fileoutn2), r.reg);
    EXPECT_EQ(std::string(rs_->name_check), r.reg);
    EXPECT_EQ(std::string(rs_->mods_name), r.mods);
    EXPECT_EQ(std::string(rs_->errors_name), r.errors);
  }
  EXPECT_TRUE(machine_.boxes.empty());
}

TEST_F(convert_test, a_report_that_its_own_outputs_would_overwrite_is_refused) {
  for (const std::string name : {"report.bat", "report.REG", "x\\report", "report.bat::$DATA", "report_mods.reg:s"}) {
    machine_.boxes.clear();
    machine_.opened_for_writing.clear();
    const std::string input = name == "x\\report" ? path("x") : path(name);
    write_file(name == "x\\report" ? "x" : name, "Regshot\r\n");
    const std::string before = read_file(input);
    const run_result r = convert(input);
    if (name == "x\\report") {
      EXPECT_EQ(r.how, run_result::outcome::completed) << "no collision: the outputs are x.bat and so on";
      continue;
    }
    EXPECT_EQ(r.how, run_result::outcome::refused) << name;
    ASSERT_EQ(machine_.boxes.size(), 1u);
    EXPECT_EQ(machine_.boxes[0].caption, "Error");
    EXPECT_EQ(read_file(input), before) << "the report is never touched";
    EXPECT_TRUE(machine_.opened_for_writing.empty());
  }
}

TEST_F(convert_test, names_that_would_not_fit_refuse_the_report) {
  // The longest path the system takes is 32,767 characters: the report's fits, report_errors.txt's does not.
  const std::string input = "C:\\" + std::string(32767 - 3 - 4 - 3, 'a') + ".txt";
  const run_result r = convert(input);
  EXPECT_EQ(r.how, run_result::outcome::refused);
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].caption, "Error");
  EXPECT_TRUE(machine_.opened_for_writing.empty());
}

TEST_F(convert_test, a_long_path_beyond_max_path_in_any_alphabet_is_converted) {
  // Six folders of 50 Cyrillic letters each: over 300 characters, 600 bytes of UTF-8.
  std::string folder;
  for (int level = 0; level < 6; ++level) {
    if (level > 0) folder += "/";
    for (int i = 0; i < 10; ++i) folder += "\u041f\u0430\u043f\u043a\u0430";
  }
  std::filesystem::create_directories(path(folder));
  const run_result r = convert_text("", folder + "/\u041e\u0442\u0447\u0451\u0442.txt");
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_TRUE(machine_.boxes.empty());
  EXPECT_EQ(machine_.windows.at(0), path(folder + "/\u041e\u0442\u0447\u0451\u0442.bat"));
  EXPECT_NE(read_script(path(folder + "/\u041e\u0442\u0447\u0451\u0442.reg")).find(
                "; The following REGEDIT commands are in file " + path(folder + "/\u041e\u0442\u0447\u0451\u0442.reg")),
            std::string::npos);
}

TEST_F(convert_test, the_registry_header_follows_the_system_version) {
  struct row {
    std::uint32_t platform, major;
    std::string header;
  };
  const row rows[] = {{2, 10, regedit5}, {2, 6, regedit5}, {2, 5, "REGEDIT4\n\n"}, {1, 6, "REGEDIT4\n\n"}};
  for (const row& r : rows) {
    machine_.version = {r.platform, r.major};
    convert_text("");
    EXPECT_EQ(read_script(path("report.reg")).substr(0, r.header.size()), r.header);
    EXPECT_EQ(read_script(path("report_mods.reg")).substr(0, r.header.size()), r.header);
  }
}

TEST_F(convert_test, a_report_without_entries_gives_the_three_scripts_with_their_notes) {
  for (const std::string& body : {std::string(), std::string("Total changes: 0\r\nFiles added: 1\r\n---\r\nC:\\x\r\n")}) {
    machine_.windows.clear();
    machine_.add_file("C:\\x");
    const run_result r = convert_text(body);
    EXPECT_EQ(r.how, run_result::outcome::completed);
    EXPECT_FALSE(r.write_failed);
    EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
    EXPECT_EQ(read_script(path("report.reg")), removal_script(regedit5, path("report.reg"), no_removal));
    EXPECT_EQ(read_script(path("report_mods.reg")), reset_script(regedit5, path("report_mods.reg"), no_reset));
    EXPECT_FALSE(exists(path("report_errors.txt")));
    EXPECT_EQ(machine_.windows,
              (std::vector<std::string>{path("report.bat"), path("report.reg"), path("report_mods.reg")}));
    EXPECT_TRUE(machine_.boxes.empty());
  }
}

TEST_F(convert_test, only_titles_at_the_start_of_a_line_after_the_heading_count) {
  machine_.add_file("C:\\a.txt");
  machine_.add_file("C:\\b.txt");
  machine_.add_file("C:\\c.txt");
  machine_.add_file("C:\\d.txt");
  const std::string files = "---\r\nC:\\a.txt\r\n";
  // Titles on the two heading lines, indented or in another case are no titles.
  write_file("report.txt", "Files added: 1\r\n" + files + " Files added: 1\r\n---\r\nC:\\b.txt\r\n" +
                               "files added: 1\r\n---\r\nC:\\c.txt\r\nFiles added: 1\r\n---\r\nC:\\d.txt\r\n");
  convert(path("report.txt"));
  // The first line names no Regshot build: read in the system's native view, and said so.
  std::string header = del_header(path("report.bat"));
  header.replace(header.find(x64_files_note), std::string_view(x64_files_note).size(),
                 "REM The report does not say whether a 32-bit or a 64-bit Regshot wrote it: paths are read in "
                 "this system's native view\n");
  EXPECT_EQ(batch(), header + "DEL \"C:\\d.txt\"\npause\n");
}

TEST_F(convert_test, sections_repeat_and_total_changes_ends_the_run) {
  machine_.add_file("C:\\a.txt");
  machine_.add_file("C:\\b.txt");
  machine_.add_file("C:\\c.txt");
  convert_text("Files added: 1\r\n---\r\nC:\\a.txt\r\n\r\nFiles added: 1\r\n---\r\nC:\\b.txt\r\n"
               "Total changes: 2\r\nFiles added: 1\r\n---\r\nC:\\c.txt\r\n");
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\a.txt\"\nDEL \"C:\\b.txt\"\npause\n");
}

TEST_F(convert_test, counts_are_read_as_regshot_writes_them_and_never_overflow) {
  struct row {
    const char* title;
    int count;
  };
  const row rows[] = {{"Keys added: 12\n", 12},  {"Keys added:12\n", 12},        {"Keys added:  12\n", 12},
                      {"Files added:\n", 0},      {"Files added: 12abc\n", 12},   {"Files added: -5\n", -5},
                      {"Files added: 2147483648\n", INT_MAX}, {"Files added: 99999999999999999999\n", INT_MAX},
                      {"Files added: -99999999999\n", INT_MIN}, {"No colon here\n", 0}};
  for (const row& r : rows) {
    copy_text(rs_->line_buf, r.title);
    rs_->line_len = static_cast<int>(std::strlen(r.title));
    EXPECT_EQ(parse_count(*rs_), r.count) << r.title;
  }
}

TEST_F(convert_test, a_report_that_cannot_be_opened_ends_the_process_with_0) {
  const run_result r = convert(path("missing.txt"));
  EXPECT_EQ(r.how, run_result::outcome::ended);
  EXPECT_EQ(r.exit_code, 0);
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].text, "2 - Error opening " + path("missing.txt") + "  input file \n");
  EXPECT_EQ(machine_.boxes[0].caption, "Error");
  EXPECT_EQ(machine_.boxes[0].style, 0x10u);
  EXPECT_EQ(machine_.boxes[0].owner, nullptr);
  EXPECT_TRUE(machine_.opened_for_writing.empty()) << "no output is created";
}

TEST_F(convert_test, outputs_that_cannot_be_created_end_the_process_with_0) {
  struct row {
    std::string output, caption;
  };
  const row rows[] = {{"report.bat", "outline"}, {"report.reg", "Error"}, {"report_mods.reg", "Error"}};
  for (const row& r : rows) {
    machine_.boxes.clear();
    machine_.unopenable = {path(r.output)};
    const run_result result = convert_text("");
    EXPECT_EQ(result.how, run_result::outcome::ended) << r.output;
    EXPECT_EQ(result.exit_code, 0);
    ASSERT_FALSE(machine_.boxes.empty());
    EXPECT_EQ(machine_.boxes.back().text, "Error opening " + path(r.output) + "  output file \n");
    EXPECT_EQ(machine_.boxes.back().caption, r.caption);
    EXPECT_EQ(machine_.boxes.back().style, 0u);
  }
}

TEST_F(convert_test, an_output_that_could_not_be_written_whole_is_reported_and_not_shown) {
  machine_.unwritable = {path("report.bat")};
  const run_result r = convert_text("");
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_TRUE(r.write_failed);
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].text, "Error writing " + path("report.bat") + "  output file \n");
  EXPECT_EQ(machine_.boxes[0].caption, "Error");
  EXPECT_EQ(machine_.windows, (std::vector<std::string>{path("report.reg"), path("report_mods.reg")}));
}

TEST_F(convert_test, result_windows_that_cannot_be_created_are_reported_to_the_frame) {
  machine_.windows_fail = true;
  const run_result r = convert_text("");
  EXPECT_EQ(r.how, run_result::outcome::completed);
  ASSERT_EQ(machine_.boxes.size(), 3u);
  for (const shown_box& b : machine_.boxes) {
    EXPECT_EQ(b.text, "MDI Child creation failed.");
    EXPECT_EQ(b.caption, "Oh Oh...");
    EXPECT_EQ(b.style, 0x30u);
    EXPECT_EQ(b.owner, reinterpret_cast<window_handle>(0x1234));
  }
}

TEST_F(convert_test, a_second_run_overwrites_the_outputs_and_opens_new_windows) {
  machine_.add_file("C:\\a.txt");
  convert_text("Files added: 1\r\n---\r\nC:\\a.txt\r\n");
  const std::string first = batch();
  machine_.existing_files.clear();
  convert(path("report.txt"));
  EXPECT_NE(first, batch());
  EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
  EXPECT_EQ(machine_.windows.size(), 6u);
}

TEST_F(convert_test, exclusion_list_keeps_its_texts_and_passes_over_comments_and_blank_lines) {
  write_file("do_not_modify_list.TXT", "; my exclusions\r\nMRU\r\n\r\n   \r\n;Bags\r\nWindow Placement\r\nlast");
  convert_text("");
  EXPECT_EQ(rs_->excl_lines, 0) << "the list lives for one run";
  load_exclusion_list(*rs_);
  EXPECT_EQ(rs_->excl_list, (std::vector<std::string>{"MRU", "Window Placement", "last"}));
  EXPECT_EQ(rs_->excl_lines, 3);
  EXPECT_TRUE(machine_.boxes.empty());
}

TEST_F(convert_test, an_exclusion_list_that_cannot_be_opened_is_reported_and_the_run_goes_on) {
  write_file("do_not_modify_list.TXT", "MRU\r\n");
  machine_.unopenable = {path("do_not_modify_list.TXT")};
  const run_result r = convert_text("");
  EXPECT_EQ(r.how, run_result::outcome::completed);
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].text, "2 - Error opening " + path("do_not_modify_list.TXT") + "  input file \n");
  EXPECT_EQ(machine_.boxes[0].caption, "Error");
  EXPECT_EQ(machine_.boxes[0].style, 0x10u);
}

TEST_F(convert_test, an_empty_or_missing_exclusion_list_is_no_list_and_no_message) {
  convert_text("");
  write_file("do_not_modify_list.TXT", "");
  convert_text("");
  EXPECT_TRUE(machine_.boxes.empty());
}

TEST_F(convert_test, a_unicode_report_is_converted_like_an_ansi_one) {
  machine_.add_file("C:\\rstest\\new.txt");
  const std::u16string text =
      u"Regshot 1.9.0 x64 Unicode\r\nComments: \r\n\r\n----------------------------------\r\n"
      u"Files added: 1\r\n----------------------------------\r\nC:\\rstest\\new.txt\r\n\r\n"
      u"----------------------------------\r\nTotal changes: 1\r\n";
  std::string bytes;
  for (char16_t c : text) bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  convert(write_file("report.txt", bytes));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\rstest\\new.txt\"\npause\n");
}

}  // namespace
}  // namespace resivex::testing
