// resivex-bench-cli-counted.exe: resivex-cli that counts and times every call it makes to the system through
// the machine interface, and prints the totals on standard error when the run ends: where the console
// companion's time goes under Wine. It is a measuring device, not a program to use.
#include "conversion/command_line.h"
#include "conversion/convert.h"
#include "platform/win32/win32_machine.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

enum call {
  open_key, query_value, query_info, enum_value, close_key, key_name, attributes, status, short_name, long_name,
  call_kinds
};
const char* const call_names[call_kinds] = {
    "RegOpenKeyExW", "RegQueryValueExW",   "RegQueryInfoKeyW", "RegEnumValueW",     "RegCloseKey",
    "NtQueryKey",    "GetFileAttributesW", "_wstat64",         "GetShortPathNameW", "GetLongPathNameW"};

class counted_machine : public resivex::win32_machine {
public:
  counted_machine() { QueryPerformanceFrequency(&frequency_); }

  long reg_open_key(resivex::win::reg_key root, const char* sub_key, std::uint32_t access,
                    resivex::win::reg_key* key) override {
    const timer t(*this, open_key);
    const long s = win32_machine::reg_open_key(root, sub_key, access, key);
    if (s != 0) ++failed_[open_key];
    return s;
  }
  long reg_query_value(resivex::win::reg_key key, const char* name, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* data_len) override {
    const timer t(*this, query_value);
    const long s = win32_machine::reg_query_value(key, name, type, data, data_len);
    if (s != 0) ++failed_[query_value];
    return s;
  }
  long reg_query_info_key(resivex::win::reg_key key, resivex::reg_key_info* info) override {
    const timer t(*this, query_info);
    return win32_machine::reg_query_info_key(key, info);
  }
  long reg_enum_value(resivex::win::reg_key key, std::uint32_t index, std::string& name, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* data_len) override {
    const timer t(*this, enum_value);
    return win32_machine::reg_enum_value(key, index, name, type, data, data_len);
  }
  void reg_close_key(resivex::win::reg_key key) override {
    const timer t(*this, close_key);
    win32_machine::reg_close_key(key);
  }
  long reg_key_name(resivex::win::reg_key key, std::string& out) override {
    const timer t(*this, key_name);
    return win32_machine::reg_key_name(key, out);
  }
  std::uint32_t file_attributes(const char* path) override {
    const timer t(*this, attributes);
    const std::uint32_t a = win32_machine::file_attributes(path);
    if (a == resivex::win::invalid_file_attributes) ++failed_[attributes];
    return a;
  }
  int file_status(const char* path) override {
    const timer t(*this, status);
    return win32_machine::file_status(path);
  }
  bool short_path(const char* path, std::string& out) override {
    const timer t(*this, short_name);
    return win32_machine::short_path(path, out);
  }
  bool long_path(const char* path, std::string& out) override {
    const timer t(*this, long_name);
    return win32_machine::long_path(path, out);
  }
  int message_box(resivex::window_handle, const char* text, const char* caption, unsigned) override {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return 1;
  }
  bool open_result_window(resivex::window_handle, const char* path) override {
    std::printf("%s\n", path);
    return true;
  }

  void print(double run_ms) const {
    double in_calls = 0;
    for (int k = 0; k < call_kinds; ++k) {
      if (count_[k] == 0) continue;
      const double ms = ms_of(ticks_[k]);
      in_calls += ms;
      std::fprintf(stderr, "%-20s %8llu calls (%llu failed) %9.1f ms  %6.1f us each\n", call_names[k],
                   static_cast<unsigned long long>(count_[k]), static_cast<unsigned long long>(failed_[k]), ms,
                   1000.0 * ms / static_cast<double>(count_[k]));
    }
    std::fprintf(stderr, "%-20s %9.1f ms in the calls above, %.1f ms in all\n", "run", in_calls, run_ms);
  }
  double ms_of(long long ticks) const {
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency_.QuadPart);
  }

private:
  class timer {
  public:
    timer(counted_machine& m, call k) : m_(m), k_(k) { QueryPerformanceCounter(&start_); }
    ~timer() {
      LARGE_INTEGER end;
      QueryPerformanceCounter(&end);
      m_.ticks_[k_] += end.QuadPart - start_.QuadPart;
      ++m_.count_[k_];
    }
    timer(const timer&) = delete;
    timer& operator=(const timer&) = delete;

  private:
    counted_machine& m_;
    call k_;
    LARGE_INTEGER start_;
  };

  LARGE_INTEGER frequency_;
  unsigned long long count_[call_kinds] = {};
  unsigned long long failed_[call_kinds] = {};
  long long ticks_[call_kinds] = {};
};

}  // namespace

int main(int argc, char** argv) {
  counted_machine machine;
  auto rs = std::make_unique<resivex::run_state>(machine);
  if (resivex::process_command_line(*rs, argc, argv) <= 0) return 2;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  const resivex::run_result result = resivex::convert_report(*rs, rs->startup_report.c_str(), nullptr);
  QueryPerformanceCounter(&end);
  machine.print(machine.ms_of(end.QuadPart - start.QuadPart));
  return result.how == resivex::run_result::outcome::completed && !result.write_failed ? 0 : 1;
}
