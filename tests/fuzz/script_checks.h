// The promises every set of outputs must keep, whatever the report held: checked on every fuzz input and by
// the hostile-report unit tests. Each check returns an empty text when the output keeps them, otherwise what
// was broken and the line that broke it.
//
// - The batch file: each line is one of its fixed lines, or a command for a path that the report names, that
//   exists, that cannot name anything else, whose "%" signs are doubled, and that holds "!" only after the
//   line that switches delayed expansion off.
// - The registry scripts: each line is the header, a comment, a blank, a key line with a long hive name, or a
//   value line whose name and data are in registry-script notation (quotes and backslashes escaped, hex lists
//   with their continuation lines). Every key and value named exists, and the report names it; no key right
//   below HKEY_LOCAL_MACHINE or HKEY_USERS (where hives are loaded) is removed.
#pragma once

#include "conversion/batch/batch_file.h"
#include "conversion/report_view.h"
#include "conversion/unicode.h"
#include "conversion/win_types.h"

#include <functional>
#include <set>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace resivex::checks {

// What the machine says exists.
struct machine_oracle {
  std::function<bool(const std::string& path)> path_exists;
  std::function<bool(win::reg_key root, std::string_view sub_key)> key_exists;
  std::function<bool(win::reg_key root, std::string_view sub_key, std::string_view name)> value_exists;
};

// The text with its ASCII letters in lower case.
inline std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return out;
}

// The text of the test machines' ANSI code page (Latin-1) in UTF-8, the program's text.
inline std::string utf8_from_latin1(std::string_view raw) {
  std::u16string wide;
  for (const char c : raw) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  std::string out;
  utf8_from_utf16(wide, out);
  return out;
}

// The report in every form a name can stand in it, in UTF-8 as the program holds names: read as the ANSI code
// page of the test machines (Latin-1), decoded from UTF-16, or after a UTF-8 mark as it stands; and each with
// the line ends that Regshot's 1000-character breaks put into long entries taken out again.
class report_text {
public:
  explicit report_text(std::string_view raw) {
    add(utf8_from_latin1(raw));
    if (raw.find('\0') != std::string_view::npos) {
      for (std::size_t offset : {std::size_t{0}, std::size_t{1}}) add(from_utf16(raw.substr(offset)));
    }
    if (raw.substr(0, 3) == "\xEF\xBB\xBF") add(std::string(raw.substr(3)));
  }

  // True when the text occurs anywhere (line ends taken out).
  bool names(std::string_view text) const {
    for (const std::string& f : flat_) {
      if (f.find(text) != std::string::npos) return true;
    }
    return false;
  }

  // The same without regard to the case of ASCII letters.
  bool names_ignoring_case(std::string_view text) const {
    const std::string wanted = lower(text);
    for (const std::string& f : lower_flat_) {
      if (f.find(wanted) != std::string::npos) return true;
    }
    return false;
  }

  // True when the text occurs as a whole entry's path: followed by the end of its line, a TAB or the end of the
  // report (backslashes may come first: a key path that ends with one names the same key). Regshot's breaks
  // after 1000 characters are joined first, as the reader joins them.
  bool names_whole(std::string_view text) const {
    for (const std::string& f : joined_) {
      for (std::size_t at = f.find(text); at != std::string::npos; at = f.find(text, at + 1)) {
        std::size_t end = at + text.size();
        while (end < f.size() && f[end] == '\\') ++end;
        if (end == f.size() || f[end] == '\n') return true;  // a TAB may be part of a key's name
        if (f[end] == '\r' && (end + 1 == f.size() || f[end + 1] == '\n')) return true;
      }
    }
    return false;
  }

  // True when the text occurs followed by a carriage return that ends no line (more text follows it).
  bool names_before_inner_cr(std::string_view text) const {
    for (const std::string& f : joined_) {
      for (std::size_t at = f.find(text); at != std::string::npos; at = f.find(text, at + 1)) {
        const std::size_t end = at + text.size();
        if (end + 1 < f.size() && f[end] == '\r' && f[end + 1] != '\n') return true;
      }
    }
    return false;
  }

private:
  void add(std::string text) {
    std::string flat;
    for (char c : text) {
      if (c != '\r' && c != '\n') flat += c;
    }
    lower_flat_.push_back(lower(flat));
    flat_.push_back(std::move(flat));
    joined_.push_back(joined_breaks(text));
  }

  static std::string joined_breaks(const std::string& text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::size_t len = end - start;
      if (len > 0 && text[end - 1] == '\r') --len;
      out.append(text, start, len);
      if (end < text.size() && len != 1000) out.append(text, start + len, end + 1 - start - len);
      start = end + 1;
    }
    return out;
  }

  static std::string from_utf16(std::string_view raw) {
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
      wide += static_cast<char16_t>(static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8));
    }
    std::string out;
    utf8_from_utf16(wide, out);
    return out;
  }

  std::vector<std::string> flat_;
  std::vector<std::string> lower_flat_;
  std::vector<std::string> joined_;
};

// The paths by which a 32-bit report may name the item a batch line names (the test machines' Windows folder
// is C:\Windows): a line for SysWOW64\X stands for the report's System32\X, one for System32\X for its
// Sysnative\X (report_view.h).
inline std::vector<std::string> redirected_from(std::string_view path) {
  std::vector<std::string> from;
  const auto below = [&](std::string_view folder, std::string_view as) {
    const std::string start = lower(std::string("c:\\windows\\") + std::string(folder));
    if (lower(path.substr(0, start.size())) != start) return;
    if (path.size() > start.size() && path[start.size()] != '\\') return;
    from.push_back("C:\\Windows\\" + std::string(as) + std::string(path.substr(start.size())));
  };
  below("SysWOW64", "System32");
  below("System32", "Sysnative");
  below("lastgood\\SysWOW64", "lastgood\\System32");
  if (lower(path) == "c:\\windows\\syswow64\\regedit.exe") from.emplace_back("C:\\Windows\\regedit.exe");
  return from;
}

// The lines of a file as the core writes them (with "\n"; the last line may lack it).
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

inline std::string doubled_percent(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

inline std::string broken(const char* what, std::string_view line) {
  return std::string(what) + ": " + std::string(line.substr(0, 300));
}

// The batch file of a run whose listing word was `mode`. Paths are compared with the report byte for byte: a
// path beyond ASCII, which the batch file holds in the OEM code page, is not found in an ANSI report (the fuzz
// machine's OEM code page holds ASCII only, so it writes no such line).
inline std::string check_batch(const std::string& batch, const std::string& bat_name, const std::string& mode,
                               const report_text& report, const machine_oracle& machine) {
  const std::string name = doubled_percent(bat_name);
  const std::set<std::string> fixed = {
      "echo off", "color F0", "REM The following files still exist...",
      "REM The following DEL commands are in file " + name + " ",
      "REM The files will be DELETED if you execute file " + name + " ",
      "REM The following DIR commands are in file " + name + " ", "", "cls", "echo.", "set _ok=",
      "set /p _ok=Do you really want to DELETE these files? (Y/N) :", "if /I NOT \"%_ok%\" == \"Y\" EXIT",
      "set _nop=", "set /p _ok=Remove prompt to delete folders? (Y/N) :", "if /I \"%_ok%\" == \"Y\" set _nop=/Q",
      "setlocal DisableDelayedExpansion", "REM There are no files to delete.", "REM Remove them by hand.", "pause",
      // The note of the view the paths were read in (the test machines are 64-bit Windows in C:\Windows).
      "REM " + files_view_note(report_view::bits32, true, "C:\\Windows"),
      "REM " + files_view_note(report_view::bits64, true, "C:\\Windows"),
      "REM " + files_view_note(report_view::native, true, "C:\\Windows")};
  const bool dir_mode = mode.size() > 1 && mode[1] == 'I';
  bool delayed_expansion_off = false;
  for (const std::string& line : lines_of(batch)) {
    if (line == "setlocal DisableDelayedExpansion") delayed_expansion_off = true;
    if (fixed.count(line) != 0) continue;
    // The count of items that exist but whose path cannot be written exactly.
    const std::string_view count_line = "REM 9 more file(s) or folder(s) still exist, but their names cannot be written here exactly.";
    if (line.rfind("REM ", 0) == 0 && line.size() > 4 && line[4] >= '1' && line[4] <= '9') {
      const std::size_t digits = line.find_first_not_of("0123456789", 4);
      if (digits != std::string::npos && std::string_view(line).substr(digits) == count_line.substr(5)) continue;
    }
    std::string rest;
    if (line.rfind("RMDIR /S %_nop% \"", 0) == 0 && !dir_mode) {
      rest = line.substr(17);
    } else if (line.rfind(mode + " \"", 0) == 0) {
      rest = line.substr(mode.size() + 2);
    } else {
      return broken("batch line with an unknown verb", line);
    }
    const std::string tail = dir_mode ? "\"   " : "\"";
    if (rest.size() < tail.size() || rest.compare(rest.size() - tail.size(), tail.size(), tail) != 0) {
      return broken("batch line does not end with its closing quote", line);
    }
    rest.resize(rest.size() - tail.size());
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == '"') return broken("quote inside a batch path", line);
      if (rest[i] == '%') {
        if (i + 1 >= rest.size() || rest[i + 1] != '%') return broken("single percent sign in a batch path", line);
        ++i;
      }
      path += rest[i];
    }
    // With delayed expansion on (cmd /V:ON, or the registry's DelayedExpansion), "!x!" would be expanded.
    if (path.find('!') != std::string::npos && !delayed_expansion_off) {
      return broken("\"!\" in a batch path while delayed expansion may be on", line);
    }
    // A path of MAX_PATH characters or more goes in its long form.
    if (path.rfind("\\\\?\\", 0) == 0) {
      path.erase(0, 4);
      if (path.size() < max_path) return broken("long form of a path that needs none", line);
    }
    if (!batch_path_is_safe(path)) return broken("unsafe batch path", line);
    if (!machine.path_exists(path)) return broken("batch line for a path that does not exist", line);
    if (!report.names(path)) {
      bool named = false;
      for (const std::string& from : redirected_from(path)) named = named || report.names_ignoring_case(from);
      if (!named) return broken("batch line for a path the report does not name", line);
    }
  }
  return {};
}

namespace detail {

struct hive_long_name {
  std::string_view name;
  win::reg_key root;
};
inline constexpr hive_long_name long_hives[] = {
    {"HKEY_CLASSES_ROOT", win::hkey_classes_root},   {"HKEY_USERS", win::hkey_users},
    {"HKEY_LOCAL_MACHINE", win::hkey_local_machine}, {"HKEY_CURRENT_USER", win::hkey_current_user},
    {"HKEY_CURRENT_CONFIG", win::hkey_current_config},
};

// The keys a report can name by the name that the system resolves (the test machines resolve as Windows
// does): HKCU\X is HKEY_USERS\<the user's SID>\X, HKCR\X is HKEY_LOCAL_MACHINE\SOFTWARE\Classes\X, and HKCC\X
// is HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current\X. The resolved name itself first.
inline constexpr std::string_view current_user_sid = "S-1-5-21-0-0-0-1000";
inline std::vector<std::pair<win::reg_key, std::string>> report_forms(win::reg_key root, std::string_view sub_key) {
  std::vector<std::pair<win::reg_key, std::string>> forms{{root, std::string(sub_key)}};
  const auto below = [&](win::reg_key from, std::string_view key, win::reg_key as) {
    if (root != from || sub_key.substr(0, key.size()) != key) return;
    if (sub_key.size() > key.size() && sub_key[key.size()] == '\\') forms.emplace_back(as, sub_key.substr(key.size() + 1));
  };
  below(win::hkey_users, current_user_sid, win::hkey_current_user);
  below(win::hkey_local_machine, "SOFTWARE\\Classes", win::hkey_classes_root);
  below(win::hkey_local_machine, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current", win::hkey_current_config);
  return forms;
}

inline bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A quoted text with "\" and `"` escaped, from `at` (the opening quote). Sets `end` past the closing quote and
// `text` to the unescaped content. False when it is not properly quoted.
inline bool quoted(std::string_view line, std::size_t at, std::size_t& end, std::string& text) {
  text.clear();
  if (at >= line.size() || line[at] != '"') return false;
  for (std::size_t i = at + 1; i < line.size(); ++i) {
    if (line[i] == '"') {
      end = i + 1;
      return true;
    }
    if (line[i] == '\\') {
      if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) return false;
      ++i;
    }
    text += line[i];
  }
  return false;
}

// A piece of a hex list: "XX,XX,...,XX", or ending in "," plus a backslash and blanks when the list goes on.
// An empty piece is allowed only as a whole list. Returns false when malformed; sets `continues`.
inline bool hex_piece(std::string_view piece, bool& continues) {
  continues = false;
  std::size_t end = piece.size();
  while (end > 0 && piece[end - 1] == ' ') --end;
  if (end > 0 && piece[end - 1] == '\\') {
    continues = true;
    piece = piece.substr(0, end - 1);
    if (piece.empty() || piece.back() != ',') return false;
    piece.remove_suffix(1);
  }
  if (piece.empty()) return !continues;
  for (std::size_t i = 0;; i += 3) {
    if (i + 2 > piece.size() || !is_hex(piece[i]) || !is_hex(piece[i + 1])) return false;
    if (i + 2 == piece.size()) return true;
    if (piece[i + 2] != ',') return false;
  }
}

// The data part of a value line, after "=": true when well formed; `continues` when a hex list goes on.
inline bool value_data(std::string_view data, bool removal, bool& continues) {
  continues = false;
  if (removal) return data == "-";
  if (data.substr(0, 1) == "\"") {
    std::size_t end = 0;
    std::string text;
    return quoted(data, 0, end, text) && end == data.size();
  }
  if (data.substr(0, 6) == "dword:") {
    if (data.size() != 14) return false;
    for (char c : data.substr(6)) {
      if (!is_hex(c)) return false;
    }
    return true;
  }
  std::size_t colon = 0;
  if (data.substr(0, 4) == "hex:") {
    colon = 3;
  } else if (data.substr(0, 4) == "hex(" && data.size() >= 7 && data.substr(5, 2) == "):" && is_hex(data[4])) {
    colon = 6;
  } else {
    return false;
  }
  return hex_piece(data.substr(colon + 1), continues);
}

}  // namespace detail

// A registry script's text in UTF-8 with "\n" line ends: regedit's own form (a UTF-16LE byte-order mark, then
// UTF-16LE lines that end with CR LF), or a REGEDIT4 script in the test machines' ANSI code page. Sets
// `broken` when the form is not kept.
inline std::string script_text(const std::string& bytes, std::string& broken) {
  if (bytes.substr(0, 2) != "\xFF\xFE") return utf8_from_latin1(bytes);
  if (bytes.size() % 2 != 0) broken = "registry script ends inside a UTF-16 unit";
  std::u16string wide;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == u'\n' && (wide.empty() || wide.back() != u'\r')) broken = "registry script line ends without CR";
    if (!wide.empty() && wide.back() == u'\r' && unit == u'\n') wide.pop_back();
    wide += unit;
  }
  std::string text;
  if (!utf8_from_utf16(wide, text)) broken = "registry script holds a lone surrogate";
  return text;
}

// A registry script of the run: `removal` for report.reg (key deletions and "=-" values), otherwise the reset
// script report_mods.reg. Taken as written (bytes).
inline std::string check_reg_script(const std::string& bytes, bool removal, const report_text& report,
                                    const machine_oracle& machine) {
  std::string form;
  const std::string script = script_text(bytes, form);
  if (!form.empty()) return form;
  const std::vector<std::string> lines = lines_of(script);
  if (lines.empty()) return "registry script is empty";
  if (lines[0] != "Windows Registry Editor Version 5.00" && lines[0] != "REGEDIT4") {
    return broken("registry script without its header", lines[0]);
  }
  if (!script.empty() && script.back() != '\n') return "registry script does not end with a line end";
  bool in_value_key = false;  // the last key line opened a key (values may follow)
  win::reg_key root = 0;
  std::string sub_key;
  bool continues = false;  // the last value line's hex list goes on
  std::string name;
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    if (line.find_first_of(std::string_view("\r\0", 2)) != std::string::npos) {
      return broken("carriage return or NUL inside a registry script line", line);
    }
    if (continues) {
      const std::size_t start = line.find_first_not_of(' ');
      if (start == 0 || start == std::string::npos) return broken("hex list goes on without its next line", line);
      if (!detail::hex_piece(std::string_view(line).substr(start), continues) || start == line.size()) {
        return broken("malformed continuation of a hex list", line);
      }
      continue;
    }
    if (line.empty() || line[0] == ';' || line.find_first_not_of(' ') == std::string::npos) continue;
    if (utf16_length(line) >= 1024) return broken("registry line longer than an output line", line);
    if (line[0] == '[') {
      const bool deletes = line.size() > 1 && line[1] == '-';
      if (deletes && !removal) return broken("the reset script deletes a key", line);
      if (line.back() != ']') return broken("key line without its closing bracket", line);
      const std::string_view path = std::string_view(line).substr(deletes ? 2 : 1, line.size() - (deletes ? 3 : 2));
      const std::size_t hive_end = std::min(path.find('\\'), path.size());
      const detail::hive_long_name* hive = nullptr;
      for (const auto& h : detail::long_hives) {
        if (path.substr(0, hive_end) == h.name) hive = &h;
      }
      if (hive == nullptr) return broken("key line without a long hive name", line);
      root = hive->root;
      sub_key.assign(hive_end < path.size() ? path.substr(hive_end + 1) : std::string_view());
      if (sub_key.empty() || sub_key.back() == '\\') {
        if (deletes || hive_end < path.size()) return broken("key line for a whole hive or an empty name", line);
      }
      if (deletes && (root == win::hkey_local_machine || root == win::hkey_users) &&
          sub_key.find('\\') == std::string::npos) {
        return broken("key line that removes a hive loaded below HKEY_LOCAL_MACHINE or HKEY_USERS", line);
      }
      // The line names the key as the system resolves it; the report names it in one of its forms.
      bool exists = false, named = false, cut = false;
      for (const auto& [form_root, form_sub_key] : detail::report_forms(root, sub_key)) {
        if (!machine.key_exists(form_root, form_sub_key)) continue;
        exists = true;
        if (deletes ? report.names_whole(form_sub_key) : report.names(form_sub_key + "\\")) {
          named = true;
          root = form_root;
          sub_key = form_sub_key;
          break;
        }
        cut = cut || (deletes && report.names_before_inner_cr(form_sub_key));
      }
      if (!exists) return broken("key line for a key that does not exist", line);
      if (cut && !named) return broken("key line for a key path cut at a carriage return", line);
      if (!named) return broken("key line for a key the report does not name", line);
      in_value_key = !deletes;
      continue;
    }
    // A value line: the name, "=", the data.
    if (!in_value_key) return broken("value line outside a key line", line);
    std::size_t end = 0;
    bool is_default = false;
    if (line[0] == '@') {
      end = 1;
      is_default = true;
      name.clear();
    } else if (!detail::quoted(line, 0, end, name)) {
      return broken("value name not properly quoted", line);
    }
    if (end >= line.size() || line[end] != '=') return broken("value line without \"=\" after its name", line);
    if (!detail::value_data(std::string_view(line).substr(end + 1), removal, continues)) {
      return broken("value data not in registry-script notation", line);
    }
    if (!machine.value_exists(root, sub_key, name)) return broken("value line for a value that does not exist", line);
    const bool named = is_default ? report.names(sub_key + "\\:") : report.names(sub_key + "\\" + name + ":");
    if (!named) {
      // The entry read as a key whose last name is empty ("Key\\Name: data"): no key has an empty name.
      for (std::string extra = "\\\\"; extra.size() <= 4; extra += '\\') {
        if (report.names(sub_key + extra + (is_default ? "" : name) + ":")) {
          return broken("value line read from an entry with an empty key name", line);
        }
      }
      return broken("value line for a value the report does not name", line);
    }
  }
  if (continues) return "registry script ends inside a hex list";
  return {};
}

}  // namespace resivex::checks
