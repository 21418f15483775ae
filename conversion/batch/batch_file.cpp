// See batch_file.h.
#include "conversion/batch/batch_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
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

namespace {

// Characters that never stand in a batch-safe path: control characters, quotes, redirections, wildcards,
// the forward slash and the stream colon.
constexpr std::array<bool, 256> forbidden_in_path = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[static_cast<std::size_t>(c)] = true;
  for (const char c : {'"', '<', '>', '|', '*', '?', '/', ':'}) t[static_cast<unsigned char>(c)] = true;
  return t;
}();

}  // namespace

bool batch_path_is_safe(std::string_view path) {
  if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
  const char drive = path[0];
  if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) return false;
  // A component ends at a backslash or at the end: it must not be empty, nor end in a dot or a blank
  // (which also rules out "." and "..").
  auto component_ends_well = [&](std::size_t start, std::size_t end) {
    return end > start && path[end - 1] != '.' && path[end - 1] != ' ';
  };
  std::size_t component_start = 3;
  for (std::size_t i = 3; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '\\') {
      if (!component_ends_well(component_start, i)) return false;
      component_start = i + 1;
    } else if (forbidden_in_path[static_cast<unsigned char>(c)]) {
      return false;
    }
  }
  return component_ends_well(component_start, path.size());
}

std::string_view entry_path_of(std::string_view line, std::size_t start) {
  if (start > line.size()) return {};
  line.remove_prefix(start);
  std::size_t end = 0;
  while (end < line.size() && line[end] != '\t' && line[end] != '\n') ++end;
  return line.substr(0, end);
}

int write_batch_entry(run_state& rs, std::string_view path) {
  // A path cut to fit, or one that could name something else, gets no line.
  if (path.size() > entry_path_capacity || !batch_path_is_safe(path)) return 0;
  copy_text(rs.out_line, path);
  if (!entry_exists(rs, rs.out_line)) return 0;
  std::string converted;
  std::string_view oem = path;
  if (!is_ascii(path)) {
    if (!rs.sys->oem_from_ansi(path, converted)) return 0;  // a substituted "?" would be a wildcard for DEL
    oem = converted;
  }

  // The line is composed in work_line: verb, blank, the path in quotes with every "%" doubled, three blanks
  // in a DIR line, the line end.
  const std::string_view verb = view_of(rs.mode_word);
  std::size_t percents = 0;
  for (char c : oem) percents += c == '%';
  const char second = verb.size() > 1 ? verb[1] : verb.size() == 1 ? ' ' : '"';
  // A line is a DIR line when the second letter of its verb is "I".
  const bool dir_line = second == 'I' || second == 'i';
  const std::size_t length = verb.size() + 2 + oem.size() + percents + 1 + (dir_line ? 3 : 0) + 1;
  if (length >= work_line_capacity) {  // the line could not be written whole
    clear_text(rs.work_line);
    return 0;
  }
  char* out = rs.work_line;
  std::memcpy(out, verb.data(), verb.size());
  out += verb.size();
  *out++ = ' ';
  *out++ = '"';
  for (char c : oem) {
    *out++ = c;
    if (c == '%') *out++ = '%';
  }
  *out++ = '"';
  if (dir_line) out = std::copy_n("   ", 3, out);
  *out++ = '\n';
  *out = '\0';
  const std::string_view line(rs.work_line, length);

  if (rs.bat_stage == 0) {
    write_header(rs, second == 'I');
    rs.bat_stage = 1;
  }
  if (rs.bat_stage == 1 && line.find("_nop") != std::string_view::npos) {
    write_folder_prompt(rs);
    rs.bat_stage = 2;
  }
  if (!rs.bat_expansion_off && path.find('!') != std::string_view::npos) {
    // Where delayed expansion is on (cmd /V:ON, or DelayedExpansion in the registry), cmd would read "!x!"
    // in the path as a variable, quotes or not, and the line would name another item.
    rs.batch.write("setlocal DisableDelayedExpansion\n");
    rs.bat_expansion_off = true;
  }
  rs.batch.write(line);
  std::memset(rs.work_line, 0, length);  // only these bytes were written: the buffer is all zeros again
  ++rs.bat_lines;
  return 1;
}

}  // namespace resivex
