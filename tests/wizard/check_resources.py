#!/usr/bin/env python3
"""Checks what the shipped programs carry as resources: the wizard's Japanese
captions and both version resources (written in Shift-JIS, stored as UTF-16; a
resource compiler that reads the script in another code page leaves mojibake),
the manifest asking for elevation, and the update package byte for byte.

usage: check_resources.py VERSION SETUP.EXE UNINST.EXE [UPDATE.FA2]"""
import re
import sys

CAPTIONS = ["次へ", "中止", "戻る", "参照", "ＭＳ Ｐゴシック"]
MANIFEST = [b'level="requireAdministrator"', b'name="TALVEN.Installer.SETUPCL"', b'processorArchitecture="X86"']
VERSION = {"CompanyName": "タルベンソフト", "ProductName": "LANTERNA", "LegalCopyright": "Copyright (C) 2026 タルベンソフト"}
PROGRAMS = [{"OriginalFilename": "SETUP.EXE", "FileDescription": "LANTERNA セットアップ"},
            {"OriginalFilename": "UNINST.EXE", "FileDescription": "LANTERNA アンインストーラ"}]


def utf16(text):
    return text.encode("utf-16-le")


def main(argv):
    images = []
    for path in argv[2:4]:
        with open(path, "rb") as f:
            images.append(f.read())
    problems = ["caption %s missing" % t for t in CAPTIONS if utf16(t) not in images[0]]
    problems += ["manifest lacks %s" % m.decode() for m in MANIFEST if m not in images[0]]
    for path, image, program in zip(argv[2:4], images, PROGRAMS):
        # A string entry: its key, NUL, padding to four bytes, the value, NUL.
        for key, value in dict(VERSION, FileVersion=argv[1], ProductVersion=argv[1], **program).items():
            entry = re.escape(utf16(key)) + b"\0\0(?:\0\0)?" + re.escape(utf16(value)) + b"\0\0"
            if not re.search(entry, image):
                problems.append("%s: version string %s is not %s" % (path, key, value))
    if len(argv) > 4:
        with open(argv[4], "rb") as f:
            if f.read() not in images[0]:
                problems.append("%s is not embedded byte for byte" % argv[4])
    for p in problems:
        print("FAIL:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
