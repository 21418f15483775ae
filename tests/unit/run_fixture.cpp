#include "tests/unit/run_fixture.h"

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

bool run_fixture::exists(const std::string& full_path) const { return std::filesystem::exists(full_path); }

run_result run_fixture::convert_text(const std::string& body, const std::string& name) {
  return convert(write_file(name, report_heading + body));
}

run_result run_fixture::convert(const std::string& report_path) {
  return convert_report(*rs_, report_path.c_str(), reinterpret_cast<window_handle>(0x1234));
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
