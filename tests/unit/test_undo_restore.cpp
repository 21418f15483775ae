// The undo and restore scripts over the fake registry: the subtree of a key the removal script deletes, the
// values the scripts delete or overwrite, what cannot be undone (and so is not removed), the restore decisions
// per notation, and the lines each restore line leaves in the undo script.
#include "conversion/registry/encoders.h"
#include "conversion/registry/restore_script.h"

#include "tests/unit/run_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace resivex::testing {
namespace {

const std::string dashes = "----------------------------------\r\n";

std::string section(const std::string& title, int count, const std::string& entries) {
  return dashes + title + " " + std::to_string(count) + "\r\n" + dashes + entries + "\r\n";
}

// The UTF-16 bytes of a string value, with its terminator.
std::string sz(const std::u16string& text) {
  std::string bytes;
  for (const char16_t c : text + u'\0') bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

class undo_restore_test : public run_fixture {
protected:
  std::string undo() const { return read_script(path("report_undo.reg")); }
  std::string restore() const { return read_script(path("report_restore.reg")); }
  std::string removal() const { return read_script(path("report.reg")); }
  // The script after its header: the first line, an empty line, the header's comments, an empty line.
  static std::string body(const std::string& script) {
    const std::size_t end = script.find("\n\n", script.find('\n') + 2);
    return end == std::string::npos ? "(no header)" : script.substr(end + 2);
  }
  void run(const std::string& text) {
    ASSERT_EQ(convert_text(text + dashes + "Total changes: 1\r\n" + dashes).how, run_result::outcome::completed);
    EXPECT_EQ(machine_.open_key_count(), 0u);
    EXPECT_FALSE(exists(path("report_undo.tmp"))) << "the scratch file is gone";
  }
};

TEST_F(undo_restore_test, a_removed_key_goes_to_the_undo_script_with_its_whole_subtree) {
  // Every type, the default value, an empty name and names that need escapes, an empty sub-key, nesting.
  const std::string k = "HKLM\\Software\\Gone";
  machine_.set_value(k, "", win::reg_sz, sz(u"default"));
  machine_.set_value(k, "Str", win::reg_sz, sz(u"say \"hi\" C:\\x"));
  machine_.set_value(k, "Exp", win::reg_expand_sz, sz(u"%TEMP%\\\u0436"));
  machine_.set_value(k, "Lines", win::reg_sz, sz(u"a\r\nb"));
  machine_.set_value(k, "NoTerm", win::reg_sz, std::string("a\0b\0", 4));
  machine_.set_value(k, "Dw", win::reg_dword, std::string("\x78\x56\x34\x12", 4));
  machine_.set_value(k, "Qw", win::reg_qword, std::string("\x01\0\0\0\0\0\0\x80", 8));
  machine_.set_value(k, "None", win::reg_none, std::string("\x11\x22", 2));
  machine_.set_value(k, "Big", 0x12345u, "\xFF");
  machine_.set_value(k, "Bin", win::reg_binary, std::string());
  machine_.set_value(k, "\u041a\u043b\u044e\u0447 \"q\" \\ slash", win::reg_sz, sz(u"\U0001F600"));
  machine_.set_value(k + "\\Sub\\Deeper", "v", win::reg_dword, std::string(4, '\0'));
  machine_.keys[k + "\\Empty"];
  run(section("Keys added:", 1, k + "\r\n"));
  EXPECT_EQ(body(removal()), "; Remove keys added...\n; Any sub-key under the main key is also removed...\n \n"
                             "[-HKEY_LOCAL_MACHINE\\Software\\Gone]\n");
  EXPECT_EQ(body(undo()),
            "[HKEY_LOCAL_MACHINE\\Software\\Gone]\n"
            "@=\"default\"\n"
            "\"Big\"=hex(12345):FF\n"
            "\"Bin\"=hex:\n"
            "\"Dw\"=dword:12345678\n"
            "\"Exp\"=hex(2):25,00,54,00,45,00,4D,00,50,00,25,00,5C,00,36,04,00,00\n"
            "\"Lines\"=hex(1):61,00,0D,00,0A,00,62,00,00,00\n"
            "\"NoTerm\"=hex(1):61,00,62,00\n"
            "\"None\"=hex(0):11,22\n"
            "\"Qw\"=hex(b):01,00,00,00,00,00,00,80\n"
            "\"Str\"=\"say \\\"hi\\\" C:\\\\x\"\n"
            "\"\u041a\u043b\u044e\u0447 \\\"q\\\" \\\\ slash\"=\"\U0001F600\"\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\Gone\\Empty]\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\Gone\\Sub]\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\Gone\\Sub\\Deeper]\n"
            "\"v\"=dword:00000000\n\n");
}

TEST_F(undo_restore_test, values_the_scripts_delete_or_overwrite_go_to_the_undo_script_as_they_are) {
  machine_.set_value("HKLM\\Software\\V", "Added", win::reg_expand_sz, sz(u"%X%"));
  machine_.set_value("HKLM\\Software\\V", "Mod", win::reg_dword, std::string("\x12\0\0\0", 4));
  run(section("Values added:", 1, "HKLM\\Software\\V\\Added: \"%X%\"\r\n") +
      section("Values modified:", 1, "HKLM\\Software\\V\\Mod: 0x00000011\r\nHKLM\\Software\\V\\Mod: 0x00000012\r\n"));
  EXPECT_EQ(body(undo()), "[HKEY_LOCAL_MACHINE\\Software\\V]\n\"Added\"=hex(2):25,00,58,00,25,00,00,00\n"
                          "\n[HKEY_LOCAL_MACHINE\\Software\\V]\n\"Mod\"=dword:00000012\n\n");
  EXPECT_NE(undo().find("; Import this file after " + path("report.reg") + ", " + path("report_mods.reg") + " and " +
                        path("report_restore.reg") + " to UNDO them: file " + path("report_undo.reg") + " \n"),
            std::string::npos);
}

TEST_F(undo_restore_test, a_key_whose_subtree_cannot_be_read_whole_is_not_removed) {
  machine_.set_value("HKLM\\Software\\Locked\\Secret", "v", win::reg_sz, sz(u"x"));
  machine_.key_open_errors["HKLM\\Software\\Locked\\Secret"] = win::error_access_denied;
  machine_.set_value("HKLM\\Software\\Busy", "v", win::reg_sz, sz(u"x"));
  machine_.changing_keys.insert("HKLM\\Software\\Busy");
  machine_.set_value("HKLM\\Software\\Fine", "v", win::reg_sz, sz(u"x"));
  run(section("Keys added:", 3, "HKLM\\Software\\Locked\r\nHKLM\\Software\\Busy\r\nHKLM\\Software\\Fine\r\n"));
  EXPECT_EQ(body(removal()),
            "; Remove keys added...\n; Any sub-key under the main key is also removed...\n \n"
            "; Not removed: HKLM\\Software\\Locked (its undo cannot be written: its sub-key "
            "HKEY_LOCAL_MACHINE\\Software\\Locked\\Secret cannot be read: Access is denied.)\n"
            "; Not removed: HKLM\\Software\\Busy (its undo cannot be written: HKEY_LOCAL_MACHINE\\Software\\Busy was "
            "written to while it was read)\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\Fine]\n");
  EXPECT_EQ(body(undo()), "[HKEY_LOCAL_MACHINE\\Software\\Fine]\n\"v\"=\"x\"\n\n") << "nothing of the two others";
}

// "\xED\xA0\x80" is how a name stands here that the system holds with a UTF-16 unit that is half of a pair,
// alone: it has no UTF-8 form, so no line of a script can name it.
TEST_F(undo_restore_test, a_key_holding_a_name_with_no_utf8_form_is_not_removed) {
  machine_.set_value("HKLM\\Software\\OddValue\\Deep", "lone \xED\xA0\x80 unit", win::reg_sz, sz(u"x"));
  machine_.set_value("HKLM\\Software\\OddValue\\Deep", "lone \xEF\xBF\xBD unit", win::reg_sz, sz(u"y"));
  machine_.set_value("HKLM\\Software\\OddKey\\lone \xED\xB0\x80 key", "v", win::reg_sz, sz(u"x"));
  machine_.set_value("HKLM\\Software\\OddKey\\lone \xEF\xBF\xBD key", "v", win::reg_sz, sz(u"y"));
  machine_.set_value("HKLM\\Software\\Fine", "lone \xEF\xBF\xBD", win::reg_sz, sz(u"x"));
  run(section("Keys added:", 3, "HKLM\\Software\\OddValue\r\nHKLM\\Software\\OddKey\r\nHKLM\\Software\\Fine\r\n"));
  EXPECT_EQ(body(removal()),
            "; Remove keys added...\n; Any sub-key under the main key is also removed...\n \n"
            "; Not removed: HKLM\\Software\\OddValue (its undo cannot be written: a value of "
            "HKEY_LOCAL_MACHINE\\Software\\OddValue\\Deep has a name a .reg file cannot hold)\n"
            "; Not removed: HKLM\\Software\\OddKey (its undo cannot be written: a sub-key of "
            "HKEY_LOCAL_MACHINE\\Software\\OddKey has a name a .reg file cannot hold)\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\Fine]\n");
  EXPECT_EQ(body(undo()), "[HKEY_LOCAL_MACHINE\\Software\\Fine]\n\"lone \xEF\xBF\xBD\"=\"x\"\n\n")
      << "nothing of the two others: U+FFFD names other entries";
}

TEST_F(undo_restore_test, a_subtree_larger_than_memory_holds_is_written_whole_through_the_scratch_file) {
  std::string big(300000, 'x');
  for (int i = 0; i < 8; ++i) machine_.set_value("HKLM\\Software\\Huge", "v" + std::to_string(i), win::reg_binary, big);
  run(section("Keys added:", 1, "HKLM\\Software\\Huge\r\n"));
  const std::string text = body(undo());
  std::size_t values = 0;
  for (std::size_t at = text.find("\"v"); at != std::string::npos; at = text.find("\"v", at + 1)) ++values;
  EXPECT_EQ(values, 8u);
  EXPECT_GT(text.size(), 8 * 300000 * 3u) << "every byte of every value";
  EXPECT_EQ(text.substr(text.size() - 5), ",78\n\n");
}

TEST_F(undo_restore_test, without_the_whole_undo_script_the_other_scripts_keep_only_their_comments) {
  machine_.set_value("HKLM\\Software\\Gone", "v", win::reg_sz, sz(u"x"));
  machine_.set_value("HKLM\\Software\\V", "Mod", win::reg_dword, std::string("\x12\0\0\0", 4));
  machine_.unwritable = {path("report_undo.reg")};
  const run_result r = convert_text(section("Keys added:", 1, "HKLM\\Software\\Gone\r\n") +
                                    section("Values modified:", 1,
                                            "HKLM\\Software\\V\\Mod: 0x00000011\r\nHKLM\\Software\\V\\Mod: 0x00000012\r\n"));
  EXPECT_EQ(r.how, run_result::outcome::completed);
  EXPECT_TRUE(r.write_failed);
  ASSERT_FALSE(machine_.boxes.empty());
  EXPECT_EQ(machine_.boxes[0].text, "Error writing " + path("report_undo.reg") + "  output file \n");
  for (const std::string& script : {removal(), read_script(path("report_mods.reg")), restore()}) {
    EXPECT_EQ(script.find("\n["), std::string::npos) << script;
    EXPECT_EQ(script.find("\n\""), std::string::npos) << script;
    EXPECT_NE(script.find("; Nothing is left in this script: its undo script could not be written completely"),
              std::string::npos);
  }
  EXPECT_EQ(std::count(machine_.windows.begin(), machine_.windows.end(), path("report_undo.reg")), 0)
      << "an incomplete undo script is not shown";
}

TEST(restore_data, the_notation_tells_type_and_data_exactly_only_for_what_no_other_type_shares) {
  struct row {
    const char* what;
    const char* data;
    bool ansi;
    bool writable, exact;
    std::uint32_t type;
    const char* written;  // the data part, when writable
  };
  const row rows[] = {
      {"a 1.9.1 qword", "0x0102030405060708", false, true, true, win::reg_qword, "hex(b):08,07,06,05,04,03,02,01"},
      {"a string: REG_SZ or REG_EXPAND_SZ", "\"text\"", false, true, false, win::reg_sz, "\"text\""},
      {"a string with a variable: most likely expandable", "\"%TEMP%\\x\"", false, true, false, win::reg_expand_sz,
       "hex(2):25,00,54,00,45,00,4D,00,50,00,25,00,5C,00,78,00,00,00"},
      {"strings of a 1.9.1 multi-string", "\"a\", \"b\"", false, true, false, win::reg_multi_sz,
       "hex(7):61,00,00,00,62,00,00,00,00,00"},
      {"a dword: or a big-endian one", "0x0000000A", false, true, false, win::reg_dword, "dword:0000000A"},
      {"bytes: binary or a type of no notation", "01 02 FF", false, true, false, win::reg_binary, "hex:01,02,FF"},
      {"bytes of 1.9.0", "  01 02", false, true, false, win::reg_binary, "hex:01,02"},
      {"no data: of any type", "(NULL!)", false, true, false, win::reg_binary, "hex:"},
      {"no data, 1.8", "", false, true, false, win::reg_binary, "hex:"},
      {"1.8 multi-string with blanks for separators", "'a b'", false, false, false, 0, nullptr},
      {"bytes Regshot cut", "01 02 ...", false, false, false, 0, nullptr},
      {"a ? of an ANSI build", "\"caf?\"", true, false, false, 0, nullptr},
      {"a ? of a Unicode build is a ?", "\"what?\"", false, true, false, win::reg_sz, "\"what?\""},
      {"no notation known", "{guid}", false, false, false, 0, nullptr},
  };
  for (const row& r : rows) {
    const restore_data d = restore_data_of(r.data, r.ansi);
    EXPECT_EQ(d.writable, r.writable) << r.what;
    EXPECT_EQ(d.exact, r.exact) << r.what;
    if (!r.writable) {
      EXPECT_NE(d.why, nullptr) << r.what;
      continue;
    }
    EXPECT_EQ(d.type, r.type) << r.what;
    EXPECT_EQ(d.data, r.written) << r.what;
    if (!r.exact) {
      EXPECT_NE(d.why, nullptr) << r.what;
    }
  }
}

TEST_F(undo_restore_test, deleted_keys_and_values_still_missing_are_restored_and_undone_again) {
  machine_.keys["HKLM\\Software\\App"];
  machine_.set_value("HKLM\\Software\\App\\Back", "there", win::reg_sz, sz(u"x"));  // it came back
  machine_.set_value("HKLM\\Software\\Keep", "Other", win::reg_sz, sz(u"x"));
  run(section("Keys deleted:", 4,
              "HKLM\\Software\\App\\Gone\r\nHKLM\\Software\\App\\Gone\\Deeper\r\nHKLM\\Software\\App\\Back\r\n"
              "HKLM\\Sam\r\n") +
      section("Values deleted:", 4,
              "HKLM\\Software\\App\\Gone\\Q: 0x0000000000000005\r\n"
              "HKLM\\Software\\App\\Gone\\S: \"text\"\r\n"
              "HKLM\\Software\\Keep\\Q: 0x0000000000000007\r\n"
              "HKLM\\Software\\Keep\\Cut: 01 02 ...\r\n"));
  EXPECT_EQ(body(restore()),
            " \n; Restore keys deleted...\n \n"
            "[HKEY_LOCAL_MACHINE\\Software\\App\\Gone]\n"
            "[HKEY_LOCAL_MACHINE\\Software\\App\\Gone\\Deeper]\n"
            " \n; Restore values deleted...\n \n"
            "[HKEY_LOCAL_MACHINE\\Software\\App\\Gone]\n\"Q\"=hex(b):05,00,00,00,00,00,00,00\n"
            "; Not restored exactly: HKLM\\Software\\App\\Gone\\S (the report shows REG_SZ and REG_EXPAND_SZ (and "
            "REG_MULTI_SZ) data alike; most likely REG_SZ). Remove the \";\" of the two lines below to restore it.\n"
            ";[HKEY_LOCAL_MACHINE\\Software\\App\\Gone]\n;\"S\"=\"text\"\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Keep]\n\"Q\"=hex(b):07,00,00,00,00,00,00,00\n"
            "; Not restored: HKLM\\Software\\Keep\\Cut (Regshot cut its data short)\n")
      << "a key that exists again, and a hive, are not created";
  // What the restore lines create goes again: the first missing key of each path once, a value of a key that
  // exists; for a comment line, a comment line.
  EXPECT_EQ(body(undo()), "[-HKEY_LOCAL_MACHINE\\Software\\App\\Gone]\n\n"
                          ";[-HKEY_LOCAL_MACHINE\\Software\\App\\Gone]\n\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Keep]\n\"Q\"=-\n\n");
}

TEST_F(undo_restore_test, a_value_whose_type_changed_gets_its_old_type_where_the_report_tells_it) {
  machine_.set_value("HKLM\\Software\\T", "Q", win::reg_sz, sz(u"now a string"));
  machine_.set_value("HKLM\\Software\\T", "S", win::reg_dword, std::string("\x0A\0\0\0", 4));
  run(section("Values deleted:", 2, "HKLM\\Software\\T\\Q: 0x0000000000000003\r\nHKLM\\Software\\T\\S: \"ten\"\r\n") +
      section("Values added:", 2, "HKLM\\Software\\T\\Q: \"now a string\"\r\nHKLM\\Software\\T\\S: 0x0000000A\r\n"));
  EXPECT_EQ(removal().find("\"Q\"=-"), std::string::npos) << "never deleted: it existed before the install";
  const std::string text = body(restore());
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\T]\n\"Q\"=hex(b):03,00,00,00,00,00,00,00\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find(";[HKEY_LOCAL_MACHINE\\Software\\T]\n;\"S\"=\"ten\"\n"), std::string::npos) << text;
  // Each overwrites the value as it is now: the undo script puts that back (as a comment for a comment).
  const std::string u = body(undo());
  EXPECT_NE(u.find("[HKEY_LOCAL_MACHINE\\Software\\T]\n\"Q\"=\"now a string\"\n"), std::string::npos) << u;
  EXPECT_NE(u.find(";[HKEY_LOCAL_MACHINE\\Software\\T]\n;\"S\"=dword:0000000a\n"), std::string::npos) << u;
}

TEST_F(undo_restore_test, a_name_from_the_question_mark_of_an_ansi_report_is_never_created) {
  machine_.keys["HKLM\\Software\\Wh?t"];  // a real "?": found on the machine under that very name
  machine_.keys["HKLM\\Software\\Keep"];
  const std::string deleted = section("Keys deleted:", 2, "HKLM\\Software\\??????\r\nHKLM\\Software\\Wh?t\\New\r\n") +
                              section("Values deleted:", 2,
                                      "HKLM\\Software\\Keep\\N?me: 0x0000000000000005\r\n"
                                      "HKLM\\Software\\Wh?t\\Q: 0x0000000000000006\r\n");
  run(deleted);
  EXPECT_EQ(body(restore()),
            " \n; Restore keys deleted...\n \n"
            "; Not restored: HKLM\\Software\\?????? (its name holds \"?\", which Regshot's ANSI build writes for a "
            "character its code page cannot hold)\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Wh?t\\New]\n"
            " \n; Restore values deleted...\n \n"
            "; Not restored: HKLM\\Software\\Keep\\N?me (its name holds \"?\", which Regshot's ANSI build writes for "
            "a character its code page cannot hold)\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Wh?t]\n\"Q\"=hex(b):06,00,00,00,00,00,00,00\n");
  // A Unicode report names every character: its "?" is a real one.
  ASSERT_EQ(convert_unicode(deleted + dashes + "Total changes: 1\r\n" + dashes).how, run_result::outcome::completed);
  const std::string unicode = body(restore());
  EXPECT_NE(unicode.find("[HKEY_LOCAL_MACHINE\\Software\\??????]\n"), std::string::npos) << unicode;
  EXPECT_NE(unicode.find("[HKEY_LOCAL_MACHINE\\Software\\Keep]\n\"N?me\"=hex(b):05"), std::string::npos) << unicode;
}

TEST_F(undo_restore_test, every_run_writes_both_scripts_with_their_notes) {
  run("");
  EXPECT_EQ(body(undo()), "; There are no registry entries to undo.\n");
  EXPECT_EQ(body(restore()), "; There are no registry entries to restore.\n");
  EXPECT_EQ(machine_.windows, (std::vector<std::string>{path("report.bat"), path("report.reg"), path("report_mods.reg"),
                                                       path("report_undo.reg"), path("report_restore.reg")}));
}

}  // namespace
}  // namespace resivex::testing
