// Titles of document windows, the folder of a document's file, and the decision to close a window with
// unsaved edits.
#include "shell/document_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace resivex::shell {
namespace {

TEST(DocumentTitle, ABracketMeansNoFile) {
  EXPECT_TRUE(is_untitled(untitled_title));
  EXPECT_TRUE(is_untitled("[Untitled]"));
  EXPECT_TRUE(is_untitled("[anything"));
  EXPECT_TRUE(is_untitled(""));
  EXPECT_FALSE(is_untitled("C:\\Snapshots\\report.bat"));
  EXPECT_FALSE(is_untitled(" [Untitled]"));
  EXPECT_FALSE(is_untitled("report[1].bat"));
  EXPECT_EQ(std::string(untitled_title), "[Untitled]");
}

TEST(DocumentTitle, FolderOfAPathKeepsItsSeparator) {
  EXPECT_EQ(folder_of("C:\\Snapshots\\report.bat"), "C:\\Snapshots\\");
  EXPECT_EQ(folder_of("C:\\report.bat"), "C:\\");
  EXPECT_EQ(folder_of("C:/a/b/report.reg"), "C:/a/b/");
  EXPECT_EQ(folder_of("\\\\server\\share\\r.txt"), "\\\\server\\share\\");
  EXPECT_EQ(folder_of("report.bat"), ".");
  EXPECT_EQ(folder_of(""), ".");
}

struct close_case {
  const char* name;
  bool modified;
  bool can_cancel;
  save_answer answer;
  bool save_succeeds;
  bool expect_asked;
  bool expect_saved;
  bool expect_close;
};

TEST(ClosingADocument, AsksOnlyForUnsavedEditsAndHonoursTheAnswer) {
  const close_case table[] = {
      {"unchanged", false, true, save_answer::yes, true, false, false, true},
      {"unchanged, ending", false, false, save_answer::yes, true, false, false, true},
      {"yes, saved", true, true, save_answer::yes, true, true, true, true},
      {"yes, save failed or cancelled", true, true, save_answer::yes, false, true, true, false},
      {"no", true, true, save_answer::no, true, true, false, true},
      {"cancel", true, true, save_answer::cancel, true, true, false, false},
      // When the program must end, nothing keeps the window.
      {"ending, yes, saved", true, false, save_answer::yes, true, true, true, true},
      {"ending, yes, save failed", true, false, save_answer::yes, false, true, true, true},
      {"ending, no", true, false, save_answer::no, true, true, false, true},
      {"ending, box closed", true, false, save_answer::cancel, true, true, false, true},
  };
  for (const close_case& c : table) {
    int asked = 0, saved = 0;
    const bool close = may_close(
        c.modified, c.can_cancel,
        [&] {
          ++asked;
          return c.answer;
        },
        [&] {
          ++saved;
          return c.save_succeeds;
        });
    EXPECT_EQ(asked, c.expect_asked ? 1 : 0) << c.name;
    EXPECT_EQ(saved, c.expect_saved ? 1 : 0) << c.name;
    EXPECT_EQ(close, c.expect_close) << c.name;
  }
}

}  // namespace
}  // namespace resivex::shell
