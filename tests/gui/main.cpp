// gui_driver.exe: the GUI tests of resivex.exe. Runs under Wine and Xvfb (tests/gui/run sets both up), starts
// the real program for each case and drives it as a user would. Prints one line per case and a closing
// "N passed, N failed"; the exit status is 0 only when every case passed.
//
//   gui_driver --program EXE --help-text TXT --probe DLL --root FOLDER [--gadget-report TXT]
//              [--screenshot-dir FOLDER] [CASE...]
//   gui_driver --run-installed EXE REPORT
//
// --run-installed is the release check (the stage "package" of scripts/test): it starts a resivex.exe
// unpacked from the release zip with REPORT on its command line, as a user would, waits for the three
// result windows and ends the program with File/Exit. The caller compares the scripts it wrote.
#include "resivex_version.h"
#include "shell/resource.h"
#include "tests/gui/expectations.h"
#include "tests/gui/harness.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

using namespace resivex::gui_test;

namespace {

void say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// The program in its release folder converts a report given on its command line and ends with File/Exit.
int run_installed(const std::string& exe, const std::string& report) {
  try {
    const std::string folder = report.substr(0, report.find_last_of('\\'));
    const outputs out = outputs_of(report);
    program p(exe, {report}, folder);
    check_equal(window_text(p.frame()), "WINAPI version of RESIVEX V" RESIVEX_VERSION " compiled with Visual Studio",
                "frame title (the program of this release)");
    for (const std::string& title : {out.bat, out.reg, out.mods}) p.document(title);
    check_equal(static_cast<long long>(p.documents().size()), 3, "number of result windows");
    const std::vector<dialog> boxes = p.dialogs_after_pending_commands();
    check(boxes.empty(),
          boxes.empty() ? "" : "a message box is open: " + boxes.front().caption + ": " + boxes.front().text);
    p.command(IDM_FILE_EXIT);
    check_equal(p.wait_exit(), 0, "exit code after File/Exit");
  } catch (const failure& f) {
    say("run-installed FAILED: " + f.what);
    return 1;
  }
  say("run-installed: " + report + " converted, File/Exit ended the program with 0");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Plain line ends: the lines are read on Linux, where a closing "N passed, N failed" must stand alone.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc == 4 && std::strcmp(argv[1], "--run-installed") == 0) return run_installed(argv[2], argv[3]);
  context ctx;
  std::vector<std::string> selected;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--program" && has_value) {
      ctx.program_source = argv[++i];
    } else if (a == "--help-text" && has_value) {
      ctx.help_source = argv[++i];
    } else if (a == "--probe" && has_value) {
      probe_dll_path = argv[++i];
    } else if (a == "--root" && has_value) {
      ctx.root = argv[++i];
    } else if (a == "--gadget-report" && has_value) {
      ctx.gadget_report = argv[++i];
    } else if (a == "--screenshot-dir" && has_value) {
      ctx.screenshot_dir = argv[++i];
    } else if (a.rfind("--", 0) == 0) {
      say("unknown option " + a);
      return 2;
    } else {
      selected.push_back(a);
    }
  }
  if (ctx.program_source.empty() || ctx.help_source.empty() || probe_dll_path.empty() || ctx.root.empty()) {
    say("usage: gui_driver --program EXE --help-text TXT --probe DLL --root FOLDER [--gadget-report TXT] "
        "[--screenshot-dir FOLDER] [CASE...]");
    return 2;
  }

  int passed = 0, failed = 0;
  for (const test_case& c : all_cases()) {
    if (!selected.empty() && std::find(selected.begin(), selected.end(), c.name) == selected.end()) continue;
    ctx.work = ctx.root + "\\" + c.name;
    const auto start = std::chrono::steady_clock::now();
    say(std::string("[ RUN      ] ") + c.name);
    std::string problem;
    try {
      remove_tree(ctx.work);
      make_folder(ctx.work);
      c.run(ctx);
    } catch (const failure& f) {
      problem = f.what;
    } catch (const std::exception& e) {
      problem = std::string("exception: ") + e.what();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const std::string timing = " (" + std::to_string(ms.count()) + " ms)";
    if (problem.empty()) {
      ++passed;
      say(std::string("[       OK ] ") + c.name + timing);
    } else {
      ++failed;
      say(std::string("[  FAILED  ] ") + c.name + timing + ": " + problem);
    }
  }
  say(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed == 0 && passed > 0 ? 0 : 1;
}
