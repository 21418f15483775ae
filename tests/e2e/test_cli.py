"""resivex-cli.exe as a script calls it: usage, exit statuses, messages, output names, the listing word."""

import os
import re
import shutil
import unittest

from report_runs import batch_lines, convert, place_report
from synthetic import regshot191_report
from wine_prefix import DATA, REPO, session, strip_wine_diagnostics

WORK = "C:\\cli"
SAMPLE_REPORT = DATA / "regshot" / "reports" / "31-regshot191-x64-ansi-gadget-uninstall.txt"


class CliTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()
        work = cls.prefix.unix_path(WORK)
        if work.exists():
            shutil.rmtree(work)
        work.mkdir(parents=True)

    def folder(self, name):
        """A fresh folder of its own for one case; returns its Windows path."""
        return self.prefix.fresh_folder(WORK + "\\" + name)

    def messages(self, done):
        return strip_wine_diagnostics(done.stderr).splitlines()


class UsageTest(CliTest):

    def test_help_prints_usage_and_succeeds(self):
        for option in ("--help", "/?"):
            with self.subTest(option=option):
                done = self.prefix.run_cli(option)
                self.assertEqual(done.returncode, 0)
                self.assertTrue(done.stdout.startswith("Usage: resivex-cli REPORT [WORD]"), done.stdout[:200])

    def test_version_prints_the_version_of_the_build(self):
        # The version is set in one place: the project() line of CMakeLists.txt.
        project = re.search(r"^project\(resivex VERSION (\d+\.\d+\.\d+)\b", (REPO / "CMakeLists.txt").read_text(),
                            re.MULTILINE)
        self.assertIsNotNone(project, "the project() line of CMakeLists.txt")
        done = self.prefix.run_cli("--version")
        self.assertEqual(done.returncode, 0)
        self.assertEqual(done.stdout.strip(), "resivex-cli " + project.group(1))
        self.assertIn("--version", self.prefix.run_cli("--help").stdout, "the usage names --version")

    def test_no_argument_prints_usage_and_exits_2(self):
        done = self.prefix.run_cli()
        self.assertEqual(done.returncode, 2)
        self.assertIn("Usage: resivex-cli REPORT [WORD]", done.stdout + done.stderr)


class FailureTest(CliTest):

    def test_missing_report_is_an_error(self):
        folder = self.folder("missing")
        report = folder + "\\absent.txt"
        done = self.prefix.run_cli(report)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(self.messages(done)[:1], ["[Error] 2 - Error opening %s  input file " % report])
        self.assertEqual(done.stdout, "")
        self.assertEqual(os.listdir(self.prefix.unix_path(folder)), [], "nothing is created")

    def test_output_that_cannot_be_created_fails_and_spares_the_report(self):
        cases = (  # the output that is a folder instead of a file, the message
            ("report.bat", "[outline] Error opening %s  output file "),
            ("report.reg", "[Error] Error opening %s  output file "),
            ("report_mods.reg", "[Error] Error opening %s  output file "),
        )
        for blocked, message in cases:
            with self.subTest(blocked=blocked):
                folder = self.folder("blocked-" + blocked.replace(".", "-"))
                report = place_report(self.prefix, SAMPLE_REPORT, folder, "report.txt")
                self.prefix.unix_path(folder + "\\" + blocked).mkdir()
                before = self.prefix.unix_path(report).stat()
                done = self.prefix.run_cli(report)
                self.assertEqual(done.returncode, 1)
                self.assertIn(message % (folder + "\\" + blocked), self.messages(done))
                self.assert_untouched(report, before)

    def test_incomplete_write_fails_and_spares_the_report(self):
        folder = self.folder("disk-full")
        report = place_report(self.prefix, SAMPLE_REPORT, folder, "report.txt")
        # Every write to /dev/full fails with "no space left": the batch file cannot be written whole.
        os.symlink("/dev/full", self.prefix.unix_path(folder + "\\report.bat"))
        before = self.prefix.unix_path(report).stat()
        done = self.prefix.run_cli(report)
        self.assertEqual(done.returncode, 1)
        self.assertIn("[Error] Error writing %s\\report.bat  output file " % folder, self.messages(done))
        self.assertNotIn(folder + "\\report.bat", done.stdout.splitlines(), "an incomplete output is not offered")
        self.assert_untouched(report, before)

    def assert_untouched(self, report, before):
        after = self.prefix.unix_path(report).stat()
        self.assertEqual((after.st_size, after.st_mtime_ns), (before.st_size, before.st_mtime_ns))
        self.assertEqual(self.prefix.unix_path(report).read_bytes(), SAMPLE_REPORT.read_bytes())


class OutputNamesTest(CliTest):

    def test_outputs_are_named_after_the_report(self):
        cases = (  # report, the three outputs listed on standard output
            ("nodot\\report", ("report.bat", "report.reg", "report_mods.reg")),
            ("my.dir\\report", ("report.bat", "report.reg", "report_mods.reg")),
            ("ext\\report.text", ("report.bat", "report.reg", "report_mods.reg")),
            ("dots\\snap.before.after.txt", ("snap.before.after.bat", "snap.before.after.reg",
                                             "snap.before.after_mods.reg")),
        )
        for relative, outputs in cases:
            with self.subTest(report=relative):
                sub, name = relative.split("\\")
                folder = self.folder("names-" + sub)
                report = place_report(self.prefix, SAMPLE_REPORT, folder, name)
                done = self.prefix.run_cli(report)
                self.assertEqual(done.returncode, 0, self.messages(done))
                self.assertEqual(done.stdout.splitlines(), [folder + "\\" + o for o in outputs])
                self.assertEqual(sorted(os.listdir(self.prefix.unix_path(folder))), sorted(outputs + (name,)))
                self.assertEqual(self.prefix.unix_path(report).read_bytes(), SAMPLE_REPORT.read_bytes())

    def test_relative_report_path_writes_beside_the_report(self):
        folder = self.folder("relative")
        place_report(self.prefix, SAMPLE_REPORT, folder, "report.txt")
        done = self.prefix.run_cli("report.txt", cwd=self.prefix.unix_path(folder))
        self.assertEqual(done.returncode, 0, self.messages(done))
        self.assertEqual(done.stdout.splitlines(),
                         [folder + "\\report.bat", folder + "\\report.reg", folder + "\\report_mods.reg"])


class ListingWordTest(CliTest):

    def test_word_sets_the_verb_of_every_line(self):
        folder = self.folder("words")
        self.prefix.unix_path(folder + "\\left folder").mkdir()
        self.prefix.unix_path(folder + "\\left file.txt").write_text("x\n")
        source = self.prefix.unix_path(folder + "\\source.txt")
        source.write_bytes(regshot191_report([folder + "\\left folder"], [folder + "\\left file.txt"]))
        del_form = "REM The following DEL commands are in file %s\\report.bat " % folder
        dir_form = "REM The following DIR commands are in file %s\\report.bat " % folder
        rmdir = 'RMDIR /S %%_nop%% "%s\\left folder"' % folder
        cases = (  # words, header line, entry lines
            ((), del_form, [rmdir, 'DEL "%s\\left file.txt"' % folder]),
            (("del",), del_form, [rmdir, 'DEL "%s\\left file.txt"' % folder]),
            (("dir",), dir_form, ['DIR "%s\\left folder"   ' % folder, 'DIR "%s\\left file.txt"   ' % folder]),
            (("DELETE",), del_form, [rmdir, 'DELETE "%s\\left file.txt"' % folder]),
            (("list",), dir_form, ['DIR "%s\\left folder"   ' % folder, 'DIR "%s\\left file.txt"   ' % folder]),
            (("Dirs",), dir_form,
             ['DIRS "%s\\left folder"   ' % folder, 'DIRS "%s\\left file.txt"   ' % folder]),
        )
        for words, header, lines in cases:
            with self.subTest(words=words):
                report = place_report(self.prefix, source, folder, "report.txt")
                batch = convert(self, self.prefix, report, *words)["bat"]
                self.assertEqual(batch.decode("cp437").split("\r\n")[4], header)
                self.assertEqual(batch_lines(batch), lines)


class ErrorListTest(CliTest):

    def test_key_that_cannot_be_opened_is_listed_and_its_list_comes_last(self):
        folder = self.folder("errors")
        # A key name component holds at most 255 characters: opening a longer one fails for a reason other
        # than the key's absence (Wine says "More data available."), and such a key goes to the error list.
        unreadable = "HKU\\S-1-5-21-0-0-0-1000\\Software\\" + "A" * 300
        absent = "HKU\\S-1-5-21-0-0-0-1000\\Software\\RESIVEX absent key"
        source = self.prefix.unix_path(folder + "\\source.txt")
        source.write_bytes(regshot191_report(keys=[absent, unreadable]))
        report = place_report(self.prefix, source, folder, "report.txt")
        done = self.prefix.run_cli(report)
        self.assertEqual(done.returncode, 0, self.messages(done))
        names = [folder + "\\" + n for n in ("report.bat", "report.reg", "report_mods.reg", "report_errors.txt")]
        self.assertEqual(done.stdout.splitlines(), names, "the error list is shown after the three scripts")
        self.assertIn("[Info] " + names[3], self.messages(done), "the error list is announced")
        data = self.prefix.unix_path(names[3]).read_bytes()
        self.assertTrue(data.startswith(b"\xef\xbb\xbf"), "UTF-8 with its byte-order mark, as Notepad writes it")
        entries = data[3:].decode("utf-8").split("\r\n")
        # One entry: the report line, then the system's reason on a line of its own; the absent key is no error.
        self.assertEqual(len(entries), 3, entries)
        self.assertEqual(entries[0], unreadable)
        self.assertNotEqual(entries[1].strip(), "", "the reason is given")
        self.assertEqual(entries[2], "")
        self.assertNotIn("absent key", self.prefix.unix_path(names[1]).read_text(encoding="utf-16"))


if __name__ == "__main__":
    unittest.main()
