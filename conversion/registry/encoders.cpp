// See encoders.h.
#include "conversion/registry/encoders.h"

#include "conversion/registry/entry_line.h"

#include <cstring>
#include <new>

namespace resivex {

namespace {

constexpr std::size_t group_wrap = 22;
constexpr std::string_view continuation = "\\ \n   ";
constexpr std::string_view null_data = "(NULL!)";
constexpr std::size_t line_room = out_line_capacity - 1;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool all_hex(std::string_view s) {
  for (char c : s) {
    if (hex_digit(c) < 0) return false;
  }
  return !s.empty();
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

// value_text = name part, "=", prefix, the wrapped list of bytes, and suffix.
void compose_hex(run_state& rs, registry_state& state, std::string_view prefix, std::string_view bytes,
                 std::string_view suffix = {}) {
  groups_of(bytes, state.groups);
  wrap_hex_list(rs, state.groups);
  state.value_text.assign(view_of(rs.out_line));
  state.value_text += '=';
  state.value_text.append(prefix);
  state.value_text.append(rs.regkey_data2.get());
  state.value_text.append(suffix);
}

void compose_plain(run_state& rs, registry_state& state, std::string_view data_part) {
  state.value_text.assign(view_of(rs.out_line));
  state.value_text += '=';
  state.value_text.append(data_part);
}

// A string as a hex list of its ANSI bytes and a terminating zero. regedit reads the bytes of an ANSI file's
// hex(1), hex(2) and hex(7) lists as ANSI characters.
void compose_string_bytes(run_state& rs, registry_state& state, std::string_view prefix, std::string_view text) {
  if (text.empty()) {
    compose_plain(rs, state, std::string(prefix) + "00");
    return;
  }
  compose_hex(rs, state, prefix, text, ",00");
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

int wrap_hex_list(run_state& rs, std::string_view groups) {
  const std::size_t count = (groups.size() + 1) / 3;
  grow_work_buffers(rs, count * 3 + (count / group_wrap + 1) * continuation.size() + 1);
  char* out = rs.regkey_data2.get();
  std::size_t n = 0;
  std::size_t in_line = 0;
  for (std::size_t i = 0; i + 1 < groups.size(); i += 3) {
    out[n++] = groups[i];
    out[n++] = groups[i + 1];
    out[n++] = ',';
    if (++in_line == group_wrap && i + 3 < groups.size()) {
      std::memcpy(out + n, continuation.data(), continuation.size());
      n += continuation.size();
      in_line = 0;
    }
  }
  if (n > 0) --n;  // the last comma
  out[n] = '\0';
  return 0;
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
  std::string escaped;
  if (find_first_char(text, "\r\n") == std::string_view::npos) {
    std::string quoted;
    quoted_value_name(text, false, quoted);  // the same escapes as a name
    if (view_of(rs.out_line).size() + 1 + quoted.size() <= line_room) {
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
  if (d.size() == 10 && d.substr(0, 2) == "0x" && all_hex(d.substr(2))) {
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
  if (d.size() == 18 && d.substr(0, 2) == "0x" && all_hex(d.substr(2))) {
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
    state.bytes.clear();
    if (!inner.empty()) {
      for (;;) {
        const std::size_t next = inner.find("\", \"");
        state.bytes.append(inner.substr(0, next));
        state.bytes += '\0';
        if (next == std::string_view::npos) break;
        inner.remove_prefix(next + 4);
      }
    }
    state.bytes += '\0';
    compose_hex(rs, state, "hex(7):", state.bytes);
    return 0;
  }
  if (!old_bytes(state, d)) return 0;
  if (!state.bytes.empty() && rs.report != nullptr && rs.report->encoding() != report_encoding::ansi) {
    // Regshot 1.9.0's Unicode build shows the UTF-16 bytes; the .reg file is ANSI.
    if (state.bytes.size() % 2 != 0) {
      state.unrestorable = unrestorable::other_form;
      return 0;
    }
    std::u16string wide(state.bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(static_cast<unsigned char>(state.bytes[2 * i]) |
                                      (static_cast<unsigned char>(state.bytes[2 * i + 1]) << 8));
    }
    std::string narrow;
    if (!rs.sys->ansi_from_utf16(wide, narrow)) {
      state.unrestorable = unrestorable::not_ansi;
      return 0;
    }
    state.bytes = narrow;
  }
  compose_hex(rs, state, "hex(7):", state.bytes);
  return 0;
}

}  // namespace resivex
