"""Checks what the shipped programs carry. Imports: only DLLs that the system maps
from its own folder whatever the search order (the KnownDLLs), since any other
planted beside a program would be loaded into it before its first line runs.
Resources: the wizard's Japanese captions and both version resources (written in
Shift-JIS, stored as UTF-16; a resource compiler that reads the script in another
code page leaves mojibake), the manifest asking for elevation, and the update
package byte for byte.
usage: check_programs.py OBJDUMP VERSION SETUP.EXE UNINST.EXE [UPDATE.FA2]"""
import re
import subprocess
import sys

KNOWN = {"kernel32", "user32", "gdi32", "advapi32", "shell32", "ole32", "oleaut32", "shlwapi", "msvcrt",
         "comdlg32", "imm32", "rpcrt4", "setupapi", "ws2_32"}
CAPTIONS = ["次へ", "中止", "戻る", "参照", "ＭＳ Ｐゴシック"]
MANIFEST = [b'level="requireAdministrator"', b'name="TALVEN.Installer.SETUPCL"', b'processorArchitecture="X86"']
VERSION = {"CompanyName": "タルベンソフト", "ProductName": "LANTERNA", "LegalCopyright": "Copyright (C) 2026 タルベンソフト",
           "FileVersion": sys.argv[2], "ProductVersion": sys.argv[2]}
PROGRAMS = [{"OriginalFilename": "SETUP.EXE", "FileDescription": "LANTERNA セットアップ"},
            {"OriginalFilename": "UNINST.EXE", "FileDescription": "LANTERNA アンインストーラ"}]

u16 = lambda text: text.encode("utf-16-le")  # noqa: E731
paths = sys.argv[3:5]
images = [open(p, "rb").read() for p in paths]
problems = ["caption %s missing" % t for t in CAPTIONS if u16(t) not in images[0]]
problems += ["manifest lacks %s" % m.decode() for m in MANIFEST if m not in images[0]]
for path, image, program in zip(paths, images, PROGRAMS):
    names = re.findall(r"DLL Name: (\S+)", subprocess.run([sys.argv[1], "-p", path], capture_output=True, text=True,
                                                          check=True).stdout)
    print("%s imports %s" % (path, " ".join(names)))
    problems += ["%s: no import table read" % path] if not names else []
    problems += ["%s imports %s, not a KnownDLL" % (path, n) for n in names if n.lower().removesuffix(".dll") not in KNOWN]
    # A version string: its key, NUL, padding to four bytes, the value, NUL.
    problems += ["%s: %s is not %s" % (path, key, value) for key, value in dict(VERSION, **program).items()
                 if not re.search(re.escape(u16(key)) + b"\0\0(?:\0\0)?" + re.escape(u16(value)) + b"\0\0", image)]
problems += ["%s is not embedded byte for byte" % p for p in sys.argv[5:] if open(p, "rb").read() not in images[0]]
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
