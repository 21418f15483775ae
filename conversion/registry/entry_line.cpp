// See entry_line.h.
#include "conversion/registry/entry_line.h"

#include "conversion/registry/probe.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define RESIVEX_REG_SSE2 1
#endif

namespace resivex {

namespace {

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// The characters of a line are looked at sixteen at a time: a mask with bit i set when p[i] is one of the
// wanted characters (all of them nonzero). Only `n` (at most 16) characters are read: the last piece of a line
// is copied into a block of zeros first, so that nothing past the text is touched.
template <char... wanted>
unsigned marks16(const char* p, std::size_t n) {
  char tail[16];
  if (n < 16) {
    std::memset(tail, 0, sizeof tail);
    if (n != 0) std::memcpy(tail, p, n);
    p = tail;
  }
#ifdef RESIVEX_REG_SSE2
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i hit = _mm_setzero_si128();
  ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(block, _mm_set1_epi8(wanted)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
#else
  unsigned mask = 0;
  for (unsigned i = 0; i < 16; ++i) {
    if (((p[i] == wanted) || ...)) mask |= 1u << i;
  }
  return mask;
#endif
}

// Index of the lowest set bit of a nonzero mask.
inline unsigned lowest_bit(unsigned mask) {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<unsigned>(__builtin_ctz(mask));
#else
  unsigned i = 0;
  while ((mask & 1u) == 0) {
    mask >>= 1;
    ++i;
  }
  return i;
#endif
}

bool holds_line_break(std::string_view s) { return find_first_char(s, "\r\n") != std::string_view::npos; }

}  // namespace

std::size_t find_first_char(std::string_view text, std::string_view chars, std::size_t from) {
#ifdef RESIVEX_REG_SSE2
  // Up to four characters (the sets used here) in one pass, sixteen characters at a time: a search a
  // character would go over the whole line once for each character that is not in it.
  if (!chars.empty() && chars.size() <= 4 && chars.find('\0') == std::string_view::npos) {
    __m128i want[4];
    for (std::size_t k = 0; k < 4; ++k) want[k] = _mm_set1_epi8(chars[k < chars.size() ? k : 0]);
    char tail[16];
    for (std::size_t base = from; base < text.size(); base += 16) {
      const std::size_t n = std::min<std::size_t>(16, text.size() - base);
      const char* p = text.data() + base;
      if (n < 16) {
        std::memset(tail, 0, sizeof tail);
        std::memcpy(tail, p, n);
        p = tail;
      }
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, want[0]), _mm_cmpeq_epi8(block, want[1])),
                                       _mm_or_si128(_mm_cmpeq_epi8(block, want[2]), _mm_cmpeq_epi8(block, want[3])));
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
      if (mask != 0) return base + lowest_bit(mask);
    }
    return std::string_view::npos;
  }
#endif
  std::size_t best = text.size();
  for (char c : chars) {
    if (from >= best) break;
    const std::size_t at = text.substr(0, best).find(c, from);
    if (at != std::string_view::npos) best = at;
  }
  return best == text.size() ? std::string_view::npos : best;
}

int key_start_of(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i < line.size() && line[i] == '\t') ++i;
  return static_cast<int>(i);
}

std::string_view entry_body(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

namespace {

// True when `rest` begins with one of the words.
bool word_at(std::string_view rest, std::initializer_list<std::string_view> words) {
  for (std::string_view w : words) {
    const std::size_t second = w.size() > 1 ? 1 : 0;  // not 1 % size: a division at every backslash
    if (rest.size() >= w.size() && rest[second] == w[second] &&
        std::char_traits<char>::compare(rest.data(), w.data(), w.size()) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool holds_any(std::string_view line, std::initializer_list<std::string_view> words) {
  // The skip words all begin with a backslash: one pass over the line tests them all at its backslashes,
  // where a search a word would stop at every backslash of the line once for each word.
  const char lead = words.size() > 0 && !words.begin()->empty() ? words.begin()->front() : '\0';
  bool same_lead = lead != '\0';
  for (std::string_view w : words) same_lead = same_lead && !w.empty() && w.front() == lead;
  if (!same_lead) {
    for (std::string_view w : words) {
      if (line.find(w) != std::string_view::npos) return true;
    }
    return false;
  }
  // Sixteen characters at a time: the backslashes of the line come as bits of a mask (most of a line is its
  // data, which holds few of them).
  if (lead != '\\') {
    const char* const end = line.data() + line.size();
    for (const char* at = line.data(); at != end; ++at) {
      at = static_cast<const char*>(std::memchr(at, lead, static_cast<std::size_t>(end - at)));
      if (at == nullptr) return false;
      if (word_at(std::string_view(at, static_cast<std::size_t>(end - at)), words)) return true;
    }
    return false;
  }
  const char* const text = line.data();
  for (std::size_t base = 0; base < line.size(); base += 16) {
    unsigned mask = marks16<'\\'>(text + base, std::min<std::size_t>(16, line.size() - base));
    while (mask != 0) {
      const std::size_t at = base + lowest_bit(mask);
      mask &= mask - 1;
      if (word_at(line.substr(at), words)) return true;
    }
  }
  return false;
}

void candidate_splits(std::string_view line, int key_start, split_list& out) {
  out.count = 0;
  const std::string_view body = entry_body(line);
  const auto start = static_cast<std::size_t>(key_start);
  if (start >= body.size()) return;
  // One pass from the key start, sixteen characters at a time, finds the hive's end (the first backslash),
  // the first line break, and the separators and backslashes after the hive (most entries have one separator
  // and a handful of backslashes among a hundred characters); they are then taken in the order above. An
  // entry with more of them than is kept goes character by character.
  constexpr std::size_t kept = 128;
  std::size_t seps[kept];
  std::size_t slashes[kept];
  std::size_t n_seps = 0;
  std::size_t n_slashes = 0;
  std::size_t slashes_before_last_sep = 0;
  bool all_kept = true;
  std::size_t hive_end = std::string_view::npos;
  // A key path never holds a line break: a candidate whose key would take one reads data as the key.
  std::size_t first_break = std::string_view::npos;
  const char* const text = body.data();
  for (std::size_t base = start; base < body.size() && all_kept; base += 16) {
    unsigned mask = marks16<'\\', ':', '\r', '\n'>(text + base, std::min<std::size_t>(16, body.size() - base));
    while (mask != 0) {
      const std::size_t at = base + lowest_bit(mask);
      mask &= mask - 1;
      const char c = text[at];
      if (c == '\r' || c == '\n') {
        if (first_break == std::string_view::npos) first_break = at;
      } else if (hive_end == std::string_view::npos) {
        if (c == '\\') hive_end = at;  // a colon before the hive's end ends no name
      } else if (c == '\\') {
        if (n_slashes == kept) {
          all_kept = false;
          break;
        }
        slashes[n_slashes++] = at;
      } else if (at + 1 == body.size() || text[at + 1] == ' ') {
        if (n_seps == kept) {
          all_kept = false;
          break;
        }
        seps[n_seps++] = at;
        slashes_before_last_sep = n_slashes;
      }
    }
  }
  if (hive_end == std::string_view::npos) return;
  if (!all_kept) first_break = find_first_char(body, "\r\n", start);
  auto add = [&](std::size_t key_end, std::size_t name_start, std::size_t name_end, bool is_default) {
    if (out.count >= max_candidate_splits || key_end <= hive_end) return;
    if (first_break != std::string_view::npos && first_break < key_end) return;
    // No key has an empty name: in "Key\\Name" the second backslash begins the value's name.
    if (body[key_end - 1] == '\\') return;
    value_split& s = out.items[out.count++];
    s.key_start = key_start;
    s.key_end = static_cast<int>(key_end);
    s.name_start = static_cast<int>(name_start);
    s.name_end = static_cast<int>(name_end);
    // Regshot shows the default value only as "Key\: data": a name "(Default)" is a value of that name (as
    // PowerShell creates for one who meant the default), and the key's default value is the user's.
    s.is_default = is_default;
  };
  n_slashes = slashes_before_last_sep;  // a key ends before its separator
  if (all_kept) {
    for (std::size_t k = n_seps; k-- > 0 && out.count < max_candidate_splits;) {
      const std::size_t sep = seps[k];
      std::size_t b = sep;
      if (body[sep - 1] == '\\') {
        add(sep - 1, sep, sep, true);  // "Key\: data": the default value of Key
        b = sep - 1;
      }
      for (std::size_t j = n_slashes; j-- > 0;) {
        if (slashes[j] < b) add(slashes[j], slashes[j] + 1, sep, false);
      }
    }
    return;
  }
  for (std::size_t sep = body.size(); sep-- > hive_end + 1;) {
    if (body[sep] != ':') continue;
    const bool separator = sep + 1 == body.size() || body[sep + 1] == ' ';
    if (!separator) continue;
    std::size_t b = sep;
    if (body[sep - 1] == '\\') {
      add(sep - 1, sep, sep, true);  // "Key\: data": the default value of Key
      b = sep - 1;
    }
    while (b-- > hive_end) {
      if (body[b] == '\\') add(b, b + 1, sep, false);
    }
  }
}

int data_start_of(std::string_view line, const value_split& split) {
  const auto end = static_cast<std::size_t>(split.name_end);
  const std::string_view body = entry_body(line);
  if (end + 1 < body.size() && body[end + 1] == ' ') return static_cast<int>(end + 2);
  return static_cast<int>(std::min(end + 1, body.size()));
}

bool long_key_path(std::string_view path, std::string& out) {
  const std::size_t hive_end = std::min(path.find('\\'), path.size());
  const hive_name* hive = find_hive(path.substr(0, hive_end));
  if (hive == nullptr) return false;
  out.assign(hive->long_name);
  out.append(path.substr(hive_end));
  while (!out.empty() && out.back() == '\\') out.pop_back();  // the form regedit itself writes
  return true;
}

bool quoted_value_name(std::string_view name, bool is_default, std::string& out) {
  out.clear();
  if (is_default) {
    out.push_back('@');
    return true;
  }
  if (holds_line_break(name)) return false;
  out += '"';
  for (char c : name) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return true;
}

void comment_text(std::string_view text, std::string& out) {
  out.clear();
  for (char c : text) out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
}

bool names_sub_key(std::string_view path) {
  const std::size_t hive_end = path.find('\\');
  return hive_end != std::string_view::npos && path.find_first_not_of('\\', hive_end) != std::string_view::npos;
}

bool is_same_or_under(std::string_view path, std::string_view key) {
  if (key.empty() || path.size() < key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (upper_ascii(path[i]) != upper_ascii(key[i])) return false;
  }
  return path.size() == key.size() || path[key.size()] == '\\';
}

}  // namespace resivex
