// Long runs: the progress a run offers the machine, the way out (a run asked to stop removes what it wrote and
// leaves the report and every key as they were), and the one-line summary of a completed run.
#include "tests/unit/run_fixture.h"

#include <set>
#include <string>

namespace resivex::testing {
namespace {

const std::string dashes = "----------------------------------\r\n";

std::string section(const std::string& title, int count, const std::string& entries) {
  return dashes + title + " " + std::to_string(count) + "\r\n" + dashes + entries + "\r\n";
}

std::string numbered(const std::string& prefix, int count, const std::string& suffix = "") {
  std::string out;
  for (int i = 0; i < count; ++i) out += prefix + std::to_string(i) + suffix + "\r\n";
  return out;
}

// The UTF-16 bytes of a short string value, with its terminator.
std::string sz(const std::string& ascii) {
  std::string bytes;
  for (const char c : ascii + '\0') bytes += {c, '\0'};
  return bytes;
}

class progress_test : public run_fixture {
protected:
  // A report whose run writes every output: a key to remove with a subtree of many values (its undo export
  // is long), values to remove and reset, a deleted value to restore, a key that cannot be read, and files.
  std::string every_output_report() {
    for (int i = 0; i < 700; ++i) machine_.set_value("HKLM\\Software\\Big", "v" + std::to_string(i), win::reg_sz, sz("x"));
    machine_.set_value("HKLM\\Software\\Big\\Sub", "s", win::reg_dword, std::string("\1\0\0\0", 4));
    machine_.set_value("HKLM\\Software\\App", "Added", win::reg_sz, sz("new"));
    machine_.set_value("HKLM\\Software\\App", "Mod", win::reg_sz, sz("new"));
    machine_.key_open_errors["HKLM\\Software\\Denied"] = 5;
    for (int i = 0; i < 600; ++i) machine_.add_file("C:\\left\\f" + std::to_string(i) + ".txt");
    return section("Keys deleted:", 1, "HKLM\\Software\\Gone\r\n") +
           section("Keys added:", 602,
                   "HKLM\\Software\\Big\r\nHKLM\\Software\\Denied\r\n" + numbered("HKLM\\Software\\Absent", 600)) +
           section("Values deleted:", 1, "HKLM\\Software\\App\\Q: 0x0000000000000001\r\n") +
           section("Values added:", 1, "HKLM\\Software\\App\\Added: \"new\"\r\n") +
           section("Values modified:", 1, "HKLM\\Software\\App\\Mod: \"old\"\r\nHKLM\\Software\\App\\Mod: \"new\"\r\n") +
           section("Files added:", 900, numbered("C:\\left\\f", 900, ".txt")) + dashes + "Total changes: 1405\r\n" +
           dashes;
  }

  const std::vector<std::string> outputs = {"report.bat",      "report.reg",         "report_mods.reg",
                                            "report_undo.reg", "report_restore.reg", "report_errors.txt",
                                            "report_undo.tmp"};
};

TEST_F(progress_test, a_run_offers_its_progress_by_section_every_few_hundred_entries) {
  const std::string body = every_output_report();
  ASSERT_EQ(convert_text(body).how, run_result::outcome::completed);
  const auto& offers = machine_.offers;
  ASSERT_FALSE(offers.empty());
  // Each section is named as it begins, in the report's order.
  std::vector<std::string> sections;
  for (const auto& o : offers) {
    if (sections.empty() || sections.back() != o.section) sections.push_back(o.section);
  }
  EXPECT_EQ(sections, (std::vector<std::string>{"Keys deleted", "Keys added", "Values deleted", "Values added",
                                                "Values modified", "Files added"}));
  const std::uint64_t size = std::filesystem::file_size(path("report.txt"));
  std::uint64_t bytes = 0, entries = 0;
  for (const auto& o : offers) {
    EXPECT_EQ(o.bytes_total, size);
    EXPECT_GE(o.bytes_read, bytes);
    EXPECT_LE(o.bytes_read, size);
    EXPECT_GE(o.entries_read, entries);
    bytes = o.bytes_read;
    entries = o.entries_read;
  }
  // Not an offer per entry: some 2,200 entries and values read, a handful of offers.
  EXPECT_GT(offers.size(), 6u);
  EXPECT_LT(offers.size(), 30u);
  // The subtree of 700 values is read with offers among them: the window keeps answering.
  bool during_export = false;
  for (std::size_t i = 1; i < offers.size(); ++i) {
    during_export |= offers[i].section == "Keys added" && offers[i].entries_read == offers[i - 1].entries_read;
  }
  EXPECT_TRUE(during_export);
}

TEST_F(progress_test, a_run_asked_to_stop_at_any_offer_removes_what_it_wrote_and_leaves_the_report) {
  const std::string body = every_output_report();
  ASSERT_EQ(convert_text(body).how, run_result::outcome::completed);
  const std::size_t offers = machine_.offers.size();
  const std::string report = read_file(path("report.txt"));
  for (std::size_t stop = 1; stop <= offers; ++stop) {
    for (const std::string& name : outputs) std::filesystem::remove(path(name));
    machine_.offers.clear();
    machine_.windows.clear();
    machine_.stop_at_offer = stop;
    const run_result r = convert(path("report.txt"));
    EXPECT_EQ(r.how, run_result::outcome::cancelled) << "stopped at offer " << stop;
    EXPECT_EQ(machine_.offers.size(), stop) << "nothing is read after the stop";
    for (const std::string& name : outputs) EXPECT_FALSE(exists(path(name))) << name << ", stopped at offer " << stop;
    EXPECT_EQ(machine_.open_key_count(), 0u) << "stopped at offer " << stop;
    EXPECT_TRUE(machine_.windows.empty());
    EXPECT_TRUE(r.summary.empty());
    EXPECT_EQ(read_file(path("report.txt")), report);
  }
  // The next run is whole again.
  machine_.stop_at_offer = 0;
  ASSERT_EQ(convert(path("report.txt")).how, run_result::outcome::completed);
  EXPECT_EQ(machine_.windows.size(), 6u);
}

TEST_F(progress_test, a_stopped_run_leaves_the_scripts_of_an_earlier_run_that_it_had_not_begun) {
  // An earlier run's restore script, which a run stopped at its first section never reaches.
  write_file("report_restore.reg", "earlier");
  machine_.stop_at_offer = 1;
  ASSERT_EQ(convert_text(section("Files added:", 1, "C:\\x.txt\r\n")).how, run_result::outcome::cancelled);
  EXPECT_EQ(read_file(path("report_restore.reg")), "earlier");
  EXPECT_FALSE(exists(path("report.bat"))) << "begun by this run: removed";
}

TEST_F(progress_test, the_summary_counts_what_was_read_written_and_left_out_and_why) {
  write_file("do_not_modify_list.TXT", "KeepMe\r\n");
  machine_.keys["HKLM\\Software\\App"];
  machine_.keys["HKLM\\Software\\App\\Sub"];
  machine_.set_value("HKLM\\Software\\Vals", "Here", win::reg_sz, sz("x"));
  machine_.set_value("HKLM\\Software\\Vals", "Mod", win::reg_sz, sz("new"));
  machine_.set_value("HKLM\\Software\\Vals", "KeepMe", win::reg_sz, sz("new"));
  machine_.key_open_errors["HKLM\\Software\\Denied"] = 5;
  machine_.add_folder("C:\\App");
  machine_.add_file("C:\\App\\in.txt");
  machine_.add_file("C:\\loose.txt");
  machine_.add_file(from_ansi("C:\\\xDEorn.txt"));  // the OEM code page here lacks the thorn; no short name
  const run_result r = convert_text(
      section("Keys added:", 5,
              "HKLM\\Software\\App\r\nHKLM\\Software\\App\\Sub\r\nHKLM\\Software\\Gone\r\nHKLM\r\n"
              "HKLM\\Software\\Denied\r\n") +
      section("Values added:", 3,
              "HKLM\\Software\\App\\v: \"x\"\r\nHKLM\\Software\\Vals\\Here: \"x\"\r\nHKLM\\Software\\Vals\\No: \"x\"\r\n") +
      section("Values modified:", 2,
              "HKLM\\Software\\Vals\\Mod: \"old\"\r\nHKLM\\Software\\Vals\\Mod: \"new\"\r\n"
              "HKLM\\Software\\Vals\\KeepMe: \"old\"\r\nHKLM\\Software\\Vals\\KeepMe: \"new\"\r\n") +
      section("Folders added:", 2, "C:\\App\r\nC:\\Program Files\r\n") +
      section("Files added:", 5,
              "C:\\App\\in.txt\r\nC:\\loose.txt\r\nC:\\gone.txt\r\nC:\\a|b.txt\r\nC:\\\xDEorn.txt\r\n") +
      dashes + "Total changes: 17\r\n" + dashes);
  ASSERT_EQ(r.how, run_result::outcome::completed);
  EXPECT_EQ(r.summary,
            "Read 17 entries (keys added 5, values added 3, values modified 2, folders added 2, files added 5); "
            "written: report.bat 2, report.reg 2, report_mods.reg 1, report_undo.reg 3, report_restore.reg 0, "
            "report_errors.txt 1; skipped 12: 3 absent now or unchanged, 3 excluded, 3 under a removed key or folder, "
            "1 not expressible, 1 unsafe, 1 unreadable.");
}

TEST_F(progress_test, a_summary_of_nothing_says_so) {
  const run_result r = convert_text("");
  EXPECT_EQ(r.summary,
            "Read 0 entries; written: report.bat 0, report.reg 0, report_mods.reg 0, report_undo.reg 0, "
            "report_restore.reg 0; skipped 0.");
}

}  // namespace
}  // namespace resivex::testing
