// Fuzz target over a whole conversion: the input is the report's bytes. Besides "no crash", every run must
// keep the promises the scripts rest on: each batch line is a fixed line or a command for a path that the
// report names and that exists, and nothing is written but the run's own outputs.
#include "conversion/batch/batch_file.h"
#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "tests/fuzz/fuzz_machine.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace resivex;

[[noreturn]] void violated(const char* what, const std::string& detail) {
  std::fprintf(stderr, "property violated: %s: %s\n", what, detail.c_str());
  std::abort();
}

const std::string& scratch_folder() {
  static const std::string folder = [] {
    char templ[] = "/dev/shm/resivex-fuzz-XXXXXX";
    if (::mkdtemp(templ) == nullptr) {
      char fallback[] = "/tmp/resivex-fuzz-XXXXXX";
      return std::string(::mkdtemp(fallback));
    }
    return std::string(templ);
  }();
  return folder;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string without_line_ends(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') continue;
    if ((text[i] == '\0') && i > 0 && (text[i - 1] == '\r' || text[i - 1] == '\n')) continue;
    out += text[i];
  }
  return out;
}

std::string widened(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

bool report_names(const std::string& report, const std::string& flat, const std::string& path) {
  const std::string wide = widened(path);
  return report.find(path) != std::string::npos || flat.find(path) != std::string::npos ||
         report.find(wide) != std::string::npos || flat.find(wide) != std::string::npos;
}

std::string doubled_percent(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

void check_batch(const std::string& batch, const std::string& bat_name, const std::string& mode,
                 const std::string& report) {
  const std::string name = doubled_percent(bat_name);
  const std::set<std::string> fixed = {
      "echo off", "color F0", "REM The following files still exist...",
      "REM The following DEL commands are in file " + name + " ",
      "REM The files will be DELETED if you execute file " + name + " ",
      "REM The following DIR commands are in file " + name + " ", "", "cls", "echo.", "set _ok=",
      "set /p _ok=Do you really want to DELETE these files? (Y/N) :", "if /I NOT \"%_ok%\" == \"Y\" EXIT",
      "set _nop=", "set /p _ok=Remove prompt to delete folders? (Y/N) :", "if /I \"%_ok%\" == \"Y\" set _nop=/Q",
      "REM There are no files to delete.", "pause"};
  const std::string flat = without_line_ends(report);
  const bool dir_mode = mode.size() > 1 && mode[1] == 'I';
  for (const std::string& line : lines_of(batch)) {
    if (fixed.count(line) != 0) continue;
    std::string rest;
    if (line.rfind("RMDIR /S %_nop% \"", 0) == 0 && !dir_mode) {
      rest = line.substr(17);
    } else if (line.rfind(mode + " \"", 0) == 0) {
      rest = line.substr(mode.size() + 2);
    } else {
      violated("batch line with an unknown verb", line);
    }
    const std::string tail = dir_mode ? "\"   " : "\"";
    if (rest.size() < tail.size() || rest.compare(rest.size() - tail.size(), tail.size(), tail) != 0) {
      violated("batch line does not end with its closing quote", line);
    }
    rest.resize(rest.size() - tail.size());
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == '"') violated("quote inside a batch path", line);
      if (rest[i] == '%') {
        if (i + 1 >= rest.size() || rest[i + 1] != '%') violated("single percent sign in a batch path", line);
        ++i;
      }
      path += rest[i];
    }
    if (!batch_path_is_safe(path)) violated("unsafe batch path", line);
    if (!fuzzing::fuzz_machine::path_exists(path)) violated("batch line for a path that does not exist", line);
    if (!report_names(report, flat, path)) violated("batch line for a path the report does not name", line);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder = scratch_folder();
  const std::string report_path = folder + "/report.txt";
  const std::string report(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(report_path, std::ios::binary | std::ios::trunc);
    out << report;
  }
  for (const char* name : {"/report.bat", "/report.reg", "/report_mods.reg", "/report_errors.txt"}) {
    std::remove((folder + name).c_str());
  }
  const std::string program = folder + "/resivex.exe";
  const char* word = size % 2 == 0 ? "DEL" : "dir";
  const char* argv[] = {program.c_str(), report_path.c_str(), word};

  fuzzing::fuzz_machine machine;
  auto rs = std::make_unique<run_state>(machine);
  if (process_command_line(*rs, 3, argv) <= 0) violated("command line refused", report_path);
  const std::string mode = rs->mode_word;
  const run_result result = convert_report(*rs, rs->startup_report, nullptr);

  const std::set<std::string> outputs = {folder + "/report.bat", folder + "/report.reg",
                                         folder + "/report_mods.reg", folder + "/report_errors.txt"};
  for (const std::string& written : machine.opened_for_writing) {
    if (outputs.count(written) == 0) violated("wrote a file that is no output of the run", written);
  }
  if (mode != rs->mode_word) violated("listing word changed by the run", rs->mode_word);
  if (result.how == run_result::outcome::completed) {
    check_batch(read_all(folder + "/report.bat"), folder + "/report.bat", mode, report);
  }
  if (read_all(report_path) != report) violated("the report was changed", report_path);
  return 0;
}
