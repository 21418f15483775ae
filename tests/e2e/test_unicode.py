"""Names in any alphabet: Cyrillic, Greek, CJK and a character beyond the Basic Multilingual Plane, in keys,
value names, string data, folder and file names.

The prefix holds what an uninstall left behind under such names, beside items that must stay. A report of a
Unicode build of Regshot names them all: after regedit imports both scripts and cmd runs the batch file, every
left-over is gone and every modified value (a string, an expandable string, a multi-string) holds its old data
byte for byte. A report of an ANSI build holds "?" for what its code page (cp1252) lacks: exactly the entries
it still names exactly are cleaned up, and nothing is written from a "?".
"""

import sys
import unittest

import cmd_console
from report_runs import convert, place_report
from wine_prefix import E2E_DIR, session

sys.path.insert(0, str(E2E_DIR / "registry"))
import reg_files  # noqa: E402

WORK = "C:\\rxuni-work"
SCAN = "C:\\rxuni"
ROOT = "HKEY_CURRENT_USER\\Software\\RXUni"
REPORT_ROOT = "HKU\\S-1-5-21-0-0-0-1000\\Software\\RXUni"  # as Regshot names the current user's key
EMOJI = "\U0001F600"

LEFT_KEYS = ["Ключ", "Ελληνικά", "日本語", "Emoji " + EMOJI, "Café"]
KEPT_KEYS = ["Остаётся"]  # not in the report
LEFT_VALUES = ["Значение", "τιμή", "値", EMOJI, "Crème"]
KEPT_VALUES = ["Сохранить"]
# name, type, old data, new data (as the machine holds it after the uninstall)
MODIFIED = [
    ("Строка", reg_files.REG_SZ, "старый 日本 " + EMOJI, "новый"),
    ("Путь", reg_files.REG_EXPAND_SZ, "%TEMP%\\старый", "%TEMP%\\new"),
    ("Список", reg_files.REG_MULTI_SZ, ["α", "β γ", EMOJI], ["x"]),
    ("Déjà", reg_files.REG_SZ, "vu", "nouveau"),
]
LEFT_FOLDERS = ["Новая папка", "Café"]
LEFT_FILES = ["файл.txt", "αρχείο.txt", "文件.txt", "emoji " + EMOJI + ".txt", "crème.txt"]
KEPT_FILES = ["kept ж.txt"]


def data_bytes(kind, data):
    """The bytes the registry holds for a value (UTF-16 strings with their terminators)."""
    if kind == reg_files.REG_MULTI_SZ:
        return "".join(s + "\0" for s in data).encode("utf-16-le") + b"\0\0"
    return (data + "\0").encode("utf-16-le")


def reg_data(kind, data):
    """The data part of a .reg line for the value."""
    if kind == reg_files.REG_SZ:
        return '"%s"' % data.replace("\\", "\\\\").replace('"', '\\"')
    raw = data_bytes(kind, data)
    return "hex(%x):%s" % (kind, ",".join("%02x" % b for b in raw))


def machine_reg():
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key in LEFT_KEYS + KEPT_KEYS:
        lines += ["[%s\\%s]" % (ROOT, key), '"Inside"="x"', ""]
    lines.append("[%s\\Values]" % ROOT)
    lines += ['"%s"="left over"' % name for name in LEFT_VALUES + KEPT_VALUES]
    lines += ["", "[%s\\Mods]" % ROOT]
    lines += ['"%s"=%s' % (name, reg_data(kind, new)) for name, kind, _, new in MODIFIED]
    return "\r\n".join(lines + [""])


def report_data(kind, data):
    """The data as Regshot 1.9.1 shows it."""
    if kind == reg_files.REG_MULTI_SZ:
        return ", ".join('"%s"' % s for s in data)
    return '"%s"' % data


def report(encoding):
    """The uninstall as Regshot 1.9.1 x64 reports it, in its Unicode (utf-16-le) or ANSI (cp1252) build; the
    ANSI build writes "?" for what its code page lacks."""
    build = "Unicode" if encoding == "utf-16-le" else "ANSI"
    dashes = "-" * 34
    lines = ["Regshot 1.9.1 x64 %s (beta r321)" % build, "Comments: ", "Datetime: 2026-12-08 10:00:00, 2026-12-08 10:05:00",
             "Computer: VM, VM", "Username: root, root", ""]

    def section(title, entries, after=None):
        lines.extend([dashes, "%s: %d" % (title, len(entries)), dashes])
        for entry in entries:
            lines.append(entry)
            if after:
                lines.append(after)
        lines.append("")

    section("Keys added", ["%s\\%s" % (REPORT_ROOT, k) for k in LEFT_KEYS])
    section("Values added", ['%s\\Values\\%s: "left over"' % (REPORT_ROOT, n) for n in LEFT_VALUES])
    lines.extend([dashes, "Values modified: %d" % len(MODIFIED), dashes])
    for name, kind, old, new in MODIFIED:
        lines.append("%s\\Mods\\%s: %s" % (REPORT_ROOT, name, report_data(kind, old)))
        lines.append("%s\\Mods\\%s: %s" % (REPORT_ROOT, name, report_data(kind, new)))
    lines.append("")
    section("Folders added", [SCAN + "\\" + f for f in LEFT_FOLDERS], "0x00000010")
    section("Files added", [SCAN + "\\" + f for f in LEFT_FILES], "2026-12-08 10:04:00, 0x00000020, 11")
    lines.extend([dashes, "Total changes: 20", dashes, ""])
    text = "\r\n".join(lines)
    if encoding == "cp1252":
        # What the ANSI build's code page cannot hold (a character beyond the BMP is two UTF-16 units: "??").
        text = "".join(c if ord(c) < 0x100 or c.encode("cp1252", "ignore") else
                       ("??" if ord(c) > 0xFFFF else "?") for c in text)
        return text.encode("cp1252")
    return text.encode("utf-16-le")


def representable(name):
    try:
        name.encode("cp1252")
        return True
    except UnicodeEncodeError:
        return False


class UnicodeNamesTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def set_up_machine(self):
        self.prefix.restore_registry()
        work = self.prefix.unix_path(self.prefix.fresh_folder(WORK))
        (work / "machine.reg").write_bytes(b"\xff\xfe" + machine_reg().encode("utf-16-le"))
        done = self.prefix.run(["wine", "regedit", "/s", WORK + "\\machine.reg"])
        self.assertEqual(done.returncode, 0, done.stderr)
        scan = self.prefix.unix_path(self.prefix.fresh_folder(SCAN))
        for folder in LEFT_FOLDERS:
            (scan / folder / "внутри").mkdir(parents=True)
            (scan / folder / "внутри" / "файл.dat").write_text("inside\n")
        for name in LEFT_FILES + KEPT_FILES:
            (scan / name).write_text("left over\n")

    def state(self):
        path = self.prefix.unix_path(WORK) / "export.reg"
        path.unlink(missing_ok=True)
        done = self.prefix.run(["wine", "regedit", "/e", WORK + "\\export.reg", ROOT])
        self.assertEqual(done.returncode, 0, done.stderr)
        return reg_files.parse_export(path.read_bytes())

    def clean_up(self, encoding):
        self.set_up_machine()
        source = self.prefix.unix_path(WORK) / "source.txt"
        source.write_bytes(report(encoding))
        placed = place_report(self.prefix, source, WORK, "report.txt")
        outputs = convert(self, self.prefix, placed)
        for script in ("report.reg", "report_mods.reg"):
            done = self.prefix.run(["wine", "regedit", "/s", WORK + "\\" + script])
            self.assertEqual(done.returncode, 0, done.stderr)
        before = self.prefix.tree(SCAN)
        transcript = cmd_console.run_batch(self.prefix.env, WORK + "\\report.bat", self.prefix.unix_path(WORK))
        self.assertEqual(transcript.exit_status, 0, transcript.output[-2000:])
        return outputs, before, self.prefix.tree(SCAN), self.state()

    def check(self, encoding):
        named = (lambda name: True) if encoding == "utf-16-le" else representable
        outputs, before, after, state = self.clean_up(encoding)
        root = reg_files.canonical_key(ROOT)
        for key in LEFT_KEYS:
            self.assertEqual(root + "\\" + key.upper() in state, not named(key), key)
        for key in KEPT_KEYS:
            self.assertIn(root + "\\" + key.upper(), state, key)
        values = state[root + "\\VALUES"]
        for name in LEFT_VALUES:
            self.assertEqual(name.lower() in values, not named(name), name)
        for name in KEPT_VALUES:
            self.assertIn(name.lower(), values)
        mods = state[root + "\\MODS"]
        for name, kind, old, new in MODIFIED:
            want = old if named(name) and named(report_data(kind, old)) else new
            self.assertEqual(mods[name.lower()][1:], (kind, data_bytes(kind, want)), name)

        gone = {p for p in before for item in LEFT_FOLDERS + LEFT_FILES
                if named(item) and (p == SCAN + "\\" + item or p.startswith(SCAN + "\\" + item + "\\"))}
        self.assertEqual(sorted(before - after), sorted(gone))
        self.assertIn(SCAN + "\\" + KEPT_FILES[0], after)
        return outputs

    def test_unicode_report_removes_and_resets_every_name(self):
        outputs = self.check("utf-16-le")
        # Keys by their real names, in regedit's UTF-16 form.
        self.assertIn(("[-HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\RXUni\\Emoji %s]" % EMOJI).encode("utf-8"),
                      outputs["reg"])
        self.assertTrue(outputs["reg_raw"].startswith(b"\xff\xfe"))
        # The files the OEM code page cannot name are written by their short names, each after a REM line.
        batch = outputs["bat"].decode("cp437")
        self.assertIn("REM C:\\rxuni\\????.txt\r\nDEL \"C:\\rxuni\\", batch)

    def test_ansi_report_cleans_up_what_it_still_names_exactly(self):
        outputs = self.check("cp1252")
        for kind in ("reg", "mods"):
            for line in outputs[kind].decode("utf-8").split("\r\n"):
                if line.startswith(("[", '"', "@")):
                    self.assertNotIn("?", line, "a line from a '?' would name another key or value")


if __name__ == "__main__":
    unittest.main()
