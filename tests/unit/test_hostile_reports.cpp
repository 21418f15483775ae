// Reports that no Regshot wrote: empty, endless lines, NUL bytes, binary garbage, absurd counts, a folder or an
// unreadable file in place of the report, outputs that cannot be created. Each gives a message or passes the
// entry over silently, never crashes, and changes nothing but the four outputs.
#include "conversion/report_reader.h"
#include "tests/unit/hostile_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace resivex::testing {
namespace {

using hostile_reports = hostile_fixture;

const std::string no_files = "REM There are no files to delete.\npause\n";

TEST_F(hostile_reports, an_empty_report_gives_the_three_scripts_with_their_notes) {
  for (const std::string& bytes : {std::string(), std::string("\r\n"), std::string("\xFF\xFE"), std::string("\xEF\xBB\xBF")}) {
    const run_result r = convert_guarded(write_file("report.txt", bytes));
    EXPECT_EQ(r.how, run_result::outcome::completed);
    EXPECT_EQ(batch(), no_files);
    EXPECT_NE(removal().find("; There are no registry entries to delete."), std::string::npos);
    EXPECT_NE(reset().find("; There are no registry entries to modify."), std::string::npos);
    EXPECT_FALSE(exists(path("report_errors.txt")));
    EXPECT_TRUE(machine_.boxes.empty());
  }
}

TEST_F(hostile_reports, a_report_that_is_no_readable_file_is_refused_before_anything_is_written) {
  const std::string as_folder = path("folder.txt");
  std::filesystem::create_directory(as_folder);
  const std::string refused = write_file("refused.txt", report_heading + section("Files added:", "1", "C:\\x\r\n"));
  machine_.unopenable.insert(refused);
  // Opens, but every read fails (EIO): the same as a folder on systems that open one.
  const std::string unreadable = path("unreadable.txt");
  ASSERT_EQ(::symlink("/proc/self/mem", unreadable.c_str()), 0);
  for (const std::string& report : {as_folder, refused, unreadable, path("missing.txt")}) {
    machine_.boxes.clear();
    const run_result r = convert_guarded(report);
    EXPECT_EQ(r.how, run_result::outcome::ended) << report;
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_EQ(machine_.boxes.size(), 1u) << report;
    EXPECT_EQ(machine_.boxes[0].text, "2 - Error opening " + report + "  input file \n");
    EXPECT_EQ(machine_.boxes[0].caption, "Error");
    EXPECT_EQ(machine_.boxes[0].style, win::mb_iconerror);
    EXPECT_TRUE(machine_.opened_for_writing.empty()) << report;
    EXPECT_TRUE(machine_.windows.empty());
  }
}

// A stream that gives `good` bytes of a report and then fails, as a file on a failing disk does.
struct breaking_stream {
  std::string bytes;
  std::size_t pos = 0;
  static ssize_t read(void* cookie, char* buf, std::size_t size) {
    auto* s = static_cast<breaking_stream*>(cookie);
    if (s->pos >= s->bytes.size()) return -1;
    const std::size_t n = std::min(size, s->bytes.size() - s->pos);
    std::memcpy(buf, s->bytes.data() + s->pos, n);
    s->pos += n;
    return static_cast<ssize_t>(n);
  }
};

TEST_F(hostile_reports, a_read_that_fails_midway_is_told_apart_from_the_end) {
  breaking_stream broken{"first\r\nsecond\r\nthi"};
  std::FILE* f = ::fopencookie(&broken, "rb", cookie_io_functions_t{&breaking_stream::read, nullptr, nullptr, nullptr});
  ASSERT_NE(f, nullptr);
  report_reader reader(machine_, f);
  char buf[line_capacity];
  line_flags flags;
  EXPECT_EQ(reader.read_line(buf, flags), 6);
  EXPECT_EQ(reader.read_line(buf, flags), 7);
  EXPECT_EQ(reader.read_line(buf, flags), 3) << "what was read before the failure is kept";
  EXPECT_EQ(reader.read_line(buf, flags), 0);
  EXPECT_TRUE(reader.read_failed());

  const std::string whole = write_file("whole.txt", "first\r\nsecond");
  report_reader complete(machine_, std::fopen(whole.c_str(), "rb"));
  while (complete.read_line(buf, flags) != 0) {
  }
  EXPECT_FALSE(complete.read_failed());
}

// A line of 100 MB, written in pieces so that the test itself stays small.
std::string write_with_huge_line(const std::string& file, const std::string& before, const std::string& after) {
  std::ofstream out(file, std::ios::binary);
  out << before;
  const std::string piece(1 << 20, 'a');
  for (int i = 0; i < 100; ++i) out << piece;
  out << after;
  return file;
}

TEST_F(hostile_reports, a_line_of_100_mb_is_passed_over_and_the_entries_after_it_count) {
  for (const char* f : {"C:\\keep1.txt", "C:\\keep2.txt"}) machine_.add_file(f);
  machine_.keys["HKLM\\Software\\Left"];
  const std::string report =
      write_with_huge_line(path("report.txt"),
                           report_heading + dashes + "Files added: 3\r\n" + dashes + "C:\\keep1.txt\r\nC:\\",
                           ".txt\r\nC:\\keep2.txt\r\n\r\n" + section("Keys added:", "1", "HKLM\\Software\\Left\r\n"));
  EXPECT_EQ(convert_guarded(report, false).how, run_result::outcome::completed);
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\keep1.txt\"\nDEL \"C:\\keep2.txt\"\npause\n");
  EXPECT_NE(removal().find("\n[-HKEY_LOCAL_MACHINE\\Software\\Left]\n"), std::string::npos);
  EXPECT_TRUE(machine_.boxes.empty());

  // The same line as the last of the report, without a line end, inside a registry section.
  const std::string last = write_with_huge_line(
      path("report.txt"), report_heading + dashes + "Keys added: 2\r\n" + dashes + "HKLM\\Software\\Left\r\nHKLM\\Software\\", "");
  EXPECT_EQ(convert_guarded(last, false).how, run_result::outcome::completed);
  const std::string script = removal();
  EXPECT_NE(script.find("\n[-HKEY_LOCAL_MACHINE\\Software\\Left]\n"), std::string::npos);
  EXPECT_EQ(script.find("aaaa"), std::string::npos) << "a cut path names another key";
}

TEST_F(hostile_reports, nul_bytes_make_their_entry_unusable_and_nothing_else) {
  for (const char* f : {"C:\\a", "C:\\a.txt", "C:\\clean.txt", "C:\\after.txt"}) machine_.add_file(f);
  machine_.keys["HKLM\\Software\\A"];
  machine_.keys["HKLM\\Software\\Clean"];
  machine_.set_value("HKLM\\Software\\V", "a", win::reg_sz, std::string("x\0", 2));
  machine_.set_value("HKLM\\Software\\V", "ok", win::reg_dword, std::string("\1\0\0\0", 4));
  const std::string nul(1, '\0');
  const run_result r = convert_body(
      section("Keys added:", "2", "HKLM\\Software\\A" + nul + "B\r\nHKLM\\Software\\Clean\r\n") +
      section("Values added:", "2", "HKLM\\Software\\V\\a" + nul + ": \"x\"\r\nHKLM\\Software\\V\\ok: 0x00000001\r\n") +
      section("Files added:", "4",
              "C:\\a" + nul + ".txt\r\n" + nul + "C:\\a.txt\r\nC:\\clean.txt\r\n" + nul + nul + "\r\nC:\\after.txt\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_EQ(batch(), del_header(path("report.bat")) + "DEL \"C:\\clean.txt\"\nDEL \"C:\\after.txt\"\npause\n")
      << "a line that begins with NUL neither ends the report nor becomes an entry";
  const std::string script = removal();
  EXPECT_EQ(script.find("\\A]"), std::string::npos);
  EXPECT_NE(script.find("[-HKEY_LOCAL_MACHINE\\Software\\Clean]\n"), std::string::npos);
  EXPECT_EQ(script.find("\"a\"=-"), std::string::npos);
  EXPECT_NE(script.find("[HKEY_LOCAL_MACHINE\\Software\\V]\n\"ok\"=-\n"), std::string::npos);
  EXPECT_TRUE(machine_.boxes.empty());
}

TEST_F(hostile_reports, binary_garbage_converts_to_well_formed_scripts) {
  machine_.add_file("C:\\a");
  machine_.keys["HKLM\\Software\\A"];
  const std::string titles[] = {"Keys added:", "Values added:", "Values deleted:", "Values modified:",
                                "Folders added:", "Files added:"};
  std::vector<std::string> reports = {garbage(256 * 1024, 1), "\xFF\xFE" + garbage(64 * 1024, 2),
                                      "\xEF\xBB\xBF" + garbage(64 * 1024, 3)};
  std::string sections;
  for (const std::string& t : titles) sections += section(t, "7", garbage(3000, 4) + "\r\nC:\\a\r\nHKLM\\Software\\A\r\n");
  reports.push_back(report_heading + sections);
  std::string lines;  // garbage cut into lines that look like entries
  for (int i = 0; i < 200; ++i) lines += (i % 2 ? "HKLM\\" : "C:\\") + garbage(40, static_cast<std::uint32_t>(i)) + "\r\n";
  for (const std::string& t : titles) reports.push_back(report_heading + section(t, "2147483647", lines));
  for (const std::string& bytes : reports) {
    machine_.boxes.clear();
    const run_result r = convert_guarded(write_file("report.txt", bytes));
    EXPECT_EQ(r.how, run_result::outcome::completed);
    EXPECT_FALSE(r.write_failed);
  }
}

TEST_F(hostile_reports, absurd_counts_take_the_section_as_it_stands_and_never_the_next) {
  machine_.add_folder("C:\\F1");
  machine_.add_folder("C:\\F2");
  machine_.add_file("C:\\f1.txt");
  machine_.add_file("C:\\f2.txt");
  machine_.add_file("C:\\later.txt");
  machine_.keys["HKLM\\Software\\K1"];
  machine_.keys["HKLM\\Software\\K2"];
  machine_.set_value("HKLM\\Software\\V", "one", win::reg_dword, std::string("\1\0\0\0", 4));
  machine_.set_value("HKLM\\Software\\V", "two", win::reg_dword, std::string("\1\0\0\0", 4));
  struct kind {
    std::string title, entries, first_line, second_line;
  };
  const kind kinds[] = {
      {"Keys added:", "HKLM\\Software\\K1\r\nHKLM\\Software\\K2\r\n", "[-HKEY_LOCAL_MACHINE\\Software\\K1]",
       "[-HKEY_LOCAL_MACHINE\\Software\\K2]"},
      {"Values added:", "HKLM\\Software\\V\\one: 0x00000002\r\nHKLM\\Software\\V\\two: 0x00000002\r\n", "\"one\"=-",
       "\"two\"=-"},
      {"Values modified:",
       "HKLM\\Software\\V\\one: 0x00000002\r\nHKLM\\Software\\V\\one: 0x00000001\r\n"
       "HKLM\\Software\\V\\two: 0x00000003\r\nHKLM\\Software\\V\\two: 0x00000001\r\n",
       "\"one\"=dword:00000002", "\"two\"=dword:00000003"},
      {"Folders added:", "C:\\F1\r\nC:\\F2\r\n", "RMDIR /S %_nop% \"C:\\F1\"", "RMDIR /S %_nop% \"C:\\F2\""},
      {"Files added:", "C:\\f1.txt\r\nC:\\f2.txt\r\n", "DEL \"C:\\f1.txt\"", "DEL \"C:\\f2.txt\""},
  };
  struct count {
    std::string text;
    int entries;  // how many of the section's two entries are taken
  };
  const count counts[] = {{"2147483647", 2}, {"-5", 0}, {"-2147483648", 0}, {"99999999999999999999", 2},
                          {"-99999999999999999999", 0}, {"1", 1}, {"+2", 2}, {"0x10", 0}, {"", 0}};
  // Every section is followed by a later one whose entry must be handled whatever the count did.
  const std::string later = section("Files added:", "1", "C:\\later.txt\r\n");
  for (const kind& k : kinds) {
    for (const count& c : counts) {
      SCOPED_TRACE(k.title + " " + c.text);
      const run_result r = convert_body(section(k.title, c.text, k.entries) + later);
      ASSERT_EQ(r.how, run_result::outcome::completed);
      const std::string all = batch() + removal() + reset();
      EXPECT_EQ(all.find(k.first_line + "\n") != std::string::npos, c.entries >= 1);
      EXPECT_EQ(all.find(k.second_line + "\n") != std::string::npos, c.entries >= 2);
      EXPECT_NE(all.find("DEL \"C:\\later.txt\"\n"), std::string::npos);
    }
  }
}

TEST_F(hostile_reports, outputs_that_cannot_be_created_stop_the_run_and_spare_everything_else) {
  machine_.add_file("C:\\left.txt");
  machine_.keys["HKLM\\Software\\Left"];
  machine_.key_open_errors["HKLM\\Software\\Locked"] = win::error_access_denied;
  machine_.set_value("HKLM\\Software\\V", "one", win::reg_dword, std::string("\1\0\0\0", 4));
  const std::string body = section("Keys added:", "2", "HKLM\\Software\\Left\r\nHKLM\\Software\\Locked\r\n") +
                           section("Values modified:", "1",
                                   "HKLM\\Software\\V\\one: 0x00000002\r\nHKLM\\Software\\V\\one: 0x00000001\r\n") +
                           section("Files added:", "1", "C:\\left.txt\r\n");
  struct row {
    std::string output, caption;
  };
  const row rows[] = {{"report.bat", "outline"}, {"report.reg", "Error"}, {"report_mods.reg", "Error"},
                      {"report_errors.txt", "Error"}};
  for (const row& blocked : rows) {
    SCOPED_TRACE(blocked.output);
    for (const char* name : {"report.bat", "report.reg", "report_mods.reg", "report_errors.txt"}) {
      std::remove(path(name).c_str());
    }
    machine_.unopenable = {path(blocked.output)};
    machine_.boxes.clear();
    machine_.windows.clear();
    const run_result r = convert_body(body);
    EXPECT_EQ(r.how, run_result::outcome::ended);
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_FALSE(machine_.boxes.empty());
    EXPECT_EQ(machine_.boxes.back().text, "Error opening " + path(blocked.output) + "  output file \n");
    EXPECT_EQ(machine_.boxes.back().caption, blocked.caption);
    EXPECT_TRUE(machine_.windows.empty()) << "no output is offered as the run's result";
  }
  // Outputs that open but cannot be written whole (a full disk): the run completes and says so.
  for (const row& full : rows) {
    SCOPED_TRACE(full.output);
    machine_.unopenable.clear();
    machine_.unwritable = {path(full.output)};
    machine_.boxes.clear();
    machine_.windows.clear();
    const run_result r = convert_body(body, false);
    EXPECT_EQ(r.how, run_result::outcome::completed);
    EXPECT_TRUE(r.write_failed);
    EXPECT_NE(std::find_if(machine_.boxes.begin(), machine_.boxes.end(),
                           [&](const shown_box& b) {
                             return b.text == "Error writing " + path(full.output) + "  output file \n";
                           }),
              machine_.boxes.end());
    EXPECT_EQ(std::count(machine_.windows.begin(), machine_.windows.end(), path(full.output)), 0);
  }
}

}  // namespace
}  // namespace resivex::testing
