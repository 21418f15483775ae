"""The undo script's round trip under Wine, over random subtrees: importing report.reg, report_mods.reg,
report_restore.reg and then report_undo.reg leaves both trees exactly as they were, key by key, value by value,
type and bytes.

A fixed seed makes the same machine every run. Below HKCU\\Software\\RSUndoAudit and HKLM\\Software\\RSUndoAudit it
holds subtrees 0 to 4 keys deep (empty keys, default values, names with quotes, backslashes, "=", ";", blanks at
either end, brackets, control characters, Cyrillic, CJK and a character beyond the BMP, the empty name, lines of
more than 1,000 characters) with values of every type regedit can write: strings, expandable strings and
multi-strings in the shapes regedit can make (two terminators, a stray byte after the terminator, embedded zeros
and empty strings, the list's end missing, line breaks, half a UTF-16 pair), DWORDs and QWORDs of the right length
and of others, empty and long binary data, REG_NONE and types of no name; one subtree takes more than 1 MiB of
the undo script, and some hold a name that no .reg line can hold (their keys must stay). A Regshot 1.9.1 x64
Unicode report lists these subtrees as added keys, values beside them (in keys that stay) as added, modified and
deleted, and deleted keys.

Not here: strings (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) whose last whole UTF-16 unit is not zero (no terminator).
Wine's regedit (8.0) cannot make them: it appends a zero unit to hex(1), hex(2) and hex(7) data whose last whole
unit is not zero (and with an odd byte count then writes a byte from beyond the data).

The state is read twice over: from the files that wineserver writes (every byte of every value) and from
regedit's export (what the registry suite compares).
"""

import random
import re
import sys
import unittest

from report_runs import convert, place_report
from wine_prefix import E2E_DIR, session, strip_wine_diagnostics

sys.path.insert(0, str(E2E_DIR / "registry"))
import reg_files  # noqa: E402
from reg_files import utf16, well_formed_multi, well_formed_string  # noqa: E402
from run import check_script_lines  # noqa: E402  (the registry suite's check of every line)

SEED = 20261208
WORK = "C:\\rsundo-work"
AUDIT = "Software\\RSUndoAudit"
# (hive as the exact state names it, the wineserver file, the hive as the Regshot x64 report names it)
HIVES = [("HKEY_CURRENT_USER", "user.reg", "HKU\\S-1-5-21-0-0-0-1000"),
         ("HKEY_LOCAL_MACHINE", "system.reg", "HKLM")]
REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 0, 1, 2, 3, 4, 7, 11
EMOJI = "\U0001F600"

# Value names, each one as it must come back; "" is the default value.
VALUE_NAMES = ["plain", 'say "hi"', "back\\slash", "ends\\", "\\\\double", "a=b", "=", "semi;colon", ";",
               " lead", "trail ", "  both  ", "[bracket]", "]", "[", "Значение", "値の名前", "emoji " + EMOJI,
               EMOJI, "@", "-", 'mix "[=;]" \\ Ж', "hex(1):", "dword:1", "tab\there", "Crème brûlée",
               "ctrl \x01\x1a\x7f", "not a character \uffff\ufffe", "colon: space", "C:\\x\\y.dll"]
KEY_NAMES = ["Plain", "With blank", " lead", "trail ", "[br]", "a]b", "]", "semi;colon", "eq=al", 'quo"te',
             "Ключ", "鍵の名", "Emoji " + EMOJI, "-dash", "@", "Ünïcödé"]
SAFE_TEXTS = ["", "x", 'say "hi"', "C:\\Program Files\\App\\", "%SystemRoot%\\system32", "Привет, мир", "日本語",
              EMOJI + " beyond", "a;b=c[d]", "  blanks  ", "\\\\server\\share", "\ufeffmark \uffff",
              "escapes as text: \\n \\r \\0 \\x41 \\\\ \\\""]
# A UTF-16 unit that is half of a pair, alone: the registry holds any units.
TEXTS = SAFE_TEXTS + ["lone \udc00 low"]
# Names that no .reg line can hold as they are (a line break; a half pair, which has no UTF-8 form): a subtree
# holding one cannot be put back whole, so its key is not removed.
UNHOLDABLE = [("line\nbreak", None), ("lone \ud800 high", None), (None, "lone \udbff key")]



DATA_KINDS = 22


def random_data(rng, choice=None):
    """(type, bytes) of one value, of the kind `choice` (0 to DATA_KINDS - 1) or of a random one."""
    choice = rng.randrange(DATA_KINDS) if choice is None else choice
    text = rng.choice(TEXTS)
    if choice == 0:
        return REG_SZ, utf16(text + "\0")  # written as "text"
    if choice == 1:
        return REG_SZ, utf16(text + "\0\0")  # two terminators
    if choice == 2:
        return REG_SZ, utf16(text + "\0") + b"\x07"  # an odd byte count: a byte after the terminator
    if choice == 3:
        return REG_SZ, utf16("a\0b\0")  # an embedded zero
    if choice == 4:
        return REG_SZ, utf16("line one\r\nline two\n\0")
    if choice == 5:
        return REG_SZ, b""
    if choice == 6:
        return REG_EXPAND_SZ, utf16(rng.choice(["%TEMP%\\x", "%PATH%;" + text, ""]) + "\0")
    if choice == 7:
        return REG_EXPAND_SZ, utf16("%APPDATA%\0") + b"\x01"
    if choice == 8:
        return REG_MULTI_SZ, utf16("".join(s + "\0" for s in rng.sample(TEXTS, 3)) + "\0")
    if choice == 9:
        return REG_MULTI_SZ, utf16("a\0\0b\0\0")  # an empty string inside
    if choice == 10:
        return REG_MULTI_SZ, utf16(rng.choice(["a\0b\0", "", "\0"]))  # the list's end missing; empty ones
    if choice == 11:
        return REG_DWORD, rng.getrandbits(32).to_bytes(4, "little")
    if choice == 12:
        return REG_DWORD, bytes(rng.getrandbits(8) for _ in range(rng.choice([0, 2, 5])))
    if choice == 13:
        return REG_QWORD, rng.getrandbits(64).to_bytes(8, "little")
    if choice == 14:
        return REG_QWORD, bytes([1, 2, 3])
    if choice == 15:
        return REG_BINARY, b""
    if choice == 16:
        return REG_BINARY, bytes(rng.getrandbits(8) for _ in range(rng.randrange(1, 40)))
    if choice == 17:
        return REG_BINARY, bytes(rng.getrandbits(8) for _ in range(rng.randrange(2001, 2600)))
    if choice == 18:
        return REG_NONE, bytes(rng.getrandbits(8) for _ in range(rng.randrange(0, 6)))
    if choice == 19:
        return 0x10, bytes(rng.getrandbits(8) for _ in range(rng.randrange(0, 6)))
    if choice == 20:
        return 0xFFFF0000, bytes(rng.getrandbits(8) for _ in range(rng.randrange(0, 6)))
    return 0x5, (0x12345678).to_bytes(4, "big")  # REG_DWORD_BIG_ENDIAN


def random_values(rng, count):
    names = rng.sample(VALUE_NAMES, count)
    if names and rng.random() < 0.4:
        names[0] = ""
    return {name.lower(): (name, *random_data(rng)) for name in names}


def random_subtree(rng, path, depth, state, deepest=False):
    """Adds the key at path and a random subtree below it (at most `depth` levels, exactly that many with
    deepest) to state."""
    state[path] = random_values(rng, rng.randrange(0, 5))
    if depth == 0:
        return
    for i, name in enumerate(rng.sample(KEY_NAMES, rng.randrange(1 if deepest else 0, 4))):
        random_subtree(rng, path + "\\" + name, depth - 1, state, deepest and i == 0)


class Machine:
    """What the test puts in the registry and what the report says about it. Paths: hive in full, real case."""

    def __init__(self, seed):
        rng = random.Random(seed)
        self.state = {}  # the registry below both roots as the set-up makes it
        self.gone = []  # the subtrees the report lists as added keys (tops)
        self.added, self.modified, self.deleted_values = [], [], []  # (key, name, type, bytes[, old bytes])
        self.deleted_keys = []  # (key, [(name, type, bytes)])
        self.unholdable = []  # (key, the name a .reg line cannot hold or None when it is the key's own)
        for hive, _, _ in HIVES:
            root = hive + "\\" + AUDIT
            self.state[root] = {}
            for n, depth in enumerate([0, 1, 4, rng.randrange(5), rng.randrange(5)]):
                top = root + "\\Gone %d %s" % (n, rng.choice(KEY_NAMES))
                random_subtree(rng, top, depth, self.state, deepest=n == 2)
                self.gone.append(top)
            # Every name and every kind of data, whatever the seed: the default value and one named "@" beside it.
            every = root + "\\Gone every"
            self.state[every] = {}
            for n, name in enumerate([""] + VALUE_NAMES):
                self.state[every][name.lower()] = (name, *random_data(rng, n % DATA_KINDS))
            self.state[every + "\\Empty"] = {}
            self.gone.append(every)
            # Subtrees with a name that a .reg file cannot hold, deep inside.
            for n, (value_name, key_name) in enumerate(UNHOLDABLE):
                top = root + "\\Gone unholdable %d" % n
                inner = top + "\\Inner\\" + (key_name or "Deeper")
                self.state[top] = random_values(rng, 2)
                self.state[top + "\\Inner"] = random_values(rng, 2)
                self.state[inner] = random_values(rng, 2)
                if value_name is not None:
                    self.state[inner][value_name.lower()] = (value_name, REG_SZ, utf16("x\0"))
                self.gone.append(top)
                self.unholdable.append((inner, value_name))
            # Long lines: a key path of more than 1,000 characters, a long name, a long string.
            long_key = root + "\\Gone long"
            self.state[long_key] = {"s": ("s", REG_SZ, utf16("Long 'text' \"quoted\" " * 300 + "\0"))}
            for n in range(5):
                long_key += "\\" + ("%d " % n) * 120
                self.state[long_key] = {("n" * 2000).lower(): ("n" * 2000, REG_DWORD, bytes(4))}
            self.gone.append(root + "\\Gone long")
            # A subtree of more than 1 MiB in the undo script's text.
            big = root + "\\Gone big"
            self.state[big] = {}
            for n in range(3):
                self.state[big + "\\Part %d" % n] = {
                    "v%03d" % i: ("v%03d" % i, REG_BINARY, bytes(rng.getrandbits(8) for _ in range(3000)))
                    for i in range(60)}
            self.gone.append(big)
            # A key that stays, with values the report lists as added (to be deleted), as modified (to be reset)
            # and as deleted (to be written back), and values it does not list.
            kept = root + "\\Kept " + rng.choice(KEY_NAMES)
            self.state[kept] = random_values(rng, 12)
            names = list(self.state[kept].values())
            rng.shuffle(names)
            for name, kind, data in names[:5]:
                self.added.append((kept, name, kind, data))
            for name, kind, data in names[5:9]:
                old = self.old_data(rng, kind, data)
                if old is not None:
                    self.modified.append((kept, name, kind, data, old))
            for name in ("deleted dword", "deleted qword " + EMOJI):
                kind = REG_DWORD if "dword" in name else REG_QWORD
                self.deleted_values.append((kept, name, kind, rng.getrandbits(32 if kind == REG_DWORD else 64)
                                            .to_bytes(4 if kind == REG_DWORD else 8, "little")))
            # Added values whose report line reads as another key's value too: "Tricky\back\slash" is also
            # the value slash of the key Tricky\back, which stays (the program may say it cannot tell them apart).
            tricky = root + "\\Kept tricky"
            self.state[tricky] = {}
            self.state[tricky + "\\back"] = {"slash": ("slash", REG_SZ, utf16("stays\0"))}
            self.state[tricky + "\\C:"] = {"x\\y.dll": ("x\\y.dll", REG_DWORD, (1).to_bytes(4, "little"))}
            for name in ("back\\slash", "colon: space", "ends\\", "C:\\x\\y.dll", "a: b: c", ""):
                self.state[tricky][name.lower()] = (name, REG_SZ, utf16("x: y\0"))
                self.added.append((tricky, name, REG_SZ, utf16("x: y\0")))
            # Deleted keys that are still missing, one inside the other: the restore script creates each, the
            # undo script deletes them again. A deleted value whose name reads as a path of keys that do not
            # exist (and are not listed as deleted): it was the root's.
            self.deleted_keys.append((root + "\\Deleted Ключ", [("n", REG_QWORD, (7).to_bytes(8, "little"))]))
            self.deleted_keys.append((root + "\\Deleted Ключ\\child " + EMOJI, [("", REG_QWORD, bytes(8))]))
            self.deleted_keys.append((root + "\\Vanished", []))
            self.deleted_values.append((root, "Unlisted\\Deep\\q", REG_QWORD, (1 << 63).to_bytes(8, "little")))
            # A deleted key whose parent is missing too but not listed: creating the key creates its parent.
            self.deleted_keys.append((root + "\\Missing parent\\child", [("q", REG_QWORD, bytes(range(8)))]))
            # Listed as deleted but there again: a key with its values and a value of another type and data.
            reborn = root + "\\Reborn"
            self.state[reborn] = {"q": ("q", REG_SZ, utf16("now\0")), "d": ("d", REG_BINARY, b"\1")}
            self.state[reborn + "\\Sub"] = {}
            self.deleted_keys.append((reborn, [("q", REG_QWORD, bytes(8))]))
            self.deleted_keys.append((reborn + "\\Sub", []))
            self.deleted_values.append((kept, "again", REG_QWORD, (5).to_bytes(8, "little")))
            self.state[kept]["again"] = ("again", REG_QWORD, (6).to_bytes(8, "little"))

    @staticmethod
    def old_data(rng, kind, data):
        """Old data of another value of the same type, as the report can tell it exactly; None for a value the
        test does not list as modified."""
        if kind == REG_DWORD and len(data) == 4:
            return rng.getrandbits(32).to_bytes(4, "little")
        if kind == REG_QWORD and len(data) == 8:
            return rng.getrandbits(64).to_bytes(8, "little")
        if kind == REG_BINARY:
            return bytes(rng.getrandbits(8) for _ in range(rng.randrange(1, 30)))
        if kind == REG_SZ and well_formed_string(data):
            return utf16("old " + rng.choice(SAFE_TEXTS) + "\0")
        if kind == REG_MULTI_SZ and well_formed_multi(data):
            return utf16("old\0" + rng.choice(SAFE_TEXTS[1:]) + "\0\0")
        return None





# --- the .reg file of the set-up ------------------------------------------------------------------------------

def quoted(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")  # \n: Wine's own


def hex_list(prefix, data):
    body = ",".join("%02x" % b for b in data)
    # regedit's own wrapping: a backslash at the end of a line that goes on
    return prefix + re.sub(r"((?:[0-9a-f]{2},){25})", "\\1\\\\\r\n  ", body)


def reg_data(kind, data):
    if kind == REG_SZ and well_formed_string(data) and "\r" not in data.decode("utf-16-le", "surrogatepass") and \
            "\n" not in data.decode("utf-16-le", "surrogatepass"):
        return quoted(data[:-2].decode("utf-16-le", "surrogatepass"))
    if kind == REG_DWORD and len(data) == 4:
        return "dword:%08x" % int.from_bytes(data, "little")
    return hex_list("hex:" if kind == REG_BINARY else "hex(%x):" % kind, data)


def value_line(name, kind, data):
    return "%s=%s" % ("@" if name == "" else quoted(name), reg_data(kind, data))


def setup_reg(machine):
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in machine.state.items():
        lines.append("[%s]" % key)
        lines += [value_line(*v) for v in values.values()]
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


# --- the report -----------------------------------------------------------------------------------------------

def report_path(key):
    for hive, _, shown in HIVES:
        if key.startswith(hive + "\\"):
            return shown + key[len(hive):]
    raise ValueError(key)


def report_data(kind, data):
    """The data as Regshot 1.9.1 writes it."""
    if not data:
        return "(NULL!)"
    if kind in (REG_SZ, REG_EXPAND_SZ) and well_formed_string(data):
        return '"%s"' % data[:-2].decode("utf-16-le", "surrogatepass")
    if kind == REG_MULTI_SZ and well_formed_multi(data):
        return ", ".join('"%s"' % s for s in data[:-4].decode("utf-16-le", "surrogatepass").split("\0"))
    if kind == REG_DWORD and len(data) == 4:
        return "0x%08X" % int.from_bytes(data, "little")
    if kind == REG_QWORD and len(data) == 8:
        return "0x%016X" % int.from_bytes(data, "little")
    return " ".join("%02X" % b for b in data)


def wrapped(entry):
    """Regshot 1.9 breaks an entry after every 1000 characters (UTF-16 units)."""
    units = utf16(entry)
    return "\r\n".join(units[i:i + 2000].decode("utf-16-le", "surrogatepass") for i in range(0, len(units), 2000))


def report(machine):
    dashes = "-" * 34
    lines = ["Regshot 1.9.1 x64 Unicode (beta r321)", "Comments: ",
             "Datetime: 2026-12-08 10:00:00, 2026-12-08 10:05:00", "Computer: VM, VM", "Username: root, root", ""]
    total = 0

    def section(title, entries, pairs_of=1):
        nonlocal total
        if not entries:
            return
        count = len(entries) // pairs_of
        total += count
        lines.extend([dashes, "%s: %d" % (title, count), dashes])
        lines.extend(wrapped(e) for e in entries)
        lines.append("")

    def value_entry(key, name, kind, data):
        return "%s\\%s: %s" % (report_path(key), name, report_data(kind, data))

    section("Keys deleted", [report_path(k) for k, _ in machine.deleted_keys])
    # Regshot lists every added key, a parent before its sub-keys, and every value of them as added.
    added_keys = sorted(k for k in machine.state if any(k == t or k.startswith(t + "\\") for t in machine.gone))
    section("Keys added", [report_path(k) for k in added_keys])
    section("Values deleted", [value_entry(k, n, t, d) for k, values in machine.deleted_keys for n, t, d in values] +
            [value_entry(*v) for v in machine.deleted_values])
    section("Values added", [value_entry(k, *v) for k in added_keys for v in machine.state[k].values()] +
            [value_entry(*v) for v in machine.added])
    section("Values modified", [e for k, n, t, new, old in machine.modified
                                for e in (value_entry(k, n, t, old), value_entry(k, n, t, new))], 2)
    lines.extend([dashes, "Total changes: %d" % total, dashes, ""])
    return b"\xff\xfe" + utf16("\r\n".join(lines))


class UndoRoundTripTest(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def exact_state(self):
        """Both trees, every value's type and bytes, from the files wineserver writes."""
        texts = self.prefix.saved_registry_files()
        state = {}
        for hive, file_name, _ in HIVES:
            state.update(reg_files.parse_wine_registry(texts[file_name], hive, AUDIT))
        return state

    def exported_state(self):
        """Both trees as regedit exports them."""
        state = {}
        path = self.prefix.unix_path(WORK) / "export.reg"
        for hive, _, _ in HIVES:
            path.unlink(missing_ok=True)
            done = self.prefix.run(["wine", "regedit", "/e", WORK + "\\export.reg", hive + "\\" + AUDIT])
            if done.returncode == 0 and path.exists():
                reg_files.parse_export(path.read_bytes(), state)
        return state

    def regedit_import(self, name):
        done = self.prefix.run(["wine", "regedit", "/s", WORK + "\\" + name])
        said = strip_wine_diagnostics(done.stdout + done.stderr).strip()
        self.assertEqual((done.returncode, said), (0, ""), "regedit about %s" % name)

    def diff(self, want, have):
        """The differences, each changed value with both its forms (type and the first bytes)."""
        out = []
        for key, name, what in reg_files.differences(want, have, re.compile("(?!)")):
            if what == "changed":
                out.append((key, name, want[key][name.lower()][1:], have[key][name.lower()][1:]))
            else:
                out.append((key, name, what))
        return out

    def test_undo_puts_back_every_key_and_value_byte_for_byte(self):
        machine = Machine(SEED)
        self.prefix.restore_registry()
        work = self.prefix.unix_path(self.prefix.fresh_folder(WORK))
        (work / "machine.reg").write_bytes(b"\xff\xfe" + utf16(setup_reg(machine)))
        self.regedit_import("machine.reg")
        canonical = {reg_files.canonical_key(k): v for k, v in machine.state.items()}
        first = self.exact_state()
        # regedit creates every construct of the generator as meant.
        self.assertEqual(self.diff(canonical, first), [], "the set-up")
        for key, values in canonical.items():
            self.assertEqual(first[key], values, key)
        exported_first = self.exported_state()

        source = work / "source.txt"
        source.write_bytes(report(machine))
        outputs = convert(self, self.prefix, place_report(self.prefix, source, WORK, "report.txt"))
        removal = outputs["reg"].decode("utf-8")
        for kind in ("reg", "mods", "restore", "undo"):
            check_script_lines(self, kind, outputs[kind])
        for name in ("report.reg", "report_mods.reg", "report_restore.reg"):
            self.regedit_import(name)
        cleaned = self.exact_state()
        for top in machine.gone:
            left = [k for k in cleaned if k == reg_files.canonical_key(top) or
                    k.startswith(reg_files.canonical_key(top) + "\\")]
            if not any(key.startswith(top + "\\") for key, _ in machine.unholdable):
                self.assertEqual(left, [], "removed with its subtree: " + top)
                self.assertIn("[-%s]\r\n" % top.replace("HKEY_CURRENT_USER", "HKEY_USERS\\S-1-5-21-0-0-0-1000"),
                              removal)
        for inner, value_name in machine.unholdable:
            # The key that holds the name stays, and so does every key above it.
            self.assertIn(reg_files.canonical_key(inner), cleaned)
        for key, name, _, _ in machine.added:
            # Only a name with a backslash may read as another's, and then it is not removed.
            kept = "\\" in name and "; Not removed: %s\\%s (" % (report_path(key), name) in removal
            self.assertEqual(name.lower() in cleaned[reg_files.canonical_key(key)], kept, "removed: %r" % name)
        for key, values in machine.state.items():
            if "\\Kept tricky\\" in key:
                self.assertEqual(cleaned[reg_files.canonical_key(key)], values, "the namesakes stay")
        for key, name, kind, _, old in machine.modified:
            self.assertEqual(cleaned[reg_files.canonical_key(key)][name.lower()], (name, kind, old), "reset")
        # What was deleted and is still missing comes back (a value that is there again is the undo's to judge).
        deleted = machine.deleted_values + [(k, *v) for k, values in machine.deleted_keys for v in values]
        for key, name, kind, data in deleted:
            if name.lower() in first.get(reg_files.canonical_key(key), {}):
                continue
            # Regshot shows a REG_DWORD_BIG_ENDIAN as a DWORD: a DWORD's type is not told, so it is a comment.
            want = (name, kind, data) if kind == REG_QWORD else None
            self.assertEqual(cleaned[reg_files.canonical_key(key)].get(name.lower()), want, "restored")
        for key, _ in machine.deleted_keys:
            self.assertIn(reg_files.canonical_key(key), cleaned, "restored")

        self.regedit_import("report_undo.reg")
        self.assertEqual(self.diff(first, self.exact_state()), [], "the undo script puts back every byte")
        self.assertEqual(self.diff(exported_first, self.exported_state()), [], "and regedit exports the same")


if __name__ == "__main__":
    unittest.main()
