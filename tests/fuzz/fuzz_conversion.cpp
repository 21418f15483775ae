// Fuzz target over a whole conversion: the input is the report's bytes. Besides "no crash", every run must
// keep the promises the scripts rest on (script_checks.h), write nothing but its own outputs, and leave the
// report as it was.
#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "tests/fuzz/fuzz_machine.h"
#include "tests/fuzz/script_checks.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using namespace resivex;

[[noreturn]] void violated(const char* what, const std::string& detail) {
  std::fprintf(stderr, "property violated: %s: %s\n", what, detail.c_str());
  std::abort();
}

// Findings in code that another change is finishing, kept in tests/fuzz/pending/ until it is fixed. They are
// told once per process instead of ending the run, so that fuzzing goes on to find others meanwhile; each
// goes from this list when its fix lands (and its input to regressions/).
const std::initializer_list<const char*> pending_findings = {};

void check(const char* output, const std::string& failure) {
  if (failure.empty()) return;
  // RESIVEX_FUZZ_STRICT=1 makes them fatal again: to see whether a fix holds.
  static const bool strict = std::getenv("RESIVEX_FUZZ_STRICT") != nullptr;
  for (const char* pending : pending_findings) {
    if (!strict && failure.rfind(pending, 0) == 0) {
      static std::set<std::string> told;
      if (told.insert(pending).second) std::fprintf(stderr, "pending finding (not fatal): %s\n", failure.c_str());
      return;
    }
  }
  violated(output, failure);
}

std::set<std::string> folder_entries(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(d);
  }
  return names;
}

void empty_folder(const std::string& folder) {
  for (const std::string& name : folder_entries(folder)) std::remove((folder + "/" + name).c_str());
}

// One folder per process, removed when the process ends normally (a crash leaves it for the post-mortem).
// Its name is kept in static storage that outlives every other static, since the removal runs at exit.
char scratch_name[64] = "";

const std::string& scratch_folder() {
  static const std::string folder = [] {
    std::snprintf(scratch_name, sizeof scratch_name, "/dev/shm/resivex-fuzz-XXXXXX");
    if (::mkdtemp(scratch_name) == nullptr) {
      std::snprintf(scratch_name, sizeof scratch_name, "/tmp/resivex-fuzz-XXXXXX");
      if (::mkdtemp(scratch_name) == nullptr) violated("no scratch folder", scratch_name);
    }
    std::atexit([] {
      empty_folder(scratch_name);
      ::rmdir(scratch_name);
    });
    return std::string(scratch_name);
  }();
  return folder;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const checks::machine_oracle oracle{
    [](const std::string& path) { return fuzzing::fuzz_machine::path_exists(path); },
    [](win::reg_key root, std::string_view sub_key) { return fuzzing::fuzz_machine::key_status(root, sub_key) == 0; },
    [](win::reg_key root, std::string_view sub_key, std::string_view name) {
      return fuzzing::fuzz_machine::value_exists(root, sub_key, name);
    }};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder = scratch_folder();
  const std::string report_path = folder + "/report.txt";
  const std::string report(reinterpret_cast<const char*>(data), size);
  empty_folder(folder);
  {
    std::ofstream out(report_path, std::ios::binary | std::ios::trunc);
    out << report;
  }
  const std::string program = folder + "/resivex.exe";
  // The listing word and the system's version follow from the input, so both forms of each are fuzzed.
  const char* word = size % 2 == 0 ? "DEL" : "dir";
  const char* argv[] = {program.c_str(), report_path.c_str(), word};

  fuzzing::fuzz_machine machine;
  machine.major_version = size % 4 < 2 ? 10 : 5;
  auto rs = std::make_unique<run_state>(machine);
  if (process_command_line(*rs, 3, argv) <= 0) violated("command line refused", report_path);
  const std::string mode = rs->mode_word;
  const run_result result = convert_report(*rs, rs->startup_report.c_str(), nullptr);

  const std::set<std::string> outputs = {"report.bat", "report.reg", "report_mods.reg", "report_errors.txt"};
  for (const std::string& written : machine.opened_for_writing) {
    if (written.rfind(folder + "/", 0) != 0 || outputs.count(written.substr(folder.size() + 1)) == 0) {
      violated("wrote a file that is no output of the run", written);
    }
  }
  for (const std::string& name : folder_entries(folder)) {
    if (name != "report.txt" && outputs.count(name) == 0) violated("a file that is no output appeared", name);
  }
  if (std::getenv("RESIVEX_FUZZ_SHOW") != nullptr) {  // for looking into a finding: every output as written
    for (const std::string& name : outputs) {
      std::fprintf(stderr, "=== %s\n%s", name.c_str(), read_all(folder + "/" + name).c_str());
    }
  }
  if (mode != rs->mode_word) violated("listing word changed by the run", rs->mode_word);
  if (machine.open_key_count() != 0) violated("registry keys left open", std::to_string(machine.open_key_count()));
  if (result.how == run_result::outcome::completed) {
    const checks::report_text text(report);
    check("batch file", checks::check_batch(read_all(folder + "/report.bat"), folder + "/report.bat", mode, text,
                                            oracle));
    check("removal script", checks::check_reg_script(read_all(folder + "/report.reg"), true, text, oracle));
    check("reset script", checks::check_reg_script(read_all(folder + "/report_mods.reg"), false, text, oracle));
  }
  if (read_all(report_path) != report) violated("the report was changed", report_path);
  return 0;
}
