// Saving through a new file in the same folder: over a file system kept in memory, the target holds either
// the new text or exactly its old bytes, and no temporary file is ever left behind.
#include "shell/safe_save.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace resivex::shell {
namespace {

// Files in memory, and a switch to make each step fail.
class memory_files : public save_steps {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> calls;
  bool fail_create = false;
  bool fail_write = false;  // fails after writing part of the data, as a full disk does
  bool fail_replace = false;

  bool create_temp(const std::string& folder, std::string& temp_path) override {
    calls.push_back("create_temp " + folder);
    if (fail_create) return false;
    temp_path = folder + "rsx" + std::to_string(++temps_) + ".tmp";
    files[temp_path] = "";
    return true;
  }
  bool write_all(const std::string& path, std::string_view data) override {
    calls.push_back("write_all " + path);
    if (fail_write) {
      files[path] = std::string(data.substr(0, data.size() / 2));
      return false;
    }
    files[path] = std::string(data);
    return true;
  }
  bool replace(const std::string& from, const std::string& to) override {
    calls.push_back("replace " + from + " " + to);
    if (fail_replace) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  void remove(const std::string& path) override {
    calls.push_back("remove " + path);
    files.erase(path);
  }

 private:
  int temps_ = 0;
};

const std::string target = "C:\\Snapshots\\report.bat";

TEST(SafeSave, NewTextGoesThroughATemporaryFileInTheSameFolder) {
  memory_files fs;
  fs.files[target] = "old";
  ASSERT_TRUE(save_replacing(fs, target, "new text\r\n"));
  EXPECT_EQ(fs.files, (std::map<std::string, std::string>{{target, "new text\r\n"}}));
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"create_temp C:\\Snapshots\\", "write_all C:\\Snapshots\\rsx1.tmp",
                                                "replace C:\\Snapshots\\rsx1.tmp " + target}));
}

TEST(SafeSave, ANewFileIsCreated) {
  memory_files fs;
  ASSERT_TRUE(save_replacing(fs, target, "text"));
  EXPECT_EQ(fs.files, (std::map<std::string, std::string>{{target, "text"}}));
}

TEST(SafeSave, AnEmptyTextSavesAnEmptyFile) {
  memory_files fs;
  fs.files[target] = "old";
  ASSERT_TRUE(save_replacing(fs, target, ""));
  EXPECT_EQ(fs.files, (std::map<std::string, std::string>{{target, ""}}));
}

TEST(SafeSave, AFailureAtAnyStepLeavesTheOldFileAndNoTemporaryFile) {
  struct row {
    const char* name;
    bool create, write, replace;
  };
  for (const row& r :
       {row{"create", true, false, false}, row{"write", false, true, false}, row{"replace", false, false, true}}) {
    memory_files fs;
    fs.files[target] = "old bytes\r\n";
    fs.files["C:\\Snapshots\\other.txt"] = "other";
    fs.fail_create = r.create;
    fs.fail_write = r.write;
    fs.fail_replace = r.replace;
    EXPECT_FALSE(save_replacing(fs, target, "new text that does not fit")) << r.name;
    EXPECT_EQ(fs.files,
              (std::map<std::string, std::string>{{target, "old bytes\r\n"}, {"C:\\Snapshots\\other.txt", "other"}}))
        << r.name;
  }
}

TEST(SafeSave, AFailedWriteNeverReachesTheTarget) {
  memory_files fs;
  fs.files[target] = "old";
  fs.fail_write = true;
  EXPECT_FALSE(save_replacing(fs, target, "new"));
  for (const std::string& call : fs.calls) EXPECT_EQ(call.find("replace"), std::string::npos) << call;
}

TEST(SafeSave, ABareFileNameUsesTheCurrentFolder) {
  memory_files fs;
  ASSERT_TRUE(save_replacing(fs, "report.bat", "x"));
  EXPECT_EQ(fs.calls.front(), "create_temp .");
  EXPECT_EQ(fs.files, (std::map<std::string, std::string>{{"report.bat", "x"}}));
}

}  // namespace
}  // namespace resivex::shell
