"""Reports of 32-bit and 64-bit Regshot builds on a 64-bit machine whose two views hold namesakes.

A 32-bit program on 64-bit Windows sees HKLM\\Software\\X as HKLM\\Software\\Wow6432Node\\X and C:\\windows\\System32 as
C:\\windows\\SysWOW64 (but for System32\\drivers\\etc and a few other folders); HKCU\\Software is one key for both.
The prefix holds a vendor's 32-bit left-overs and a 64-bit product of the same names. The same entries under
the title of an x86 ANSI, an x86 Unicode and a 1.8.2 report (every 1.8 is 32-bit) must remove and reset exactly
the 32-bit items; under an x64 title (the control) exactly the 64-bit ones. Wine's regedit imports both scripts
and Wine's cmd runs the batch file; the other view's namesakes must come through untouched.
"""

import sys
import unittest

import cmd_console
from report_runs import convert, place_report
from wine_prefix import E2E_DIR, session

sys.path.insert(0, str(E2E_DIR / "registry"))
import reg_files  # noqa: E402

WORK = "C:\\views"
HKLM_64 = "HKEY_LOCAL_MACHINE\\Software\\VendorX"
HKLM_32 = "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\VendorX"
USER_KEY = "HKEY_CURRENT_USER\\Software\\VendorX\\User"  # shared by both views
SYSTEM = {"64": "C:\\windows\\system32", "32": "C:\\windows\\syswow64"}
HOSTS = "C:\\windows\\system32\\drivers\\etc\\vendorx.hosts"  # one file for both views

MACHINE_REG = "\r\n".join(["Windows Registry Editor Version 5.00", ""] + [
    line for view, root in (("64", HKLM_64), ("32", HKLM_32)) for line in (
        "[%s\\App]" % root, '"Path"="C:\\\\vx%s"' % view, "",
        "[%s\\Settings]" % root, '"Added"="x%s"' % view, '"Ver"="2.0-%s"' % view, "")
] + ["[%s]" % USER_KEY, '"Seen"=dword:00000001', ""])

KEYS = ["HKLM\\SOFTWARE\\VendorX\\App", "HKU\\S-1-5-21-0-0-0-1000\\Software\\VendorX\\User"]
VALUES = ['HKLM\\SOFTWARE\\VendorX\\Settings\\Added: "x"']
MODIFIED = ['HKLM\\SOFTWARE\\VendorX\\Settings\\Ver: "1.0"', 'HKLM\\SOFTWARE\\VendorX\\Settings\\Ver: "2.0"']
FOLDERS = ["C:\\Windows\\System32\\VendorX"]
FILES = ["C:\\Windows\\System32\\vendorx.dll", "C:\\Windows\\System32\\Drivers\\Etc\\vendorx.hosts"]


def report(title, encoding, layout):
    """The entries above as the given Regshot writes them: layout "1.8" (counts without a blank, files before
    folders), "1.9.0" or "1.9.1" (an attribute line after each folder and file)."""
    dashes = "-" * 34
    lines = [title, "Comments: ", "Datetime: 2026/12/08 09:00:00  ,  2026/12/08 09:05:00", "Computer: VM , VM",
             "Username: root , root", ""]

    def section(name, entries, after=None):
        lines.extend([dashes, "%s:%s%d" % (name, "" if layout == "1.8" else " ", len(entries)), dashes])
        for entry in entries:
            lines.append(entry)
            if after and layout == "1.9.1":
                lines.append(after)
        lines.append("")

    section("Keys added", KEYS)
    section("Values added", VALUES)
    lines.extend([dashes, "Values modified:%s1" % ("" if layout == "1.8" else " "), dashes] + MODIFIED + [""])
    file_sections = [("Files added", FILES, "2026-12-08 09:04:00, 0x00000020, 4"),
                     ("Folders added", FOLDERS, "0x00000010")]
    for name, entries, after in (file_sections if layout != "1.9.1" else file_sections[::-1]):
        section(name, entries, after)
    lines.extend([dashes, "Total changes:%s7" % ("" if layout == "1.8" else " "), dashes, ""])
    return "\r\n".join(lines).encode(encoding)


REPORTS = {
    "x86_ansi": (report("Regshot 1.9.0 x86 ANSI", "cp1252", "1.9.0"), "32"),
    "x86_unicode": (report("Regshot 1.9.1 x86 Unicode (beta r321)", "utf-16-le", "1.9.1"), "32"),
    "regshot182": (report("Regshot 1.8.2", "cp1252", "1.8"), "32"),
    "x64_control": (report("Regshot 1.9.1 x64 ANSI (beta r321)", "cp1252", "1.9.1"), "64"),
}


class ViewsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.prefix = session()

    def set_up_machine(self):
        self.prefix.restore_registry()
        machine = self.prefix.unix_path(self.prefix.fresh_folder(WORK)) / "machine.reg"
        machine.write_bytes(b"\xff\xfe" + MACHINE_REG.encode("utf-16-le"))
        done = self.prefix.run(["wine", "regedit", "/s", WORK + "\\machine.reg"])
        self.assertEqual(done.returncode, 0, done.stderr)
        for view, folder in SYSTEM.items():
            unix = self.prefix.unix_path(folder)
            (unix / "vendorx.dll").write_text("dll %s\n" % view)
            (unix / "VendorX").mkdir(exist_ok=True)
            (unix / "VendorX" / "inner.dat").write_text("inner %s\n" % view)
        self.prefix.unix_path(HOSTS).write_text("hosts\n")

    def tearDown(self):
        for folder in SYSTEM.values():
            unix = self.prefix.unix_path(folder)
            (unix / "vendorx.dll").unlink(missing_ok=True)
            for inner in (unix / "VendorX").glob("*"):
                inner.unlink()
            if (unix / "VendorX").exists():
                (unix / "VendorX").rmdir()
        self.prefix.unix_path(HOSTS).unlink(missing_ok=True)
        self.prefix.restore_registry()

    def export(self, key):
        path = self.prefix.unix_path(WORK) / "export.reg"
        path.unlink(missing_ok=True)
        done = self.prefix.run(["wine", "regedit", "/e", WORK + "\\export.reg", key])
        return reg_files.parse_export(path.read_bytes()) if done.returncode == 0 and path.exists() else {}

    def values(self, key):
        """{name: data as text} of a key, None when the key is absent."""
        state = self.export(key)
        values = state.get(reg_files.canonical_key(key))
        if values is None:
            return None
        return {name: data.decode("utf-16-le").rstrip("\0") if kind == reg_files.REG_SZ else data
                for name, (_, kind, data) in values.items()}

    def check(self, name):
        data, view = REPORTS[name]
        other = "64" if view == "32" else "32"
        self.set_up_machine()
        source = self.prefix.unix_path(WORK) / "source.txt"
        source.write_bytes(data)
        placed = place_report(self.prefix, source, WORK, "report.txt")
        outputs = convert(self, self.prefix, placed)
        for script in ("report.reg", "report_mods.reg"):
            done = self.prefix.run(["wine", "regedit", "/s", WORK + "\\" + script])
            self.assertEqual(done.returncode, 0, done.stderr)
        transcript = cmd_console.run_batch(self.prefix.env, WORK + "\\report.bat", self.prefix.unix_path(WORK))
        self.assertEqual(transcript.exit_status, 0, transcript.output[-2000:])

        mine = HKLM_32 if view == "32" else HKLM_64
        theirs = HKLM_64 if view == "32" else HKLM_32
        self.assertIsNone(self.values(mine + "\\App"), "the report's key is removed")
        self.assertEqual(self.values(theirs + "\\App"), {"path": "C:\\vx" + other}, "its namesake is untouched")
        self.assertEqual(self.values(mine + "\\Settings"), {"ver": "1.0"}, "the value removed, the other reset")
        self.assertEqual(self.values(theirs + "\\Settings"), {"added": "x" + other, "ver": "2.0-" + other})
        self.assertIsNone(self.values(USER_KEY), "HKCU is one key for both views")

        for folder_view, folder in SYSTEM.items():
            unix = self.prefix.unix_path(folder)
            gone = folder_view == view
            self.assertEqual((unix / "vendorx.dll").exists(), not gone, folder + "\\vendorx.dll")
            self.assertEqual((unix / "VendorX").exists(), not gone, folder + "\\VendorX")
        self.assertFalse(self.prefix.unix_path(HOSTS).exists(), "drivers\\etc is one folder for both views")

        # The scripts say which view they were read in.
        note = (b"Report of a 32-bit Regshot" if view == "32" else b"Report of a 64-bit Regshot")
        for kind in ("bat", "reg", "mods"):
            self.assertIn(note, outputs[kind], kind)

    def test_x86_ansi_report(self):
        self.check("x86_ansi")

    def test_x86_unicode_report(self):
        self.check("x86_unicode")

    def test_regshot_182_report(self):
        self.check("regshot182")

    def test_x64_report_is_the_control(self):
        self.check("x64_control")


if __name__ == "__main__":
    unittest.main()
