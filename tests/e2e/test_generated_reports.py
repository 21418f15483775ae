"""The generated reports against the machine their scenario leaves behind: the batch file is compared byte for
byte with its checked copy, then run by Wine's cmd, which must remove exactly the left-overs (DEL mode) or
nothing at all (DIR mode)."""

import shutil
import unittest

import cmd_console
from report_runs import assert_batch_matches, batch_lines, convert, place_report
from scenarios import CASES, SCAN, replay
from wine_prefix import DATA, session

REPORTS = DATA / "regshot" / "reports"
REPORT_FOLDER = "C:\\reports"

# The scenario whose state C:\rstest and the registry hold now, and a copy of C:\rstest as the replay left
# it: a second test of the same case starts from the copy instead of replaying again (the batch files under
# test change no registry).
_loaded = {"case": None}


def fresh_state(prefix, case):
    scan = prefix.unix_path(SCAN)
    copy = prefix.root.parent / (prefix.root.name + "-scan")
    if _loaded["case"] != case:
        _loaded["case"] = None
        replay(prefix, case)
        if copy.exists():
            shutil.rmtree(copy)
        shutil.copytree(scan, copy, symlinks=True)
        _loaded["case"] = case
        return
    shutil.rmtree(scan)
    shutil.copytree(copy, scan, symlinks=True)


def below_any(path, roots):
    return any(path == root or path.startswith(root + "\\") for root in roots)


class GeneratedReport:
    """Mixed into one TestCase per report (below)."""

    case = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def convert_in_mode(self, mode):
        fresh_state(self.prefix, self.case)
        report = place_report(self.prefix, REPORTS / self.case.report, REPORT_FOLDER)
        # DEL is the default: leave the word out for it, as a user would.
        outputs = convert(self, self.prefix, report, *(("DIR",) if mode == "DIR" else ()))
        assert_batch_matches(self, outputs["bat"], "%s.%s.bat" % (self.case.stem, mode))
        return report[:-len(".txt")] + ".bat", outputs["bat"]

    def run_batch(self, batch_path, answer=lambda question: "Y"):
        return cmd_console.run_batch(self.prefix.env, batch_path, self.prefix.unix_path(REPORT_FOLDER),
                                     answer=answer)

    def test_del_mode_removes_exactly_the_leftovers(self):
        batch_path, batch = self.convert_in_mode("DEL")
        before = self.prefix.tree()
        transcript = self.run_batch(batch_path)
        after = self.prefix.tree()

        self.assertEqual(transcript.exit_status, 0, transcript.output[-2000:])
        expected_questions = [cmd_console.QUESTION_DELETE]
        if any(line.startswith("RMDIR ") for line in batch_lines(batch)):
            expected_questions.append(cmd_console.QUESTION_NO_PROMPT)
        expected_questions.append(cmd_console.PRESS_ANY_KEY)
        self.assertEqual(transcript.questions, expected_questions, transcript.output[-2000:])

        expected_gone = {p for p in before if below_any(p, self.case.removed)}
        self.assertEqual(sorted(before - after), sorted(expected_gone), "removed by the batch file")
        self.assertEqual(sorted(p for p in after - before if p.startswith(SCAN + "\\")), [],
                         "the batch file created nothing in " + SCAN)
        for kept, why in self.case.kept:
            self.assertIn(kept, after, "must stay: " + why)

    def test_dir_mode_lists_and_deletes_nothing(self):
        batch_path, batch = self.convert_in_mode("DIR")
        before = self.prefix.tree()
        transcript = self.run_batch(batch_path)
        after = self.prefix.tree()

        self.assertEqual(transcript.exit_status, 0, transcript.output[-2000:])
        self.assertEqual(transcript.questions, [cmd_console.QUESTION_DELETE, cmd_console.PRESS_ANY_KEY],
                         transcript.output[-2000:])
        self.assertEqual(sorted(before - after), [], "a listing removes nothing")
        self.assertNotIn("File Not Found", transcript.output)
        # cmd lists each folder entry under its own heading, and each file under its folder's.
        for line in batch_lines(batch):
            path = line[len("DIR \""):line.rindex('"')].replace("%%", "%")
            folder = path if self.prefix.unix_path(path).is_dir() else path.rsplit("\\", 1)[0]
            self.assertIn("Directory of " + folder, transcript.output, line)


for _case in CASES:
    _name = "Test_" + _case.name
    globals()[_name] = type(_name, (GeneratedReport, unittest.TestCase), {"case": _case})
del _case, _name


class GadgetAnswersTest(unittest.TestCase):
    """The questions of the clean-up batch file, answered otherwise than with Y throughout."""

    case = next(c for c in CASES if c.scenario == "gadget-uninstall.sh")

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def batch_path(self):
        fresh_state(self.prefix, self.case)
        report = place_report(self.prefix, REPORTS / self.case.report, REPORT_FOLDER)
        outputs = convert(self, self.prefix, report)
        assert_batch_matches(self, outputs["bat"], self.case.stem + ".DEL.bat")
        return report[:-len(".txt")] + ".bat"

    def test_no_to_the_first_question_deletes_nothing(self):
        batch = self.batch_path()
        before = self.prefix.tree()
        transcript = cmd_console.run_batch(self.prefix.env, batch, self.prefix.unix_path(REPORT_FOLDER),
                                           answer=lambda question: "N")
        self.assertEqual(transcript.questions, [cmd_console.QUESTION_DELETE], "the script ends at once")
        self.assertEqual(sorted(before - self.prefix.tree()), [])

    def test_keeping_the_folder_prompt_asks_for_each_folder(self):
        batch = self.batch_path()
        before = self.prefix.tree()
        transcript = cmd_console.run_batch(
            self.prefix.env, batch, self.prefix.unix_path(REPORT_FOLDER),
            answer=lambda question: "N" if question == cmd_console.QUESTION_NO_PROMPT else "Y")
        self.assertEqual(transcript.rmdir_confirmations(),
                         [SCAN + "\\Gadget Soft\\backup", SCAN + "\\Gadget Soft\\logs"])
        gone = {p for p in before if below_any(p, self.case.removed)}
        self.assertEqual(sorted(before - self.prefix.tree()), sorted(gone))


if __name__ == "__main__":
    unittest.main()
