// See encoders.h.
#include "conversion/registry/encoders.h"

#include "conversion/registry/entry_line.h"
#include "conversion/unicode.h"

#include <cstring>
#include <new>

namespace resivex {

namespace {

// Regedit's own layout of a hex list: a line is broken after the comma that brings it to 77 characters or
// more, with a backslash, and the next line starts with two blanks.
constexpr std::size_t wrap_column = 77;
constexpr std::string_view continuation = "\\\n  ";
constexpr std::string_view null_data = "(NULL!)";

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}


// The old data of the entry: after the separator up to the end of the entry.
std::string_view old_data(const run_state& rs, const registry_state& state) {
  const std::string_view line(rs.line_buf, static_cast<std::size_t>(rs.line_len));
  const std::string_view body = entry_body(line);
  return body.substr(std::min(static_cast<std::size_t>(data_start_of(line, state.split)), body.size()));
}

// Zero-length data: Regshot 1.9 writes "(NULL!)", 1.8 nothing at all.
bool is_empty_data(std::string_view d) { return d.empty() || d == null_data; }

bool is_quoted(std::string_view d) { return d.size() >= 2 && d.front() == '"' && d.back() == '"'; }

void groups_of(std::string_view bytes, std::string& out) {
  static constexpr char digits[] = "0123456789ABCDEF";
  out.clear();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (i > 0) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
}

// value_text = name part, "=", prefix and the list of bytes, wrapped as regedit wraps it.
void compose_hex(run_state& rs, registry_state& state, std::string_view prefix, std::string_view bytes) {
  groups_of(bytes, state.groups);
  const std::string_view name = view_of(rs.out_line);
  wrap_hex_list(rs, state.groups, utf16_length(name) + 1 + prefix.size());
  state.value_text.assign(name);
  state.value_text += '=';
  state.value_text.append(prefix);
  state.value_text.append(rs.regkey_data2.get());
}

void compose_plain(run_state& rs, registry_state& state, std::string_view data_part) {
  state.value_text.assign(view_of(rs.out_line));
  state.value_text += '=';
  state.value_text.append(data_part);
}

// Appends a string as the value's bytes hold it in the script's form: UTF-16LE in regedit's own (UTF-16) form,
// ANSI bytes in a REGEDIT4 script (whose hex(1), hex(2) and hex(7) lists regedit reads as ANSI characters),
// each with its terminating zero. False, with the reason set, when a REGEDIT4 script cannot hold it.
bool append_string_bytes(run_state& rs, registry_state& state, std::string_view text, std::string& bytes) {
  if (rs.unicode_scripts) {
    append_utf16le(text, bytes);
    bytes.append("\0\0", 2);
    return true;
  }
  std::string ansi;
  if (!rs.sys->ansi_from_utf8(text, ansi)) {
    state.unrestorable = unrestorable::not_ansi;
    return false;
  }
  bytes += ansi;
  bytes += '\0';
  return true;
}

// A string value as a hex list of its bytes with their terminator.
void compose_string_bytes(run_state& rs, registry_state& state, std::string_view prefix, std::string_view text) {
  state.bytes.clear();
  if (append_string_bytes(rs, state, text, state.bytes)) compose_hex(rs, state, prefix, state.bytes);
}

registry_state& begin_encoding(run_state& rs) {
  registry_state& state = registry_of(rs);
  state.value_text.clear();
  state.unrestorable = nullptr;
  return state;
}

// Regshot's ANSI builds write "?" for a character that the code page cannot hold: in their reports a "?" of
// string data may stand for another character, and written back it would replace that one. (The Unicode
// builds' reports, UTF-16, hold every character; the reader marks those the code page here cannot hold.)
bool may_hold_lost_characters(const run_state& rs, registry_state& state, std::string_view text) {
  if (rs.report == nullptr || rs.report->encoding() == report_encoding::utf16le ||
      text.find('?') == std::string_view::npos) {
    return false;
  }
  state.unrestorable = unrestorable::question_mark;
  return true;
}

// Old data in hex notation; false (with the reason set) when it is not, or was cut by Regshot.
bool old_bytes(registry_state& state, std::string_view d) {
  if (is_empty_data(d)) {
    state.bytes.clear();
    return true;
  }
  bool cut = false;
  if (!parse_hex_bytes(d, state.bytes, cut)) {
    state.unrestorable = unrestorable::other_form;
    return false;
  }
  if (cut) {
    state.unrestorable = unrestorable::cut_by_regshot;
    return false;
  }
  return true;
}

}  // namespace

int grow_work_buffers(run_state& rs, std::size_t needed) {
  const std::size_t base = (static_cast<std::size_t>(rs.value_data_size) + 4) * 3;
  if (needed < base) needed = base;
  if (needed <= static_cast<std::size_t>(rs.regkey_data2_size) &&
      needed <= static_cast<std::size_t>(rs.regkey_data3_size)) {
    return 0;
  }
  auto grow = [&](std::unique_ptr<char[]>& buf, int& size, const message& failed) {
    if (needed <= static_cast<std::size_t>(size)) return;
    std::unique_ptr<char[]> bigger(new (std::nothrow) char[needed]());
    if (!bigger) {
      show_message(rs, failed);
      end_process(exit_code::realloc_failed);
    }
    if (buf) std::memcpy(bigger.get(), buf.get(), static_cast<std::size_t>(size));
    buf = std::move(bigger);
    size = static_cast<int>(needed);
  };
  grow(rs.regkey_data2, rs.regkey_data2_size, msg::realloc_data2_failed);
  grow(rs.regkey_data3, rs.regkey_data3_size, msg::realloc_data3_failed);
  return 0;
}

namespace {

// Lays out hex groups as regedit does: put(first, second) takes each group's two digits, put_text the commas
// and continuations.
template <class Digits, class Text>
void lay_out_hex(std::size_t groups, std::size_t first_line_length, Digits put_digits, Text put_text) {
  std::size_t line_length = first_line_length;
  for (std::size_t i = 0; i < groups; ++i) {
    put_digits(i);
    if (i + 1 == groups) break;
    put_text(",");
    line_length += 3;
    if (line_length >= wrap_column) {
      put_text(continuation);
      line_length = 2;
    }
  }
}

}  // namespace

int wrap_hex_list(run_state& rs, std::string_view groups, std::size_t first_line_length) {
  const std::size_t count = (groups.size() + 1) / 3;
  grow_work_buffers(rs, count * (3 + continuation.size()) + 1);
  char* out = rs.regkey_data2.get();
  std::size_t n = 0;
  lay_out_hex(
      count, first_line_length,
      [&](std::size_t i) {
        out[n++] = groups[3 * i];
        out[n++] = groups[3 * i + 1];
      },
      [&](std::string_view text) {
        std::memcpy(out + n, text.data(), text.size());
        n += text.size();
      });
  out[n] = '\0';
  return 0;
}

void append_hex_list(std::string& out, std::string_view bytes, std::size_t first_line_length) {
  static constexpr char digits[] = "0123456789ABCDEF";
  out.reserve(out.size() + bytes.size() * 3 + bytes.size() / 20 * continuation.size());
  lay_out_hex(
      bytes.size(), first_line_length,
      [&](std::size_t i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
      },
      [&](std::string_view text) { out.append(text); });
}

void append_exact_value(std::string& out, std::string_view name_part, std::uint32_t type, std::string_view bytes) {
  const std::size_t at = out.size();
  out.append(name_part);
  out += '=';
  if (type == win::reg_dword && bytes.size() == 4) {
    char text[16];
    const auto b = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    format_text(text, "dword:%08x", b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24);
    out += text;
    return;
  }
  if (type == win::reg_sz && bytes.size() >= 2 && bytes.size() % 2 == 0) {
    // One terminator at the end and no other zero; UTF-16 that names only characters; no line break.
    std::u16string wide(bytes.size() / 2 - 1, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    std::string text;
    const bool plain = bytes[bytes.size() - 2] == '\0' && bytes.back() == '\0' &&
                       wide.find(u'\0') == std::u16string::npos && wide.find(u'\r') == std::u16string::npos &&
                       wide.find(u'\n') == std::u16string::npos && utf8_from_utf16(wide, text);
    std::string quoted;
    if (plain && quoted_value_name(text, false, quoted)) {
      out += quoted;
      return;
    }
  }
  char prefix[24];
  if (type == win::reg_binary) {
    copy_text(prefix, "hex:");
  } else {
    format_text(prefix, "hex(%x):", static_cast<unsigned>(type));
  }
  out += prefix;
  append_hex_list(out, bytes, utf16_length(std::string_view(out).substr(at)));
}

bool is_regshot_number(std::string_view data, std::size_t digits) {
  if (data.size() != digits + 2 || data.substr(0, 2) != "0x") return false;
  for (char c : data.substr(2)) {
    if (hex_digit(c) < 0) return false;
  }
  return true;
}

bool parse_hex_bytes(std::string_view text, std::string& bytes, bool& cut) {
  bytes.clear();
  cut = false;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);  // 1.9.0 puts two blanks before
  if (text.size() >= 4 && text.substr(text.size() - 4) == " ...") {
    cut = true;
    text.remove_suffix(4);
  }
  if (text.empty()) return false;
  for (std::size_t i = 0;;) {
    if (i + 2 > text.size()) return false;
    const int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes += static_cast<char>(hi * 16 + lo);
    i += 2;
    if (i == text.size()) return true;
    if (text[i] != ' ' || ++i == text.size()) return false;
  }
}

int encode_string(run_state& rs) {
  registry_state& state = begin_encoding(rs);
  const std::string_view d = old_data(rs, state);
  if (is_empty_data(d)) {
    compose_plain(rs, state, "hex(1):");
    return 0;
  }
  if (!is_quoted(d)) {
    state.unrestorable = unrestorable::other_form;
    return 0;
  }
  const std::string_view text = d.substr(1, d.size() - 2);
  if (may_hold_lost_characters(rs, state, text)) return 0;
  if (find_first_char(text, "\r\n") == std::string_view::npos) {
    std::string quoted;
    quoted_value_name(text, false, quoted);  // the same escapes as a name
    if (utf16_length(view_of(rs.out_line)) + 1 + utf16_length(quoted) <= line_char_limit) {
      std::string ansi;
      if (!rs.unicode_scripts && !rs.sys->ansi_from_utf8(quoted, ansi)) {
        state.unrestorable = unrestorable::not_ansi;
        return 0;
      }
      compose_plain(rs, state, quoted);
      return 0;
    }
  }
  // A line break cannot stand in a quoted string, and a long string does not fit a line: hex(1) continues.
  compose_string_bytes(rs, state, "hex(1):", text);
  return 0;
}

int encode_expand_string(run_state& rs) {
  registry_state& state = begin_encoding(rs);
  const std::string_view d = old_data(rs, state);
  if (is_empty_data(d)) {
    compose_plain(rs, state, "hex(2):");
    return 0;
  }
  if (!is_quoted(d)) {
    state.unrestorable = unrestorable::other_form;
    return 0;
  }
  if (may_hold_lost_characters(rs, state, d.substr(1, d.size() - 2))) return 0;
  compose_string_bytes(rs, state, "hex(2):", d.substr(1, d.size() - 2));
  return 0;
}

int encode_binary(run_state& rs) {
  registry_state& state = begin_encoding(rs);
  if (!old_bytes(state, old_data(rs, state))) return 0;
  const std::string_view live(rs.value_data.get(), static_cast<std::size_t>(state.data_len));
  if (state.bytes == live) {
    state.value_type = value_type_declined;  // it already holds its old data
    return 0;
  }
  compose_hex(rs, state, "hex:", state.bytes);
  return 0;
}

int encode_dword(run_state& rs) {
  registry_state& state = begin_encoding(rs);
  const std::string_view d = old_data(rs, state);
  if (is_regshot_number(d, 8)) {
    compose_plain(rs, state, "dword:" + std::string(d.substr(2)));
    return 0;
  }
  // Data of another length than four bytes: Regshot shows its bytes.
  if (!old_bytes(state, d)) return 0;
  compose_hex(rs, state, "hex(4):", state.bytes);
  return 0;
}

int encode_qword(run_state& rs) {
  registry_state& state = begin_encoding(rs);
  const std::string_view d = old_data(rs, state);
  if (is_regshot_number(d, 16)) {
    // Regshot 1.9.1 writes the number: its bytes go least significant first.
    state.bytes.clear();
    for (std::size_t i = 16; i >= 2; i -= 2) {
      state.bytes += static_cast<char>(hex_digit(d[i]) * 16 + hex_digit(d[i + 1]));
    }
    compose_hex(rs, state, "hex(b):", state.bytes);
    return 0;
  }
  // Regshot 1.8 and 1.9.0 show the stored bytes, least significant first.
  if (!old_bytes(state, d)) return 0;
  compose_hex(rs, state, "hex(b):", state.bytes);
  return 0;
}

int encode_multi_string(run_state& rs) {
  registry_state& state = begin_encoding(rs);
  const std::string_view d = old_data(rs, state);
  if (!d.empty() && d.front() == '\'') {
    state.unrestorable = unrestorable::blanked_separators;
    return 0;
  }
  if (is_quoted(d)) {
    // Regshot 1.9.1: "a", "b"; "" is the empty list.
    std::string_view inner = d.substr(1, d.size() - 2);
    if (may_hold_lost_characters(rs, state, inner)) return 0;
    std::string bytes;
    if (!inner.empty()) {
      for (;;) {
        const std::size_t next = inner.find("\", \"");
        if (!append_string_bytes(rs, state, inner.substr(0, next), bytes)) return 0;
        if (next == std::string_view::npos) break;
        inner.remove_prefix(next + 4);
      }
    }
    bytes.append(rs.unicode_scripts ? 2 : 1, '\0');  // the list's end
    compose_hex(rs, state, "hex(7):", bytes);
    return 0;
  }
  if (!old_bytes(state, d)) return 0;
  // Regshot 1.9.0 shows the value's bytes: UTF-16 in its Unicode build's reports, ANSI in its ANSI build's.
  // They become the script's form (the text between is UTF-8, NULs and all).
  const bool wide_report = rs.report != nullptr && rs.report->encoding() != report_encoding::ansi;
  // The ANSI build read the strings as ANSI: a 3F byte may be the "?" it put for a character its code page lacks.
  if (!wide_report && state.bytes.find('?') != std::string::npos) {
    state.unrestorable = unrestorable::question_mark;
    return 0;
  }
  if (wide_report && state.bytes.size() % 2 != 0) {
    state.unrestorable = unrestorable::other_form;
    return 0;
  }
  if (!state.bytes.empty() && wide_report != rs.unicode_scripts) {
    std::string text;
    if (wide_report) {
      std::u16string wide(state.bytes.size() / 2, u'\0');
      for (std::size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(state.bytes[2 * i]) |
                                        (static_cast<unsigned char>(state.bytes[2 * i + 1]) << 8));
      }
      std::string ansi;
      if (!utf8_from_utf16(wide, text) || !rs.sys->ansi_from_utf8(text, ansi)) {
        state.unrestorable = unrestorable::not_ansi;
        return 0;
      }
      state.bytes = ansi;
    } else {
      if (!rs.sys->utf8_from_ansi(state.bytes, text)) {
        state.unrestorable = unrestorable::other_form;
        return 0;
      }
      state.bytes.clear();
      append_utf16le(text, state.bytes);
    }
  }
  compose_hex(rs, state, "hex(7):", state.bytes);
  return 0;
}

}  // namespace resivex
