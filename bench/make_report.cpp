// resivex-make-report: writes a large synthetic Regshot report for benchmarks and for trying the program on
// big inputs and, on request, what of it is left on the machine: the folders and files to create, and a
// registry file for regedit to import.
#include "bench/report_generator.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

const char usage_text[] =
    "Usage: resivex-make-report [options] OUT\n"
    "       resivex-make-report --version   (the generator's version: its reports change with it)\n"
    "  --state FILE      writes the existing folders (\"D path\") and files (\"F path\"), one a line\n"
    "  --state-reg FILE  writes the existing keys and values as a registry file for regedit\n";
const char usage_end[] =
    "Prints: entries, lines, bytes, and what a conversion must write: batch lines, removed keys, removed\n"
    "values, modified values (reset or commented).\n";

// A report key path with its hive named in full, as registry files need it.
std::string long_key(std::string_view key) {
  static constexpr std::pair<std::string_view, std::string_view> hives[] = {
      {"HKLM", "HKEY_LOCAL_MACHINE"}, {"HKU", "HKEY_USERS"}, {"HKCU", "HKEY_CURRENT_USER"},
      {"HKCR", "HKEY_CLASSES_ROOT"}, {"HKCC", "HKEY_CURRENT_CONFIG"}};
  const std::size_t end = std::min(key.find('\\'), key.size());
  for (const auto& [short_name, long_name] : hives) {
    if (key.substr(0, end) == short_name) return std::string(long_name) + std::string(key.substr(end));
  }
  return std::string(key);
}

// The value's line of a registry file: its name quoted and escaped ("@" for the default value) and data of
// its type.
std::string reg_value_line(std::string_view name, std::uint32_t type) {
  std::string line;
  if (name.empty()) {
    line = "@";
  } else {
    line = "\"";
    for (char c : name) {
      if (c == '\\' || c == '"') line += '\\';
      line += c;
    }
    line += '"';
  }
  switch (type) {
    case 1: return line + "=\"x\"";
    case 2: return line + "=hex(2):78,00";
    case 3: return line + "=hex:01,02";
    case 5: return line + "=hex(5):01,00,00,00";
    case 7: return line + "=hex(7):78,00,00";
    case 11: return line + "=hex(b):01,00,00,00,00,00,00,00";
    default: return line + "=dword:00000001";
  }
}

bool write_registry_state(const resivex::bench::report_plan& plan, unsigned exist_percent, const char* path) {
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    std::perror(path);
    return false;
  }
  std::fputs("Windows Registry Editor Version 5.00\r\n\r\n", out);
  resivex::bench::for_each_existing_registry(
      plan, exist_percent,
      {[&](std::string_view key) { std::fprintf(out, "[%s]\r\n\r\n", long_key(key).c_str()); },
       [&](std::string_view key, std::string_view name, std::uint32_t type) {
         std::fprintf(out, "[%s]\r\n%s\r\n\r\n", long_key(key).c_str(), reg_value_line(name, type).c_str());
       }});
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "%s: write failed\n", path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  resivex::bench::report_plan plan;
  unsigned exist_percent = 10;
  const char* state_path = nullptr;
  const char* state_reg_path = nullptr;
  const char* out_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help") {
      std::printf("%s%s%s", usage_text, resivex::bench::plan_options_help, usage_end);
      return 0;
    }
    if (opt == "--version") {  // tells a script whether reports it kept are still what it would write
      std::printf("%d\n", resivex::bench::generator_version);
      return 0;
    }
    if (opt.rfind("--", 0) != 0) {
      out_path = argv[i];
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "%s needs a value\n", opt.c_str());
      return 2;
    }
    const char* value = argv[++i];
    std::string error;
    if (opt == "--state") {
      state_path = value;
    } else if (opt == "--state-reg") {
      state_reg_path = value;
    } else if (!resivex::bench::set_plan_option(plan, exist_percent, opt, value, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 2;
    }
  }
  if (out_path == nullptr) {
    std::fprintf(stderr, "%s%s%s", usage_text, resivex::bench::plan_options_help, usage_end);
    return 2;
  }

  std::FILE* out = std::fopen(out_path, "wb");
  if (out == nullptr) {
    std::perror(out_path);
    return 1;
  }
  resivex::bench::report_totals totals;
  const bool written = resivex::bench::write_report(plan, out, &totals);
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "%s: write failed\n", out_path);
    return 1;
  }
  std::uint64_t batch_lines = resivex::bench::expected_batch_lines(plan, exist_percent);
  if (state_path != nullptr) {
    std::FILE* state = std::fopen(state_path, "wb");
    if (state == nullptr) {
      std::perror(state_path);
      return 1;
    }
    // On a disk a file cannot exist in a folder that does not.
    batch_lines = resivex::bench::for_each_on_disk(plan, exist_percent, [&](std::string_view path, bool folder) {
      std::fprintf(state, "%c %.*s\n", folder ? 'D' : 'F', static_cast<int>(path.size()), path.data());
    });
    if (std::fclose(state) != 0) {
      std::fprintf(stderr, "%s: write failed\n", state_path);
      return 1;
    }
  }
  if (state_reg_path != nullptr && !write_registry_state(plan, exist_percent, state_reg_path)) return 1;
  const resivex::bench::registry_expectation reg = resivex::bench::expected_registry(plan, exist_percent);
  std::printf("entries %" PRIu64 " lines %" PRIu64 " bytes %" PRIu64 " batch_lines %" PRIu64 " reg_keys %" PRIu64
              " reg_values %" PRIu64 " reg_modified %" PRIu64 "\n",
              totals.entries, totals.lines, totals.bytes, batch_lines, reg.keys, reg.values_added,
              reg.values_modified);
  return 0;
}
