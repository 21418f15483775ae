"""The generated reports, the scenario behind each, and what its clean-up batch file must remove.

Each scenario script (tests/data/regshot/scenarios) says what was done between Regshot's two snapshots. Replaying
before() and after() leaves drive C as it was at the second snapshot: the left-overs that the report lists as
added are there, together with everything that must survive the clean-up. `removed` lists, by hand, the
entries that the DEL-mode batch file deletes (a folder with everything in it); `kept` lists the left-overs
that get no line, with the reason. tests/e2e/README.md tells how every expected line was checked.
"""

import shutil
from dataclasses import dataclass

from wine_prefix import DATA, WinePrefix

SCAN = "C:\\rstest"  # the only folder that the snapshots covered


@dataclass(frozen=True)
class Case:
    report: str  # file name in tests/data/regshot/reports
    scenario: str  # script in tests/data/regshot/scenarios
    steps: tuple  # the scenario's functions that ran before the second snapshot
    removed: tuple  # Windows paths that the DEL-mode batch file removes
    kept: tuple = ()  # (Windows path, why it gets no line)

    @property
    def stem(self):
        return self.report.rsplit(".", 1)[0]

    @property
    def name(self):
        return self.stem.replace("-", "_")


_ALLTYPES_KEPT = (
    (SCAN + "\\keep.txt", "existed before the first snapshot (only modified)"),
    (SCAN + "\\keepdir", "existed before the first snapshot (only its attributes changed)"),
)

# Regshot 1.8.2 and 1.9.0 list files before folders: the files get their own lines, since no folder has been
# listed yet when they are read.
_ALLTYPES_FILES_FIRST = (
    SCAN + "\\new.txt",
    SCAN + "\\newdir\\big.bin",
    SCAN + "\\newdir\\inner dir\\in.txt",
    SCAN + "\\newdir",
)
# Regshot 1.9.1 lists folders first: the files inside newdir are covered by its line.
_ALLTYPES_FOLDERS_FIRST = (SCAN + "\\newdir", SCAN + "\\new.txt")

CASES = (
    Case("20-regshot182-ansi-alltypes.txt", "alltypes.sh", ("before", "after", "attributes"),
         _ALLTYPES_FILES_FIRST, _ALLTYPES_KEPT),
    Case("22-regshot190-x64-unicode-alltypes.txt", "alltypes.sh", ("before", "after", "attributes"),
         _ALLTYPES_FILES_FIRST, _ALLTYPES_KEPT),
    Case("25-regshot191-x64-unicode-alltypes.txt", "alltypes.sh", ("before", "after", "attributes"),
         _ALLTYPES_FOLDERS_FIRST, _ALLTYPES_KEPT),
    Case("26-regshot191-x64-ansi-alltypes.txt", "alltypes.sh", ("before", "after"),
         _ALLTYPES_FOLDERS_FIRST, _ALLTYPES_KEPT),
    Case("29-regshot191-x64-ansi-edge.txt", "edge.sh", ("before", "after"),
         (SCAN + "\\deep", SCAN + "\\Program Files\\EdgeApp", SCAN + "\\100% done.txt"),
         ((SCAN + "\\Program Files", "a folder named Program Files is never listed"),
          (SCAN + "\\\u00dcn\u00efc\u00f6d\u00e9 \u0444\u0430\u0439\u043b.txt",
           "the ANSI report holds '?' for the Cyrillic letters: the line would name other files"),
          (SCAN + "\\olddir", "existed before the first snapshot"),
          (SCAN + "\\keep.txt", "existed before the first snapshot"))),
    Case("30-regshot191-x64-ansi-widget-install.txt", "widget-install.sh", ("before", "after"),
         (SCAN + "\\Acme Corp", SCAN + "\\Common Files\\acme helper.dll"),
         ((SCAN + "\\Common Files\\shared.dll", "existed before the first snapshot"),)),
    Case("31-regshot191-x64-ansi-gadget-uninstall.txt", "gadget-uninstall.sh", ("before", "after"),
         (SCAN + "\\Gadget Soft\\backup", SCAN + "\\Gadget Soft\\logs",
          SCAN + "\\Gadget Soft\\Gadget Suite\\crash 0001.dmp"),
         ((SCAN + "\\Gadget Soft\\Gadget Suite\\bin\\gadget.exe", "installed before the first snapshot, kept"),
          (SCAN + "\\Gadget Soft\\common\\gadget core.dll", "installed before the first snapshot, kept"))),
)


# Bash put in front of a scenario script: every `wine reg add` and `wine regedit /s` it makes must succeed
# (others, such as deletions of what may not be there, may fail as the script intends). SUCCEEDED, put after the
# script's steps, fails the command when one did not. A scenario can put its own _resivex_wine in between.
CHECKED_WINE = r'''
_resivex_wine() { command wine "$@"; }
wine() {
  _resivex_wine "$@"
  local rc=$?
  if ((rc != 0)) && [[ ($1 == reg && $2 == add) || ($1 == regedit && $2 == /s) ]]; then
    echo "wine $1 $2 failed with exit status $rc" >&2
    _resivex_failed=1
  fi
  return $rc
}
'''
SUCCEEDED = '; [[ -z "${_resivex_failed:-}" ]]'


def replay(prefix: WinePrefix, case: Case):
    """Leaves drive C and the registry as they were at the case's second snapshot."""
    script = DATA / "regshot" / "scenarios" / case.scenario
    steps = "; ".join(case.steps)
    # Every registry change of the steps must succeed. A Wine command now and then fails to start at all: the
    # replay is made once more from the start then.
    for attempt in (1, 2):
        prefix.restore_registry()
        scan = prefix.unix_path(SCAN)
        if scan.exists():
            shutil.rmtree(scan)
        done = prefix.run(["bash", "-c", CHECKED_WINE + 'source "$1"; ' + steps + SUCCEEDED, "replay", str(script)],
                          timeout=300, encoding="utf-8")
        if done.returncode == 0:
            break
    if done.returncode != 0:
        raise AssertionError("replaying %s (%s) failed:\n%s%s" % (case.scenario, steps, done.stdout, done.stderr))
    missing = [p for p in case.removed + tuple(k for k, _ in case.kept) if not prefix.unix_path(p).exists()]
    if missing:
        raise AssertionError("the replay of %s did not leave %s" % (case.scenario, missing))
