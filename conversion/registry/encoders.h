// The value data encoders of the reset script: the OLD data of a modified value, as the report's old line
// shows it, in registry-script notation. The value's live type (from probe_regvalue) chooses the encoder; the
// encoder reads the old data in every notation that Regshot 1.8.x, 1.9.0 and 1.9.1 write for that type.
//
// On entry out_line holds the value's name part ("Name" in quotes, or @) and the state's split gives the
// old data in line_buf. Each encoder leaves one of three outcomes in the registry state:
//   value_text    the whole value line; a hex list goes on over several physical lines ("\n" between them);
//   value_type    value_type_declined: nothing to write (a binary value that already holds its old data);
//   unrestorable  why the old data cannot be written back exactly: the reset script gets a comment instead.
#pragma once

#include "conversion/registry/registry_state.h"

#include <string>
#include <string_view>

namespace resivex {

// Reasons for the comment of a value that is not reset.
namespace unrestorable {
inline constexpr const char* blanked_separators =
    "Regshot 1.8 shows a multi-string with blanks in place of the separators of its strings";
inline constexpr const char* cut_by_regshot = "Regshot cut its old data short";
inline constexpr const char* other_form = "the report does not show its old data in a form of its current type";
inline constexpr const char* not_ansi =
    "its old data holds characters that this system's code page cannot hold, and its REGEDIT4 script is in that "
    "code page";
inline constexpr const char* question_mark =
    "its old data holds \"?\", which Regshot's ANSI build writes for a character its code page cannot hold";
}  // namespace unrestorable

// Makes regkey_data2 and regkey_data3 hold at least (value_data_size + 4) * 3 bytes, and `needed` bytes.
// Ends the process (exit code 16) when memory runs out. They never shrink.
int grow_work_buffers(run_state& rs, std::size_t needed = 0);

// Turns two-digit groups at positions 0, 3, 6, ... (one separator character between them) into the hex list
// of a .reg file in regkey_data2, as regedit lays it out: the groups joined by commas; when the line (whose
// first holds first_line_length characters before the list) reaches 77 characters after a comma and another
// group follows, a backslash, a line end and two blanks.
int wrap_hex_list(run_state& rs, std::string_view groups, std::size_t first_line_length);
// The same layout, appending the list of `bytes` to out.
void append_hex_list(std::string& out, std::string_view bytes, std::size_t first_line_length);

// Appends the value line of a value exactly as the registry holds it, in regedit's own (UTF-16) form: a string
// of one plain line with its one terminator in quotes, a DWORD of four bytes as dword:, everything else (REG_NONE
// and every type without a notation of its own included) as hex(N) of its bytes. name_part is the quoted name,
// or @. Importing the line gives the value these very bytes and this type.
void append_exact_value(std::string& out, std::string_view name_part, std::uint32_t type, std::string_view bytes);

int encode_string(run_state& rs);         // REG_SZ
int encode_expand_string(run_state& rs);  // REG_EXPAND_SZ
int encode_binary(run_state& rs);         // REG_BINARY
int encode_dword(run_state& rs);          // REG_DWORD
int encode_multi_string(run_state& rs);   // REG_MULTI_SZ
int encode_qword(run_state& rs);          // REG_QWORD

// Reads a hex byte list as Regshot prints it ("01 02 0A", after one or more blanks) into bytes. cut is set
// when Regshot cut the data and ended it with " ...". False when the text is not such a list.
bool parse_hex_bytes(std::string_view text, std::string& bytes, bool& cut);

// Whether the data is a number as Regshot writes one: "0x" and exactly `digits` hex digits (0x%08X for a
// DWORD, 0x%016X for Regshot 1.9.1's QWORD).
bool is_regshot_number(std::string_view data, std::size_t digits);

}  // namespace resivex
