"""Reading registry script files: the scripts resivex-cli.exe writes and the exports of Wine's regedit (both
UTF-16, regedit's own form), into one form, so that what a script asks for can be checked against the registry
afterwards.

A registry state is {KEY: {name (lower case): (name, type, data bytes as the registry stores them)}}, KEY in
upper case with its hive named in full; the prefix's current user appears as HKEY_CURRENT_USER. The default
value has the name "@".
"""

import re

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
CURRENT_USER_SID = "HKEY_USERS\\S-1-5-21-0-0-0-1000"


def utf16(text):
    """The text's UTF-16LE bytes, as the registry holds string data (lone surrogates kept)."""
    return text.encode("utf-16-le", "surrogatepass")


def pairs(data):
    return [data[i:i + 2] for i in range(0, len(data), 2)]


def well_formed_string(data):
    """Whether string data is one string and its terminator, as Regshot shows a string in quotes."""
    return len(data) >= 2 and len(data) % 2 == 0 and data[-2:] == b"\0\0" and b"\0\0" not in pairs(data[:-2])


def well_formed_multi(data):
    """Whether multi-string data is non-empty strings, each terminated, and the list's end."""
    if len(data) < 4 or len(data) % 2 or data[-4:] != b"\0\0\0\0":
        return False
    return all(part for part in data[:-4].decode("utf-16-le", "surrogatepass").split("\0"))

# A line that regedit accepts, of the kinds the scripts under test hold: a header, a comment, a line holding at
# most one blank, a key line (long hive names only), a value line, or the continuation of a hex list (two
# blanks, as regedit writes it; a line that goes on ends with a comma and a backslash).
_QUOTED = r'"(?:[^"\\\r\n]|\\[\\"])*"'
SCRIPT_LINE = re.compile(
    r"^(?:Windows Registry Editor Version 5\.00|REGEDIT4|;[^\r\n]*| ?"
    r"|\[-?HKEY_(?:LOCAL_MACHINE|USERS|CURRENT_USER|CLASSES_ROOT|CURRENT_CONFIG)(?:\\[^\\\r\n]+)+\]"
    r"|(?:@|" + _QUOTED + r")=(?:-|" + _QUOTED + r"|dword:[0-9A-Fa-f]{8}"
    r"|hex(?:\([0-9a-f]+\))?:(?:[0-9A-F]{2}(?:,[0-9A-F]{2})*)?(?:,\\)?)"
    r"|  [0-9A-F]{2}(?:,[0-9A-F]{2})*(?:,\\)?)$")


def canonical_key(path):
    key = path.upper()
    sid = CURRENT_USER_SID.upper()
    if key == sid or key.startswith(sid + "\\"):
        key = "HKEY_CURRENT_USER" + key[len(sid):]
    return key.rstrip("\\")


def _unquote(text, i):
    """(string, index after its closing quote) of the quoted string at text[i]."""
    assert text[i] == '"', text
    out = []
    i += 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
            # Wine's export also writes line breaks and zeros of a string as escapes.
            out.append({"n": "\n", "r": "\r", "0": "\0"}.get(text[i], text[i]))
        else:
            out.append(text[i])
        i += 1
    return "".join(out), i + 1


def _wide(text):
    return text.encode("utf-16-le", "surrogatepass")


def _string_bytes(text):
    """What regedit stores for a string: UTF-16 with one terminating zero."""
    return _wide(text + "\0")


def parse_data(data, unicode_file):
    """(type, bytes) of the data part of a value line; None for "-" (delete)."""
    if data == "-":
        return None
    if data.startswith('"'):
        text, end = _unquote(data, 0)
        if end != len(data):
            raise ValueError("text after a string: %r" % data)
        return REG_SZ, _string_bytes(text)
    if data.startswith("dword:"):
        return REG_DWORD, int(data[6:], 16).to_bytes(4, "little")
    m = re.match(r"^hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", data)
    if not m:
        raise ValueError("unknown data %r" % data)
    kind = int(m.group(1), 16) if m.group(1) else REG_BINARY
    body = m.group(2).replace(" ", "")
    raw = bytes(int(b, 16) for b in body.split(",")) if body else b""
    if kind in (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and not unicode_file:
        # regedit reads the bytes of an ANSI file's string lists as ANSI characters and ends them with a zero.
        if raw and raw[-1] != 0:
            raw += b"\0"
        raw = raw.decode("cp1252", "replace").encode("utf-16-le")
    return kind, raw


def logical_lines(text):
    """The lines of a .reg text, a hex list that goes on over several lines joined into one."""
    lines = text.split("\r\n") if "\r\n" in text else text.split("\n")
    out = []
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        while not line.startswith(("[", ";")) and line.rstrip(" ").endswith("\\") and i < len(lines):
            line = line.rstrip(" ")[:-1] + lines[i].lstrip()
            i += 1
        out.append(line)
    return out


def _value_line(line, unicode_file):
    """(name, data or None) of a value line."""
    if line.startswith("@="):
        return "@", parse_data(line[2:], unicode_file)
    name, end = _unquote(line, 0)
    if line[end] != "=":
        raise ValueError("no '=' after the name: %r" % line)
    return name, parse_data(line[end + 1:], unicode_file)


def script_operations(data):
    """What a script written by the program asks regedit to do, in order: ("delete key", KEY), ("create key",
    KEY) for every key line (regedit creates the key it names), ("delete value", KEY, name) and ("set value", KEY,
    name, type, bytes). data: the script's text in UTF-8 (it
    was a UTF-16 file, whose string lists regedit reads as UTF-16)."""
    ops = []
    key = None
    for line in logical_lines(data.decode("utf-8")):
        if line.startswith("[-"):
            ops.append(("delete key", canonical_key(line[2:-1])))
            key = None
        elif line.startswith("["):
            key = canonical_key(line[1:-1])
            ops.append(("create key", key))
        elif line.startswith(('"', "@")):
            if key is None:
                raise ValueError("a value line outside a key: %r" % line)
            name, value = _value_line(line, True)
            if value is None:
                ops.append(("delete value", key, name))
            else:
                ops.append(("set value", key, name) + value)
    return ops


def parse_export(data, state=None):
    """Adds the keys and values of an export by regedit /e (UTF-16) to state, and returns it."""
    state = {} if state is None else state
    text = data.decode("utf-16", "surrogatepass")  # the registry holds any UTF-16 units, paired or not
    key = None
    for line in logical_lines(text.lstrip("\ufeff")):
        if line.startswith("[") and line.endswith("]"):
            key = canonical_key(line[1:-1])
            state.setdefault(key, {})
        elif key is not None and line.startswith(('"', "@")):
            name, value = _value_line(line, True)
            state[key][name.lower()] = (name,) + value
    return state


def differences(before, after, ignored):
    """Sorted (key, name or None for the key itself, "gone" / "new" / "changed") between two states; keys that
    match the pattern `ignored` are left out."""
    out = []
    for key in sorted(set(before) | set(after)):
        if ignored.search(key):
            continue
        if key not in after:
            out.append((key, None, "gone"))
        elif key not in before:
            out.append((key, None, "new"))
        else:
            for name in sorted(set(before[key]) | set(after[key])):
                b, a = before[key].get(name), after[key].get(name)
                if b != a:
                    shown = (b or a)[0]
                    out.append((key, shown, "gone" if a is None else "new" if b is None else "changed"))
    return out


def expected_effects(ops):
    """What the operations leave, key by key: None for a key that must be absent, else {name: value or None}
    (None: the value must be absent)."""
    model = {}
    for op in ops:
        key = op[1]
        if op[0] == "delete key":
            for k in list(model):
                if k == key or k.startswith(key + "\\"):
                    model[k] = None
            model[key] = None
        elif op[0] == "create key":
            if model.get(key) is None:
                model[key] = {}
        elif op[0] == "delete value":
            if model.get(key, {}) is not None:
                model.setdefault(key, {})[op[2].lower()] = None
        else:
            if model.get(key) is None:
                model[key] = {}
            model[key][op[2].lower()] = (op[2], op[3], op[4])
    return model


def unmet_effects(model, state):
    """The effects of expected_effects that the state does not show, as readable texts."""
    out = []
    for key, values in sorted(model.items()):
        if values is None:
            if key in state:
                out.append("%s: still there" % key)
            continue
        if key not in state:
            out.append("%s: missing" % key)  # a key line creates its key
            continue
        for name, want in sorted(values.items()):
            have = state.get(key, {}).get(name)
            if want is None and have is not None:
                out.append("%s\\%s: still there" % (key, have[0]))
            elif want is not None and have != want:
                out.append("%s\\%s: %r, not %r" % (key, want[0], have, want))
    return out


# --- Wine's own registry files -------------------------------------------------------------------------------
# regedit's export is not exact for every string value (it writes a REG_SZ as text without its last unit, whatever
# that unit is, and cannot show an odd byte count); the files that wineserver writes hold every value's type and
# bytes. Their form: "[path] time" key lines relative to the file's hive, '#' lines of the key, value lines
# ("name"= or @=) holding "text" or str(TYPE):"text" (strings with their terminator), dword:, hex: or hex(TYPE):;
# a key that holds sub-keys and no value has no line of its own. In text, "\" escapes: \xHHHH (a UTF-16 unit, up
# to four digits), octal \NNN, C escapes, or the next character.
_C_ESCAPES = {"a": 7, "b": 8, "t": 9, "n": 10, "v": 11, "f": 12, "r": 13, "e": 27}


def _wine_unescape(text, i, end_chars):
    """(UTF-16 units, index of the character in end_chars that ends them) of escaped text from text[i]."""
    units = []
    while text[i] not in end_chars:
        c = text[i]
        i += 1
        if c != "\\":
            units.extend(memoryview(_wide(c)).cast("H"))
            continue
        c = text[i]
        if c == "x":
            j = i + 1
            while j < len(text) and j < i + 5 and text[j] in "0123456789abcdefABCDEF":
                j += 1
            units.append(int(text[i + 1:j], 16))
            i = j
        elif c in "01234567":
            j = i
            while j < len(text) and j < i + 3 and text[j] in "01234567":
                j += 1
            units.append(int(text[i:j], 8))
            i = j
        else:
            units.append(_C_ESCAPES.get(c, ord(c)))
            i += 1
    return units, i


def _units_bytes(units):
    return b"".join(u.to_bytes(2, "little") for u in units)


def parse_wine_registry(text, hive, below):
    """The keys of a wineserver registry file (user.reg: hive HKEY_CURRENT_USER, system.reg: HKEY_LOCAL_MACHINE)
    at or below the path `below` (relative to the hive), as a state with every value's exact type and bytes. Unlike
    the states of the exports, the default value has the empty name here: a value may be named "@"."""
    state = {}
    below = below.upper()
    key = None
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        while line.endswith("\\") and not line.startswith("[") and i < len(lines):
            line = line[:-1] + lines[i].lstrip()
            i += 1
        if line.startswith("["):
            units, _ = _wine_unescape(line, 1, "]")
            path = _units_bytes(units).decode("utf-16-le", "surrogatepass")
            key = None
            if path.upper() == below or path.upper().startswith(below + "\\"):
                key = canonical_key(hive + "\\" + path)
                state.setdefault(key, {})
                # A key that holds no value but sub-keys is not written: its sub-keys' lines stand for it.
                parent = key
                while len(parent) > len(hive) + 1 + len(below):
                    parent = parent.rsplit("\\", 1)[0]
                    state.setdefault(parent, {})
            continue
        if key is None or not line.startswith(('"', "@")):
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        else:
            units, end = _wine_unescape(line, 1, '"')
            name = _units_bytes(units).decode("utf-16-le", "surrogatepass")
            rest = line[end + 2:]  # after the quote and the "="
        m = re.match(r'^(?:str\(([0-9a-f]+)\):)?"', rest)
        if m:
            units, _ = _wine_unescape(rest, m.end(), '"')
            kind, data = int(m.group(1) or "1", 16), _units_bytes(units + [0])
        elif rest.startswith("dword:"):
            kind, data = REG_DWORD, int(rest[6:], 16).to_bytes(4, "little")
        else:
            m = re.match(r"^hex(?:\(([0-9a-f]+)\))?:(.*)$", rest)
            if not m:
                raise ValueError("unknown data in a registry file: %r" % line)
            body = m.group(2).replace(" ", "")
            kind, data = int(m.group(1), 16) if m.group(1) else REG_BINARY, bytes.fromhex(body.replace(",", ""))
        state[key][name.lower()] = (name, kind, data)
    return state
