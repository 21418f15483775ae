// resivex-bench-cli-one-lookup.exe: resivex-cli with one change, for measuring under Wine what the status
// query of the existence test costs: the status query is answered without asking the system again (the
// attributes test before it has already found the path). Everything else is the console companion's run.
// It is a measuring device, not a program to use.
#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "platform/win32/win32_machine.h"

#include <cstdio>
#include <memory>

namespace {

class one_lookup_machine : public resivex::win32_machine {
public:
  // The core asks for the status only after GetFileAttributesA found the path.
  int file_status(const char*) override { return 0; }
  int message_box(resivex::window_handle, const char* text, const char* caption, unsigned) override {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return 1;
  }
  bool open_result_window(resivex::window_handle, const char* path) override {
    std::printf("%s\n", path);
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  one_lookup_machine machine;
  auto rs = std::make_unique<resivex::run_state>(machine);
  if (resivex::process_command_line(*rs, argc, argv) <= 0) return 2;
  const resivex::run_result result = resivex::convert_report(*rs, rs->startup_report.c_str(), nullptr);
  return result.how == resivex::run_result::outcome::completed && !result.write_failed ? 0 : 1;
}
