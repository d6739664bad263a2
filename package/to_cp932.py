#!/usr/bin/env python3
"""Writes a UTF-8 text file in Shift-JIS (code page 932) with CR LF line ends.

Usage: to_cp932.py SOURCE TARGET
"""
import sys


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        text = f.read()
    with open(argv[2], "wb") as f:
        f.write(text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp932"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
