"""Fails when a program imports a DLL that the system does not map from its own
folder whatever the search order (the KnownDLLs): such a DLL planted beside the
program would be loaded into it before its first line runs.
Usage: check_imports.py OBJDUMP PROGRAM..."""
import re
import subprocess
import sys

KNOWN = {"kernel32", "user32", "gdi32", "advapi32", "shell32", "ole32", "oleaut32", "shlwapi", "msvcrt",
         "comdlg32", "imm32", "rpcrt4", "setupapi", "ws2_32"}

objdump, programs = sys.argv[1], sys.argv[2:]
status = 0
for program in programs:
    dump = subprocess.run([objdump, "-p", program], capture_output=True, text=True, check=True).stdout
    names = re.findall(r"DLL Name: (\S+)", dump)
    others = [n for n in names if n.lower().removesuffix(".dll") not in KNOWN]
    print("%s: %s" % (program, " ".join(names)))
    if not names or others:
        print("  not a KnownDLL: %s" % " ".join(others) if others else "  no import table read")
        status = 1
sys.exit(status)
