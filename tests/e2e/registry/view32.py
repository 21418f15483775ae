"""Replaying a scenario in the 32-bit view of the registry, as a 32-bit program on 64-bit Windows makes its
changes: what it writes below HKLM\\Software lands below HKLM\\Software\\Wow6432Node; HKCU\\Software is shared
by both views and stays. Wine's 64-bit prefix has that view (`wine reg ... /reg:32`); its regedit is 64-bit
only, so a .reg file is imported with its HKLM\\Software keys moved below Wow6432Node.

    python3 view32.py IN.reg OUT.reg    writes IN.reg (UTF-16 or UTF-8) with its keys moved, as UTF-16LE
"""

import re
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent

_SOFTWARE_KEY = re.compile(r"^(\[-?HKEY_LOCAL_MACHINE\\Software)(\\|\])", re.IGNORECASE | re.MULTILINE)

# Bash put in front of a scenario script (after scenarios.CHECKED_WINE): its `wine reg` and `wine regedit /s`
# calls act in the 32-bit view.
BASH_PRELUDE = r'''
_resivex_wine() {
  if [[ $1 == reg && ( ${3^^} == HKLM\\* || ${3^^} == HKEY_LOCAL_MACHINE\\* ) ]]; then
    command wine "$@" /reg:32
  elif [[ $1 == regedit && $2 == /s ]]; then
    local moved rc
    moved=$(mktemp --suffix=.reg)
    python3 "%s" "$(winepath -u "$3")" "$moved" && command wine regedit /s "$(winepath -w "$moved")"
    rc=$?
    rm -f "$moved"
    return $rc
  else
    command wine "$@"
  fi
}
''' % (HERE / "view32.py")


def moved(text):
    """The .reg text with every key below HKEY_LOCAL_MACHINE\\Software moved below its Wow6432Node."""
    return _SOFTWARE_KEY.sub(lambda m: m.group(1) + "\\Wow6432Node" + m.group(2), text)


def main(source, target):
    data = Path(source).read_bytes()
    text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") else data.decode("utf-8-sig")
    Path(target).write_bytes(b"\xff\xfe" + moved(text).encode("utf-16-le"))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
