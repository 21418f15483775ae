// See bench_cases.h.
#include "bench/bench_cases.h"

#include "conversion/convert.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <sys/stat.h>
#include <time.h>

namespace resivex::bench {

namespace {

std::uint64_t scaled(double scale, std::uint64_t n) {
  const auto v = static_cast<std::uint64_t>(static_cast<double>(n) * scale + 0.5);
  return v == 0 ? 1 : v;
}

bench_case files_case(const std::string& name, double scale, regshot_layout layout, unsigned exist) {
  bench_case c{name, {}, exist, target::whole_run};
  c.plan.layout = layout;
  c.plan.files_added = scaled(scale, 1000000);
  return c;
}

bench_case folders_case(const std::string& name, double scale, unsigned exist) {
  bench_case c{name, {}, exist, target::stored_folders};
  c.plan.folders_added = scaled(scale, 100000);
  c.plan.files_added = scaled(scale, 1000000);
  c.plan.files_inside_percent = 50;
  return c;
}

// 1,000,000 entry lines: 200,000 keys, 500,000 values and 150,000 modified pairs, some of them long or
// spanning lines.
bench_case registry_case(const std::string& name, double scale, regshot_layout layout) {
  bench_case c{name, {}, 10, target::registry};
  c.plan.layout = layout;
  c.plan.keys_added = scaled(scale, 200000);
  c.plan.values_added = scaled(scale, 500000);
  c.plan.values_modified = scaled(scale, 150000);
  c.plan.long_value_percent = 1;
  c.plan.multiline_percent = 1;
  return c;
}

std::string signature(const bench_case& c) {
  std::ostringstream s;
  const report_plan& p = c.plan;
  s << "generator " << generator_version << " layout " << static_cast<int>(p.layout) << " keys " << p.keys_added << " values "
    << p.values_added << " modified " << p.values_modified << " folders " << p.folders_added << " files "
    << p.files_added << " other " << p.other_entries << " inside " << p.files_inside_percent << " long "
    << p.long_value_percent << " multiline " << p.multiline_percent << " keys left " << p.keys_left << " root " << p.root << " seed " << p.seed;
  return s.str();
}

// Both clocks at once: the process's processor time (user and kernel) and the wall clock.
struct clocks {
  double cpu;
  double wall;
};

clocks now() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  return {static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9, wall};
}

timing since(const clocks& start) {
  const clocks end = now();
  return {end.cpu - start.cpu, end.wall - start.wall};
}

}  // namespace

std::vector<bench_case> timing_cases(double scale) {
  return {
      files_case("files, 1.9.1, 10% exist", scale, regshot_layout::v191, 10),
      files_case("files, 1.9.1, all exist", scale, regshot_layout::v191, 100),
      files_case("files, 1.8.2, 10% exist", scale, regshot_layout::v182, 10),
      folders_case("folders+files, 10% exist", scale, 10),
      folders_case("folders+files, all exist", scale, 100),
      registry_case("registry, 1.9.1", scale, regshot_layout::v191),
      registry_case("registry, 1.8.2", scale, regshot_layout::v182),
  };
}

std::string prepare_report(const bench_case& c, const std::string& dir, report_totals& totals) {
  // The signature's hash tells the reports apart.
  char name[32];
  std::snprintf(name, sizeof name, "r%016zx", std::hash<std::string>{}(signature(c)));
  const std::string report = dir + "/" + name + ".txt";
  const std::string sidecar = dir + "/" + name + ".plan";

  std::ifstream known(sidecar);
  std::string line;
  if (std::getline(known, line) && line == signature(c) && known >> totals.entries >> totals.lines >> totals.bytes) {
    struct stat st {};
    if (::stat(report.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) == totals.bytes) return report;
  }
  std::FILE* out = std::fopen(report.c_str(), "wb");
  if (out == nullptr) return {};
  const bool written = write_report(c.plan, out, &totals);
  if (std::fclose(out) != 0 || !written) return {};
  std::ofstream(sidecar) << signature(c) << "\n" << totals.entries << " " << totals.lines << " " << totals.bytes
                         << "\n";
  return report;
}

std::unique_ptr<bench_machine> make_machine(const bench_case& c) {
  auto m = std::make_unique<bench_machine>(c.exist_percent);
  for_each_existing_registry(c.plan, c.exist_percent,
                             {[&](std::string_view key) { m->add_key(key); },
                              [&](std::string_view key, std::string_view name, std::uint32_t type) {
                                m->add_value(key, name, type);
                              }});
  return m;
}

expectation expected_outputs(const bench_case& c) {
  return {expected_batch_lines(c.plan, c.exist_percent), expected_registry(c.plan, c.exist_percent)};
}

run_check recorded_conversion(bench_machine& m, const std::string& report, const expectation& expected,
                              recording_machine& log) {
  auto rs = std::make_unique<run_state>(log);
  const run_result result = convert_report(*rs, report.c_str(), nullptr);
  return check_conversion(m, result, report, expected);
}

timing timed_replay(bench_machine& m, const recording_machine& log, std::size_t& differ) {
  // The machine's counters belong to the conversions.
  const bench_machine::counters calls = m.calls;
  const clocks start = now();
  differ = log.replay(m);
  const timing seconds = since(start);
  m.calls = calls;
  return seconds;
}

timing timed_conversion(bench_machine& m, const std::string& report, run_result& result) {
  auto rs = std::make_unique<run_state>(m);
  const clocks start = now();
  result = convert_report(*rs, report.c_str(), nullptr);
  return since(start);
}

namespace {

bool starts(const std::string& line, std::string_view prefix) { return line.compare(0, prefix.size(), prefix) == 0; }

bool ends(const std::string& line, std::string_view suffix) {
  return line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string stem_of(const std::string& report) { return report.substr(0, report.rfind('.')); }

// What the three outputs hold, counted as the expectation counts it.
expectation count_outputs(const std::string& report) {
  expectation e;
  std::string line;
  std::ifstream bat(stem_of(report) + ".bat");
  while (std::getline(bat, line)) {
    if (starts(line, "DEL \"") || starts(line, "RMDIR /S %_nop% \"")) ++e.batch_lines;
  }
  std::ifstream removal(stem_of(report) + ".reg");
  while (std::getline(removal, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (starts(line, "[-HKEY_")) ++e.registry.keys;
    if (!starts(line, ";") && ends(line, "=-")) ++e.registry.values_added;
  }
  std::ifstream reset(stem_of(report) + "_mods.reg");
  while (std::getline(reset, line)) {
    if (starts(line, "[HKEY_") || starts(line, "; Not reset: ") || starts(line, "; Resivex does not process type")) {
      ++e.registry.values_modified;
    }
  }
  return e;
}

}  // namespace

run_check check_conversion(bench_machine& m, const run_result& result, const std::string& report,
                           const expectation& expected) {
  run_check check;
  check.written = count_outputs(report);
  const expectation& w = check.written;
  const registry_expectation& er = expected.registry;
  char why[512] = "";
  if (result.how != run_result::outcome::completed || result.write_failed) {
    std::snprintf(why, sizeof why, "the run did not complete");
  } else if (m.calls.boxes != 0) {
    std::snprintf(why, sizeof why, "%" PRIu64 " message box(es), first: %s", m.calls.boxes, m.first_box.c_str());
  } else if (m.calls.windows != 3) {
    std::snprintf(why, sizeof why, "%" PRIu64 " result windows instead of 3", m.calls.windows);
  } else if (m.open_handles() != 0) {
    std::snprintf(why, sizeof why, "%zu registry keys left open", m.open_handles());
  } else if (w.batch_lines != expected.batch_lines) {
    std::snprintf(why, sizeof why, "%" PRIu64 " batch lines instead of %" PRIu64, w.batch_lines,
                  expected.batch_lines);
  } else if (w.registry.keys != er.keys || w.registry.values_added != er.values_added ||
             w.registry.values_modified != er.values_modified) {
    std::snprintf(why, sizeof why,
                  "registry scripts: %" PRIu64 " keys, %" PRIu64 " added values, %" PRIu64
                  " modified values instead of %" PRIu64 ", %" PRIu64 ", %" PRIu64,
                  w.registry.keys, w.registry.values_added, w.registry.values_modified, er.keys, er.values_added,
                  er.values_modified);
  }
  check.problem = why;
  check.ok = check.problem.empty();
  check.calls = m.calls;
  m.calls = {};
  m.first_box.clear();
  return check;
}

void remove_outputs(const std::string& report) {
  const std::string stem = stem_of(report);
  for (const char* suffix : {".bat", ".reg", "_mods.reg", "_errors.txt"}) std::remove((stem + suffix).c_str());
}

std::vector<std::uint64_t> output_sizes(const std::string& report) {
  const std::string stem = stem_of(report);
  std::vector<std::uint64_t> sizes;
  for (const char* suffix : {".bat", ".reg", "_mods.reg", "_errors.txt"}) {
    std::error_code error;
    const auto size = std::filesystem::file_size(stem + suffix, error);
    sizes.push_back(error ? 0 : static_cast<std::uint64_t>(size));
  }
  return sizes;
}

namespace {

std::string write_yardstick_name(const std::string& report, std::size_t k) {
  return stem_of(report) + ".yardstick" + std::to_string(k);
}

}  // namespace

timing timed_writes(const std::string& report, const std::vector<std::uint64_t>& sizes) {
  static const std::vector<char> block(64 * 1024, 'x');
  const clocks start = now();
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    if (sizes[k] == 0) continue;
    std::FILE* f = std::fopen(write_yardstick_name(report, k).c_str(), "w");
    if (f == nullptr) return {};
    for (std::uint64_t left = sizes[k]; left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
      if (std::fwrite(block.data(), 1, n, f) != n) break;
      left -= n;
    }
    std::fclose(f);
  }
  return since(start);
}

void remove_write_yardsticks(const std::string& report) {
  for (std::size_t k = 0; k < 4; ++k) std::remove(write_yardstick_name(report, k).c_str());
}

timing timed_bare_pass(const std::string& report, std::uint64_t& lines) {
  const clocks start = now();
  lines = 0;
  std::FILE* f = std::fopen(report.c_str(), "rb");
  if (f == nullptr) return {};
  char buf[8192];
  while (std::fgets(buf, sizeof buf, f) != nullptr) ++lines;
  std::fclose(f);
  return since(start);
}

namespace {

enum class probe_section { other, files, keys, values, modified };

// The root key of a line that starts with a hive name and a backslash; 0 for any other line.
win::reg_key root_of(const char* line, std::size_t& sub_key_start) {
  static constexpr std::pair<const char*, win::reg_key> hives[] = {
      {"HKLM\\", win::hkey_local_machine}, {"HKU\\", win::hkey_users},
      {"HKEY_LOCAL_MACHINE\\", win::hkey_local_machine}, {"HKEY_USERS\\", win::hkey_users},
      {"HKCU\\", win::hkey_current_user}, {"HKEY_CURRENT_USER\\", win::hkey_current_user}};
  for (const auto& [name, root] : hives) {
    const std::size_t n = std::strlen(name);
    if (std::strncmp(line, name, n) == 0) {
      sub_key_start = n;
      return root;
    }
  }
  return 0;
}

// One value entry as a plain reading asks for it: its key opened, the name after the last backslash before
// the last ": " queried, the key closed.
bool probe_value(bench_machine& m, char* line, win::reg_key root, std::size_t start) {
  char* sep = nullptr;
  for (char* p = line + start; (p = std::strchr(p, ':')) != nullptr; ++p) {
    if (p[1] == ' ' || p[1] == '\0') sep = p;
  }
  if (sep == nullptr) return false;
  *sep = '\0';
  char* name = std::strrchr(line + start, '\\');
  if (name == nullptr) return false;
  *name = '\0';
  win::reg_key key = 0;
  if (m.reg_open_key(root, line + start, win::key_read, &key) != 0) return false;
  static unsigned char data[8192];
  std::uint32_t type = 0, size = sizeof data;
  const long status = m.reg_query_value(key, name + 1, &type, data, &size);
  m.reg_close_key(key);
  return status == 0 || status == win::error_more_data;
}

}  // namespace

timing timed_probe_pass(bench_machine& m, const std::string& report, std::uint64_t& found) {
  // The machine's counters belong to the conversions.
  const bench_machine::counters calls = m.calls;
  const clocks start = now();
  found = 0;
  std::FILE* f = std::fopen(report.c_str(), "rb");
  if (f == nullptr) return {};
  char buf[8192];
  probe_section in = probe_section::other;
  std::uint64_t entries_in_section = 0;
  while (std::fgets(buf, sizeof buf, f) != nullptr) {
    if (buf[0] >= 'A' && buf[0] <= 'Z' && std::strchr(buf, ':') != nullptr && std::strchr(buf, '\\') == nullptr) {
      // A section title, or a heading line (every entry names a path).
      in = std::strncmp(buf, "Files added:", 12) == 0 || std::strncmp(buf, "Folders added:", 14) == 0
               ? probe_section::files
           : std::strncmp(buf, "Keys added:", 11) == 0       ? probe_section::keys
           : std::strncmp(buf, "Values added:", 13) == 0     ? probe_section::values
           : std::strncmp(buf, "Values modified:", 16) == 0  ? probe_section::modified
                                                             : probe_section::other;
      entries_in_section = 0;
      continue;
    }
    if (in == probe_section::other) continue;
    if (in == probe_section::files) {
      if (buf[0] == '\0' || buf[1] != ':') continue;  // 1.9.1's attribute lines
      buf[std::strcspn(buf, "\t\r\n")] = '\0';
      if (m.file_attributes(buf) != win::invalid_file_attributes && m.file_status(buf) == 0) ++found;
      continue;
    }
    std::size_t sub_key = 0;
    const win::reg_key root = root_of(buf, sub_key);
    if (root == 0) continue;  // a blank line, or the rest of an entry
    if (in == probe_section::modified && entries_in_section++ % 2 == 1) continue;  // the new line of a pair
    buf[std::strcspn(buf, "\r\n")] = '\0';
    if (in == probe_section::keys) {
      win::reg_key key = 0;
      if (m.reg_open_key(root, buf + sub_key, win::key_read, &key) == 0) {
        ++found;
        m.reg_close_key(key);
      }
    } else if (probe_value(m, buf, root, sub_key)) {
      ++found;
    }
  }
  std::fclose(f);
  const timing seconds = since(start);
  m.calls = calls;
  return seconds;
}

}  // namespace resivex::bench
