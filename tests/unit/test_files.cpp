// The "Files added:" section.
#include "conversion/batch/files.h"

#include "tests/unit/run_fixture.h"

namespace resivex::testing {
namespace {

const std::string dashes = "----------------------------------\r\n";

class files_test : public run_fixture {
protected:
  std::string run(const std::string& body) {
    convert_text(body);
    return batch();
  }
  std::string with_header(const std::string& lines) const {
    return del_header(path("report.bat")) + lines + "pause\n";
  }
};

TEST_F(files_test, both_regshot_layouts_give_the_same_lines) {
  for (const char* f : {"C:\\a.txt", "C:\\b.txt", "C:\\c.txt", "C:\\next.txt"}) machine_.add_file(f);
  const std::string consecutive = dashes + "Files added: 3\r\n" + dashes + "C:\\a.txt\r\nC:\\b.txt\r\nC:\\c.txt\r\n";
  const std::string with_attributes = dashes + "Files added: 3\r\n" + dashes +
                                      "C:\\a.txt\r\n2026-12-07 05:39:25, 0x00000020, 5\r\n"
                                      "C:\\b.txt\r\n2026-12-07 05:39:25, 0x00000020, 4\r\n"
                                      "C:\\c.txt\r\n2026-12-07 05:39:25, 0x00000020, 4\r\n";
  const std::string lines = "DEL \"C:\\a.txt\"\nDEL \"C:\\b.txt\"\nDEL \"C:\\c.txt\"\n";
  EXPECT_EQ(run(consecutive + "\r\n" + dashes + "Total changes: 3\r\n"), with_header(lines));
  EXPECT_EQ(run(with_attributes + "\r\n" + dashes + "Total changes: 3\r\n"), with_header(lines));
  // An entry line right after the last entry (no blank line) is not taken into the section.
  EXPECT_EQ(run(consecutive + "C:\\next.txt\r\n"), with_header(lines));
}

TEST_F(files_test, a_count_of_zero_takes_no_entry) {
  machine_.add_file("C:\\a.txt");
  EXPECT_EQ(run(dashes + "Files added: 0\r\n" + dashes + "C:\\a.txt\r\n"), "REM There are no files to delete.\npause\n");
}

TEST_F(files_test, a_count_of_one_takes_one_entry) {
  machine_.add_file("C:\\a.txt");
  machine_.add_file("C:\\b.txt");
  EXPECT_EQ(run(dashes + "Files added: 1\r\n" + dashes + "C:\\a.txt\r\nC:\\b.txt\r\n"), with_header("DEL \"C:\\a.txt\"\n"));
}

TEST_F(files_test, a_count_beyond_the_section_stops_at_its_end) {
  machine_.add_file("C:\\a.txt");
  machine_.add_folder("C:\\F");
  EXPECT_EQ(run(dashes + "Files added: 10\r\n" + dashes + "C:\\a.txt\r\n\r\n" + dashes + "Folders added: 1\r\n" + dashes +
                "C:\\F\r\n"),
            with_header("DEL \"C:\\a.txt\"\n" + folder_prompt + "RMDIR /S %_nop% \"C:\\F\"\n"));
}

TEST_F(files_test, lines_that_start_with_blanks_or_lack_a_drive_are_no_entries) {
  machine_.add_file(" C:\\a.txt");
  machine_.add_file("C:\\b.txt");
  EXPECT_EQ(run(dashes + "Files added: 2\r\n" + dashes + " :\\a.txt\r\n\tC:\\x\r\nnot a path\r\nC:\\b.txt\r\n"),
            with_header("DEL \"C:\\b.txt\"\n"));
}

TEST_F(files_test, files_that_are_gone_or_inside_a_listed_folder_get_no_line) {
  machine_.add_folder("C:\\App");
  machine_.add_file("C:\\App\\x.dll");
  machine_.add_file("C:\\Apps.txt");
  EXPECT_EQ(run(dashes + "Folders added: 1\r\n" + dashes + "C:\\App\r\n\r\n" + dashes + "Files added: 3\r\n" + dashes +
                "C:\\App\\x.dll\r\nC:\\Apps.txt\r\nC:\\gone.txt\r\n"),
            del_header(path("report.bat")) + folder_prompt + "RMDIR /S %_nop% \"C:\\App\"\nDEL \"C:\\Apps.txt\"\npause\n");
}

TEST_F(files_test, dir_mode_lists_files) {
  machine_.add_file("C:\\a.txt");
  copy_text(rs_->mode_word, "DIR");
  EXPECT_EQ(run(dashes + "Files added: 1\r\n" + dashes + "C:\\a.txt\r\n"),
            dir_header(path("report.bat")) + "DIR \"C:\\a.txt\"   \npause\n");
  EXPECT_STREQ(rs_->mode_word, "DIR");
}

TEST_F(files_test, a_file_named_with_characters_the_ansi_report_lost_gets_no_line) {
  // An ANSI report writes "?" for characters its code page lacks: "?" would be a wildcard for DEL.
  machine_.add_file(from_ansi("C:\\rstest\\\xDCn\xEF" "c\xF6" "d\xE9 ????.txt"));
  EXPECT_EQ(run(dashes + "Files added: 1\r\n" + dashes + "C:\\rstest\\\xDCn\xEF" "c\xF6" "d\xE9 ????.txt\r\n"),
            "REM There are no files to delete.\npause\n");
}

}  // namespace
}  // namespace resivex::testing
