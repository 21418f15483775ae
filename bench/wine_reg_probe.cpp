// resivex-bench-regprobe.exe: the plain way to answer what resivex-cli answers about the registry, as the
// yardstick for its registry sections under Wine. It reads the report with the same 8192-byte line reads and
// asks the registry once per entry, with no memory from one entry to the next: for a line of "Keys added:"
// one RegOpenKeyExA (and RegCloseKey when it opened); for a value of "Values added:", and for the old line of
// each pair of "Values modified:", RegOpenKeyExA of its key, RegQueryValueExA of its name and RegCloseKey.
// The value's name is taken after the last backslash before the last ": ", as a plain reading of the line
// would; lines that continue an entry (broken by Regshot, or data holding a line break) are passed over.
//
//   resivex-bench-regprobe REPORT [read|probe]
//
// read: the reading alone; probe (the default): the yardstick. Prints the lines read, the keys and values
// asked for and how many of each were found.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

enum class section { other, keys, values, modified };

struct hive {
  const char* long_name;
  const char* short_name;
  HKEY root;
};

const hive hives[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},   {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
};

bool starts_with(const char* line, const char* prefix) { return std::strncmp(line, prefix, std::strlen(prefix)) == 0; }

// A section title, or one of the heading lines: a capital, a colon, and no backslash (every entry of a
// registry section names a key).
bool is_title(const char* line) {
  return line[0] >= 'A' && line[0] <= 'Z' && std::strchr(line, ':') != nullptr && std::strchr(line, '\\') == nullptr;
}

// The root of a line that starts with a hive name and a backslash; null for any other line.
HKEY root_of(const char* line, std::size_t& sub_key_start) {
  for (const hive& h : hives) {
    for (const char* name : {h.long_name, h.short_name}) {
      const std::size_t n = std::strlen(name);
      if (std::strncmp(line, name, n) == 0 && line[n] == '\\') {
        sub_key_start = n + 1;
        return h.root;
      }
    }
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("Usage: resivex-bench-regprobe REPORT [read|probe]\n", stderr);
    return 2;
  }
  const bool probe = argc < 3 || std::strcmp(argv[2], "probe") == 0;
  if (argc > 2 && !probe && std::strcmp(argv[2], "read") != 0) return 2;

  std::FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  static char buf[8192];
  static BYTE data[8192];
  unsigned long long lines = 0, keys = 0, keys_found = 0, values = 0, values_found = 0, entries_in_section = 0;
  section in = section::other;
  while (std::fgets(buf, sizeof buf, f) != nullptr) {
    ++lines;
    if (starts_with(buf, "----------")) continue;
    if (is_title(buf)) {
      in = starts_with(buf, "Keys added:")         ? section::keys
           : starts_with(buf, "Values added:")     ? section::values
           : starts_with(buf, "Values modified:") ? section::modified
                                                   : section::other;
      entries_in_section = 0;
      continue;
    }
    if (in == section::other || !probe) continue;
    std::size_t start = 0;
    const HKEY root = root_of(buf, start);
    if (root == nullptr) continue;  // a blank line, or the rest of an entry
    if (in == section::modified && entries_in_section++ % 2 == 1) continue;  // the new line of a pair
    buf[std::strcspn(buf, "\r\n")] = '\0';
    if (in == section::keys) {
      ++keys;
      HKEY key = nullptr;
      if (RegOpenKeyExA(root, buf + start, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ++keys_found;
        RegCloseKey(key);
      }
      continue;
    }
    // The name ends at the last ": " (or a colon that ends the line), and starts after the last backslash
    // before it.
    char* sep = nullptr;
    for (char* p = buf + start; (p = std::strchr(p, ':')) != nullptr; ++p) {
      if (p[1] == ' ' || p[1] == '\0') sep = p;
    }
    if (sep == nullptr) continue;
    *sep = '\0';
    char* name_start = std::strrchr(buf + start, '\\');
    if (name_start == nullptr) continue;
    *name_start = '\0';
    ++values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, buf + start, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    DWORD type = 0, size = sizeof data;
    const LONG status = RegQueryValueExA(key, name_start + 1, nullptr, &type, data, &size);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) ++values_found;
    RegCloseKey(key);
  }
  std::fclose(f);
  std::printf("lines %llu keys %llu found %llu values %llu found %llu\n", lines, keys, keys_found, values,
              values_found);
  return 0;
}
