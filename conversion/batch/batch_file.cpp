// See batch_file.h.
#include "conversion/batch/batch_file.h"

#include "conversion/text.h"
#include "conversion/unicode.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <tmmintrin.h>
#define RESIVEX_SSSE3_MARKS 1
#else
#define RESIVEX_SSSE3_MARKS 0
#endif

namespace resivex {

namespace {

// cmd reads a batch file in the console's OEM code page: convert the text so that cmd reads the same
// characters. False when the OEM code page cannot express it exactly (oem then holds "?" for the others).
bool to_oem(run_state& rs, std::string_view text, std::string& oem) {
  if (is_ascii(text)) {
    oem.assign(text);
    return true;
  }
  return rs.sys->oem_from_utf8(text, oem);
}

// A text for a REM line, as cmd will read it: in the OEM code page with "?" for what it lacks, every "%"
// doubled, and no "^", which at a line's end would join the next line to the comment.
std::string comment_for_cmd(run_state& rs, std::string_view text);

// cmd expands %name% inside double quotes too: every "%" of a path is written "%%".
std::string double_percent(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

std::string comment_for_cmd(run_state& rs, std::string_view text) {
  std::string oem;
  to_oem(rs, text, oem);
  for (char& c : oem) {
    if (c == '^') c = '?';
  }
  return double_percent(oem);
}

void write_header(run_state& rs, bool dir_form) {
  // The batch file's own name appears in comment lines; written as cmd will read it.
  std::string name;
  if (!to_oem(rs, rs.bat_name, name)) name = comment_for_cmd(rs, rs.bat_name);
  name = double_percent(name);
  rs.batch.write("echo off\n");
  rs.batch.write("color F0\n");
  rs.batch.write("REM The following files still exist...\n");
  // Which view the paths were read in, as cmd will read the line (a REM line runs nothing, but cmd still
  // expands "%" in it).
  rs.batch.write("REM " + comment_for_cmd(rs, files_view_note(rs.view, rs.windows_64bit, rs.windows_folder)) + "\n");
  if (dir_form) {
    // As a comment: otherwise cmd would run the words (and the report folder's "&" or "|") as a command.
    rs.batch.write("REM The following DIR commands are in file " + name + " \n\n");
  } else {
    rs.batch.write("REM The following DEL commands are in file " + name + " \n");
    rs.batch.write("REM The files will be DELETED if you execute file " + name + " \n\n");
  }
  rs.batch.write("cls\n");
  rs.batch.write("echo.\n");
  rs.batch.write("set _ok=\n");
  rs.batch.write("set /p _ok=Do you really want to DELETE these files? (Y/N) :\n");
  rs.batch.write("if /I NOT \"%_ok%\" == \"Y\" EXIT\n");
}

void write_folder_prompt(run_state& rs) {
  rs.batch.write("set _nop=\n");
  rs.batch.write("set _ok=\n");
  rs.batch.write("set /p _ok=Remove prompt to delete folders? (Y/N) :\n");
  rs.batch.write("if /I \"%_ok%\" == \"Y\" set _nop=/Q\n");
}

}  // namespace

bool entry_exists(run_state& rs, const char* path, bool folder, std::uint32_t* found) {
  const std::uint32_t attributes = rs.sys->file_attributes(path);
  if (found != nullptr) *found = attributes;
  if (attributes == win::invalid_file_attributes) return false;
  if (((attributes & win::file_attribute_directory) != 0) != folder) return false;
  return rs.sys->file_status(path) != ENOENT;
}

namespace {

// entry_exists for the item in out_line (its path), through what is known of the folder it lies in: once two
// items of one folder are found absent, the folder is tested once, and when it is gone too, every further
// item of it is known absent without asking. Most of a large report's absent files lie in folders that are
// gone.
bool item_exists(run_state& rs, std::string_view path, bool folder, std::uint32_t& attributes) {
  run_state::parent_memo& m = rs.parent;
  const std::size_t sep = path.rfind('\\');
  const std::string_view parent = sep == std::string_view::npos ? std::string_view() : path.substr(0, sep);
  if (parent != m.folder) {
    m.folder.assign(parent);
    m.misses = 0;
    m.tested = false;
    m.absent = false;
  } else if (m.absent) {
    return false;
  }
  if (entry_exists(rs, rs.out_line, folder, &attributes)) {
    m.misses = 0;
    return true;
  }
  // A drive's root is never gone; a folder refused for another reason than its absence is no answer.
  if (++m.misses >= 2 && !m.tested && parent.size() > 2) {
    m.tested = true;
    m.absent = rs.sys->file_attributes(m.folder.c_str()) == win::invalid_file_attributes &&
               rs.sys->file_status(m.folder.c_str()) == ENOENT;
  }
  return false;
}

// The item's short (8.3) path when it names the same item in the OEM code page exactly: the short path's own
// attributes are the item's, and its long form is the item's path again. Sets oem to its OEM text.
bool short_alias(run_state& rs, const char* path, std::uint32_t attributes, std::string& oem) {
  std::string short_name, long_name;
  if (!rs.sys->short_path(path, short_name) || short_name == path || !batch_path_is_safe(short_name)) return false;
  if (!rs.sys->oem_from_utf8(short_name, oem)) return false;
  if (rs.sys->file_attributes(short_name.c_str()) != attributes) return false;
  // Case aside (ASCII letters only: the report names the item as the file system spells it), the very path.
  return rs.sys->long_path(short_name.c_str(), long_name) && equal_ignoring_case(long_name, path);
}

// The characters as unsigned numbers: control characters are those below 0x20, and above 0x7F lies what is
// not ASCII.
using bytes16 = unsigned char __attribute__((vector_size(16)));

bytes16 load_bytes16(const char* p) { return (bytes16)load16(p); }

// What sixteen characters hold, as masks (bit k for the character k): the characters no path may hold,
// the backslashes, and the characters after which no backslash may come (dot, blank, backslash).
struct block_marks {
  unsigned forbidden;
  unsigned backslashes;
  unsigned ends;
};

// With comparisons, on any processor. Forbidden characters that differ in one bit are compared in pairs:
// ':' and '>' (0x3A, 0x3E), '"' and '*' (0x22, 0x2A), '/' and '?' (0x2F, 0x3F), '<' and '|' (0x3C, 0x7C);
// no other character gives the same once that bit is set.
struct compared_marks {
  block_marks operator()(const char* p) const {
    const bytes16 c = load_bytes16(p);
    const auto forbidden =
        (c < 0x20) | ((c | 0x04) == 0x3E) | ((c | 0x08) == 0x2A) | ((c | 0x10) == 0x3F) | ((c | 0x40) == 0x7C);
    const auto backslashes = c == '\\';
    return {lane_bits(forbidden), lane_bits(backslashes), lane_bits(backslashes | (c == '.') | (c == ' '))};
  }
};

#if RESIVEX_SSSE3_MARKS
// With SSSE3's byte shuffle, in a third of the instructions: a character's classes are the bits that two
// table entries share, one found by its low four bits, the other by its high four. Bit 0: control
// characters (high half 0 or 1); bit 1: '"', '*', '/' (high half 2); bit 2: blank and dot (high half 2);
// bit 3: ':', '<', '>', '?' (high half 3); bit 5: '|' (high half 7); bit 7: backslash (high half 5). Bit 7 is
// the one a byte mask reads; the others are brought there by a saturating addition of 0x7F.
struct looked_up_marks {
  __attribute__((target("ssse3"))) block_marks operator()(const char* p) const {
    const __m128i by_low = _mm_setr_epi8(0x05, 0x01, 0x03, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x0B, 0x01,
                                         static_cast<char>(0xA9), 0x01, 0x0D, 0x0B);
    const __m128i by_high = _mm_setr_epi8(0x01, 0x01, 0x06, 0x08, 0x00, static_cast<char>(0x80), 0x00, 0x20, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00);
    const __m128i low_half = _mm_set1_epi8(0x0F);
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i classes =
        _mm_and_si128(_mm_shuffle_epi8(by_low, _mm_and_si128(c, low_half)),
                      _mm_shuffle_epi8(by_high, _mm_and_si128(_mm_srli_epi16(c, 4), low_half)));
    const __m128i to_top = _mm_set1_epi8(0x7F);
    const auto mask = [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); };
    return {mask(_mm_adds_epu8(_mm_and_si128(classes, _mm_set1_epi8(0x2B)), to_top)), mask(classes),
            mask(_mm_adds_epu8(_mm_and_si128(classes, _mm_set1_epi8(static_cast<char>(0x84))), to_top))};
  }
};
#endif

// No forbidden character after "X:\", and every component non-empty and not ending in a dot or a blank (which
// also rules out "." and ".."): no backslash follows a dot, a blank or a backslash (the one of "X:\"
// included), and the path does not end in one of these.
template <class Marks>
[[gnu::always_inline]] inline bool path_is_safe_with(std::string_view path, Marks marks) {
  if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
  const char drive = path[0];
  if (!((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) return false;
  const char* const p = path.data();
  const std::size_t n = path.size();
  const auto unsafe = [](const block_marks& m, unsigned ends_before) {
    return (m.forbidden | (m.backslashes & ((m.ends << 1) | ends_before))) & 0xFFFF;
  };
  unsigned ends_before = 1;  // the character before the first block: the backslash of "X:\"
  std::size_t i = 3;
  for (; i + 16 <= n; i += 16) {
    const block_marks m = marks(p + i);
    if (unsafe(m, ends_before) != 0) return false;
    ends_before = (m.ends >> 15) & 1;
  }
  if (i < n && n >= 19) {
    // The last sixteen characters, overlapping those already seen (the character before each new one is
    // in the block too).
    if ((unsafe(marks(p + n - 16), 0) & (0xFFFFu << (16 - (n - i)))) != 0) return false;
  } else if (i < n) {
    // Fewer than sixteen after "X:", with the backslash of "X:\" first.
    char block[16];
    std::memset(block, 'a', sizeof block);
    std::memcpy(block, p + 2, n - 2);
    if ((unsafe(marks(block), 0) & ((1u << (n - 2)) - 2)) != 0) return false;
  }
  const char last = p[n - 1];
  return last != '.' && last != ' ' && last != '\\';
}

bool path_is_safe_compared(std::string_view path) { return path_is_safe_with(path, compared_marks{}); }

#if RESIVEX_SSSE3_MARKS
__attribute__((target("ssse3"))) bool path_is_safe_looked_up(std::string_view path) {
  return path_is_safe_with(path, looked_up_marks{});
}

bool processor_has_ssse3() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_SSSE3) != 0;
}

const bool has_ssse3 = processor_has_ssse3();
#endif

// Whether one of the "_" marked in `unders` (bit k for the character at base + k) begins "_nop".
bool nop_at_any(const char* p, std::size_t n, std::size_t base, unsigned unders) {
  for (; unders != 0; unders &= unders - 1) {
    const std::size_t i = base + static_cast<std::size_t>(__builtin_ctz(unders));
    if (i + 4 <= n && p[i + 1] == 'n' && p[i + 2] == 'o' && p[i + 3] == 'p') return true;
  }
  return false;
}

// What the writer must know of a path besides its safety, found in one pass of sixteen characters at a time.
struct path_marks {
  bool ascii = true;         // no character above 0x7F (no code-page conversion needed)
  std::size_t percents = 0;  // "%" characters, each written "%%"
  bool bang = false;         // a "!", which delayed expansion would read
  bool nop = false;          // the path holds "_nop"
};

path_marks marks_of(std::string_view text) {
  path_marks m;
  const char* const p = text.data();
  const std::size_t n = text.size();
  unsigned high = 0, bangs = 0;
  // Adds the marks of the sixteen characters from `base` on, of which only the lanes in `keep` are new.
  const auto mark = [&](const char* block, std::size_t base, unsigned keep) {
    const bytes16 c = load_bytes16(block);
    high |= lane_bits(c >= 0x80) & keep;
    bangs |= lane_bits(c == '!') & keep;
    if (const unsigned percents = lane_bits(c == '%') & keep) m.percents += static_cast<std::size_t>(__builtin_popcount(percents));
    if (const unsigned unders = lane_bits(c == '_') & keep; unders != 0 && !m.nop) m.nop = nop_at_any(p, n, base, unders);
  };
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) mark(p + i, i, 0xFFFF);
  if (i < n && n >= 16) {
    // The last sixteen characters, of which those already seen are left out.
    mark(p + n - 16, n - 16, (0xFFFFu << (16 - (n - i))) & 0xFFFF);
  } else if (i < n) {
    char tail[16];
    std::memset(tail, 'a', sizeof tail);
    std::memcpy(tail, p, n);
    mark(tail, 0, (1u << n) - 1);
  }
  m.ascii = high == 0;
  m.bang = bangs != 0;
  return m;
}

// Copies n characters sixteen at a time (the last step overlapping the one before), reading and writing
// nothing outside them: a library copy of a varying length costs a call, and a path is copied for every entry.
char* copy_chars(char* out, const char* p, std::size_t n) {
  if (n >= 16) {
    for (std::size_t i = 0; i + 16 < n; i += 16) std::memcpy(out + i, p + i, 16);
    std::memcpy(out + n - 16, p + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(out, p, 8);
    std::memcpy(out + n - 8, p + n - 8, 8);
  } else {
    for (std::size_t i = 0; i < n; ++i) out[i] = p[i];
  }
  return out + n;
}

// The path NUL-terminated in buf, which holds any path that gets a line.
template <std::size_t N>
void copy_path(char (&buf)[N], std::string_view path) {
  static_assert(N > entry_path_bytes);
  *copy_chars(buf, path.data(), path.size()) = '\0';
}

}  // namespace

bool batch_path_is_safe(std::string_view path) {
#if RESIVEX_SSSE3_MARKS
  if (has_ssse3) return path_is_safe_looked_up(path);
#endif
  return path_is_safe_compared(path);
}

namespace testing_only {

std::vector<bool (*)(std::string_view)> batch_path_safety_tests() {
  std::vector<bool (*)(std::string_view)> tests{path_is_safe_compared};
#if RESIVEX_SSSE3_MARKS
  if (has_ssse3) tests.push_back(path_is_safe_looked_up);
#endif
  return tests;
}

}  // namespace testing_only

std::string_view entry_path_of(std::string_view line, std::size_t start) {
  if (start > line.size()) return {};
  line.remove_prefix(start);
  // The path ends at the first TAB or line end, whichever comes first.
  return line.substr(0, find_either(line, '\t', '\n'));
}

batch_verb batch_verb_of(const run_state& rs) {
  batch_verb v;
  v.word = view_of(rs.mode_word);
  const char second = v.word.size() > 1 ? v.word[1] : v.word.size() == 1 ? ' ' : '"';
  // A line is a DIR line when the second letter of its verb is "I"; the header is the listing one for "I" only.
  v.dir_line = second == 'I' || second == 'i';
  v.dir_header = second == 'I';
  v.names_nop = v.word.find("_nop") != std::string_view::npos;
  return v;
}

int write_batch_entry(run_state& rs, const batch_verb& verb, std::string_view path) {
  // A path cut to fit, or one that could name something else, gets no line.
  if (longer_than(path, entry_path_capacity)) {
    ++rs.tally.inexpressible;
    return 0;
  }
  // Copied for the machine before the safety test, not after it: the copy's writes are then done when the
  // machine reads the text, instead of holding its reads up.
  copy_path(rs.out_line, path);
  std::uint32_t attributes = 0;
  if (!batch_path_is_safe(path)) {
    ++rs.tally.unsafe;
    return 0;
  }
  if (!item_exists(rs, path, !verb.files, attributes)) return 0;
  path_marks marks = marks_of(path);
  std::string converted;
  std::string_view oem = path;  // the path as cmd is to read it
  bool by_short_name = false;
  // cmd takes a path of MAX_PATH characters or more only in its long form (\\?\).
  const bool beyond_max_path = longer_than(path, max_path - 1);
  const bool exact_in_oem = marks.ascii || rs.sys->oem_from_utf8(path, converted);
  if (!exact_in_oem || beyond_max_path) {
    // A substituted "?" would be a wildcard for DEL: a path the OEM code page cannot express is written by the
    // item's short name, or not at all. A long path is written short where it has short names, so that cmd
    // reads it as every program does.
    std::string alias;
    if (short_alias(rs, rs.out_line, attributes, alias) && (!exact_in_oem || alias.size() < path.size())) {
      converted = std::move(alias);
      by_short_name = true;
    } else if (!exact_in_oem) {
      ++rs.bat_unwritable;
      ++rs.tally.inexpressible;
      return 0;
    } else if (marks.ascii) {
      converted.assign(path);
    }
    if (longer_than(converted, max_path - 1)) converted.insert(0, "\\\\?\\");
    oem = converted;
    marks = marks_of(oem);
  } else if (!marks.ascii) {
    oem = converted;
    marks = marks_of(oem);
  }
  const std::size_t percents = marks.percents;
  const bool nop = marks.nop;

  // The line: verb, blank, the path in quotes with every "%" doubled, three blanks in a DIR line, the line end.
  const std::string_view word = verb.word;
  const std::size_t length = word.size() + 2 + oem.size() + percents + 1 + (verb.dir_line ? 3 : 0) + 1;
  if (length >= work_line_capacity) {  // the line could not be written whole
    clear_text(rs.work_line);
    ++rs.bat_unwritable;
    ++rs.tally.inexpressible;
    return 0;
  }

  if (rs.bat_stage == 0) {
    write_header(rs, verb.dir_header);
    rs.bat_stage = 1;
  }
  // The prompt comes before the first line that names "_nop", in its verb or its path (the characters
  // around the path cannot be part of it).
  if (rs.bat_stage == 1 && (nop || verb.names_nop)) {
    write_folder_prompt(rs);
    rs.bat_stage = 2;
  }
  if (by_short_name) {
    // Which item the short name stands for, as far as cmd can show it (a REM line runs nothing).
    rs.batch.write("REM " + comment_for_cmd(rs, path) + "\n");
  }
  if (!rs.bat_expansion_off && marks.bang) {
    // Where delayed expansion is on (cmd /V:ON, or DelayedExpansion in the registry), cmd would read "!x!"
    // in the path as a variable, quotes or not, and the line would name another item.
    rs.batch.write("setlocal DisableDelayedExpansion\n");
    rs.bat_expansion_off = true;
  }

  // Composed straight into the output's block where it has room; in work_line otherwise.
  char* const room = rs.batch.reserve(length);
  char* out = room != nullptr ? room : rs.work_line;
  out = copy_chars(out, word.data(), word.size());
  *out++ = ' ';
  *out++ = '"';
  if (percents == 0) {
    out = copy_chars(out, oem.data(), oem.size());
  } else {
    for (char c : oem) {
      *out++ = c;
      if (c == '%') *out++ = '%';
    }
  }
  *out++ = '"';
  if (verb.dir_line) out = std::copy_n("   ", 3, out);
  *out++ = '\n';
  if (room != nullptr) {
    rs.batch.commit(length);
  } else {
    rs.batch.write(std::string_view(rs.work_line, length));
    std::memset(rs.work_line, 0, length);  // only these bytes were written: the buffer is all zeros again
  }
  ++rs.bat_lines;
  ++rs.tally.written;
  return 1;
}

}  // namespace resivex
