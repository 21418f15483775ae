"""Entry paths as cmd reads them: characters that cmd would treat specially, characters of other code pages,
and paths that could name something other than the entry. The batch file is run, and exactly the files with
a line must be gone."""

import re
import shutil
import unittest

import cmd_console
from report_runs import batch_lines, convert, place_report
from synthetic import regshot191_report
from wine_prefix import session

WORK = "C:\\paths"

# Written by the item's short (8.3) name, after a REM line that shows the long one.
SHORT = "short name"

# name on disk, the name as the ANSI report holds it (None: same), the entry line or None for no line
FILES = (
    ("caf\u00e9.txt", None, 'DEL "C:\\paths\\caf\u00e9.txt"'),  # é is in both code pages (OEM byte 0x82)
    ("%TEMP%.txt", None, 'DEL "C:\\paths\\%%TEMP%%.txt"'),  # not the TEMP variable
    ("this & that.txt", None, 'DEL "C:\\paths\\this & that.txt"'),
    ("price \u20ac.txt", None, SHORT),  # € has no OEM 437 equivalent: the long name cannot be written
    ("\u0444\u0430\u0439\u043b.txt", "????.txt", SHORT),  # lost in an ANSI report; "?" would be a wildcard
    ("*.txt", None, None),  # (on disk: "star.txt") a wildcard names every file
    ("sub\\..\\kept.txt", None, None),  # ".." would reach outside the listed path
    ("App (x86).txt", None, 'DEL "C:\\paths\\App (x86).txt"'),  # beside the listed folder App (x86), not in it
    ("App (x86)\\inside\\in.txt", None, None),  # in the listed folder: its line covers it
)
FOLDERS = (
    ("App (x86)", 'RMDIR /S %_nop% "C:\\paths\\App (x86)"'),
    ("Program Files (x86)", None),  # a folder named Program Files is never listed
)


class EntryPathsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def make_machine(self):
        work = self.prefix.unix_path(WORK)
        if work.exists():
            shutil.rmtree(work)
        (work / "sub").mkdir(parents=True)
        for name, _ in FOLDERS:
            (work / name / "inside").mkdir(parents=True)
        for name, _, _ in FILES:
            if "\\" not in name and name != "*.txt":
                (work / name).write_text("left over\n")
        (work / "App (x86)" / "inside" / "in.txt").write_text("left over\n")
        (work / "star.txt").write_text("must stay\n")
        (work / "kept.txt").write_text("must stay\n")

    def check(self, encoding):
        self.make_machine()
        seen_short = []
        in_report = [WORK + "\\" + (ansi if ansi and encoding == "cp1252" else name) for name, ansi, _ in FILES]
        source = self.prefix.unix_path(WORK + "\\source.txt")
        source.write_bytes(regshot191_report([WORK + "\\" + name for name, _ in FOLDERS], in_report, encoding))
        report = place_report(self.prefix, source, WORK, "report.txt")
        batch = convert(self, self.prefix, report)["bat"]
        # The ANSI report lost the Cyrillic name: "????.txt" names no file (and "?" would be a wildcard).
        lost = {name for name, ansi, _ in FILES if ansi and encoding == "cp1252"}
        written = [(name, line) for name, _, line in FILES if line and name not in lost]
        expected = [line for _, line in FOLDERS if line] + [line for _, line in written]
        got = batch_lines(batch)
        self.assertEqual(len(got), len(expected), got)
        text = batch.decode("cp437")
        for line, want in zip(got, expected):
            if want != SHORT:
                self.assertEqual(line, want)
                continue
            # An 8.3 name of this folder, the only way cmd reads the item exactly; the REM line before it says
            # which file it stands for, with "?" for what the OEM code page lacks.
            self.assertRegex(line, r'^DEL "C:\\paths\\[A-Z0-9_~]{1,8}\.TXT"$')
            long_name = next(name for name, line_of in written if line_of == SHORT and name not in
                             [n for n, _ in seen_short])
            seen_short.append((long_name, line))
            shown = "".join(c if c in "\u00e9" or ord(c) < 128 else "?" for c in long_name)
            self.assertIn("REM C:\\paths\\%s\r\n%s\r\n" % (shown, line), text)
        self.assertIn('DEL "C:\\paths\\caf\x82.txt"\r\n'.encode("latin-1"), batch, "written in the OEM code page")

        before = self.prefix.tree(WORK)
        transcript = cmd_console.run_batch(self.prefix.env, WORK + "\\report.bat", self.prefix.unix_path(WORK))
        self.assertEqual(transcript.exit_status, 0, transcript.output[-2000:])
        gone = {WORK + "\\" + name for name, line in written}
        gone |= {p for p in before if p == WORK + "\\App (x86)" or p.startswith(WORK + "\\App (x86)\\")}
        self.assertEqual(sorted(before - self.prefix.tree(WORK)), sorted(gone))

    def test_ansi_report(self):
        self.check("cp1252")

    def test_utf16_report(self):
        self.check("utf-16-le")

    def test_exclamation_marks_name_the_same_file_with_delayed_expansion_on(self):
        # Where delayed expansion is on (cmd /V:ON), "!X!" is a variable even inside quotes: a plain
        # DEL "C:\paths\a!X!b.txt" would delete C:\paths\ab.txt instead.
        work = self.prefix.unix_path(WORK)
        if work.exists():
            shutil.rmtree(work)
        work.mkdir(parents=True)
        (work / "a!X!b.txt").write_text("left over\n")
        (work / "ab.txt").write_text("must stay\n")
        source = work / "source.txt"
        source.write_bytes(regshot191_report(files=[WORK + "\\a!X!b.txt"]))
        report = place_report(self.prefix, source, WORK, "report.txt")
        batch = convert(self, self.prefix, report)["bat"]
        self.assertEqual(batch_lines(batch), ['DEL "C:\\paths\\a!X!b.txt"'])

        before = self.prefix.tree(WORK)
        transcript = cmd_console.run_batch(self.prefix.env, WORK + "\\report.bat", work, cmd_options=("/V:ON",))
        self.assertEqual(transcript.exit_status, 0, transcript.output[-2000:])
        self.assertEqual(sorted(before - self.prefix.tree(WORK)), [WORK + "\\a!X!b.txt"])


if __name__ == "__main__":
    unittest.main()
