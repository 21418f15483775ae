"""Hostile reports under Wine: paths and names that cmd or regedit would read as syntax, a 100 MB line, NUL
bytes and garbage, absurd counts, a report that is a folder or cannot be read, outputs that cannot be created.
Each run ends with a message or passes the entry over; the scripts, run by cmd and imported by regedit, remove
exactly what the report lists; and nothing but the four outputs changes beside the report."""

import hashlib
import os
import unittest

import cmd_console
from report_runs import NO_FILES_BATCH, batch_lines, convert, output_names, place_report
from synthetic import regshot191_report
from wine_prefix import session, strip_wine_diagnostics

WORK = "C:\\hostile"
DASHES = "-" * 34
HEADING = ["Regshot 1.9.1 x64 ANSI (beta r321)", "Comments: ", "Datetime: 2026-12-07 05:39:19, 2026-12-07 05:39:25",
           "Computer: VM, VM", "Username: root, root", ""]


def report_bytes(sections, encoding="cp1252"):
    """A report in Regshot 1.9.1's ANSI layout; sections are (title, count text, entry lines)."""
    lines = list(HEADING)
    for title, count, entries in sections:
        lines += [DASHES, "%s %s" % (title, count), DASHES] + list(entries) + [""]
    lines += [DASHES, "Total changes: 1", DASHES, ""]
    return "\r\n".join(lines).encode(encoding)


class HostileTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def folder(self, name):
        """A fresh folder of its own for one case; returns its Windows path."""
        return self.prefix.fresh_folder(WORK + "\\" + name)

    def snapshot(self, folder):
        """Every entry below a folder with a digest of its bytes (folders and links by kind only)."""
        root = self.prefix.unix_path(folder)
        found = {}
        for parent, dirs, files in os.walk(root):
            for name in dirs + files:
                p = os.path.join(parent, name)
                if os.path.islink(p) or os.path.isdir(p):
                    found[p] = "link" if os.path.islink(p) else "folder"
                else:
                    with open(p, "rb") as f:
                        found[p] = hashlib.sha256(f.read()).hexdigest()
        return found

    def assert_only_outputs_changed(self, folder, before, report):
        outputs = {str(self.prefix.unix_path(name)) for name in output_names(report).values()}
        after = self.snapshot(folder)
        changed = {p for p in set(before) | set(after) if before.get(p) != after.get(p)}
        self.assertEqual(sorted(changed - outputs), [], "only the four outputs may change")

    def messages(self, done):
        return strip_wine_diagnostics(done.stderr).splitlines()


class HostilePathsTest(HostileTest):
    """The batch file of entry paths full of cmd syntax, run by cmd with and without delayed expansion."""

    LISTED = ("this & that.txt", "up^arrow.txt", "100%.txt", "%PATH%.txt", "wow!.txt", "!x!y.txt")
    # What cmd would make of the paths above if a line let it expand or match: these must survive.
    DECOYS = ("wow.txt", "y.txt", "keep.txt", "star.txt", "x.txt")
    # Entries that name nothing a line could name safely; none gets a line.
    REFUSED = ('say "hi".txt', "*.txt", "?.txt", "a|b.txt", "a<b.txt", "a>b.txt", "sub\\..\\keep.txt",
               "keep.txt\rjunk", "gone\t%s\\keep.txt", "..\\paths\\keep.txt")

    def make_machine(self, work):
        unix = self.prefix.unix_path(work)
        (unix / "sub").mkdir()
        for name in self.LISTED + self.DECOYS:
            (unix / name).write_text("left over\n")

    def check(self, name, delayed_expansion):
        work = self.folder(name)
        self.make_machine(work)
        entries = [work + "\\" + n for n in self.LISTED] + [work + "\\" + (n % work if "%s" in n else n)
                                                             for n in self.REFUSED]
        source = self.prefix.unix_path(WORK + "\\" + name + "-source.txt")
        source.write_bytes(regshot191_report((), entries))
        report = place_report(self.prefix, source, work, "report.txt")
        batch = convert(self, self.prefix, report)["bat"]
        expected = ['DEL "%s\\%s"' % (work, n.replace("%", "%%")) for n in self.LISTED]
        self.assertEqual(batch_lines(batch), expected)
        self.assertIn(b"\r\nsetlocal DisableDelayedExpansion\r\nDEL \"%s\\wow!.txt\"\r\n" % work.encode(), batch)

        before = self.prefix.tree(work)
        # cmd /V:ON reads "!x!" as a variable everywhere; the batch file must switch that off itself.
        transcript = cmd_console.run_batch(self.prefix.env, output_names(report)["bat"], self.prefix.unix_path(work),
                                           cmd_options=("/V:ON",) if delayed_expansion else ())
        self.assertEqual(transcript.exit_status, 0, transcript.output[-2000:])
        gone = sorted(before - self.prefix.tree(work))
        self.assertEqual(gone, sorted(work + "\\" + n for n in self.LISTED), transcript.output[-3000:])

    def test_cmd_removes_exactly_the_listed_files(self):
        self.check("paths", delayed_expansion=False)

    def test_cmd_with_delayed_expansion_removes_exactly_the_listed_files(self):
        self.check("paths-delayed", delayed_expansion=True)


class HostileRegistryTest(HostileTest):
    """Key paths holding brackets, quotes and a TAB, value names holding quotes and backslashes: the removal
    script, imported by regedit, deletes exactly them."""

    ROOT = "HKCU\\Software\\ResivexHostile"
    KEYS = ("a]b", "[x]", 'q"uote', "tab\tkey")  # listed as added
    KEPT_KEYS = ("a", "keep", "V", "v]w[", "tab")  # "tab": the key that a path cut at its TAB would name
    VALUES = (("V", 'say "hi"'), ("V", "C:\\dir\\file.dll"), ("V", "tail\\"), ("v]w[", "n"))  # listed as added
    KEPT_VALUES = (("V", "keep"), ("V", "say"))

    def reg(self, *args):
        done = self.prefix.run(["wine", "reg", *args])
        self.assertEqual(done.returncode, 0, "reg %s: %s" % (" ".join(args), done.stderr))
        return done.stdout

    def tearDown(self):
        self.prefix.run(["wine", "reg", "delete", self.ROOT, "/f"])

    def tree(self):
        """The keys below ROOT, and each value as (key, name)."""
        keys, values, key = set(), set(), None
        for line in self.reg("query", self.ROOT, "/s").replace("\r", "").split("\n"):
            if line.startswith("HKEY_CURRENT_USER\\"):
                key = line[len("HKEY_CURRENT_USER\\Software\\ResivexHostile\\"):]
                keys.add(key)
            elif line.startswith("    ") and key is not None:
                name = line[4:].split("    REG_", 1)[0]
                if name != "(Default)":
                    values.add((key, name))
        return keys, values

    def test_regedit_deletes_exactly_the_listed_keys_and_values(self):
        for key in self.KEYS + self.KEPT_KEYS:
            self.reg("add", self.ROOT + "\\" + key, "/f")
        for key, name in self.VALUES + self.KEPT_VALUES:
            self.reg("add", self.ROOT + "\\" + key, "/v", name, "/t", "REG_SZ", "/d", "left over", "/f")
        work = self.folder("registry")
        source = self.prefix.unix_path(work + "\\source.txt")
        source.write_bytes(report_bytes([
            ("Keys added:", str(len(self.KEYS)), [self.ROOT + "\\" + k for k in self.KEYS]),
            ("Values added:", str(len(self.VALUES)),
             ['%s\\%s\\%s: "left over"' % (self.ROOT, k, n) for k, n in self.VALUES]),
        ]))
        report = place_report(self.prefix, source, work, "report.txt")
        removal = convert(self, self.prefix, report)["reg"]
        for key in self.KEYS:
            # The current user's key, as the system resolves HKCU.
            self.assertIn(b"\r\n[-HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\ResivexHostile\\" + key.encode() + b"]\r\n",
                          removal)
        self.assertIn(b'\r\n"say \\"hi\\""=-\r\n', removal)
        self.assertIn(b'\r\n"C:\\\\dir\\\\file.dll"=-\r\n', removal)

        imported = self.prefix.run(["wine", "regedit", "/s", output_names(report)["reg"]])
        self.assertEqual(imported.returncode, 0, imported.stderr)
        keys, values = self.tree()
        self.assertEqual(sorted(keys), sorted(self.KEPT_KEYS))
        self.assertEqual(sorted(values), sorted(self.KEPT_VALUES))


class HostileReportsTest(HostileTest):
    """Reports that no Regshot wrote: each converts, the entries it names clearly still count, and nothing
    but the outputs changes."""

    def convert_guarded(self, work, data, name="report.txt"):
        source = self.prefix.unix_path(work + "\\" + name)
        if isinstance(data, bytes):
            source.write_bytes(data)
        else:
            data(source)
        report = work + "\\" + name
        before = self.snapshot(work)
        outputs = convert(self, self.prefix, report)
        self.assert_only_outputs_changed(work, before, report)
        return outputs

    def test_a_100_mb_line_is_passed_over_and_the_entry_after_it_counts(self):
        work = self.folder("huge")
        self.prefix.unix_path(work + "\\after.txt").write_text("left over\n")
        head = report_bytes([])[:-len(b"\r\n".join([DASHES.encode(), b"Total changes: 1", DASHES.encode(), b""]))]

        def write(path):
            with open(path, "wb") as f:
                f.write(head + ("%s\r\nFiles added: 2\r\n%s\r\nC:\\" % (DASHES, DASHES)).encode())
                piece = b"a" * (1 << 20)
                for _ in range(100):
                    f.write(piece)
                f.write(("\r\n%s\\after.txt\r\n\r\n" % work).encode())

        outputs = self.convert_guarded(work, write)
        self.assertEqual(batch_lines(outputs["bat"]), ['DEL "%s\\after.txt"' % work])

    def test_nul_bytes_garbage_and_empty_reports_convert_to_sound_scripts(self):
        work = self.folder("garbage")
        self.prefix.unix_path(work + "\\clean.txt").write_text("left over\n")
        self.prefix.unix_path(work + "\\a").write_text("left over\n")
        clean = ("%s\\clean.txt" % work).encode()
        nul = report_bytes([("Files added:", "3", [work + "\\a\0.txt", "\0" + work + "\\a", work + "\\clean.txt"])])
        garbage = bytes((i * 7919 + 13) % 256 for i in range(200000))
        cases = (("nul-bytes.txt", nul, ['DEL "%s"' % clean.decode()]),
                 ("garbage.txt", garbage, []),
                 ("garbage-utf16.txt", b"\xff\xfe" + garbage, []),
                 ("empty.txt", b"", []))
        for name, data, lines in cases:
            with self.subTest(report=name):
                outputs = self.convert_guarded(work, data, name)
                self.assertEqual(batch_lines(outputs["bat"]), lines)
                if not lines:
                    self.assertEqual(outputs["bat"], NO_FILES_BATCH)

    def test_absurd_counts_take_the_section_as_it_stands(self):
        work = self.folder("counts")
        for name in ("one.txt", "two.txt", "three.txt"):
            self.prefix.unix_path(work + "\\" + name).write_text("left over\n")
        data = report_bytes([("Files added:", "2147483647", [work + "\\one.txt", work + "\\two.txt"]),
                             ("Files added:", "-5", [work + "\\three.txt"]),
                             ("Folders added:", "99999999999999999999", [])])
        outputs = self.convert_guarded(work, data)
        self.assertEqual(batch_lines(outputs["bat"]), ['DEL "%s\\one.txt"' % work, 'DEL "%s\\two.txt"' % work])


class UnusableFilesTest(HostileTest):
    """A report that is a folder or cannot be read, and outputs that cannot be created: a message, exit
    status 1, and nothing written."""

    def test_a_report_that_is_a_folder_or_unreadable_is_refused(self):
        work = self.folder("unusable")
        self.prefix.unix_path(work + "\\folder.txt").mkdir()
        # Opens, but every read fails (EIO).
        os.symlink("/proc/self/mem", self.prefix.unix_path(work + "\\unreadable.txt"))
        for name in ("folder.txt", "unreadable.txt"):
            with self.subTest(report=name):
                report = work + "\\" + name
                before = self.snapshot(work)
                done = self.prefix.run_cli(report)
                self.assertEqual(done.returncode, 1)
                self.assertEqual(self.messages(done)[:1], ["[Error] 2 - Error opening %s  input file " % report])
                self.assertEqual(done.stdout, "")
                self.assertEqual(self.snapshot(work), before, "nothing is created")

    def test_outputs_that_cannot_be_created_end_the_run_with_a_message(self):
        # A readable file in a folder where nothing can be created, even by root: /proc.
        report = "Z:\\proc\\version"
        done = self.prefix.run_cli(report)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(self.messages(done)[:1], ["[outline] Error opening Z:\\proc\\version.bat  output file "])
        self.assertEqual(done.stdout, "")


if __name__ == "__main__":
    unittest.main()
