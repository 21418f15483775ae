// resivex-bench-probe.exe: the least a program must do to answer what resivex-cli answers, as the yardstick
// for the console companion under Wine. It reads the report with the same 8192-byte line reads and tests
// every entry line of the "Folders added:" and "Files added:" sections with one GetFileAttributesA.
//
//   resivex-bench-probe REPORT [read|attributes|attributes+stat]
//
// read: reading alone; attributes (the default): the yardstick; attributes+stat: also the runtime's status
// query when the attributes were found, as the program's existence test does, to show what that costs.
// Prints the lines read, the paths tested and the paths found.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

enum class mode { read, attributes, attributes_and_status };

bool starts_with(const char* line, const char* prefix) { return std::strncmp(line, prefix, std::strlen(prefix)) == 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("Usage: resivex-bench-probe REPORT [read|attributes|attributes+stat]\n", stderr);
    return 2;
  }
  mode how = mode::attributes;
  if (argc > 2 && std::strcmp(argv[2], "read") == 0) how = mode::read;
  else if (argc > 2 && std::strcmp(argv[2], "attributes+stat") == 0) how = mode::attributes_and_status;
  else if (argc > 2 && std::strcmp(argv[2], "attributes") != 0) return 2;

  std::FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  static char buf[8192];
  unsigned long long lines = 0, tested = 0, found = 0;
  bool in_added = false;
  while (std::fgets(buf, sizeof buf, f) != nullptr) {
    ++lines;
    if (buf[0] != '\0' && buf[1] == ':') {
      if (!in_added || how == mode::read) continue;
      buf[std::strcspn(buf, "\t\r\n")] = '\0';
      ++tested;
      if (GetFileAttributesA(buf) == INVALID_FILE_ATTRIBUTES) continue;
      struct _stat64 st;
      if (how == mode::attributes_and_status && _stat64(buf, &st) != 0) continue;
      ++found;
    } else if (buf[0] != '-' && buf[0] != '\r' && buf[0] != '0' && buf[0] != '2' && std::strchr(buf, ':')) {
      // A section title (1.9.1's attribute lines start with "0x" or a date).
      in_added = starts_with(buf, "Files added:") || starts_with(buf, "Folders added:");
    }
  }
  std::fclose(f);
  std::printf("lines %llu tested %llu found %llu\n", lines, tested, found);
  return 0;
}
