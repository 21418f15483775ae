// The error list: created by its first entry in a run, with one "Info" box naming it.
#include "conversion/error_list.h"

#include "tests/unit/run_fixture.h"

namespace resivex::testing {
namespace {

class error_list_test : public run_fixture {
protected:
  void SetUp() override {
    run_fixture::SetUp();
    rs_->input_name = path("report.txt");
    ASSERT_TRUE(derive_output_names(*rs_));
  }
  void add(const std::string& text) {
    copy_text(rs_->out_line, text);
    write_error_entry(*rs_);
  }
};

TEST_F(error_list_test, entries_follow_one_another_each_with_a_line_end) {
  write_file("report_errors.txt", "stale entries of an earlier run\n");
  add("HKLM\\A\nAccess is denied.\r\n");
  add("hklm\\B\nThe handle is invalid.\r\n");
  rs_->errors.close();
  EXPECT_EQ(read_error_list(path("report_errors.txt")),
            "HKLM\\A\nAccess is denied.\r\n\nhklm\\B\nThe handle is invalid.\r\n\n");
  EXPECT_EQ(rs_->error_entries, 2);
  ASSERT_EQ(machine_.boxes.size(), 1u) << "only the first entry of a run shows the box";
  EXPECT_EQ(machine_.boxes[0].text, path("report_errors.txt"));
  EXPECT_EQ(machine_.boxes[0].caption, "Info");
  EXPECT_EQ(machine_.boxes[0].style, 0u);
}

TEST_F(error_list_test, an_entry_is_kept_within_one_output_line) {
  add(std::string(2000, 'x'));
  rs_->errors.close();
  EXPECT_EQ(read_error_list(path("report_errors.txt")), std::string(1022, 'x') + "\n");
}

TEST_F(error_list_test, a_list_that_cannot_be_created_ends_the_process_with_0) {
  machine_.unopenable = {path("report_errors.txt")};
  copy_text(rs_->out_line, "HKLM\\A\n");
  try {
    write_error_entry(*rs_);
    FAIL() << "the run must end";
  } catch (const run_abort& abort) {
    EXPECT_EQ(abort.exit_code, 0);
  }
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].text, "Error opening " + path("report_errors.txt") + "  output file \n");
  EXPECT_EQ(machine_.boxes[0].caption, "Error");
}

TEST_F(error_list_test, a_list_from_an_earlier_run_does_not_outlive_this_one) {
  // It would pass for this run's: the keys it names may be readable now, or gone.
  write_file("report_errors.txt", "older\n");
  convert_text("");
  EXPECT_FALSE(exists(path("report_errors.txt")));
  EXPECT_EQ(machine_.windows.size(), 3u);
  write_file("report_errors.txt", "older\n");
  write_file("report.txt", "Regshot\r\nComments: \r\n");
  machine_.unopenable.insert(path("report.bat"));
  convert(path("report.txt"));
  EXPECT_EQ(read_file(path("report_errors.txt")), "older\n") << "a run refused before its outputs touches nothing";
}

}  // namespace
}  // namespace resivex::testing
