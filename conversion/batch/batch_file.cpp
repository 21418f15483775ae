// See batch_file.h.
#include "conversion/batch/batch_file.h"

#include <cerrno>
#include <string>

namespace resivex {

namespace {

bool is_ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// cmd reads a batch file in the console's OEM code page: convert the ANSI text so that cmd reads the same
// characters. False when the OEM code page cannot express it exactly.
bool to_oem(run_state& rs, std::string_view ansi, std::string& oem) {
  if (is_ascii(ansi)) {
    oem.assign(ansi);
    return true;
  }
  return rs.sys->oem_from_ansi(ansi, oem);
}

// cmd expands %name% inside double quotes too: every "%" of a path is written "%%".
std::string double_percent(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

void write_header(run_state& rs, bool dir_form) {
  // The batch file's own name appears in comment lines; written as cmd will read it.
  std::string name;
  if (!to_oem(rs, view_of(rs.bat_name), name)) name.assign(view_of(rs.bat_name));
  name = double_percent(name);
  rs.batch.write("echo off\n");
  rs.batch.write("color F0\n");
  rs.batch.write("REM The following files still exist...\n");
  if (dir_form) {
    // As a comment: otherwise cmd would run the words (and the report folder's "&" or "|") as a command.
    rs.batch.write("REM The following DIR commands are in file " + name + " \n\n");
  } else {
    rs.batch.write("REM The following DEL commands are in file " + name + " \n");
    rs.batch.write("REM The files will be DELETED if you execute file " + name + " \n\n");
  }
  rs.batch.write("cls\n");
  rs.batch.write("echo.\n");
  rs.batch.write("set _ok=\n");
  rs.batch.write("set /p _ok=Do you really want to DELETE these files? (Y/N) :\n");
  rs.batch.write("if /I NOT \"%_ok%\" == \"Y\" EXIT\n");
}

void write_folder_prompt(run_state& rs) {
  rs.batch.write("set _nop=\n");
  rs.batch.write("set _ok=\n");
  rs.batch.write("set /p _ok=Remove prompt to delete folders? (Y/N) :\n");
  rs.batch.write("if /I \"%_ok%\" == \"Y\" set _nop=/Q\n");
}

}  // namespace

bool entry_exists(run_state& rs, const char* path) {
  if (rs.sys->file_attributes(path) == win::invalid_file_attributes) return false;
  return rs.sys->file_status(path) != ENOENT;
}

bool batch_path_is_safe(std::string_view path) {
  if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
  const char drive = path[0];
  if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) return false;
  std::size_t component_start = 3;
  for (std::size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      const std::string_view component = path.substr(component_start, i - component_start);
      if (component.empty() || component == "." || component == "..") return false;
      if (component.back() == '.' || component.back() == ' ') return false;
      component_start = i + 1;
      continue;
    }
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|' || c == '*' || c == '?' || c == '/' || c == ':') {
      return false;
    }
  }
  return true;
}

std::string_view entry_path_of(std::string_view line, std::size_t start) {
  if (start > line.size()) return {};
  line.remove_prefix(start);
  return line.substr(0, line.find_first_of("\t\n"));
}

int write_batch_entry(run_state& rs, std::string_view path) {
  // A path cut to fit, or one that could name something else, gets no line.
  if (path.size() > entry_path_capacity || !batch_path_is_safe(path)) return 0;
  copy_text(rs.out_line, path);
  if (!entry_exists(rs, rs.out_line)) return 0;
  std::string oem;
  if (!to_oem(rs, path, oem)) return 0;  // a substituted "?" would be a wildcard for DEL

  std::string line(view_of(rs.mode_word));
  line += " \"";
  line += double_percent(oem);
  line += '"';
  // A line is a DIR line when the second letter of its verb is "I".
  const bool dir_line = line.size() > 1 && (line[1] == 'I' || line[1] == 'i');
  if (dir_line) line += "   ";
  line += '\n';
  if (!copy_text(rs.work_line, line)) {  // the line could not be written whole
    clear_text(rs.work_line);
    return 0;
  }
  if (rs.bat_stage == 0) {
    write_header(rs, line[1] == 'I');
    rs.bat_stage = 1;
  }
  if (rs.bat_stage == 1 && line.find("_nop") != std::string::npos) {
    write_folder_prompt(rs);
    rs.bat_stage = 2;
  }
  rs.batch.write(view_of(rs.work_line));
  clear_text(rs.work_line);
  ++rs.bat_lines;
  return 1;
}

}  // namespace resivex
