// Reads a Regshot comparison report (or any text file of the program's) as lines of UTF-8 text, whatever the
// encoding it was saved in, and hands the section handlers whole entries.
//
// Regshot's ANSI builds write the ANSI code page (decoded from it once, here), its Unicode builds UTF-16LE
// (usually without a byte-order mark); editors add a UTF-8 mark. Regshot 1.9.x also breaks every entry longer than 1000 characters into
// lines of 1000, and writes string data holding line breaks raw, so one entry can span several lines. The
// reader undoes both, so that a handler never sees half an entry nor a line of the next section.
#pragma once

#include "conversion/machine.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace resivex {

// A line keeps at most this many of the file's characters (bytes of an ANSI or UTF-8 file, UTF-16 units of a
// Unicode one); the rest is cut. In UTF-8 a character takes at most three bytes per unit: the line buffers hold
// that much, with its line end and NUL.
inline constexpr std::size_t line_units = 8191;
inline constexpr std::size_t line_capacity = 3 * (line_units + 1);

// What a line lost on its way from the file. A damaged line must never name anything: its text is not what
// the report says.
struct line_flags {
  bool cut = false;      // longer than a line is kept; the rest was dropped
  bool lossy = false;    // held what names no character: a lone UTF-16 surrogate, bytes that are no text of
                         // the ANSI code page or no UTF-8 (each shown as U+FFFD)
  bool had_nul = false;  // held NUL characters (each replaced by 0x01)
  // Held line breaks of its data and was longer than 1000 characters: Regshot 1.9 counts its breaks from the
  // entry's start, across the data's, and the lines are joined by their own lengths, so a break of Regshot's
  // may have been kept as the data's (or the other way round).
  bool breaks_unsure = false;
  bool damaged() const { return cut || lossy || had_nul || breaks_unsure; }
};

enum class report_encoding { ansi, utf16le, utf8 };

// How entries of a section continue over several lines.
enum class entry_kind {
  registry,     // a line that does not start with a hive name continues the entry before it
  file_system,  // one line an entry (after joining Regshot's 1000-character breaks)
};

enum class entry_status { entry, section_end, end_of_input };

class report_reader {
public:
  // Takes ownership of the stream (opened in binary mode). When joins_wrapped_lines is set, lines of exactly
  // 1000 characters are joined with the next, unless the first line shows a Regshot version that does not
  // break lines.
  report_reader(machine& m, std::FILE* stream, bool joins_wrapped_lines = true);
  ~report_reader();
  report_reader(const report_reader&) = delete;
  report_reader& operator=(const report_reader&) = delete;

  // The next line, with "\n" when it had a line end, NUL-terminated in buf. Returns its length; 0 at the end
  // of the input. A line longer than the buffer is cut (flags.cut) and has no "\n".
  int read_line(char (&buf)[line_capacity], line_flags& flags);

  // The next entry of the current section. Blank lines are passed over. At the line that ends the section
  // (Regshot's row of dashes, or a section title) it returns section_end and leaves that line for read_line.
  // An entry always ends with "\n" unless it was cut.
  entry_status read_entry(entry_kind kind, char (&buf)[line_capacity], int& length, line_flags& flags);

  // The same entry as read_entry gives for entry_kind::file_system, as a view without its line end: into the
  // reader's block when the line lies whole in it and needs no repair (valid until the next read), into buf
  // otherwise. `tab` is the place of the entry's first TAB (text.size() when it holds none).
  entry_status read_file_entry(char (&buf)[line_capacity], std::string_view& text, std::size_t& tab,
                               line_flags& flags);

  report_encoding encoding() const { return encoding_; }
  // The bytes taken from the stream so far (a block ahead of the line being read, at most).
  std::uint64_t bytes_read() const { return bytes_read_; }
  // True when reading the stream failed (a folder, a device error): the input ended early, not at its end.
  bool read_failed() const { return read_failed_; }

private:
  struct text_line {
    std::string text;  // without its line end
    bool had_lf = false;
    bool had_cr = false;  // the line end was CR LF
    line_flags flags;
  };

  // The next line when it lies whole in the block and needs none of the reader's repairs: copied into buf
  // straight from the block and consumed. False, with nothing consumed, otherwise.
  bool take_plain_line(char (&buf)[line_capacity], std::size_t& length, bool& had_cr);
  // The same test without the copy: the line's text (without its line end) stays in the block.
  bool take_plain_text(std::string_view& text, std::size_t& tab);
  // Whether the line of `bytes` characters at the block's position, which scanning ended at the character
  // after it, can be handed out as it stands; sets its text's length and whether it ended in CR LF.
  bool is_plain_line(std::size_t bytes, std::size_t& text, bool& had_cr) const;
  // Whether the fast ways may be tried at all (nothing waits in the ring, no conversion, past the first line).
  bool plain_reading() const;
  bool next_plainly_starts_with_hive() const;
  bool fill_block();
  bool next_physical();
  // Whether the physical line that comes next is blank, a section's boundary, or missing: no piece of a
  // broken entry that could be told from the data of one.
  bool next_physical_starts_anew();
  bool next_text_line(text_line& out);
  const text_line* peek(std::size_t i);
  void pop();
  void detect_encoding();

  machine& machine_;
  std::FILE* stream_;
  report_encoding encoding_ = report_encoding::ansi;
  bool joins_wrapped_;
  bool first_line_seen_ = false;

  std::unique_ptr<char[]> block_;
  std::size_t block_pos_ = 0;
  std::size_t block_end_ = 0;
  bool input_done_ = false;
  bool read_failed_ = false;
  std::uint64_t bytes_read_ = 0;

  // The physical line being assembled, in the file's own units (bytes, or UTF-16 code units as byte pairs).
  std::string phys_;
  std::size_t phys_units_ = 0;
  bool phys_lf_ = false;
  bool phys_cr_ = false;
  bool phys_cut_ = false;
  bool phys_nul_ = false;

  std::u16string wide_;  // conversion scratch
  std::vector<text_line> ring_;  // lines read ahead, used as a ring
  std::size_t ring_head_ = 0;
  std::size_t ring_count_ = 0;
};

// True when the line begins a section's end: Regshot's row of 34 dashes, or one of its section titles.
bool is_section_boundary(std::string_view line);
// True when the line starts with a registry hive name followed by a backslash, ": " or its end.
bool starts_with_hive(std::string_view line);

}  // namespace resivex
