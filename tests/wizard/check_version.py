#!/usr/bin/env python3
"""Reads the version resource back from the built programs: the fixed version
numbers and every string as Windows shows it (a misread code page shows as
different characters).

usage: check_version.py VERSION SETUP.EXE UNINST.EXE"""
import struct
import sys

from check_resources import resources

COMMON = {"CompanyName": "タルベンソフト", "ProductName": "LANTERNA",
          "LegalCopyright": "Copyright (C) 2026 タルベンソフト"}
PROGRAMS = [{"OriginalFilename": "SETUP.EXE", "FileDescription": "LANTERNA セットアップ"},
            {"OriginalFilename": "UNINST.EXE", "FileDescription": "LANTERNA アンインストーラ"}]


def walk(data, pos, end, found):
    """Fills found with {key: value bytes} of every leaf block in data[pos:end]."""
    while pos + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, pos)
        key_end = pos + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        value = (key_end + 2 + 3) & ~3
        size = 2 * value_length if is_text else value_length
        children = (value + size + 3) & ~3
        if children < pos + length:
            walk(data, children, pos + length, found)
        found[data[pos + 6:key_end].decode("utf-16-le")] = data[value:value + size]
        pos = (pos + length + 3) & ~3
    return found


def main(argv):
    if len(argv) != 4:
        print(__doc__)
        return 2
    problems = []
    for path, program in zip(argv[2:], PROGRAMS):
        with open(path, "rb") as f:
            data = [v for (t, _, _), v in resources(f.read()).items() if t == 16] + [b""]
        found = walk(data[0], 0, len(data[0]), {})
        fixed = found.get("VS_VERSION_INFO", b"")
        # dwFileVersionMS and LS, each a DWORD of two words, the high word first in the number.
        minor, major, build, patch = struct.unpack_from("<HHHH", fixed, 8) if len(fixed) >= 16 else (0,) * 4
        numbers = "%d.%d.%d.%d" % (major, minor, patch, build)
        if numbers != argv[1] + ".0" or "Translation" not in found:
            problems.append("%s: file version %s, translation %s" % (path, numbers, "Translation" in found))
        for key, text in dict(COMMON, FileVersion=argv[1], ProductVersion=argv[1], **program).items():
            got = found.get(key, b"").decode("utf-16-le").rstrip("\0")
            if got != text:
                problems.append("%s: %s is %r, not %r" % (path, key, got, text))
    for p in problems:
        print("FAIL:", p)
    print("version resources: %s" % ("ok" if not problems else "%d problem(s)" % len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
