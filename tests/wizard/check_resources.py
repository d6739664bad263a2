#!/usr/bin/env python3
"""Checks what setup.exe carries as resources: the wizard's Japanese captions
(written in Shift-JIS, stored as UTF-16; a resource compiler that reads the
script in another code page leaves mojibake), the manifest asking for
elevation, and the update package byte for byte.

usage: check_resources.py SETUP.EXE [UPDATE.FA2]"""
import sys

CAPTIONS = ["次へ", "中止", "戻る", "参照", "ＭＳ Ｐゴシック"]
MANIFEST = [b'level="requireAdministrator"', b'name="TALVEN.Installer.SETUPCL"', b'processorArchitecture="X86"']


def main(argv):
    with open(argv[1], "rb") as f:
        image = f.read()
    problems = ["caption %s missing" % t for t in CAPTIONS if t.encode("utf-16-le") not in image]
    problems += ["manifest lacks %s" % m.decode() for m in MANIFEST if m not in image]
    if len(argv) > 2:
        with open(argv[2], "rb") as f:
            if f.read() not in image:
                problems.append("%s is not embedded byte for byte" % argv[2])
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
