// A fixture that runs whole conversions over the fake machine in a scratch folder.
#pragma once

#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "tests/unit/fake_machine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace resivex::testing {

class run_fixture : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // The scratch folder's path joined with name.
  std::string path(const std::string& name) const;
  // Writes a file into the scratch folder; returns its path.
  std::string write_file(const std::string& name, const std::string& bytes) const;
  std::string read_file(const std::string& full_path) const;
  // A registry script in UTF-8 with "\n" line ends: regedit's own form (a UTF-16LE byte-order mark, then
  // UTF-16LE with CR LF at every line end; anything else fails the test), or a REGEDIT4 script in the fake
  // machine's ANSI code page (Latin-1).
  std::string read_script(const std::string& full_path) const;
  // The error list's text after its UTF-8 byte-order mark (a missing mark fails the test); empty when the
  // file is missing.
  std::string read_error_list(const std::string& full_path) const;
  bool exists(const std::string& full_path) const;
  // Writes the report (with Regshot's two heading lines in front) and converts it.
  run_result convert_text(const std::string& body, const std::string& name = "report.txt");
  // The same as a Unicode build of Regshot writes it: UTF-16LE (the body given in UTF-8).
  run_result convert_unicode(const std::string& body, const std::string& name = "report.txt");
  run_result convert(const std::string& report_path);
  // The batch file of the last conversion of report.txt.
  std::string batch() const { return read_file(path("report.bat")); }

  fake_machine machine_;
  std::unique_ptr<run_state> rs_;
  std::filesystem::path dir_;
};

// A text of the fake machine's ANSI code page (Latin-1), as the program holds it (UTF-8): the names of an ANSI
// report's entries as the machine knows them.
std::string from_ansi(std::string_view latin1);

// Regshot's first lines, as a report begins.
inline const std::string report_heading = "Regshot 1.9.1 x64 ANSI (beta r321)\r\nComments: \r\n";

// The comment lines that name the view of the report_heading's 64-bit Regshot, in the batch file's header and
// the registry scripts'.
inline constexpr const char* x64_files_note = "REM Report of a 64-bit Regshot: paths are read as the report names them\n";
inline constexpr const char* x64_keys_note = "; Report of a 64-bit Regshot: keys are read in the 64-bit view of the registry\n";

// The header of the batch file in DEL form for a batch file at bat_path.
std::string del_header(const std::string& bat_path);
std::string dir_header(const std::string& bat_path);
inline const std::string folder_prompt =
    "set _nop=\nset _ok=\nset /p _ok=Remove prompt to delete folders? (Y/N) :\nif /I \"%_ok%\" == \"Y\" set _nop=/Q\n";

}  // namespace resivex::testing
