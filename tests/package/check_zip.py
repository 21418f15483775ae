"""What the release zip holds, before anything of it is run: exactly its six files, the programs as Windows
executables, the texts in ASCII with Windows line ends (Notepad shows them on every Windows), an exclusion list
of comments only, and README.txt and RESIVEX.TXT naming this version.

    python3 tests/package/check_zip.py ZIP VERSION

Prints each problem and exits 1 when there is any."""

import sys
import zipfile

NAMES = ["resivex.exe", "resivex-cli.exe", "RESIVEX.TXT", "do_not_modify_list.TXT", "README.txt", "LICENSE"]
TEXTS = ["RESIVEX.TXT", "do_not_modify_list.TXT", "README.txt", "LICENSE"]
# What README.txt must tell a user who has nothing else: the snapshots, both programs, every output, the warning
# and the way back.
README_TOPICS = ["Regshot", "1st shot", "2nd shot", "Compare", "Plain TXT", "resivex.exe", "resivex-cli.exe",
                 "--version", "report.bat", "report.reg", "report_mods.reg", "report_errors.txt",
                 "do_not_modify_list.TXT", "Review every line first", "administrator", "restore point", "Undo:"]


def problems(zip_path, version):
    with zipfile.ZipFile(zip_path) as z:
        names = z.namelist()
        if sorted(names) != sorted(NAMES):
            yield f"the zip holds {names}, not {NAMES}"
            return
        if z.testzip() is not None:
            yield f"{z.testzip()} is damaged"
        files = {name: z.read(name) for name in names}

    for exe in ("resivex.exe", "resivex-cli.exe"):
        if not files[exe].startswith(b"MZ") or b"PE\0\0" not in files[exe][:1024]:
            yield f"{exe} is not a Windows executable"

    texts = {}
    for name in TEXTS:
        data = files[name]
        try:
            texts[name] = data.decode("ascii")
        except UnicodeDecodeError as e:
            yield f"{name} is not ASCII: {e}"
            continue
        crlf = data.count(b"\r\n")
        if crlf == 0 or data.count(b"\n") != crlf or data.count(b"\r") != crlf:
            yield f"{name} does not have Windows line ends throughout"
        if "@PROJECT_VERSION@" in texts[name]:
            yield f"{name} has its version left unfilled"
    if len(texts) != len(TEXTS):
        return

    # convert.cpp's load_exclusion_list takes every line that does not start with ';' and is not blank as a text
    # to keep out: the sample must keep nothing out.
    kept_out = [line for line in texts["do_not_modify_list.TXT"].split("\r\n")
                if line.strip(" \t") and not line.startswith(";")]
    if kept_out:
        yield f"do_not_modify_list.TXT keeps values out: {kept_out}"
    for needed in ("report_mods.reg", "one text", "comment", "blank"):
        if needed not in texts["do_not_modify_list.TXT"]:
            yield f"do_not_modify_list.TXT does not explain itself (no '{needed}')"

    readme = texts["README.txt"]
    if not readme.startswith(f"RESIVEX {version} "):
        yield f"README.txt does not begin with 'RESIVEX {version}': {readme[:40]!r}"
    for topic in README_TOPICS:
        if topic not in readme:
            yield f"README.txt does not tell about {topic!r}"
    if not texts["RESIVEX.TXT"].startswith(f"RESIVEX {version}\r\n"):
        yield f"RESIVEX.TXT does not begin with 'RESIVEX {version}'"
    if not texts["LICENSE"].startswith("MIT License\r\n") or \
            "Copyright (c) 2026 The RESIVEX developers" not in texts["LICENSE"]:
        yield "LICENSE is not the MIT license of the RESIVEX developers"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    found = list(problems(sys.argv[1], sys.argv[2]))
    for p in found:
        print(f"package: {p}", file=sys.stderr)
    if found:
        return 1
    print(f"package: {sys.argv[1]} holds the {len(NAMES)} files, texts in ASCII with Windows line ends",
          file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
