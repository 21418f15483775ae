// The "Folders added:" section and the folders it lists.
#include "conversion/batch/folders.h"

#include "tests/unit/run_fixture.h"

#include <random>
#include <string>
#include <vector>

namespace resivex::testing {
namespace {

const std::string dashes = "----------------------------------\r\n";

std::string section(const std::string& title, const std::vector<std::string>& lines, int count = -1) {
  std::string s = dashes + title + " " + std::to_string(count < 0 ? static_cast<int>(lines.size()) : count) + "\r\n" +
                  dashes;
  for (const std::string& l : lines) s += l + "\r\n";
  return s + "\r\n";
}

std::string rmdir(const std::string& p) { return "RMDIR /S %_nop% \"" + p + "\"\n"; }
std::string del(const std::string& p) { return "DEL \"" + p + "\"\n"; }

class folders_test : public run_fixture {
protected:
  void exist(std::initializer_list<std::string> folders, std::initializer_list<std::string> files = {}) {
    for (const std::string& f : folders) machine_.add_folder(f);
    for (const std::string& f : files) machine_.add_file(f);
  }
  std::string expected(const std::string& lines) const {
    return del_header(path("report.bat")) + folder_prompt + lines + "pause\n";
  }
};

TEST_F(folders_test, a_first_folder_brings_header_and_prompt_then_rmdir) {
  exist({"C:\\A"});
  convert_text(section("Folders added:", {"C:\\A"}));
  EXPECT_EQ(batch(), expected(rmdir("C:\\A")));
}

TEST_F(folders_test, nothing_outside_a_listed_folder_is_taken_for_inside_it) {
  exist({"C:\\A", "C:\\A\\B", "C:\\AB"}, {"C:\\A\\x.txt", "C:\\A\\B\\y.txt", "C:\\A.txt", "C:\\AB\\x.txt"});
  convert_text(section("Folders added:", {"C:\\A", "C:\\A\\B", "C:\\AB"}));
  EXPECT_EQ(batch(), expected(rmdir("C:\\A") + rmdir("C:\\AB")));
  convert_text(section("Folders added:", {"C:\\A"}) +
               section("Files added:", {"C:\\A\\x.txt", "C:\\A\\B\\y.txt", "C:\\A.txt", "C:\\AB\\x.txt"}));
  EXPECT_EQ(batch(), expected(rmdir("C:\\A") + del("C:\\A.txt") + del("C:\\AB\\x.txt")));
}

TEST_F(folders_test, a_parent_after_its_subfolder_and_a_repeated_folder) {
  exist({"C:\\A", "C:\\A\\B"});
  convert_text(section("Folders added:", {"C:\\A\\B", "C:\\A", "C:\\A\\B", "C:\\A"}));
  EXPECT_EQ(batch(), expected(rmdir("C:\\A\\B") + rmdir("C:\\A")));
}

TEST_F(folders_test, a_folder_that_is_gone_still_keeps_what_lies_below_it_out) {
  exist({"C:\\Gone\\Sub"}, {"C:\\Gone\\file.txt"});
  convert_text(section("Folders added:", {"C:\\Gone", "C:\\Gone\\Sub"}) + section("Files added:", {"C:\\Gone\\file.txt"}));
  EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
}

TEST_F(folders_test, program_files_folders_are_never_listed) {
  exist({"C:\\Program Files (x86)", "C:\\Program Files\\Vendor", "C:\\x\\program files", "C:\\y\\Program Files"});
  convert_text(section("Folders added:", {"C:\\Program Files (x86)", "C:\\Program Files\\Vendor",
                                          "C:\\x\\program files"}));
  EXPECT_EQ(batch(), expected(rmdir("C:\\Program Files\\Vendor") + rmdir("C:\\x\\program files")));
  // The last line of a report without a line end keeps its last character for the rule.
  write_file("report.txt", report_heading + dashes + "Folders added: 1\r\n" + dashes + "C:\\y\\Program Files");
  convert(path("report.txt"));
  EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
}

TEST_F(folders_test, program_files_rule_looks_at_the_last_component_only) {
  EXPECT_TRUE(program_files_rule("C:\\Program Files\n"));
  EXPECT_TRUE(program_files_rule("C:\\Program Files (x86)\n"));
  EXPECT_TRUE(program_files_rule("C:\\x\\My Program Files\n"));
  EXPECT_FALSE(program_files_rule("C:\\Program Files\\Vendor\n"));
  EXPECT_FALSE(program_files_rule("C:\\program files\n"));
  EXPECT_TRUE(program_files_rule("XProgram Files\n")) << "without a backslash: the text after the first character";
  EXPECT_FALSE(program_files_rule("Program Files\n"));
}

TEST_F(folders_test, regshot_1_9_1_attribute_lines_and_tabs_are_not_part_of_entries) {
  exist({"C:\\A", "C:\\B"});
  convert_text(section("Folders added:", {"C:\\A", "0x00000010", "C:\\B\tmore", "0x00000010 --> 0x00000012"}, 2));
  EXPECT_EQ(batch(), expected(rmdir("C:\\A") + rmdir("C:\\B")));
}

TEST_F(folders_test, zero_folders_and_counts_beyond_the_section_take_nothing_from_the_next_section) {
  exist({"C:\\A"}, {"C:\\A\\x.txt", "C:\\f.txt"});
  convert_text(section("Folders added:", {"C:\\A"}, 0) + section("Files added:", {"C:\\f.txt"}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + del("C:\\f.txt") + "pause\n");
  convert_text(section("Folders added:", {"C:\\A"}, 40) + section("Files added:", {"C:\\A\\x.txt", "C:\\f.txt"}));
  EXPECT_EQ(batch(), expected(rmdir("C:\\A") + del("C:\\f.txt")));
}

TEST_F(folders_test, dir_mode_lists_folders_without_the_prompt) {
  exist({"C:\\A"}, {"C:\\b.txt"});
  copy_text(rs_->mode_word, "DIR");
  convert_text(section("Folders added:", {"C:\\A"}) + section("Files added:", {"C:\\b.txt"}));
  EXPECT_EQ(batch(), dir_header(path("report.bat")) + "DIR \"C:\\A\"   \nDIR \"C:\\b.txt\"   \npause\n");
}

TEST_F(folders_test, a_listing_word_holding_del_after_its_start_still_only_lists) {
  exist({"C:\\A"}, {"C:\\b.txt"});
  copy_text(rs_->mode_word, "DIR_NODELETE");
  convert_text(section("Folders added:", {"C:\\A"}) + section("Files added:", {"C:\\b.txt"}));
  EXPECT_EQ(batch(), dir_header(path("report.bat")) +
                         "DIR_NODELETE \"C:\\A\"   \nDIR_NODELETE \"C:\\b.txt\"   \npause\n")
      << "no RMDIR line for a word that begins with DIR";
}

TEST_F(folders_test, each_entry_must_still_be_of_its_kind) {
  // A listed file that is now a folder: DEL would ask to delete every file in it. A listed folder that is now a
  // file: RMDIR would fail on it.
  exist({"C:\\was a file.txt"}, {"C:\\was a folder"});
  convert_text(section("Folders added:", {"C:\\was a folder"}) + section("Files added:", {"C:\\was a file.txt"}));
  EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
}

TEST_F(folders_test, a_drive_alone_is_neither_listed_nor_holds_the_drive) {
  exist({"C:\\A"}, {"C:\\A\\x.txt", "C:\\left.txt", "D:\\y.txt"});
  convert_text(section("Folders added:", {"C:", "C:\\", "D:"}) +
               section("Files added:", {"C:\\left.txt", "C:\\A\\x.txt", "D:\\y.txt"}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + del("C:\\left.txt") + del("C:\\A\\x.txt") + del("D:\\y.txt") +
                         "pause\n");
}

TEST_F(folders_test, the_listing_word_comes_back_after_the_section_however_it_ends) {
  exist({"C:\\A"});
  write_file("report.txt", report_heading + dashes + "Folders added: 3\r\n" + dashes + "C:\\A\r\n");
  convert(path("report.txt"));
  EXPECT_STREQ(rs_->mode_word, "DEL") << "the report ended inside the section";
  copy_text(rs_->mode_word, "DELETE");
  convert_text(section("Folders added:", {"C:\\A"}));
  EXPECT_STREQ(rs_->mode_word, "DELETE");
}

TEST_F(folders_test, files_listed_before_the_folders_section_keep_their_lines) {
  // Regshot before 1.9.1 writes "Files added:" first: a later section changes nothing earlier.
  exist({"C:\\A"}, {"C:\\A\\x.txt"});
  convert_text(section("Files added:", {"C:\\A\\x.txt"}) + section("Folders added:", {"C:\\A"}));
  EXPECT_EQ(batch(), del_header(path("report.bat")) + del("C:\\A\\x.txt") + folder_prompt + rmdir("C:\\A") +
                         "pause\n");
}

TEST_F(folders_test, a_second_section_announcing_fewer_folders_than_stored_stops_with_the_message) {
  exist({"C:\\A", "C:\\B", "C:\\C"});
  convert_text(section("Folders added:", {"C:\\A", "C:\\B"}) + section("Folders added:", {"C:\\C"}));
  EXPECT_EQ(batch(), expected(rmdir("C:\\A") + rmdir("C:\\B")));
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].text,
            "More than 1 entries for folders array buffer! \nRun the .BAT file and then run RESIVEX again.");
  EXPECT_EQ(machine_.boxes[0].caption, "Too many entries");
}

TEST_F(folders_test, damaged_entries_are_neither_listed_nor_stored) {
  exist({"C:\\rstest\\?????"}, {"C:\\rstest\\?????\\x.txt"});
  std::u16string text = u"Regshot 1.9.0 x64 Unicode\r\nComments: \r\n" + std::u16string(u"----------------------------------\r\n") +
                        u"Folders added: 1\r\n----------------------------------\r\nC:\\rstest\\\u041d\u043e\u0432\u044b\u0439\r\n";
  std::string bytes;
  for (char16_t c : text) bytes += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  convert(write_file("report.txt", bytes));
  EXPECT_EQ(batch(), "REM There are no files to delete.\npause\n");
  EXPECT_EQ(rs_->folders_stored, 0);
}

// With folders listed, the files' tests wait in a short queue so that their look-ups overlap: lines must
// still come in the report's order, every file read must be finished when the section ends early or the
// count runs out, and the queue must not swallow or repeat paths when it wraps around.
TEST_F(folders_test, files_after_listed_folders_keep_their_order_and_count_whatever_the_queue_holds) {
  std::vector<std::string> folders = {"C:\\In", "C:\\Deep\\Er"};
  exist({"C:\\In", "C:\\Deep\\Er"});
  for (const int files : {1, 15, 16, 17, 40}) {
    std::vector<std::string> lines;
    std::string expected_lines = rmdir("C:\\In") + rmdir("C:\\Deep\\Er");
    for (int k = 0; k < files; ++k) {
      std::string p = k % 3 == 0 ? "C:\\In\\" : k % 3 == 1 ? "C:\\Deep\\Er\\x\\" : "C:\\Out\\";
      p += 'f';
      p += std::to_string(k);
      p += ".txt";
      machine_.add_file(p);
      lines.push_back(p);
      if (k % 3 == 2) expected_lines += del(p);
    }
    convert_text(section("Folders added:", folders) + section("Files added:", lines));
    EXPECT_EQ(batch(), expected(expected_lines)) << files << " files";

    // A count below the entries: the files beyond it are not read; one above: the section's end stops it.
    const int half = files / 2;
    std::string first_half = rmdir("C:\\In") + rmdir("C:\\Deep\\Er");
    for (int k = 2; k < half; k += 3) first_half += del(lines[static_cast<std::size_t>(k)]);
    convert_text(section("Folders added:", folders) + section("Files added:", lines, half));
    EXPECT_EQ(batch(), expected(first_half)) << files << " files, count " << half;
    convert_text(section("Folders added:", folders) + section("Files added:", lines, files + 5));
    EXPECT_EQ(batch(), expected(expected_lines)) << files << " files, count " << files + 5;
  }
}

// The folders wait in a short queue too, and are tested and stored when they leave it: a folder must be
// tested against every folder before it, also those still waiting when it came in; a path too long for a
// line is still stored in its place; and a full folders array ends the section at the right folder, with
// the sections after it read as before.
TEST_F(folders_test, folders_keep_their_order_and_containment_whatever_the_queue_holds) {
  const std::string long_folder = "C:\\L\\" + std::string(1100, 'n');
  // Folders that are gone but stored, of every length from 9 on: a subfolder's length is then known when
  // it comes in, while its parent's, just before it, is not.
  std::vector<std::string> folders;
  for (int k = 0; k < 60; ++k) folders.push_back("C:\\Pad___" + std::string(static_cast<std::size_t>(k), 'x'));
  std::string expected_lines;
  for (int k = 0; k < 40; ++k) {
    const std::string top = "C:\\T" + std::to_string(k);
    // The parent right before its subfolder, a subfolder of a folder listed 17 folders before (beyond
    // the queue), and a folder that is gone.
    folders.push_back(top);
    folders.push_back(top + "\\Sub");
    if (k >= 17) folders.push_back("C:\\T" + std::to_string(k - 17) + "\\Far");
    folders.push_back(top + "Gone");
    machine_.add_folder(top);
    machine_.add_folder(top + "\\Sub");
    expected_lines += rmdir(top);
    if (k == 20) {
      folders.push_back(long_folder);
      folders.push_back(long_folder + "\\below");
      machine_.add_folder(long_folder + "\\below");
    }
  }
  convert_text(section("Folders added:", folders) + section("Files added:", {long_folder + "\\below\\f.txt"}));
  EXPECT_EQ(batch(), expected(expected_lines));
  EXPECT_TRUE(machine_.boxes.empty());

  // Two stored, then a section announcing five: its fifth folder would be the seventh stored.
  std::vector<std::string> second;
  std::string second_lines = rmdir("C:\\A") + rmdir("C:\\B");
  exist({"C:\\A", "C:\\B", "C:\\Out"}, {"C:\\Out\\f.txt", "C:\\S3\\f.txt"});
  for (int k = 0; k < 20; ++k) {
    second.push_back("C:\\S" + std::to_string(k));
    machine_.add_folder(second.back());
    if (k < 4) second_lines += rmdir(second.back());
  }
  convert_text(section("Folders added:", {"C:\\A", "C:\\B"}) + section("Folders added:", second, 5) +
               section("Files added:", {"C:\\S3\\f.txt", "C:\\Out\\f.txt"}));
  EXPECT_EQ(batch(), expected(second_lines + del("C:\\Out\\f.txt")));
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].caption, "Too many entries");

  // Twenty stored, then a section announcing eighteen: its first folder ends it when the queue is full, and
  // the others are not looked at.
  machine_.boxes.clear();
  std::vector<std::string> first(second.begin(), second.end());
  std::string first_lines;
  for (const std::string& f : first) first_lines += rmdir(f);
  std::vector<std::string> more;
  for (int k = 0; k < 25; ++k) {
    more.push_back("C:\\M" + std::to_string(k));
    machine_.add_folder(more.back());
  }
  convert_text(section("Folders added:", first) + section("Folders added:", more, 18) +
               section("Files added:", {"C:\\S3\\f.txt", "C:\\Out\\f.txt"}));
  EXPECT_EQ(batch(), expected(first_lines + del("C:\\Out\\f.txt")));
  EXPECT_EQ(machine_.boxes.size(), 1u);
}

TEST(folder_index, finds_paths_and_their_descendants_only) {
  folder_index index;
  EXPECT_FALSE(index.contains_or_below("C:\\A"));
  index.insert("C:\\A");
  index.insert("D:\\x\\y");
  EXPECT_TRUE(index.contains_or_below("C:\\A"));
  EXPECT_TRUE(index.contains_or_below("C:\\A\\B\\c.txt"));
  EXPECT_FALSE(index.contains_or_below("C:\\AB"));
  EXPECT_FALSE(index.contains_or_below("C:\\A.txt"));
  EXPECT_FALSE(index.contains_or_below("c:\\a\\b")) << "exact case, as the report writes it";
  EXPECT_TRUE(index.contains_or_below("D:\\x\\y\\z"));
  EXPECT_FALSE(index.contains_or_below("D:\\x"));
  for (int i = 0; i < 5000; ++i) index.insert("E:\\f" + std::to_string(i));
  EXPECT_EQ(index.size(), 5002u);
  EXPECT_TRUE(index.contains_or_below("E:\\f4999\\deep\\file"));
  EXPECT_FALSE(index.contains_or_below("E:\\f5000"));
  index.clear();
  EXPECT_FALSE(index.contains_or_below("C:\\A"));
}

// The index hashes prefixes eight characters at a time and skips lengths that no stored path has; whatever
// the lengths and where the backslashes fall, it must answer as a plain scan of the stored paths does.
TEST(folder_index, answers_as_a_scan_of_every_stored_path) {
  std::mt19937 random(20261207);
  const std::string letters = "ab\\\\\xE9";
  auto random_path = [&](std::size_t max_length) {
    std::string p = "C:";
    const std::size_t n = std::uniform_int_distribution<std::size_t>(0, max_length)(random);
    for (std::size_t k = 0; k < n; ++k) p += letters[std::uniform_int_distribution<std::size_t>(0, letters.size() - 1)(random)];
    return p;
  };
  auto scan = [](const std::vector<std::string>& stored, const std::string& path) {
    for (const std::string& s : stored) {
      if (s == path) return true;
      if (!s.empty() && s.size() < path.size() && path.compare(0, s.size(), s) == 0 && path[s.size()] == '\\') {
        return true;
      }
    }
    return false;
  };
  // Paths with more prefixes to look up than a path's worked-out look-ups hold must be met too.
  int complete = 0, incomplete = 0;
  for (const std::size_t max_length : {std::size_t{6}, std::size_t{40}, std::size_t{9000}}) {
    folder_index index;
    std::vector<std::string> stored;
    const int stores = max_length > 1000 ? 40 : 300;
    for (int k = 0; k < stores; ++k) {
      stored.push_back(random_path(max_length));
      index.insert(stored.back());
    }
    // Paths that continue stored ones, to meet them at every length, and paths of their own.
    int inside = 0;
    for (int k = 0; k < 3000; ++k) {
      std::string path = k % 2 == 0 ? stored[static_cast<std::size_t>(k / 2) % stored.size()] + random_path(12).substr(2)
                                    : random_path(max_length);
      const bool expected = scan(stored, path);
      inside += expected;
      folder_index::lookups lookups;
      index.lookups_of(path, lookups);
      (lookups.complete ? complete : incomplete) += 1;
      index.prefetch(lookups, k % 2);  // only fetches: the answer must stay the same
      ASSERT_EQ(index.contains_or_below(path), expected) << "longest stored " << max_length << ": " << path;
      ASSERT_EQ(index.contains_or_below(path, lookups), expected) << "longest stored " << max_length << ": " << path;
    }
    EXPECT_GT(inside, 300) << "the paths must meet the stored folders often";
  }
  EXPECT_GT(complete, 1000);
  EXPECT_GT(incomplete, 100);
}

}  // namespace

// A folder is stored unless a stored folder covers it, and the folders of a section wait in a queue: the
// look-ups worked out when a path came in must give the answer of a plain scan of everything stored before
// it left, also when stores in between brought new lengths and grew the table.
TEST(folder_index, stores_unless_covered_as_a_scan_does_with_lookups_worked_out_before_other_stores) {
  std::mt19937 random(7);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  auto covered = [](const std::vector<std::string>& stored, const std::string& path) {
    for (const std::string& s : stored) {
      if (s == path || (s.size() < path.size() && path.compare(0, s.size(), s) == 0 && path[s.size()] == '\\')) return true;
    }
    return false;
  };
  folder_index index;
  std::vector<std::string> stored;
  std::vector<std::string> made;
  constexpr std::size_t window = 16;
  std::vector<folder_index::lookups> waiting(window);
  std::vector<std::string> waiting_paths(window);
  int covered_count = 0;
  for (std::size_t k = 0; k < 6000 + window; ++k) {
    if (k >= window) {
      // The path that came in `window` paths ago leaves now.
      const std::string& path = waiting_paths[k % window];
      const bool expected_stored = !covered(stored, path);
      const bool with_lookups = k % 5 != 0;
      const bool result = with_lookups ? index.insert_unless_covered(path, waiting[k % window])
                                       : index.insert_unless_covered(path);
      ASSERT_EQ(result, expected_stored) << path << (with_lookups ? " (look-ups made before)" : "");
      if (result) stored.push_back(path);
      covered_count += !result;
    }
    if (k >= 6000) continue;
    // Below a path made a few paths ago (often still waiting), below an older one, or new.
    std::string path;
    const std::size_t kind = pick(4);
    if (kind == 0 && !made.empty()) {
      path = made[made.size() - 1 - pick(std::min<std::size_t>(made.size(), window))] + "\\s" + std::to_string(pick(3));
    } else if (kind == 1 && !made.empty()) {
      path = made[pick(made.size())] + "\\d" + std::to_string(pick(50));
    } else {
      path = "C:\\n" + std::to_string(pick(100000));
    }
    if (path.size() > 200) path = "D:\\" + std::to_string(k);
    made.push_back(path);
    waiting_paths[k % window] = path;
    index.every_lookup_of(path, waiting[k % window]);
    index.prefetch(waiting[k % window], static_cast<int>(k % 2));
  }
  EXPECT_EQ(index.size(), stored.size());
  EXPECT_GT(covered_count, 1000) << "the paths must often lie in a folder stored while they waited";
  EXPECT_GT(stored.size(), 2000u) << "the table must have grown many times";
  for (const std::string& s : stored) ASSERT_TRUE(index.contains_or_below(s + "\\x")) << s;
}

}  // namespace resivex::testing
