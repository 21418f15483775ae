// The status bar's text during a run, and how often it may change.
#include "shell/progress_text.h"

#include <gtest/gtest.h>

namespace resivex::shell {
namespace {

TEST(ProgressText, NamesTheSectionTheShareReadAndTheEntries) {
  run_progress p;
  p.section = "Files added";
  p.bytes_read = 450;
  p.bytes_total = 1000;
  p.entries_read = 123456;
  EXPECT_EQ(progress_text(p), "Converting: Files added, 45% of the report read (123456 entries). Esc cancels.");
  // Before the first section; a report whose size is not known; one entry.
  p.section = {};
  p.bytes_total = 0;
  p.entries_read = 1;
  EXPECT_EQ(progress_text(p), "Converting: (1 entry). Esc cancels.");
  // The reader is a block ahead: the share stops at all of it.
  p.section = "Keys added";
  p.bytes_read = 2000;
  p.bytes_total = 1000;
  EXPECT_EQ(progress_text(p), "Converting: Keys added, 100% of the report read (1 entry). Esc cancels.");
  // A report of more than 4 GB does not overflow the share.
  p.bytes_total = 8'000'000'000ULL;
  p.bytes_read = 6'000'000'000ULL;
  EXPECT_EQ(progress_text(p), "Converting: Keys added, 75% of the report read (1 entry). Esc cancels.");
}

TEST(ProgressText, ChangesAFewTimesASecondAtMost) {
  EXPECT_TRUE(progress_due(5, 0)) << "the first text at once";
  EXPECT_FALSE(progress_due(1000 + progress_period_ms - 1, 1000));
  EXPECT_TRUE(progress_due(1000 + progress_period_ms, 1000));
  EXPECT_GE(progress_period_ms, 200u);
  EXPECT_LE(progress_period_ms, 500u);
}

}  // namespace
}  // namespace resivex::shell
