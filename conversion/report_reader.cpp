// Line and entry reader of the report; see report_reader.h.
#include "conversion/report_reader.h"

#include "conversion/text.h"
#include "conversion/unicode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace resivex {

namespace {

constexpr std::size_t block_size = 64 * 1024;
constexpr std::size_t text_room = line_units;          // characters of the file a line keeps
constexpr std::size_t buffer_room = line_capacity - 1;  // bytes a line buffer holds
constexpr std::size_t wrap_length = 1000;             // Regshot 1.9.x breaks entries after this many characters
constexpr std::size_t ring_size = 72;
constexpr std::size_t max_blank_run = 64;  // blank lines inside one entry's data that are looked through

constexpr std::string_view dashes = "----------------------------------";
constexpr std::array<std::string_view, 12> titles = {
    "Keys deleted:",  "Keys added:",   "Values deleted:",  "Values added:",
    "Values modified:", "Files added:", "Files deleted:",  "Files [attributes?] modified:",
    "Folders added:", "Folders deleted:", "Folders attributes changed:", "Total changes:"};
constexpr std::array<std::string_view, 10> hive_prefixes = {
    "HKEY_CLASSES_ROOT", "HKEY_USERS", "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CURRENT_CONFIG",
    "HKCR", "HKU", "HKLM", "HKCU", "HKCC"};

}  // namespace

namespace {

// Every boundary starts with one of these characters: nearly every line is answered by its first one.
inline bool may_start_boundary(char first) {
  switch (first) {
    case '-': case 'K': case 'V': case 'F': case 'T': return true;
    default: return false;
  }
}

}  // namespace

bool is_section_boundary(std::string_view line) {
  if (line.empty() || !may_start_boundary(line[0])) return false;
  if (starts_with(line, dashes)) return true;
  for (std::string_view title : titles) {
    if (starts_with(line, title)) return true;
  }
  return false;
}

bool starts_with_hive(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i < line.size() && line[i] == '\t') ++i;
  line.remove_prefix(i);
  for (std::string_view hive : hive_prefixes) {
    if (starts_with(line, hive) && (line.size() == hive.size() || line[hive.size()] == '\\')) return true;
  }
  return false;
}

report_reader::report_reader(machine& m, std::FILE* stream, bool joins_wrapped_lines)
    : machine_(m), stream_(stream), joins_wrapped_(joins_wrapped_lines), block_(new char[block_size]),
      ring_(ring_size) {
  phys_.reserve(2 * line_capacity);
  for (text_line& l : ring_) l.text.reserve(line_capacity);
  detect_encoding();
}

report_reader::~report_reader() {
  if (stream_ != nullptr) std::fclose(stream_);
}

bool report_reader::fill_block() {
  if (input_done_ || stream_ == nullptr) return false;
  // Keep a byte left over from a UTF-16 code unit that the last block split.
  const std::size_t left = block_end_ - block_pos_;
  if (left > 0) std::memmove(block_.get(), block_.get() + block_pos_, left);
  block_pos_ = 0;
  block_end_ = left;
  const std::size_t got = std::fread(block_.get() + left, 1, block_size - left, stream_);
  block_end_ += got;
  bytes_read_ += got;
  if (got == 0) {
    input_done_ = true;  // a read error ends the input too; read_failed tells the two apart
    read_failed_ = std::ferror(stream_) != 0;
  }
  return got > 0;
}

void report_reader::detect_encoding() {
  fill_block();
  const auto* b = reinterpret_cast<const unsigned char*>(block_.get());
  const std::size_t n = block_end_;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    encoding_ = report_encoding::utf8;
    block_pos_ = 3;
    return;
  }
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    encoding_ = report_encoding::utf16le;
    block_pos_ = 2;
    return;
  }
  // Without a mark, a NUL in (nearly) every second byte of the first line gives UTF-16 away. The first
  // character of a Unicode report can be garbled, so one exception is allowed for.
  std::size_t pairs = 0, zero_high = 0;
  for (std::size_t i = 0; i + 1 < n && pairs < 128; i += 2) {
    if (b[i] == '\n' && b[i + 1] == 0) break;
    ++pairs;
    if (b[i + 1] == 0) ++zero_high;
  }
  if (pairs > 0 && zero_high * 4 >= pairs * 3) encoding_ = report_encoding::utf16le;
}

// Appends the next physical line, without its line end, to phys_ in the file's units, keeping at most
// text_room units in phys_ altogether. Returns false when the input has nothing left.
bool report_reader::next_physical() {
  const bool wide = encoding_ == report_encoding::utf16le;
  const std::size_t unit = wide ? 2 : 1;
  std::size_t units = 0;  // all units of this line before its line end
  bool any = false;
  bool line_cut = false;
  bool last_was_cr = false;
  phys_lf_ = phys_cr_ = phys_nul_ = false;
  for (;;) {
    if (block_end_ - block_pos_ < unit && !fill_block()) break;
    if (block_end_ - block_pos_ < unit) break;  // a lone byte at the end of a UTF-16 file is dropped
    any = true;
    char* p = block_.get() + block_pos_;
    const std::size_t avail = (block_end_ - block_pos_) / unit;
    std::size_t take = avail;
    bool found = false;
    if (!wide) {
      if (const auto* nl = static_cast<const char*>(std::memchr(p, '\n', avail))) {
        take = static_cast<std::size_t>(nl - p);
        found = true;
      }
    } else {
      for (std::size_t k = 0; k < avail; ++k) {
        if (p[2 * k] == '\n' && p[2 * k + 1] == 0) {
          take = k;
          found = true;
          break;
        }
      }
    }
    if (take > 0) {
      const std::size_t stored = phys_.size() / unit;
      // One unit more than a line keeps: the CR of a CR LF line end, which is no character of the line.
      const std::size_t keep = std::min(take, stored <= text_room ? text_room + 1 - stored : 0);
      const std::size_t at = phys_.size();
      phys_.append(p, keep * unit);
      if (keep < take) line_cut = true;
      // A NUL character would end the text early: keep it visible as 0x01 and remember it.
      const bool any_nul = std::memchr(phys_.data() + at, 0, phys_.size() - at) != nullptr;
      for (std::size_t k = at; any_nul && k < phys_.size(); k += unit) {
        if (phys_[k] == 0 && (!wide || phys_[k + 1] == 0)) {
          phys_[k] = 1;
          phys_nul_ = true;
        }
      }
      const char* last = p + (take - 1) * unit;
      last_was_cr = last[0] == '\r' && (!wide || last[1] == 0);
      units += take;
    }
    block_pos_ += take * unit;
    if (found) {
      block_pos_ += unit;
      phys_lf_ = true;
      break;
    }
  }
  if (!any) return false;
  if (phys_lf_ && last_was_cr) {
    phys_cr_ = true;
    --units;
    if (!line_cut) phys_.erase(phys_.size() - unit);  // a cut line never kept its last unit
  }
  if (phys_.size() / unit > text_room) {
    phys_.resize(text_room * unit);
    line_cut = true;
  }
  phys_cut_ = phys_cut_ || line_cut;
  phys_units_ = units;
  return true;
}

bool report_reader::next_physical_starts_anew() {
  const bool wide = encoding_ == report_encoding::utf16le;
  const std::size_t unit = wide ? 2 : 1;
  constexpr std::size_t looked_at = 40;  // longer than any title
  if (block_end_ - block_pos_ < looked_at * unit) fill_block();
  const char* p = block_.get() + block_pos_;
  const std::size_t avail = (block_end_ - block_pos_) / unit;
  char start[looked_at];
  std::size_t n = 0;
  for (; n < looked_at && n < avail; ++n) {
    const char c = p[n * unit];
    if ((wide && p[n * unit + 1] != 0) || c == '\r' || c == '\n' || (c & 0x80) != 0) break;
    start[n] = c;
  }
  if (n == 0) return avail == 0 || p[0] == '\r' || p[0] == '\n';  // a blank line, or the end of the input
  return is_section_boundary(std::string_view(start, n));
}

bool report_reader::next_text_line(text_line& out) {
  phys_.clear();
  phys_cut_ = false;
  if (!next_physical()) return false;
  bool nul = phys_nul_;
  // Regshot 1.9.x breaks an entry longer than 1000 characters after every 1000, with no mark: join the pieces
  // again. An entry of exactly 1000 (or 2000...) characters is not broken, but what follows it cannot be told
  // from a piece by its start (a piece of a path list starts with "C:\", of other data with a hive name), so
  // it is joined too, except a blank line or a section's boundary. A modified pair that this puts out of
  // step names two values, and is not reset.
  if (first_line_seen_) {
    while (joins_wrapped_ && phys_lf_ && phys_units_ == wrap_length) {
      if (next_physical_starts_anew() || !next_physical()) break;
      nul = nul || phys_nul_;
    }
  }
  out.had_lf = phys_lf_;
  out.had_cr = phys_cr_;
  out.flags = line_flags{};
  out.flags.cut = phys_cut_;
  out.flags.had_nul = nul;
  switch (encoding_) {
    case report_encoding::ansi:
      if (is_ascii(phys_)) {
        // The physical line is taken over, not copied; both buffers keep their room for the next line.
        out.text.swap(phys_);
      } else {
        out.flags.lossy = !machine_.utf8_from_ansi(phys_, out.text);
      }
      break;
    case report_encoding::utf8:
      if (is_ascii(phys_)) {
        out.text.swap(phys_);
      } else {
        // Validated (and malformed bytes shown as U+FFFD) by a round through UTF-16.
        const bool ok = utf16_from_utf8(phys_, wide_);
        out.flags.lossy = !utf8_from_utf16(wide_, out.text) || !ok;
      }
      break;
    case report_encoding::utf16le:
      wide_.resize(phys_.size() / 2);
      for (std::size_t k = 0; k < wide_.size(); ++k) {
        wide_[k] = static_cast<char16_t>(static_cast<unsigned char>(phys_[2 * k]) |
                                         (static_cast<unsigned char>(phys_[2 * k + 1]) << 8));
      }
      out.flags.lossy = !utf8_from_utf16(wide_, out.text);
      break;
  }
  if (out.text.size() > buffer_room) {
    // Only a substitute can make it longer than its characters allow: cut at a character's start.
    std::size_t keep = buffer_room;
    while (keep > 0 && (static_cast<unsigned char>(out.text[keep]) & 0xC0) == 0x80) --keep;
    out.text.resize(keep);
    out.flags.cut = true;
  }
  if (!first_line_seen_) {
    first_line_seen_ = true;
    // Regshot before 1.9 does not break long entries; a line of 1000 characters is then a whole entry.
    const std::size_t v = out.text.find("egshot 1.");
    if (v != std::string::npos && v + 9 < out.text.size()) {
      const char major = out.text[v + 9];
      const char after = v + 10 < out.text.size() ? out.text[v + 10] : ' ';
      if (major >= '0' && major <= '8' && (after == '.' || after == ' ')) joins_wrapped_ = false;
    }
  }
  return true;
}

const report_reader::text_line* report_reader::peek(std::size_t i) {
  if (i >= ring_size) return nullptr;
  while (ring_count_ <= i) {
    text_line& slot = ring_[(ring_head_ + ring_count_) % ring_size];
    if (!next_text_line(slot)) return nullptr;
    ++ring_count_;
  }
  return &ring_[(ring_head_ + i) % ring_size];
}

void report_reader::pop() {
  ring_head_ = (ring_head_ + 1) % ring_size;
  --ring_count_;
}

int report_reader::read_line(char (&buf)[line_capacity], line_flags& flags) {
  const text_line* l = peek(0);
  if (l == nullptr) {
    buf[0] = '\0';
    flags = line_flags{};
    return 0;
  }
  flags = l->flags;
  std::size_t n = l->text.size();
  std::memcpy(buf, l->text.data(), n);
  // A cut line has lost its end: it gets none (the rest of it was skipped).
  if (l->had_lf && !flags.cut) {
    if (n < buffer_room) buf[n++] = '\n';
    else flags.cut = true;  // no room left for the line end
  }
  buf[n] = '\0';
  pop();
  return static_cast<int>(n);
}

namespace {

// Looks for the end of the line at p (its "\n", or a NUL that the general way must repair) in at most n
// characters, and copies the characters before it into buf on the way (buf holds line_capacity
// characters; only a line that fits is of use). Returns the place of the first "\n" or NUL, n when there
// is none.
std::size_t scan_and_copy_line(const char* p, std::size_t n, char* buf) {
  std::size_t i = 0;
  const std::size_t whole = std::min(n, line_capacity) & ~std::size_t{15};
  for (; i < whole; i += 16) {
    const chars16 c = load16(p + i);
    // The whole block is stored (buf has room for it): a copy of just the line's last characters would be
    // a library call for a varying length. What lies past the line's end in buf is no part of any text.
    std::memcpy(buf + i, &c, sizeof c);
    if (const unsigned hits = lane_bits((c == '\n') | (c == 0))) return i + static_cast<std::size_t>(__builtin_ctz(hits));
  }
  if (i >= line_capacity) return n == i ? n : i;  // longer than any line that fits: i is no line end
  for (; i < n; ++i) {
    if (p[i] == '\n' || p[i] == 0) return i;
    buf[i] = p[i];
  }
  return n;
}

// The length of the line at p, up to its '\n' or a NUL (returns n, or line_capacity or more, when neither
// comes in time), and the place of its first TAB (npos, or a place past the line's end, when it holds none).
std::size_t scan_line(const char* p, std::size_t n, std::size_t& tab) {
  tab = std::string_view::npos;
  std::size_t i = 0;
  const std::size_t whole = std::min(n, line_capacity) & ~std::size_t{15};
  for (; i < whole; i += 16) {
    const chars16 c = load16(p + i);
    const auto is_end = (c == '\n') | (c == 0);
    const unsigned hits = lane_bits(is_end | (c == '\t'));
    if (hits == 0) continue;  // most blocks of a line
    const unsigned ends = lane_bits(is_end);
    // A TAB past the line's end may be taken here: the caller keeps the place only within the line.
    if (const unsigned tabs = hits & ~ends; tabs != 0 && tab == std::string_view::npos) {
      tab = i + static_cast<std::size_t>(__builtin_ctz(tabs));
    }
    if (ends != 0) return i + static_cast<std::size_t>(__builtin_ctz(ends));
  }
  if (i >= line_capacity) return n == i ? n : i;  // longer than any line that fits: i is no line end
  for (; i < n; ++i) {
    if (p[i] == '\n' || p[i] == 0) return i;
    if (p[i] == '\t' && tab == std::string_view::npos) tab = i;
  }
  return n;
}

}  // namespace

inline bool report_reader::plain_reading() const {
  // Only when nothing waits in the ring (the lines must come in order), in the ANSI encoding (no conversion),
  // and after the first line (which tells whether lines are joined).
  return ring_count_ == 0 && encoding_ == report_encoding::ansi && first_line_seen_;
}

inline bool report_reader::is_plain_line(std::size_t bytes, std::size_t& text, bool& had_cr) const {
  const char* p = block_.get() + block_pos_;
  const std::size_t avail = block_end_ - block_pos_;
  // The line goes on in the next block, holds a NUL, or is too long to be one of these: the general way.
  if (bytes >= avail || bytes > text_room || p[bytes] != '\n') return false;
  // Only ASCII is the same in the file and in the program's UTF-8: anything else is decoded the general way.
  if (!is_ascii(std::string_view(p, bytes))) return false;
  had_cr = bytes > 0 && p[bytes - 1] == '\r';
  text = bytes - (had_cr ? 1 : 0);
  // Blank, possibly the first piece of a broken entry, or a section's end: the general way handles these.
  return !(text == 0 || (joins_wrapped_ && text == wrap_length) ||
           (may_start_boundary(p[0]) && is_section_boundary(std::string_view(p, text))));
}

bool report_reader::take_plain_line(char (&buf)[line_capacity], std::size_t& length, bool& had_cr) {
  if (!plain_reading()) return false;
  // One pass finds the line end (or a NUL first) and copies the line into buf.
  const std::size_t bytes = scan_and_copy_line(block_.get() + block_pos_, block_end_ - block_pos_, buf);
  if (!is_plain_line(bytes, length, had_cr)) {
    buf[0] = '\0';
    return false;
  }
  block_pos_ += bytes + 1;
  return true;
}

bool report_reader::take_plain_text(std::string_view& text, std::size_t& tab) {
  if (!plain_reading()) return false;
  const char* p = block_.get() + block_pos_;
  const std::size_t bytes = scan_line(p, block_end_ - block_pos_, tab);
  std::size_t length = 0;
  bool had_cr = false;
  if (!is_plain_line(bytes, length, had_cr)) return false;
  block_pos_ += bytes + 1;
  text = std::string_view(p, length);
  tab = std::min(tab, length);
  return true;
}

entry_status report_reader::read_file_entry(char (&buf)[line_capacity], std::string_view& text, std::size_t& tab,
                                            line_flags& flags) {
  if (take_plain_text(text, tab)) {
    buf[0] = '\0';
    flags = line_flags{};
    return entry_status::entry;
  }
  int length = 0;
  const entry_status status = read_entry(entry_kind::file_system, buf, length, flags);
  text = std::string_view(buf, static_cast<std::size_t>(length));
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  tab = std::min(text.find('\t'), text.size());
  return status;
}

// Whether the next line, still unread in the block, starts with a hive name and a backslash, seen from its raw
// characters: the text the general way would make of it starts with the same characters (its repairs touch
// only NULs, line ends and the characters after the 1000th). Spares every registry entry the look-ahead copy
// of the line after it. False when it cannot be told this way (the general way then decides).
bool report_reader::next_plainly_starts_with_hive() const {
  if (ring_count_ != 0 || encoding_ != report_encoding::ansi || !first_line_seen_) return false;
  const char* p = block_.get() + block_pos_;
  const std::size_t avail = block_end_ - block_pos_;
  std::size_t i = 0;
  while (i < avail && p[i] == ' ') ++i;
  if (i < avail && p[i] == '\t') ++i;
  if (i >= avail || p[i] != 'H') return false;
  for (std::string_view hive : hive_prefixes) {
    if (avail - i > hive.size() && std::memcmp(p + i, hive.data(), hive.size()) == 0 && p[i + hive.size()] == '\\') {
      return true;
    }
  }
  return false;
}

entry_status report_reader::read_entry(entry_kind kind, char (&buf)[line_capacity], int& length,
                                       line_flags& flags) {
  length = 0;
  buf[0] = '\0';
  flags = line_flags{};
  // Assemble the entry in buf directly; n counts the characters kept.
  std::size_t n = 0;
  bool had_lf = true;
  bool had_cr = false;
  if (!take_plain_line(buf, n, had_cr)) {
    const text_line* l = nullptr;
    for (;;) {
      l = peek(0);
      if (l == nullptr) return entry_status::end_of_input;
      if (is_section_boundary(l->text)) return entry_status::section_end;
      if (!l->text.empty()) break;
      pop();
    }
    n = std::min(l->text.size(), buffer_room);
    std::memcpy(buf, l->text.data(), n);
    flags = l->flags;
    had_lf = l->had_lf;
    had_cr = l->had_cr;
    pop();
  }
  std::string_view ending = had_cr ? "\r\n" : "\n";
  auto append = [&](std::string_view piece) {
    std::size_t keep = std::min(piece.size(), buffer_room - n);
    // A cut falls between characters, never inside one.
    while (keep < piece.size() && keep > 0 && (static_cast<unsigned char>(piece[keep]) & 0xC0) == 0x80) --keep;
    std::memcpy(buf + n, piece.data(), keep);
    n += keep;
    if (keep < piece.size()) flags.cut = true;
  };
  if (kind == entry_kind::registry) {
    // Data holding line breaks goes on over lines that do not start with a hive name. A string's data ends
    // with the quote that Regshot closes it with: while the string is open at a line's end, the next line is
    // data even when it reads like an entry (text holding a line break and then a registry path). A cut entry
    // is never taken as open, so that one malformed line cannot swallow the section.
    const bool has_string = std::string_view(buf, n).find(": \"") != std::string_view::npos;
    bool open = has_string && !flags.cut && (n == 0 || buf[n - 1] != '"');
    bool broke = false;
    while (had_lf) {
      if (!open && next_plainly_starts_with_hive()) break;
      const text_line* next = peek(0);
      if (next == nullptr || is_section_boundary(next->text) || (!open && starts_with_hive(next->text))) break;
      std::size_t blanks = 0;
      while (next != nullptr && next->text.empty() && blanks < max_blank_run) next = peek(++blanks);
      if (blanks > 0 && (next == nullptr || next->text.empty() || is_section_boundary(next->text) ||
                         (!open && starts_with_hive(next->text)))) {
        break;  // blank lines between entries
      }
      broke = true;
      for (std::size_t b = 0; b < blanks; ++b) {
        append(ending);
        ending = peek(0)->had_cr ? "\r\n" : "\n";
        pop();
      }
      next = peek(0);
      append(ending);
      append(next->text);
      flags.cut = flags.cut || next->flags.cut;
      flags.lossy = flags.lossy || next->flags.lossy;
      flags.had_nul = flags.had_nul || next->flags.had_nul;
      had_lf = next->had_lf;
      ending = next->had_cr ? "\r\n" : "\n";
      open = has_string && !flags.cut && next->text.back() != '"';  // the piece is not empty: blanks went first
      pop();
    }
    if (broke && joins_wrapped_ && utf16_length(std::string_view(buf, n)) > wrap_length) flags.breaks_unsure = true;
  }
  if (!flags.cut) {
    if (n < buffer_room) buf[n++] = '\n';
    else flags.cut = true;
  }
  buf[n] = '\0';
  length = static_cast<int>(n);
  return entry_status::entry;
}

}  // namespace resivex
