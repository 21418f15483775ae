// resivex-cli.exe: the console companion of RESIVEX. Runs one conversion exactly as the GUI does at start-up,
// but prints its messages to standard error and the paths of its outputs to standard output, and reports the
// outcome in its exit status. Used for scripting and by the end-to-end tests.
#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_machine.h"
#include "resivex_version.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char usage_text[] =
    "Usage: resivex-cli REPORT [WORD]\n"
    "       resivex-cli --version\n"
    "\n"
    "Reads a Regshot comparison report (taken before an install and after the uninstall) and writes, beside\n"
    "it, the scripts that remove what the program left behind and still exists on this machine:\n"
    "  REPORT.bat         deletes the left-over files and folders (asks first)\n"
    "  REPORT.reg         deletes the left-over registry keys and values\n"
    "  REPORT_mods.reg    puts modified registry values back to their old data\n"
    "  REPORT_errors.txt  registry keys that could not be read (only when there are any)\n"
    "Nothing on the machine is changed: review the scripts, then run them yourself.\n"
    "\n"
    "WORD  DEL (the default) writes DEL and RMDIR commands; DIR, or any other word, only lists the items.\n"
    "      A word with anything but a verb and switches (DEL /F), or DEL with /S, lists too.\n"
    "--version  prints \"resivex-cli\" and its version number, and exits.\n"
    "\n"
    "Messages are printed to standard error as \"[Caption] text\"; the paths of the outputs to standard\n"
    "output, one per line (in UTF-8 when redirected to a file or a pipe). Exit status: 0 done; 1 the report\n"
    "or an output could not be opened or written; 2 wrong arguments; 4, 12, 16 out of memory.\n";

// Writes UTF-8 text to a standard stream: on a console as its characters (whatever the console's code page),
// into a file or a pipe as UTF-8.
void print(std::FILE* stream, const std::string& text) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    const std::wstring wide = resivex::wide_from_utf8(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

class console_machine : public resivex::win32_machine {
public:
  int message_box(resivex::window_handle, const char* text, const char* caption, unsigned) override {
    print(stderr, "[" + std::string(caption) + "] " + text + "\n");
    return 1;  // IDOK
  }
  bool open_result_window(resivex::window_handle, const char* path) override {
    std::string full;
    print(stdout, (full_path(path, full) ? full : std::string(path)) + "\n");
    return true;
  }
};

}  // namespace

int main() {
  // The wide command line: a report named in any alphabet reaches the program as it was typed.
  const std::vector<std::string> arguments = resivex::command_line_arguments();
  std::vector<const char*> pointers;
  for (const std::string& a : arguments) pointers.push_back(a.c_str());
  const int argc = static_cast<int>(pointers.size());
  const char* const* argv = pointers.data();
  if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
    std::fputs("resivex-cli " RESIVEX_VERSION "\n", stdout);
    return 0;
  }
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "/?") == 0)) {
    std::fputs(usage_text, stdout);
    return 0;
  }
  if (argc < 2) {
    std::fputs(usage_text, stdout);
    return 2;
  }
  console_machine machine;
  auto rs = std::make_unique<resivex::run_state>(machine);
  const int length = resivex::process_command_line(*rs, argc, argv);
  if (length < 0) return 1;
  if (length == 0) {
    std::fputs(usage_text, stderr);
    return 2;
  }
  const resivex::run_result result = resivex::convert_report(*rs, rs->startup_report.c_str(), nullptr);
  switch (result.how) {
    case resivex::run_result::outcome::completed:
      return result.write_failed ? 1 : 0;
    case resivex::run_result::outcome::refused:
      return 1;
    case resivex::run_result::outcome::ended:
      // A failure must never look like success in a console tool.
      return result.exit_code == 0 ? 1 : result.exit_code;
  }
  return 1;
}
