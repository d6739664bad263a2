#!/usr/bin/env python3
"""Reads the version resource back from the built programs: the fixed version
numbers and every string as Windows shows it (a misread code page shows as
different characters).

usage: check_version.py VERSION SETUP.EXE UNINST.EXE"""
import struct
import sys

from check_resources import resources

RT_VERSION = 16
COMMON = {"CompanyName": "タルベンソフト", "ProductName": "LANTERNA",
          "LegalCopyright": "Copyright (C) 2026 タルベンソフト"}
PROGRAMS = [{"OriginalFilename": "SETUP.EXE", "FileDescription": "LANTERNA セットアップ"},
            {"OriginalFilename": "UNINST.EXE", "FileDescription": "LANTERNA アンインストーラ"}]


def blocks(data, pos, end):
    """(key, value, children start, end) of each version block in data[pos:end]."""
    while pos + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, pos)
        key_end = data.index(b"\0\0", pos + 6)
        key_end += (key_end - pos) % 2  # UTF-16 units start at even offsets
        key = data[pos + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        size = 2 * value_length if is_text else value_length
        yield key, data[value:value + size], (value + size + 3) & ~3, pos + length
        pos = (pos + length + 3) & ~3


def strings(data, pos, end, found):
    for key, value, start, stop in blocks(data, pos, end):
        if start < stop:
            strings(data, start, stop, found)
        else:
            found[key] = value.decode("utf-16-le").rstrip("\0")
    return found


def main(argv):
    if len(argv) != 4:
        print(__doc__)
        return 2
    numbers = [int(n) for n in argv[1].split(".")] + [0]
    problems = []
    for path, program in zip(argv[2:], PROGRAMS):
        with open(path, "rb") as f:
            data = [v for (t, _, _), v in resources(f.read()).items() if t == RT_VERSION]
        if not data:
            problems.append("%s: no version resource" % path)
            continue
        (_, fixed, start, stop), = blocks(data[0], 0, len(data[0]))
        ms, ls = struct.unpack_from("<II", fixed, 8)
        if [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF] != numbers:
            problems.append("%s: file version %d.%d.%d.%d" % (path, ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
        expected = dict(COMMON, FileVersion=argv[1], ProductVersion=argv[1], **program)
        found = strings(data[0], start, stop, {})
        for key, text in expected.items():
            if found.get(key) != text:
                problems.append("%s: %s is %r, not %r" % (path, key, found.get(key), text))
        if found.get("Translation") is None:
            problems.append("%s: no translation block" % path)
    for p in problems:
        print("FAIL:", p)
    print("version resources: %s" % ("ok" if not problems else "%d problem(s)" % len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
