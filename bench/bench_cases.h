// The reports the native benchmark converts, and the steps it takes:
// writing a report once into the work folder, filling a machine with what exists, running one conversion and
// checking that it did the work it should (a benchmark of a run that silently did nothing proves nothing).
#pragma once

#include "bench/bench_machine.h"
#include "bench/call_log.h"
#include "bench/report_generator.h"
#include "conversion/run_state.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace resivex::bench {

// Which bound a case's figures are held to: (a) files, (b) stored folders and files, (c) registry sections.
enum class target { none, whole_run, stored_folders, registry };

struct bench_case {
  std::string name;
  report_plan plan;
  unsigned exist_percent = 10;  // share of the files, folders and values that still exist
  target checks = target::none;
};

// The cases, with entry counts multiplied by scale (1 gives the sizes the targets speak of).
std::vector<bench_case> timing_cases(double scale);

// Writes the case's report into dir unless an identical one is there. Returns its path; empty on failure.
std::string prepare_report(const bench_case& c, const std::string& dir, report_totals& totals);

// A machine on which the case's folders, files, keys and values exist as the generator says.
std::unique_ptr<bench_machine> make_machine(const bench_case& c);

// What a conversion of the case's report must write.
struct expectation {
  std::uint64_t batch_lines = 0;
  registry_expectation registry;
};
expectation expected_outputs(const bench_case& c);

// The time a pass took: processor time of the process (user and kernel; what the ratios use, since other
// programs on a shared machine stretch the wall clock but not this) and wall-clock time.
struct timing {
  double cpu = 0;
  double wall = 0;
};

struct run_check {
  bool ok = false;
  std::string problem;  // why the run does not count, when !ok
  expectation written;  // what the outputs hold
  bench_machine::counters calls;  // what the run asked the machine
};

// Runs one conversion of the report over the machine, as the console companion does, and returns its time.
timing timed_conversion(bench_machine& m, const std::string& report, run_result& result);
// Checks the outcome of the last conversion of the report: completed, no message, three result windows, no
// registry key left open, and exactly the expected lines in the batch file and both registry scripts. The
// machine's counters are reset for the next run.
run_check check_conversion(bench_machine& m, const run_result& result, const std::string& report,
                           const expectation& expected);
// Removes the outputs of a conversion of the report.
void remove_outputs(const std::string& report);

// The bare pass: reads the file with the program's own line size (fgets into 8192 bytes) and does nothing
// else. Returns its time; lines gets the count, so the loop cannot be optimised away.
timing timed_bare_pass(const std::string& report, std::uint64_t& lines);

// The sizes of the outputs of the last conversion of the report (batch file, removal script, reset script,
// error list; 0 for one that is not there).
std::vector<std::uint64_t> output_sizes(const std::string& report);
// Writes files of these sizes beside the report in 64 KiB blocks, each over the one of the round before, as a
// conversion writes over its outputs: what writing the outputs costs, whatever writes them.
timing timed_writes(const std::string& report, const std::vector<std::uint64_t>& sizes);
void remove_write_yardsticks(const std::string& report);

// The bare pass plus what a plain reading asks the machine: the program's existence test (attributes, then
// status when found) for every entry line of "Folders added:" and "Files added:"; one open per line of
// "Keys added:"; one open, query and close per value of "Values added:" and per pair of "Values modified:".
// What the machine alone costs. Returns its time; found gets the items found.
timing timed_probe_pass(bench_machine& m, const std::string& report, std::uint64_t& found);

// One conversion whose machine calls are written down in log (not timed; checked like the others).
run_check recorded_conversion(bench_machine& m, const std::string& report, const expectation& expected,
                              recording_machine& log);
// The calls of that conversion made again on the machine, nothing else: the machine's share of a run.
// differ gets the number of answers that differ from the recorded ones (0, or the figure means nothing).
timing timed_replay(bench_machine& m, const recording_machine& log, std::size_t& differ);

}  // namespace resivex::bench
