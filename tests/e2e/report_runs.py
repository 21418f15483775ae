"""Running resivex-cli.exe on a report inside the prefix, and the checks every completed run shares."""

import difflib
import os
import re
import shutil
from pathlib import Path, PureWindowsPath

from wine_prefix import E2E_DIR, strip_wine_diagnostics

EXPECTED_DIR = E2E_DIR / "expected"
REG_HEADER = b"Windows Registry Editor Version 5.00\r\n\r\n"
UTF16_MARK = b"\xff\xfe"
NO_FILES_BATCH = b"REM There are no files to delete.\r\npause\r\n"
# Set to 1 to (re)write the expected batch files from the program's output instead of comparing. Every line
# written this way must then be checked by hand (see README.md) before it is committed.
WRITE_EXPECTED = os.environ.get("RESIVEX_E2E_WRITE_EXPECTED") == "1"


def output_names(report_windows_path):
    """The outputs that a run writes beside the report: only the file name's own "." starts the extension."""
    p = PureWindowsPath(report_windows_path)
    stem = str(p.parent / (p.stem if p.suffix else p.name))
    return {"bat": stem + ".bat", "reg": stem + ".reg", "mods": stem + "_mods.reg", "errors": stem + "_errors.txt"}


def place_report(prefix, source, windows_folder, name=None):
    """Copies a report into a folder of the prefix (removing outputs of an earlier run); returns its path."""
    target = windows_folder + "\\" + (name or Path(source).name)
    unix_target = prefix.unix_path(target)
    unix_target.parent.mkdir(parents=True, exist_ok=True)
    for old in output_names(target).values():
        prefix.unix_path(old).unlink(missing_ok=True)
    shutil.copyfile(source, unix_target)
    return target


def convert(test, prefix, report, *words):
    """Runs a conversion that must complete: exit 0, no message, the three scripts listed on standard output
    in their order and present on disk, no error list. Returns the bytes of each output by kind."""
    done = prefix.run_cli(report, *words)
    messages = strip_wine_diagnostics(done.stderr)
    # On a failure, Wine's own diagnostics too: an exit status of Wine's (a process that did not start) shows
    # only there.
    test.assertEqual(done.returncode, 0, "resivex-cli %s %s: %s" % (report, " ".join(words), done.stderr))
    test.assertEqual(messages.strip(), "", "a completed run shows no message")
    names = output_names(report)
    test.assertEqual(done.stdout.splitlines(), [names["bat"], names["reg"], names["mods"]])
    test.assertFalse(prefix.unix_path(names["errors"]).exists(), "no registry key failed, so no error list")
    outputs = {kind: prefix.unix_path(names[kind]).read_bytes() for kind in ("bat", "reg", "mods")}
    for kind in ("reg", "mods"):
        outputs[kind + "_raw"] = outputs[kind]
        outputs[kind] = script_text(test, outputs[kind], names[kind])
    for kind in ("bat", "reg", "mods"):
        assert_whole_lines(test, outputs[kind], names[kind])
    for kind in ("reg", "mods"):
        test.assertTrue(outputs[kind].startswith(REG_HEADER), "%s begins %r" % (names[kind], outputs[kind][:60]))
    return outputs


def script_text(test, data, name):
    """A registry script in regedit's own form (a UTF-16LE byte-order mark, then UTF-16LE), as UTF-8 bytes."""
    test.assertTrue(data.startswith(UTF16_MARK), "%s is not UTF-16 with its mark: %r" % (name, data[:20]))
    test.assertEqual(len(data) % 2, 0, name + " ends inside a UTF-16 unit")
    return data[2:].decode("utf-16-le").encode("utf-8")


def assert_whole_lines(test, data, name):
    """An output as cmd and regedit need it: text lines that each end with CR LF, nothing after the last."""
    test.assertTrue(data.endswith(b"\r\n"), "%s ends inside a line: %r" % (name, data[-60:]))
    test.assertNotIn(b"\0", data, name + " holds a NUL byte")
    for number, line in enumerate(data[:-2].split(b"\r\n"), 1):
        test.assertNotIn(b"\r", line, "%s line %d: a CR without LF" % (name, number))
        test.assertNotIn(b"\n", line, "%s line %d: an LF without CR" % (name, number))


def assert_batch_matches(test, actual, expected_name):
    """Compares a batch file byte for byte (CRLF line ends included) with tests/e2e/expected/<name>."""
    expected_path = EXPECTED_DIR / expected_name
    if WRITE_EXPECTED:
        expected_path.write_bytes(actual)
        test.skipTest("wrote %s: check every line by hand before committing it" % expected_path)
    test.assertTrue(expected_path.is_file(), "missing expected file %s" % expected_path)
    expected = expected_path.read_bytes()
    if actual != expected:
        diff = difflib.unified_diff(expected.decode("cp437").splitlines(True), actual.decode("cp437").splitlines(True),
                                    str(expected_path), "program output", lineterm="")
        test.fail("the batch file differs from %s:\n%s" % (expected_name, "".join(map(repr_line, diff))))


def repr_line(line):
    # Show line ends, so that a lost CR is visible in the diff.
    return line.replace("\r", "\\r").replace("\n", "\\n") + "\n"


_ENTRY_LINE = re.compile(r'^[^"]+ "[A-Za-z]:\\[^"]*"(?:   )?$')


def batch_lines(batch):
    """The entry lines of a batch file (verb, blank, quoted path), as text."""
    return [line for line in batch.decode("cp437").split("\r\n") if _ENTRY_LINE.match(line)]
