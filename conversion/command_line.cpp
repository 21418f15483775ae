// See command_line.h.
#include "conversion/command_line.h"

#include "conversion/unicode.h"

#include <string>
#include <string_view>

namespace resivex {

namespace {

void set_program_folder(run_state& rs, std::string_view program) {
  const std::size_t sep = program.find_last_of("\\/");
  const std::string_view folder = sep == std::string_view::npos ? std::string_view() : program.substr(0, sep + 1);
  rs.program_folder.assign(folder);
  rs.help_path = rs.program_folder + "RESIVEX.TXT";
  rs.excl_path = rs.program_folder + "do_not_modify_list.TXT";
}

// The word starts every line of the batch file as cmd reads it: a verb of letters, digits and "_", then only
// switches ("/" and letters, digits, ":" or "-"). Anything else could add a command ("&", "%", quotes) or a
// second target ("DEL /Q X" deletes X too); and DEL takes no /S, which would delete the named file in every
// folder below.
bool is_safe_mode_word(std::string_view word) {
  const auto verb_char = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; };
  const auto switch_char = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '-' || c == '/';
  };
  std::size_t i = 0;
  while (i < word.size() && verb_char(word[i])) ++i;
  if (i == 0) return false;
  while (i < word.size()) {
    while (i < word.size() && word[i] == ' ') ++i;
    if (i == word.size()) break;
    if (word[i] != '/') return false;
    for (; i < word.size() && word[i] != ' '; ++i) {
      if (!switch_char(word[i])) return false;
    }
  }
  if (!starts_with(word, "DEL")) return true;
  for (std::size_t k = 0; k + 1 < word.size(); ++k) {
    if (word[k] == '/' && word[k + 1] == 'S' &&
        (k + 2 == word.size() || word[k + 2] == ' ' || word[k + 2] == '/' || word[k + 2] == ':')) {
      return false;
    }
  }
  return true;
}

void set_mode_word(run_state& rs, std::string_view word) {
  copy_text(rs.mode_word, word);  // at most 23 characters
  for (char& c : rs.mode_word) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const std::string_view stored = view_of(rs.mode_word);
  if (!starts_with(stored, "DEL") && !starts_with(stored, "DIR")) copy_text(rs.mode_word, "DIR");
  if (!is_safe_mode_word(view_of(rs.mode_word))) copy_text(rs.mode_word, "DIR");
}

}  // namespace

int process_command_line(run_state& rs, int argc, const char* const* argv) {
  set_program_folder(rs, argc > 0 && argv[0] != nullptr ? argv[0] : "");
  if (argc > 2 && argv[2] != nullptr) set_mode_word(rs, argv[2]);

  rs.startup_report.clear();
  if (argc < 2 || argv[1] == nullptr || argv[1][0] == '\0') return 0;
  // The outputs are named after the report and written beside it, so a relative path is made absolute now:
  // the current folder may change before they are opened again (a file dialog changes it).
  std::string report = argv[1];
  std::string full;
  if (rs.sys->full_path(argv[1], full)) report = full;
  // Beyond what the system takes, the path names no file.
  if (longer_than(report, path_char_limit)) {
    show_message(rs, msg::report_path_too_long, argv[1]);
    return -1;
  }
  rs.startup_report = report;
  return static_cast<int>(report.size());
}

std::vector<std::u16string> split_command_line(std::u16string_view line) {
  std::vector<std::u16string> args;
  std::size_t i = 0;
  const auto blank = [&](std::size_t k) { return k < line.size() && (line[k] == u' ' || line[k] == u'\t'); };
  // The program's name: no backslash rules, a quote only begins and ends it.
  std::u16string first;
  if (i < line.size() && line[i] == u'"') {
    for (++i; i < line.size() && line[i] != u'"'; ++i) first += line[i];
    if (i < line.size()) ++i;
  } else {
    for (; i < line.size() && !blank(i); ++i) first += line[i];
  }
  args.push_back(first);
  while (blank(i)) ++i;
  while (i < line.size()) {
    std::u16string arg;
    std::size_t backslashes = 0;
    int quotes = 0;  // odd: inside a quoted part
    for (; i < line.size(); ++i) {
      const char16_t c = line[i];
      if ((c == u' ' || c == u'\t') && quotes % 2 == 0) break;
      if (c == u'\\') {
        arg += c;
        ++backslashes;
        continue;
      }
      if (c != u'"') {
        arg += c;
        backslashes = 0;
        continue;
      }
      if (backslashes % 2 == 0) {
        arg.resize(arg.size() - backslashes / 2);
        ++quotes;
      } else {
        arg.resize(arg.size() - backslashes / 2 - 1);
        arg += u'"';
      }
      backslashes = 0;
      // The quotes that follow at once: every third one is a literal quote.
      while (i + 1 < line.size() && line[i + 1] == u'"') {
        ++i;
        if (++quotes == 3) {
          arg += u'"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
    }
    args.push_back(std::move(arg));
    while (blank(i)) ++i;
  }
  return args;
}

}  // namespace resivex
