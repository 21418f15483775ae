// The form in which a path reaches the Win32 file functions: plain up to MAX_PATH, extended beyond.
#include "shell/long_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace resivex::shell {
namespace {

// A full path of exactly length UTF-16 units under C:\ (each "\u0416" is one unit, two UTF-8 bytes).
std::string path_of_length(std::size_t length, const std::string& unit = "a") {
  std::string path = "C:\\";
  for (std::size_t i = 3; i < length; ++i) path += (i % 50 == 0) ? "\\" : unit;
  return path;
}

TEST(LongPaths, PathsThatFitStayAsTheyAre) {
  EXPECT_EQ(file_api_path("C:\\Snapshots\\report.bat"), "C:\\Snapshots\\report.bat");
  const std::string longest = path_of_length(plain_path_limit);
  EXPECT_EQ(file_api_path(longest), longest);
  // Counted in UTF-16 units, not bytes: 259 Cyrillic letters take 518 bytes and still fit.
  const std::string cyrillic = path_of_length(plain_path_limit, "\xD0\x96");
  EXPECT_GT(cyrillic.size(), plain_path_limit);
  EXPECT_EQ(file_api_path(cyrillic), cyrillic);
}

TEST(LongPaths, LongerDrivePathsTakeTheExtendedForm) {
  const std::string path = path_of_length(plain_path_limit + 1);
  EXPECT_EQ(file_api_path(path), "\\\\?\\" + path);
  const std::string cyrillic = path_of_length(300, "\xD0\x96");
  EXPECT_EQ(file_api_path(cyrillic), "\\\\?\\" + cyrillic);
}

TEST(LongPaths, LongerUncPathsTakeTheExtendedUncForm) {
  const std::string tail = path_of_length(300).substr(3);
  EXPECT_EQ(file_api_path("\\\\server\\share\\" + tail), "\\\\?\\UNC\\server\\share\\" + tail);
}

TEST(LongPaths, TheExtendedFormHasBackslashesOnly) {
  const std::string path = path_of_length(300);
  std::string slashed = path;
  slashed[2] = '/';
  EXPECT_EQ(file_api_path(slashed), "\\\\?\\" + path);
}

TEST(LongPaths, ExtendedAndRelativePathsStayAsTheyAre) {
  const std::string tail = path_of_length(300).substr(3);
  for (const std::string& p : {"\\\\?\\C:\\" + tail, "\\\\.\\C:\\" + tail, tail, "\\" + tail, "C:" + tail}) {
    EXPECT_EQ(file_api_path(p), p);
  }
}

}  // namespace
}  // namespace resivex::shell
