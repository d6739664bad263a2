"""Checks what setup.exe carries as resources: the wizard's Japanese captions
(written in Shift-JIS, stored as UTF-16; a resource compiler that reads the
script in another code page leaves mojibake), the manifest asking for
elevation, and the update package byte for byte.
usage: check_resources.py SETUP.EXE [UPDATE.FA2]"""
import sys

CAPTIONS = ["次へ", "中止", "戻る", "参照", "ＭＳ Ｐゴシック"]
MANIFEST = [b'level="requireAdministrator"', b'name="TALVEN.Installer.SETUPCL"', b'processorArchitecture="X86"']

image = open(sys.argv[1], "rb").read()
problems = ["caption %s missing" % t for t in CAPTIONS if t.encode("utf-16-le") not in image]
problems += ["manifest lacks %s" % m.decode() for m in MANIFEST if m not in image]
problems += ["%s is not embedded byte for byte" % p for p in sys.argv[2:] if open(p, "rb").read() not in image]
for p in problems:
    print("FAIL:", p)
sys.exit(1 if problems else 0)
