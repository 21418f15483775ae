// The removal and reset registry scripts, from whole conversions over the fake registry: which entries get
// lines, what the lines say byte for byte, and the entries that are left alone and why.
#include "conversion/registry/reset_script.h"

#include "tests/unit/run_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace resivex::testing {
namespace {

const std::string dashes = "----------------------------------\r\n";
const std::string keys_block = "; Remove keys added...\n; Any sub-key under the main key is also removed...\n \n";
const std::string values_head = " \n; Remove values added...\n \n";
const std::string mods_banner = " \n; Reset values modified...\n \n";
const std::string no_deletions = "\n\n; There are no registry entries to delete.\n\n";
const std::string no_resets = "\n\n; There are no registry entries to modify.\n\n";

std::string section(const std::string& title, int count, const std::string& entries) {
  return dashes + title + " " + std::to_string(count) + "\r\n" + dashes + entries + "\r\n";
}

const std::string sz_data = std::string("x\0", 2);

class registry_script_test : public run_fixture {
protected:
  std::string removal_header() const {
    const std::string p = path("report.reg");
    return "Windows Registry Editor Version 5.00\n\n; The following registry entries still exist...\n"
           "; The following REGEDIT commands are in file " + p + " \n"
           "; The entries will be DELETED if you execute file " + p + " \n" + x64_keys_note +
           undo_note(path("report_undo.reg")) + "\n";
  }
  std::string reset_header() const {
    return "Windows Registry Editor Version 5.00\n\n; The following registry entries were modified...\n"
           "; The entries will be RESET if you execute file " + path("report_mods.reg") + " \n" + x64_keys_note +
           undo_note(path("report_undo.reg")) + "\n"
           "; Note: Resivex does not process all entry types\n"
           ";        Run this at your own risk.. I do not recommend it.\n";
  }
  std::string removal() const { return read_script(path("report.reg")); }
  std::string reset() const { return read_script(path("report_mods.reg")); }
  void run(const std::string& body) {
    const run_result r = convert_text(body + dashes + "Total changes: 1\r\n" + dashes);
    ASSERT_EQ(r.how, run_result::outcome::completed);
    EXPECT_EQ(machine_.open_key_count(), 0u) << "every key opened by the run is closed";
  }
};

TEST_F(registry_script_test, keys_under_a_removed_key_and_excluded_keys_get_no_line) {
  for (const char* k : {"HKLM\\Software\\Example", "HKLM\\Software\\Example\\Sub", "HKLM\\Software\\ExampleTwo",
                        "HKU\\S-1\\Software\\App", "HKLM\\Software\\A\\BitBucket\\X", "HKLM\\Software\\runonce",
                        "HKLM\\Software\\RunOnceEx", "HKLM\\Software\\X\\MountPoints\\Y", "HKCU\\Software\\Later",
                        "HKLM\\Software\\Example\\Other"}) {
    machine_.keys[k];
  }
  run(section("Keys added:", 11,
              "HKLM\\Software\\Example\r\n"
              "HKLM\\Software\\Example\\Sub\r\n"
              "HKLM\\Software\\Gone\r\n"
              "HKLM\\Software\\Gone\\Below\r\n"
              "HKLM\\Software\\ExampleTwo\r\n"
              "HKU\\S-1\\Software\\App\r\n"
              "HKLM\\Software\\A\\BitBucket\\X\r\n"
              "HKLM\\Software\\runonce\r\n"
              "HKLM\\Software\\RunOnceEx\r\n"
              "HKLM\\Software\\X\\MountPoints\\Y\r\n"
              "HKLM\\Software\\Example\\Other\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block +
                           "[-HKEY_LOCAL_MACHINE\\Software\\Example]\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\ExampleTwo]\n"
                           "[-HKEY_USERS\\S-1\\Software\\App]\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\runonce]\n");
  EXPECT_TRUE(machine_.boxes.empty());
  EXPECT_FALSE(exists(path("report_errors.txt")));
}

TEST_F(registry_script_test, a_tab_in_a_key_name_is_part_of_the_name) {
  // Ended at its TAB, the path would name the sibling "Tab" or the parent, with everything beneath it.
  for (const char* k : {"HKLM\\Software\\AUD\\Tab", "HKLM\\Software\\AUD\\Tab\tKey", "HKLM\\Software\\AUD2",
                        "HKLM\\Software\\AUD2\\Precious"}) {
    machine_.keys[k];
  }
  run(section("Keys added:", 3,
              "HKLM\\Software\\AUD\\Tab\tKey\r\n"
              "HKLM\\Software\\AUD2\\\tLead\r\n"  // no such key: the parent must not stand in for it
              "HKLM\\Software\\AUD\\Tab\tGone\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block + "[-HKEY_LOCAL_MACHINE\\Software\\AUD\\Tab\tKey]\n");
}

TEST_F(registry_script_test, a_hive_loaded_between_the_snapshots_is_left_with_all_in_it) {
  // A user's profile loaded after the first snapshot: Regshot lists its mount point, and every key and value
  // in it, as added. Removing them would empty the user's registry.
  for (const char* k : {"HKU\\S-1-5-21-7", "HKU\\S-1-5-21-7\\Software", "HKU\\S-1-5-21-7\\Software\\App",
                        "HKLM\\COMPONENTS", "HKLM\\COMPONENTS\\Store", "HKLM\\Software\\Real",
                        "HKU\\S-1-5-21-8\\Software\\Other"}) {
    machine_.keys[k];
  }
  machine_.set_value("HKU\\S-1-5-21-7\\Software\\App", "v", win::reg_sz, sz_data);
  machine_.set_value("HKU\\S-1-5-21-7", "top", win::reg_sz, sz_data);
  machine_.set_value("HKU\\S-1-5-21-7\\Software\\App", "m", win::reg_dword, std::string(4, '\0'));
  machine_.set_value("HKLM\\Software\\Real", "m", win::reg_dword, std::string(4, '\0'));
  run(section("Keys added:", 7,
              "HKU\\S-1-5-21-7\r\n"
              "HKU\\S-1-5-21-7\\Software\r\n"
              "HKEY_USERS\\S-1-5-21-7\\Software\\App\r\n"
              "HKLM\\COMPONENTS\\\r\n"
              "HKLM\\COMPONENTS\\Store\r\n"
              "HKU\\S-1-5-21-8\\Software\\Other\r\n"  // in a hive that was there before: removed
              "HKLM\\Software\\Real\r\n") +
      section("Values added:", 2,
              "HKEY_USERS\\S-1-5-21-7\\Software\\App\\v: \"x\"\r\nHKU\\S-1-5-21-7\\top: \"x\"\r\n") +
      section("Values modified:", 2,
              "HKU\\s-1-5-21-7\\Software\\App\\m: 0x00000001\r\nHKU\\s-1-5-21-7\\Software\\App\\m: 0x00000002\r\n"
              "HKLM\\Software\\Real\\m: 0x00000001\r\nHKLM\\Software\\Real\\m: 0x00000002\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block +
                           "[-HKEY_USERS\\S-1-5-21-8\\Software\\Other]\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\Real]\n" + values_head);
  EXPECT_EQ(reset(), reset_header() + mods_banner + no_resets);
}

TEST_F(registry_script_test, a_pair_whose_lines_name_two_values_resets_nothing) {
  // Old data holding a quote, a line break and text that reads as an entry: the first line looks complete, the
  // pairs fall out of step, and the second "pair" would reset Note to its new data.
  machine_.set_value("HKLM\\Software\\K", "Note", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "Victim", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "D", win::reg_dword, std::string(4, '\0'));
  machine_.set_value("HKLM\\Software\\K", "E", win::reg_dword, std::string(4, '\0'));
  run(section("Values modified:", 3,
              "HKLM\\Software\\K\\Note: \"he said \"hi\"\r\nHKLM\\Software\\K\\Victim: x\"\r\n"
              "HKLM\\Software\\K\\Note: \"other\"\r\n"
              "HKLM\\Software\\K\\D: 0x00000001\r\nHKLM\\Software\\K\\D: 0x00000002\r\n"
              "HKLM\\Software\\K\\E: 0x00000003\r\nHKLM\\Software\\K\\E: 0x00000004\r\n"));
  const std::string why = " (the line after it in the report names another value)\n";
  EXPECT_EQ(reset(), reset_header() + mods_banner + "; Not reset: HKLM\\Software\\K\\Note" + why +
                         "; Not reset: HKLM\\Software\\K\\Note" + why + "; Not reset: HKLM\\Software\\K\\D" + why +
                         no_resets);
}

TEST_F(registry_script_test, an_old_line_of_exactly_1000_characters_resets_nothing_it_cannot_pair) {
  // Regshot 1.9 breaks only longer entries, but a piece of a broken one looks like anything: the reader joins
  // the line after it, and the pairs that this puts out of step are not reset.
  machine_.set_value("HKLM\\Software\\K", "Long", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "D", win::reg_dword, std::string(4, '\0'));
  const std::string head = "HKLM\\Software\\K\\Long: \"";
  const std::string old_line = head + std::string(999 - head.size(), 'A') + "\"";
  ASSERT_EQ(old_line.size(), 1000u);
  write_file("report.txt", "Regshot 1.9.1 x64 ANSI\r\nComments: \r\n" +
                               section("Values modified:", 2,
                                       old_line + "\r\nHKLM\\Software\\K\\Long: \"B\"\r\n"
                                       "HKLM\\Software\\K\\D: 0x00000001\r\nHKLM\\Software\\K\\D: 0x00000002\r\n") +
                               dashes + "Total changes: 2\r\n" + dashes);
  ASSERT_EQ(convert(path("report.txt")).how, run_result::outcome::completed);
  EXPECT_EQ(reset(), reset_header() + mods_banner +
                         "; Not reset: HKLM\\Software\\K\\Long (the line after it in the report names another value)\n" +
                         no_resets);
}

TEST_F(registry_script_test, a_long_entry_whose_data_holds_line_breaks_resets_nothing) {
  // Regshot 1.9 breaks an entry after every 1000 characters counted from its start, across the line breaks
  // of its data: the piece after a data break ends with a break of Regshot's at any length, which reads as
  // the data's. Written back, the value would gain a line break its data never held.
  machine_.set_value("HKLM\\Software\\K", "Text", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "Short", win::reg_sz, sz_data);
  const std::string head = "HKLM\\Software\\K\\Text: \"";
  const std::string entry = head + std::string(500, 'c') + "\r\n" + std::string(700, 'd') + "\"";
  const std::string shown = entry.substr(0, 1000) + "\r\n" + entry.substr(1000);  // Regshot's break
  write_file("report.txt", "Regshot 1.9.1 x64 ANSI\r\nComments: \r\n" +
                               section("Values modified:", 2,
                                       shown + "\r\nHKLM\\Software\\K\\Text: \"x\"\r\n"
                                       "HKLM\\Software\\K\\Short: \"one\r\ntwo\"\r\nHKLM\\Software\\K\\Short: \"x\"\r\n") +
                               dashes + "Total changes: 2\r\n" + dashes);
  ASSERT_EQ(convert(path("report.txt")).how, run_result::outcome::completed);
  EXPECT_EQ(reset(), reset_header() + mods_banner +
                         "; Not reset: HKLM\\Software\\K\\Text (its data holds line breaks and its entry is longer "
                         "than 1000 characters, where Regshot breaks lines too)\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Short\"=hex(1):6F,00,6E,00,65,00,0D,00,0A,00,74,00,77,00,6F,"
                         "00,00,00\n");
}

TEST_F(registry_script_test, a_question_mark_in_an_ansi_report_may_stand_for_a_lost_character) {
  // Regshot's ANSI build writes "?" for a character that its code page cannot hold ("Privet" in Cyrillic
  // letters comes out as "??????"): written back, the "?" would replace the user's text.
  machine_.set_value("HKLM\\Software\\K", "Sz", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "Exp", win::reg_expand_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "Multi", win::reg_multi_sz, std::string("a\0\0", 3));
  machine_.set_value("HKLM\\Software\\K", "Plain", win::reg_sz, sz_data);
  const std::string pairs = "HKLM\\Software\\K\\Sz: \"?????? ?\"\r\nHKLM\\Software\\K\\Sz: \"new\"\r\n"
                            "HKLM\\Software\\K\\Exp: \"%TEMP%\\?\"\r\nHKLM\\Software\\K\\Exp: \"new\"\r\n"
                            "HKLM\\Software\\K\\Multi: \"?\", \"b\"\r\nHKLM\\Software\\K\\Multi: \"a\"\r\n"
                            "HKLM\\Software\\K\\Plain: \"old\"\r\nHKLM\\Software\\K\\Plain: \"new?\"\r\n";
  run(section("Values modified:", 4, pairs));
  const std::string why = " (its old data holds \"?\", which Regshot's ANSI build writes for a character its code "
                          "page cannot hold)\n";
  EXPECT_EQ(reset(), reset_header() + mods_banner + "; Not reset: HKLM\\Software\\K\\Sz" + why +
                         "; Not reset: HKLM\\Software\\K\\Exp" + why + "; Not reset: HKLM\\Software\\K\\Multi" + why +
                         "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Plain\"=\"old\"\n");

  // A Unicode build's report holds every character: its "?" is a question mark.
  const std::string body = "Regshot 1.9.1 x64 Unicode\r\nComments: \r\n" + section("Values modified:", 1,
      "HKLM\\Software\\K\\Sz: \"why?\"\r\nHKLM\\Software\\K\\Sz: \"new\"\r\n") + dashes + "Total changes: 1\r\n" + dashes;
  std::string bytes;
  for (char c : body) bytes += {c, '\0'};
  ASSERT_EQ(convert(write_file("report.txt", bytes)).how, run_result::outcome::completed);
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Sz\"=\"why?\"\n");
}

TEST_F(registry_script_test, a_3f_byte_of_a_multi_string_in_hex_in_an_ansi_report_may_stand_for_a_lost_character) {
  // Regshot 1.9.0 shows a multi-string as the bytes it read; its ANSI build read them as ANSI, with "?" (3F)
  // for a character its code page cannot hold. Only a Unicode build's bytes are the value's own.
  machine_.set_value("HKLM\\Software\\K", "Lost", win::reg_multi_sz, std::string("a\0\0", 3));
  machine_.set_value("HKLM\\Software\\K", "Kept", win::reg_multi_sz, std::string("a\0\0", 3));
  write_file("report.txt", "Regshot 1.9.0 x64 ANSI\r\nComments: \r\n" +
                               section("Values modified:", 2,
                                       "HKLM\\Software\\K\\Lost:  3F 3F 00 62 00 00\r\nHKLM\\Software\\K\\Lost:  61 00 00\r\n"
                                       "HKLM\\Software\\K\\Kept:  E9 00 62 00 00\r\nHKLM\\Software\\K\\Kept:  61 00 00\r\n") +
                               dashes + "Total changes: 2\r\n" + dashes);
  ASSERT_EQ(convert(path("report.txt")).how, run_result::outcome::completed);
  EXPECT_EQ(reset(), reset_header() + mods_banner +
                         "; Not reset: HKLM\\Software\\K\\Lost (its old data holds \"?\", which Regshot's ANSI build "
                         "writes for a character its code page cannot hold)\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Kept\"=hex(7):E9,00,00,00,62,00,00,00,00,00\n");
}

TEST_F(registry_script_test, a_value_given_another_type_since_the_report_is_not_reset) {
  // A pair shows one type (a type change between the snapshots is a deletion and an addition). When the value
  // holds another type now, its old data read as the present type would be other bytes: a QWORD's eight bytes
  // as a DWORD, a number or a text as bytes. The new line's notation tells where Regshot never writes it so.
  machine_.set_value("HKLM\\Software\\R", "Q", win::reg_dword, std::string("\x09\0\0\0", 4));
  machine_.set_value("HKLM\\Software\\R", "S", win::reg_binary, "\xAA\xBB");
  machine_.set_value("HKLM\\Software\\R", "N", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\R", "W", win::reg_dword, std::string("\x05\0\0\0", 4));
  machine_.set_value("HKLM\\Software\\R", "L", win::reg_dword, std::string("\x01\0\0\0\0\0\0\0", 8));
  write_file("report.txt", "Regshot 1.9.0 x64 ANSI\r\nComments: \r\n" +
                               section("Values modified:", 5,
                                       "HKLM\\Software\\R\\Q:  01 02 03 04 05 06 07 08\r\n"
                                       "HKLM\\Software\\R\\Q:  01 02 03 04 05 06 07 09\r\n"
                                       "HKLM\\Software\\R\\S: \"old\"\r\nHKLM\\Software\\R\\S: \"new\"\r\n"
                                       "HKLM\\Software\\R\\N: 0x00000001\r\nHKLM\\Software\\R\\N: 0x00000002\r\n"
                                       "HKLM\\Software\\R\\W:  01 02 03 04 05 06 07 08\r\n"
                                       "HKLM\\Software\\R\\W: 0x00000005\r\n"
                                       "HKLM\\Software\\R\\L:  02 00 00 00 00 00 00 00\r\n"
                                       "HKLM\\Software\\R\\L:  01 00 00 00 00 00 00 00\r\n") +
                               dashes + "Total changes: 5\r\n" + dashes);
  ASSERT_EQ(convert(path("report.txt")).how, run_result::outcome::completed);
  const std::string retyped = " (it has been given another type since the report)\n";
  // W and L were DWORDs of eight bytes when the report was made (the one of four bytes since): their old
  // bytes are a DWORD's.
  EXPECT_EQ(reset(), reset_header() + mods_banner + "; Not reset: HKLM\\Software\\R\\Q" + retyped +
                         "; Not reset: HKLM\\Software\\R\\S" + retyped + "; Not reset: HKLM\\Software\\R\\N" +
                         retyped +
                         "[HKEY_LOCAL_MACHINE\\Software\\R]\n\"W\"=hex(4):01,02,03,04,05,06,07,08\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\R]\n\"L\"=hex(4):02,00,00,00,00,00,00,00\n");
}

TEST_F(registry_script_test, a_value_named_default_is_not_the_keys_default_value) {
  // PowerShell creates a value named "(Default)" for one who meant the default; Regshot shows the default
  // value only as "Key\\: data".
  machine_.set_value("HKLM\\Software\\K", "", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "(Default)", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\OnlyDefault", "", win::reg_sz, sz_data);
  run(section("Values modified:", 2,
              "HKLM\\Software\\K\\(Default): \"old\"\r\nHKLM\\Software\\K\\(Default): \"new\"\r\n"
              "HKLM\\Software\\OnlyDefault\\(Default): \"old\"\r\n"
              "HKLM\\Software\\OnlyDefault\\(Default): \"new\"\r\n"));
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"(Default)\"=\"old\"\n");
}

TEST_F(registry_script_test, the_101st_key_ends_the_keys_section_with_its_message) {
  std::string entries;
  std::string expected;
  for (int i = 0; i < 103; ++i) {
    const std::string k = "HKLM\\Software\\K" + std::to_string(1000 + i);
    machine_.keys[k];
    entries += k + "\r\n";
    if (i < 101) expected += "[-HKEY_LOCAL_MACHINE\\Software\\K" + std::to_string(1000 + i) + "]\n";
  }
  machine_.set_value("HKLM\\Software\\Other", "v", win::reg_sz, sz_data);
  run(section("Keys added:", 103, entries) + section("Values added:", 1, "HKLM\\Software\\Other\\v: \"x\"\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block + expected + values_head +
                           "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"v\"=-\n");
  ASSERT_EQ(machine_.boxes.size(), 1u);
  EXPECT_EQ(machine_.boxes[0].caption, "Too many entries");
  EXPECT_EQ(machine_.boxes[0].text,
            "More than 100 entries for keys array buffer! \nRun the .REG file and then run RESIVEX again.");
}

TEST_F(registry_script_test, values_get_their_key_line_and_a_deletion_each) {
  machine_.keys["HKLM\\Software\\Example"];
  machine_.set_value("HKLM\\Software\\Example", "v", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\ExampleTwo", "Setting", win::reg_dword, std::string(4, '\0'));
  machine_.set_value("HKLM\\Software\\ExampleTwo", "Quote\"Back\\slash", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\ExampleTwo", "", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\ExampleTwo", "(Default)", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\Paths\\SharedDLLs", "C:\\x\\y.dll", win::reg_dword, std::string(4, '\0'));
  machine_.set_value("HKLM\\Software\\Colon", "Name: with colon", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\Colon", "DataColon", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\Colon", "Tab\tName", win::reg_sz, sz_data);
  run(section("Keys added:", 1, "HKLM\\Software\\Example\r\n") +
      section("Values added:", 12,
              "HKLM\\Software\\Example\\v: \"x\"\r\n"                         // under a removed key
              "HKLM\\Software\\ExampleTwo\\Setting: 0x00000000\r\n"
              "HKLM\\Software\\ExampleTwo\\Quote\"Back\\slash: \"x\"\r\n"  // escaped
              "HKLM\\Software\\ExampleTwo\\: \"x\"\r\n"                      // the default value
              "HKLM\\Software\\ExampleTwo\\(Default): \"x\"\r\n"             // a value of that name
              "HKLM\\Software\\Paths\\SharedDLLs\\C:\\x\\y.dll: 0x00000000\r\n"
              "HKLM\\Software\\Colon\\Name: with colon: \"x\"\r\n"
              "HKLM\\Software\\Colon\\DataColon: \"C:\\dir: with colon\"\r\n"
              "HKLM\\Software\\Colon\\Tab\tName: \"x\"\r\n"
              "HKLM\\Software\\Colon\\Gone: \"x\"\r\n"
              "HKLM\\Software\\ExampleTwo\\RunOnce: \"skipped: the word\"\r\n"
              "HKLM\\Software\\Gone\\v: 1\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block + "[-HKEY_LOCAL_MACHINE\\Software\\Example]\n" + values_head +
                           "[HKEY_LOCAL_MACHINE\\Software\\ExampleTwo]\n\"Setting\"=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\ExampleTwo]\n\"Quote\\\"Back\\\\slash\"=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\ExampleTwo]\n@=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\ExampleTwo]\n\"(Default)\"=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Paths\\SharedDLLs]\n\"C:\\\\x\\\\y.dll\"=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Colon]\n\"Name: with colon\"=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Colon]\n\"DataColon\"=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Colon]\n\"Tab\tName\"=-\n");
}

TEST_F(registry_script_test, an_entry_that_names_two_existing_values_gets_a_comment_only) {
  // "K\\a: b: c" is the value "a: b" with data "c", or the value "a" with data "b: c"; "K\\Sub\\v" is the value
  // "v" of K\\Sub or the value "Sub\\v" of K. Regshot writes the same line for both: deleting or resetting one
  // of them may hit the user's value.
  machine_.set_value("HKLM\\Software\\K", "a: b", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "a", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K\\Sub", "v", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "Sub\\v", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K\\Only", "w", win::reg_sz, sz_data);
  run(section("Values added:", 3,
              "HKLM\\Software\\K\\a: b: \"c\"\r\nHKLM\\Software\\K\\Sub\\v: \"x\"\r\nHKLM\\Software\\K\\Only\\w: \"x\"\r\n") +
      section("Values modified:", 1, "HKLM\\Software\\K\\Sub\\v: \"old\"\r\nHKLM\\Software\\K\\Sub\\v: \"new\"\r\n"));
  const std::string why = " (another value is named by the same text: the report does not tell which)\n";
  EXPECT_EQ(removal(), removal_header() + values_head + "; Not removed: HKLM\\Software\\K\\a: b" + why +
                           "; Not removed: HKLM\\Software\\K\\Sub\\v" + why +
                           "[HKEY_LOCAL_MACHINE\\Software\\K\\Only]\n\"w\"=-\n");
  EXPECT_EQ(reset(), reset_header() + mods_banner + "; Not reset: HKLM\\Software\\K\\Sub\\v" + why + no_resets);
}

TEST_F(registry_script_test, a_value_found_only_under_another_name_is_gone) {
  // The exact enumeration compares the name up to its colon: "Name:x" would find "Name", another value.
  machine_.set_value("HKLM\\Software\\K", "Name", win::reg_sz, sz_data);
  run(section("Values added:", 1, "HKLM\\Software\\K\\Name:x: \"x\"\r\n") +
      section("Values modified:", 1, "HKLM\\Software\\K\\Name:x: \"old\"\r\nHKLM\\Software\\K\\Name:x: \"new\"\r\n"));
  EXPECT_EQ(removal(), removal_header() + values_head + no_deletions);
  EXPECT_EQ(reset(), reset_header() + mods_banner + no_resets);
}

TEST_F(registry_script_test, a_value_whose_type_changed_is_kept_and_noted_in_the_reset_script) {
  machine_.set_value("HKLM\\Software\\K", "TypeChange", win::reg_dword, std::string("\x0A\0\0\0", 4));
  machine_.set_value("HKLM\\Software\\K", "Added", win::reg_dword, std::string(4, '\0'));
  run(section("Values deleted:", 2, "HKLM\\Software\\K\\TypeChange: \"ten\"\r\nHKLM\\Software\\K\\Old: 1\r\n") +
      section("Values added:", 2, "HKLM\\Software\\K\\TypeChange: 0x0000000A\r\nHKLM\\Software\\K\\Added: 0x00000000\r\n"));
  EXPECT_EQ(removal(), removal_header() + values_head + "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Added\"=-\n");
  EXPECT_EQ(reset(), reset_header() +
                         "; Not reset: HKLM\\Software\\K\\TypeChange (its type changed; the report does not say its old "
                         "type exactly)\n" + no_resets);
}

TEST_F(registry_script_test, names_no_code_page_holds_are_named_and_broken_ones_never) {
  // A Unicode report: Cyrillic names are names like any other. Beside them, names the text of the report
  // breaks (a lone UTF-16 surrogate names no character, and reads as U+FFFD), and decoys of those forms.
  machine_.keys["HKU\\S\\Software\\\u0416"];
  machine_.set_value("HKU\\S\\Software\\K", "\u0416", win::reg_sz, sz_data);
  machine_.keys["HKU\\S\\Software\\\uFFFD"];
  machine_.keys["HKU\\S\\Software\\?"];
  machine_.set_value("HKU\\S\\Software\\K", "\uFFFD", win::reg_sz, sz_data);
  machine_.set_value("HKU\\S\\Software\\K", "?", win::reg_sz, sz_data);
  const std::u16string lone(1, static_cast<char16_t>(0xD800));
  std::u16string text = u"Regshot 1.9.1 x64 Unicode\r\nComments: \r\n" +
                        std::u16string(u"----------------------------------\r\nKeys added: 2\r\n"
                                       u"----------------------------------\r\nHKU\\S\\Software\\\u0416\r\n") +
                        u"HKU\\S\\Software\\" + lone + u"\r\n\r\n" +
                        u"----------------------------------\r\nValues modified: 2\r\n"
                        u"----------------------------------\r\n"
                        u"HKU\\S\\Software\\K\\\u0416: \"old\"\r\nHKU\\S\\Software\\K\\\u0416: \"new\"\r\n" +
                        u"HKU\\S\\Software\\K\\" + lone + u": \"old\"\r\nHKU\\S\\Software\\K\\" + lone +
                        u": \"new\"\r\n\r\n----------------------------------\r\nTotal changes: 4\r\n";
  std::string bytes;
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  ASSERT_EQ(convert(write_file("report.txt", bytes)).how, run_result::outcome::completed);
  EXPECT_EQ(removal(), removal_header() + keys_block + "[-HKEY_USERS\\S\\Software\\\u0416]\n");
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_USERS\\S\\Software\\K]\n\"\u0416\"=\"old\"\n" +
                         "; Not reset: HKU\\S\\Software\\K\\\uFFFD (its entry in the report holds what names no "
                         "character)\n");
}

TEST_F(registry_script_test, a_regedit4_script_names_nothing_its_code_page_lacks) {
  // The oldest systems get REGEDIT4 scripts, read in the ANSI code page: a name beyond it cannot stand in a
  // line there ("?" would name another key), and the entry is named in a comment instead.
  machine_.version.major = 5;
  machine_.keys["HKU\\S\\Software\\\u0416"];
  machine_.keys["HKU\\S\\Software\\Caf\u00e9"];
  machine_.set_value("HKU\\S\\Software\\K", "\u0416", win::reg_sz, sz_data);
  machine_.set_value("HKU\\S\\Software\\K", "V", win::reg_sz, sz_data);
  const std::string d = "----------------------------------\r\n";
  ASSERT_EQ(convert_unicode(d + "Keys added: 2\r\n" + d + "HKU\\S\\Software\\\u0416\r\nHKU\\S\\Software\\Caf\u00e9\r\n\r\n" +
                            d + "Values modified: 2\r\n" + d + "HKU\\S\\Software\\K\\\u0416: \"old\"\r\n" +
                            "HKU\\S\\Software\\K\\\u0416: \"new\"\r\nHKU\\S\\Software\\K\\V: \"\u0416\"\r\n" +
                            "HKU\\S\\Software\\K\\V: \"new\"\r\n\r\n" + d + "Total changes: 4\r\n" + d)
                .how,
            run_result::outcome::completed);
  const std::string why = "its name holds characters that this system's code page cannot hold, and its REGEDIT4 "
                          "script is in that code page";
  EXPECT_NE(removal().find(keys_block + "; Not removed: HKU\\S\\Software\\? (" + why + ")\n" +
                           "[-HKEY_USERS\\S\\Software\\Caf\u00e9]\n"),
            std::string::npos)
      << removal();
  EXPECT_NE(reset().find(mods_banner + "; Not reset: HKU\\S\\Software\\K\\? (" + why + ")\n" +
                         "; Not reset: HKU\\S\\Software\\K\\V (its old data holds characters that this system's "
                         "code page cannot hold, and its REGEDIT4 script is in that code page)\n"),
            std::string::npos)
      << reset();
}

TEST_F(registry_script_test, modified_values_are_reset_to_their_old_data) {
  machine_.keys["HKLM\\Software\\Foo"];
  machine_.set_value("HKLM\\Software\\Foo", "v", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\FooBar", "v", win::reg_dword, std::string(4, '\0'));
  machine_.set_value("HKLM\\Software\\FooBar", "", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\FooBar", "Path", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\FooBar", "Multi", win::reg_multi_sz, std::string("a\0\0", 3));
  machine_.set_value("HKLM\\Software\\FooBar", "BE", win::reg_dword_big_endian, std::string(4, '\0'));
  machine_.set_value("HKLM\\Software\\FooBar", "Same", win::reg_binary, "\x01\x02");
  machine_.set_value("HKLM\\Software\\Seeds", "x", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\FooBar", "Lines", win::reg_sz, sz_data);
  run(section("Keys added:", 1, "HKLM\\Software\\Foo\r\n") +
      section("Values modified:", 11,
              "HKLM\\Software\\Foo\\v: \"old\"\r\nHKLM\\Software\\Foo\\v: \"new\"\r\n"
              "HKLM\\Software\\FooBar\\v: 0x00000001\r\nHKLM\\Software\\FooBar\\v: 0x00000002\r\n"
              "HKLM\\Software\\FooBar\\: \"old default\"\r\nHKLM\\Software\\FooBar\\: \"new default\"\r\n"
              "HKLM\\Software\\FooBar\\Path: \"C:\\Old \"App\"\"\r\nHKLM\\Software\\FooBar\\Path: \"C:\\New\"\r\n"
              "HKLM\\Software\\FooBar\\Multi: 'a b'\r\nHKLM\\Software\\FooBar\\Multi: 'a'\r\n"
              "HKLM\\Software\\FooBar\\BE: 0x00000001\r\nHKLM\\Software\\FooBar\\BE: 0x00000002\r\n"
              "HKLM\\Software\\FooBar\\Same:  01 02\r\nHKLM\\Software\\FooBar\\Same:  01 03\r\n"
              "HKLM\\Software\\Seeds\\x: \"a\"\r\nHKLM\\Software\\Seeds\\x: \"b\"\r\n"
              "HKLM\\Software\\FooBar\\Gone: \"a\"\r\nHKLM\\Software\\FooBar\\Gone: \"b\"\r\n"
              "HKLM\\Software\\FooBar\\Lines: \"one\r\ntwo\"\r\nHKLM\\Software\\FooBar\\Lines: \"one\r\nthree\"\r\n"
              "HKLM\\Software\\FooBar\\v: 0x00000003\r\n"));
  EXPECT_EQ(reset(), reset_header() + mods_banner +
                         "[HKEY_LOCAL_MACHINE\\Software\\FooBar]\n\"v\"=dword:00000001\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\FooBar]\n@=\"old default\"\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\FooBar]\n\"Path\"=\"C:\\\\Old \\\"App\\\"\"\n"
                         "; Not reset: HKLM\\Software\\FooBar\\Multi (Regshot 1.8 shows a multi-string with blanks in "
                         "place of the separators of its strings)\n"
                         "\n; Resivex does not process type 5 registry entry\n; ... \"BE\" ...\n\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\FooBar]\n\"Lines\"=hex(1):6F,00,6E,00,65,00,0D,00,0A,00,74,00,77,00,6F,00,00,00\n");
}

TEST_F(registry_script_test, the_exclusion_list_keeps_values_out_and_its_blank_lines_keep_nothing_out) {
  write_file("do_not_modify_list.TXT", "; comment\r\n\r\nMuiCache\r\n   \r\n");
  machine_.set_value("HKU\\S\\Software\\Shell\\MuiCache", "a.exe", win::reg_sz, sz_data);
  machine_.set_value("HKU\\S\\Software\\App", "v", win::reg_sz, sz_data);
  run(section("Values modified:", 2,
              "HKU\\S\\Software\\Shell\\MuiCache\\a.exe: \"A\"\r\nHKU\\S\\Software\\Shell\\MuiCache\\a.exe: \"B\"\r\n"
              "HKU\\S\\Software\\App\\v: \"old\"\r\nHKU\\S\\Software\\App\\v: \"new\"\r\n"));
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_USERS\\S\\Software\\App]\n\"v\"=\"old\"\n");
}

TEST_F(registry_script_test, sections_without_entries_still_write_their_heads) {
  run(section("Keys added:", 0, "") + section("Values added:", 0, "") + section("Values modified:", 0, ""));
  EXPECT_EQ(removal(), removal_header() + keys_block + values_head + no_deletions);
  EXPECT_EQ(reset(), reset_header() + mods_banner + no_resets);
}

TEST_F(registry_script_test, a_count_beyond_the_entries_stops_at_the_end_of_the_section) {
  machine_.keys["HKLM\\Software\\A"];
  machine_.set_value("HKLM\\Software\\B", "v", win::reg_sz, sz_data);
  run(section("Keys added:", 5, "HKLM\\Software\\A\r\n") + section("Values added:", 1, "HKLM\\Software\\B\\v: \"x\"\r\n") +
      section("Values modified:", 3, "HKLM\\Software\\B\\v: \"old\"\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block + "[-HKEY_LOCAL_MACHINE\\Software\\A]\n" + values_head +
                           "[HKEY_LOCAL_MACHINE\\Software\\B]\n\"v\"=-\n");
  EXPECT_EQ(reset(), reset_header() + mods_banner + no_resets) << "an old line without its new line is left";
  EXPECT_FALSE(exists(path("report_errors.txt"))) << "no line of the next section is taken for a key";
}

TEST_F(registry_script_test, a_key_refused_by_the_system_goes_to_the_error_list) {
  machine_.keys["HKLM\\Software\\Locked"];
  machine_.key_open_errors["HKLM\\Software\\Locked"] = win::error_access_denied;
  run(section("Keys added:", 1, "HKLM\\Software\\Locked\r\n"));
  EXPECT_EQ(read_error_list(path("report_errors.txt")), "HKLM\\Software\\Locked\nAccess is denied.\n");
  EXPECT_EQ(removal(), removal_header() + keys_block + no_deletions);
  EXPECT_EQ(machine_.captions(), std::vector<std::string>{"Info"});
}

TEST_F(registry_script_test, every_key_line_names_the_key_as_the_system_resolves_it) {
  // The system's names, in full: HKCU is the current user's key under HKEY_USERS, HKCR and HKCC are keys of
  // HKEY_LOCAL_MACHINE (as regedit itself finds them, whatever name the report gives).
  for (const char* k : {"HKLM\\Software\\A", "HKU\\S-1\\B", "HKCU\\Software\\C", "HKCR\\.xyz", "HKCC\\Software\\E",
                        "HKLM\\Software\\Long"}) {
    machine_.keys[k];
  }
  machine_.set_value("HKCU\\Software\\V", "v", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\Long\\Sub", "v", win::reg_sz, sz_data);
  machine_.set_value("HKCR\\.abc", "", win::reg_sz, std::string("old\0", 4));
  run(section("Keys added:", 7,
              "HKLM\\Software\\A\r\nHKU\\S-1\\B\r\nHKCU\\Software\\C\r\nHKCR\\.xyz\r\nHKCC\\Software\\E\r\n"
              "HKEY_LOCAL_MACHINE\\Software\\Long\r\n"
              "HKLM\\Software\\Long\\Sub\r\n") +  // the same key by its short name: already removed
      section("Values added:", 2,
              "HKEY_CURRENT_USER\\Software\\V\\v: \"x\"\r\n"
              "HKLM\\Software\\Long\\Sub\\v: \"x\"\r\n") +  // under a key removed by its long name
      section("Values modified:", 1, "HKCR\\.abc\\: \"older\"\r\nHKCR\\.abc\\: \"old\"\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block +
                           "[-HKEY_LOCAL_MACHINE\\Software\\A]\n"
                           "[-HKEY_USERS\\S-1\\B]\n"
                           "[-HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\C]\n"
                           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.xyz]\n"
                           "[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\E]\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\Long]\n" +
                           values_head + "[HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\V]\n\"v\"=-\n");
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.abc]\n@=\"older\"\n");
}

TEST_F(registry_script_test, a_hive_alone_is_never_removed) {
  machine_.keys["HKLM\\Software\\X"];
  run(section("Keys added:", 4, "HKLM\r\nHKLM\\\r\nHKEY_USERS\r\nHKLM\\Software\\X\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block + "[-HKEY_LOCAL_MACHINE\\Software\\X]\n");
}

TEST_F(registry_script_test, a_key_name_holding_a_carriage_return_is_never_cut_to_its_parent) {
  // Regedit ends a line at a carriage return: "[-...\B<CR>B]" would delete B with everything under it.
  machine_.keys["HKLM\\Software\\B"];
  machine_.keys["HKLM\\Software\\C"];
  machine_.keys["HKLM\\Software\\Kept"];
  machine_.reg_opens = 0;
  run(section("Keys added:", 3, "HKLM\\Software\\B\rB\r\nHKLM\\Software\\C\r\r\nHKLM\\Software\\Kept\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block + "[-HKEY_LOCAL_MACHINE\\Software\\Kept]\n");
  EXPECT_EQ(machine_.reg_opens, 1) << "an entry that cannot be written is not probed";
  EXPECT_TRUE(machine_.boxes.empty());
}

TEST_F(registry_script_test, value_entries_holding_a_carriage_return_name_no_other_key_or_value) {
  machine_.set_value("HKLM\\Software\\B", "v", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "a", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "a\rb", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "Kept", win::reg_sz, sz_data);
  const std::string entries =
      "HKLM\\Software\\B\rB\\v: \"x\"\r\n"  // the key B<CR>B is gone; B holds a value v of its own
      "HKLM\\Software\\K\\a\rb: \"x\"\r\n"   // the value "a<CR>b" exists, "a" is another value
      "HKLM\\Software\\K\\Kept: \"x\"\r\n";
  run(section("Values added:", 3, entries) + section("Values modified:", 3,
      "HKLM\\Software\\B\rB\\v: \"x\"\r\nHKLM\\Software\\B\rB\\v: \"y\"\r\n"
      "HKLM\\Software\\K\\a\rb: \"x\"\r\nHKLM\\Software\\K\\a\rb: \"y\"\r\n"
      "HKLM\\Software\\K\\Kept: \"x\"\r\nHKLM\\Software\\K\\Kept: \"y\"\r\n"));
  EXPECT_EQ(removal(), removal_header() + values_head + "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Kept\"=-\n");
  EXPECT_EQ(reset(), reset_header() + mods_banner +
                         "; Not reset: HKLM\\Software\\K\\a b (its name holds a line break, which a .reg file "
                         "cannot hold)\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Kept\"=\"x\"\n");
}

TEST_F(registry_script_test, two_backslashes_before_a_name_begin_the_name_since_no_key_name_is_empty) {
  // "K\\Name" is the value "\Name" of K; "K\" names the same key as K, so reading it as the key "K\" with
  // the value "Name" would remove a value the report does not list.
  machine_.set_value("HKLM\\Software\\K", "Name", win::reg_dword, std::string(4, '\0'));
  machine_.set_value("HKLM\\Software\\K", "", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\S", "", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\S", "\\", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\S", "\\Name", win::reg_sz, sz_data);
  run(section("Values added:", 4,
              "HKLM\\Software\\K\\\\Name: 0x0000000A\r\n"   // only Name exists
              "HKLM\\Software\\K\\\\:\r\n"                  // only the default value exists
              "HKLM\\Software\\S\\\\Name: \"x\"\r\n"
              "HKLM\\Software\\S\\\\:\r\n") +
      section("Values modified:", 2,
              "HKLM\\Software\\K\\\\Name: 0x00000001\r\nHKLM\\Software\\K\\\\Name: 0x00000002\r\n"
              "HKLM\\Software\\S\\\\Name: \"old\"\r\nHKLM\\Software\\S\\\\Name: \"new\"\r\n"));
  EXPECT_EQ(removal(), removal_header() + values_head +
                           "[HKEY_LOCAL_MACHINE\\Software\\S]\n\"\\\\Name\"=-\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\S]\n\"\\\\\"=-\n");
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_LOCAL_MACHINE\\Software\\S]\n\"\\\\Name\"=\"old\"\n");
}

TEST_F(registry_script_test, a_key_under_a_removed_key_costs_no_probe) {
  machine_.keys["HKLM\\Software\\App\\A\\B"];
  machine_.reg_opens = 0;
  run(section("Keys added:", 4,
              "HKLM\\Software\\App\r\nHKLM\\Software\\App\\A\r\nHKLM\\Software\\App\\A\\B\r\nHKLM\\Software\\App\\C\r\n"));
  EXPECT_EQ(removal(), removal_header() + keys_block + "[-HKEY_LOCAL_MACHINE\\Software\\App]\n");
  // One probe; the undo script's pass over App opens each of its two sub-keys once.
  EXPECT_EQ(machine_.reg_opens, 3);
}

TEST_F(registry_script_test, data_holding_separators_and_backslashes_is_read_from_the_split_that_exists) {
  // "K\Comment: "Note: C:\x"": the last ": " and the last backslash before it would make the key
  // K\Comment: "Note: C: and the name x. Only the value Comment exists.
  machine_.set_value("HKLM\\Software\\K", "Comment", win::reg_sz, sz_data);
  machine_.set_value("HKLM\\Software\\K", "Note", win::reg_sz, sz_data);
  // A value named by a path, as SharedDLLs and Installer\Folders hold them, with data that holds ": ".
  machine_.set_value("HKLM\\Software\\Installer\\Folders", "C:\\App\\", win::reg_sz, sz_data);
  run(section("Values modified:", 3,
              "HKLM\\Software\\K\\Comment: \"Note: C:\\x\"\r\nHKLM\\Software\\K\\Comment: \"y\"\r\n"
              "HKLM\\Software\\K\\Note: \"a: b\"\r\nHKLM\\Software\\K\\Note: \"c\"\r\n"
              "HKLM\\Software\\Installer\\Folders\\C:\\App\\: \"see: C:\\App\\\"\r\n"
              "HKLM\\Software\\Installer\\Folders\\C:\\App\\: \"\"\r\n"));
  EXPECT_EQ(reset(), reset_header() + mods_banner +
                         "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Comment\"=\"Note: C:\\\\x\"\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Note\"=\"a: b\"\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\Installer\\Folders]\n\"C:\\\\App\\\\\"=\"see: C:\\\\App\\\\\"\n");
}

TEST_F(registry_script_test, long_values_are_reset_in_full_over_continued_lines) {
  std::string old_bytes, wrapped;
  for (int i = 0; i < 400; ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", i % 256);
    old_bytes += std::string(i ? " " : "") + b;
    // "Blob"=hex: takes 11 characters: 22 bytes on the first line, 25 on every other.
    wrapped += std::string(i == 0 ? "" : (i - 22) % 25 == 0 ? ",\\\n  " : ",") + b;
  }
  const std::string long_text(1500, 'L');
  machine_.set_value("HKLM\\Software\\K", "Blob", win::reg_binary, "now");
  machine_.set_value("HKLM\\Software\\K", "Text", win::reg_sz, sz_data);
  run(section("Values modified:", 2,
              "HKLM\\Software\\K\\Blob: " + old_bytes + "\r\nHKLM\\Software\\K\\Blob: 00\r\n"
              "HKLM\\Software\\K\\Text: \"" + long_text + "\"\r\nHKLM\\Software\\K\\Text: \"x\"\r\n"));
  // "Text"=hex(1): takes 14 characters: 21 bytes on the first line, 25 on every other; two a character.
  std::string text_list;
  for (int i = 0; i < 2 * 1501; ++i) {
    text_list += std::string(i == 0 ? "" : (i - 21) % 25 == 0 ? ",\\\n  " : ",") + (i < 3000 && i % 2 == 0 ? "4C" : "00");
  }
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Blob\"=hex:" + wrapped +
                         "\n[HKEY_LOCAL_MACHINE\\Software\\K]\n\"Text\"=hex(1):" + text_list + "\n");
  EXPECT_TRUE(machine_.boxes.empty()) << "no line is too long for its buffer";
}

TEST_F(registry_script_test, an_entry_that_lost_characters_is_named_only_where_its_name_came_through) {
  // A Unicode report whose text is broken in places (lone surrogates): in the data of some values, in the name
  // of another. Data that names no character is never written back; a name that does not is never looked up.
  machine_.set_value("HKU\\S\\Software\\K", "Plain", win::reg_sz, sz_data);
  machine_.set_value("HKU\\S\\Software\\K", "Mod", win::reg_sz, sz_data);
  machine_.set_value("HKU\\S\\Software\\K", "\uFFFD", win::reg_sz, sz_data);
  const std::u16string lone(1, static_cast<char16_t>(0xDC00));
  std::u16string text = u"Regshot 1.9.1 x64 Unicode\r\nComments: \r\n" +
                        std::u16string(u"----------------------------------\r\nValues added: 3\r\n"
                                       u"----------------------------------\r\n") +
                        u"HKU\\S\\Software\\K\\Plain: \"" + lone + u"\"\r\n" + u"HKU\\S\\Software\\K\\" + lone +
                        u": \"x\"\r\n" + u"HKU\\S\\Software\\K\\Gone: \"" + lone + u"\"\r\n\r\n" +
                        u"----------------------------------\r\nValues modified: 3\r\n"
                        u"----------------------------------\r\n" +
                        u"HKU\\S\\Software\\K\\Mod: \"" + lone + u"\"\r\nHKU\\S\\Software\\K\\Mod: \"b\"\r\n" +
                        u"HKU\\S\\Software\\K\\Gone: \"" + lone + u"\"\r\nHKU\\S\\Software\\K\\Gone: \"b\"\r\n" +
                        u"HKU\\S\\Software\\K\\" + lone + u": \"a\"\r\nHKU\\S\\Software\\K\\" + lone +
                        u": \"b\"\r\n\r\n----------------------------------\r\nTotal changes: 6\r\n";
  std::string bytes;
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  ASSERT_EQ(convert(write_file("report.txt", bytes)).how, run_result::outcome::completed);
  EXPECT_EQ(removal(), removal_header() + values_head + "[HKEY_USERS\\S\\Software\\K]\n\"Plain\"=-\n");
  const std::string lost = " (its entry in the report holds what names no character)\n";
  EXPECT_EQ(reset(), reset_header() + mods_banner + "; Not reset: HKU\\S\\Software\\K\\Mod" + lost +
                         "; Not reset: HKU\\S\\Software\\K\\\uFFFD" + lost + no_resets)
      << "a value that is gone gets no comment; one whose name lost characters cannot be looked up";
}

TEST_F(registry_script_test, a_value_found_by_the_enumeration_is_encoded_from_its_own_type_and_data) {
  // The lookup of "Odd" fails for a reason other than its absence; the enumeration finds it. Its data must be
  // what decides, never what the lookup of "First" left in value_data.
  machine_.set_value("HKLM\\Software\\K", "First", win::reg_binary, "\x01\x02");
  machine_.set_value("HKLM\\Software\\K", "Odd", win::reg_binary, "\x0A\x0B");
  machine_.set_value("HKLM\\Software\\K", "OddDw", win::reg_dword, std::string(4, '\0'));
  machine_.query_errors["HKLM\\Software\\K\\Odd"] = 1;
  machine_.query_errors["HKLM\\Software\\K\\OddDw"] = 1;
  run(section("Values modified:", 3,
              "HKLM\\Software\\K\\First: 01 03\r\nHKLM\\Software\\K\\First: 01 02\r\n"
              "HKLM\\Software\\K\\Odd: 0A 0B\r\nHKLM\\Software\\K\\Odd: 0A 0C\r\n"   // holds its old data already
              "HKLM\\Software\\K\\OddDw: 0x00000007\r\nHKLM\\Software\\K\\OddDw: 0x00000000\r\n"));
  EXPECT_EQ(reset(), reset_header() + mods_banner + "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"First\"=hex:01,03\n"
                                                      "[HKEY_LOCAL_MACHINE\\Software\\K]\n\"OddDw\"=dword:00000007\n");
}

TEST_F(registry_script_test, a_prefix_is_stripped_only_at_the_start_of_a_line) {
  rs_->strip_buf = allocate_memory2(*rs_, work_buffer_size);
  const struct {
    const char* line;
    const char* left;
  } cases[] = {{"Old: HKLM\\K\\v: 1\n", "HKLM\\K\\v: 1\n"},
               {"HKLM\\K\\Old: 1\n", "HKLM\\K\\Old: 1\n"},
               {"Old:HKLM\n", "Old:HKLM\n"},
               {"Old: ", ""}};
  for (const auto& c : cases) {
    copy_text(rs_->line_buf, c.line);
    EXPECT_EQ(strip_prefix(*rs_, rs_->line_buf, "Old: "), static_cast<int>(std::string(c.left).size()));
    EXPECT_EQ(std::string(rs_->line_buf), c.left);
  }
}

}  // namespace
}  // namespace resivex::testing
