// The view of the machine a report was taken in: read from its title, the registry access mask that follows,
// the notes the scripts carry, and the file paths of a 32-bit report as a 64-bit program finds them.
#include "conversion/report_view.h"

#include "conversion/registry/key_names.h"
#include "conversion/report_reader.h"
#include "conversion/win_types.h"
#include "tests/unit/fake_machine.h"
#include "tests/unit/run_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace resivex::testing {
namespace {

TEST(report_view, every_title_of_the_corpus_names_its_view) {
  struct row {
    const char* report;
    report_view view;
  };
  // Read as the run reads them: the first line of each genuine report, whatever its encoding (03 and 04 have
  // a garbled first character).
  for (const row& r : {row{"01-public-regshot182-ansi.txt", report_view::bits32},
                       row{"02-public-regshot190-x64-ansi-wrapped.txt", report_view::bits64},
                       row{"03-public-regshot190-x64-unicode-bom.txt", report_view::bits64},
                       row{"04-public-regshot190-x64-unicode-nobom.txt", report_view::bits64},
                       row{"05-public-regshot190-x86-unicode-bom.txt", report_view::bits32},
                       row{"06-public-regshot190-x86-unicode-a.txt", report_view::bits32},
                       row{"20-regshot182-ansi-alltypes.txt", report_view::bits32},
                       row{"22-regshot190-x64-unicode-alltypes.txt", report_view::bits64},
                       row{"25-regshot191-x64-unicode-alltypes.txt", report_view::bits64},
                       row{"26-regshot191-x64-ansi-alltypes.txt", report_view::bits64}}) {
    std::FILE* f = std::fopen((std::string(RESIVEX_DATA_DIR) + "/regshot/reports/" + r.report).c_str(), "rb");
    ASSERT_NE(f, nullptr) << r.report;
    fake_machine m;
    report_reader reader(m, f);
    char line[line_capacity];
    line_flags flags;
    const int n = reader.read_line(line, flags);
    ASSERT_GT(n, 0) << r.report;
    EXPECT_EQ(report_view_of_title(std::string_view(line, static_cast<std::size_t>(n))), r.view) << r.report;
  }
}

TEST(report_view, titles_that_are_damaged_or_unknown_are_read_in_the_native_view) {
  struct row {
    const char* title;
    report_view view;
  };
  for (const row& r : {
           row{"Regshot 1.9.1 x86 Unicode (beta r321)\n", report_view::bits32},
           row{"Regshot 1.9.0 x86 ANSI\n", report_view::bits32},
           row{"Regshot 1.8.3\n", report_view::bits32},
           row{"Regshot 1.8\n", report_view::bits32},
           row{"?egshot 1.9.0 X64 Unicode\n", report_view::bits64},
           row{"Regshot 2.0.0 x64 Unicode\n", report_view::bits64},
           row{"Regshot 1.9.1 Unicode\n", report_view::native},  // says neither
           row{"Regshot 1.9.0 x86 x64\n", report_view::native},  // says both: no build writes that
           row{"Regshot 1.80\n", report_view::native},           // not 1.8
           row{"Regshot 1.9.1 x640\n", report_view::native},      // x64 only as a whole word
           row{"Regshot\n", report_view::native},
           row{"Files added: 1\n", report_view::native},
           row{"", report_view::native},
           row{"Comments: Regshot 1.8.2 x86 was used\n", report_view::native},  // not the title
       }) {
    EXPECT_EQ(report_view_of_title(r.title), r.view) << r.title;
  }
}

TEST(report_view, the_access_mask_reads_the_reports_view_on_64_bit_windows_only) {
  EXPECT_EQ(access_mask_for(report_view::bits32, true), 0x20219u);  // KEY_READ | KEY_WOW64_32KEY
  EXPECT_EQ(access_mask_for(report_view::bits64, true), 0x20119u);  // KEY_READ | KEY_WOW64_64KEY
  EXPECT_EQ(access_mask_for(report_view::native, true), 0x20119u) << "the native view of 64-bit Windows";
  for (report_view v : {report_view::bits32, report_view::bits64, report_view::native}) {
    EXPECT_EQ(access_mask_for(v, false), win::key_read) << "32-bit Windows redirects nothing";
    EXPECT_EQ(redirects_files(v, false), false);
  }
  EXPECT_TRUE(redirects_files(report_view::bits32, true));
  EXPECT_FALSE(redirects_files(report_view::bits64, true));
  EXPECT_FALSE(redirects_files(report_view::native, true));
}

TEST(report_view, a_32_bit_reports_system_folder_is_the_32_bit_one) {
  struct row {
    const char* path;
    const char* real;  // null: not redirected
  };
  for (const row& r : {
           row{"C:\\Windows\\System32\\vendorx.dll", "C:\\Windows\\SysWOW64\\vendorx.dll"},
           row{"c:\\windows\\system32\\VendorX\\x.dll", "C:\\Windows\\SysWOW64\\VendorX\\x.dll"},
           row{"C:\\Windows\\System32", "C:\\Windows\\SysWOW64"},
           row{"C:\\Windows\\System32\\drivers\\vx.sys", "C:\\Windows\\SysWOW64\\drivers\\vx.sys"},
           row{"C:\\Windows\\System32\\driversetc\\x", "C:\\Windows\\SysWOW64\\driversetc\\x"},
           row{"C:\\Windows\\Sysnative\\x.dll", "C:\\Windows\\System32\\x.dll"},
           row{"C:\\Windows\\lastgood\\system32\\x.dll", "C:\\Windows\\lastgood\\SysWOW64\\x.dll"},
           row{"C:\\WINDOWS\\regedit.exe", "C:\\Windows\\SysWOW64\\regedit.exe"},
           // The folders WOW64 leaves alone, in any case.
           row{"c:\\windows\\system32\\Drivers\\Etc\\hosts", nullptr},
           row{"C:\\Windows\\System32\\drivers\\etc", nullptr},
           row{"C:\\Windows\\System32\\catroot\\{F750E6C3}\\x.cat", nullptr},
           row{"C:\\Windows\\System32\\catroot2\\edb.log", nullptr},
           row{"C:\\Windows\\System32\\DriverStore\\FileRepository\\x.inf", nullptr},
           row{"C:\\Windows\\System32\\LogFiles\\x.log", nullptr},
           row{"C:\\Windows\\System32\\spool\\drivers\\x.dll", nullptr},
           // Elsewhere nothing is redirected: Program Files is not, for file access.
           row{"C:\\Program Files\\VendorX\\x.dll", nullptr},
           row{"C:\\Windows\\notepad.exe", nullptr},
           row{"C:\\Windows\\System320\\x.dll", nullptr},
           row{"C:\\Windows", nullptr},
           row{"C:\\WindowsApps\\System32\\x.dll", nullptr},
           row{"D:\\Windows\\System32\\x.dll", nullptr},
       }) {
    std::string out = "untouched";
    const bool redirected = redirected_path("C:\\Windows", r.path, out);
    EXPECT_EQ(redirected, r.real != nullptr) << r.path;
    EXPECT_EQ(out, r.real != nullptr ? r.real : "untouched") << r.path;
  }
  // The Windows folder is the system's, wherever it is.
  std::string out;
  EXPECT_TRUE(redirected_path("D:\\WINNT", "d:\\winnt\\System32\\x.dll", out));
  EXPECT_EQ(out, "D:\\WINNT\\SysWOW64\\x.dll");
  EXPECT_FALSE(redirected_path("D:\\WINNT", "C:\\Windows\\System32\\x.dll", out));
  EXPECT_FALSE(redirected_path("", "C:\\Windows\\System32\\x.dll", out)) << "no folder told: nothing is guessed";
}

TEST(report_view, notes_name_the_view_and_the_system_folder) {
  EXPECT_EQ(registry_view_note(report_view::bits32, true),
            "Report of a 32-bit Regshot: HKLM\\SOFTWARE is read as HKLM\\SOFTWARE\\WOW6432Node");
  EXPECT_EQ(files_view_note(report_view::bits32, true, "D:\\WINNT"),
            "Report of a 32-bit Regshot: D:\\WINNT\\System32 is read as D:\\WINNT\\SysWOW64");
  for (report_view v : {report_view::bits32, report_view::bits64, report_view::native}) {
    EXPECT_NE(registry_view_note(v, false).find("32-bit Windows"), std::string::npos);
    EXPECT_NE(files_view_note(v, false, "C:\\Windows").find("32-bit Windows"), std::string::npos);
  }
  EXPECT_NE(registry_view_note(report_view::native, true).find("native view"), std::string::npos);
  EXPECT_NE(files_view_note(report_view::native, true, "C:\\Windows").find("native view"), std::string::npos);
}

TEST(key_names, the_systems_names_become_the_names_regedit_takes) {
  struct row {
    const char* system;
    const char* regedit;  // null: no hive a .reg file can name
  };
  for (const row& r : {
           row{"\\REGISTRY\\MACHINE\\SOFTWARE\\WOW6432Node\\VendorX\\App",
               "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\VendorX\\App"},
           row{"\\REGISTRY\\Machine\\Software\\Wow6432Node\\VendorX", "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\VendorX"},
           row{"\\REGISTRY\\USER\\S-1-5-21-0-0-0-1000\\Software\\X", "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\X"},
           row{"\\registry\\user\\.DEFAULT", "HKEY_USERS\\.DEFAULT"},
           row{"\\REGISTRY\\MACHINE", "HKEY_LOCAL_MACHINE"},
           row{"\\REGISTRY\\MACHINEX\\Y", nullptr},
           row{"\\REGISTRY\\A\\{guid}\\Key", nullptr},  // a private application hive
           row{"\\REGISTRY\\WC\\Silo\\Key", nullptr},
           row{"HKEY_LOCAL_MACHINE\\X", nullptr},
           row{"", nullptr},
       }) {
    std::string out = "untouched";
    EXPECT_EQ(regedit_key_name(r.system, out), r.regedit != nullptr) << r.system;
    if (r.regedit != nullptr) EXPECT_EQ(out, r.regedit) << r.system;
  }
}

// Whole runs of one report over a 64-bit machine whose two views hold namesakes: the 32-bit left-overs (what
// a 32-bit install wrote) and a 64-bit product of the same vendor, which must never be touched.
class view_run_test : public run_fixture {
protected:
  void SetUp() override {
    run_fixture::SetUp();
    for (const char* view : {"HKLM\\Software\\Wow6432Node", "HKLM\\Software"}) {
      const std::string vendor = std::string(view) + "\\VendorX";
      machine_.set_value(vendor + "\\App", "Path", win::reg_sz, std::string("C:\\x\0", 5));
      machine_.set_value(vendor + "\\Other", "Added", win::reg_sz, std::string("x\0", 2));
      machine_.set_value(vendor + "\\Cfg", "Ver", win::reg_sz, std::string("2.0\0", 4));
    }
    machine_.keys["HKU\\S-1-5-21-0-0-0-1000\\Software\\VendorX"];  // HKCU\Software: one key for both views
    for (const char* f : {"C:\\Windows\\SysWOW64\\vendorx.dll", "C:\\Windows\\System32\\vendorx.dll",
                          "C:\\Windows\\System32\\drivers\\etc\\vendorx.hosts"}) {
      machine_.add_file(f);
    }
    machine_.add_folder("C:\\Windows\\SysWOW64\\VendorX");
    machine_.add_folder("C:\\Windows\\System32\\VendorX");
  }

  // The same entries under the title of the given build.
  void convert_as(const std::string& title) {
    const std::string d = "----------------------------------\r\n";
    write_file("report.txt",
               title + "\r\nComments: \r\n" + d + "Keys added: 2\r\n" + d +
                   "HKLM\\SOFTWARE\\VendorX\\App\r\nHKU\\S-1-5-21-0-0-0-1000\\Software\\VendorX\r\n\r\n" + d +
                   "Values added: 1\r\n" + d + "HKLM\\SOFTWARE\\VendorX\\Other\\Added: \"x\"\r\n\r\n" + d +
                   "Values modified: 1\r\n" + d +
                   "HKLM\\SOFTWARE\\VendorX\\Cfg\\Ver: \"1.0\"\r\nHKLM\\SOFTWARE\\VendorX\\Cfg\\Ver: \"2.0\"\r\n\r\n" + d +
                   "Folders added: 1\r\n" + d + "C:\\Windows\\System32\\VendorX\r\n\r\n" + d + "Files added: 2\r\n" + d +
                   "C:\\Windows\\System32\\vendorx.dll\r\nC:\\Windows\\System32\\drivers\\etc\\vendorx.hosts\r\n\r\n" +
                   d + "Total changes: 7\r\n" + d);
    ASSERT_EQ(convert(path("report.txt")).how, run_result::outcome::completed);
    EXPECT_EQ(machine_.open_key_count(), 0u);
  }
  std::string removal() const { return read_script(path("report.reg")); }
  std::string reset() const { return read_script(path("report_mods.reg")); }

  // The entry lines of each output, without the headers (checked apart).
  static std::string after(const std::string& text, const std::string& marker) {
    const std::size_t at = text.find(marker);
    return at == std::string::npos ? "(no " + marker + ")" : text.substr(at + marker.size());
  }
};

TEST_F(view_run_test, a_32_bit_report_names_the_32_bit_keys_and_files_and_says_so) {
  for (const char* title : {"Regshot 1.9.0 x86 ANSI", "Regshot 1.8.2"}) {
    machine_.open_accesses.clear();
    convert_as(title);
    for (std::uint32_t access : machine_.open_accesses) EXPECT_EQ(access, 0x20219u) << title;
    EXPECT_NE(removal().find("\n; Report of a 32-bit Regshot: HKLM\\SOFTWARE is read as HKLM\\SOFTWARE\\WOW6432Node\n\n"),
              std::string::npos);
    EXPECT_EQ(after(removal(), "removed...\n \n"),
              "[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\VendorX\\App]\n"
              "[-HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\VendorX]\n \n; Remove values added...\n \n"
              "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\VendorX\\Other]\n\"Added\"=-\n")
        << title;
    EXPECT_NE(reset().find("\n; Report of a 32-bit Regshot: HKLM\\SOFTWARE is read as HKLM\\SOFTWARE\\WOW6432Node\n\n"),
              std::string::npos);
    EXPECT_EQ(after(reset(), "modified...\n \n"), "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\VendorX\\Cfg]\n\"Ver\"=\"1.0\"\n")
        << title;
    EXPECT_NE(batch().find("REM Report of a 32-bit Regshot: C:\\Windows\\System32 is read as C:\\Windows\\SysWOW64\n"),
              std::string::npos);
    EXPECT_EQ(after(batch(), "set _nop=/Q\n"),
              "RMDIR /S %_nop% \"C:\\Windows\\SysWOW64\\VendorX\"\n"
              "DEL \"C:\\Windows\\SysWOW64\\vendorx.dll\"\n"
              "DEL \"C:\\Windows\\System32\\drivers\\etc\\vendorx.hosts\"\npause\n")
        << title;
  }
}

TEST_F(view_run_test, a_64_bit_report_names_the_64_bit_keys_and_files) {
  convert_as("Regshot 1.9.1 x64 Unicode (beta r321)");
  for (std::uint32_t access : machine_.open_accesses) EXPECT_EQ(access, 0x20119u);
  EXPECT_EQ(after(removal(), "removed...\n \n"),
            "[-HKEY_LOCAL_MACHINE\\Software\\VendorX\\App]\n"
            "[-HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\VendorX]\n \n; Remove values added...\n \n"
            "[HKEY_LOCAL_MACHINE\\Software\\VendorX\\Other]\n\"Added\"=-\n");
  EXPECT_EQ(after(reset(), "modified...\n \n"), "[HKEY_LOCAL_MACHINE\\Software\\VendorX\\Cfg]\n\"Ver\"=\"1.0\"\n");
  EXPECT_EQ(after(batch(), "set _nop=/Q\n"),
            "RMDIR /S %_nop% \"C:\\Windows\\System32\\VendorX\"\n"
            "DEL \"C:\\Windows\\System32\\vendorx.dll\"\n"
            "DEL \"C:\\Windows\\System32\\drivers\\etc\\vendorx.hosts\"\npause\n");
}

TEST_F(view_run_test, an_unknown_title_is_read_in_the_native_view_and_said_so) {
  convert_as("Regshot 1.9.0 Unicode");
  EXPECT_NE(removal().find("\n; The report does not say whether a 32-bit or a 64-bit Regshot wrote it: keys are read "
                           "in this system's native view\n\n"),
            std::string::npos);
  EXPECT_EQ(after(removal(), "removed...\n \n").rfind("[-HKEY_LOCAL_MACHINE\\Software\\VendorX\\App]\n", 0), 0u);
  EXPECT_NE(batch().find("DEL \"C:\\Windows\\System32\\vendorx.dll\"\n"), std::string::npos);
}

TEST_F(view_run_test, on_32_bit_windows_nothing_is_redirected) {
  machine_.windows_64 = false;
  machine_.redirected_32.clear();
  convert_as("Regshot 1.9.0 x86 ANSI");
  for (std::uint32_t access : machine_.open_accesses) EXPECT_EQ(access, win::key_read);
  EXPECT_EQ(after(removal(), "removed...\n \n").rfind("[-HKEY_LOCAL_MACHINE\\Software\\VendorX\\App]\n", 0), 0u);
  EXPECT_NE(batch().find("REM 32-bit Windows: nothing is redirected"), std::string::npos);
  EXPECT_NE(batch().find("DEL \"C:\\Windows\\System32\\vendorx.dll\"\n"), std::string::npos);
}

TEST_F(view_run_test, a_key_only_the_other_view_holds_gets_no_line) {
  machine_.keys.erase("HKLM\\Software\\Wow6432Node\\VendorX\\App");
  machine_.keys.erase("HKLM\\Software\\Wow6432Node\\VendorX\\Cfg");
  convert_as("Regshot 1.9.0 x86 ANSI");
  EXPECT_EQ(removal().find("VendorX\\App]"), std::string::npos) << "the 64-bit product's key is not the report's";
  EXPECT_EQ(reset().find("Cfg"), std::string::npos);
}

TEST_F(view_run_test, a_key_whose_full_name_cannot_be_read_gets_no_line_and_an_error_entry) {
  machine_.key_name_errors["HKLM\\Software\\Wow6432Node\\VendorX\\App"] = win::error_access_denied;
  machine_.key_names["HKLM\\Software\\Wow6432Node\\VendorX\\Cfg"] = "\\REGISTRY\\A\\{0F1E}\\VendorX\\Cfg";
  convert_as("Regshot 1.9.0 x86 ANSI");
  EXPECT_EQ(removal().find("VendorX\\App]"), std::string::npos);
  EXPECT_EQ(reset().find("Cfg"), std::string::npos);
  EXPECT_EQ(read_error_list(path("report_errors.txt")),
            "HKLM\\SOFTWARE\\VendorX\\App\nNo line was written for it: its full name cannot be read: Access is "
            "denied.\n"
            "HKLM\\SOFTWARE\\VendorX\\Cfg\\Ver: \"1.0\"\nNo line was written for it: its full name "
            "\\REGISTRY\\A\\{0F1E}\\VendorX\\Cfg lies in no hive that a .reg file can name\n");
  EXPECT_EQ(machine_.captions(), std::vector<std::string>{"Info"});
}

}  // namespace
}  // namespace resivex::testing
