"""Small reports in Regshot 1.9.1's layout, for cases that no generated report covers."""


def regshot191_report(folders=(), files=(), encoding="cp1252", keys=()):
    """A comparison report whose "Keys added:", "Folders added:" and "Files added:" sections list the given
    key paths (short hive names) and Windows paths. encoding "cp1252" gives an ANSI build's report,
    "utf-16-le" a Unicode build's (no byte-order mark)."""
    unicode_build = encoding == "utf-16-le"
    lines = ["Regshot 1.9.1 x64 %s (beta r321)" % ("Unicode" if unicode_build else "ANSI"), "Comments: ",
             "Datetime: 2026-12-07 05:39:19, 2026-12-07 05:39:25", "Computer: VM, VM", "Username: root, root", ""]
    dashes = "-" * 34
    if keys:
        lines += [dashes, "Keys added: %d" % len(keys), dashes]
        lines += list(keys)
        lines.append("")
    if folders:
        lines += [dashes, "Folders added: %d" % len(folders), dashes]
        for folder in folders:
            lines += [folder, "0x00000010"]
        lines.append("")
    if files:
        lines += [dashes, "Files added: %d" % len(files), dashes]
        for file in files:
            lines += [file, "2026-12-07 05:39:25, 0x00000020, 4"]
        lines.append("")
    lines += [dashes, "Total changes: %d" % (len(keys) + len(folders) + len(files)), dashes, ""]
    return "\r\n".join(lines).encode(encoding)
