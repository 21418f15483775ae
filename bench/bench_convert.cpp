// resivex-bench: where the time of a native conversion goes, over the benchmark machine (bench_machine.h),
// for the reports described on the command line. A record, not a test: it prints figures and judges none.
//
// Each repetition times, in turning order so that all see the same machine load: the bare read of the report
// (fgets into 8192 bytes, nothing else), the whole conversion (convert_report, as the console companion runs
// it), the machine calls of one conversion made again with nothing else ("calls s", written down once by
// call_log.h), and writing as many bytes as the conversion's outputs hold beside the report ("writes s").
// The figures are medians of processor time (user and kernel: the report comes from the page cache, so the
// work is processor work, which other programs on a shared machine do not stretch as they do the wall clock).
// Every conversion is checked before its time counts: it completed, showed no message, opened three result
// windows, left no key open and wrote exactly the lines the report's left-overs call for. Exit status 0, 2
// for wrong arguments, 3 when a conversion did not write what it should.
#include "bench/bench_machine.h"
#include "bench/call_log.h"
#include "bench/report_generator.h"
#include "conversion/convert.h"
#include "conversion/run_state.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <time.h>

namespace {

using namespace resivex;
using namespace resivex::bench;

const char usage_text[] =
    "Usage: resivex-bench [--work DIR] [--reps N] [--verbose] --case NAME OPTIONS [--case NAME OPTIONS...]\n"
    "  --work DIR        where the reports are written and kept (default /tmp/resivex-bench)\n"
    "  --reps N          repetitions, medians printed (default 5)\n"
    "  --verbose         also what each conversion wrote and asked the machine\n"
    "OPTIONS describe the case's report and what of it exists:\n";

struct bench_case {
  std::string name;
  report_plan plan;
  unsigned exist_percent = 10;
};

struct options {
  std::string work = "/tmp/resivex-bench";
  int reps = 5;
  bool verbose = false;
  std::vector<bench_case> cases;
};

bool parse_options(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--verbose") {
      o.verbose = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    std::string error;
    if (opt == "--work") {
      o.work = value;
    } else if (opt == "--reps") {
      o.reps = std::atoi(value);
    } else if (opt == "--case") {
      o.cases.push_back({value, {}, 10});
    } else if (o.cases.empty() ||
               !set_plan_option(o.cases.back().plan, o.cases.back().exist_percent, opt, value, error)) {
      std::fprintf(stderr, "%s\n", error.empty() ? ("misplaced option " + opt).c_str() : error.c_str());
      return false;
    }
  }
  return o.reps > 0 && !o.cases.empty();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---- Clocks ----------------------------------------------------------------------------------------------

struct timing {
  double cpu = 0;  // processor time of the process, user and kernel
  double wall = 0;
};

timing now() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  return {static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9, wall};
}

timing since(const timing& start) {
  const timing end = now();
  return {end.cpu - start.cpu, end.wall - start.wall};
}

// ---- The report and the machine ----------------------------------------------------------------------------

std::string signature(const bench_case& c) {
  std::ostringstream s;
  const report_plan& p = c.plan;
  s << "generator " << generator_version << " keys " << p.keys_added << " values " << p.values_added
    << " modified " << p.values_modified << " folders " << p.folders_added << " files " << p.files_added
    << " inside " << p.files_inside_percent
    << " long " << p.long_value_percent << " multiline " << p.multiline_percent << " keys left " << p.keys_left
    << " root " << p.root << " seed " << p.seed;
  return s.str();
}

// Writes the case's report into dir unless an identical one is there. Returns its path; empty on failure.
std::string prepare_report(const bench_case& c, const std::string& dir, report_totals& totals) {
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

// ---- Checking a conversion ---------------------------------------------------------------------------------

struct expectation {
  std::uint64_t batch_lines = 0;
  registry_expectation registry;
};

bool starts(const std::string& line, std::string_view prefix) { return line.compare(0, prefix.size(), prefix) == 0; }

bool ends(const std::string& line, std::string_view suffix) {
  return line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string stem_of(const std::string& report) { return report.substr(0, report.rfind('.')); }

constexpr const char* output_suffixes[] = {".bat", ".reg", "_mods.reg", "_errors.txt"};

// The lines of an output. The registry scripts are UTF-16 (regedit's own form), whose characters here are
// all ASCII: their low bytes are the text.
std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.compare(0, 2, "\xFF\xFE") == 0) {
    std::string narrow;
    for (std::size_t i = 2; i < text.size(); i += 2) narrow += text[i];
    text.swap(narrow);
  }
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// What the outputs hold, counted as the expectation counts it.
expectation count_outputs(const std::string& report) {
  expectation e;
  for (const std::string& line : lines_of(stem_of(report) + ".bat")) {
    if (starts(line, "DEL \"") || starts(line, "RMDIR /S %_nop% \"")) ++e.batch_lines;
  }
  for (const std::string& line : lines_of(stem_of(report) + ".reg")) {
    if (starts(line, "[-HKEY_")) ++e.registry.keys;
    if (!starts(line, ";") && ends(line, "=-")) ++e.registry.values_added;
  }
  for (const std::string& line : lines_of(stem_of(report) + "_mods.reg")) {
    if (starts(line, "[HKEY_") || starts(line, "; Not reset: ") || starts(line, "; Resivex does not process type")) {
      ++e.registry.values_modified;
    }
  }
  return e;
}

// Why the last conversion over m does not count; empty when it does. Resets the machine's counters, after
// copying them into calls.
std::string check_conversion(bench_machine& m, const run_result& result, const std::string& report,
                             const expectation& expected, expectation& written, bench_machine::counters& calls) {
  written = count_outputs(report);
  const registry_expectation& er = expected.registry;
  const registry_expectation& wr = written.registry;
  char why[512] = "";
  if (result.how != run_result::outcome::completed || result.write_failed) {
    std::snprintf(why, sizeof why, "the run did not complete");
  } else if (m.calls.boxes != 0) {
    std::snprintf(why, sizeof why, "%" PRIu64 " message box(es), first: %s", m.calls.boxes, m.first_box.c_str());
  } else if (m.calls.windows != 5) {
    std::snprintf(why, sizeof why, "%" PRIu64 " result windows instead of 5", m.calls.windows);
  } else if (m.open_handles() != 0) {
    std::snprintf(why, sizeof why, "%zu registry keys left open", m.open_handles());
  } else if (written.batch_lines != expected.batch_lines) {
    std::snprintf(why, sizeof why, "%" PRIu64 " batch lines instead of %" PRIu64, written.batch_lines,
                  expected.batch_lines);
  } else if (wr.keys != er.keys || wr.values_added != er.values_added || wr.values_modified != er.values_modified) {
    std::snprintf(why, sizeof why,
                  "registry scripts: %" PRIu64 " keys, %" PRIu64 " added values, %" PRIu64
                  " modified values instead of %" PRIu64 ", %" PRIu64 ", %" PRIu64,
                  wr.keys, wr.values_added, wr.values_modified, er.keys, er.values_added, er.values_modified);
  }
  calls = m.calls;
  m.calls = {};
  m.first_box.clear();
  return why;
}

void remove_outputs(const std::string& report) {
  for (const char* suffix : output_suffixes) std::remove((stem_of(report) + suffix).c_str());
}

// ---- The passes ----------------------------------------------------------------------------------------------

timing timed_bare_pass(const std::string& report, std::uint64_t& lines) {
  const timing start = now();
  lines = 0;
  std::FILE* f = std::fopen(report.c_str(), "rb");
  if (f == nullptr) return {};
  char buf[8192];
  while (std::fgets(buf, sizeof buf, f) != nullptr) ++lines;
  std::fclose(f);
  return since(start);
}

timing timed_conversion(machine& m, const std::string& report, run_result& result) {
  auto rs = std::make_unique<run_state>(m);
  const timing start = now();
  result = convert_report(*rs, report.c_str(), nullptr);
  return since(start);
}

timing timed_replay(bench_machine& m, const recording_machine& log, std::size_t& differ) {
  const bench_machine::counters calls = m.calls;  // the counters belong to the conversions
  const timing start = now();
  differ = log.replay(m);
  const timing seconds = since(start);
  m.calls = calls;
  return seconds;
}

std::vector<std::uint64_t> output_sizes(const std::string& report) {
  std::vector<std::uint64_t> sizes;
  for (const char* suffix : output_suffixes) {
    std::error_code error;
    const auto size = std::filesystem::file_size(stem_of(report) + suffix, error);
    sizes.push_back(error ? 0 : static_cast<std::uint64_t>(size));
  }
  return sizes;
}

std::string write_yardstick_name(const std::string& report, std::size_t k) {
  return stem_of(report) + ".yardstick" + std::to_string(k);
}

// Files of these sizes beside the report, in 64 KiB blocks, each over the one of the round before, as a
// conversion writes over its outputs: what writing the outputs costs, whatever writes them.
timing timed_writes(const std::string& report, const std::vector<std::uint64_t>& sizes) {
  static const std::vector<char> block(64 * 1024, 'x');
  const timing start = now();
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

// Runs the case; prints its row. Returns 0, or 3 when a conversion did not do what it should.
int run_case(const options& o, const bench_case& c) {
  report_totals totals;
  const std::string report = prepare_report(c, o.work, totals);
  if (report.empty()) {
    std::fprintf(stderr, "%s: cannot write the report into %s\n", c.name.c_str(), o.work.c_str());
    return 3;
  }
  const std::unique_ptr<bench_machine> machine = make_machine(c);
  const expectation expected = {expected_batch_lines(c.plan, c.exist_percent),
                                expected_registry(c.plan, c.exist_percent)};
  const auto fail = [&](const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", c.name.c_str(), why.c_str());
    remove_outputs(report);
    return 3;
  };

  // A conversion whose machine calls are written down, to be made again in each repetition; it also warms
  // the page cache.
  recording_machine log(*machine);
  expectation written;
  bench_machine::counters calls;
  run_result result;
  timed_conversion(log, report, result);
  std::string problem = check_conversion(*machine, result, report, expected, written, calls);
  if (!problem.empty()) return fail("recorded run: " + problem);

  std::vector<double> bare, replay, writes, conv, ratio, wall_ratio;
  for (int r = 0; r < o.reps; ++r) {
    std::uint64_t lines = 0;
    timing b, t, m, w;
    std::size_t differ = 0;
    for (int k = 0; k < 3; ++k) {  // the order turns with each repetition
      switch ((k + r) % 3) {
        case 0: b = timed_bare_pass(report, lines); break;
        case 1: t = timed_conversion(*machine, report, result); break;
        default: m = timed_replay(*machine, log, differ); break;
      }
    }
    problem = check_conversion(*machine, result, report, expected, written, calls);
    if (!problem.empty()) return fail(problem);
    if (lines < totals.lines) return fail("the bare pass read fewer lines than the report has");
    if (differ != 0) {
      return fail(std::to_string(differ) + " of " + std::to_string(log.calls()) +
                  " replayed calls were answered otherwise");
    }
    w = timed_writes(report, output_sizes(report));
    bare.push_back(b.cpu);
    conv.push_back(t.cpu);
    replay.push_back(m.cpu);
    writes.push_back(w.cpu);
    ratio.push_back(t.cpu / b.cpu);
    wall_ratio.push_back(t.wall / b.wall);
  }
  remove_outputs(report);
  for (std::size_t k = 0; k < 4; ++k) std::remove(write_yardstick_name(report, k).c_str());

  // The conversion's own work: what is left of it beside reading the report, asking the machine and writing.
  const double own = median(conv) - median(bare) - median(replay) - median(writes);
  std::printf("%-16s %8" PRIu64 " %8" PRIu64 " %6.1f %7.3f %7.3f %8.3f %7.3f %7.0f %6.2f %6.2f %9" PRIu64
              " %9" PRIu64 "\n",
              c.name.c_str(), totals.entries, totals.lines, static_cast<double>(totals.bytes) / 1e6, median(bare),
              median(replay), median(writes), median(conv), own / static_cast<double>(totals.entries) * 1e9,
              median(ratio), median(wall_ratio), calls.attribute_queries + calls.status_queries,
              calls.key_opens + calls.value_queries + calls.info_queries + calls.enum_calls);
  if (o.verbose) {
    std::printf("    written: %" PRIu64 " batch lines; %" PRIu64 " keys, %" PRIu64 " added values, %" PRIu64
                " modified values\n    calls: %" PRIu64 " attributes, %" PRIu64 " status, %" PRIu64
                " key opens, %" PRIu64 " value queries, %" PRIu64 " key infos, %" PRIu64 " enumeration steps\n",
                written.batch_lines, written.registry.keys, written.registry.values_added,
                written.registry.values_modified, calls.attribute_queries, calls.status_queries, calls.key_opens,
                calls.value_queries, calls.info_queries, calls.enum_calls);
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse_options(argc, argv, o)) {
    std::fprintf(stderr, "%s%s", usage_text, plan_options_help);
    return 2;
  }
  std::filesystem::create_directories(o.work);
  std::printf("%-16s %8s %8s %6s %7s %7s %8s %7s %7s %6s %6s %9s %9s\n", "case", "entries", "lines", "MB",
              "bare s", "calls s", "writes s", "conv s", "own ns", "ratio", "wall r", "fs calls", "reg calls");
  for (const bench_case& c : o.cases) {
    if (const int status = run_case(o, c); status != 0) return status;
  }
  return 0;
}
