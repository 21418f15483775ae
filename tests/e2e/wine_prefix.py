"""The private Wine prefix of one end-to-end run, and the ways the tests reach into it.

One prefix is made per run (wineboot takes 5 to 50 s and 700 MB) and shared by every test, and by the suites of
one scripts/test run (tests/e2e/registry uses this module too). Its registry files are saved once, after the
set-up, so that a test that changes the registry (a scenario replay) can start from the same state as every
other; closing the session stops the prefix's processes and puts that registry back.
"""

import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path

E2E_DIR = Path(__file__).resolve().parent
REPO = E2E_DIR.parent.parent


def _path_from_env(name, default):
    value = os.environ.get(name)
    return Path(value).resolve() if value else default


CLI_EXE = _path_from_env("RESIVEX_CLI", REPO / "build" / "windows" / "cli" / "resivex-cli.exe")
# The reports and scenarios the tests use, kept in the repository (tests/data/README.md).
DATA = _path_from_env("RESIVEX_DATA_DIR", REPO / "tests" / "data")
PREFIX_DIR = _path_from_env("RESIVEX_E2E_PREFIX", REPO / "build" / "e2e" / "wineprefix")
SETTINGS_REG = REPO / "scripts" / "wine-settings.reg"
REGISTRY_FILES = ("system.reg", "user.reg", "userdef.reg")
# Left in every prefix that this harness made: only such a folder is ever deleted to make a new one.
MARKER = ".resivex-e2e-prefix"

# Wine's own diagnostics on standard error (no display, no explorer): not the program's output.
_WINE_DIAG = re.compile(r"^[0-9a-f]{4}:(err|fixme|warn):")


def strip_wine_diagnostics(text):
    return "\n".join(line for line in text.splitlines() if not _WINE_DIAG.match(line))


class WinePrefix:
    """A private prefix at `root`. Every Wine process of the tests runs through run()."""

    def __init__(self, root):
        self.root = Path(root)
        self.drive_c = self.root / "drive_c"
        self.saved_registry = self.root.parent / (self.root.name + "-registry")
        self.env = dict(os.environ)
        self.env.update(
            WINEPREFIX=str(self.root),
            WINEDEBUG="-all,err+winediag",
            WINEDLLOVERRIDES="mscoree,mshtml=",
            LC_ALL="C.UTF-8",
        )
        # Headless on purpose: nothing here needs a window, and none must pop up on a developer's desktop.
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            self.env.pop(name, None)

    # --- life cycle -------------------------------------------------------------------------------------

    def create(self, serve=True):
        """Makes the prefix afresh, imports the test settings and saves the registry. With serve, its server
        keeps running for the tests that follow."""
        if self.root.exists():
            if any(self.root.iterdir()) and not (self.root / MARKER).is_file():
                raise RuntimeError("%s exists and is no prefix of these tests: not deleting it" % self.root)
            self._server("-k")
            self._server("-w")
            shutil.rmtree(self.root)
        self.root.mkdir(parents=True)
        (self.root / MARKER).write_text("made by tests/e2e/wine_prefix.py\n")
        boot = self.run(["wineboot", "-i"], timeout=300)
        if boot.returncode != 0 or not (self.drive_c / "windows").is_dir():
            raise RuntimeError("wineboot failed (%d):\n%s" % (boot.returncode, boot.stderr[-2000:]))
        self._unlink_home_folders()
        imported = self.run(["wine", "regedit", "/s", self.windows_path(SETTINGS_REG)])
        if imported.returncode != 0:
            raise RuntimeError("importing %s failed:\n%s" % (SETTINGS_REG, imported.stderr))
        self._server("-k")  # ends the server, which writes the registry files first
        self._server("-w")
        user_reg = (self.root / "user.reg").read_text(encoding="utf-8", errors="replace")
        if '"ShowCrashDialog"=dword:00000000' not in user_reg or '"Managed"="N"' not in user_reg:
            raise RuntimeError("the settings of %s did not reach the prefix's registry" % SETTINGS_REG)
        self.saved_registry.mkdir(parents=True, exist_ok=True)
        for name in REGISTRY_FILES:
            shutil.copy2(self.root / name, self.saved_registry / name)
        if serve:
            self.start_server()

    def reuse(self):
        """Takes the prefix that make_prefix (or an earlier run) made, with its registry as saved then. False when
        there is none."""
        if not all((self.saved_registry / name).is_file() for name in REGISTRY_FILES):
            return False
        if not (self.drive_c / "windows").is_dir():
            return False
        self.restore_registry()
        return True

    def close(self):
        """Ends the prefix's processes and leaves its registry as the set-up made it, so that a later user of
        the prefix (another suite of the same test run) does not inherit a scenario's keys."""
        self._server("-k")
        self._server("-w")
        if all((self.saved_registry / name).is_file() for name in REGISTRY_FILES):
            for name in REGISTRY_FILES:
                shutil.copy2(self.saved_registry / name, self.root / name)

    def start_server(self):
        """Starts the prefix's wineserver for the rest of the run, and the processes that Wine starts with a
        new server. Without it every command would start them anew (about 3 s each)."""
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=True)
        # A server just started now and then fails the first program it is to run (exit status 1, no word):
        # once more then.
        for attempt in (1, 2):
            done = subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            if done.returncode == 0:
                return
        raise RuntimeError("the prefix's first program failed twice (%d)" % done.returncode)

    def restore_registry(self):
        """Puts back the registry as it was after the set-up. The server is ended first (it writes its registry
        on the way out), then the saved files replace what it wrote."""
        self._server("-k")
        self._server("-w")
        for name in REGISTRY_FILES:
            shutil.copy2(self.saved_registry / name, self.root / name)
        self.start_server()

    def saved_registry_files(self):
        """The texts of the registry files as the server has them now: it writes them on its way out, so it is
        ended and started again (about 3 s)."""
        self._server("-k")
        self._server("-w")
        texts = {name: (self.root / name).read_text(encoding="utf-8", errors="surrogateescape")
                 for name in ("system.reg", "user.reg")}
        self.start_server()
        return texts

    def _server(self, flag):
        subprocess.run(["wineserver", flag], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120, check=False)

    def _unlink_home_folders(self):
        # wineboot links Desktop, Documents and the like to the Unix home folder; a test script that went
        # astray there would reach the developer's own files.
        links = []
        for folder, dirs, files in os.walk(self.drive_c / "users"):  # does not follow links
            links += [Path(folder) / name for name in dirs + files if (Path(folder) / name).is_symlink()]
        for link in links:
            link.unlink()
            link.mkdir()

    # --- processes ----------------------------------------------------------------------------------------

    def run(self, argv, cwd=None, timeout=120, encoding="cp1252"):
        """Runs a Wine command (or a Unix one that needs the prefix's environment); output decoded as text.
        The output goes through files, not pipes: processes that Wine starts on the side (services, the
        explorer) inherit the handles and would hold a pipe open long after the command has ended."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(argv, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout, check=False)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(argv, done.returncode, out.read().decode(encoding, "replace"),
                                               err.read().decode(encoding, "replace"))

    def run_cli(self, *args, cwd=None, quiet=True):
        """resivex-cli.exe with the given arguments; cwd is a Unix folder (Wine maps it to its drive). Its output to
        a file is UTF-8. With quiet (the tests of its messages), --quiet leaves the summary line out."""
        argv = ["wine", str(CLI_EXE), *args, *(["--quiet"] if quiet else [])]
        done = self.run(argv, cwd=cwd, encoding="utf-8")
        # The program never fails without a word (every exit status but 0 comes with its message): status 1
        # with nothing written is Wine failing to start it, which happens now and then. Once more then.
        if done.returncode == 1 and not done.stdout and not strip_wine_diagnostics(done.stderr).strip():
            done = self.run(argv, cwd=cwd, encoding="utf-8")
        return done

    # --- paths --------------------------------------------------------------------------------------------

    def windows_path(self, unix_path):
        """The Windows name of a Unix path: C:\\... inside drive_c, Z:\\... elsewhere."""
        unix_path = Path(unix_path).resolve()
        try:
            rest = unix_path.relative_to(self.drive_c.resolve())
            return "C:\\" + str(rest).replace("/", "\\") if str(rest) != "." else "C:\\"
        except ValueError:
            return "Z:" + str(unix_path).replace("/", "\\")

    def unix_path(self, windows_path):
        """The Unix path of a C:\\ path of the prefix."""
        if not windows_path[:3].upper() == "C:\\":
            raise ValueError("not on drive C: " + windows_path)
        rest = windows_path[3:].replace("\\", "/")
        return self.drive_c / rest if rest else self.drive_c

    def fresh_folder(self, windows_path):
        """Makes an empty folder of drive C (removing what was there); returns its Windows path."""
        unix = self.unix_path(windows_path)
        if unix.exists() or unix.is_symlink():
            shutil.rmtree(unix)
        unix.mkdir(parents=True)
        return windows_path

    def tree(self, windows_root="C:\\"):
        """Every file and folder below a folder of drive C, as Windows paths (the folder itself excluded).
        Symbolic links are listed but not followed."""
        root = self.unix_path(windows_root)
        found = set()
        for folder, dirs, files in os.walk(root):
            for name in dirs + files:
                found.add(self.windows_path_of_entry(Path(folder) / name))
        return found

    def windows_path_of_entry(self, unix_path):
        # Like windows_path, but for an entry that may be a link: its own name, not its target.
        rest = Path(os.path.abspath(unix_path)).relative_to(os.path.abspath(self.drive_c))
        return "C:\\" + str(rest).replace("/", "\\")


_session = None


def session():
    """The run's prefix, made on first use (the runner makes it up front and closes it at the end)."""
    global _session
    if _session is None:
        if not CLI_EXE.is_file():
            raise RuntimeError("resivex-cli.exe not found at %s (build the windows preset or set RESIVEX_CLI)"
                               % CLI_EXE)
        prefix = WinePrefix(PREFIX_DIR)
        if not (os.environ.get("RESIVEX_E2E_REUSE_PREFIX") == "1" and prefix.reuse()):
            prefix.create()
        _session = prefix
    return _session


def make_prefix():
    """Makes the prefix afresh for a test run and leaves it with its server stopped (see run_e2e.py
    --make-prefix)."""
    prefix = WinePrefix(PREFIX_DIR)
    prefix.create(serve=False)
    return prefix


def close_session():
    """Stops the run's prefix, if one was used, and puts back its saved registry."""
    global _session
    if _session is not None:
        _session.close()
        _session = None
