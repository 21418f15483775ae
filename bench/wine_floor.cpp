// resivex-bench-floor.exe: the floor that resivex-cli.exe is measured against under Wine, the plain way to
// ask the machine what the report's entries ask, with no memory from one entry to the next. It reads the
// report with 8192-byte line reads (fgets) and makes
//   - one GetFileAttributesA per entry line of "Folders added:" and "Files added:";
//   - one RegOpenKeyExA (and RegCloseKey when it opened) per line of "Keys added:";
//   - one RegOpenKeyExA of the key, RegQueryValueExA of the name and RegCloseKey per value of "Values added:"
//     and per pair of "Values modified:" (its old line: the conversion needs no more).
// A value's name is taken after the last backslash before the last ": ", as a plain reading of the line would;
// lines that continue an entry (broken by Regshot, or data holding a line break) are passed over. It writes
// nothing.
//
//   resivex-bench-floor REPORT [read]
//
// read: the reading alone. Prints the lines read, and the paths, keys and values asked for and found.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

enum class section { other, files, keys, values, modified };

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

// A section title, or one of the heading lines: a capital, a colon, and no backslash (every entry names a
// key or a path; 1.9.1's attribute lines start with a digit).
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

struct counts {
  unsigned long long paths = 0, paths_found = 0, keys = 0, keys_found = 0, values = 0, values_found = 0;
};

void ask_key(HKEY root, const char* path, counts& n) {
  ++n.keys;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    ++n.keys_found;
    RegCloseKey(key);
  }
}

// line holds the entry from the key on; the name ends at the last ": " (or a colon that ends the line).
void ask_value(HKEY root, char* line, counts& n) {
  char* sep = nullptr;
  for (char* p = line; (p = std::strchr(p, ':')) != nullptr; ++p) {
    if (p[1] == ' ' || p[1] == '\0') sep = p;
  }
  if (sep == nullptr) return;
  *sep = '\0';
  char* name = std::strrchr(line, '\\');
  if (name == nullptr) return;
  *name = '\0';
  ++n.values;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, line, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  static BYTE data[8192];
  DWORD type = 0, size = sizeof data;
  const LONG status = RegQueryValueExA(key, name + 1, nullptr, &type, data, &size);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) ++n.values_found;
  RegCloseKey(key);
}

}  // namespace

int main(int argc, char** argv) {
  const bool ask = argc == 2;
  if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "read") != 0)) {
    std::fputs("Usage: resivex-bench-floor REPORT [read]\n", stderr);
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "rb");
  if (f == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  static char buf[8192];
  unsigned long long lines = 0, entries_in_section = 0;
  counts n;
  section in = section::other;
  while (std::fgets(buf, sizeof buf, f) != nullptr) {
    ++lines;
    if (starts_with(buf, "----------")) continue;
    if (is_title(buf)) {
      in = starts_with(buf, "Files added:") || starts_with(buf, "Folders added:") ? section::files
           : starts_with(buf, "Keys added:")                                       ? section::keys
           : starts_with(buf, "Values added:")                                     ? section::values
           : starts_with(buf, "Values modified:")                                  ? section::modified
                                                                                    : section::other;
      entries_in_section = 0;
      continue;
    }
    if (in == section::other || !ask) continue;
    if (in == section::files) {
      if (buf[0] == '\0' || buf[1] != ':') continue;  // a blank line, or 1.9.1's attribute line
      buf[std::strcspn(buf, "\t\r\n")] = '\0';
      ++n.paths;
      if (GetFileAttributesA(buf) != INVALID_FILE_ATTRIBUTES) ++n.paths_found;
      continue;
    }
    std::size_t start = 0;
    const HKEY root = root_of(buf, start);
    if (root == nullptr) continue;                                           // the rest of an entry
    if (in == section::modified && entries_in_section++ % 2 == 1) continue;  // the new line of a pair
    buf[std::strcspn(buf, "\r\n")] = '\0';
    if (in == section::keys) ask_key(root, buf + start, n);
    else ask_value(root, buf + start, n);
  }
  std::fclose(f);
  std::printf("lines %llu paths %llu found %llu keys %llu found %llu values %llu found %llu\n", lines, n.paths,
              n.paths_found, n.keys, n.keys_found, n.values, n.values_found);
  return 0;
}
