// resivex-bench-memory: the peak memory of a conversion, beyond what its stored folders need, for reports
// from 10,000 to 4,000,000 entries. Each measurement runs in a child process of its own, so that nothing
// another measurement left on the heap hides or inflates it. Two measures are taken: the C++ heap (every
// operator new, counted exactly) and the resident set as the kernel sees it (VmHWM after the kernel's peak
// was reset to the current size just before the run). The folders' own need is measured the same way, by
// storing the same folders in a folder_index alone. Exit status: 0 when the bound holds in every case, 1 when
// not, 3 when a measurement failed.
#include "bench/bench_cases.h"
#include "bench/heap_counter.h"
#include "conversion/batch/folder_index.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace resivex::bench;

constexpr double bound_mib = 64.0;
constexpr double mib = 1024.0 * 1024.0;

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); -1 when missing.
long long status_bytes(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long long kib = -1;
  const std::size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') kib = std::atoll(line + n + 1);
  }
  std::fclose(f);
  return kib < 0 ? -1 : kib * 1024;
}

// Sets the kernel's peak resident size (VmHWM) back to the current one.
bool reset_resident_peak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f == nullptr) return false;
  const bool ok = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

struct usage {
  double heap = -1;      // highest C++ heap above the level before, bytes
  double resident = -1;  // highest resident set above the level before, bytes
};

// Returns to the caller only what `work` used; runs it in a child after `prepare`.
template <class Prepare, class Work>
usage measure_in_child(Prepare prepare, Work work) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    ::close(fds[0]);
    auto state = prepare();
    malloc_trim(0);  // what preparing freed goes back, so the run cannot hide in it
    usage u;
    const long long rss_before = status_bytes("VmRSS");
    const bool peak_reset = reset_resident_peak();
    const std::size_t heap_before = heap::live();
    heap::reset_peak();
    const bool ok = work(state);
    u.heap = static_cast<double>(heap::peak() - heap_before);
    const long long hwm = status_bytes("VmHWM");
    if (peak_reset && rss_before >= 0 && hwm >= 0) u.resident = static_cast<double>(hwm - rss_before);
    if (!ok) u.heap = u.resident = -1;
    const bool sent = ::write(fds[1], &u, sizeof u) == static_cast<ssize_t>(sizeof u);
    std::_Exit(sent ? 0 : 1);
  }
  ::close(fds[1]);
  usage u;
  const bool got = ::read(fds[0], &u, sizeof u) == static_cast<ssize_t>(sizeof u);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? u : usage{};
}

}  // namespace

int main(int argc, char** argv) {
  std::string work_dir = "/tmp/resivex-bench";
  double scale = 1.0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--work") == 0) work_dir = argv[i + 1];
    else if (std::strcmp(argv[i], "--scale") == 0) scale = std::atof(argv[i + 1]);
  }
  if (argc % 2 == 0 || scale <= 0) {
    std::fprintf(stderr, "Usage: resivex-bench-memory [--work DIR] [--scale F]\n");
    return 2;
  }
  std::filesystem::create_directories(work_dir);
  std::printf("%-26s %8s %7s %8s %9s %9s %9s %9s  %s\n", "case", "entries", "MB", "folders", "heap MiB",
              "RSS MiB", "index MiB", "beyond MiB", "target");
  int status = 0;
  for (const bench_case& c : memory_cases(scale)) {
    report_totals totals;
    const std::string report = prepare_report(c, work_dir, totals);
    if (report.empty()) return 3;
    const expectation expected = expected_outputs(c);

    const usage run = measure_in_child(
        [&] { return make_machine(c); },
        [&](std::unique_ptr<bench_machine>& m) {
          resivex::run_result result;
          timed_conversion(*m, report, result);
          const run_check check = check_conversion(*m, result, report, expected);
          if (!check.ok) std::fprintf(stderr, "%s: %s\n", c.name.c_str(), check.problem.c_str());
          return check.ok;
        });
    // The folders alone, stored as the run stores them.
    const usage index = measure_in_child([] { return 0; },
                                         [&](int) {
                                           resivex::folder_index folders;
                                           for (std::uint64_t i = 0; i < c.plan.folders_added; ++i) {
                                             folders.insert(folder_path(c.plan, i));
                                           }
                                           return true;
                                         });
    remove_outputs(report);
    if (run.heap < 0 || run.resident < 0 || index.heap < 0) {
      std::fprintf(stderr, "%s: the measurement failed\n", c.name.c_str());
      return 3;
    }
    const double beyond = (std::max(run.heap, run.resident) - index.heap) / mib;
    const bool met = beyond < bound_mib;
    if (!met) status = 1;
    std::printf("%-26s %8" PRIu64 " %7.1f %8" PRIu64 " %9.2f %9.2f %9.2f %9.2f  (d) < 64 %s\n", c.name.c_str(),
                totals.entries, static_cast<double>(totals.bytes) / 1e6, c.plan.folders_added, run.heap / mib,
                run.resident / mib, index.heap / mib, beyond, met ? "PASS" : "FAIL");
    std::fflush(stdout);
  }
  return status;
}
