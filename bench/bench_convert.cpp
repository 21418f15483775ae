// resivex-bench: the time of a whole conversion against a bare read of the same report, side by side in one
// process. Each repetition times the bare read, the read with the machine's existence tests, and the
// conversion, in turning order, so that all see the same machine load. The figures are medians of processor
// time (user and kernel: the report is read from the page cache, so the work is all processor work, and
// processor time is not stretched by other programs on a shared machine), with the wall-clock ratio beside.
// Each repetition also replays the machine calls that one conversion made, written down once ("calls s"),
// and writes as many bytes as the conversion's outputs hold into files beside the report ("writes s"): the
// bare read plus these two ("floor") is the least any conversion asking the same questions and writing the
// same outputs could cost.
// Exit status: 0 when every target holds, 1 when one is missed, 3 when a conversion did not write what it
// should (its time would mean nothing).
#include "bench/bench_cases.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace resivex::bench;

constexpr double whole_run_bound = 2.0;  // a conversion may cost at most twice the bare read

struct options {
  std::string work = "/tmp/resivex-bench";
  int reps = 5;
  double scale = 1.0;
  std::string only;  // run only the cases whose name holds this text
  bool verbose = false;
  bool keep = false;  // leave the last conversion's outputs beside the report
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool parse_options(int argc, char** argv, options& o) {
  int i = 1;
  for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-' && argv[i][2] != 'w' && argv[i][2] != 'r' &&
         argv[i][2] != 's' && argv[i][2] != 'o';
       ++i) {
    const std::string flag = argv[i];
    if (flag == "--verbose") o.verbose = true;
    else if (flag == "--keep") o.keep = true;
    else return false;
  }
  for (; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--work") o.work = argv[i + 1];
    else if (opt == "--reps") o.reps = std::atoi(argv[i + 1]);
    else if (opt == "--scale") o.scale = std::atof(argv[i + 1]);
    else if (opt == "--only") o.only = argv[i + 1];
    else return false;
  }
  return i == argc && o.reps > 0 && o.scale > 0;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse_options(argc, argv, o)) {
    std::fprintf(stderr, "Usage: resivex-bench [--verbose] [--keep] [--work DIR] [--reps N] [--scale F] [--only TEXT]\n");
    return 2;
  }
  std::filesystem::create_directories(o.work);
  std::printf("%-26s %8s %8s %6s %7s %7s %7s %8s %7s %6s %11s %6s %6s %9s %9s  %s\n", "case", "entries", "lines",
              "MB", "bare s", "probe s", "calls s", "writes s", "conv s", "ratio", "ratio range", "wall r", "floor",
              "fs calls", "reg calls", "target");
  int status = 0;
  for (const bench_case& c : timing_cases(o.scale)) {
    if (!o.only.empty() && c.name.find(o.only) == std::string::npos) continue;
    report_totals totals;
    const std::string report = prepare_report(c, o.work, totals);
    if (report.empty()) {
      std::fprintf(stderr, "%s: cannot write the report into %s\n", c.name.c_str(), o.work.c_str());
      return 3;
    }
    const std::unique_ptr<bench_machine> machine = make_machine(c);
    const expectation expected = expected_outputs(c);

    std::vector<double> bare, probe, replay, writes, conv, ratio, floor_ratio, wall_ratio;
    run_check check;
    recording_machine log(*machine);
    for (int r = -1; r < o.reps; ++r) {  // repetition -1 warms the page cache and is not counted
      std::uint64_t lines = 0, found = 0;
      resivex::run_result result;
      timing b, p, t;
      for (int k = 0; k < 3; ++k) {  // the order turns with each repetition
        switch ((k + r + 1) % 3) {
          case 0: b = timed_bare_pass(report, lines); break;
          case 1: p = timed_probe_pass(*machine, report, found); break;
          default: t = timed_conversion(*machine, report, result); break;
        }
      }
      check = check_conversion(*machine, result, report, expected);
      if (!check.ok || lines < totals.lines) {
        std::fprintf(stderr, "%s: %s\n", c.name.c_str(),
                     check.ok ? "the bare pass read fewer lines than the report has" : check.problem.c_str());
        if (!o.keep) remove_outputs(report);
        return 3;
      }
      if (r < 0) {
        // The conversion's machine calls, written down once, are made again in each repetition below.
        const run_check recorded = recorded_conversion(*machine, report, expected, log);
        if (!recorded.ok) {
          std::fprintf(stderr, "%s: recorded run: %s\n", c.name.c_str(), recorded.problem.c_str());
          if (!o.keep) remove_outputs(report);
          return 3;
        }
        continue;
      }
      std::size_t differ = 0;
      const timing m = timed_replay(*machine, log, differ);
      if (differ != 0) {
        std::fprintf(stderr, "%s: %zu of %zu replayed calls were answered otherwise\n", c.name.c_str(), differ,
                     log.calls());
        if (!o.keep) remove_outputs(report);
        return 3;
      }
      const timing w = timed_writes(report, output_sizes(report));
      replay.push_back(m.cpu);
      writes.push_back(w.cpu);
      floor_ratio.push_back((b.cpu + m.cpu + w.cpu) / b.cpu);
      bare.push_back(b.cpu);
      probe.push_back(p.cpu);
      conv.push_back(t.cpu);
      ratio.push_back(t.cpu / b.cpu);
      wall_ratio.push_back(t.wall / b.wall);
    }
    if (!o.keep) remove_outputs(report);
    remove_write_yardsticks(report);

    const double rm = median(ratio);
    const auto [lo, hi] = std::minmax_element(ratio.begin(), ratio.end());
    std::string verdict = "-";
    if (c.checks != target::none) {
      const bool met = rm <= whole_run_bound;
      const char* label = c.checks == target::whole_run ? "(a)" : c.checks == target::stored_folders ? "(b)" : "(c)";
      verdict = std::string(label) + " <= 2.0 " + (met ? "PASS" : "FAIL");
      if (!met) status = 1;
    }
    const bench_machine::counters& calls = check.calls;
    char range[32];
    std::snprintf(range, sizeof range, "%.2f-%.2f", *lo, *hi);
    std::printf("%-26s %8" PRIu64 " %8" PRIu64 " %6.1f %7.3f %7.3f %7.3f %8.3f %7.3f %6.2f %11s %6.2f %6.2f %9" PRIu64
                " %9" PRIu64 "  %s\n",
                c.name.c_str(), totals.entries, totals.lines, static_cast<double>(totals.bytes) / 1e6,
                median(bare), median(probe), median(replay), median(writes), median(conv), rm, range,
                median(wall_ratio),
                median(floor_ratio),
                calls.attribute_queries + calls.status_queries,
                calls.key_opens + calls.value_queries + calls.info_queries + calls.enum_calls, verdict.c_str());
    if (o.verbose) {
      const expectation& w = check.written;
      std::printf("    written: %" PRIu64 " batch lines; %" PRIu64 " keys, %" PRIu64 " added values, %" PRIu64
                  " modified values\n    calls: %" PRIu64 " attributes, %" PRIu64 " status, %" PRIu64
                  " key opens, %" PRIu64 " value queries, %" PRIu64 " key infos, %" PRIu64 " enumeration steps\n",
                  w.batch_lines, w.registry.keys, w.registry.values_added, w.registry.values_modified,
                  calls.attribute_queries, calls.status_queries, calls.key_opens, calls.value_queries,
                  calls.info_queries, calls.enum_calls);
    }
    std::fflush(stdout);
  }
  return status;
}
