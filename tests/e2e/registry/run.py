#!/usr/bin/env python3
"""End-to-end tests of the two registry scripts under Wine, with Wine's regedit as the judge.

For every generated Regshot report the registry part of its scenario (tests/data/regshot/scenarios) is replayed in
a private Wine prefix: 'before', an export of the registry (the first snapshot), then 'after' (the second
snapshot). resivex-cli.exe converts the report; its removal and reset scripts (UTF-16 files) must hold the text of the
files in expected/<report number>/ (kept in UTF-8) exactly. Both are imported with `wine regedit /s`; every line must be one that
regedit accepts, every deletion and every reset value must show in the registry, and the registry must then be
back at the first snapshot but for the differences that each case lists, each with its reason. The 1.8.2 report
is a 32-bit Regshot's: its scenario is replayed in the 32-bit view (view32.py). The public
reports (taken on other machines) must convert, and every line of both scripts must be one regedit accepts.

    python3 tests/e2e/registry/run.py [-v] [-k PATTERN]

Environment:
  RESIVEX_CLI          resivex-cli.exe to test (default build/windows/cli/resivex-cli.exe)
  RESIVEX_E2E_PREFIX   the Wine prefix, made anew for the run (default build/wine-e2e)
  RESIVEX_DATA_DIR     the folder with regshot/ (default tests/data)
  RESIVEX_E2E_REUSE_PREFIX=1  reuse the prefix of an earlier run (local iterations only)
  RESIVEX_E2E_UPDATE=1        write the scripts of this run as the expected files (then check them by hand)
Exit status 0 when every test passed.
"""
import argparse
import difflib
import os
import re
import shutil
import sys
import time
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # leaves the source tree as it was
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))  # the shared end-to-end modules, used as they are
sys.path.insert(0, str(HERE))

import reg_files  # noqa: E402
import scenarios  # noqa: E402
import view32 as view32_module  # noqa: E402
import wine_prefix  # noqa: E402
from report_runs import convert, place_report, repr_line  # noqa: E402

REPORTS = wine_prefix.DATA / "regshot" / "reports"
SCENARIOS = wine_prefix.DATA / "regshot" / "scenarios"
EXPECTED = HERE / "expected"
UPDATE = os.environ.get("RESIVEX_E2E_UPDATE") == "1"
WORK = "C:\\resivex-e2e"
SCAN = "C:\\rstest"
# What the comparison exports: the software of the machine and the whole current user; every key the scenarios
# and the scripts touch lies below one of them.
EXPORTED = ("HKEY_LOCAL_MACHINE\\Software", "HKEY_CURRENT_USER")
# Wine writes these itself while programs run; they say nothing about the scripts.
NOISE = re.compile(r"^HKEY_CURRENT_USER\\SOFTWARE\\WINE(\\|$)"
                   r"|^HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\(PERFLIB|FONTS)(\\|$)")


def export(prefix, root, scratch):
    """The registry below root as a state (empty when the key does not exist)."""
    path = Path(scratch) / "export.reg"
    path.unlink(missing_ok=True)
    done = prefix.run(["wine", "regedit", "/e", prefix.windows_path(path), root])
    if done.returncode != 0 or not path.exists():
        return {}
    return reg_files.parse_export(path.read_bytes())


def export_all(prefix, scratch):
    state = {}
    for root in EXPORTED:
        state.update(export(prefix, root, scratch))
    return state


def run_scenario_step(prefix, script, step, view32=False):
    """Runs one function of a scenario script (in the 32-bit view of the registry with view32); no command in it
    may complain."""
    prelude = scenarios.CHECKED_WINE + (view32_module.BASH_PRELUDE if view32 else "")
    done = prefix.run(["bash", "-c", prelude + 'source "$1"; ' + step + scenarios.SUCCEEDED, "replay", str(script)],
                      timeout=300, encoding="utf-8")
    said = wine_prefix.strip_wine_diagnostics(done.stderr).strip()
    if done.returncode != 0 or said:
        raise AssertionError("%s of %s failed (%d):\n%s\n%s" % (step, script.name, done.returncode, done.stdout, said))


def check_script_lines(test, name, data):
    """Every line of a script (its text in UTF-8) is one that regedit accepts; hex lists go on only after a line
    that says so."""
    test.assertTrue(data.endswith(b"\r\n"), "%s does not end with a line end" % name)
    continued = False
    for number, raw in enumerate(data[:-2].split(b"\r\n"), 1):
        where = "%s:%d: %r" % (name, number, raw[:200])
        test.assertNotIn(b"\r", raw, where + " holds a lone CR")
        test.assertNotIn(b"\n", raw, where + " holds a lone LF")
        line = raw.decode("utf-8")
        test.assertRegex(line, reg_files.SCRIPT_LINE, where)
        test.assertEqual(line.startswith("  "), continued, where + ": a continuation must follow a ',\\'")
        continued = line.endswith(",\\")
    test.assertFalse(continued, "%s ends inside a hex list" % name)


class registry_scripts_test(unittest.TestCase):
    prefix = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = wine_prefix.session()
        cls.scratch = cls.prefix.root.parent / (cls.prefix.root.name + "-registry-scratch")
        cls.scratch.mkdir(exist_ok=True)

    def convert(self, source):
        """The texts of the removal, reset, restore and undo scripts."""
        report = place_report(self.prefix, source, WORK, "report.txt")
        outputs = convert(self, self.prefix, report)
        return outputs["reg"], outputs["mods"], outputs["restore"], outputs["undo"]

    def compare_with_expected(self, case, name, got):
        expected = EXPECTED / case / name
        if UPDATE:
            expected.parent.mkdir(parents=True, exist_ok=True)
            expected.write_bytes(got)
            return
        self.assertTrue(expected.is_file(), "missing expected file %s" % expected)
        want = expected.read_bytes()
        if got != want:
            diff = difflib.unified_diff(want.decode("utf-8", "replace").splitlines(True),
                                        got.decode("utf-8", "replace").splitlines(True),
                                        str(expected), "program output")
            self.fail("%s differs from %s:\n%s" % (name, expected, "".join(map(repr_line, diff))))

    def import_scripts(self, scripts):
        """Checks each script's lines, imports it, and checks that every deletion and value shows afterwards.
        Returns the operations of both scripts."""
        ops = []
        for name, data in scripts:
            check_script_lines(self, name, data)
            ops += reg_files.script_operations(data)
            done = self.prefix.run(["wine", "regedit", "/s", "%s\\%s" % (WORK, name)])
            said = wine_prefix.strip_wine_diagnostics(done.stdout + done.stderr).strip()
            self.assertEqual((done.returncode, said), (0, ""), "regedit about %s" % name)
        model = reg_files.expected_effects(ops)
        state = {}
        for key in model:
            state.update(export(self.prefix, key, self.scratch))
        self.assertEqual(reg_files.unmet_effects(model, state), [])
        return ops

    def replay(self, case, report, scenario, left, view32=False):
        """left: the differences from the first snapshot that the scripts leave, each with its reason. With
        view32 the scenario's registry changes are made in the 32-bit view, as a 32-bit Regshot saw them."""
        # Now and then a Wine command of the scenario fails to take effect (or to start at all), and the machine
        # is not what the scenario makes: the case is made once more from the start then, and what failed the
        # first time is told. A fault of the program fails both times.
        try:
            self.replay_once(case, report, scenario, left, view32)
        except AssertionError as first:
            print("\n%s failed once and is made again; the first time:\n%s" % (case, str(first)[:3000]),
                  file=sys.stderr, flush=True)
            self.replay_once(case, report, scenario, left, view32)

    def replay_once(self, case, report, scenario, left, view32):
        script = SCENARIOS / scenario
        self.prefix.restore_registry()
        scan = self.prefix.unix_path(SCAN)
        if scan.exists():
            shutil.rmtree(scan)
        run_scenario_step(self.prefix, script, "before", view32)
        first = export_all(self.prefix, self.scratch)
        run_scenario_step(self.prefix, script, "after", view32)
        second = export_all(self.prefix, self.scratch)
        names = ("report.reg", "report_mods.reg", "report_restore.reg", "report_undo.reg")
        texts = dict(zip(names, self.convert(REPORTS / report)))
        for name in names:
            self.compare_with_expected(case, name, texts[name])
        ops = self.import_scripts([(name, texts[name]) for name in names[:3]])
        self.assertTrue(ops, "the scripts change nothing")
        # The scripts touch only what the scenario changed: they remove what it added, reset what it modified,
        # restore what it deleted. A key line of a value names an existing key.
        made = {(key, (name or "").lower(), what) for key, name, what in reg_files.differences(first, second, NOISE)}
        for op in ops:
            if op[0] == "create key":
                if op[1] not in second:
                    self.assertIn((op[1], "", "gone"), made, "the scripts create %s" % op[1])
                continue
            if op[0] == "delete key":
                targets = [(op[1], "", "new")]
            elif op[0] == "delete value":
                targets = [(op[1], op[2].lower(), "new")]
            else:
                targets = [(op[1], op[2].lower(), "changed"), (op[1], op[2].lower(), "gone")]
            self.assertTrue(any(t in made for t in targets), "the scripts do %s" % (op[:3],))
        after = export_all(self.prefix, self.scratch)
        expected = sorted((reg_files.canonical_key(k), n, what) for k, n, what, _reason in left)
        self.assertEqual(reg_files.differences(first, after, NOISE), expected)
        # Each left difference was made by the scenario, not by the scripts (a value of a key the scenario deleted
        # went with it).
        for key, name, what in expected:
            self.assertTrue((key, (name or "").lower(), what) in made or (key, "", what) in made, (key, name, what))
        # The undo script puts everything back as it was before the scripts ran: key by key, value by value.
        check_script_lines(self, "report_undo.reg", texts["report_undo.reg"])
        done = self.prefix.run(["wine", "regedit", "/s", "%s\\report_undo.reg" % WORK])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(reg_files.differences(second, export_all(self.prefix, self.scratch), NOISE), [],
                         "the undo script leaves the registry as it was before the scripts")

    def test_20_regshot182_ansi_alltypes(self):
        # Every Regshot 1.8 is a 32-bit program: its report names HKLM\Software\RSTest, which it saw in the
        # 32-bit view, and the scripts must change HKLM\Software\Wow6432Node\RSTest (HKCU is shared).
        self.replay("20", "20-regshot182-ansi-alltypes.txt", "alltypes.sh", alltypes_left(RSTEST_32) + [
            (RSTEST_32, "Multi", "changed", "Regshot 1.8 shows a multi-string with blanks for separators: commented"),
            (USER_RSTEST + "\\Новый", None, "new", "Regshot 1.8 ANSI could not name the key ('?'): never named"),
        ], view32=True)

    def test_22_regshot190_unicode_alltypes(self):
        # The Unicode report names the key Новый (and its value Ключ) in full: removed like any other.
        self.replay("22", "22-regshot190-x64-unicode-alltypes.txt", "alltypes.sh", ALLTYPES_LEFT)

    def test_25_regshot191_unicode_alltypes(self):
        self.replay("25", "25-regshot191-x64-unicode-alltypes.txt", "alltypes.sh", ALLTYPES_LEFT)

    def test_26_regshot191_ansi_alltypes(self):
        self.replay("26", "26-regshot191-x64-ansi-alltypes.txt", "alltypes.sh", ALLTYPES_LEFT + [
            (USER_RSTEST + "\\Новый", None, "new", "the ANSI build of Regshot did not list it"),
        ])

    def test_29_regshot191_ansi_edge(self):
        self.replay("29", "29-regshot191-x64-ansi-edge.txt", "edge.sh", [])

    def test_30_regshot191_ansi_widget_install(self):
        self.replay("30", "30-regshot191-x64-ansi-widget-install.txt", "widget-install.sh", [])

    def test_31_regshot191_ansi_gadget_uninstall(self):
        self.replay("31", "31-regshot191-x64-ansi-gadget-uninstall.txt", "gadget-uninstall.sh", [
            # The deleted keys are restored; their values' notations are shared by other types: commented.
            (GADGET_KEY + "\\Components", "Core", "gone", "a DWORD: REG_DWORD and REG_DWORD_BIG_ENDIAN alike"),
            (UNINSTALL_KEY, "DisplayName", "gone", "a string: REG_SZ and REG_EXPAND_SZ alike"),
            (UNINSTALL_KEY, "UninstallString", "gone", "a string: REG_SZ and REG_EXPAND_SZ alike"),
            (USER_GADGET_KEY + "\\Settings", "Window", "gone", "bytes: REG_BINARY and other types alike"),
        ])

    def test_public_reports_convert_to_lines_regedit_accepts(self):
        public = sorted(REPORTS.glob("0*-public-*.txt"))
        self.assertEqual(len(public), 7, [p.name for p in public])
        for source in public:
            with self.subTest(report=source.name):
                self.prefix.restore_registry()
                self.import_scripts(list(zip(("report.reg", "report_mods.reg"), self.convert(source))))


RSTEST = "HKEY_LOCAL_MACHINE\\Software\\RSTest"
RSTEST_32 = "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\RSTest"
USER_RSTEST = "HKEY_CURRENT_USER\\Software\\RSTest"
GADGET_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Gadget Soft\\Gadget Suite"
UNINSTALL_KEY = ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
                 "\\{6F1A2B3C-4D5E-6F70-8192-A3B4C5D6E7F8}")
USER_GADGET_KEY = "HKEY_CURRENT_USER\\Software\\Gadget Soft\\Gadget Suite"


def alltypes_left(rstest):
    """What every alltypes report leaves different from the first snapshot, and why."""
    return [
        (rstest + "\\KeyToDelete", "x", "gone", "a deleted key is restored, its DWORD value x commented (the report "
                                               "shows REG_DWORD and REG_DWORD_BIG_ENDIAN alike)"),
        (rstest, "ToDelete", "gone", "a deleted string: commented (REG_SZ and REG_EXPAND_SZ alike)"),
        (rstest, "TypeChange", "changed", "its type changed: commented, never deleted"),
        (rstest, "BE", "changed", "REG_DWORD_BIG_ENDIAN is not reset: commented"),
        (rstest, "None", "changed", "REG_NONE is not reset: commented"),
    ]


ALLTYPES_LEFT = alltypes_left(RSTEST)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-k", dest="patterns", action="append", help="only tests whose name contains PATTERN")
    parser.add_argument("-v", dest="verbosity", action="store_const", const=2, default=1)
    args = parser.parse_args()
    loader = unittest.TestLoader()
    if args.patterns:
        loader.testNamePatterns = ["*%s*" % p for p in args.patterns]
    suite = loader.loadTestsFromTestCase(registry_scripts_test)
    started = time.monotonic()
    try:
        result = unittest.TextTestRunner(verbosity=args.verbosity, stream=sys.stdout).run(suite)
    finally:
        wine_prefix.close_session()
    print("registry e2e: %d tests in %.0f s" % (result.testsRun, time.monotonic() - started))
    return 0 if result.wasSuccessful() and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
