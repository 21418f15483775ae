#include "tests/unit/run_fixture.h"

#include "conversion/unicode.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace resivex::testing {

void run_fixture::SetUp() {
  char templ[] = "/tmp/resivex-test-XXXXXX";
  ASSERT_NE(::mkdtemp(templ), nullptr);
  dir_ = templ;
  rs_ = std::make_unique<run_state>(machine_);
  const std::string program = path("resivex.exe");
  const char* argv[] = {program.c_str()};
  process_command_line(*rs_, 1, argv);
}

void run_fixture::TearDown() {
  rs_.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string run_fixture::path(const std::string& name) const { return (dir_ / name).string(); }

std::string run_fixture::write_file(const std::string& name, const std::string& bytes) const {
  const std::string p = path(name);
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  return p;
}

std::string run_fixture::read_file(const std::string& full_path) const {
  std::ifstream in(full_path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string run_fixture::read_script(const std::string& full_path) const {
  const std::string bytes = read_file(full_path);
  std::string text;
  if (bytes.substr(0, 2) != "\xFF\xFE") {
    std::u16string latin1;
    for (const char c : bytes) latin1 += static_cast<char16_t>(static_cast<unsigned char>(c));
    utf8_from_utf16(latin1, text);
    EXPECT_EQ(text.substr(0, 8), "REGEDIT4") << full_path << ": not in regedit's UTF-16 form";
    return text;
  }
  EXPECT_EQ(bytes.size() % 2, 0u) << full_path << ": half a UTF-16 unit";
  std::u16string wide;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  EXPECT_TRUE(utf8_from_utf16(wide, text)) << full_path << ": a lone surrogate";
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ADD_FAILURE() << full_path << ": a line end without CR";
    lines += text[i];
  }
  return lines;
}

std::string run_fixture::read_error_list(const std::string& full_path) const {
  if (!exists(full_path)) return {};
  const std::string bytes = read_file(full_path);
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << full_path << ": no UTF-8 byte-order mark";
  return bytes.substr(std::min<std::size_t>(3, bytes.size()));
}

bool run_fixture::exists(const std::string& full_path) const { return std::filesystem::exists(full_path); }

run_result run_fixture::convert_text(const std::string& body, const std::string& name) {
  return convert(write_file(name, report_heading + body));
}

run_result run_fixture::convert_unicode(const std::string& body, const std::string& name) {
  std::u16string text;
  utf16_from_utf8("Regshot 1.9.1 x64 Unicode (beta r321)\r\nComments: \r\n" + body, text);
  std::string bytes;
  for (const char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return convert(write_file(name, bytes));
}

run_result run_fixture::convert(const std::string& report_path) {
  return convert_report(*rs_, report_path.c_str(), reinterpret_cast<window_handle>(0x1234));
}

std::string from_ansi(std::string_view latin1) {
  std::u16string wide;
  for (const char c : latin1) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  std::string out;
  utf8_from_utf16(wide, out);
  return out;
}

std::string del_header(const std::string& bat_path) {
  return "echo off\ncolor F0\nREM The following files still exist...\n" + std::string(x64_files_note) +
         "REM The following DEL commands are in file " + bat_path + " \n"
         "REM The files will be DELETED if you execute file " + bat_path + " \n\n"
         "cls\necho.\nset _ok=\nset /p _ok=Do you really want to DELETE these files? (Y/N) :\n"
         "if /I NOT \"%_ok%\" == \"Y\" EXIT\n";
}

std::string dir_header(const std::string& bat_path) {
  return "echo off\ncolor F0\nREM The following files still exist...\n" + std::string(x64_files_note) +
         "REM The following DIR commands are in file " + bat_path + " \n\n"
         "cls\necho.\nset _ok=\nset /p _ok=Do you really want to DELETE these files? (Y/N) :\n"
         "if /I NOT \"%_ok%\" == \"Y\" EXIT\n";
}

}  // namespace resivex::testing
